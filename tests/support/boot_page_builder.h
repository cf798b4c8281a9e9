#pragma once
// Builders for boot pages and small primary files made of them, for the boot page, database info and page
// inspection tests.

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/page_address.h"

namespace quenlow::testing::boot {

// Stores value little-endian at offset of bytes; the range must fit.
template <typename T>
void put_le(std::span<std::byte> bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// Writes the header fields the engine keys pages by.
void write_page_header(std::span<std::byte> page, std::uint8_t type, std::int32_t object_id,
                       std::int32_t page_id, std::uint16_t file_id = 1);

struct BootRecord {
    std::uint16_t version = 655;
    std::uint16_t create_version = 655;
    std::u16string name = u"Demo";
    // Fill the rest of the name field with U+2020 units, as the server does; zero units otherwise.
    bool dagger_padding = true;
    std::int32_t collation_id = 0x3400D008;
    PageAddress kept_page{1, 16};
};

// An 8192-byte boot page: header of type 13 claiming page id page_id, the boot record behind it.
std::vector<std::byte> build_boot_page(const BootRecord& record, std::int32_t page_id = 9);

// A primary file of page_count pages. Every page starts out zero with its own position as header page id,
// so the corruption check settles leading offset 0 and the pages map under system object 0.
class ImageBuilder {
  public:
    explicit ImageBuilder(std::size_t page_count);
    std::span<std::byte> page(std::size_t index);
    void set_header(std::size_t index, std::uint8_t type, std::int32_t object_id, std::int32_t page_id,
                    std::uint16_t file_id = 1);
    void put_page(std::size_t index, const std::vector<std::byte>& page);
    std::vector<std::byte> take() { return std::move(bytes_); }

  private:
    std::vector<std::byte> bytes_;
};

// Holds what an OpenedDatabase refers to, so a test can open an image in one line.
struct ImageDatabase {
    EngineState state;
    NullEngineEvents events;
    MemoryFileSystem files;
    std::unique_ptr<OpenedDatabase> db;

    // Adds image under path and opens it (no catalog); db->is_open() tells success.
    void open(std::vector<std::byte> image, const std::string& path = "/data/test.mdf",
              const ReadOptions& options = {});
};

}  // namespace quenlow::testing::boot
