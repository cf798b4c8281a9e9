#include "engine/values/xml_converter.h"

#include <fmt/format.h>

namespace quenlow {

BinaryXmlConverter::BinaryXmlConverter(EngineEvents* events, BinaryXmlLimits limits)
    : decoder_(limits), events_(events) {}

std::string BinaryXmlConverter::convert(XmlPieces pieces) {
    std::size_t size = 0;
    for (const auto& piece : pieces) size += piece.size();
    joined_.clear();
    joined_.reserve(size);
    for (auto& piece : pieces) {
        joined_.insert(joined_.end(), piece.begin(), piece.end());
        std::vector<std::byte>().swap(piece);
    }
    return text_of(joined_);
}

std::string BinaryXmlConverter::convert(ByteSpan bytes) {
    return text_of(bytes);
}

std::string BinaryXmlConverter::text_of(ByteSpan bytes) {
    last_ = {};
    std::string text;
    // The text is about as long as the stored form; one allocation for most values.
    text.reserve(bytes.size() + bytes.size() / 4);
    if (!bytes.empty()) last_ = decoder_.decode(bytes, text);
    if (!last_.ok()) {
        report(bytes.size());
        text.clear();
    }
    site_ = {};  // a site names one value only
    return text;
}

void BinaryXmlConverter::report(std::size_t size) const {
    if (events_ == nullptr) return;
    const std::string table = table_.empty() ? std::string("(table not known)") : table_;
    std::string where;
    if (site_.slot >= 0)
        where = fmt::format(", page {}:{} slot {}", site_.page.file_id, site_.page.page_id, site_.slot);
    if (!site_.column.empty()) where += fmt::format(", column {}", site_.column);
    events_->log_line(
        fmt::format("XML value of table {}{} cannot be decoded: {} at byte {} of {}; shown empty.", table,
                    where, binary_xml_error_text(last_.error), last_.offset, size));
}

}  // namespace quenlow
