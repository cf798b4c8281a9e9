#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace quenlow::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenlow-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Folders made unreadable by a test must become removable again.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace quenlow::testing
