#include "app/log_file.h"

#include <gtest/gtest.h>

#include "tests/app/test_files.h"

namespace quenlow {
namespace {

using test::make_time;

TEST(LogFileName, NumbersCarryNoLeadingZeros) {
    struct Case {
        std::tm time;
        const char* name;
    };
    const Case cases[] = {
        {make_time(1, 1, 2027, 0, 0, 5), "QuenlowSQL_log_1-1-2027-0-0-5.txt"},
        {make_time(8, 12, 2026, 9, 5, 7), "QuenlowSQL_log_8-12-2026-9-5-7.txt"},
        {make_time(31, 10, 2030, 23, 59, 59), "QuenlowSQL_log_31-10-2030-23-59-59.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(log_file_name(c.time), c.name);
}

TEST(LogFileName, FolderAndNameAreJoinedWithOneSlash) {
    const std::tm t = make_time(1, 1, 2027, 0, 0, 5);
    EXPECT_EQ(log_file_path("/var/log", t), "/var/log/QuenlowSQL_log_1-1-2027-0-0-5.txt");
    EXPECT_EQ(log_file_path("/var/log/", t), "/var/log/QuenlowSQL_log_1-1-2027-0-0-5.txt");
}

TEST(Utf8ToUtf16, EncodesEveryLengthAndReplacesBrokenSequences) {
    struct Case {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"ascii", "Log\t1", u"Log\t1"},
        {"two bytes", "caf\xC3\xA9", u"caf\u00E9"},
        {"three bytes", "\xE2\x82\xAC 5", u"\u20AC 5"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"overlong form", "\xC0\x80", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"sequence cut by the end", "ok\xE2\x82", u"ok\uFFFD\uFFFD"},
        {"sequence cut by a new character", "\xE2\x82z", u"\uFFFD\uFFFDz"},
        {"byte that never starts a sequence", "\xFF", u"\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_to_utf16(c.utf8), c.utf16) << c.name;
}

TEST(LogWriter, NewFileHasByteOrderMarkHeaderAndCrLfLines) {
    test::TempFolder folder;
    const std::string path = folder.file("log.txt");
    LogWriter log;
    ASSERT_TRUE(log.open(path));
    log.write_header();
    log.write_line("first");
    log.write_line("caf\xC3\xA9");
    log.close();

    const std::string bytes = test::read_bytes(path);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE\r\0", 4));
    EXPECT_EQ(test::read_log_file(path), "\r\n" + std::string(80, '*') + "\r\nfirst\r\ncaf\xC3\xA9\r\n");
}

TEST(LogWriter, ExistingFileIsAppendedToWithoutSecondByteOrderMark) {
    test::TempFolder folder;
    const std::string path = folder.file("log.txt");
    LogWriter log;
    ASSERT_TRUE(log.open(path));
    log.write_line("one");
    ASSERT_TRUE(log.open(path));  // reopening closes the first handle
    log.write_header();
    log.write_line("two");
    log.close();

    EXPECT_EQ(test::read_log_file(path), "one\r\n\r\n" + std::string(80, '*') + "\r\ntwo\r\n");
}

TEST(LogWriter, FileThatCannotBeCreatedTakesNoWrites) {
    test::TempFolder folder;
    LogWriter log;
    EXPECT_FALSE(log.open(folder.file("missing/folder/log.txt")));
    EXPECT_FALSE(log.is_open());
    log.write_header();
    log.write_line("lost");  // must not crash nor create anything
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
}

}  // namespace
}  // namespace quenlow
