#include "tests/corpus/truth_values.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/catalog/type_codes.h"
#include "engine/values/value_format.h"

namespace quenlow::testing {

namespace {

std::string trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The number between the parentheses of the type text: "nchar(100)" -> 100.
int declared_number(const ColumnDescriptor& column) {
    const auto open = column.type_text.find('(');
    if (open == std::string::npos) return 0;
    return std::atoi(column.type_text.c_str() + open + 1);
}

// A decimal literal ("-$1,234.5", "+7", ".25") with `scale` decimals, rounded half away from zero.
std::optional<std::string> fixed_point(std::string_view literal, int scale) {
    std::string s = trimmed(literal);
    bool negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i < s.size() && s[i] == '$') ++i;
    std::string whole, fraction;
    for (; i < s.size() && s[i] != '.'; ++i) {
        if (s[i] == ',') continue;
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
        whole += s[i];
    }
    if (i < s.size()) ++i;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
        fraction += s[i];
    }
    if (whole.empty() && fraction.empty()) return std::nullopt;
    const bool round_up = static_cast<int>(fraction.size()) > scale && fraction[scale] >= '5';
    fraction.resize(static_cast<std::size_t>(scale), '0');
    std::string digits = whole + fraction;
    if (round_up) {
        int k = static_cast<int>(digits.size()) - 1;
        for (; k >= 0 && digits[k] == '9'; --k) digits[k] = '0';
        if (k < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[k];
    }
    std::string int_part = digits.substr(0, digits.size() - static_cast<std::size_t>(scale));
    const std::string frac_part = digits.substr(int_part.size());
    const auto first = int_part.find_first_not_of('0');
    int_part = first == std::string::npos ? "0" : int_part.substr(first);
    std::string out = int_part;
    if (scale > 0) out += "." + frac_part;
    if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(out.begin(), '-');
    return out;
}

struct Moment {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int millisecond = 0;  // as written; the display texts leave it out
};

std::vector<int> numbers_in(std::string_view s, std::string_view separators) {
    std::vector<int> out;
    std::string current;
    for (char c : s) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            current += c;
        } else if (separators.find(c) != std::string_view::npos && !current.empty()) {
            out.push_back(std::atoi(current.c_str()));
            current.clear();
        } else {
            return {};
        }
    }
    if (!current.empty()) out.push_back(std::atoi(current.c_str()));
    return out;
}

// "7/4/1996", "06/12/94", "20101010 00:00:00.000", "1999-1-1", "2005-03-01T10:00:00".
std::optional<Moment> parse_moment(std::string_view literal) {
    const std::string s = trimmed(literal);
    const auto split = s.find_first_of(" T");
    const std::string date = s.substr(0, split);
    const std::string time = split == std::string::npos ? "" : trimmed(std::string_view(s).substr(split + 1));
    Moment m;
    if (date.find('/') != std::string::npos) {
        const auto parts = numbers_in(date, "/");
        if (parts.size() != 3) return std::nullopt;
        m.month = parts[0], m.day = parts[1], m.year = parts[2];
        if (date.size() - date.rfind('/') - 1 <= 2) m.year += m.year < 50 ? 2000 : 1900;
    } else if (date.find('-') != std::string::npos) {
        const auto parts = numbers_in(date, "-");
        if (parts.size() != 3) return std::nullopt;
        m.year = parts[0], m.month = parts[1], m.day = parts[2];
    } else if (date.size() == 8 && numbers_in(date, "").size() == 1) {
        m.year = std::atoi(date.substr(0, 4).c_str());
        m.month = std::atoi(date.substr(4, 2).c_str());
        m.day = std::atoi(date.substr(6, 2).c_str());
    } else {
        return std::nullopt;
    }
    if (!time.empty()) {
        // Seconds are cut at the point: the stored ticks never round up to the next second.
        const auto parts = numbers_in(time.substr(0, time.find('.')), ":");
        if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
        m.hour = parts[0], m.minute = parts[1], m.second = parts.size() == 3 ? parts[2] : 0;
        if (const auto point = time.find('.'); point != std::string::npos) {
            std::string digits = time.substr(point + 1, 3);
            if (numbers_in(digits, "").size() != 1) return std::nullopt;
            digits.resize(3, '0');
            m.millisecond = std::atoi(digits.c_str());
        }
    }
    return m;
}

bool is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// A stored datetime (days since 1900-01-01, then 1/300 second ticks) as a moment.
Moment moment_of_datetime(std::int32_t days, std::int32_t ticks) {
    Moment m{1900, 1, 1, 0, 0, 0};
    while (days > 0) {
        const int month_days[] = {31, is_leap(m.year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (m.day < month_days[m.month - 1]) {
            ++m.day;
        } else {
            m.day = 1;
            if (++m.month > 12) m.month = 1, ++m.year;
        }
        --days;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(ticks) / 300;
    m.hour = static_cast<int>(seconds / 3600), m.minute = static_cast<int>(seconds / 60 % 60);
    m.second = static_cast<int>(seconds % 60);
    m.millisecond = static_cast<int>((static_cast<std::int64_t>(ticks) % 300 * 20 + 3) / 6);
    return m;
}

// A datetime literal as stored and exported: the milliseconds rounded to 1/300 s ticks, then shown as the
// nearest millisecond (.000, .003, .007). Nothing when the rounding would cross midnight.
std::optional<std::string> datetime_export_text(Moment m) {
    std::int64_t ms = ((m.hour * 60 + m.minute) * 60 + m.second) * 1000LL + m.millisecond;
    const std::int64_t ticks = (ms * 3 + 5) / 10;
    ms = (ticks * 20 + 3) / 6;
    if (ms >= 86400000) return std::nullopt;
    m.hour = static_cast<int>(ms / 3600000), m.minute = static_cast<int>(ms / 60000 % 60);
    m.second = static_cast<int>(ms / 1000 % 60);
    return fmt::format("{}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}", m.year, m.month, m.day, m.hour, m.minute,
                       m.second, ms % 1000);
}

std::string shortest(double v) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

std::string shortest(float v) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

std::string date_text(const Moment& m) {
    return fmt::format("{:04}-{:02}-{:02}", m.year, m.month, m.day);
}

std::string datetime_text(const Moment& m) {
    return fmt::format("{} {:02}:{:02}:{:02}", date_text(m), m.hour, m.minute, m.second);
}

std::optional<std::string> hex_text(const std::string& hex, const ColumnDescriptor& column) {
    std::string digits = upper(hex);
    if (column.type_code == kTypeBinary) {
        const std::size_t width = static_cast<std::size_t>(declared_number(column)) * 2;
        if (digits.size() < width) digits.append(width - digits.size(), '0');
    }
    return "0x" + digits;
}

std::optional<std::string> string_text(const std::string& s, const ColumnDescriptor& column) {
    switch (column.type_code) {
        case kTypeBigint:
        case kTypeInt:
        case kTypeSmallint:
        case kTypeTinyint: {
            const std::string t = trimmed(s);
            char* end = nullptr;
            const long long v = std::strtoll(t.c_str(), &end, 10);
            if (t.empty() || *end != '\0') return std::nullopt;
            return std::to_string(v);
        }
        case kTypeBit: {
            const std::string t = upper(trimmed(s));
            if (t == "TRUE") return "True";
            if (t == "FALSE") return "False";
            char* end = nullptr;
            const long long v = std::strtoll(t.c_str(), &end, 10);
            if (t.empty() || *end != '\0') return std::nullopt;
            return v != 0 ? "True" : "False";
        }
        case kTypeMoney:
        case kTypeSmallmoney:
            return fixed_point(s, 4);
        case kTypeDecimal:
        case kTypeNumeric:
            return fixed_point(s, column.scale);
        case kTypeFloat:
            return format_float(std::strtod(trimmed(s).c_str(), nullptr));
        case kTypeReal:
            return format_real(std::strtof(trimmed(s).c_str(), nullptr));
        case kTypeDatetime:
        case kTypeSmalldatetime: {
            auto m = parse_moment(s);
            if (!m) return std::nullopt;
            return datetime_text(*m);
        }
        case kTypeDate: {
            auto m = parse_moment(s);
            if (!m) return std::nullopt;
            return date_text(*m);
        }
        case kTypeChar:
        case kTypeNchar: {
            // Characters, not bytes: UTF-8 continuation bytes do not count.
            const int width =
                column.type_code == kTypeNchar ? declared_number(column) / 2 : declared_number(column);
            std::size_t characters = 0;
            for (char c : s) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            std::string out = s;
            if (characters < static_cast<std::size_t>(width))
                out.append(static_cast<std::size_t>(width) - characters, ' ');
            return out;
        }
        case kTypeVarchar:
        case kTypeNvarchar:
            return s;
        case kTypeUniqueidentifier: {
            std::string t = upper(trimmed(s));
            if (!t.empty() && t.front() == '{') t = t.substr(1, t.size() - 2);
            return t;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

bool stored_outside_row(const ColumnDescriptor& column) {
    switch (column.type_code) {
        case kTypeText:
        case kTypeNtext:
        case kTypeImage:
        case kTypeXml:
            return true;
        default:
            return column.type_text.find("(-1)") != std::string::npos;
    }
}

std::optional<std::string> truth_export_text(const nlohmann::json& value, const ColumnDescriptor& column) {
    if (value.is_null()) return std::nullopt;
    const nlohmann::json* v = &value;
    if (v->is_object() && v->contains("cast")) v = &(*v)["v"];
    if (column.type_code == kTypeDatetime) {
        if (v->is_string()) {
            const auto m = parse_moment(v->get<std::string>());
            if (!m) return std::nullopt;
            return datetime_export_text(*m);
        }
        if (v->is_object() && v->contains("hex")) {
            const std::string hex = (*v)["hex"].get<std::string>();
            if (hex.size() != 16) return std::nullopt;
            const auto days = static_cast<std::int32_t>(std::stoul(hex.substr(0, 8), nullptr, 16));
            const auto ticks = static_cast<std::int32_t>(std::stoul(hex.substr(8, 8), nullptr, 16));
            const Moment m = moment_of_datetime(days, ticks);
            return fmt::format("{}.{:03}", datetime_text(m), m.millisecond);
        }
        return std::nullopt;
    }
    if (column.type_code == kTypeFloat && v->is_string())
        return shortest(std::strtod(trimmed(v->get<std::string>()).c_str(), nullptr));
    if (column.type_code == kTypeReal && v->is_string())
        return shortest(std::strtof(trimmed(v->get<std::string>()).c_str(), nullptr));
    return truth_display_text(value, column);
}

std::optional<std::string> truth_display_text(const nlohmann::json& value, const ColumnDescriptor& column) {
    if (value.is_null()) return std::string("NULL");
    if (value.is_string()) return string_text(value.get<std::string>(), column);
    if (!value.is_object()) return std::nullopt;
    if (value.contains("call")) return std::nullopt;
    if (value.contains("hex")) return hex_text(value["hex"].get<std::string>(), column);
    if (value.contains("cast")) {
        const nlohmann::json& inner = value["v"];
        const bool datetime_column =
            column.type_code == kTypeDatetime || column.type_code == kTypeSmalldatetime;
        if (datetime_column && inner.is_object() && inner.contains("hex")) {
            const std::string hex = inner["hex"].get<std::string>();
            if (hex.size() != 16) return std::nullopt;
            const auto days = static_cast<std::int32_t>(std::stoul(hex.substr(0, 8), nullptr, 16));
            const auto ticks = static_cast<std::int32_t>(std::stoul(hex.substr(8, 8), nullptr, 16));
            return datetime_text(moment_of_datetime(days, ticks));
        }
        return truth_display_text(inner, column);
    }
    return std::nullopt;
}

}  // namespace quenlow::testing
