#include "tests/cli/sql_script_reader.h"

#include <cctype>

#include <fmt/format.h>

namespace quenlow::test {

namespace {

enum class Kind { kWord, kIdentifier, kString, kNumber, kHex, kPunct, kEnd };

struct Token {
    Kind kind = Kind::kEnd;
    std::string text;  // words upper case; strings and identifiers unquoted
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class Tokenizer {
public:
    explicit Tokenizer(const std::string& text) : s_(text) {
        if (s_.rfind("\xEF\xBB\xBF", 0) == 0) i_ = start_ = 3;
    }

    std::size_t go_lines = 0;
    std::string error;

    std::vector<Token> all() {
        std::vector<Token> out;
        for (Token t = next(); t.kind != Kind::kEnd; t = next()) out.push_back(std::move(t));
        return out;
    }

private:
    bool line_start(std::size_t at) const { return at == start_ || s_[at - 1] == '\n'; }

    Token next() {
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i_;
            } else if (s_.compare(i_, 2, "--") == 0) {
                i_ = s_.find('\n', i_);
                if (i_ == std::string::npos) i_ = s_.size();
            } else if (s_.compare(i_, 2, "/*") == 0) {
                i_ = s_.find("*/", i_);
                i_ = i_ == std::string::npos ? s_.size() : i_ + 2;
            } else if (line_start(i_) && s_.compare(i_, 3, "GO\n") == 0) {
                ++go_lines;
                i_ += 3;
            } else {
                break;
            }
        }
        if (i_ >= s_.size()) return {};
        const char c = s_[i_];
        if ((c == 'N' || c == 'n') && i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
            ++i_;
            return quoted('\'', '\'', Kind::kString);
        }
        if (c == '\'') return quoted('\'', '\'', Kind::kString);
        if (c == '[') return quoted('[', ']', Kind::kIdentifier);
        if (c == '0' && i_ + 1 < s_.size() && (s_[i_ + 1] == 'x' || s_[i_ + 1] == 'X')) {
            const std::size_t from = i_;
            i_ += 2;
            while (i_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
            return {Kind::kHex, s_.substr(from, i_ - from)};
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && i_ + 1 < s_.size() &&
                                                           std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))) {
            const std::size_t from = i_;
            while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.')) ++i_;
            if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
                ++i_;
                if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
                while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
            }
            return {Kind::kNumber, s_.substr(from, i_ - from)};
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#') {
            const std::size_t from = i_;
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_' ||
                                      s_[i_] == '@' || s_[i_] == '#' || s_[i_] == '$'))
                ++i_;
            return {Kind::kWord, upper(s_.substr(from, i_ - from))};
        }
        ++i_;
        return {Kind::kPunct, std::string(1, c)};
    }

    Token quoted(char open, char close, Kind kind) {
        Token t{kind, {}};
        ++i_;  // the opening character
        (void)open;
        while (i_ < s_.size()) {
            if (s_[i_] == close) {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == close) {
                    t.text += close;
                    i_ += 2;
                    continue;
                }
                ++i_;
                return t;
            }
            t.text += s_[i_++];
        }
        error = "a quote is not closed";
        return t;
    }

    const std::string& s_;
    std::size_t i_ = 0;
    std::size_t start_ = 0;
};

std::string utf8_of(unsigned code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

class Reader {
public:
    explicit Reader(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    void read(Script& script) {
        while (p_ < t_.size() && error_.empty()) {
            if (word("CREATE") && word_at(p_ + 1, "TABLE")) {
                p_ += 2;
                create_table(script);
            } else if (word("INSERT") && word_at(p_ + 1, "INTO")) {
                p_ += 2;
                insert(script);
            } else if (word("ALTER") || word("CREATE")) {
                break;  // the rows are all before the foreign keys and definitions
            } else {
                ++p_;
            }
        }
        script.error = error_;
    }

private:
    const Token& at(std::size_t p) const {
        static const Token end;
        return p < t_.size() ? t_[p] : end;
    }
    bool word_at(std::size_t p, const char* w) const { return at(p).kind == Kind::kWord && at(p).text == w; }
    bool word(const char* w) const { return word_at(p_, w); }
    bool punct(char c) const { return at(p_).kind == Kind::kPunct && at(p_).text[0] == c; }
    bool expect(char c) {
        if (punct(c)) {
            ++p_;
            return true;
        }
        fail(fmt::format("'{}' expected", c));
        return false;
    }
    void fail(const std::string& what) {
        if (error_.empty()) error_ = fmt::format("token {} ('{}'): {}", p_, at(p_).text.substr(0, 40), what);
    }
    std::string name_part() {
        const Token& t = at(p_);
        if (t.kind != Kind::kIdentifier && t.kind != Kind::kWord) {
            fail("a name expected");
            return {};
        }
        ++p_;
        return t.text;
    }
    // [schema].[name]
    std::pair<std::string, std::string> qualified() {
        std::string first = name_part();
        if (!punct('.')) return {"", first};
        ++p_;
        return {first, name_part()};
    }
    // Skips to the comma or closing parenthesis that ends a list item.
    void skip_item() {
        int depth = 0;
        while (p_ < t_.size()) {
            if (punct('(')) ++depth;
            if (punct(')') && depth-- == 0) return;
            if (punct(',') && depth == 0) return;
            ++p_;
        }
    }

    void create_table(Script& script) {
        ScriptTable table;
        std::tie(table.schema, table.name) = qualified();
        if (!expect('(')) return;
        while (error_.empty() && p_ < t_.size()) {
            if (at(p_).kind == Kind::kIdentifier) {
                ScriptColumn column;
                column.name = name_part();
                if (word("AS")) {
                    column.computed = true;
                } else {
                    std::string type = at(p_).text;
                    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    ++p_;
                    if (punct('(')) {
                        type += '(';
                        for (++p_; p_ < t_.size() && !punct(')'); ++p_) type += punct(',') ? "," : at(p_).text;
                        type += ')';
                        for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                        ++p_;
                    }
                    column.type = type;
                }
                table.columns.push_back(std::move(column));
            }
            skip_item();
            if (punct(')')) {
                ++p_;
                break;
            }
            if (!expect(',')) return;
        }
        script.tables.push_back(std::move(table));
    }

    // One value; its text (nothing for NULL) and kind.
    std::optional<std::string> value(char& kind) {
        const Token& t = at(p_);
        if (t.kind == Kind::kWord && t.text == "NULL") {
            ++p_;
            kind = '0';
            return std::nullopt;
        }
        if (t.kind == Kind::kPunct && (t.text == "-" || t.text == "+") && at(p_ + 1).kind == Kind::kNumber) {
            p_ += 2;
            kind = 'n';
            return (t.text == "-" ? "-" : "") + at(p_ - 1).text;
        }
        if (t.kind == Kind::kNumber || t.kind == Kind::kHex) {
            ++p_;
            kind = t.kind == Kind::kNumber ? 'n' : 'x';
            return t.text;
        }
        std::string text;
        kind = 's';
        while (error_.empty()) {
            if (!piece(text, kind)) return text;
            if (!punct('+')) return text;
            ++p_;
        }
        return text;
    }

    // A string piece: a string, CHAR(n), NCHAR(n) or CONVERT(type, value[, style]).
    bool piece(std::string& text, char& kind) {
        const Token& t = at(p_);
        if (t.kind == Kind::kString) {
            text += t.text;
            ++p_;
            return true;
        }
        if (t.kind == Kind::kWord && (t.text == "CHAR" || t.text == "NCHAR")) {
            ++p_;
            if (!expect('(')) return false;
            if (at(p_).kind != Kind::kNumber) {
                fail("a character code expected");
                return false;
            }
            text += utf8_of(static_cast<unsigned>(std::stoul(at(p_).text)));
            ++p_;
            return expect(')');
        }
        if (t.kind == Kind::kWord && t.text == "CONVERT") {
            ++p_;
            if (!expect('(')) return false;
            ++p_;  // the type
            if (punct('(')) {
                while (p_ < t_.size() && !punct(')')) ++p_;
                ++p_;
            }
            if (!expect(',')) return false;
            char inner = 's';
            if (auto v = value(inner)) text += *v;
            if (punct(',')) p_ += 2;  // the style
            kind = 'c';
            return expect(')');
        }
        fail("a value expected");
        return false;
    }

    void insert(Script& script) {
        const auto [schema, name] = qualified();
        ScriptTable* table = nullptr;
        for (ScriptTable& t : script.tables)
            if (t.schema == schema && t.name == name) table = &t;
        if (table == nullptr) return fail("INSERT before CREATE TABLE");
        std::vector<std::string> columns;
        if (!expect('(')) return;
        while (error_.empty() && !punct(')')) {
            columns.push_back(name_part());
            if (punct(',')) ++p_;
        }
        ++p_;
        if (table->insert_columns.empty()) table->insert_columns = columns;
        if (columns != table->insert_columns) return fail("another column list");
        if (!word("VALUES")) return fail("VALUES expected");
        ++p_;
        while (error_.empty()) {
            if (!expect('(')) return;
            std::vector<std::optional<std::string>> row;
            std::vector<char> kinds;
            while (error_.empty()) {
                char kind = '?';
                row.push_back(value(kind));
                kinds.push_back(kind);
                if (punct(',')) {
                    ++p_;
                    continue;
                }
                if (!expect(')')) return;
                break;
            }
            if (row.size() != columns.size()) return fail("a row of another width");
            table->rows.push_back(std::move(row));
            table->kinds.push_back(std::move(kinds));
            if (punct(',')) {
                ++p_;
                continue;
            }
            if (punct(';')) ++p_;
            return;
        }
    }

    std::vector<Token> t_;
    std::size_t p_ = 0;
    std::string error_;
};

}  // namespace

Script read_sql_script(const std::string& text) {
    Script script;
    Tokenizer tokenizer(text);
    std::vector<Token> tokens = tokenizer.all();
    script.go_lines = tokenizer.go_lines;
    if (!tokenizer.error.empty()) {
        script.error = tokenizer.error;
        return script;
    }
    Reader(std::move(tokens)).read(script);
    return script;
}

}  // namespace quenlow::test
