#include "engine/pages/opened_database.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace quenlow {

namespace L = page_layout;

namespace {

constexpr std::size_t kChunkPages = 128;  // 1 MiB per read in the mapping pass (less for a smaller file)

// The four header fields the mapping pass needs.
struct HeaderKey {
    std::int32_t object_id;
    std::uint32_t type;
    std::uint16_t file_id;
    std::uint16_t index_id;
};

HeaderKey header_key(ByteSpan page) {
    return {load_le<std::int32_t>(page, L::kObjectId), load_le<std::uint8_t>(page, L::kType),
            load_le<std::uint16_t>(page, L::kFileId), load_le<std::uint16_t>(page, L::kIndexId)};
}

// Gathers map entries by object id during a pass over a file and hands every object's list to a PageMap
// at the end. A pass meets objects in no useful order; walking the ordered map once per page costs
// about as much as reading the page, a hash lookup (usually skipped: neighbouring pages tend to share
// their object) does not.
class EntryCollector {
public:
    void add(std::int32_t object_id, const PageMapEntry& entry) {
        if (last_ == nullptr || object_id != last_id_) {
            last_ = &lists_[object_id];
            last_id_ = object_id;
        }
        last_->push_back(entry);
    }
    void move_into(PageMap& map) {
        for (auto& [id, list] : lists_) map.append(id, std::move(list));
        lists_.clear();
        last_ = nullptr;
    }

private:
    std::unordered_map<std::int32_t, std::vector<PageMapEntry>> lists_;
    std::int32_t last_id_ = 0;
    std::vector<PageMapEntry>* last_ = nullptr;  // element pointers survive rehashing
};

// System object ids whose pages are mapped from secondary files.
bool is_secondary_system_object(std::int32_t id) {
    static constexpr std::array<std::int32_t, 13> kIds = {3, 4, 5, 7, 8, 13, 34, 41, 50, 54, 55, 60, 74};
    return std::find(kIds.begin(), kIds.end(), id) != kIds.end();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool ends_with_ndf(const std::string& name) {
    return name.size() > 4 && lower(name.substr(name.size() - 4)) == ".ndf";
}

// Folder of a path including its final separator; empty for a bare file name.
std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The base name of a physical file name recorded by the server (a Windows path, sometimes a Unix one):
// between the last separator and the last dot.
std::string listed_base_name(const std::string& physical) {
    auto sep = physical.find_last_of("\\/");
    std::string name = sep == std::string::npos ? physical : physical.substr(sep + 1);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::unique_ptr<OpenedDatabase> OpenedDatabase::open(const std::string& path, const ReadOptions& options,
                                                     Context context, const CatalogBuilder& build_catalog) {
    std::unique_ptr<OpenedDatabase> db(new OpenedDatabase(path, options, context));
    auto reader = context.files.open_read_only(path);
    if (!reader) {
        db->open_ = false;
        context.events.fatal_error(kFileCannotBeOpen);
    } else {
        db->primary_.reader = std::move(reader);
        db->primary_.set_geometry();
        if (db->primary_.length < kPageSize) {
            db->open_ = false;
            context.events.fatal_error(kFileNotValid);
        } else {
            run_corruption_check(db->primary_, context.state, context.events);
            if (!db->map_primary()) {
                db->open_ = false;
                context.events.fatal_error(kFileNotValid);
            }
        }
    }
    context.state.stop.store(false);
    if (db->open_ && build_catalog) db->catalog_ = build_catalog(*db);
    return db;
}

// Reads pages [first, first + count) of a file in one call into out; pages the read did not reach are
// zero. A failed read falls back to one read per page, and a page that still fails is zero and reported.
namespace {
template <typename OnError>
void read_chunk(const DataFile& file, std::uint64_t first, std::size_t count, std::vector<std::byte>& out,
                OnError on_error) {
    std::span<std::byte> all(out.data(), count * kPageSize);
    if (auto got = file.reader->read_at(file.leading_offset + first * kPageSize, all)) {
        std::fill(all.begin() + static_cast<std::ptrdiff_t>(*got), all.end(), std::byte{0});
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::span<std::byte> one(out.data() + i * kPageSize, kPageSize);
        if (!file.reader->read_at(file.leading_offset + (first + i) * kPageSize, one)) {
            std::fill(one.begin(), one.end(), std::byte{0});
            on_error(first + i);
        }
    }
}
}  // namespace

bool OpenedDatabase::map_primary() {
    const std::uint64_t n = primary_.page_count;
    auto& events = context_.events;
    events.progress_range(0, static_cast<std::int64_t>(n));
    events.progress_position(0);
    events.status_text("Mapping Database Objects...........");
    const std::uint64_t step = progress_step(n);
    std::vector<std::byte> chunk(std::min<std::uint64_t>(kChunkPages, n) * kPageSize);
    EntryCollector system, data, iam;
    auto on_error = [&](std::uint64_t page) {
        if (reported_read_errors_.emplace(kPrimaryFileId, page).second)
            events.status_text(fmt::format("Read error in {} at page {}; the page is read as zeros.",
                                           primary_.path, page));
    };
    for (std::uint64_t first = 0; first < n && !context_.state.stop_requested(); first += kChunkPages) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPages, n - first));
        read_chunk(primary_, first, count, chunk, on_error);
        for (std::size_t k = 0; k < count; ++k) {
            if (context_.state.stop_requested()) break;
            const std::uint64_t i = first + k;
            HeaderKey key = header_key(ByteSpan(chunk).subspan(k * kPageSize, kPageSize));
            PageMapEntry entry{key.file_id, static_cast<std::uint32_t>(i), key.type, key.index_id};
            ++histogram_[key.type & 0xFF];
            if (key.object_id <= 100) system.add(key.object_id, entry);
            if (key.object_id > 0) {
                if (key.type == kPageTypeData) data.add(key.object_id, entry);
                else if (key.type == kPageTypeIam) iam.add(key.object_id, entry);
            }
            if ((i + 1) % step == 0) events.progress_position(static_cast<std::int64_t>(i + 1));
        }
    }
    system.move_into(system_pages_);
    data.move_into(data_pages_);
    iam.move_into(iam_pages_);
    events.progress_position(static_cast<std::int64_t>(n));
    events.status_text("Mapping of Database Objects has been done ......................");
    return !system_pages_.empty();
}

std::uint16_t OpenedDatabase::map_secondary(const DataFile& file, std::uint16_t listed_file_id,
                                            PageMap& system, PageMap& data,
                                            std::vector<std::uint64_t>& read_errors) {
    const std::uint64_t m = file.page_count;
    auto& events = context_.events;
    events.progress_range(0, static_cast<std::int64_t>(m));
    events.progress_position(0);
    const std::uint64_t step = progress_step(m);
    std::uint16_t found_id = 0;
    std::vector<std::byte> chunk(std::min<std::uint64_t>(kChunkPages, m) * kPageSize);
    EntryCollector system_lists, data_lists;
    auto on_error = [&](std::uint64_t page) {
        read_errors.push_back(page);
        events.status_text(
            fmt::format("Read error in {} at page {}; the page is read as zeros.", file.path, page));
    };
    for (std::uint64_t first = 0; first < m && !context_.state.stop_requested(); first += kChunkPages) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkPages, m - first));
        read_chunk(file, first, count, chunk, on_error);
        for (std::size_t k = 0; k < count; ++k) {
            if (context_.state.stop_requested()) break;
            const std::uint64_t i = first + k;
            HeaderKey key = header_key(ByteSpan(chunk).subspan(k * kPageSize, kPageSize));
            std::uint16_t id = listed_file_id != 0 ? listed_file_id : key.file_id;
            PageMapEntry entry{id, static_cast<std::uint32_t>(i), key.type, key.index_id};
            if (is_secondary_system_object(key.object_id)) system_lists.add(key.object_id, entry);
            if (key.object_id > 0 && key.type == kPageTypeData) {
                data_lists.add(key.object_id, entry);
                if (found_id == 0 && key.file_id > 1) found_id = key.file_id;
            }
            if ((i + 1) % step == 0) events.progress_position(static_cast<std::int64_t>(i + 1));
        }
    }
    system_lists.move_into(system);
    data_lists.move_into(data);
    events.progress_position(static_cast<std::int64_t>(m));
    return found_id;
}

void OpenedDatabase::add_secondary(SecondaryFileInfo info, const PageMap& system, const PageMap& data,
                                   const std::vector<std::uint64_t>& read_errors) {
    system_pages_.merge(system);
    data_pages_.merge(data);
    auto id = static_cast<std::uint16_t>(info.file_id);
    // Already told while mapping: later reads of these pages stay quiet.
    for (std::uint64_t page : read_errors) reported_read_errors_.emplace(id, page);
    secondary_.emplace(id, std::move(info));
}

void OpenedDatabase::find_secondary_files(std::vector<DatabaseFileRow>& file_list) {
    const std::string folder = folder_of(primary_.path);
    auto& fs = context_.files;
    if (!file_list.empty()) {
        for (const DatabaseFileRow& row : file_list) {
            if (context_.state.stop_requested()) break;
            if (row.file_id <= 1 || secondary_.count(row.file_id)) continue;
            const std::string wanted = listed_base_name(row.physical_name) + ".ndf";
            std::string path = folder + wanted;
            auto reader = fs.open_read_only(path);
            if (!reader) {
                for (const auto& e : fs.list_folder(folder.empty() ? "." : folder)) {
                    if (!e.is_directory && lower(e.name) == lower(wanted)) {
                        path = folder + e.name;
                        reader = fs.open_read_only(path);
                        break;
                    }
                }
            }
            if (!reader) continue;
            SecondaryFileInfo info{row.status, row.file_id, row.logical_name, {}};
            info.file.path = path;
            info.file.reader = std::move(reader);
            info.file.set_geometry();
            PageMap system, data;
            std::vector<std::uint64_t> read_errors;
            map_secondary(info.file, row.file_id, system, data, read_errors);
            add_secondary(std::move(info), system, data, read_errors);
        }
        return;
    }
    std::vector<DirectoryEntry> entries = fs.list_folder(folder.empty() ? "." : folder);
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    for (const auto& e : entries) {
        if (context_.state.stop_requested()) break;
        if (e.is_directory || !ends_with_ndf(e.name)) continue;
        SecondaryFileInfo info;
        info.file.path = folder + e.name;
        info.file.reader = fs.open_read_only(info.file.path);
        if (!info.file.reader) continue;
        info.file.set_geometry();
        run_corruption_check(info.file, context_.state, context_.events);
        PageMap system, data;
        std::vector<std::uint64_t> read_errors;
        std::uint16_t id = map_secondary(info.file, 0, system, data, read_errors);
        // A file that names no file id of its own, or one already taken, would alias another file's
        // pages: leave it out, with its map entries.
        if (id == 0 || secondary_.count(id)) continue;
        info.file_id = id;
        file_list.push_back({0, id, std::string(), info.file.path});
        add_secondary(std::move(info), system, data, read_errors);
    }
}

bool OpenedDatabase::read_at(const DataFile& file, std::uint16_t file_id, std::uint64_t page_index,
                             PageBuffer& buffer) {
    if (!file.reader) return false;
    const std::uint64_t pos = page_index * kPageSize + file.leading_offset;
    if (pos > file.length) return false;
    buffer.resize(kPageBufferSize);
    const std::optional<std::size_t> got = file.reader->read_at(pos, std::span<std::byte>(buffer.data(), kPageSize));
    // Bytes past the end of the file read as zeros, as does a page the system could not read.
    if (got) std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(std::min(*got, kPageSize)), buffer.end(), std::byte{0});
    if (!got) {
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        const std::lock_guard lock(read_error_mutex_);
        if (reported_read_errors_.emplace(file_id, page_index).second)
            context_.events.status_text(fmt::format("Read error in {} at page {}; the page is read as zeros.",
                                                    file.path, page_index));
    }
    return true;
}

const DataFile* OpenedDatabase::file_of(PageAddress address) const {
    if (address.page_id <= 0) return nullptr;
    const DataFile* file = nullptr;
    if (address.file_id == kPrimaryFileId) {
        file = &primary_;
    } else if (address.file_id != 0) {
        auto it = secondary_.find(address.file_id);
        if (it != secondary_.end() && !it->second.file.path.empty()) file = &it->second.file;
    }
    if (file == nullptr || static_cast<std::uint64_t>(address.page_id) >= file->page_count) return nullptr;
    return file;
}

bool OpenedDatabase::read_raw_page(PageAddress address, PageBuffer& buffer) {
    const DataFile* file = file_of(address);
    return file != nullptr && read_at(*file, address.file_id, static_cast<std::uint64_t>(address.page_id), buffer);
}

std::optional<PageBuffer> OpenedDatabase::read_raw_page(PageAddress address) {
    PageBuffer buffer;
    if (!read_raw_page(address, buffer)) return std::nullopt;
    return buffer;
}

std::optional<CPage_Header> OpenedDatabase::read_page_header(PageAddress address) {
    auto buffer = read_raw_page(address);
    if (!buffer) return std::nullopt;
    return CPage_Header(std::span<std::byte>(buffer->data(), kPageSize));
}

std::optional<PageBuffer> OpenedDatabase::read_primary_physical(std::uint64_t index) {
    if (index >= primary_.page_count) return std::nullopt;
    PageBuffer buffer;
    if (!read_at(primary_, kPrimaryFileId, index, buffer)) return std::nullopt;
    return buffer;
}

}  // namespace quenlow
