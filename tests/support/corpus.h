#pragma once
// The corpus of real data files, for tests that check whole-database behaviour against files written by
// a real server.
//
// The corpus folder holds gzip'd data files (files/*.mdf.gz), manifest.json (one entry per file: size and
// digest of the uncompressed file, versions, database name, page count, notes, truth scripts) and
// expected_tables.json (the user tables each file must list). It is found through the environment
// variable QUENLOW_CORPUS_DIR when set, else through the folder fixed at build time. The corpus is only
// read: a file is decompressed into <build>/corpus-cache/<name>.mdf on first use, and later uses reuse that
// copy while its size matches the manifest.
//
//   for (const CorpusFile& file : corpus_files()) {
//       auto local = materialize(file);
//       ASSERT_TRUE(local) << local.error;
//       ... open local.path ...
//   }

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quenlow::testing {

struct CorpusFile {
    std::string name;               // file name without ".mdf.gz", e.g. "v539_pubs_sql2000data"
    std::string manifest_key;       // "files/<name>.mdf.gz", the key of both JSON files
    std::filesystem::path gz_path;  // the compressed file inside the corpus
    std::filesystem::path path;     // where the decompressed copy lives (made by materialize)
    std::uint64_t bytes = 0;        // size of the uncompressed file
    std::string sha256;             // digest of the uncompressed file, lower-case hex
    int version = 0;                // boot page: current file version (539 = 2000 ... 852 = 2016)
    int create_version = 0;         // boot page: version the database was created with
    std::uint64_t page_count = 0;
    std::string db_name;
    std::string notes;
    std::vector<std::string> truth;            // truth scripts, relative to the corpus folder
    std::vector<std::string> expected_tables;  // names of the user tables, as listed

    // Written by a 2000 server and never upgraded: the catalog has the old layout.
    bool is_sql2000() const { return version == 539; }
    // Created by an older version and upgraded in place.
    bool upgraded() const { return create_version < version; }
};

// Prints the name, so that test failures and parameter listings stay readable.
void PrintTo(const CorpusFile& file, std::ostream* os);

// The corpus folder, or nothing when it (or its manifest) is missing.
std::optional<std::filesystem::path> corpus_dir();
bool corpus_available();
// Why the corpus is unavailable, for skip messages.
std::string corpus_missing_reason();

// Every file of the manifest, in manifest order; empty when the corpus is missing or the manifest cannot
// be read. Reads only the JSON files: nothing is decompressed here.
const std::vector<CorpusFile>& corpus_files();
// The file with this name (see CorpusFile::name), or nullptr.
const CorpusFile* find_corpus_file(const std::string& name);

struct Materialized {
    std::filesystem::path path;
    std::string error;  // empty on success
    explicit operator bool() const { return error.empty(); }
};

// Makes sure file.path holds the decompressed file: reuses a copy of the manifest's size, otherwise
// decompresses into a temporary file, checks its size and digest and moves it into place (safe when
// several test processes do it at once). The copy is left read-only.
Materialized materialize(const CorpusFile& file);

// The folder of decompressed copies: <build>/corpus-cache.
std::filesystem::path corpus_cache_dir();

}  // namespace quenlow::testing
