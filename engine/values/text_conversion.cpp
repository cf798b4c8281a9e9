#include "engine/values/text_conversion.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace quenlow {

namespace {

constexpr std::int32_t kUtf8CodePage = 65001;  // the code page of the UTF-8 collations
const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// UTF-8 form of one byte of a single-byte code page.
struct Utf8Char {
    std::uint8_t size = 0;
    std::array<char, 7> bytes{};
};

// 0x80..0x9F of code page 1252; the rest of the page is the same as U+0000..U+00FF. The five bytes the
// code page leaves undefined become U+FFFD.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

Utf8Char utf8_char_of(std::uint32_t code_point) {
    std::string text;
    append_code_point(text, code_point);
    Utf8Char c;
    c.size = static_cast<std::uint8_t>(text.size());
    std::memcpy(c.bytes.data(), text.data(), text.size());
    return c;
}

bool is_ascii(std::span<const std::byte> bytes) {
    const std::byte* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; n > 0; ++p, --n) {
        if (std::to_integer<std::uint8_t>(*p) & 0x80) return false;
    }
    return true;
}

// A converter from the code page to UTF-8. iconv builds name the double-byte code pages differently
// ("CP936" in glibc; "GBK", "BIG5", ... elsewhere), so their other names are tried as well.
iconv_t open_iconv(std::int32_t code_page) {
    if (code_page == kUtf8CodePage) return iconv_open("UTF-8", "UTF-8");
    iconv_t handle = iconv_open("UTF-8", fmt::format("CP{}", code_page).c_str());
    if (handle != kNoHandle) return handle;
    static constexpr std::pair<std::int32_t, const char*> kOtherNames[] = {
        {932, "SHIFT_JIS"}, {932, "SJIS"}, {936, "GBK"},   {936, "GB2312"}, {949, "UHC"},
        {949, "EUC-KR"},    {950, "BIG5"}, {950, "BIG-5"}, {1361, "JOHAB"},
    };
    for (const auto& [page, name] : kOtherNames) {
        if (page != code_page) continue;
        handle = iconv_open("UTF-8", name);
        if (handle != kNoHandle) return handle;
    }
    return kNoHandle;
}

void append_raw(std::string& out, std::span<const std::byte> bytes) {
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

struct CodePageConverters::Converter {
    std::int32_t code_page = 0;
    bool usable = false;
    bool single_byte = false;
    bool ascii_identity = false;  // bytes 0x00..0x7F are the ASCII characters
    iconv_t handle = kNoHandle;   // kept only for double-byte code pages
    std::array<Utf8Char, 256> table{};

    Converter() = default;
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (handle != kNoHandle) iconv_close(handle);
    }

    void open();
    void open_builtin_1252();
    void append(std::string& out, std::span<const std::byte> bytes) const;
    void append_multibyte(std::string& out, std::span<const std::byte> bytes) const;
};

void CodePageConverters::Converter::open_builtin_1252() {
    for (std::uint32_t b = 0; b < 256; ++b) {
        table[b] = utf8_char_of(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
    }
    usable = single_byte = ascii_identity = true;
}

// Probes every byte on its own: a byte that iconv calls an incomplete sequence starts a double-byte
// character, so the code page needs iconv per value; otherwise the table is all it needs.
void CodePageConverters::Converter::open() {
    if (code_page == kBuiltinCodePage) return open_builtin_1252();
    if (code_page <= 0) return;
    handle = open_iconv(code_page);
    if (handle == kNoHandle) return;
    bool has_lead_bytes = false;
    for (std::uint32_t b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char* in_ptr = &in;
        std::size_t in_left = 1;
        std::array<char, 16> buffer{};
        char* out_ptr = buffer.data();
        std::size_t out_left = buffer.size();
        const std::size_t result = iconv(handle, &in_ptr, &in_left, &out_ptr, &out_left);
        const int error = errno;
        if (result != static_cast<std::size_t>(-1)) iconv(handle, nullptr, nullptr, &out_ptr, &out_left);
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        const auto produced = static_cast<std::size_t>(out_ptr - buffer.data());
        if (result == static_cast<std::size_t>(-1) && error == EINVAL) has_lead_bytes = true;
        if (result == static_cast<std::size_t>(-1) || produced == 0 || produced > table[b].bytes.size()) {
            table[b] = utf8_char_of(0xFFFD);
        } else {
            table[b].size = static_cast<std::uint8_t>(produced);
            std::memcpy(table[b].bytes.data(), buffer.data(), produced);
        }
    }
    ascii_identity = true;
    for (std::uint32_t b = 0; b < 0x80; ++b) {
        if (table[b].size != 1 || table[b].bytes[0] != static_cast<char>(b)) ascii_identity = false;
    }
    usable = true;
    single_byte = !has_lead_bytes;
    if (single_byte) {
        iconv_close(handle);
        handle = kNoHandle;
    }
}

void CodePageConverters::Converter::append(std::string& out, std::span<const std::byte> bytes) const {
    if (ascii_identity && is_ascii(bytes)) return append_raw(out, bytes);
    if (!single_byte) return append_multibyte(out, bytes);
    for (std::byte b : bytes) {
        const Utf8Char& c = table[std::to_integer<std::uint8_t>(b)];
        out.append(c.bytes.data(), c.size);
    }
}

// Every input byte gives at most three output bytes (a double-byte character at most four for two), and
// an undefined byte gives U+FFFD's three; the buffer still grows should a converter produce more.
void CodePageConverters::Converter::append_multibyte(std::string& out,
                                                     std::span<const std::byte> bytes) const {
    const std::size_t start = out.size();
    std::size_t used = start;
    out.resize(start + 3 * bytes.size() + 8);
    char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t in_left = bytes.size();
    auto put_replacement = [&] {
        if (out.size() - used < kReplacement.size()) out.resize(out.size() * 2 + 8);
        std::memcpy(out.data() + used, kReplacement.data(), kReplacement.size());
        used += kReplacement.size();
    };
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    while (in_left > 0) {
        char* out_ptr = out.data() + used;
        std::size_t out_left = out.size() - used;
        const std::size_t result = iconv(handle, &in_ptr, &in_left, &out_ptr, &out_left);
        const int error = errno;
        used = static_cast<std::size_t>(out_ptr - out.data());
        if (result != static_cast<std::size_t>(-1)) continue;
        if (error == E2BIG) {
            out.resize(out.size() * 2 + 8);
        } else if (error == EILSEQ) {
            put_replacement();
            ++in_ptr;
            --in_left;
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
        } else {
            // An incomplete character at the end, or an error iconv does not document here.
            put_replacement();
            in_left = 0;
        }
    }
    // Converters that hold back a character until they see the next one write it out here.
    if (out.size() - used < 16) out.resize(used + 16);
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    iconv(handle, nullptr, nullptr, &out_ptr, &out_left);
    used = static_cast<std::size_t>(out_ptr - out.data());
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    out.resize(used);
}

CodePageConverters::CodePageConverters() = default;
CodePageConverters::~CodePageConverters() = default;
CodePageConverters::CodePageConverters(CodePageConverters&&) noexcept = default;
CodePageConverters& CodePageConverters::operator=(CodePageConverters&&) noexcept = default;

CodePageConverters::Converter* CodePageConverters::find(std::int32_t code_page) {
    if (last_ != nullptr && last_->code_page == code_page) return last_;
    for (const auto& c : converters_) {
        if (c->code_page == code_page) return last_ = c.get();
    }
    auto converter = std::make_unique<Converter>();
    converter->code_page = code_page;
    converter->open();
    converters_.push_back(std::move(converter));
    return last_ = converters_.back().get();
}

bool CodePageConverters::supports(std::int32_t code_page) {
    return find(code_page)->usable;
}

void CodePageConverters::append_utf8(std::string& out, std::span<const std::byte> bytes,
                                     std::int32_t code_page, std::int32_t fallback_code_page) {
    if (bytes.empty()) return;
    Converter* converter = find(code_page);
    if (!converter->usable) converter = find(fallback_code_page);
    if (!converter->usable) converter = find(kBuiltinCodePage);
    converter->append(out, bytes);
}

void append_code_point(std::string& out, std::uint32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        const char s[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 2);
    } else if (cp < 0x10000) {
        const char s[3] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 3);
    } else {
        const char s[4] = {
            static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 4);
    }
}

void append_utf16_text(std::string& out, std::span<const std::byte> bytes) {
    const std::size_t units = (bytes.size() + 1) / 2;
    auto unit_at = [&](std::size_t i) -> std::uint32_t {
        const std::uint32_t low = std::to_integer<std::uint8_t>(bytes[2 * i]);
        const std::uint32_t high =
            2 * i + 1 < bytes.size() ? std::to_integer<std::uint8_t>(bytes[2 * i + 1]) : 0;
        return low | (high << 8);
    };
    std::size_t i = 0;
    // A run of ASCII units is written straight into the string, one byte a unit.
    const std::size_t whole_units = bytes.size() / 2;
    std::size_t ascii = 0;
    while (ascii < whole_units) {
        const std::uint32_t unit = unit_at(ascii);
        if (unit == 0 || unit >= 0x80) break;
        ++ascii;
    }
    if (ascii > 0) {
        const std::size_t start = out.size();
        out.resize(start + ascii);
        char* p = out.data() + start;
        for (std::size_t k = 0; k < ascii; ++k) p[k] = static_cast<char>(bytes[2 * k]);
        i = ascii;
    }
    for (; i < units; ++i) {
        const std::uint32_t unit = unit_at(i);
        if (unit == 0) return;
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t next = unit_at(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                append_code_point(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
            } else {
                append_code_point(out, 0xFFFD);
            }
        } else {
            append_code_point(out, unit);  // a lone surrogate becomes U+FFFD
        }
    }
}

void append_latin1_text(std::string& out, std::span<const std::byte> bytes) {
    for (std::byte b : until_zero_byte(bytes)) append_code_point(out, std::to_integer<std::uint8_t>(b));
}

std::span<const std::byte> until_zero_byte(std::span<const std::byte> bytes) {
    if (bytes.empty()) return bytes;
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    if (zero == nullptr) return bytes;
    return bytes.first(static_cast<std::size_t>(static_cast<const std::byte*>(zero) - bytes.data()));
}

}  // namespace quenlow
