// Every fuzz target over every input that ever crashed or hung one (tests/fuzz/regressions/<target>/),
// and over the builder's seeds, so that the normal test run keeps each fixed fault fixed and each target
// runnable. A regression input runs in a child process: a crash there fails its case, not the run.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_seeds.h"
#include "fuzz/fuzz_targets.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the target over the input in a child process; the child's exit status (-1: it did not end in
// the time given, 0: it ended normally).
int run_isolated(const fuzz::Target& target, const std::vector<std::uint8_t>& input, int seconds) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(static_cast<unsigned>(seconds));
        target.run(input.data(), input.size());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(FuzzTargets, AreNamedOnceAndFoundByName) {
    std::set<std::string> names;
    for (const fuzz::Target& target : fuzz::all_targets()) {
        EXPECT_TRUE(names.insert(target.name).second) << target.name;
        EXPECT_EQ(fuzz::find_target(target.name), &target);
        EXPECT_GT(target.max_len, 0u);
    }
    EXPECT_EQ(fuzz::find_target("no_such_target"), nullptr);
    // Every folder of regression inputs belongs to a target.
    for (const auto& entry : fs::directory_iterator(QUENLOW_FUZZ_REGRESSIONS)) {
        if (entry.is_directory()) EXPECT_TRUE(names.count(entry.path().filename().string())) << entry.path();
    }
}

TEST(FuzzTargets, RegressionInputsEndNormallyAndPromptly) {
    std::size_t replayed = 0;
    for (const fuzz::Target& target : fuzz::all_targets()) {
        const fs::path folder = fs::path(QUENLOW_FUZZ_REGRESSIONS) / target.name;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".")) continue;
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(run_isolated(target, read_file(entry.path()), 60), 0);
            ++replayed;
        }
    }
    RecordProperty("replayed", static_cast<int>(replayed));
}

// Every builder seed runs through its target, and the empty input and a one-byte input do too: the
// inputs libFuzzer starts from must all be valid calls.
TEST(FuzzTargets, RunOverTheirSeeds) {
    for (const fuzz::Target& target : fuzz::all_targets()) {
        SCOPED_TRACE(target.name);
        const std::vector<fuzz::Seed> seeds = fuzz::builder_seeds(target.name);
        EXPECT_FALSE(seeds.empty());
        for (const fuzz::Seed& seed : seeds) {
            EXPECT_LE(seed.size(), target.max_len);
            EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size()), 0);
        }
        const std::uint8_t one = 0xFF;
        EXPECT_EQ(target.run(nullptr, 0), 0);
        EXPECT_EQ(target.run(&one, 1), 0);
    }
}

}  // namespace
}  // namespace quenlow
