#pragma once
// Which rows that are not live rows a table listing shows.
//
// With deleted records asked for, or in Advanced Mode, a table's pages give more than its live rows:
// ghosts a slot still names, records the body scan finds between the records, and the rows of pages that
// name the table but that no allocation structure of it reaches any more (left behind by a rebuild, a
// page split or a de-allocation). Most of these are exact copies of live rows or bytes that only look
// like a record. Before a load decodes anything, a survey reads the load's pages once and settles:
//
//   stale pages       in Advanced Mode, the listed pages the table's allocation route does not reach;
//                     every row of them is a "stale page" row
//   stale copies      a non-live record whose stored bytes equal a live record of the table, or a
//                     non-live record met earlier in page-list order: shown once, as the live row or the
//                     first copy
//   misshapen         a non-live record whose column count exceeds the table's, whose fixed part has a
//                     length no live record and not the schema has, or whose variable values run
//                     backwards or out of the record
//
// While the rows are decoded, a non-live row is also left out when a value of it cannot be decoded (a
// date out of range, decimal digits beyond the precision, bytes outside the record) or when its text
// holds control characters or unreadable Unicode. Left-out rows are counted, never shown; the setting
// "keep every candidate" shows them all, with their states.
//
// The survey's verdicts are fixed once it is made and depend only on a row's place, so batches decoded
// again (Next, Previous) and export workers decoding side by side all leave out the same rows.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "engine/pages/opened_database.h"
#include "engine/values/row_decoder.h"

namespace quenlow {

// Rows left out, by reason.
struct LeftOutRows {
    std::int64_t stale_copies = 0;
    std::int64_t rejected = 0;

    bool any() const { return stale_copies > 0 || rejected > 0; }
    LeftOutRows& operator+=(const LeftOutRows& other) {
        stale_copies += other.stale_copies;
        rejected += other.rejected;
        return *this;
    }
};

// "Left out N stale copies of rows already shown and M candidate records that do not decode cleanly."
std::string left_out_text(const LeftOutRows& left_out);

class RowTrust {
public:
    enum class Verdict : std::uint8_t { kShow, kStaleCopy, kRejected };

    // Surveys `pages` (a load's page list) of the catalog's current table. advanced: the list came from
    // the page-to-object map, and pages its allocation route does not reach are stale. Stops early (with
    // the verdicts so far) when the database's stop flag is set.
    static std::shared_ptr<const RowTrust> survey(OpenedDatabase& database, SystemCatalog& catalog,
                                                  const std::vector<PageAddress>& pages, bool advanced);

    bool page_stale(PageAddress page) const { return stale_pages_.contains(page); }
    // The verdict on a decoded row of `page` (facts with the origin already made "stale page" on a stale
    // page). Live rows are always shown.
    Verdict judge(PageAddress page, const RowFacts& facts, const DecodedRow& row) const;

    // Survey counts for tests and reports.
    std::size_t stale_page_count() const { return stale_pages_.size(); }

private:
    bool keep_every_ = false;
    std::set<PageAddress> stale_pages_;
    // Per page, the records left out by the survey, with why.
    std::map<PageAddress, std::map<std::int32_t, Verdict>> left_out_;
};

// Whether a non-live row's decoded values look like a row of the table: no damaged value, and no text
// with control characters (other than tab, line feed, carriage return), and no Unicode text with a
// replacement character (a lone surrogate).
bool row_values_plausible(const DecodedRow& row);

}  // namespace quenlow
