// quorax-series: file name patterns, frame ranges and the command line; the job array script's blocks and the shell
// quoting run through a real shell; local runs of the bundled example compared byte for byte with `quorax`; a failing
// frame among good ones; resuming after a killed run; GNU parallel on the printed commands; the collection file in
// VTK's parser.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "series.h"

using namespace quorax::series;
using quorax::test::has;
using quorax::test::ProcessResult;
using quorax::test::runProcess;
using quorax::test::TempDir;

namespace fs = std::filesystem;

namespace {

const std::string kTool = QUORAX_TOOL_PATH;
const std::string kSeries = QUORAX_SERIES_PATH;
const std::string kExamples = QUORAX_EXAMPLES_DIR;
const std::vector<std::string> kNumbers = {"0.01", "0.0", "45", "1", "3.0"};

ParseOutcome parse(std::vector<std::string> args, SeriesOptions& o, std::string& error, const char* seedEnv = nullptr) {
    return parseSeriesArguments(args, seedEnv, o, error);
}

// The eight arguments with the given patterns.
std::vector<std::string> positional(const std::string& mesh, const std::string& grid, const std::string& lines) {
    std::vector<std::string> a = {mesh, grid, lines};
    a.insert(a.end(), kNumbers.begin(), kNumbers.end());
    return a;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// prefix, number, suffix (appended: GCC 12 warns on `"m" + std::to_string(i)`).
std::string numbered(const char* prefix, int64_t i, const char* suffix) {
    std::string s = prefix;
    s += std::to_string(i);
    s += suffix;
    return s;
}

// Frames FIRST..LAST of the bundled example in `dir`: m{}.obj and g{}.dx link to the example files.
void linkFrames(const TempDir& dir, int first, int last) {
    for (int i = first; i <= last; ++i) {
        fs::create_symlink(kExamples + "/fas2.obj", dir.file(numbered("m", i, ".obj")));
        fs::create_symlink(kExamples + "/fas2.dx", dir.file(numbered("g", i, ".dx")));
    }
}

// The lines file `quorax` writes for the example with `seed`.
std::string referenceLines(uint32_t seed) {
    TempDir dir;
    const ProcessResult r =
        runProcess(kTool, concat({kExamples + "/fas2.obj", kExamples + "/fas2.dx", dir.file("ref.txt")}, kNumbers),
                   dir.path(), {"QUORAX_SEED=" + std::to_string(seed)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return dir.read("ref.txt");
}

// Waits (at most 30 s) until `name` appears in `dir`.
void waitForFile(const TempDir& dir, const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!dir.exists(name) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

ProcessResult runSeries(const TempDir& dir, const std::vector<std::string>& args) {
    return runProcess(kSeries, args, dir.path(), {"QUORAX_SEED="});
}

} // namespace

TEST(SeriesPattern, ExpandsFieldsAndNamesCollections) {
    std::string error;
    auto p = Pattern::parse("run{}/f{:04}_{{x}}.vtp", error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->expand(7), "run7/f0007_{x}.vtp");
    EXPECT_EQ(p->expand(123456), "run123456/f123456_{x}.vtp") << "padding never cuts digits";
    EXPECT_TRUE(p->hasField());
    EXPECT_FALSE(Pattern::parse("fixed.obj", error)->hasField());
    for (const char* bad : {"a{:4}.txt", "a{x}.txt", "a{:00}.txt", "a{.txt", "a}.txt", "a{:04"}) {
        error.clear();
        EXPECT_FALSE(Pattern::parse(bad, error)) << bad;
        EXPECT_TRUE(has(error, bad));
    }
    // Folder before the first field, and the file name without its fields.
    const std::vector<std::vector<std::string>> cases = {{"out/lines_{:04}.vtp", "out/", "lines.vtp"},
                                                         {"{}_lines.vtp", "", "lines.vtp"},
                                                         {"a/b/{}.vtp", "a/b/", "series.vtp"},
                                                         {"a/frame{}/lines.vtp", "a/", "lines.vtp"}};
    for (const auto& c : cases) {
        const auto [folder, name] = Pattern::parse(c[0], error)->collectionName();
        EXPECT_EQ(folder, c[1]) << c[0];
        EXPECT_EQ(name, c[2]) << c[0];
    }
}

TEST(SeriesArguments, FramesOptionsAndRefusals) {
    std::string error;
    EXPECT_EQ(FrameRange::parse("0:10:3", error)->frames(), (std::vector<int64_t>{0, 3, 6, 9}));
    EXPECT_EQ(FrameRange::parse("5", error)->frames(), (std::vector<int64_t>{5}));
    EXPECT_EQ(FrameRange::parse("4:4", error)->frames(), (std::vector<int64_t>{4}));
    for (const char* bad : {"3:1", "1:2:0", "a:2", "-1:2", "1:2:3:4", "1::2", ""})
        EXPECT_FALSE(FrameRange::parse(bad, error)) << bad;
    SeriesOptions o;
    const auto args = concat(positional("m{}.obj", "g.dx", "l{:03}.txt"),
                             {"--frames", "2:4", "--jobs=3", "--lines-out", "o/{}.vtp", "--tube-radius", "0.{}",
                              "--tubes", "t{}.vtp"});
    ASSERT_EQ(parse(args, o, error), ParseOutcome::Run) << error;
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_FALSE(o.seed);
    const Frame f = makeFrame(o, 3);
    EXPECT_EQ(f.args, concat(positional("m3.obj", "g.dx", "l003.txt"),
                             {"--lines-out", "o/3.vtp", "--tube-radius", "0.3", "--tubes", "t3.vtp"}));
    EXPECT_EQ(f.inputs, (std::vector<std::string>{"m3.obj", "g.dx"}));
    EXPECT_EQ(f.outputs, (std::vector<std::string>{"l003.txt", "o/3.vtp", "t3.vtp"}))
        << "options ending in -out and --tubes name outputs; --tube-radius does not";
    // The seed: --seed wins over QUORAX_SEED, which is taken as quorax takes it.
    SeriesOptions s1, s2;
    const auto base = concat(positional("m{}.obj", "g{}.dx", "l{}.txt"), {"--frames", "1:2"});
    ASSERT_EQ(parse(base, s1, error, "-1"), ParseOutcome::Run);
    EXPECT_EQ(s1.seed, 4294967295u);
    ASSERT_EQ(parse(concat(base, {"--seed", "9"}), s2, error, "5"), ParseOutcome::Run);
    EXPECT_EQ(s2.seed, 9u);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {positional("m{}.obj", "g{}.dx", "l{}.txt"), "--frames FIRST:LAST[:STEP] is missing"},
        {concat(positional("m{}.obj", "g{}.dx", "lines.txt"), {"--frames", "1:2"}), "has no {} field"},
        {concat(base, {"--surface-out", "s.obj"}), "--surface-out \"s.obj\" has no {} field"},
        {concat(base, {"1"}), "unexpected argument \"1\""},
        {{"m{}.obj", "--frames", "1:2"}, "expected 8 arguments"},
        {concat(base, {"--submit"}), "--submit needs --slurm"},
        {concat(base, {"--seed", "x"}), "--seed \"x\""},
    };
    for (const auto& [args, message] : refused) {
        SeriesOptions r;
        error.clear();
        EXPECT_EQ(parse(args, r, error), ParseOutcome::Error) << message;
        EXPECT_TRUE(has(error, message));
    }
    SeriesOptions r;
    EXPECT_EQ(parse(base, r, error, "abc"), ParseOutcome::Error);
    EXPECT_TRUE(has(error, "QUORAX_SEED=\"abc\""));
}

// Words survive the shell unchanged, and each array task of the SLURM script
// gets its own block of frames, the last block ending at the last frame.
TEST(SeriesShell, QuotingAndJobArrayBlocks) {
    const std::vector<std::string> words = {"plain.txt", "two words", "it's", "$HOME", "a\"b", "", "*", "x\\y\nz"};
    std::string script = "printf '<%s>'";
    std::string expected;
    for (const std::string& w : words) {
        script += ' ';
        script += shellQuote(w);
        expected += "<" + w + ">";
    }
    const ProcessResult r = runProcess("/bin/sh", {"-c", script});
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(shellQuote("a/b_c-1.5:x"), "a/b_c-1.5:x") << "safe words stay unquoted";
    TempDir dir;
    dir.write("fake-series", "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done\n");
    fs::permissions(dir.file("fake-series"), fs::perms::owner_all);
    SeriesOptions o;
    std::string error;
    const auto args = concat(positional("m {}.obj", "g{}.dx", "l{}.txt"),
                             {"--frames", "2:12:3", "--slurm", "job.sh", "--per-task", "3", "--seed", "7"});
    ASSERT_EQ(parse(args, o, error), ParseOutcome::Run) << error;
    ASSERT_EQ(slurmTaskCount(o), 2) << "frames 2, 5, 8, 11 in blocks of 3";
    const std::string text = slurmScript(o, dir.file("fake-series"), dir.path());
    EXPECT_TRUE(has(text, "#SBATCH --array=0-1\n"));
    dir.write("job.sh", text);
    const std::vector<std::string> blocks = {"2:8:3", "11:11:3"};
    for (int task = 0; task < 2; ++task) {
        const ProcessResult t = runProcess("/bin/bash", {dir.file("job.sh")}, {},
                                           {"SLURM_ARRAY_TASK_ID=" + std::to_string(task), "SLURM_CPUS_PER_TASK="});
        ASSERT_EQ(t.exitCode, 0) << t.err;
        EXPECT_EQ(t.out, "m {}.obj|g{}.dx|l{}.txt|0.01|0.0|45|1|3.0|--seed|7|--no-collection|--frames|" + blocks[task] +
                             "|--jobs|1|");
    }
}

// Frames run locally equal `quorax` runs with the same seed; without a seed each frame prints its own, which redoes it
// exactly; a malformed grid fails its frame only.
TEST(SeriesLocal, FramesEqualQuoraxAndAFailingFrameStaysAlone) {
    TempDir dir;
    linkFrames(dir, 1, 4);
    fs::remove(dir.file("g3.dx"));
    dir.write("g3.dx", "object 1 class gridpositions counts 2 2\n");
    const std::string reference = referenceLines(7);
    const ProcessResult r =
        runSeries(dir, concat(positional("m{}.obj", "g{}.dx", "l{:02}.txt"), {"--frames", "1:4", "--jobs", "2", "--seed", "7"}));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    for (const char* name : {"l01.txt", "l02.txt", "l04.txt"}) EXPECT_EQ(dir.read(name), reference) << name;
    EXPECT_FALSE(dir.exists("l03.txt"));
    EXPECT_TRUE(has(r.out, "frame 3: FAILED (exit status 1)\n"));
    EXPECT_TRUE(std::regex_search(r.err, std::regex("frame 3: quorax: error: DX grid \"g3.dx\", line [0-9]+: .+\n")))
        << r.err;
    EXPECT_TRUE(has(r.out, "summary: 4 frames: 3 done, 0 skipped, 1 failed\n  failed: 3\n"));
    // No seed: each frame's printed seed gives its lines file again.
    const ProcessResult u =
        runSeries(dir, concat(positional("m{}.obj", "g{}.dx", "u{}.txt"), {"--frames", "1:2", "--jobs", "2"}));
    ASSERT_EQ(u.exitCode, 0) << u.err;
    const std::regex seedLine("frame ([0-9]+): done in [0-9.]+ s, seed ([0-9]+)\n");
    int seen = 0;
    for (auto it = std::sregex_iterator(u.out.begin(), u.out.end(), seedLine); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(dir.read(numbered("u", std::stoll((*it)[1]), ".txt")), referenceLines(static_cast<uint32_t>(std::stoul((*it)[2]))));
        ++seen;
    }
    EXPECT_EQ(seen, 2) << u.out;
}

// A run killed in the middle leaves complete outputs only; the next run
// skips them and does the rest; a newer input redoes its frame; --force all.
TEST(SeriesLocal, ResumesAfterAKilledRun) {
    TempDir dir;
    constexpr int kFrames = 12;
    linkFrames(dir, 1, kFrames);
    const std::string reference = referenceLines(3);
    const auto args = concat(positional("m{}.obj", "g{}.dx", "l{:02}.txt"),
                             {"--frames", "1:" + std::to_string(kFrames), "--jobs", "1", "--seed", "3"});
    pid_t pid = quorax::test::startProcess(kSeries, args, dir.path(), {"QUORAX_SEED="});
    waitForFile(dir, "l01.txt");
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    int complete = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename();
        if (name[0] == 'l') {
            EXPECT_EQ(quorax::test::readFile(entry.path()), reference) << name << " is whole";
            ++complete;
        }
    }
    ASSERT_GE(complete, 1);
    ProcessResult r = runSeries(dir, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "summary: 12 frames: " + std::to_string(kFrames - complete) + " done, " +
                               std::to_string(complete) + " skipped, 0 failed"));
    for (int i = 1; i <= kFrames; ++i) {
        const std::string name = (i < 10 ? "l0" : "l") + std::to_string(i) + ".txt";
        EXPECT_EQ(dir.read(name), reference) << name;
    }
    // A grid newer than its lines file redoes that frame alone.
    fs::remove(dir.file("g5.dx"));
    fs::copy_file(kExamples + "/fas2.dx", dir.file("g5.dx"));
    r = runSeries(dir, args);
    EXPECT_TRUE(has(r.out, "frame 5: done"));
    EXPECT_TRUE(has(r.out, "1 done, 11 skipped, 0 failed\n  skipped: 1-4, 6-12\n"));
    r = runSeries(dir, concat(args, {"--force"}));
    EXPECT_TRUE(has(r.out, "12 done, 0 skipped"));
    // Ctrl-C: the running frame ends, no new one starts, exit status 130.
    const auto interrupted = concat(positional("m{}.obj", "g{}.dx", "i{:02}.txt"),
                                    {"--frames", "1:" + std::to_string(kFrames), "--jobs", "1"});
    pid = quorax::test::startProcess(kSeries, interrupted, dir.path(), {"QUORAX_SEED="});
    waitForFile(dir, "i01.txt");
    ::kill(pid, SIGINT);
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_FALSE(dir.exists("i12.txt"));
}

// The printed commands, run by GNU parallel, write what the local mode writes; frames already done are not printed.
TEST(SeriesCommands, GnuParallelRunsThePrintedCommands) {
    if (::access("/usr/bin/parallel", X_OK) != 0) GTEST_SKIP() << "GNU parallel not installed (Debian package parallel)";
    TempDir dir;
    linkFrames(dir, 1, 3);
    const auto args = concat(positional("m{}.obj", "g{}.dx", "p{}.txt"), {"--frames", "1:3", "--seed", "11"});
    ASSERT_EQ(runSeries(dir, concat(positional("m{}.obj", "g{}.dx", "p{}.txt"), {"--frames", "2", "--seed", "11"})).exitCode, 0);
    const ProcessResult printed = runSeries(dir, concat(args, {"--print-commands"}));
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_FALSE(has(printed.out, "p2.txt")) << "frame 2 is up to date:\n" << printed.out;
    EXPECT_TRUE(has(printed.out, "QUORAX_SEED=11 " + kTool + " m1.obj g1.dx p1.txt 0.01 0.0 45 1 3.0\n"));
    dir.write("commands.txt", printed.out);
    const ProcessResult p = runProcess("/bin/sh", {"-c", "parallel --will-cite -j 2 < commands.txt"}, dir.path());
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const std::string reference = referenceLines(11);
    for (const char* name : {"p1.txt", "p2.txt", "p3.txt"}) EXPECT_EQ(dir.read(name), reference) << name;
}

// With .vtp outputs the series writes a collection of the frames that have their file, which VTK parses.
TEST(SeriesCollection, PvdListsTheFramesThatHaveTheirFile) {
    TempDir dir;
    linkFrames(dir, 0, 4);
    fs::remove(dir.file("m2.obj"));
    fs::create_directory(dir.file("out"));
    const ProcessResult r = runSeries(
        dir, concat(positional("m{}.obj", "g{}.dx", "out/lines_{:03}.vtp"), {"--frames", "0:4:2", "--seed", "1"}));
    EXPECT_EQ(r.exitCode, 1) << "frame 2 has no mesh";
    EXPECT_TRUE(has(r.out, "wrote collection out/lines.pvd (2 time steps)\n"));
    EXPECT_EQ(dir.read("out/lines.pvd"), "<?xml version=\"1.0\"?>\n"
                                         "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
                                         "  <Collection>\n"
                                         "    <DataSet timestep=\"0\" group=\"\" part=\"0\" file=\"lines_000.vtp\"/>\n"
                                         "    <DataSet timestep=\"4\" group=\"\" part=\"0\" file=\"lines_004.vtp\"/>\n"
                                         "  </Collection>\n"
                                         "</VTKFile>\n");
    // VTK's XML parser, as ParaView's collection reader uses it, finds the entries.
    const ProcessResult py = runProcess("/usr/bin/python3", {"-c", R"(import sys
from vtkmodules.vtkIOXMLParser import vtkXMLDataParser
p = vtkXMLDataParser()
p.SetFileName(sys.argv[1])
assert p.Parse() == 1
c = p.GetRootElement().GetNestedElement(0)
print([c.GetNestedElement(i).GetAttribute("file") for i in range(c.GetNumberOfNestedElements())]))", dir.file("out/lines.pvd")});
    EXPECT_EQ(py.out, "['lines_000.vtp', 'lines_004.vtp']\n") << py.err;
}
