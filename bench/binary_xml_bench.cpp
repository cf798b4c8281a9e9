// Binary XML decoding: one generated document of about 1 MB, and 100,000 small values one after the
// other through the same decoder (as a table of xml values is read). Bytes per second count the stored
// (binary) bytes.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/values/binary_xml.h"
#include "tests/support/binary_xml_writer.h"

namespace quenlow {
namespace {

using testing::BinaryXmlWriter;

// Rows of an order list: attributes, text, typed values, nested elements, about 1 MB in all.
std::vector<std::byte> large_document() {
    BinaryXmlWriter w;
    const auto orders = w.qname("orders", "o", "urn:example:orders");
    const auto order = w.qname("order", "o", "urn:example:orders");
    const auto id = w.qname("id"), date = w.qname("date"), customer = w.qname("customer");
    const auto line = w.qname("line"), item = w.qname("item"), qty = w.qname("qty"), price = w.qname("price");
    const auto note = w.qname("note");
    w.element(orders).declare("o", "urn:example:orders").end_attributes();
    for (std::int32_t i = 0; w.size() < (1 << 20); ++i) {
        w.element(order).attribute(id).value<std::int32_t>(0x02, i).attribute(date);
        w.time2(0x7E, 3, 45296789, 737000 + static_cast<std::uint32_t>(i % 1000)).end_attributes();
        w.element(customer)
            .nvarchar("Customer number " + std::to_string(i) + ", Main Street & Co.")
            .end_element();
        for (int k = 0; k < 3; ++k) {
            w.element(line).attribute(item).nvarchar("ITEM-" + std::to_string(k)).attribute(qty);
            w.value<std::int16_t>(0x01, static_cast<std::int16_t>(k + 1)).end_attributes();
            w.element(price)
                .decimal(0x0A, 10, 2, true, 123456u + static_cast<std::uint64_t>(k))
                .end_element();
            w.end_element();
        }
        w.element(note).nvarchar("Deliver before noon; ring twice. Fragile: <glass>.").end_element();
        w.end_element();
    }
    w.end_element();
    return w.bytes();
}

void BM_BinaryXmlLargeDocument(benchmark::State& state) {
    const std::vector<std::byte> value = large_document();
    BinaryXmlDecoder decoder;
    std::string text;
    for (auto _ : state) {
        const BinaryXmlResult r = decoder.decode(value, text);
        if (!r.ok()) state.SkipWithError("refused");
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_BinaryXmlLargeDocument)->Unit(benchmark::kMillisecond);

// Values like the one xml column of a test table: a root, one element and two attributes.
void BM_BinaryXmlSmallValues(benchmark::State& state) {
    constexpr int kValues = 100000;
    std::vector<std::vector<std::byte>> values;
    std::size_t bytes = 0;
    for (int i = 0; i < kValues; ++i) {
        BinaryXmlWriter w;
        w.element(w.qname("root")).element(w.qname("element"));
        w.attribute(w.qname("strattr")).nvarchar("strvalue").attribute(w.qname("intattr"));
        w.nvarchar(std::to_string(i)).end_attributes().end_element().end_element();
        bytes += w.size();
        values.push_back(w.bytes());
    }
    BinaryXmlDecoder decoder;
    std::string text;
    for (auto _ : state) {
        for (const auto& v : values) {
            if (!decoder.decode(v, text).ok()) state.SkipWithError("refused");
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_BinaryXmlSmallValues)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quenlow
