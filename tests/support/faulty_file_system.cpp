#include "tests/support/faulty_file_system.h"

#include <algorithm>

namespace quenlow::testing {

namespace {

class FaultyReader final : public FileReader {
  public:
    FaultyReader(std::unique_ptr<FileReader> inner, std::shared_ptr<FaultyFileSystem::State> state,
                 std::string path)
        : inner_(std::move(inner)), state_(std::move(state)), path_(std::move(path)) {}

    std::uint64_t size() const override { return inner_->size(); }

    std::optional<std::size_t> read_at(std::uint64_t offset, std::span<std::byte> out) override {
        auto& faults = state_->faults[path_];
        faults.reads.push_back(offset);
        for (std::uint64_t bad : faults.fail_offsets) {
            if (bad >= offset && bad - offset < out.size()) {
                // A read can fail after part of it arrived: leave noise where the caller hoped for data.
                std::fill(out.begin(), out.end(), std::byte{0xEE});
                return std::nullopt;
            }
        }
        if (faults.cut_at) {
            if (offset >= *faults.cut_at) return 0;
            out = out.first(
                static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), *faults.cut_at - offset)));
        }
        return inner_->read_at(offset, out);
    }

  private:
    std::unique_ptr<FileReader> inner_;
    std::shared_ptr<FaultyFileSystem::State> state_;
    std::string path_;
};

}  // namespace

FaultyFileSystem::FaultyFileSystem(FileSystem& inner) : inner_(inner), state_(std::make_shared<State>()) {}

void FaultyFileSystem::refuse_open(const std::string& path) {
    state_->faults[path].refuse_open = true;
}

void FaultyFileSystem::fail_reads_at(const std::string& path, std::vector<std::uint64_t> offsets) {
    state_->faults[path].fail_offsets = std::move(offsets);
}

void FaultyFileSystem::cut_data_at(const std::string& path, std::uint64_t size) {
    state_->faults[path].cut_at = size;
}

void FaultyFileSystem::clear_faults(const std::string& path) {
    auto& f = state_->faults[path];
    f.refuse_open = false;
    f.fail_offsets.clear();
    f.cut_at.reset();
}

std::vector<std::uint64_t> FaultyFileSystem::read_offsets(const std::string& path) const {
    auto it = state_->faults.find(path);
    return it == state_->faults.end() ? std::vector<std::uint64_t>{} : it->second.reads;
}

std::unique_ptr<FileReader> FaultyFileSystem::open_read_only(const std::string& path) {
    auto it = state_->faults.find(path);
    if (it != state_->faults.end() && it->second.refuse_open) return nullptr;
    auto inner = inner_.open_read_only(path);
    if (!inner) return nullptr;
    state_->opened.push_back(path);
    return std::make_unique<FaultyReader>(std::move(inner), state_, path);
}

std::vector<DirectoryEntry> FaultyFileSystem::list_folder(const std::string& folder) {
    return inner_.list_folder(folder);
}

}  // namespace quenlow::testing
