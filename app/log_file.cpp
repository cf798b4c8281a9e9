#include "app/log_file.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

namespace quenlow {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte starts and the bits it contributes; 0 for a byte that cannot lead.
int sequence_length(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) return bits = lead, 1;
    if (lead >= 0xC2 && lead <= 0xDF) return bits = lead & 0x1F, 2;
    if (lead >= 0xE0 && lead <= 0xEF) return bits = lead & 0x0F, 3;
    if (lead >= 0xF0 && lead <= 0xF4) return bits = lead & 0x07, 4;
    return 0;
}

// The smallest scalar value a sequence of each length may carry (shorter forms are overlong).
constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

std::string log_file_name(const std::tm& t) {
    return fmt::format("QuenlowSQL_log_{}-{}-{}-{}-{}-{}.txt", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                       t.tm_hour, t.tm_min, t.tm_sec);
}

std::string log_file_path(const std::string& folder, const std::tm& local_time) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + log_file_name(local_time);
}

std::tm local_time_now() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const int len = sequence_length(static_cast<unsigned char>(text[i]), cp);
        bool valid = len > 0 && static_cast<std::size_t>(len) <= text.size() - i;
        for (int k = 1; valid && k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((c & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (valid && (cp < kMinimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (!valid) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<std::size_t>(len);
    }
    return out;
}

bool LogWriter::open(const std::string& path) {
    close();
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    if (existed) {
        out_.open(path, std::ios::binary | std::ios::out | std::ios::app);
    } else {
        out_.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
        if (out_.is_open()) out_.write("\xFF\xFE", 2);
    }
    if (out_.is_open() && !out_.flush()) close();
    return out_.is_open();
}

void LogWriter::close() {
    if (out_.is_open()) out_.close();
    out_.clear();
}

void LogWriter::write_header() {
    write_utf16("\r\n" + std::string(80, '*') + "\r\n");
}

void LogWriter::write_line(std::string_view utf8) {
    if (!out_.is_open()) return;
    std::string line(utf8);
    line += "\r\n";
    write_utf16(line);
}

void LogWriter::write_utf16(std::string_view utf8) {
    if (!out_.is_open()) return;
    const std::u16string units = utf8_to_utf16(utf8);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // Every line reaches the disk at once, so a log survives a crash of the scan it describes.
    out_.flush();
}

}  // namespace quenlow
