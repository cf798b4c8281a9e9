#include "engine/pages/compressed_record.h"

#include "engine/pages/record_page.h"

namespace quenlow {

void parse_compact_record(CPrimaryRecord& record, ByteSpan /*bytes*/, const CPage& /*page*/) {
    record.invalid = true;
}

void read_compression_info(ByteSpan /*page_bytes*/, const CPage& /*page*/, CompressionInfo& /*info*/) {}

void expand_compact_record(CPrimaryRecord& /*record*/, const PrimaryRecordPage& /*page*/) {}

}  // namespace quenlow
