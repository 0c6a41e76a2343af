// File bytes shown in messages: escaped where they would reach a terminal raw. (The wording of read failures
// is pinned where the readers and the programs report them.)
#include <gtest/gtest.h>

#include <utility>

#include "read_status.h"

using namespace quorax;

TEST(ReadStatus, FileBytesAreShownEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain text 1.5e", "plain text 1.5e"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x1b[2J\x7f\t\r\n", "\\x1b[2J\\x7f\\x09\\x0d\\x0a"},
        {"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"}, // é € 😀
        {"\xc2\x9b", "\\xc2\\x9b"},              // C1 control (CSI)
        {"\xff\xc3(\xe2\x82", "\\xff\\xc3(\\xe2\\x82"}, // invalid, cut sequences
        {"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"}, // overlong, surrogate, > U+10FFFF
    };
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(printableBytes(bytes), shown);
    EXPECT_EQ(withoutByteOrderMark("\xEF\xBB\xBFv 1"), "v 1");
    EXPECT_EQ(withoutByteOrderMark("\xEF\xBBv"), "\xEF\xBBv");
}
