// The converter behind xml columns: pieces from LOB pages joined in order, refusals as an empty text and
// one log line that names the value and where its decoding stopped.

#include "engine/values/xml_converter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/binary_xml_writer.h"
#include "tests/support/recording_events.h"

namespace quenlow::testing {
namespace {

using Bytes = std::vector<std::byte>;

Bytes sample_value() {
    BinaryXmlWriter w;
    w.element(w.qname("root")).attribute(w.qname("a")).nvarchar("1").end_attributes();
    w.element(w.qname("c")).value<std::int32_t>(0x02, 42).end_element().end_element();
    return w.bytes();
}

TEST(BinaryXmlConverter, PiecesAreJoinedInOrder) {
    const Bytes value = sample_value();
    RecordingEvents events;
    BinaryXmlConverter converter(&events);
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{7}, value.size() / 2}) {
        XmlPieces pieces;
        const auto at = [&value](std::size_t i) { return value.begin() + static_cast<std::ptrdiff_t>(i); };
        pieces.emplace_back(value.begin(), at(cut));
        pieces.emplace_back(at(cut), at(value.size() - 3));
        pieces.emplace_back(at(value.size() - 3), value.end());
        EXPECT_EQ(converter.convert(std::move(pieces)), "<root a=\"1\"><c>42</c></root>") << cut;
    }
    EXPECT_EQ(converter.convert(ByteSpan(value)), "<root a=\"1\"><c>42</c></root>");
    EXPECT_EQ(converter.convert(XmlPieces{}), "");
    EXPECT_EQ(converter.convert(XmlPieces{{}, {}}), "");
    EXPECT_TRUE(converter.last_result().ok());
    EXPECT_TRUE(events.log_lines().empty());
}

TEST(BinaryXmlConverter, RefusalIsEmptyAndLogged) {
    Bytes value = sample_value();
    value[value.size() - 2] = std::byte{0x15};  // no token
    RecordingEvents events;
    BinaryXmlConverter converter(&events);
    converter.set_table("dbo.Orders");
    converter.locate({PageAddress{1, 345}, 7, "Notes"});
    EXPECT_EQ(converter.convert(ByteSpan(value)), "");
    EXPECT_EQ(converter.last_result().error, BinaryXmlError::kUnknownToken);
    // The site named one value; a later refusal without one says only the table.
    EXPECT_EQ(converter.convert(XmlPieces{{std::byte{0x3C}, std::byte{0x61}}}), "");
    EXPECT_EQ(
        events.log_lines(),
        (std::vector<std::string>{
            "XML value of table dbo.Orders, page 1:345 slot 7, column Notes cannot be decoded: unknown token "
            "at byte " +
                std::to_string(value.size() - 2) + " of " + std::to_string(value.size()) + "; shown empty.",
            "XML value of table dbo.Orders cannot be decoded: not binary XML at byte 0 of 2; shown empty."}));

    BinaryXmlConverter quiet;  // without events: nothing to report to
    EXPECT_EQ(quiet.convert(ByteSpan(value)), "");
}

}  // namespace
}  // namespace quenlow::testing
