#include "app/export_file_writer.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

namespace quenlow {

namespace {
constexpr std::size_t kBufferBytes = 1 << 20;
}

ExportFileWriter::~ExportFileWriter() {
    discard();
}

void ExportFileWriter::discard() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
    std::remove(part_.c_str());
}

bool ExportFileWriter::fail(const char* what) {
    error_ = fmt::format("{}: {}: {}", path_, what, std::strerror(errno));
    discard();
    return false;
}

bool ExportFileWriter::open(std::string path) {
    discard();
    path_ = std::move(path);
    part_ = path_ + ".part";
    error_.clear();
    file_ = std::fopen(part_.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = fmt::format("{}: cannot be created: {}", part_, std::strerror(errno));
        return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferBytes);
    return true;
}

bool ExportFileWriter::write(std::string_view bytes) {
    if (file_ == nullptr) {
        if (error_.empty()) error_ = fmt::format("{}: not open", path_);
        return false;
    }
    if (bytes.empty()) return true;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return fail("cannot be written");
    return true;
}

bool ExportFileWriter::commit() {
    if (file_ == nullptr) return error_.empty();
    if (std::fflush(file_) != 0) return fail("cannot be written");
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) {
        file_ = nullptr;
        error_ = fmt::format("{}: cannot be written: {}", path_, std::strerror(errno));
        std::remove(part_.c_str());
        return false;
    }
    if (std::rename(part_.c_str(), path_.c_str()) != 0) {
        error_ = fmt::format("{}: cannot be renamed from {}: {}", path_, part_, std::strerror(errno));
        std::remove(part_.c_str());
        return false;
    }
    return true;
}

}  // namespace quenlow
