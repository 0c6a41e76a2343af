// The rules that turn the eight positional arguments into run parameters.
#include "params.h"

#include <gtest/gtest.h>

using namespace quorax;

namespace {

struct Parsed {
    PipelineParams params;
    std::vector<std::string> warnings;
};

Parsed parse(std::vector<std::string> args, ArgumentRules rules = ArgumentRules::Console) {
    Parsed p;
    parsePipelineArguments(args, rules, p.params, p.warnings);
    return p;
}

std::vector<std::string> args(const std::string& density = "0.01",
                              const std::string& reduce = "1") {
    return {"m.obj", "g.dx", "l.txt", density, "0.0", "45", reduce, "3.0"};
}

} // namespace

TEST(Params, ConsoleAndViewerRules) {
    const Parsed p = parse(args());
    EXPECT_EQ(p.params.meshPath, "m.obj");
    EXPECT_EQ(p.params.gridPath, "g.dx");
    EXPECT_EQ(p.params.linesPath, "l.txt");
    EXPECT_EQ(p.params.density, 0.01f);
    EXPECT_EQ(p.params.haltGradient, 0.0f);
    EXPECT_EQ(p.params.haltAngle, 45.0f);
    EXPECT_TRUE(p.params.reduce);
    EXPECT_EQ(p.params.reduceAngle, 3.0f);
    EXPECT_FALSE(p.params.debug);
    EXPECT_TRUE(p.warnings.empty());

    // Console: reduce only for exactly "1"; viewer: any text whose number is not 0.
    for (const char* r : {"yes", "0", "2", "1.0", " 1", ""})
        EXPECT_FALSE(parse(args("0.01", r)).params.reduce) << r;
    for (const char* r : {"1", "2", "1.0", "-3"})
        EXPECT_TRUE(parse(args("0.01", r), ArgumentRules::Viewer).params.reduce) << r;
    for (const char* r : {"0", "yes", "0.0", ""})
        EXPECT_FALSE(parse(args("0.01", r), ArgumentRules::Viewer).params.reduce) << r;

    // Debug only with exactly nine arguments and the ninth exactly "1".
    auto with = [](std::vector<std::string> extra) {
        std::vector<std::string> a = args();
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    EXPECT_TRUE(parse(with({"1"})).params.debug);
    for (const char* d : {"yes", "01", "1.0", "0"})
        EXPECT_FALSE(parse(with({d})).params.debug) << d;
    EXPECT_FALSE(parse(with({"1", "1"})).params.debug);
    EXPECT_FALSE(parse(with({"1"}), ArgumentRules::Viewer).params.debug);
}

TEST(Params, NumbersFollowAtofAndWarn) {
    // Text that is not entirely a number reads as C atof reads it and draws a
    // warning that names the argument.
    struct Case {
        const char* text;
        float value;
        bool warns;
    };
    for (const Case& c :
         {Case{"0.01", 0.01f, false}, Case{"-3", -3.0f, false}, Case{"1e-2", 0.01f, false},
          Case{"abc", 0.0f, true}, Case{"0.01x", 0.01f, true}, Case{"", 0.0f, true},
          Case{"1,5", 1.0f, true}, Case{"0x10", 16.0f, false}}) {
        const Parsed p = parse(args(c.text));
        EXPECT_EQ(p.params.density, c.value) << c.text;
        ASSERT_EQ(p.warnings.size(), c.warns ? 1u : 0u) << c.text;
        if (c.warns) {
            EXPECT_NE(p.warnings[0].find("linesdensity"), std::string::npos) << p.warnings[0];
        }
    }
    // Every numeric argument is checked, the reduce flag is not.
    const Parsed p = parse({"m", "g", "l", "x", "y", "z", "no", "w"});
    EXPECT_EQ(p.warnings.size(), 4u);
}
