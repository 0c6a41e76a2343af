// The wording of read failures and warnings, shared by every reader's callers.
#include <gtest/gtest.h>

#include <utility>

#include "read_status.h"

using namespace quorax;

TEST(ReadStatus, MessagesNameTheFileAndTheProblem) {
    EXPECT_EQ(readErrorText("DX grid", "a.dx", ReadStatus::cannotOpen("No such file or directory")),
              "cannot read DX grid \"a.dx\": No such file or directory");
    EXPECT_EQ(readErrorText("DX grid", "a.dx", ReadStatus::malformed(7, "expected 8 values, found 5")),
              "DX grid \"a.dx\", line 7: expected 8 values, found 5");
    EXPECT_EQ(readErrorText("OBJ mesh", "m.obj", ReadStatus::malformed(0, "no faces")),
              "OBJ mesh \"m.obj\": no faces");
    EXPECT_EQ(readProblemText(ReadStatus::malformed(3, "bad")), "line 3: bad");
    EXPECT_EQ(readWarningText("DX grid", "a.dx", "w"), "DX grid \"a.dx\": w");
    EXPECT_TRUE(ReadStatus().ok());
}

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
