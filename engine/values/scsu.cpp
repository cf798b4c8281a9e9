#include "engine/values/scsu.h"

#include <array>
#include <cstdint>

namespace quenlow {

namespace {

constexpr std::array<std::uint32_t, 8> kStaticWindows = {0x0000, 0x0080, 0x0100, 0x0300,
                                                         0x2000, 0x2080, 0x2100, 0x3000};
constexpr std::array<std::uint32_t, 8> kInitialDynamicWindows = {0x0080, 0x00C0, 0x0400, 0x0600,
                                                                 0x0900, 0x3040, 0x30A0, 0xFF00};
constexpr std::uint32_t kLastCodePoint = 0x10FFFF;

// The window position a define tag's byte names; 0 for a reserved byte (no window starts at 0).
std::uint32_t window_position(std::uint8_t x) {
    if (x >= 0x01 && x <= 0x67) return std::uint32_t{x} * 0x80;
    if (x >= 0x68 && x <= 0xA7) return std::uint32_t{x} * 0x80 + 0xAC00;
    switch (x) {
        case 0xF9: return 0x00C0;
        case 0xFA: return 0x0250;
        case 0xFB: return 0x0370;
        case 0xFC: return 0x0530;
        case 0xFD: return 0x3040;
        case 0xFE: return 0x30A0;
        case 0xFF: return 0xFF60;
        default: return 0;
    }
}

class ScsuReader {
  public:
    // Every input byte yields at most one character, two UTF-16 units: the output is sized once and cut
    // to what was written.
    ScsuReader(std::span<const std::byte> in, std::vector<std::byte>& out)
        : in_(in), out_(out), end_(out.size()) {
        out_.resize(end_ + 4 * in.size());
    }

    bool run() {
        bool ok = true;
        while (ok && pos_ < in_.size()) ok = unicode_mode_ ? unicode_byte() : single_byte();
        out_.resize(end_);
        return ok;
    }

  private:
    bool next(std::uint8_t& b) {
        if (pos_ >= in_.size()) return false;
        b = std::to_integer<std::uint8_t>(in_[pos_++]);
        return true;
    }
    void unit(std::uint32_t u) {
        out_[end_] = static_cast<std::byte>(u & 0xFF);
        out_[end_ + 1] = static_cast<std::byte>((u >> 8) & 0xFF);
        end_ += 2;
    }
    bool code_point(std::uint32_t c) {
        if (c > kLastCodePoint) return false;
        if (c < 0x10000) {
            unit(c);
        } else {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        }
        return true;
    }
    bool big_endian_unit() {
        std::uint8_t h = 0, l = 0;
        if (!next(h) || !next(l)) return false;
        unit((std::uint32_t{h} << 8) | l);
        return true;
    }
    bool define_extended() {
        std::uint8_t h = 0, l = 0;
        if (!next(h) || !next(l)) return false;
        active_ = h >> 5;
        dynamic_[active_] = 0x10000 + 0x80 * (((std::uint32_t{h} & 0x1F) << 8) | l);
        return true;
    }
    bool define(unsigned n) {
        std::uint8_t x = 0;
        if (!next(x)) return false;
        const std::uint32_t position = window_position(x);
        if (position == 0) return false;
        dynamic_[n] = position;
        active_ = n;
        return true;
    }

    bool single_byte() {
        std::uint8_t b = 0;
        next(b);
        if (b >= 0x80) return code_point(dynamic_[active_] + (b - 0x80));
        if (b >= 0x20 || b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D) return code_point(b);
        if (b >= 0x01 && b <= 0x08) {
            std::uint8_t c = 0;
            if (!next(c)) return false;
            const unsigned n = b - 0x01u;
            return code_point(c < 0x80 ? kStaticWindows[n] + c : dynamic_[n] + (c - 0x80));
        }
        if (b >= 0x10 && b <= 0x17) {
            active_ = b - 0x10u;
            return true;
        }
        if (b >= 0x18) return define(b - 0x18u);
        switch (b) {
            case 0x0B: return define_extended();
            case 0x0E: return big_endian_unit();
            case 0x0F: unicode_mode_ = true; return true;
            default: return false;  // 0C is reserved
        }
    }

    bool unicode_byte() {
        const auto b = std::to_integer<std::uint8_t>(in_[pos_]);
        if (b >= 0xE0 && b <= 0xE7) {
            ++pos_;
            active_ = b - 0xE0u;
            unicode_mode_ = false;
            return true;
        }
        if (b >= 0xE8 && b <= 0xEF) {
            ++pos_;
            unicode_mode_ = false;
            return define(b - 0xE8u);
        }
        switch (b) {
            case 0xF0: ++pos_; return big_endian_unit();
            case 0xF1: ++pos_; unicode_mode_ = false; return define_extended();
            case 0xF2: return false;
            default: return big_endian_unit();
        }
    }

    std::span<const std::byte> in_;
    std::vector<std::byte>& out_;
    std::size_t end_;
    std::size_t pos_ = 0;
    bool unicode_mode_ = false;
    unsigned active_ = 0;
    std::array<std::uint32_t, 8> dynamic_ = kInitialDynamicWindows;
};

}  // namespace

bool scsu_to_utf16(std::span<const std::byte> in, std::vector<std::byte>& out) {
    return ScsuReader(in, out).run();
}

}  // namespace quenlow
