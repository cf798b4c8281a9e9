#include "engine/pages/data_file.h"

#include <array>

#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/page_header.h"

namespace quenlow {

void DataFile::set_geometry() {
    length = reader ? reader->size() : 0;
    page_count = (length - length % kPageSize) / kPageSize;
    extent_count = page_count / 8;
    leading_offset = remainder();
}

std::uint64_t progress_step(std::uint64_t n) { return n == 0 ? 1 : (n + 99) / 100; }

namespace {

// Whether the page at byte position pos claims page id p in its header.
bool page_id_matches(FileReader& reader, std::uint64_t pos, std::uint64_t p) {
    std::array<std::byte, page_layout::kPageId + 4> head{};
    auto n = reader.read_at(pos, head);
    if (!n || *n < head.size()) return false;
    return load_le<std::int32_t>(head, page_layout::kPageId) == static_cast<std::int64_t>(p);
}

}  // namespace

void run_corruption_check(DataFile& file, EngineState& state, EngineEvents& events) {
    const std::uint64_t n = file.page_count;
    const std::uint64_t start = n > 8 ? 8 : n / 4;
    const std::uint64_t rem = file.remainder();
    events.status_text("Checking for file corruption ...........");
    events.progress_range(0, static_cast<std::int64_t>(n));
    events.progress_position(0);
    const std::uint64_t step = progress_step(n);

    file.leading_offset = rem;
    bool found = false;
    if (file.reader) {
        for (std::uint64_t p = start; p < n && !state.stop_requested(); ++p) {
            if (page_id_matches(*file.reader, p * kPageSize + rem, p)) {
                found = true;
                break;
            }
            if (p % step == 0) events.progress_position(static_cast<std::int64_t>(p));
        }
        if (!found && rem != 0) {
            for (std::uint64_t p = start; p < n; ++p) {
                if (page_id_matches(*file.reader, p * kPageSize, p)) {
                    file.leading_offset = 0;
                    break;
                }
                if (p % step == 0) events.progress_position(static_cast<std::int64_t>(p));
            }
        }
    }
    events.progress_position(static_cast<std::int64_t>(n));
    events.status_text("Checking for file corruption is done...........");
}

}  // namespace quenlow
