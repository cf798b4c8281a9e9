#include "engine/values/binary_xml.h"

#include <algorithm>
#include <string_view>
#include <tuple>

#include "engine/values/binary_xml_atomic.h"
#include "engine/values/text_conversion.h"

namespace quenlow {

using binxml::AtomicKind;
using binxml::Cursor;
using binxml::Escape;
using E = BinaryXmlError;

namespace {

enum Token : std::uint8_t {
    kXmlDecl = 0xFE,
    kEncoding = 0xFD,
    kDoctype = 0xFC,
    kSystem = 0xFB,
    kPublic = 0xFA,
    kSubset = 0xF9,
    kElement = 0xF8,
    kEndElement = 0xF7,
    kAttribute = 0xF6,
    kEndAttributes = 0xF5,
    kPi = 0xF4,
    kComment = 0xF3,
    kCdata = 0xF2,
    kCdataEnd = 0xF1,
    kNameDef = 0xF0,
    kQNameDef = 0xEF,
    kNest = 0xEC,
    kEndNest = 0xEB,
    kExtension = 0xEA,
    kFlush = 0xE9,
};

// A run of characters in one of the decoder's character stores.
struct Run {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// Name positions are 1-based over the whole name store; 0 is the empty name.
struct QName {
    std::uint32_t uri = 0;
    std::uint32_t prefix = 0;
    std::uint32_t local = 0;
};

// One document: the outer value or a nested one, with its share of the name and qname tables.
struct Level {
    std::size_t names = 0;
    std::size_t qnames = 0;
    std::size_t name_chars = 0;
    std::size_t elements = 0;  // elements open when it started
    std::size_t tokens = 0;    // tokens read in it so far
    bool prolog = true;        // no element, value, CDATA or nested document yet
    bool doctype = false;
};

struct Element {
    Run tag;  // in tag_chars
    std::size_t bindings = 0;
    std::size_t binding_chars = 0;
};

// A namespace prefix and its URI as written in the text (escaped for an attribute value).
struct Binding {
    Run prefix;
    Run uri;
};

// Where the start tag being written is.
enum class Tag {
    kContent,          // no start tag open
    kOpen,             // after the element token: attributes may follow, nothing written after the name
    kInAttribute,      // inside an attribute value
    kAttributesEnded,  // after the end of attributes: '>' or '/>' not yet written
};

}  // namespace

struct BinaryXmlDecoder::State {
    BinaryXmlLimits limits;
    CodePageConverters converters;

    std::string name_chars;
    std::vector<Run> names;
    std::vector<QName> qnames;
    std::vector<Level> levels;
    std::string tag_chars;
    std::vector<Element> elements;
    std::string binding_chars;
    std::vector<Binding> bindings;
    // Prefixes the start tag being written uses, checked against the bindings when it ends.
    std::string used_chars;
    std::vector<Binding> used;

    Cursor c;
    std::string* out = nullptr;
    std::size_t token_offset = 0;
    Tag tag = Tag::kContent;
    bool tag_has_attributes = false;
    bool in_cdata = false;
    std::size_t cdata_start = 0;
    // The attribute being written declares a namespace: its prefix (in binding_chars) and where its
    // value starts in the output.
    bool declaring = false;
    Run declared_prefix;
    std::size_t value_start = 0;
    // The last token was a typed atomic value: a following one is set off by one blank.
    bool after_typed = false;
    bool too_many_namespaces = false;

    void reset(ByteSpan value, std::string& text);
    E run();
    E token(std::uint8_t t);
    E header();

    Level& level() { return levels.back(); }
    std::string_view chars(const std::string& store, Run r) const {
        return std::string_view(store).substr(r.offset, r.size);
    }
    std::string_view name(std::uint32_t position) const {
        return position == 0 ? std::string_view() : chars(name_chars, names[position - 1]);
    }
    static Run push_chars(std::string& store, std::string_view text) {
        const Run r{static_cast<std::uint32_t>(store.size()), static_cast<std::uint32_t>(text.size())};
        store.append(text);
        return r;
    }

    E read_text(Run& into, std::string& store, Escape escape);
    E append_text(Escape escape);
    E name_definition();
    E qname_definition();
    E qname_reference(QName& q);
    E name_reference(std::uint32_t& position);
    void flush_tables();
    void append_qname(const QName& q);

    E content_position();
    void finish_start_tag(bool closing);
    void close_attribute();
    // Adds a declaration to the scope; past the limit, marks the value as refused instead.
    void bind(Run prefix, Run uri) {
        if (bindings.size() >= limits.max_namespaces)
            too_many_namespaces = true;
        else
            bindings.push_back({prefix, uri});
    }
    void use_prefix(const QName& q, bool element);
    std::string_view bound_uri(std::string_view prefix) const;
    void declare_missing_prefixes();

    E element();
    E end_element();
    E attribute();
    E end_attributes();
    E atomic(std::uint8_t t, AtomicKind kind);
    E processing_instruction();
    E comment();
    E cdata();
    E cdata_end();
    E xml_declaration();
    E doctype();
    E nest();
    E end_nest();
    E extension();
};

std::string_view binary_xml_error_text(BinaryXmlError error) {
    switch (error) {
        case E::kNone:
            return "no error";
        case E::kNotBinaryXml:
            return "not binary XML";
        case E::kTruncated:
            return "value ends too early";
        case E::kUnknownToken:
            return "unknown token";
        case E::kMisplacedToken:
            return "token out of place";
        case E::kBadName:
            return "undefined name";
        case E::kBadLength:
            return "bad length";
        case E::kBadValue:
            return "typed value out of range";
        case E::kTooDeep:
            return "nesting too deep";
        case E::kTooLong:
            return "text too long";
        case E::kTooManyNamespaces:
            return "too many namespace declarations in scope";
    }
    return "unknown error";
}

BinaryXmlDecoder::BinaryXmlDecoder(BinaryXmlLimits limits) : state_(std::make_unique<State>()) {
    state_->limits = limits;
}

BinaryXmlDecoder::~BinaryXmlDecoder() = default;

BinaryXmlResult BinaryXmlDecoder::decode(ByteSpan value, std::string& out) {
    State& s = *state_;
    s.reset(value, out);
    const E error = s.run();
    s.out = nullptr;
    if (error == E::kNone) return {};
    return {error, error == E::kTruncated && s.c.p == s.c.end ? value.size() : s.token_offset};
}

void BinaryXmlDecoder::State::reset(ByteSpan value, std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.data());
    c = Cursor{bytes, bytes, bytes + value.size()};
    out = &text;
    text.clear();
    name_chars.clear();
    names.clear();
    qnames.clear();
    levels.clear();
    tag_chars.clear();
    elements.clear();
    binding_chars.clear();
    bindings.clear();
    used_chars.clear();
    used.clear();
    token_offset = 0;
    tag = Tag::kContent;
    tag_has_attributes = false;
    in_cdata = false;
    declaring = false;
    after_typed = false;
    too_many_namespaces = false;
    // The xml prefix is always bound.
    bindings.push_back({push_chars(binding_chars, "xml"),
                        push_chars(binding_chars, "http://www.w3.org/XML/1998/namespace")});
}

E BinaryXmlDecoder::State::header() {
    if (c.left() < 5)
        return c.left() < 2 || (c.p[0] == 0xDF && c.p[1] == 0xFF) ? E::kTruncated : E::kNotBinaryXml;
    if (c.p[0] != 0xDF || c.p[1] != 0xFF || c.p[2] > 2 || c.p[3] != 0xB0 || c.p[4] != 0x04)
        return E::kNotBinaryXml;
    c.p += 5;
    Level l;
    l.names = names.size();
    l.qnames = qnames.size();
    l.name_chars = name_chars.size();
    l.elements = elements.size();
    levels.push_back(l);
    return E::kNone;
}

E BinaryXmlDecoder::State::run() {
    if (const E e = header(); e != E::kNone) return e;
    while (c.p != c.end) {
        token_offset = c.offset();
        const std::uint8_t t = *c.p++;
        const std::size_t depth = levels.size();
        if (const E e = token(t); e != E::kNone) return e;
        // A nested document counts its own tokens from its first.
        if (levels.size() == depth) ++level().tokens;
        if (out->size() > limits.max_output) return E::kTooLong;
        if (too_many_namespaces) return E::kTooManyNamespaces;
    }
    token_offset = c.offset();
    const bool complete = levels.size() == 1 && elements.empty() && tag == Tag::kContent && !in_cdata;
    return complete ? E::kNone : E::kTruncated;
}

E BinaryXmlDecoder::State::token(std::uint8_t t) {
    const bool metadata = t == kNameDef || t == kQNameDef || t == kExtension || t == kFlush;
    if (in_cdata && t != kCdata && t != kCdataEnd && !metadata) return E::kMisplacedToken;
    const AtomicKind kind = binxml::atomic_kind(t);
    // Name definitions may sit between the values of a list.
    if (kind == AtomicKind::kNotAtomic && !metadata) after_typed = false;
    switch (t) {
        case kNameDef:
            return name_definition();
        case kQNameDef:
            return qname_definition();
        case kExtension:
            return extension();
        case kFlush:
            flush_tables();
            return E::kNone;
        case kElement:
            return element();
        case kEndElement:
            return end_element();
        case kAttribute:
            return attribute();
        case kEndAttributes:
            return end_attributes();
        case kPi:
            return processing_instruction();
        case kComment:
            return comment();
        case kCdata:
            return cdata();
        case kCdataEnd:
            return cdata_end();
        case kXmlDecl:
            return xml_declaration();
        case kDoctype:
            return doctype();
        case kNest:
            return nest();
        case kEndNest:
            return end_nest();
        case kEncoding:
        case kSystem:
        case kPublic:
        case kSubset:
            return E::kMisplacedToken;
        default:
            break;
    }
    if (kind == AtomicKind::kNotAtomic) return E::kUnknownToken;
    return atomic(t, kind);
}

// ---- names -----------------------------------------------------------------------------------------

E BinaryXmlDecoder::State::read_text(Run& into, std::string& store, Escape escape) {
    std::size_t units = 0;
    if (const E e = binxml::read_text_length(c, false, units); e != E::kNone) return e;
    const std::size_t start = store.size();
    binxml::append_utf16(store, c.p, units, escape);
    c.p += 2 * units;
    into = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(store.size() - start)};
    return E::kNone;
}

E BinaryXmlDecoder::State::append_text(Escape escape) {
    Run ignored;
    return read_text(ignored, *out, escape);
}

E BinaryXmlDecoder::State::name_definition() {
    Run r;
    if (const E e = read_text(r, name_chars, Escape::kNone); e != E::kNone) return e;
    names.push_back(r);
    return E::kNone;
}

E BinaryXmlDecoder::State::name_reference(std::uint32_t& position) {
    std::uint32_t index = 0;
    if (const E e = binxml::read_mb32(c, index); e != E::kNone) return e;
    if (index > names.size() - level().names) return E::kBadName;
    position = index == 0 ? 0 : static_cast<std::uint32_t>(level().names + index);
    return E::kNone;
}

E BinaryXmlDecoder::State::qname_definition() {
    QName q;
    for (std::uint32_t* part : {&q.uri, &q.prefix, &q.local})
        if (const E e = name_reference(*part); e != E::kNone) return e;
    qnames.push_back(q);
    return E::kNone;
}

E BinaryXmlDecoder::State::qname_reference(QName& q) {
    std::uint32_t index = 0;
    if (const E e = binxml::read_mb32(c, index); e != E::kNone) return e;
    if (index == 0 || index > qnames.size() - level().qnames) return E::kBadName;
    q = qnames[level().qnames + index - 1];
    return E::kNone;
}

void BinaryXmlDecoder::State::flush_tables() {
    const Level& l = level();
    names.resize(l.names);
    qnames.resize(l.qnames);
    name_chars.resize(l.name_chars);
}

void BinaryXmlDecoder::State::append_qname(const QName& q) {
    if (q.prefix != 0) {
        out->append(name(q.prefix));
        out->push_back(':');
    }
    out->append(name(q.local));
}

// ---- start tags and namespaces -----------------------------------------------------------------------

// Content may follow: a start tag still open is finished with '>'. Refused inside an attribute list.
E BinaryXmlDecoder::State::content_position() {
    if (tag == Tag::kInAttribute) return E::kMisplacedToken;
    if (tag != Tag::kContent) finish_start_tag(false);
    return E::kNone;
}

void BinaryXmlDecoder::State::finish_start_tag(bool closing) {
    if (tag == Tag::kOpen) declare_missing_prefixes();
    if (closing)
        out->append(tag_has_attributes ? " />" : "/>");
    else
        out->push_back('>');
    tag = Tag::kContent;
}

void BinaryXmlDecoder::State::use_prefix(const QName& q, bool element) {
    // An attribute without a prefix is in no namespace, whatever the default namespace is.
    if (!element && q.prefix == 0) return;
    const std::string_view prefix = name(q.prefix);
    // Bound as used already (the usual case): nothing to check when the start tag ends.
    if (bound_uri(prefix) == name(q.uri)) return;
    used.push_back({push_chars(used_chars, prefix), {}});
    const std::size_t start = used_chars.size();
    binxml::append_escaped(used_chars, name(q.uri), Escape::kAttribute);
    used.back().uri = {static_cast<std::uint32_t>(start),
                       static_cast<std::uint32_t>(used_chars.size() - start)};
}

// The URI the nearest declaration binds `prefix` to (escaped as written); empty when there is none.
std::string_view BinaryXmlDecoder::State::bound_uri(std::string_view prefix) const {
    for (std::size_t i = bindings.size(); i-- > 0;)
        if (chars(binding_chars, bindings[i].prefix) == prefix) return chars(binding_chars, bindings[i].uri);
    return {};
}

// Writes a declaration for each prefix the start tag uses that is not bound in scope to its URI.
void BinaryXmlDecoder::State::declare_missing_prefixes() {
    for (const Binding& u : used) {
        const std::string_view prefix = chars(used_chars, u.prefix);
        const std::string_view uri = chars(used_chars, u.uri);
        if (bound_uri(prefix) == uri) continue;
        out->append(prefix.empty() ? " xmlns" : " xmlns:");
        out->append(prefix);
        out->append("=\"");
        out->append(uri);
        out->push_back('"');
        tag_has_attributes = true;
        bind(push_chars(binding_chars, prefix), push_chars(binding_chars, uri));
    }
    used.clear();
    used_chars.clear();
}

void BinaryXmlDecoder::State::close_attribute() {
    out->push_back('"');
    if (declaring) {
        const std::string_view value =
            std::string_view(*out).substr(value_start, out->size() - 1 - value_start);
        bind(declared_prefix, push_chars(binding_chars, value));
        declaring = false;
    }
    after_typed = false;
}

// ---- structure -------------------------------------------------------------------------------------

E BinaryXmlDecoder::State::element() {
    if (const E e = content_position(); e != E::kNone) return e;
    QName q;
    if (const E e = qname_reference(q); e != E::kNone) return e;
    if (elements.size() + levels.size() > limits.max_depth) return E::kTooDeep;
    const std::size_t start = out->size();
    out->push_back('<');
    append_qname(q);
    Element frame;
    frame.tag = push_chars(tag_chars, std::string_view(*out).substr(start + 1));
    frame.bindings = bindings.size();
    frame.binding_chars = binding_chars.size();
    elements.push_back(frame);
    use_prefix(q, true);
    tag = Tag::kOpen;
    tag_has_attributes = false;
    level().prolog = false;
    return E::kNone;
}

E BinaryXmlDecoder::State::end_element() {
    if (tag == Tag::kInAttribute || elements.size() == level().elements) return E::kMisplacedToken;
    const Element frame = elements.back();
    if (tag != Tag::kContent) {
        finish_start_tag(true);
    } else {
        out->append("</");
        out->append(chars(tag_chars, frame.tag));
        out->push_back('>');
    }
    elements.pop_back();
    tag_chars.resize(frame.tag.offset);
    bindings.resize(frame.bindings);
    binding_chars.resize(frame.binding_chars);
    return E::kNone;
}

E BinaryXmlDecoder::State::attribute() {
    if (tag == Tag::kInAttribute)
        close_attribute();
    else if (tag != Tag::kOpen)
        return E::kMisplacedToken;
    QName q;
    if (const E e = qname_reference(q); e != E::kNone) return e;
    out->push_back(' ');
    const std::string_view prefix = name(q.prefix);
    declaring = q.uri == 0 && q.local == 0 && (prefix == "xmlns" || prefix.starts_with("xmlns:"));
    if (declaring) {
        out->append(prefix);
        declared_prefix = push_chars(binding_chars, prefix.substr(std::min<std::size_t>(prefix.size(), 6)));
    } else {
        append_qname(q);
        use_prefix(q, false);
    }
    out->append("=\"");
    value_start = out->size();
    tag = Tag::kInAttribute;
    tag_has_attributes = true;
    return E::kNone;
}

E BinaryXmlDecoder::State::end_attributes() {
    if (tag != Tag::kInAttribute) return E::kMisplacedToken;
    close_attribute();
    declare_missing_prefixes();
    tag = Tag::kAttributesEnded;
    return E::kNone;
}

E BinaryXmlDecoder::State::atomic(std::uint8_t t, AtomicKind kind) {
    const bool in_attribute = tag == Tag::kInAttribute;
    if (!in_attribute) {
        if (const E e = content_position(); e != E::kNone) return e;
        level().prolog = false;
    }
    const bool typed = kind != AtomicKind::kString;
    if (typed && after_typed) out->push_back(' ');
    after_typed = typed;
    const Escape escape = in_attribute ? Escape::kAttribute : Escape::kText;
    if (kind != AtomicKind::kQName) return binxml::append_atomic(*out, t, c, escape, converters);
    QName q;
    if (const E e = qname_reference(q); e != E::kNone) return e;
    append_qname(q);
    return E::kNone;
}

E BinaryXmlDecoder::State::processing_instruction() {
    if (const E e = content_position(); e != E::kNone) return e;
    std::uint32_t target = 0;
    if (const E e = name_reference(target); e != E::kNone) return e;
    out->append("<?");
    out->append(name(target));
    const std::size_t space = out->size();
    out->push_back(' ');
    if (const E e = append_text(Escape::kNone); e != E::kNone) return e;
    if (out->size() == space + 1) out->pop_back();
    out->append("?>");
    return E::kNone;
}

E BinaryXmlDecoder::State::comment() {
    if (const E e = content_position(); e != E::kNone) return e;
    out->append("<!--");
    if (const E e = append_text(Escape::kNone); e != E::kNone) return e;
    out->append("-->");
    return E::kNone;
}

E BinaryXmlDecoder::State::cdata() {
    if (!in_cdata) {
        if (const E e = content_position(); e != E::kNone) return e;
        out->append("<![CDATA[");
        cdata_start = out->size();
        in_cdata = true;
        level().prolog = false;
    }
    return append_text(Escape::kNone);
}

// Ends the section; a "]]>" inside its text is split across two sections.
E BinaryXmlDecoder::State::cdata_end() {
    if (!in_cdata) return E::kMisplacedToken;
    in_cdata = false;
    constexpr std::string_view kEnd = "]]>";
    if (std::string_view(*out).find(kEnd, cdata_start) != std::string_view::npos) {
        std::string section = out->substr(cdata_start);
        out->resize(cdata_start);
        std::size_t from = 0;
        for (std::size_t at; (at = section.find(kEnd, from)) != std::string::npos; from = at + 2) {
            out->append(section, from, at + 2 - from);
            out->append("]]><![CDATA[");
        }
        out->append(section, from);
    }
    out->append(kEnd);
    return E::kNone;
}

E BinaryXmlDecoder::State::xml_declaration() {
    if (level().tokens != 0) return E::kMisplacedToken;
    out->append("<?xml version=\"");
    if (const E e = append_text(Escape::kAttribute); e != E::kNone) return e;
    out->push_back('"');
    if (c.p != c.end && *c.p == kEncoding) {
        ++c.p;
        out->append(" encoding=\"");
        if (const E e = append_text(Escape::kAttribute); e != E::kNone) return e;
        out->push_back('"');
    }
    if (c.p == c.end) return E::kTruncated;
    const std::uint8_t standalone = *c.p++;
    if (standalone > 2) return E::kBadValue;
    if (standalone != 0) out->append(standalone == 1 ? " standalone=\"yes\"" : " standalone=\"no\"");
    out->append("?>");
    return E::kNone;
}

E BinaryXmlDecoder::State::doctype() {
    Level& l = level();
    if (!l.prolog || l.doctype || tag != Tag::kContent || elements.size() != l.elements)
        return E::kMisplacedToken;
    l.doctype = true;
    out->append("<!DOCTYPE ");
    if (const E e = append_text(Escape::kNone); e != E::kNone) return e;
    // The identifiers come in the order system, public, subset; PUBLIC writes the public one first.
    Run system, public_id, subset;
    bool has_system = false, has_public = false, has_subset = false;
    std::string& store = tag_chars;  // scratch at its end, dropped below
    const std::size_t mark = store.size();
    for (auto [token, run, flag] :
         {std::tuple{kSystem, &system, &has_system}, std::tuple{kPublic, &public_id, &has_public},
          std::tuple{kSubset, &subset, &has_subset}}) {
        if (c.p == c.end || *c.p != token) continue;
        ++c.p;
        if (const E e = read_text(*run, store, Escape::kNone); e != E::kNone) return e;
        *flag = true;
    }
    if (has_public) {
        out->append(" PUBLIC \"");
        out->append(chars(store, public_id));
        out->push_back('"');
        if (has_system) out->append(" \"");
    } else if (has_system) {
        out->append(" SYSTEM \"");
    }
    if (has_system) {
        out->append(chars(store, system));
        out->push_back('"');
    }
    if (has_subset) {
        out->append(" [");
        out->append(chars(store, subset));
        out->push_back(']');
    }
    out->push_back('>');
    store.resize(mark);
    return E::kNone;
}

E BinaryXmlDecoder::State::nest() {
    if (const E e = content_position(); e != E::kNone) return e;
    level().prolog = false;
    if (elements.size() + levels.size() > limits.max_depth) return E::kTooDeep;
    return header();
}

E BinaryXmlDecoder::State::end_nest() {
    if (levels.size() < 2 || tag != Tag::kContent || elements.size() != level().elements)
        return E::kMisplacedToken;
    flush_tables();
    levels.pop_back();
    return E::kNone;
}

E BinaryXmlDecoder::State::extension() {
    std::uint32_t length = 0;
    if (const E e = binxml::read_mb32(c, length); e != E::kNone) return e;
    if (length > c.left()) return E::kBadLength;
    c.p += length;
    return E::kNone;
}

}  // namespace quenlow
