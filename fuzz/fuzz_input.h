#pragma once
// Reading a fuzz input: leading choice bytes, then page images. Nothing here fails: an input that runs
// short yields zero bytes and zero-filled pages, so every input is a valid call of the target.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/pages/data_file.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/page_address.h"
#include "engine/pages/read_options.h"

namespace quenlow::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next byte; 0 once the input is used up.
    std::uint8_t byte();
    // The next n bytes (fewer at the end of the input).
    std::vector<std::byte> bytes(std::size_t n);
    // The rest of the input as page buffers of kPageBufferSize bytes (the last one zero-filled), at most
    // max_pages of them.
    std::vector<PageBuffer> pages(std::size_t max_pages);
    // The rest as one page buffer (zero-filled); the bytes past one page are ignored.
    PageBuffer page();
    std::size_t remaining() const { return size_ - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Read options from an options byte: bit 0 Advanced Mode, bit 1 deleted records, bit 2 the body scan,
// bit 3 every candidate record.
ReadOptions read_options_from(std::uint8_t bits);

// A primary file made of the pages (page i at i * 8192), opened in memory with the options of the bits;
// bit 4 reads its records in the SQL Server 2000 layout. A file the open refuses gives no database.
class FuzzDatabase {
public:
    FuzzDatabase(const std::vector<PageBuffer>& pages, std::uint8_t bits);
    FuzzDatabase(const FuzzDatabase&) = delete;
    FuzzDatabase& operator=(const FuzzDatabase&) = delete;

    OpenedDatabase* get() { return db_ && db_->is_open() ? db_.get() : nullptr; }
    EngineState& state() { return state_; }

private:
    EngineState state_;
    NullEngineEvents events_;
    MemoryFileSystem files_;
    std::unique_ptr<OpenedDatabase> db_;
};

}  // namespace quenlow::fuzz
