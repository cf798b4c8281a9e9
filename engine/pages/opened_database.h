#pragma once
// An opened database: the primary data file, the secondary files found for it, and the page-to-object
// maps built by one sequential pass over every file.
//
// Pages are found through the maps rather than through allocation structures, so a database whose
// allocation pages are damaged can still be read. Three maps are kept:
//   system pages  object id <= 100 (secondary files: a fixed list of system object ids)
//   data pages    pages of type 1 with object id > 0
//   IAM pages     pages of type 10 with object id > 0, primary file only
// Every entry keeps the index id field of its page's header as well: in files of 2005 and later the two
// fields together name the page's allocation unit, and units of different tables can share the object id
// field (UnitPages tells a unit's pages).
//
// Page reads take a PageAddress and refuse anything outside a file: file id 0 or unknown, page id 0 or
// negative, page id at or past the page count, a position past the end. A short read is zero-filled;
// an operating-system read error gives a zero-filled page and is reported once per page. Once the database
// is open, pages may be read from several threads at a time.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/pages/data_file.h"
#include "engine/pages/database_file_row.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/page_header.h"
#include "engine/pages/page_map.h"
#include "engine/pages/read_options.h"

namespace quenlow {

struct SecondaryFileInfo {
    std::uint32_t status = 0;
    std::uint32_t file_id = 0;
    std::string logical_name;
    DataFile file;  // path, length, page count, leading offset; the reader stays open
};

// What the database open hands the catalog layer; the catalog types derive from it.
class DatabaseCatalog {
public:
    virtual ~DatabaseCatalog() = default;
};

class OpenedDatabase;
using CatalogBuilder = std::function<std::unique_ptr<DatabaseCatalog>(OpenedDatabase&)>;

inline constexpr const char* kFileCannotBeOpen = "File cannot be open...........";
inline constexpr const char* kFileNotValid =
    "Wheteher File is not valid mdf file or file is highly corrupted...........";

class OpenedDatabase {
public:
    struct Context {
        EngineState& state;
        EngineEvents& events;
        FileSystem& files;
    };

    // Opens the primary file, settles its leading offset, maps its pages and, on success, builds the
    // catalog with build_catalog (when given). Always returns an object; is_open() tells success.
    // Fatal errors go to the events. The stop flag is cleared before returning. The options stay with
    // the database as they were given.
    static std::unique_ptr<OpenedDatabase> open(const std::string& path, const ReadOptions& options,
                                                Context context, const CatalogBuilder& build_catalog = {});

    bool is_open() const { return open_; }
    const ReadOptions& options() const { return options_; }
    EngineState& state() const { return context_.state; }
    EngineEvents& events() const { return context_.events; }
    FileSystem& files() const { return context_.files; }

    const DataFile& primary() const { return primary_; }
    const std::map<std::uint16_t, SecondaryFileInfo>& secondary_files() const { return secondary_; }

    const PageMap& system_pages() const { return system_pages_; }
    const PageMap& data_pages() const { return data_pages_; }
    const PageMap& iam_pages() const { return iam_pages_; }
    // How many pages of the primary file carry each page type.
    const std::array<std::uint64_t, 256>& page_type_histogram() const { return histogram_; }

    const std::string& database_name() const { return database_name_; }
    void set_database_name(std::string name) { database_name_ = std::move(name); }

    DatabaseCatalog* catalog() const { return catalog_.get(); }

    // Page reads; nothing when the address is refused.
    std::optional<PageBuffer> read_raw_page(PageAddress address);
    // The same into a buffer of the caller's (its memory is used again, so a loop over many pages does
    // not allocate one per page); false when the address is refused.
    bool read_raw_page(PageAddress address, PageBuffer& buffer);
    std::optional<CPage_Header> read_page_header(PageAddress address);
    // Reads the page at a physical position of the primary file without the address rules (the boot
    // page is read this way); nothing only when the position lies outside the file.
    std::optional<PageBuffer> read_primary_physical(std::uint64_t index);

    // Finds and maps the secondary files. With a non-empty file list the listed files (file id > 1) are
    // opened from the primary file's folder under their listed base name + ".ndf"; otherwise the folder
    // is searched for "*.ndf" files and each one that holds a data page of file id > 1 is added to the
    // list under that id.
    void find_secondary_files(std::vector<DatabaseFileRow>& file_list);

private:
    OpenedDatabase(std::string path, const ReadOptions& options, Context context)
        : context_(context), options_(options) {
        primary_.path = std::move(path);
    }

    bool map_primary();
    // Maps a secondary file into maps; returns the first data page file id above 1 (0 when none).
    // Pages that could not be read are reported and listed in read_errors.
    std::uint16_t map_secondary(const DataFile& file, std::uint16_t listed_file_id, PageMap& system,
                                PageMap& data, std::vector<std::uint64_t>& read_errors);
    bool read_at(const DataFile& file, std::uint16_t file_id, std::uint64_t page_index, PageBuffer& buffer);
    const DataFile* file_of(PageAddress address) const;
    void add_secondary(SecondaryFileInfo info, const PageMap& system, const PageMap& data,
                       const std::vector<std::uint64_t>& read_errors);

    Context context_;
    const ReadOptions options_;
    bool open_ = true;
    DataFile primary_;
    std::map<std::uint16_t, SecondaryFileInfo> secondary_;
    std::string database_name_;
    PageMap system_pages_;
    PageMap data_pages_;
    PageMap iam_pages_;
    std::array<std::uint64_t, 256> histogram_{};
    std::unique_ptr<DatabaseCatalog> catalog_;
    // Pages may be read from more than one thread once the database is open (an export decodes on
    // workers); the read errors reported so far, and the report itself, are taken one at a time.
    std::mutex read_error_mutex_;
    std::set<std::pair<std::uint16_t, std::uint64_t>> reported_read_errors_;
};

}  // namespace quenlow
