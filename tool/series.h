// quorax-series: the `quorax` command over a numbered series of frames.
// This header holds what the series needs besides running frames: file name
// patterns, the frame range, the command line, the resume rule, shell
// quoting, the SLURM job array script and the ParaView collection file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorax::series {

// A file name pattern: "{}" stands for the frame number, "{:0N}" for the
// number padded with zeros to N digits (1 ≤ N ≤ 9), "{{" and "}}" for
// literal braces. Anything else in braces is refused.
class Pattern {
public:
    // Parses `text`; on failure returns nothing and sets `error`.
    static std::optional<Pattern> parse(const std::string& text, std::string& error);

    std::string expand(int64_t frame) const;
    bool hasField() const { return fieldCount_ > 0; }
    const std::string& text() const { return text_; }
    // The folder before the first field ("" or ending in '/'), and the file
    // name of the pattern with its fields and the separators next to them
    // removed: "out/lines_{:04}.vtp" gives "out/" and "lines.vtp".
    std::pair<std::string, std::string> collectionName() const;

private:
    struct Piece {
        std::string literal; // text before the field
        int width = -1;      // -1: no field after the literal; 0: "{}"; N: "{:0N}"
    };
    std::string text_;
    std::vector<Piece> pieces_;
    int fieldCount_ = 0;
};

// FIRST:LAST[:STEP] (or a single frame N), LAST included, STEP ≥ 1.
struct FrameRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t step = 1;
    static std::optional<FrameRange> parse(const std::string& text, std::string& error);
    std::vector<int64_t> frames() const;
};

// A `quorax` option the series passes on to every frame, its value expanded
// per frame when it is a pattern.
struct ForwardedOption {
    std::string name; // with its leading "--"
    std::optional<Pattern> value;
    bool namesOutput = false;
};

// How the series passes on a `quorax` option it does not handle itself:
// whether the option takes a value (the next argument, or after "=") and
// whether that value names an output file, which the resume rule checks and
// the collection file lists. For now every such option takes a value, and
// those ending in "-out" and --tubes name outputs.
struct ForwardRule {
    bool takesValue = true;
    bool namesOutput = false;
};
ForwardRule forwardRule(const std::string& name);

struct SeriesOptions {
    std::vector<Pattern> inputs;        // mesh and grid patterns
    Pattern lines;                      // lines file pattern
    std::vector<std::string> numbers;   // the five numbers and flags, as given
    std::vector<ForwardedOption> forwarded;
    FrameRange frames;
    unsigned jobs = 0;                  // 0: the number of usable cores
    std::optional<uint32_t> seed;       // --seed, else QUORAX_SEED
    bool force = false;
    bool verbose = false;
    std::string slurmScript;            // empty: no job array
    bool submit = false;
    int64_t perTask = 1;
    bool printCommands = false;
    bool collections = true;            // write .pvd files (not in job array tasks)
};

enum class ParseOutcome { Run, Help, Version, Error };

// Parses the command line (the program name not included). `seedEnv` is the
// value of QUORAX_SEED (nullptr when unset). On Error, `error` says why.
ParseOutcome parseSeriesArguments(const std::vector<std::string>& args, const char* seedEnv,
                                  SeriesOptions& options, std::string& error);

// The usage text of --help.
std::string usageText();

// One frame of the series: the `quorax` arguments (the eight positional ones
// and the forwarded options) and the files the resume rule looks at.
struct Frame {
    int64_t number = 0;
    std::vector<std::string> args;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

Frame makeFrame(const SeriesOptions& options, int64_t number);

// Resume rule: true when every output exists and each is newer than every
// input that exists. Inputs that are missing never make a frame up to date.
bool frameUpToDate(const Frame& frame);

// Quotes `word` for a POSIX shell: unchanged when it holds only characters
// that need no quoting, else in single quotes.
std::string shellQuote(const std::string& word);

// A POSIX shell command that runs one frame with `quorax` at `quoraxPath`
// with the given seed.
std::string frameCommand(const std::string& quoraxPath, const Frame& frame, uint32_t seed);

// The text of a SLURM batch script with one array task per block of
// `perTask` frames; every task runs `seriesPath` on its own frames with the
// same options (so the same resume rule), `workDir` being the folder the
// relative paths are relative to.
std::string slurmScript(const SeriesOptions& options, const std::string& seriesPath, const std::string& workDir);

// Number of array tasks for the frames of `options`.
int64_t slurmTaskCount(const SeriesOptions& options);

// A ParaView collection file: one time step per frame (the frame number),
// file names relative to the folder of the collection file.
struct Collection {
    std::string path; // where the .pvd goes
    std::vector<std::pair<int64_t, std::string>> entries; // frame, file name
};
std::string collectionText(const Collection& collection);

// The collections of a series: one per output pattern ending in ".vtp",
// listing `frames` in order. "out/lines_{:04}.vtp" gives "out/lines.pvd".
std::vector<Collection> collectionsFor(const SeriesOptions& options, const std::vector<int64_t>& frames);

} // namespace quorax::series
