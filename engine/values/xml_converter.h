#pragma once
// The xml converter of the row decoder: decodes the binary form of xml values (binary_xml.h).
//
// A value the decoder refuses converts to an empty text, as a value that cannot be converted always
// has (an in-record value then shows one blank), and leaves one log line that says which value it was
// and where its decoding stopped.

#include <string>

#include "engine/pages/engine_events.h"
#include "engine/values/binary_xml.h"
#include "engine/values/large_value_reader.h"

namespace quenlow {

class BinaryXmlConverter final : public XmlConverter {
public:
    // `events` receives the log lines; null: none are written.
    explicit BinaryXmlConverter(EngineEvents* events = nullptr, BinaryXmlLimits limits = {});

    // The table whose values are converted, named in the log lines.
    void set_table(std::string name) { table_ = std::move(name); }
    void locate(const XmlValueSite& site) override { site_ = site; }

    std::string convert(XmlPieces pieces) override;
    std::string convert(ByteSpan bytes) override;

    // The outcome of the last conversion.
    const BinaryXmlResult& last_result() const { return last_; }
    bool last_refused() const override { return !last_.ok(); }

private:
    std::string text_of(ByteSpan bytes);
    void report(std::size_t size) const;

    BinaryXmlDecoder decoder_;
    EngineEvents* events_;
    std::string table_;
    XmlValueSite site_;
    BinaryXmlResult last_;
    std::vector<std::byte> joined_;
};

}  // namespace quenlow
