// The wording of read failures and warnings, shared by every reader's callers.
#include <gtest/gtest.h>

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
