#pragma once
// Small file helpers for the application tests: a temporary folder that removes itself, reading a file
// back, decoding a UTF-16LE log file, and a tiny data file that the database open accepts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace quenlow::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenlow-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes UTF-16LE bytes (no byte order mark expected) into UTF-8; adds a failure for an odd length or a
// broken surrogate pair.
inline std::string utf16le_to_utf8(const std::string& bytes) {
    EXPECT_EQ(bytes.size() % 2, 0u) << "UTF-16 text of odd length";
    std::string out;
    auto put = [&out](char32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low =
                static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            EXPECT_TRUE(low >= 0xDC00 && low <= 0xDFFF) << "broken surrogate pair";
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        put(u);
    }
    return out;
}

// A log file read back: it must start with the byte order mark FF FE; the rest is decoded to UTF-8.
inline std::string read_log_file(const std::string& path) {
    const std::string bytes = read_bytes(path);
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') {
        ADD_FAILURE() << path << " does not start with the byte order mark FF FE";
        return {};
    }
    return utf16le_to_utf8(bytes.substr(2));
}

// Two zeroed pages: the open settles the leading offset and maps the pages under object id 0, a system
// object, so the file opens; it holds no catalog.
inline void write_blank_data_file(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const std::vector<char> zeros(2 * 8192, 0);
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

// A data file of page_count pages (at least 9) whose page 8 carries its own page id, so the corruption
// check settles the leading offset at 0, and whose listed pages are data pages (type 1, file id 1) of
// the given object ids.
inline void write_data_file(const std::string& path, std::uint32_t page_count,
                            const std::vector<std::pair<std::uint32_t, std::int32_t>>& data_pages) {
    std::vector<char> image(std::size_t{page_count} * 8192, 0);
    auto header = [&](std::uint32_t index, std::int32_t object_id, std::uint8_t type) {
        char* page = image.data() + std::size_t{index} * 8192;
        page[1] = static_cast<char>(type);
        std::memcpy(page + 24, &object_id, 4);
        std::memcpy(page + 32, &index, 4);
        page[36] = 1;
    };
    header(8, 0, 0);
    for (const auto& [index, object_id] : data_pages) header(index, object_id, 1);
    std::ofstream out(path, std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
}

inline std::tm make_time(int day, int month, int year, int hour, int minute, int second) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

}  // namespace quenlow::test
