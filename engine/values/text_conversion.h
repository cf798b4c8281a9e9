#pragma once
// Conversion of stored text to UTF-8: 8-bit text in a Windows code page, UTF-16LE text, and bytes taken
// one for one as the characters U+0000..U+00FF.
//
// 8-bit text goes through the C library's iconv ("CP1252", "CP1251", "CP936", ...). Opening a converter
// is far too slow to do per value, so a CodePageConverters object keeps the converters it has opened and
// is passed to every call; the caller owns it (one per operation and thread, never shared between
// threads). Single-byte code pages are turned into a 256-entry table when first used, so only the double-
// byte code pages (932, 936, 949, 950) run iconv per value, and pure ASCII never does.
//
// Invalid input never fails a conversion: a byte or sequence the code page does not define becomes
// U+FFFD, as does an unpaired UTF-16 surrogate.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quenlow {

// The code page every conversion falls back to; it is built in, so it works without iconv's modules.
inline constexpr std::int32_t kBuiltinCodePage = 1252;

class CodePageConverters {
public:
    CodePageConverters();
    ~CodePageConverters();
    CodePageConverters(CodePageConverters&&) noexcept;
    CodePageConverters& operator=(CodePageConverters&&) noexcept;
    CodePageConverters(const CodePageConverters&) = delete;
    CodePageConverters& operator=(const CodePageConverters&) = delete;

    // Appends `bytes`, 8-bit text in `code_page`, to `out` as UTF-8. A code page that cannot be converted
    // (0, negative, or unknown to iconv) is replaced by `fallback_code_page`, and that one by 1252.
    // Zero bytes are converted like any other; callers cut the text first where it ends at one.
    void append_utf8(std::string& out, std::span<const std::byte> bytes, std::int32_t code_page,
                     std::int32_t fallback_code_page = kBuiltinCodePage);

    // True when `code_page` converts with its own table or iconv converter.
    bool supports(std::int32_t code_page);

private:
    struct Converter;
    Converter* find(std::int32_t code_page);

    std::vector<std::unique_ptr<Converter>> converters_;
    Converter* last_ = nullptr;
};

// Appends UTF-16LE text as UTF-8, up to the first zero unit. An odd last byte is taken as a unit whose
// high byte is zero.
void append_utf16_text(std::string& out, std::span<const std::byte> bytes);

// Appends each byte as the character of the same code (U+0000..U+00FF), up to the first zero byte.
void append_latin1_text(std::string& out, std::span<const std::byte> bytes);

// The bytes before the first zero byte; all of them when there is none.
std::span<const std::byte> until_zero_byte(std::span<const std::byte> bytes);

// Appends the UTF-8 encoding of one code point (U+FFFD for a surrogate or a value above U+10FFFF).
void append_code_point(std::string& out, std::uint32_t code_point);

}  // namespace quenlow
