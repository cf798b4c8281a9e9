#pragma once
// A small synthetic primary data file shaped like one a server writes, for the sample database, the
// mapping pass and the benchmarks. Every page id equals the page's position, so the corruption check
// finds the file aligned.
//
//   page  0      file header   (type 15, object 99)
//   page  1      PFS           (type 11, object 99)
//   page  2, 3   GAM, SGAM     (types 8, 9, object 99)
//   page  4, 5   never written (all zero)
//   page  6, 7   differential and bulk-logged maps (types 16, 17, object 99)
//   page  8      data page of the first system object
//   page  9      boot page     (type 13, object 99) with version, name and collation id
//   page 10 ...  each system object: an IAM page then a data page; then each user object: an IAM page
//                then data pages; the rest round-robin data pages of the user objects, every fifth page
//                of it never written.
//
// Pages past page_count are left out, so any page count from 1 up gives a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/page_builder.h"

namespace quenlow::testing {

// The system objects whose pages the synthetic file carries (the ones mapped from secondary files too).
inline const std::vector<std::int32_t> kSyntheticSystemObjects = {3,  4,  5,  7,  8,  13, 34,
                                                                  41, 50, 54, 55, 60, 74};

struct SyntheticDatabaseSpec {
    std::size_t page_count = 64;
    std::uint16_t file_id = 1;
    std::vector<std::int32_t> user_object_ids = {256, 257, 258};
    std::uint16_t version = 706;
    std::string name = "QuenlowSample";
    std::int32_t collation_id = 872468488;
    // Records per data page; each is a one-column int row.
    int rows_per_page = 4;
};

Bytes make_synthetic_database(const SyntheticDatabaseSpec& blueprint = {});

}  // namespace quenlow::testing
