// Numbers written to the viewer's log: the toolkit's general float format.
#include "number_text.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorax;

TEST(NumberText, GeneralFormatOfTheLog) {
    // The stored float 0.01 is 0.0099999997764825820922851562…, 15 digits.
    EXPECT_EQ(formatGeneral(0.01f), "0.00999999977648258");
    EXPECT_EQ(formatGeneral(0.01f, ','), "0,00999999977648258");
    const std::pair<double, const char*> cases[] = {
        {0, "0"},           {48, "48"},          {-2.25, "-2.25"},  {0.1 + 0.2, "0.3"},
        {1e-5, "0.00001"},  {1e-6, "1E-6"},      {-1.5e-7, "-1.5E-7"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},     {1.5e20, "1.5E20"},  {45.0f, "45"},     {999999999999999.9, "1E15"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(formatGeneral(value), text) << value;
    EXPECT_EQ(formatGeneral(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(formatGeneral(-std::numeric_limits<double>::infinity()), "-INF");
}
