#pragma once
// The log file of a scan: one UTF-16LE text file per Open command in the log folder.
//
//   name     "QuenlowSQL_log_" D-M-YYYY-h-m-s ".txt"   (local time of the Open, no leading zeros)
//   new file FF FE (byte order mark), then the lines
//   line     the UTF-16LE text without terminator, then 0D 00 0A 00
//   header   written by every Open: CR LF, 80 asterisks, CR LF
//
// A second Open within the same second finds the file already there: it appends to its end, after a
// new header, and writes no second byte order mark. Lines are kept as UTF-8 inside the program and
// encoded to UTF-16 only when written.

#include <ctime>
#include <fstream>
#include <string>
#include <string_view>

namespace quenlow {

// "QuenlowSQL_log_8-12-2026-9-5-7.txt" for 09:05:07 on 8 December 2026.
std::string log_file_name(const std::tm& local_time);

// The folder joined with the file name; a '/' goes between them unless the folder ends with one.
std::string log_file_path(const std::string& folder, const std::tm& local_time);

// The local time of now, the way the log file name reads it.
std::tm local_time_now();

// UTF-8 to UTF-16. A byte that does not start a valid, shortest-form sequence of a scalar value
// (stray continuation bytes, overlong forms, encoded surrogates, values above U+10FFFF, cut sequences)
// becomes U+FFFD and decoding resumes at the next byte.
std::u16string utf8_to_utf16(std::string_view text);

class LogWriter {
public:
    // Opens path: a new file is created and starts with the byte order mark; an existing one is
    // appended to. Any file open before is closed first. False when the file cannot be created or
    // opened; nothing is written then and is_open() stays false.
    bool open(const std::string& path);
    void close();
    bool is_open() const { return out_.is_open(); }

    // CR LF, a row of 80 asterisks, CR LF.
    void write_header();
    // The text, then CR LF. Does nothing while no file is open.
    void write_line(std::string_view utf8);

private:
    void write_utf16(std::string_view utf8);

    std::ofstream out_;
};

}  // namespace quenlow
