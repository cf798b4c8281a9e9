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
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    q += '\'';
    return q;
}

inline ProgramRun run_quenlow(const TempFolder& folder, const std::vector<std::string>& args) {
    std::string program = QUENLOW_BINARY_DIR;
    program += "/cli/quenlow";
    std::string command = shell_quoted(program);
    for (const auto& a : args) {
        command += ' ';
        command += shell_quoted(a);
    }
    const std::string out = folder.file("stdout.txt"), err = folder.file("stderr.txt");
    command += " </dev/null >";
    command += shell_quoted(out);
    command += " 2>";
    command += shell_quoted(err);
    ProgramRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = read_bytes(out);
    run.err = read_bytes(err);
    return run;
}

}  // namespace quenlow::test
