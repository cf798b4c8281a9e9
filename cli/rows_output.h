#pragma once
// How `quenlow rows` and `quenlow show` print the rows of the record list.
//
//   csv     RFC 4180: fields separated by commas, lines ended by CR LF, a field quoted when it holds a
//           comma, a double quote, CR or LF, a double quote inside doubled; the first line holds the
//           column titles. Rows with NULL marks: NULL is an empty field, an empty string is "".
//   jsonl   one JSON array of strings per row, one row a line; with NULL marks, NULL is null
//   text    for a terminal: the titles, a rule, the rows in aligned columns; control characters are
//           shown as escapes (\n, \r, \t, \xHH) and a cell is cut to kTextCellWidth characters
//   tsv     the streaming form of text: titles and rows with TAB between the cells, escaped as text
//
// Everything printed is UTF-8: a byte sequence that is not UTF-8 becomes U+FFFD.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/utf8_text.h"

namespace quenlow::cli {

using Cells = std::vector<std::string>;

inline constexpr std::size_t kTextCellWidth = 60;

using quenlow::append_valid_utf8;
using quenlow::utf8_sequence_length;

inline std::string valid_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    append_valid_utf8(out, s);
    return out;
}

// Whether a field needs quotes. Only ASCII bytes decide, and making the text valid UTF-8 neither adds
// nor removes any, so the raw value can be asked.
inline bool csv_needs_quotes(std::string_view value) {
    for (char c : value)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

// Bytes after which a field can no longer be copied as it is: the ones that call for quotes, and every
// byte of a multi-byte sequence (which must be checked).
inline constexpr std::array<bool, 256> kCsvPlainStops = [] {
    std::array<bool, 256> stops{};
    for (int b = 0x80; b < 256; ++b) stops[static_cast<std::size_t>(b)] = true;
    for (char c : {',', '"', '\r', '\n'}) stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

inline void append_csv_field(std::string& out, std::string_view value) {
    // Most fields are plain ASCII without quotes or line ends: copied in one piece.
    bool plain = true;
    for (char c : value) {
        if (kCsvPlainStops[static_cast<unsigned char>(c)]) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out.append(value);
        return;
    }
    if (!csv_needs_quotes(value)) return append_valid_utf8(out, value);
    // A double quote never lies inside a multi-byte sequence, so the pieces between the quotes can be
    // made valid one by one.
    out += '"';
    for (std::size_t i = 0;;) {
        const std::size_t quote = value.find('"', i);
        append_valid_utf8(
            out, value.substr(i, quote == std::string_view::npos ? std::string_view::npos : quote - i));
        if (quote == std::string_view::npos) break;
        out += "\"\"";
        i = quote + 1;
    }
    out += '"';
}

inline std::string csv_field(std::string_view value) {
    std::string field;
    append_csv_field(field, value);
    return field;
}

// Cells: a range of texts (strings or string views).
template <typename Texts>
void append_csv_line(std::string& out, const Texts& cells) {
    bool first = true;
    for (const auto& cell : cells) {
        if (!first) out += ',';
        first = false;
        append_csv_field(out, cell);
    }
    out += "\r\n";
}

// A row with its NULL marks (one per cell, 1: NULL; missing marks are 0): NULL leaves the field empty,
// an empty string is written as "" so that the two read back apart.
template <typename Texts>
void append_csv_line(std::string& out, const Texts& cells, std::span<const std::uint8_t> nulls) {
    std::size_t i = 0;
    for (const auto& cell : cells) {
        if (i > 0) out += ',';
        const bool null = i < nulls.size() && nulls[i] != 0;
        if (!null) {
            if (std::string_view(cell).empty())
                out += "\"\"";
            else
                append_csv_field(out, cell);
        }
        ++i;
    }
    out += "\r\n";
}

inline std::string csv_line(const Cells& cells) {
    std::string line;
    append_csv_line(line, cells);
    return line;
}

inline std::string jsonl_line(const Cells& cells) {
    const nlohmann::json array(cells);
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// A row with its NULL marks (as for append_csv_line): NULL is written as null.
template <typename Texts>
void append_jsonl_line(std::string& out, const Texts& cells, std::span<const std::uint8_t> nulls) {
    nlohmann::json array = nlohmann::json::array();
    std::size_t i = 0;
    for (const auto& cell : cells) {
        if (i < nulls.size() && nulls[i] != 0)
            array.push_back(nullptr);
        else
            array.push_back(std::string(cell));
        ++i;
    }
    out += array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out += '\n';
}

// Characters, not bytes: the width a terminal gives the (valid UTF-8) text, wide characters aside.
inline std::size_t text_width(std::string_view s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The cell as a terminal line shows it: control characters escaped; longer than width characters: cut
// and ended by "…" (width 0: never cut).
inline std::string text_cell(std::string_view value, std::size_t width = kTextCellWidth) {
    const std::string text = valid_utf8(value);
    std::vector<std::string> pieces;
    std::size_t total = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_sequence_length(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n')
            pieces.emplace_back("\\n");
        else if (c == '\r')
            pieces.emplace_back("\\r");
        else if (c == '\t')
            pieces.emplace_back("\\t");
        else if (c < 0x20 || c == 0x7F)
            pieces.push_back(fmt::format("\\x{:02X}", c));
        else
            pieces.push_back(text.substr(i, n));
        total += text_width(pieces.back());
        i += n;
    }
    std::string out;
    if (width == 0 || total <= width) {
        for (const auto& p : pieces) out += p;
        return out;
    }
    std::size_t shown = 0;
    for (const auto& p : pieces) {
        const std::size_t w = text_width(p);
        if (shown + w > width - 1) break;
        out += p;
        shown += w;
    }
    return out + "\xE2\x80\xA6";
}

inline std::string tsv_line(const Cells& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += '\t';
        line += text_cell(cells[i], 0);
    }
    return line + "\n";
}

// Titles, a rule of dashes, then the rows; columns two blanks apart, the last one not padded.
inline std::string text_table(const Cells& titles, const std::vector<Cells>& rows) {
    std::vector<Cells> shown;
    shown.reserve(rows.size() + 1);
    shown.push_back({});
    for (const auto& t : titles) shown.back().push_back(text_cell(t));
    for (const auto& row : rows) {
        shown.push_back({});
        for (std::size_t c = 0; c < titles.size(); ++c)
            shown.back().push_back(c < row.size() ? text_cell(row[c]) : "");
    }
    std::vector<std::size_t> widths(titles.size(), 0);
    for (const auto& row : shown)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], text_width(row[c]));

    auto line_of = [&](const Cells& row) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) line += "  ";
            line += row[c];
            if (c + 1 < row.size()) line.append(widths[c] - text_width(row[c]), ' ');
        }
        return line + "\n";
    };
    std::string out = line_of(shown.front());
    Cells rule;
    for (std::size_t w : widths) rule.push_back(std::string(w, '-'));
    out += line_of(rule);
    for (std::size_t r = 1; r < shown.size(); ++r) out += line_of(shown[r]);
    return out;
}

}  // namespace quenlow::cli
