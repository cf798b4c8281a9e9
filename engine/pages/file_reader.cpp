#include "engine/pages/file_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quenlow {

std::unique_ptr<PosixFileReader> PosixFileReader::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<PosixFileReader>(new PosixFileReader(fd, static_cast<std::uint64_t>(st.st_size)));
}

PosixFileReader::~PosixFileReader() { ::close(fd_); }

std::optional<std::size_t> PosixFileReader::read_at(std::uint64_t offset, std::span<std::byte> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::optional<std::size_t> MemoryFileReader::read_at(std::uint64_t offset, std::span<std::byte> out) {
    for (std::uint64_t bad : fail_offsets) {
        if (bad >= offset && bad - offset < out.size()) return std::nullopt;
    }
    if (offset >= bytes_->size()) return 0;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_->size() - offset));
    // An empty span may carry a null pointer, which memcpy must not see even for zero bytes.
    if (n != 0) std::memcpy(out.data(), bytes_->data() + offset, n);
    return n;
}

std::unique_ptr<FileReader> PosixFileSystem::open_read_only(const std::string& path) {
    return PosixFileReader::open(path);
}

std::vector<DirectoryEntry> PosixFileSystem::list_folder(const std::string& folder) {
    std::vector<DirectoryEntry> out;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return out;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        std::string full = folder.empty() ? name : folder + "/" + name;
        bool is_dir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.push_back({std::move(name), is_dir});
    }
    ::closedir(dir);
    return out;
}

void MemoryFileSystem::add_file(const std::string& path, std::vector<std::byte> bytes) {
    files_[path] = std::make_shared<const std::vector<std::byte>>(std::move(bytes));
}

void MemoryFileSystem::fail_reads_at(const std::string& path, std::vector<std::uint64_t> offsets) {
    failures_[path] = std::move(offsets);
}

std::unique_ptr<FileReader> MemoryFileSystem::open_read_only(const std::string& path) {
    auto it = files_.find(path);
    if (it == files_.end()) return nullptr;
    auto reader = std::make_unique<MemoryFileReader>(it->second);
    if (auto f = failures_.find(path); f != failures_.end()) reader->fail_offsets = f->second;
    return reader;
}

std::vector<DirectoryEntry> MemoryFileSystem::list_folder(const std::string& folder) {
    std::vector<DirectoryEntry> out;
    std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const auto& [path, bytes] : files_) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = path.substr(prefix.size());
        auto slash = rest.find('/');
        if (slash == std::string::npos) {
            out.push_back({rest, false});
        } else {
            std::string dir = rest.substr(0, slash);
            bool seen = std::any_of(out.begin(), out.end(), [&](const DirectoryEntry& e) { return e.name == dir; });
            if (!seen) out.push_back({dir, true});
        }
    }
    return out;
}

}  // namespace quenlow
