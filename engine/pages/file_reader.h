#pragma once
// The one way the engine touches files: a read-only, positioned reader. The file implementation serves
// real data files; the in-memory one serves tests and fuzzers. A FileSystem opens readers by path and
// lists a folder, which is all the secondary file search needs.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quenlow {

class FileReader {
public:
    virtual ~FileReader() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to out.size() bytes at offset. Returns the count read, which is short only at the end of
    // the file, or nothing when the operating system reports an error.
    virtual std::optional<std::size_t> read_at(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// A regular file opened read-only. Never writes, never changes the file's times beyond what the
// operating system does for reads.
class PosixFileReader final : public FileReader {
public:
    // Opens path for reading; nothing when it cannot be opened or is not a regular file.
    static std::unique_ptr<PosixFileReader> open(const std::string& path);
    ~PosixFileReader() override;
    PosixFileReader(const PosixFileReader&) = delete;
    PosixFileReader& operator=(const PosixFileReader&) = delete;

    std::uint64_t size() const override { return size_; }
    std::optional<std::size_t> read_at(std::uint64_t offset, std::span<std::byte> out) override;

private:
    PosixFileReader(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
};

// Bytes held in memory. Offsets listed in fail_offsets make a read that covers them report an error,
// which lets tests exercise the operating-system error path.
class MemoryFileReader final : public FileReader {
public:
    explicit MemoryFileReader(std::shared_ptr<const std::vector<std::byte>> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_->size(); }
    std::optional<std::size_t> read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::vector<std::uint64_t> fail_offsets;

private:
    std::shared_ptr<const std::vector<std::byte>> bytes_;
};

struct DirectoryEntry {
    std::string name;
    bool is_directory = false;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual std::unique_ptr<FileReader> open_read_only(const std::string& path) = 0;
    // Entries of a folder in the order the system returns them; empty when it cannot be listed.
    virtual std::vector<DirectoryEntry> list_folder(const std::string& folder) = 0;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<FileReader> open_read_only(const std::string& path) override;
    std::vector<DirectoryEntry> list_folder(const std::string& folder) override;
};

// Files by full path; folders are implied by the paths. Paths use '/'.
class MemoryFileSystem final : public FileSystem {
public:
    void add_file(const std::string& path, std::vector<std::byte> bytes);
    // The reader of path fails reads that cover any of these byte offsets.
    void fail_reads_at(const std::string& path, std::vector<std::uint64_t> offsets);
    std::unique_ptr<FileReader> open_read_only(const std::string& path) override;
    std::vector<DirectoryEntry> list_folder(const std::string& folder) override;

private:
    std::map<std::string, std::shared_ptr<const std::vector<std::byte>>> files_;
    std::map<std::string, std::vector<std::uint64_t>> failures_;
};

}  // namespace quenlow
