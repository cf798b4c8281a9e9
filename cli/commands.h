#pragma once
// The commands of the `quenlow` front end. Each parses nothing itself: it takes its options, makes one
// application call and prints the result. Return value: the process exit status.

#include <string>

namespace quenlow::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct InfoOptions {
    std::string file;
    bool json = false;
};
int run_info(const InfoOptions& options);

}  // namespace quenlow::cli
