#pragma once
// The binary form in which xml column values are stored, and its decoder into XML text (UTF-8).
//
// A value is one document: a 5-byte header, then a stream of one-byte tokens, each followed by its
// payload. Integers are little-endian; "mb32"/"mb64" are 7-bit groups, least significant first, bit 7
// set when another byte follows (at most 5 / 10 bytes, the value fits a signed 32 / 64-bit integer).
//
//   offset | size | field
//   -------+------+--------------------------------------------------------------------
//        0 |    2 | signature DF FF
//        2 |    1 | version: 0 or 1 (version 1), 2 (adds the date/time tokens 7A-7F)
//        3 |    2 | code page of the document's text: B0 04 (1200, UTF-16LE), nothing else
//
//   token | payload                                      | meaning
//   ------+----------------------------------------------+----------------------------------------
//   FE    | text version, [FD text encoding], u8 standalone | <?xml ...?> (standalone 0 none, 1 yes,
//         |                                              | 2 no); first token of a document only
//   FC    | text name, [FB text], [FA text], [F9 text]   | <!DOCTYPE name PUBLIC/SYSTEM ... [subset]>
//   F8    | mb32 qname                                   | element start; attributes, F5, content, F7
//   F6    | mb32 qname                                   | attribute; its value is the atomic values
//         |                                              | that follow (none: empty)
//   F5    | -                                            | end of attributes (only after one or more)
//   F7    | -                                            | element end
//   F4    | mb32 name (target), text                     | processing instruction
//   F3    | text                                         | comment
//   F2/F1 | text / -                                     | one CDATA chunk / end of the CDATA section
//   F0    | text                                         | name definition: next index of the name table
//   EF    | mb32 uri, mb32 prefix, mb32 local (names)    | qname definition: next qname index
//   EC/EB | a whole document / -                         | nested document start / end
//   EA    | mb32 length, bytes                           | extension: skipped
//   E9    | -                                            | clears the name and qname tables
//   01-1B, 7A-8C | typed value (binary_xml_atomic.h)     | atomic value: text or attribute value
//
// "text" is an mb32 count of UTF-16 code units and the units. Name index 0 is the empty name, the first
// definition gets 1; qname index 0 is invalid. A nested document has tables of its own (indexes restart
// at 1) but shares the namespace declarations in scope. A namespace declaration is an attribute whose
// qname has uri 0, local 0 and the prefix name "xmlns" or "xmlns:p". A document ends with the value (a
// nested one at EB); nothing marks it.
//
// The text is written as the database server writes xml values: double quotes, an element without
// content as <a/> (<a b="1" />), and a declaration for every prefix an element or attribute uses that
// is not declared in scope. Typed values are written in their canonical text form.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pages/byte_reader.h"

namespace quenlow {

enum class BinaryXmlError {
    kNone,
    kNotBinaryXml,       // the header is missing or names another version or code page
    kTruncated,          // the value ends inside a token, or with elements, attributes or sections open
    kUnknownToken,       // a byte that is no token
    kMisplacedToken,     // a token where the structure does not allow it
    kBadName,            // a name or qname index that is not defined
    kBadLength,          // a length or count that is malformed or runs past the end of the value
    kBadValue,           // a typed value outside its range (decimal, date, time, offset)
    kTooDeep,            // more nested elements and documents than the limit
    kTooLong,            // more output than the limit
    kTooManyNamespaces,  // more namespace declarations in scope than the limit
};

std::string_view binary_xml_error_text(BinaryXmlError error);

struct BinaryXmlResult {
    BinaryXmlError error = BinaryXmlError::kNone;
    // Where decoding stopped: the offset of the token that could not be decoded (the value's length
    // when it ended too early).
    std::size_t offset = 0;
    bool ok() const { return error == BinaryXmlError::kNone; }
};

struct BinaryXmlLimits {
    // Elements open at once plus nested documents. The server itself refuses more than 128 levels.
    std::size_t max_depth = 4096;
    // Bytes of text one value may produce.
    std::size_t max_output = std::size_t{1} << 30;
    // Namespace declarations in scope at once; every prefix used is looked up among them.
    std::size_t max_namespaces = 1024;
};

// Decodes values one after the other. Keeps its tables and stacks between values, so decoding
// allocates only while they grow. One decoder belongs to one thread.
class BinaryXmlDecoder {
public:
    explicit BinaryXmlDecoder(BinaryXmlLimits limits = {});
    ~BinaryXmlDecoder();
    BinaryXmlDecoder(const BinaryXmlDecoder&) = delete;
    BinaryXmlDecoder& operator=(const BinaryXmlDecoder&) = delete;

    // Replaces `out` with the text of `value`. On refusal `out` holds the text decoded before the
    // offset where decoding stopped (start tags left open).
    BinaryXmlResult decode(ByteSpan value, std::string& out);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace quenlow
