#include "fuzz/fuzz_input.h"

#include <algorithm>
#include <cstring>

namespace quenlow::fuzz {

std::uint8_t FuzzInput::byte() { return pos_ < size_ ? data_[pos_++] : 0; }

std::vector<std::byte> FuzzInput::bytes(std::size_t n) {
    n = std::min(n, remaining());
    std::vector<std::byte> out(n);
    if (n != 0) std::memcpy(out.data(), data_ + pos_, n);
    pos_ += n;
    return out;
}

std::vector<PageBuffer> FuzzInput::pages(std::size_t max_pages) {
    std::vector<PageBuffer> out;
    while (remaining() > 0 && out.size() < max_pages) {
        PageBuffer page(kPageBufferSize);
        const std::size_t n = std::min(remaining(), kPageSize);
        std::memcpy(page.data(), data_ + pos_, n);
        pos_ += n;
        out.push_back(std::move(page));
    }
    return out;
}

PageBuffer FuzzInput::page() {
    auto all = pages(1);
    return all.empty() ? PageBuffer(kPageBufferSize) : std::move(all.front());
}

ReadOptions read_options_from(std::uint8_t bits) {
    ReadOptions options;
    options.advanced = (bits & 1) != 0;
    options.show_deleted = (bits & 2) != 0;
    options.show_advanced_deleted = (bits & 4) != 0;
    options.keep_every_candidate = (bits & 8) != 0;
    return options;
}

FuzzDatabase::FuzzDatabase(const std::vector<PageBuffer>& pages, std::uint8_t bits) {
    std::vector<std::byte> file;
    file.reserve(pages.size() * kPageSize);
    for (const PageBuffer& page : pages) {
        const std::size_t n = std::min(page.size(), kPageSize);
        file.insert(file.end(), page.begin(), page.begin() + static_cast<std::ptrdiff_t>(n));
        file.resize(file.size() + (kPageSize - n));
    }
    files_.add_file("/fuzz/input.mdf", std::move(file));
    db_ = OpenedDatabase::open("/fuzz/input.mdf", read_options_from(bits), {state_, events_, files_});
    state_.sql2000_layout = (bits & 0x10) != 0;
}

}  // namespace quenlow::fuzz
