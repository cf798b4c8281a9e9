#pragma once
// A FileSystem wrapper that injects the failures real disks and folders produce, path by path:
// a file that exists but cannot be opened (no permission, held open by another process), reads that
// fail with an operating-system error, and data that ends before the length the file reported (a file
// truncated while open). Faults can be changed at any time and also reach readers already open.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/pages/file_reader.h"

namespace quenlow::testing {

class FaultyFileSystem final : public FileSystem {
  public:
    explicit FaultyFileSystem(FileSystem& inner);

    void refuse_open(const std::string& path);
    // Reads of path that cover any of these byte offsets report an error, after scribbling over the
    // caller's buffer as a read that failed half-way may.
    void fail_reads_at(const std::string& path, std::vector<std::uint64_t> offsets);
    // Reads of path return no byte at or past size, while the reader keeps reporting its full length.
    void cut_data_at(const std::string& path, std::uint64_t size);
    void clear_faults(const std::string& path);

    // Every successful open, by path, in order.
    const std::vector<std::string>& opened() const { return state_->opened; }
    // Byte offsets of every read of path, in order.
    std::vector<std::uint64_t> read_offsets(const std::string& path) const;

    std::unique_ptr<FileReader> open_read_only(const std::string& path) override;
    std::vector<DirectoryEntry> list_folder(const std::string& folder) override;

    struct Faults {
        bool refuse_open = false;
        std::vector<std::uint64_t> fail_offsets;
        std::optional<std::uint64_t> cut_at;
        std::vector<std::uint64_t> reads;
    };
    struct State {
        std::map<std::string, Faults> faults;
        std::vector<std::string> opened;
    };

  private:
    FileSystem& inner_;
    std::shared_ptr<State> state_;
};

}  // namespace quenlow::testing
