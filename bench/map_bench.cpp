// The database open against a plain read of the same file.
//
// A 1 GiB data file of 131072 pages with plausible headers (page id = position, file id 1, a mix of
// system and user objects, data, index, IAM, text and allocation pages) is written once and then read
// from the page cache by both benchmarks:
//   SequentialRead  reads the whole file in 1 MiB chunks and does nothing with the bytes;
//   OpenAndMap      OpenedDatabase::open: corruption check plus the mapping pass over every page.
// The mapping pass should cost little more than the read itself. bench/run-map-bench.sh prints the ratio.
//
// The file goes to $QUENLOW_BENCH_FILE when set, else to <build>/bench-data/map_bench.mdf, and is reused
// while its size and last page header are right.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/opened_database.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;
namespace L = page_layout;

constexpr std::uint64_t kPages = 131072;
constexpr std::uint64_t kFileBytes = kPages * kPageSize;
constexpr std::size_t kChunkBytes = 1 << 20;
constexpr std::size_t kWritePages = 1024;  // 8 MiB per write while generating

template <typename T>
void store_le(std::byte* p, T value) {
    std::memcpy(p, &value, sizeof(T));
}

// The header of page i: the fixed allocation pages where a real file has them, otherwise a weighted mix
// of data, index, IAM and text pages owned by a few system objects and many user objects.
void write_header(std::byte* page, std::uint32_t i, std::mt19937& rng) {
    static constexpr std::array<std::int32_t, 8> kSystemIds = {3, 5, 7, 34, 41, 50, 54, 60};
    std::uint8_t type = kPageTypeData;
    std::int32_t object_id = 99;
    if (i == 0) {
        type = kPageTypeFileHeader;
    } else if (i == 1 || i % 8088 == 0) {
        type = kPageTypePfs;
    } else if (i == 2) {
        type = kPageTypeGam;
    } else if (i == 3) {
        type = kPageTypeSgam;
    } else if (i == 9) {
        type = kPageTypeBoot;
    } else {
        const std::uint32_t roll = rng() % 100;
        const bool system = rng() % 10 == 0;
        object_id = system ? kSystemIds[rng() % kSystemIds.size()]
                           : static_cast<std::int32_t>(72057594 + rng() % 2000);
        type = roll < 60   ? kPageTypeData
               : roll < 85 ? kPageTypeIndex
               : roll < 90 ? kPageTypeIam
                           : kPageTypeText;
        if (roll >= 97) object_id = 0;  // unallocated, never written
    }
    page[L::kHeaderVersion] = std::byte{1};
    page[L::kType] = std::byte{type};
    store_le<std::uint16_t>(page + L::kSlotCount, static_cast<std::uint16_t>(rng() % 200));
    store_le<std::int32_t>(page + L::kObjectId, object_id);
    store_le<std::uint16_t>(page + L::kFreeData, 96);
    store_le<std::int32_t>(page + L::kPageId, static_cast<std::int32_t>(i));
    store_le<std::uint16_t>(page + L::kFileId, kPrimaryFileId);
}

fs::path bench_file_path() {
    if (const char* env = std::getenv("QUENLOW_BENCH_FILE"); env != nullptr && *env != '\0') return env;
    return fs::path(QUENLOW_BINARY_DIR) / "bench-data" / "map_bench.mdf";
}

bool file_is_current(const fs::path& path) {
    std::error_code ec;
    if (fs::file_size(path, ec) != kFileBytes || ec) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::array<std::byte, L::kHeaderSize> head{};
    const ssize_t n = ::pread(fd, head.data(), head.size(), static_cast<off_t>(kFileBytes - kPageSize));
    ::close(fd);
    return n == static_cast<ssize_t>(head.size()) &&
           load_le<std::int32_t>(head, L::kPageId) == static_cast<std::int32_t>(kPages - 1);
}

void write_all(int fd, const std::byte* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) throw std::runtime_error("cannot write the benchmark file");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void generate(const fs::path& path) {
    fs::create_directories(path.parent_path());
    const fs::path temp = path.string() + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + temp.string());
    std::mt19937 rng(20240613);
    std::vector<std::byte> block(kWritePages * kPageSize);
    for (std::uint64_t first = 0; first < kPages; first += kWritePages) {
        std::fill(block.begin(), block.end(), std::byte{0});
        for (std::size_t k = 0; k < kWritePages; ++k)
            write_header(block.data() + k * kPageSize, static_cast<std::uint32_t>(first + k), rng);
        write_all(fd, block.data(), block.size());
    }
    ::close(fd);
    fs::rename(temp, path);
}

// Reads the whole file in 1 MiB chunks; returns the bytes read.
std::uint64_t read_sequentially(const fs::path& path, std::vector<std::byte>& buffer) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        total += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    return total;
}

// The benchmark file, generated on first use and read once so that both benchmarks start from the cache.
const fs::path& warm_bench_file() {
    static const fs::path path = [] {
        fs::path p = bench_file_path();
        if (!file_is_current(p)) generate(p);
        std::vector<std::byte> buffer(kChunkBytes);
        read_sequentially(p, buffer);
        return p;
    }();
    return path;
}

void SequentialRead(benchmark::State& state) {
    const fs::path& path = warm_bench_file();
    std::vector<std::byte> buffer(kChunkBytes);
    std::uint64_t total = 0;
    for (auto _ : state) {
        total += read_sequentially(path, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    if (total != state.iterations() * kFileBytes) state.SkipWithError("short read of the benchmark file");
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}

void OpenAndMap(benchmark::State& state) {
    const fs::path& path = warm_bench_file();
    EngineState engine;
    NullEngineEvents events;
    PosixFileSystem files;
    std::uint64_t mapped = 0;
    for (auto _ : state) {
        auto db = OpenedDatabase::open(path.string(), ReadOptions{}, {engine, events, files});
        if (!db->is_open()) {
            state.SkipWithError("the benchmark file did not open");
            break;
        }
        mapped += db->primary().page_count;
        benchmark::DoNotOptimize(db.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(mapped * kPageSize));
    state.counters["pages"] = static_cast<double>(kPages);
}

BENCHMARK(SequentialRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(OpenAndMap)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace quenlow
