#pragma once
// Runs the built `quenlow` program with arguments, its output captured in files of a temporary folder.

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/test_files.h"

namespace quenlow::test {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The text quoted for a POSIX shell.
inline std::string shell_quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline ProgramRun run_quenlow(const TempFolder& folder, const std::vector<std::string>& args) {
    std::string command = shell_quoted(std::string(QUENLOW_BINARY_DIR) + "/cli/quenlow");
    for (const auto& a : args) command += " " + shell_quoted(a);
    const std::string out = folder.file("stdout.txt"), err = folder.file("stderr.txt");
    command += " </dev/null >" + shell_quoted(out) + " 2>" + shell_quoted(err);
    ProgramRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = read_bytes(out);
    run.err = read_bytes(err);
    return run;
}

}  // namespace quenlow::test
