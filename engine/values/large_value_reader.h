#pragma once
// Values that a record does not hold itself, and the seams through which the row decoder reads them.
//
// A complex variable value (end offset with bit 15 set) names where the column's bytes are:
//
//   kind                 | size | layout of the value in the record
//   ---------------------+------+-----------------------------------------------------------------
//   in-row root (byte 2) |  12n | bytes 0-11 header, byte 0 the kind; then one 12-byte pointer per
//   large root (byte 4)  | + 12 | fragment from offset 12: size (signed 32), page id (32),
//                        |      | file id (16), slot (16)
//   text pointer         |   16 | byte 0 is 0; timestamp (8), page id (32) at 8, file id (16) at 12,
//                        |      | slot (16) at 14
//
// The reader follows the pointers to the LOB pages and joins the fragments' texts in pointer order.
// For xml columns it gives the fragments' bytes back as pieces instead, and the XML converter turns the
// joined pieces into text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog_model.h"
#include "engine/pages/byte_reader.h"
#include "engine/pages/page_address.h"

namespace quenlow {

class OpenedDatabase;
struct FormatContext;

// How the fragments of one value are turned into text; set by the row decoder from the column's type.
struct LargeValueFlags {
    bool binary = false;   // hex digits, no prefix
    bool variant = false;  // sql_variant: the 8-byte variant header is skipped
    bool unicode = false;  // UTF-16 data may be narrowed to 8-bit text
};

// Fragments of an xml value in the order they were met; each piece is a copy of one fragment's data.
using XmlPieces = std::vector<std::vector<std::byte>>;

struct LargeValueRequest {
    // The complex value as it sits in the record.
    ByteSpan item;
    LargeValueFlags flags;
    const ColumnDescriptor* column = nullptr;
    // The database of the record's page; null for a page built from bytes alone (nothing can be read).
    OpenedDatabase* database = nullptr;
    // The row decoder's formatting context: code page converters and the column's code page for 8-bit
    // text. Null: the reader's own defaults.
    const FormatContext* format = nullptr;
};

class LargeValueReader {
public:
    virtual ~LargeValueReader() = default;

    // Joins the fragments an in-row root or a large root points to. With `pieces`, data fragments are
    // appended there and contribute no text. A fragment that cannot be read contributes nothing.
    virtual std::string read_large_value(const LargeValueRequest& request, XmlPieces* pieces) = 0;
    // Reads the fragment a text pointer names: empty when it is missing, one blank when it holds
    // nothing readable.
    virtual std::string read_through_text_pointer(const LargeValueRequest& request, XmlPieces* pieces) = 0;
    // Whether the last read could not follow every pointer of its value: a root or text pointer that
    // leads to no fragment, a chain of fragments that is cut. A reader that reads nothing cuts nothing.
    virtual bool last_value_cut() const { return false; }
};

// Reads nothing: every value stored elsewhere shows an empty text.
class EmptyLargeValueReader final : public LargeValueReader {
public:
    std::string read_large_value(const LargeValueRequest&, XmlPieces*) override { return {}; }
    std::string read_through_text_pointer(const LargeValueRequest&, XmlPieces*) override { return {}; }
};

// Where an xml value comes from, for the report of a value that cannot be converted.
struct XmlValueSite {
    PageAddress page;
    std::int64_t slot = -1;
    std::string_view column;
};

// Turns the stored (binary) form of an xml value into its text; empty when it cannot.
class XmlConverter {
public:
    virtual ~XmlConverter() = default;

    // Names the value the next conversion is for.
    virtual void locate(const XmlValueSite&) {}

    // A value collected from LOB fragments: the pieces joined in order. Takes the pieces.
    virtual std::string convert(XmlPieces pieces) = 0;
    // A value held in one buffer.
    virtual std::string convert(ByteSpan bytes) = 0;
    // Whether the last conversion refused its value (its text is then empty).
    virtual bool last_refused() const { return false; }
};

// Converts nothing.
class EmptyXmlConverter final : public XmlConverter {
public:
    std::string convert(XmlPieces) override { return {}; }
    std::string convert(ByteSpan) override { return {}; }
};

}  // namespace quenlow
