#include "series.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "console.h"
#include "params.h"

namespace quorax::series {
namespace {

// Largest number of frames of one series (the frame list is held in memory).
constexpr int64_t kMaxFrames = 10000000;

// Parses a whole decimal integer (no sign) into `v`.
bool parseCount(const std::string& text, int64_t& v) {
    if (text.empty() || text.size() > 15) return false;
    v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

// A seed as QUORAX_SEED takes it: a whole decimal integer, taken modulo 2³².
bool parseSeed(const std::string& text, uint32_t& seed) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    seed = static_cast<uint32_t>(v);
    return true;
}

bool fileTime(const std::string& path, struct timespec& t) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    t = st.st_mtim;
    return true;
}

bool earlier(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

std::string xmlEscape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
        case '&': r += "&amp;"; break;
        case '<': r += "&lt;"; break;
        case '>': r += "&gt;"; break;
        case '"': r += "&quot;"; break;
        default: r += c;
        }
    }
    return r;
}

bool endsWith(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = s[s.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

} // namespace

// Appends a blank and the shell-quoted word.
static void appendWord(std::string& command, const std::string& word) {
    command += ' ';
    command += shellQuote(word);
}

std::optional<Pattern> Pattern::parse(const std::string& text, std::string& error) {
    Pattern p;
    p.text_ = text;
    Piece piece;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '}' && i + 1 < text.size() && text[i + 1] == '}') {
            piece.literal += '}';
            ++i;
        } else if (c == '{' && i + 1 < text.size() && text[i + 1] == '{') {
            piece.literal += '{';
            ++i;
        } else if (c == '{') {
            const std::size_t close = text.find('}', i);
            const std::string field = close == std::string::npos ? text.substr(i) : text.substr(i, close - i + 1);
            int width = -1;
            if (field == "{}") {
                width = 0;
            } else if (field.size() == 5 && field.compare(0, 3, "{:0") == 0 && field[3] >= '1' &&
                       field[3] <= '9' && field[4] == '}') {
                width = field[3] - '0';
            }
            if (width < 0) {
                error = "pattern \"" + text + "\": \"" + field + "\" is not a frame number field; use {} or {:04}";
                return std::nullopt;
            }
            piece.width = width;
            p.pieces_.push_back(piece);
            piece = Piece();
            ++p.fieldCount_;
            i = close;
        } else if (c == '}') {
            error = "pattern \"" + text + "\": a lone \"}\" (write \"}}\" for a brace)";
            return std::nullopt;
        } else {
            piece.literal += c;
        }
    }
    p.pieces_.push_back(piece);
    return p;
}

std::string Pattern::expand(int64_t frame) const {
    std::string r;
    for (const Piece& piece : pieces_) {
        r += piece.literal;
        if (piece.width < 0) continue;
        std::string digits = std::to_string(frame);
        if (static_cast<int>(digits.size()) < piece.width) digits.insert(0, piece.width - digits.size(), '0');
        r += digits;
    }
    return r;
}

std::pair<std::string, std::string> Pattern::collectionName() const {
    // The pattern with every field replaced by one marker character.
    const char kMarker = '\x01';
    std::string marked;
    for (const Piece& piece : pieces_) {
        marked += piece.literal;
        if (piece.width >= 0) marked += kMarker;
    }
    const std::size_t firstField = marked.find(kMarker);
    const std::size_t folderEnd = marked.rfind('/', firstField == std::string::npos ? marked.size() : firstField);
    const std::string folder = folderEnd == std::string::npos ? "" : marked.substr(0, folderEnd + 1);
    const std::size_t nameStart = marked.rfind('/');
    std::string name = nameStart == std::string::npos ? marked : marked.substr(nameStart + 1);
    // Drop each field with one separator next to it: "lines_{}.vtp" and
    // "{}_lines.vtp" both name the collection "lines".
    for (std::size_t at; (at = name.find(kMarker)) != std::string::npos;) {
        std::size_t from = at, to = at + 1;
        const std::string left = "_-. ", right = "_- ";
        if (at > 0 && left.find(name[at - 1]) != std::string::npos)
            --from;
        else if (to < name.size() && right.find(name[to]) != std::string::npos)
            ++to;
        name.erase(from, to - from);
    }
    if (name.empty() || name[0] == '.') name.insert(0, "series");
    return {folder, name};
}

std::optional<FrameRange> FrameRange::parse(const std::string& text, std::string& error) {
    FrameRange r;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    const std::string form = "--frames \"" + text + "\": ";
    if (parts.size() > 3) {
        error = form + "expected FIRST:LAST or FIRST:LAST:STEP";
        return std::nullopt;
    }
    int64_t v[3] = {0, 0, 1};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parseCount(parts[i], v[i])) {
            error = form + "\"" + parts[i] + "\" is not a frame number (a whole number, 0 or more)";
            return std::nullopt;
        }
    }
    r.first = v[0];
    r.last = parts.size() == 1 ? v[0] : v[1];
    r.step = v[2];
    if (r.step < 1) {
        error = form + "the step must be 1 or more";
        return std::nullopt;
    }
    if (r.last < r.first) {
        error = form + "the last frame comes before the first";
        return std::nullopt;
    }
    if ((r.last - r.first) / r.step >= kMaxFrames) {
        error = form + "more than " + std::to_string(kMaxFrames) + " frames";
        return std::nullopt;
    }
    return r;
}

std::vector<int64_t> FrameRange::frames() const {
    std::vector<int64_t> r;
    for (int64_t f = first; f <= last; f += step) r.push_back(f);
    return r;
}

ForwardRule forwardRule(const std::string& name) {
    // quorax's own table says which options take a value and which name a
    // file the run writes; an option it does not know is passed on with a
    // value, and quorax refuses it with its list of options.
    ForwardRule r;
    r.takesValue = true;
    for (const ConsoleOption& o : consoleOptions())
        if (name == o.name) {
            r.takesValue = o.valueName != nullptr;
            r.namesOutput = o.outputFile;
        }
    return r;
}

std::string usageText() {
    return "Usage: quorax-series MESH_PATTERN GRID_PATTERN LINES_PATTERN linesdensity haltgradient haltangle "
           "reduce reduceangle --frames FIRST:LAST[:STEP] [OPTION]...\n"
           "\n"
           "Runs quorax once per frame. In a pattern, {} stands for the frame number and {:04}\n"
           "for the number padded with zeros to 4 digits. The five numbers mean what they mean\n"
           "for quorax.\n"
           "\n"
           "  --frames FIRST:LAST[:STEP]  frames to run, LAST included (default STEP 1)\n"
           "  --jobs N                    frames at once (default: the number of cores)\n"
           "  --seed S                    seed of every frame (default: QUORAX_SEED; without\n"
           "                              either, each frame gets its own seed, printed)\n"
           "  --force                     run every frame, even those whose outputs are up to date\n"
           "  --verbose                   print each frame's progress lines\n"
           "  --print-commands            print a shell command for each frame that is not up\n"
           "                              to date, run nothing\n"
           "  --slurm SCRIPT              write a SLURM job array script, run nothing\n"
           "  --submit                    with --slurm: submit the script with sbatch\n"
           "  --per-task K                with --slurm: K frames per array task (default 1)\n"
           "  --no-collection             write no .pvd collection (the job array's tasks)\n"
           "  --help                      this text\n"
           "  --version                   print the version and exit\n"
           "\n"
           "Every other option is one of quorax's (see quorax --help), passed on to each\n"
           "frame with {} expanded in its value; the files those options write are outputs\n"
           "of the frame.\n"
           "A frame is skipped when all its outputs exist and are newer than its inputs.\n"
           "Outputs ending in .vtp get a ParaView collection (.pvd) of the series.\n"
           "Exit status: 0 when every frame was done or skipped, 1 when a frame failed,\n"
           "2 for a command line error, 130 when interrupted.\n";
}

ParseOutcome parseSeriesArguments(const std::vector<std::string>& args, const char* seedEnv,
                                  SeriesOptions& o, std::string& error) {
    std::vector<std::string> positional;
    std::optional<std::string> frames;
    bool perTaskGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            if (a == "-h") return ParseOutcome::Help;
            positional.push_back(a);
            continue;
        }
        std::string name = a;
        std::optional<std::string> value;
        if (const std::size_t eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        }
        if (name == "--help") return ParseOutcome::Help;
        if (name == "--version") return ParseOutcome::Version;
        const bool flag = name == "--force" || name == "--submit" || name == "--print-commands" ||
                          name == "--verbose" || name == "--no-collection";
        if (flag) {
            if (value) {
                error = name + " takes no value";
                return ParseOutcome::Error;
            }
            if (name == "--force") o.force = true;
            if (name == "--submit") o.submit = true;
            if (name == "--print-commands") o.printCommands = true;
            if (name == "--verbose") o.verbose = true;
            if (name == "--no-collection") o.collections = false;
            continue;
        }
        const bool ours = name == "--frames" || name == "--jobs" || name == "--seed" || name == "--slurm" ||
                          name == "--per-task";
        const ForwardRule rule = forwardRule(name);
        if (!ours && !rule.takesValue) {
            if (value) {
                error = name + " takes no value";
                return ParseOutcome::Error;
            }
            o.forwarded.push_back({name, std::nullopt, false});
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return ParseOutcome::Error;
            }
            value = args[++i];
        }
        int64_t n = 0;
        if (name == "--frames") {
            frames = *value;
        } else if (name == "--jobs") {
            if (!parseCount(*value, n) || n < 1 || n > 4096) {
                error = "--jobs \"" + *value + "\": expected a whole number from 1 to 4096";
                return ParseOutcome::Error;
            }
            o.jobs = static_cast<unsigned>(n);
        } else if (name == "--seed") {
            uint32_t s = 0;
            if (!parseSeed(*value, s)) {
                error = "--seed \"" + *value + "\": expected an integer";
                return ParseOutcome::Error;
            }
            o.seed = s;
        } else if (name == "--slurm") {
            if (value->empty()) {
                error = "--slurm needs a script file name";
                return ParseOutcome::Error;
            }
            o.slurmScript = *value;
        } else if (name == "--per-task") {
            if (!parseCount(*value, n) || n < 1) {
                error = "--per-task \"" + *value + "\": expected a whole number, 1 or more";
                return ParseOutcome::Error;
            }
            o.perTask = n;
            perTaskGiven = true;
        } else {
            auto pattern = Pattern::parse(*value, error);
            if (!pattern) return ParseOutcome::Error;
            ForwardedOption f{name, *pattern, rule.namesOutput};
            if (f.namesOutput && !pattern->hasField()) {
                error = name + " \"" + *value + "\" has no {} field: every frame would write the same file";
                return ParseOutcome::Error;
            }
            o.forwarded.push_back(f);
        }
    }
    if (positional.size() != static_cast<std::size_t>(kPipelineArgumentCount)) {
        error = positional.size() < static_cast<std::size_t>(kPipelineArgumentCount)
                    ? "expected 8 arguments (MESH_PATTERN GRID_PATTERN LINES_PATTERN linesdensity haltgradient "
                      "haltangle reduce reduceangle), got " + std::to_string(positional.size())
                    : "unexpected argument \"" + positional[kPipelineArgumentCount] +
                          "\" after the eight arguments (quorax's debug dumps are not available in a series)";
        return ParseOutcome::Error;
    }
    for (int i = 0; i < 3; ++i) {
        auto pattern = Pattern::parse(positional[i], error);
        if (!pattern) return ParseOutcome::Error;
        if (i < 2)
            o.inputs.push_back(*pattern);
        else
            o.lines = *pattern;
    }
    if (!o.lines.hasField()) {
        error = "LINES_PATTERN \"" + o.lines.text() + "\" has no {} field: every frame would write the same file";
        return ParseOutcome::Error;
    }
    o.numbers.assign(positional.begin() + 3, positional.end());
    if (!frames) {
        error = "--frames FIRST:LAST[:STEP] is missing";
        return ParseOutcome::Error;
    }
    auto range = FrameRange::parse(*frames, error);
    if (!range) return ParseOutcome::Error;
    o.frames = *range;
    if (o.submit && o.slurmScript.empty()) {
        error = "--submit needs --slurm SCRIPT";
        return ParseOutcome::Error;
    }
    if (perTaskGiven && o.slurmScript.empty()) {
        error = "--per-task needs --slurm SCRIPT";
        return ParseOutcome::Error;
    }
    if (!o.slurmScript.empty() && o.printCommands) {
        error = "--slurm and --print-commands exclude each other";
        return ParseOutcome::Error;
    }
    if (!o.seed && seedEnv && *seedEnv) {
        uint32_t s = 0;
        if (!parseSeed(seedEnv, s)) {
            error = std::string("QUORAX_SEED=\"") + seedEnv + "\" is not an integer";
            return ParseOutcome::Error;
        }
        o.seed = s;
    }
    return ParseOutcome::Run;
}

Frame makeFrame(const SeriesOptions& o, int64_t number) {
    Frame f;
    f.number = number;
    for (const Pattern& p : o.inputs) {
        f.args.push_back(p.expand(number));
        f.inputs.push_back(f.args.back());
    }
    f.args.push_back(o.lines.expand(number));
    f.outputs.push_back(f.args.back());
    f.args.insert(f.args.end(), o.numbers.begin(), o.numbers.end());
    for (const ForwardedOption& option : o.forwarded) {
        f.args.push_back(option.name);
        if (!option.value) continue;
        f.args.push_back(option.value->expand(number));
        if (option.namesOutput) f.outputs.push_back(f.args.back());
    }
    return f;
}

bool frameUpToDate(const Frame& frame) {
    struct timespec newestInput {};
    for (const std::string& in : frame.inputs) {
        struct timespec t {};
        if (!fileTime(in, t)) return false;
        if (earlier(newestInput, t)) newestInput = t;
    }
    for (const std::string& out : frame.outputs) {
        struct timespec t {};
        if (!fileTime(out, t) || !earlier(newestInput, t)) return false;
    }
    return true;
}

std::string shellQuote(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "_-+=/.,:@%") == std::string::npos)
        return word;
    std::string r = "'";
    for (char c : word) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

std::string frameCommand(const std::string& quoraxPath, const Frame& frame, uint32_t seed) {
    std::string r = "QUORAX_SEED=" + std::to_string(seed);
    appendWord(r, quoraxPath);
    for (const std::string& a : frame.args) appendWord(r, a);
    return r;
}

int64_t slurmTaskCount(const SeriesOptions& o) {
    const int64_t frames = static_cast<int64_t>(o.frames.frames().size());
    return (frames + o.perTask - 1) / o.perTask;
}

std::string slurmScript(const SeriesOptions& o, const std::string& seriesPath, const std::string& workDir) {
    const int64_t tasks = slurmTaskCount(o);
    const std::string first = std::to_string(o.frames.first), step = std::to_string(o.frames.step),
                      perTask = std::to_string(o.perTask);
    // The last frame the range really reaches, so that the last block ends there.
    const int64_t lastFrame = o.frames.first + (o.frames.last - o.frames.first) / o.frames.step * o.frames.step;
    const std::string last = std::to_string(lastFrame);
    std::string command = shellQuote(seriesPath);
    for (const Pattern& p : o.inputs) appendWord(command, p.text());
    appendWord(command, o.lines.text());
    for (const std::string& n : o.numbers) appendWord(command, n);
    for (const ForwardedOption& f : o.forwarded) {
        appendWord(command, f.name);
        if (f.value) appendWord(command, f.value->text());
    }
    if (o.seed) command += " --seed " + std::to_string(*o.seed);
    if (o.force) command += " --force";
    if (o.verbose) command += " --verbose";
    command += " --no-collection"; // tasks see only their block: the whole series writes it
    command += " \\\n    --frames \"$first:$last:" + step + "\" --jobs \"${SLURM_CPUS_PER_TASK:-1}\"";

    std::string s;
    s += "#!/bin/bash\n";
    s += "#SBATCH --job-name=quorax-series\n";
    s += "#SBATCH --array=0-" + std::to_string(tasks - 1) + "\n";
    s += "#SBATCH --ntasks=1\n";
    s += "#SBATCH --cpus-per-task=1\n";
    s += "# quorax-series job array: frames " + first + " to " + last + " step " + step + ", " + perTask +
         " per task, " + std::to_string(tasks) + " tasks.\n";
    s += "# Each task runs quorax-series on its own frames, skipping those whose outputs\n";
    s += "# are up to date. Submit with: sbatch [sbatch options] SCRIPT\n";
    s += "set -eu\n";
    s += "cd " + shellQuote(workDir) + "\n";
    s += "first=$((" + first + " + SLURM_ARRAY_TASK_ID * " + perTask + " * " + step + "))\n";
    s += "last=$((first + (" + perTask + " - 1) * " + step + "))\n";
    s += "if [ \"$last\" -gt " + last + " ]; then last=" + last + "; fi\n";
    s += "exec " + command + "\n";
    return s;
}

std::string collectionText(const Collection& c) {
    std::string s = "<?xml version=\"1.0\"?>\n"
                    "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
                    "  <Collection>\n";
    for (const auto& [frame, file] : c.entries)
        s += "    <DataSet timestep=\"" + std::to_string(frame) + "\" group=\"\" part=\"0\" file=\"" +
             xmlEscape(file) + "\"/>\n";
    s += "  </Collection>\n</VTKFile>\n";
    return s;
}

std::vector<Collection> collectionsFor(const SeriesOptions& o, const std::vector<int64_t>& frames) {
    std::vector<const Pattern*> outputs{&o.lines};
    for (const ForwardedOption& f : o.forwarded)
        if (f.namesOutput) outputs.push_back(&*f.value);
    std::vector<Collection> r;
    for (const Pattern* p : outputs) {
        if (!endsWith(p->text(), ".vtp")) continue;
        const auto [folder, name] = p->collectionName();
        Collection c;
        c.path = folder + name.substr(0, name.size() - 4) + ".pvd";
        for (int64_t frame : frames) c.entries.emplace_back(frame, p->expand(frame).substr(folder.size()));
        r.push_back(std::move(c));
    }
    return r;
}

} // namespace quorax::series
