#pragma once
// One file of an export, written under "<path>.part" and renamed to its own name by commit() once every
// byte reached the disk's page cache and the file closed without an error, so that a file under its
// own name is always whole. A writer dropped before commit() removes its partial file. Errors name the
// file and the cause (a disk that fills shows here).

#include <cstdio>
#include <string>
#include <string_view>

namespace quenlow {

class ExportFileWriter {
public:
    ExportFileWriter() = default;
    ~ExportFileWriter();
    ExportFileWriter(const ExportFileWriter&) = delete;
    ExportFileWriter& operator=(const ExportFileWriter&) = delete;

    // Starts the file (replacing a partial file of an earlier run); false when it cannot be created.
    bool open(std::string path);
    bool is_open() const { return file_ != nullptr; }
    bool write(std::string_view bytes);
    // Closes the file and gives it its own name, replacing a file of that name.
    bool commit();
    const std::string& error() const { return error_; }

private:
    bool fail(const char* what);
    void discard();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string part_;
    std::string error_;
};

}  // namespace quenlow
