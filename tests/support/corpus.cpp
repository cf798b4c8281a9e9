#include "tests/support/corpus.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "tests/support/sha256.h"

namespace quenlow::testing {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifest = "manifest.json";
constexpr const char* kExpectedTables = "expected_tables.json";
constexpr const char* kGzSuffix = ".mdf.gz";

fs::path configured_corpus_dir() {
    if (const char* env = std::getenv("QUENLOW_CORPUS_DIR"); env != nullptr && *env != '\0') return env;
    return QUENLOW_CORPUS_DIR;
}

std::optional<nlohmann::json> read_json(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    auto json = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) return std::nullopt;
    return json;
}

// "files/v539_pubs_sql2000data.mdf.gz" -> "v539_pubs_sql2000data"
std::string name_of(const std::string& manifest_key) {
    std::string base = fs::path(manifest_key).filename().string();
    const std::string suffix = kGzSuffix;
    if (base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0)
        base.resize(base.size() - suffix.size());
    return base;
}

CorpusFile file_from(const nlohmann::json& entry, const nlohmann::json& expected, const fs::path& dir) {
    CorpusFile f;
    f.manifest_key = entry.value("file", "");
    f.name = name_of(f.manifest_key);
    f.gz_path = dir / f.manifest_key;
    f.path = corpus_cache_dir() / (f.name + ".mdf");
    f.bytes = entry.value("bytes", std::uint64_t{0});
    f.sha256 = entry.value("sha256", "");
    f.version = entry.value("version", 0);
    f.create_version = entry.value("create_version", 0);
    f.page_count = entry.value("page_count", std::uint64_t{0});
    f.db_name = entry.value("db_name", "");
    f.notes = entry.value("notes", "");
    if (auto it = entry.find("truth"); it != entry.end() && it->is_array())
        for (const auto& t : *it)
            if (t.is_string()) f.truth.push_back(t.get<std::string>());
    if (auto it = expected.find(f.manifest_key); it != expected.end() && it->is_array())
        for (const auto& t : *it)
            if (t.is_string()) f.expected_tables.push_back(t.get<std::string>());
    return f;
}

std::vector<CorpusFile> load_corpus() {
    std::vector<CorpusFile> files;
    auto dir = corpus_dir();
    if (!dir) return files;
    auto manifest = read_json(*dir / kManifest);
    if (!manifest || !manifest->is_array()) return files;
    auto expected = read_json(*dir / kExpectedTables).value_or(nlohmann::json::object());
    for (const auto& entry : *manifest) {
        if (!entry.is_object() || !entry.contains("file")) continue;
        files.push_back(file_from(entry, expected, *dir));
    }
    return files;
}

std::optional<std::uint64_t> size_of(const fs::path& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec) return std::nullopt;
    return size;
}

// A name no other process or thread uses for its temporary copy.
fs::path temporary_name(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return target.string() + fmt::format(".tmp-{}-{}", ::getpid(), counter.fetch_add(1));
}

// Decompresses gz into out, hashing as it goes. Returns an error text, empty on success.
std::string decompress(const fs::path& gz, const fs::path& out, std::uint64_t& written, std::string& digest) {
    std::unique_ptr<gzFile_s, decltype(&gzclose)> in(gzopen(gz.c_str(), "rb"), &gzclose);
    if (!in) return fmt::format("cannot open {}", gz.string());
    gzbuffer(in.get(), 1 << 18);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> sink(std::fopen(out.c_str(), "wb"), &std::fclose);
    if (!sink) return fmt::format("cannot create {}", out.string());
    std::vector<char> buffer(1 << 20);
    Sha256 hash;
    written = 0;
    for (;;) {
        int n = gzread(in.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            int code = 0;
            return fmt::format("{} is damaged: {}", gz.string(), gzerror(in.get(), &code));
        }
        if (n == 0) break;
        auto got = static_cast<std::size_t>(n);
        if (std::fwrite(buffer.data(), 1, got, sink.get()) != got)
            return fmt::format("cannot write {}", out.string());
        hash.update(std::as_bytes(std::span<const char>(buffer.data(), got)));
        written += got;
    }
    if (std::fclose(sink.release()) != 0) return fmt::format("cannot write {}", out.string());
    digest = hash.hex_digest();
    return {};
}

}  // namespace

void PrintTo(const CorpusFile& file, std::ostream* os) {
    *os << file.name;
}

fs::path corpus_cache_dir() {
    return fs::path(QUENLOW_BINARY_DIR) / "corpus-cache";
}

std::optional<fs::path> corpus_dir() {
    fs::path dir = configured_corpus_dir();
    std::error_code ec;
    if (!fs::is_regular_file(dir / kManifest, ec) || !fs::is_directory(dir / "files", ec))
        return std::nullopt;
    return dir;
}

bool corpus_available() {
    return corpus_dir().has_value() && !corpus_files().empty();
}

std::string corpus_missing_reason() {
    fs::path dir = configured_corpus_dir();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return fmt::format("corpus folder {} not found (set QUENLOW_CORPUS_DIR to the corpus folder)",
                           dir.string());
    if (!fs::is_regular_file(dir / kManifest, ec))
        return fmt::format("{} has no {}", dir.string(), kManifest);
    if (corpus_files().empty()) return fmt::format("{} lists no file", (dir / kManifest).string());
    return "corpus available";
}

const std::vector<CorpusFile>& corpus_files() {
    static const std::vector<CorpusFile> files = load_corpus();
    return files;
}

const CorpusFile* find_corpus_file(const std::string& name) {
    for (const CorpusFile& f : corpus_files())
        if (f.name == name) return &f;
    return nullptr;
}

Materialized materialize(const CorpusFile& file) {
    Materialized result{file.path, {}};
    if (size_of(file.path) == file.bytes) return result;

    std::error_code ec;
    fs::create_directories(file.path.parent_path(), ec);
    if (ec) {
        result.error = fmt::format("cannot create {}: {}", file.path.parent_path().string(), ec.message());
        return result;
    }
    const fs::path temp = temporary_name(file.path);
    std::uint64_t written = 0;
    std::string digest;
    result.error = decompress(file.gz_path, temp, written, digest);
    if (result.error.empty() && written != file.bytes)
        result.error = fmt::format("{} decompressed to {} bytes, the manifest says {}", file.gz_path.string(),
                                   written, file.bytes);
    if (result.error.empty() && !file.sha256.empty() && digest != file.sha256)
        result.error = fmt::format("{} decompressed to sha256 {}, the manifest says {}",
                                   file.gz_path.string(), digest, file.sha256);
    if (result.error.empty()) {
        ::chmod(temp.c_str(), 0444);
        fs::rename(temp, file.path, ec);
        if (ec) result.error = fmt::format("cannot move {} into place: {}", temp.string(), ec.message());
    }
    if (!result.error.empty()) fs::remove(temp, ec);
    return result;
}

}  // namespace quenlow::testing
