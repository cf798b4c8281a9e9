#pragma once
// Records in the compact (row- or page-compressed) format and the page's compression information.
//
// A compact record has bit 0 of status byte A set. Its layout (a 4-bit code per column, a short-data
// region, a long-data region) and the page's anchor record and dictionary are not read yet: until they
// are, a compact record is marked invalid, the compression information stays empty and the expansion
// leaves records unchanged. These three functions are the only places that will change when the
// format is read.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/record.h"

namespace quenlow {

class CPage;
class PrimaryRecordPage;

// What a page with page compression carries after its header (bytes 96 and on).
struct CompressionInfo {
    // Bytes 96..102: flags, two bytes kept, dictionary offset, size of the information.
    std::array<std::byte, 7> raw{};
    bool has_anchor = false;
    bool has_dictionary = false;
    std::unique_ptr<CPrimaryRecord> anchor;
    std::vector<ByteSpan> dictionary;
};

// Parses the record at `bytes` (max_length bytes at most) in the compact format into `record`.
void parse_compact_record(CPrimaryRecord& record, ByteSpan bytes, const CPage& page);

// Reads the compression information of a page whose header says it carries one.
void read_compression_info(ByteSpan page_bytes, const CPage& page, CompressionInfo& info);

// Turns a valid compact record into one with an ordinary fixed part, each column at its full width.
void expand_compact_record(CPrimaryRecord& record, const PrimaryRecordPage& page);

}  // namespace quenlow
