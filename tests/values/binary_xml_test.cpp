// The binary XML decoder: byte vectors of the format's own examples, round trips of every token kind
// through the test writer, and damaged values (truncated, undefined names, lengths past the end, deep
// nesting, bytes overwritten) that must end in a refusal with the text so far, never a crash.

#include "engine/values/binary_xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/values/binary_xml_atomic.h"
#include "tests/support/binary_xml_writer.h"

namespace quenlow::testing {
namespace {

using Bytes = std::vector<std::byte>;
using E = BinaryXmlError;

Bytes hex(std::string_view text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::byte>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

struct Decoded {
    BinaryXmlResult result;
    std::string text;
};

Decoded decode(const Bytes& value, BinaryXmlLimits limits = {}) {
    BinaryXmlDecoder decoder(limits);
    Decoded d;
    // A copy of exactly the value's size, so a read past it is caught under the address sanitizer.
    const auto copy = std::make_unique<std::byte[]>(value.size());
    std::copy(value.begin(), value.end(), copy.get());
    d.result = decoder.decode(ByteSpan(copy.get(), value.size()), d.text);
    return d;
}

constexpr std::string_view kHeader = "DF FF 01 B0 04 ";

// ---- the format's examples ---------------------------------------------------------------------------

TEST(BinaryXml, ExampleByteVectors) {
    const struct {
        const char* what;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"element, attribute and text",
         "DF FF 01 B0 04 F0 04 72 00 6F 00 6F 00 74 00 EF 00 00 01 F8 01 F0 01 61 00 EF 00 00 02 F6 02 "
         "11 01 31 00 F5 11 01 78 00 F7",
         "<root a=\"1\">x</root>"},
        {"prefixed element with its declaration",
         std::string(kHeader) +
             "F0 05 75 00 72 00 6E 00 3A 00 78 00 F0 01 70 00 F0 01 65 00 EF 01 02 03 F8 01 "
             "F0 07 78 00 6D 00 6C 00 6E 00 73 00 3A 00 70 00 EF 00 04 00 F6 02 "
             "11 05 75 00 72 00 6E 00 3A 00 78 00 F5 F7",
         "<p:e xmlns:p=\"urn:x\" />"},
        {"typed int content", std::string(kHeader) + "F0 01 6E 00 EF 00 00 01 F8 01 02 2A 00 00 00 F7",
         "<n>42</n>"},
        {"version 2 date", "DF FF 02 B0 04 7F 07 24 0B", "2000-01-01"},
        {"datetime", std::string(kHeader) + "12 AC 8E 00 00 00 C1 C5 00", "2000-01-01T12:00:00.000"},
        {"version 1 date in UTC", std::string(kHeader) + "83 61 93 BA 3B 07 00 00 00", "2000-01-01Z"},
        {"decimal", std::string(kHeader) + "0A 07 06 04 01 5E 0D 03 00", "20.003"},
        {"processing instruction, comment and whitespace text",
         std::string(kHeader) +
             "F0 04 72 00 6F 00 6F 00 74 00 EF 00 00 01 F8 01 11 02 0A 00 09 00 F0 02 70 00 69 00 "
             "F4 02 04 74 00 65 00 78 00 74 00 11 02 0A 00 09 00 "
             "F3 07 63 00 6F 00 6D 00 6D 00 65 00 6E 00 74 00 11 01 0A 00 F7",
         "<root>\n\t<?pi text?>\n\t<!--comment-->\n</root>"},
        {"version 0 reads as version 1", "DF FF 00 B0 04 11 01 78 00", "x"},
        {"header alone", "DF FF 01 B0 04", ""},
    };
    for (const auto& c : cases) {
        const Decoded d = decode(hex(c.bytes));
        EXPECT_TRUE(d.result.ok()) << c.what << ": " << binary_xml_error_text(d.result.error) << " at "
                                   << d.result.offset;
        EXPECT_EQ(d.text, c.text) << c.what;
    }
}

TEST(BinaryXml, MultiByteIntegers) {
    const struct {
        const char* bytes;
        E error;
        std::uint32_t value;
    } cases[] = {
        {"00", E::kNone, 0},
        {"7F", E::kNone, 127},
        {"80 01", E::kNone, 128},
        {"AC 02", E::kNone, 300},
        {"80 80 01", E::kNone, 16384},
        {"FF FF FF FF 07", E::kNone, 0x7FFFFFFF},
        {"80 80 80 80 08", E::kBadLength, 0},     // 2^31
        {"80 80 80 80 80 00", E::kBadLength, 0},  // six bytes
        {"80 80", E::kTruncated, 0},
    };
    for (const auto& c : cases) {
        const Bytes b = hex(c.bytes);
        const auto* p = reinterpret_cast<const std::uint8_t*>(b.data());
        binxml::Cursor cursor{p, p, p + b.size()};
        std::uint32_t value = 0;
        EXPECT_EQ(binxml::read_mb32(cursor, value), c.error) << c.bytes;
        if (c.error == E::kNone) {
            EXPECT_EQ(value, c.value) << c.bytes;
        }
    }
    const Bytes big = hex("FF FF FF FF FF FF FF FF 7F");
    const auto* p = reinterpret_cast<const std::uint8_t*>(big.data());
    binxml::Cursor cursor{p, p, p + big.size()};
    std::uint64_t value = 0;
    EXPECT_EQ(binxml::read_mb64(cursor, value), E::kNone);
    EXPECT_EQ(value, std::numeric_limits<std::uint64_t>::max() >> 1);
    const Bytes too_big = hex("FF FF FF FF FF FF FF FF FF 01");
    p = reinterpret_cast<const std::uint8_t*>(too_big.data());
    cursor = binxml::Cursor{p, p, p + too_big.size()};
    EXPECT_EQ(binxml::read_mb64(cursor, value), E::kBadLength);
}

// ---- round trips through the writer --------------------------------------------------------------------

struct RoundTrip {
    const char* what;
    std::function<void(BinaryXmlWriter&)> write;
    std::string text;
    std::uint8_t version = 1;
};

void expect_round_trips(const std::vector<RoundTrip>& cases) {
    for (const RoundTrip& c : cases) {
        BinaryXmlWriter w(c.version);
        c.write(w);
        const Decoded d = decode(w.bytes());
        EXPECT_TRUE(d.result.ok()) << c.what << ": " << binary_xml_error_text(d.result.error) << " at "
                                   << d.result.offset;
        EXPECT_EQ(d.text, c.text) << c.what;
    }
}

// One element whose content is what `value` writes.
std::function<void(BinaryXmlWriter&)> in_element(std::function<void(BinaryXmlWriter&)> value) {
    return [value](BinaryXmlWriter& w) {
        w.element(w.qname("v"));
        value(w);
        w.end_element();
    };
}

TEST(BinaryXml, StructureRoundTrips) {
    expect_round_trips({
        {"elements without content",
         [](BinaryXmlWriter& w) {
             const auto e = w.qname("e"), a = w.qname("a");
             w.element(e).element(e).end_element().element(e).attribute(a).end_attributes().end_element();
             w.end_element();
         },
         "<e><e/><e a=\"\" /></e>"},
        {"text and attribute escaping",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e")).attribute(w.qname("a")).nvarchar("\"<&>\t\n\r'").end_attributes();
             w.nvarchar("a<b>&c\"'\t").end_element();
         },
         "<e a=\"&quot;&lt;&amp;>&#x9;&#xA;&#xD;'\">a&lt;b&gt;&amp;c\"'\t</e>"},
        {"several values: strings joined, typed ones set apart",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e")).attribute(w.qname("l")).value<std::int32_t>(0x02, 1);
             w.name("defined between two values");
             w.value<std::int32_t>(0x02, 2);
             w.end_attributes().nvarchar("a").nchar("b").value<std::int32_t>(0x02, 3).nvarchar("x");
             w.value<std::int32_t>(0x02, 4).value<std::int32_t>(0x02, 5).end_element();
         },
         "<e l=\"1 2\">ab3x4 5</e>"},
        {"a fragment: several roots and bare text",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("a")).end_element().nvarchar("t").element(w.qname("b")).end_element();
         },
         "<a/>t<b/>"},
        {"processing instructions and comments",
         [](BinaryXmlWriter& w) {
             w.pi("go", "").pi("pi", "a <b>").comment(" c & d ").element(w.qname("r")).end_element();
         },
         "<?go?><?pi a <b>?><!-- c & d --><r/>"},
        {"CDATA in chunks, split where its text holds the end marker",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("r")).cdata("<a>").cdata(" & ").cdata_end();
             w.cdata("x]]").cdata(">y").cdata_end().end_element();
         },
         "<r><![CDATA[<a> & ]]><![CDATA[x]]]]><![CDATA[>y]]></r>"},
        {"XML declaration",
         [](BinaryXmlWriter& w) { w.xml_declaration("1.0", "UTF-8", 1).element(w.qname("r")).end_element(); },
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><r/>"},
        {"XML declaration, version only, standalone no",
         [](BinaryXmlWriter& w) { w.xml_declaration("1.0", "", 2); },
         "<?xml version=\"1.0\" standalone=\"no\"?>"},
        {"DOCTYPE with public and system ids and a subset",
         [](BinaryXmlWriter& w) {
             w.doctype("html", "s.dtd", "-//P", "<!ENTITY e 'x'>").element(w.qname("html")).end_element();
         },
         "<!DOCTYPE html PUBLIC \"-//P\" \"s.dtd\" [<!ENTITY e 'x'>]><html/>"},
        {"DOCTYPE with a system id",
         [](BinaryXmlWriter& w) { w.comment("c").doctype("r", "r.dtd", nullptr, nullptr).comment("d"); },
         "<!--c--><!DOCTYPE r SYSTEM \"r.dtd\"><!--d-->"},
        {"nested document with tables of its own",
         [](BinaryXmlWriter& w) {
             const auto root = w.qname("root");
             w.element(root).nest();
             w.xml_declaration("1.0", "", 0).element(w.qname("inner")).end_element().end_nest();
             w.element(root).end_element().end_element();
         },
         "<root><?xml version=\"1.0\"?><inner/><root/></root>"},
        {"extension skipped, tables flushed inside an element",
         [](BinaryXmlWriter& w) {
             w.extension({std::byte{1}, std::byte{0xF7}, std::byte{0xEB}});
             w.element(w.qname("a")).flush();
             w.element(w.qname("b")).end_element().end_element();
         },
         "<a><b/></a>"},
        {"UTF-16 beyond ASCII, and a lone surrogate",
         [](BinaryXmlWriter& w) {
             w.nvarchar("\u00e9\u20ac\U0001F600");
             w.raw({std::byte{0x11}, std::byte{2}, std::byte{0x00}, std::byte{0xD8}, std::byte{0x41},
                    std::byte{0}});
         },
         "\u00e9\u20ac\U0001F600\uFFFDA"},
    });
}

TEST(BinaryXml, NamespaceRoundTrips) {
    expect_round_trips({
        {"declared prefix",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e", "p", "urn:x")).declare("p", "urn:x").end_attributes();
             w.element(w.qname("c", "p", "urn:x")).end_element().end_element();
         },
         "<p:e xmlns:p=\"urn:x\"><p:c/></p:e>"},
        {"prefix used without its declaration",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e", "p", "urn:x")).element(w.qname("c", "p", "urn:x")).end_element();
             w.end_element().element(w.qname("e", "p", "urn:x")).end_element();
         },
         "<p:e xmlns:p=\"urn:x\"><p:c/></p:e><p:e xmlns:p=\"urn:x\" />"},
        {"default namespace, and a child in none",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e", "", "urn:d")).element(w.qname("c")).end_element().end_element();
         },
         "<e xmlns=\"urn:d\"><c xmlns=\"\" /></e>"},
        {"declared default namespace",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e", "", "urn:d")).declare("", "urn:d").end_attributes();
             w.element(w.qname("c", "", "urn:d")).end_element().end_element();
         },
         "<e xmlns=\"urn:d\"><c/></e>"},
        {"prefixed attribute",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e")).attribute(w.qname("at", "q", "urn:a")).nvarchar("1").end_attributes();
             w.end_element();
         },
         "<e q:at=\"1\" xmlns:q=\"urn:a\" />"},
        {"the xml prefix is always bound",
         [](BinaryXmlWriter& w) {
             w.element(w.qname("e"))
                 .attribute(w.qname("lang", "xml", "http://www.w3.org/XML/1998/namespace"));
             w.nvarchar("en").end_attributes().end_element();
         },
         "<e xml:lang=\"en\" />"},
        {"qname value", in_element([](BinaryXmlWriter& w) { w.qname_value(w.qname("local", "p", "urn:x")); }),
         "<v>p:local</v>"},
    });
}

Bytes bytes_of(std::initializer_list<int> values) {
    Bytes out;
    for (const int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

// A value token in an element, and the element's text.
RoundTrip typed(const char* what, std::function<void(BinaryXmlWriter&)> value, std::string text,
                std::uint8_t version = 1) {
    return {what, in_element(std::move(value)), "<v>" + text + "</v>", version};
}

constexpr std::uint32_t kDays2000 = 730119;  // 2000-01-01, days since 0001-01-01

TEST(BinaryXml, NumberAndBinaryValues) {
    using W = BinaryXmlWriter;
    expect_round_trips({
        typed(
            "bit", [](W& w) { w.value<std::uint8_t>(0x06, 2); }, "1"),
        typed(
            "tinyint is signed", [](W& w) { w.value<std::uint8_t>(0x07, 0xFF); }, "-1"),
        typed(
            "xs:byte", [](W& w) { w.value<std::uint8_t>(0x88, 0xFF); }, "255"),
        typed(
            "smallint", [](W& w) { w.value<std::int16_t>(0x01, -32768); }, "-32768"),
        typed(
            "bigint", [](W& w) { w.value<std::int64_t>(0x08, std::numeric_limits<std::int64_t>::min()); },
            "-9223372036854775808"),
        typed(
            "unsigned short, int, long",
            [](W& w) {
                w.value<std::uint16_t>(0x89, 65535).value<std::uint32_t>(0x8A, 4294967295u);
                w.value<std::uint64_t>(0x8B, std::numeric_limits<std::uint64_t>::max());
            },
            "65535 4294967295 18446744073709551615"),
        typed(
            "real and float",
            [](W& w) {
                w.value<float>(0x03, 1.5f).value<double>(0x04, 1e20).value<double>(0x04, 0.1);
                w.value<double>(0x04, -0.0).value<double>(0x04, -123456.789);
            },
            "1.5E0 1E20 1E-1 -0E0 -1.23456789E5"),
        typed(
            "float specials",
            [](W& w) {
                w.value<double>(0x04, std::numeric_limits<double>::infinity());
                w.value<float>(0x03, -std::numeric_limits<float>::infinity());
                w.value<double>(0x04, std::numeric_limits<double>::quiet_NaN());
            },
            "INF -INF NaN"),
        typed(
            "money and smallmoney",
            [](W& w) { w.value<std::int64_t>(0x05, -123456).value<std::int32_t>(0x14, 50000); },
            "-12.3456 5.0000"),
        typed(
            "decimals",
            [](W& w) {
                w.decimal(0x0A, 6, 4, true, 200030).decimal(0x0B, 5, 3, false, 5);
                w.decimal(0x87, 5, 0, true, 12345, 8).decimal(0x0A, 3, 2, false, 0);
                w.decimal(0x0A, 38, 0, true, 0xFFFFFFFFFFFFFFFFull, 16);
            },
            "20.003 -0.005 12345 0 18446744073709551615"),
        typed(
            "uniqueidentifier",
            [](W& w) {
                w.fixed(0x09, bytes_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
            },
            "03020100-0504-0706-0809-0A0B0C0D0E0F"),
        typed(
            "base64 of binary, varbinary, image, udt, xs:base64Binary",
            [](W& w) {
                w.blob(0x0C, {}).blob(0x0C, bytes_of({'M'})).blob(0x0F, bytes_of({'M', 'a'}));
                w.blob(0x17, bytes_of({'M', 'a', 'n'}))
                    .blob(0x1B, bytes_of({0xFB, 0xFF}))
                    .blob(0x85, bytes_of({0}));
            },
            " TQ== TWE= TWFu +/8= AA=="),
        typed(
            "xs:hexBinary",
            [](W& w) {
                w.blob(0x84, bytes_of({0x42, 0xAC, 0xEF}));
            },
            "42ACEF"),
        typed(
            "xs:boolean", [](W& w) { w.value<std::uint8_t>(0x86, 0).value<std::uint8_t>(0x86, 7); },
            "false true"),
    });
}

TEST(BinaryXml, TextValues) {
    using W = BinaryXmlWriter;
    expect_round_trips({
        typed(
            "char in code page 1252, escaped",
            [](W& w) {
                w.code_page_text(0x0D, 1252, bytes_of({'c', 'a', 'f', 0xE9, ' ', '&', '<'}));
            },
            "caf\u00e9 &amp;&lt;"),
        typed(
            "varchar in UTF-16, text in UTF-8",
            [](W& w) {
                w.code_page_text(0x10, 1200, bytes_of({'a', 0, 0xAC, 0x20}));
                w.code_page_text(0x16, 65001, bytes_of({0xC3, 0xA9, '>'}));
            },
            "a\u20ac\u00e9&gt;"),
        typed(
            "nchar, nvarchar, ntext", [](W& w) { w.nchar("a").nvarchar("").ntext("b c"); }, "ab c"),
    });
}

TEST(BinaryXml, DateAndTimeValues) {
    using W = BinaryXmlWriter;
    // Version 1 dates: mixed-radix fields above the two kind bits.
    const std::uint64_t clock_ms = ((6 * 60 + 5) * 60 + 4) * 1000 + 123;
    const std::uint64_t day_2000 = (2000 + 9999) * 372;  // year, month 1, day 1
    expect_round_trips({
        typed(
            "datetime fractions",
            [](W& w) {
                w.raw(bytes_of({0x12, 0xAC, 0x8E, 0, 0, 1, 0, 0, 0}))
                    .raw(bytes_of({0x12, 0xAC, 0x8E, 0, 0, 2, 0, 0, 0}));
                w.raw(bytes_of({0x12, 0x46, 0x2E, 0xFF, 0xFF, 0, 0, 0, 0}));  // -53690: the first day
            },
            "2000-01-01T00:00:00.003 2000-01-01T00:00:00.007 1753-01-01T00:00:00.000"),
        typed(
            "smalldatetime",
            [](W& w) {
                w.raw(bytes_of({0x13, 0xAC, 0x8E, 61, 0}));
            },
            "2000-01-01T01:01:00"),
        typed(
            "version 1 time, dateTime, date",
            [&](W& w) {
                w.value<std::uint64_t>(0x81, clock_ms << 2);
                w.value<std::uint64_t>(0x82, ((day_2000 * 86400000 + clock_ms) << 2) | 2);
                w.value<std::uint64_t>(0x83, ((day_2000 * 1740 + 270 + 840) << 2) | 1);
            },
            "06:05:04.123Z 2000-01-01T06:05:04.123Z 2000-01-01-04:30"),
        typed(
            "date", [](W& w) { w.date2(kDays2000).date2(0).date2(3652058); },
            "2000-01-01 0001-01-01 9999-12-31", 2),
        typed(
            "datetime2 at every precision",
            [](W& w) {
                w.time2(0x7E, 7, 12345678901ull, kDays2000).time2(0x7E, 3, 1500, kDays2000);
                w.time2(0x7E, 0, 86400 + 1, kDays2000);  // past the day: the next date
            },
            "2000-01-01T00:20:34.5678901 2000-01-01T00:00:01.5 2000-01-02T00:00:01", 2),
        typed(
            "time", [](W& w) { w.time2(0x7D, 0, 3661, 693595).time2(0x7D, 2, 1, 693595); },
            "01:01:01 00:00:00.01", 2),
        typed(
            "values with an offset are stored in UTC",
            [](W& w) {
                w.time2(0x7B, 0, 72000, kDays2000, 330).time2(0x7B, 1, 5, kDays2000, 0);
                w.time2(0x7C, 0, 68400, kDays2000 - 1, 300).time2(0x7A, 0, 82800, kDays2000, -60);
            },
            "2000-01-02T01:30:00+05:30 2000-01-01T00:00:00.5Z 2000-01-01+05:00 22:00:00-01:00", 2),
        typed(
            "version 2 tokens in a version 1 document", [](W& w) { w.date2(kDays2000); }, "2000-01-01"),
    });
}

// ---- damaged values --------------------------------------------------------------------------------------

// A value with most token kinds, whose text is one root element (the last byte closes it).
BinaryXmlWriter rich_document() {
    BinaryXmlWriter w;
    w.xml_declaration("1.0", "UTF-8", 1).doctype("r", "r.dtd", nullptr, nullptr).comment("c");
    w.element(w.qname("r", "p", "urn:x")).attribute(w.qname("a")).nvarchar("v&").value<std::int32_t>(0x02, 7);
    w.declare("q", "urn:q").end_attributes();
    w.pi("t", "d").cdata("<x>").cdata_end();
    w.element(w.qname("n")).decimal(0x0A, 6, 4, true, 200030).end_element();
    w.element(w.qname("d")).time2(0x7B, 3, 1500, kDays2000, -90).value<double>(0x04, 2.5).end_element();
    w.nest().element(w.qname("inner")).blob(0x85, bytes_of({1, 2, 3, 4})).end_element().end_nest();
    w.element(w.qname("e", "p", "urn:x")).attribute(w.qname("b")).end_attributes().end_element();
    w.nvarchar("t\u00e9xt").end_element();
    return w;
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(BinaryXmlDamage, TruncatedAtEveryByte) {
    const BinaryXmlWriter w = rich_document();
    const Decoded full = decode(w.bytes());
    ASSERT_TRUE(full.result.ok()) << binary_xml_error_text(full.result.error) << " at " << full.result.offset;
    EXPECT_EQ(
        full.text,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><!DOCTYPE r SYSTEM \"r.dtd\"><!--c-->"
        "<p:r a=\"v&amp;7\" xmlns:q=\"urn:q\" xmlns:p=\"urn:x\"><?t d?><![CDATA[<x>]]><n>20.003</n>"
        "<d>1999-12-31T22:30:01.5-01:30 2.5E0</d><inner>AQIDBA==</inner><p:e b=\"\" />t\u00e9xt</p:r>");
    // Once the root element has started, no shorter value is complete.
    const std::size_t root = full.text.find("<p:r");
    for (std::size_t n = 0; n < w.size(); ++n) {
        const Bytes cut(w.bytes().begin(), w.bytes().begin() + static_cast<std::ptrdiff_t>(n));
        const Decoded d = decode(cut);
        EXPECT_LE(d.result.offset, n) << "cut at " << n;
        // A shorter value may be complete (without the optional parts of a declaration) only before the root.
        if (d.result.ok()) {
            EXPECT_LE(d.text.size(), root) << "cut at " << n;
            continue;
        }
        EXPECT_TRUE(starts_with(full.text, d.text)) << "cut at " << n << ": " << d.text;
        if (n >= 5) {
            EXPECT_TRUE(d.result.error == E::kTruncated || d.result.error == E::kBadLength) << "cut at " << n;
        }
    }
}

TEST(BinaryXmlDamage, RefusalsSayWhatAndWhere) {
    const std::string h(kHeader);
    const std::string root = "F0 01 72 00 EF 00 00 01 ";  // name 1 "r", qname 1 at offset 9
    const struct {
        const char* what;
        std::string bytes;
        E error;
        std::size_t offset;
        std::string text;
    } cases[] = {
        {"no signature", "DF FE 01 B0 04", E::kNotBinaryXml, 0, ""},
        {"version 3", "DF FF 03 B0 04", E::kNotBinaryXml, 0, ""},
        {"another code page", "DF FF 01 E9 FD", E::kNotBinaryXml, 0, ""},
        {"empty", "", E::kTruncated, 0, ""},
        {"qname naming an undefined name", h + "F0 01 72 00 EF 00 00 02", E::kBadName, 9, ""},
        {"element naming an undefined qname", h + root + "F8 02", E::kBadName, 13, ""},
        {"qname index 0", h + root + "F8 00", E::kBadName, 13, ""},
        {"PI target undefined", h + "F4 03 00", E::kBadName, 5, ""},
        {"name longer than the value", h + "F0 64 72 00", E::kBadLength, 5, ""},
        {"nvarchar longer than the value", h + "11 FF FF FF FF FF FF FF FF 7F 41 00", E::kBadLength, 5, ""},
        {"blob longer than the value", h + "0C 05 01 02", E::kBadLength, 5, ""},
        {"extension longer than the value", h + "EA 09 00", E::kBadLength, 5, ""},
        {"six-byte length", h + "F3 80 80 80 80 80 00", E::kBadLength, 5, "<!--"},
        {"unknown token", h + "11 01 41 00 15", E::kUnknownToken, 9, "A"},
        {"unknown token 80", h + "80", E::kUnknownToken, 5, ""},
        {"unknown token FF", h + "FF", E::kUnknownToken, 5, ""},
        {"end of attributes without attributes", h + root + "F8 01 F5", E::kMisplacedToken, 15, "<r"},
        {"end of element with none open", h + "F7", E::kMisplacedToken, 5, ""},
        {"encoding outside a declaration", h + "FD 00", E::kMisplacedToken, 5, ""},
        {"attribute in content", h + root + "F8 01 11 01 41 00 F6 01", E::kMisplacedToken, 19, "<r>A"},
        {"content before the missing end of attributes", h + root + "F8 01 F6 01 F8 01", E::kMisplacedToken,
         17, "<r r=\""},
        {"end of a nested document at the top", h + "EB", E::kMisplacedToken, 5, ""},
        {"declaration after the first token", h + "F3 00 FE 00 00", E::kMisplacedToken, 7, "<!---->"},
        {"DOCTYPE after an element", h + root + "F8 01 F7 FC 00", E::kMisplacedToken, 16, "<r/>"},
        {"comment inside CDATA", h + "F2 00 F3 00", E::kMisplacedToken, 7, "<![CDATA["},
        {"nested document with a bad header", h + "EC DF FF 09 B0 04", E::kNotBinaryXml, 5, ""},
        {"decimal of 8 bytes", h + "0A 08 06 04 01 5E 0D 03 00 00", E::kBadLength, 5, ""},
        {"decimal sign 2", h + "0A 07 06 04 02 5E 0D 03 00", E::kBadValue, 5, ""},
        {"decimal precision 39", h + "0A 07 27 04 01 5E 0D 03 00", E::kBadValue, 5, ""},
        {"decimal scale above precision", h + "0A 07 04 05 01 5E 0D 03 00", E::kBadValue, 5, ""},
        {"datetime ticks past the day", h + "12 00 00 00 00 00 82 8B 01", E::kBadValue, 5, ""},
        {"time precision 8", h + "7E 08 00 00 00 00 00 00 00 00", E::kBadValue, 5, ""},
        {"offset beyond 14 hours", h + "7B 00 00 00 00 00 00 00 85 03", E::kBadValue, 5, ""},
        {"version 1 date with the kind bits of a time", h + "83 60 93 BA 3B 07 00 00 00", E::kBadValue, 5,
         ""},
        {"element left open", h + root + "F8 01", E::kTruncated, 15, "<r"},
        {"CDATA left open", h + "F2 01 41 00", E::kTruncated, 9, "<![CDATA[A"},
        {"nested document left open", h + "EC DF FF 01 B0 04", E::kTruncated, 11, ""},
    };
    for (const auto& c : cases) {
        const Decoded d = decode(hex(c.bytes));
        EXPECT_EQ(d.result.error, c.error) << c.what << ": " << binary_xml_error_text(d.result.error);
        EXPECT_EQ(d.result.offset, c.offset) << c.what;
        EXPECT_EQ(d.text, c.text) << c.what;
    }
}

TEST(BinaryXmlDamage, DeepNestingIsRefusedWithoutRecursion) {
    constexpr std::size_t kLevels = 100000;
    BinaryXmlWriter w;
    const auto a = w.qname("a");
    const std::size_t first = w.size();
    for (std::size_t i = 0; i < kLevels; ++i) w.element(a);
    for (std::size_t i = 0; i < kLevels; ++i) w.end_element();

    const Decoded refused = decode(w.bytes());
    EXPECT_EQ(refused.result.error, E::kTooDeep);
    EXPECT_EQ(refused.result.offset, first + 2 * 4096);  // the limit: 4096 levels
    EXPECT_EQ(refused.text.size(), 4096 * 3u);

    BinaryXmlLimits deep;
    deep.max_depth = kLevels + 1;
    const Decoded d = decode(w.bytes(), deep);
    ASSERT_TRUE(d.result.ok()) << binary_xml_error_text(d.result.error);
    EXPECT_EQ(d.text.size(), (kLevels - 1) * 7 + 4);  // "<a>" and "</a>", the innermost "<a/>"

    BinaryXmlWriter nests;
    for (std::size_t i = 0; i < kLevels; ++i) nests.nest();
    EXPECT_EQ(decode(nests.bytes()).result.error, E::kTooDeep);
}

TEST(BinaryXmlDamage, OutputLimit) {
    BinaryXmlWriter w;
    w.nvarchar(std::string(100, 'x')).nvarchar(std::string(100, '<'));
    BinaryXmlLimits small;
    small.max_output = 150;
    const Decoded d = decode(w.bytes(), small);
    EXPECT_EQ(d.result.error, E::kTooLong);
    EXPECT_EQ(d.result.offset, 5u + 1 + 1 + 200);
}

TEST(BinaryXmlDamage, NamespaceDeclarationLimit) {
    // One element that declares many prefixes: each one used afterwards is looked up among them.
    const auto element_with = [](int declarations) {
        BinaryXmlWriter w;
        w.element(w.qname("e"));
        for (int i = 0; i < declarations; ++i) w.declare("p" + std::to_string(i), "urn:" + std::to_string(i));
        w.end_attributes().end_element();
        return w.bytes();
    };
    BinaryXmlLimits limits;
    limits.max_namespaces = 10;  // the xml prefix takes one
    EXPECT_TRUE(decode(element_with(9), limits).result.ok());
    const Decoded d = decode(element_with(10), limits);
    EXPECT_EQ(d.result.error, E::kTooManyNamespaces);
    EXPECT_TRUE(d.text.ends_with(" xmlns:p9=\"urn:9\"")) << d.text;
}

TEST(BinaryXmlDamage, OverwrittenBytesNeverCrash) {
    const Bytes good = rich_document().bytes();
    const Decoded full = decode(good);
    BinaryXmlDecoder decoder;
    std::string text;
    std::size_t refused = 0;
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (const int b : {0x00, 0x01, 0x7F, 0x80, 0xEB, 0xEC, 0xF5, 0xF7, 0xF8, 0xFF}) {
            Bytes bad = good;
            bad[i] = static_cast<std::byte>(b);
            const BinaryXmlResult r = decoder.decode(bad, text);
            if (!r.ok()) {
                ++refused;
                EXPECT_LE(r.offset, bad.size());
            }
        }
    }
    EXPECT_GT(refused, good.size());
    // The same decoder still reads a good value after all of them.
    EXPECT_TRUE(decoder.decode(good, text).ok());
    EXPECT_EQ(text, full.text);
}

}  // namespace
}  // namespace quenlow::testing
