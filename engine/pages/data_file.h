#pragma once
// One data file of a database: its reader, its size in pages and where page 0 starts inside it.
//
// A data file is a run of 8192-byte pages. Damaged or carved files may carry extra bytes in front of
// page 0 or behind the last page; the leading offset (0 or length mod 8192) says where page 0 starts.
// The corruption check settles it by looking for a page whose header page id equals its position.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/file_reader.h"

namespace quenlow {

class EngineEvents;
struct EngineState;

// A page as read: 8192 bytes followed by one zero byte, so that text readers may stop at a terminator.
using PageBuffer = std::vector<std::byte>;
inline constexpr std::size_t kPageBufferSize = 8193;

struct DataFile {
    std::string path;
    std::shared_ptr<FileReader> reader;
    std::uint64_t length = 0;
    std::uint64_t page_count = 0;
    std::uint64_t extent_count = 0;
    std::uint64_t leading_offset = 0;

    // Takes the reader's length and derives page count, extent count and the leading offset's first
    // guess (the remainder).
    void set_geometry();
    std::uint64_t remainder() const { return length % 8192; }
};

// Settles file.leading_offset. Pass A looks at p * 8192 + remainder from the start page on, pass B
// (only when pass A found nothing and the remainder is not 0) at p * 8192. Reports its start, progress
// and end through events; the stop flag ends pass A.
void run_corruption_check(DataFile& file, EngineState& state, EngineEvents& events);

// The progress step of a pass over n pages: ceil(n / 100), at least 1.
std::uint64_t progress_step(std::uint64_t n);

}  // namespace quenlow
