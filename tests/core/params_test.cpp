// The rules that turn the eight positional arguments into run parameters. (The
// tool's tests check the console's reduce and debug switches and its warnings.)
#include "params.h"

#include <gtest/gtest.h>

using namespace quorax;

TEST(Params, ArgumentsRulesAndWarnings) {
    std::vector<std::string> a = {"m.obj", "g.dx", "l.txt", "0.01", "0.5", "45", "1", "3", "1"}, w;
    auto parse = [&](ArgumentRules rules) {
        PipelineParams p;
        parsePipelineArguments(a, rules, p, w);
        return p;
    };
    PipelineParams p = parse(ArgumentRules::Console);
    EXPECT_EQ(p.meshPath + p.gridPath + p.linesPath, "m.objg.dxl.txt");
    EXPECT_EQ((std::vector{p.density, p.haltGradient, p.haltAngle, p.reduceAngle}),
              (std::vector{0.01f, 0.5f, 45.0f, 3.0f}));
    EXPECT_TRUE(p.reduce && p.debug); // a ninth argument "1"
    a.pop_back();                     // the viewer takes exactly eight
    // Viewer: reduce for any text whose number is not 0 (the console wants exactly "1").
    for (const char* r : {"2", " 1", "-3", "yes", "0", "0.0", ""}) {
        a[6] = r;
        EXPECT_EQ(parse(ArgumentRules::Viewer).reduce, std::atof(r) != 0) << r;
    }
    // Numbers read as atof; text not entirely a number warns, naming the argument (not reduce).
    EXPECT_TRUE(w.empty());
    a = {"m", "g", "l", "0.5x", "0x10", "", "1", "abc"};
    p = parse(ArgumentRules::Viewer);
    EXPECT_EQ((std::vector{p.density, p.haltGradient, p.haltAngle, p.reduceAngle}),
              (std::vector{0.5f, 16.0f, 0.0f, 0.0f}));
    ASSERT_EQ(w.size(), 3u);
    EXPECT_NE(w[0].find("argument 4 (linesdensity)"), std::string::npos) << w[0];
}
