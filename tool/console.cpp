#include "console.h"

#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <ctime>
#include <string_view>

#include "parallel.h"
#include "params.h"
#include "number_scan.h"
#include "pipeline.h"
#include "version.h"

namespace quorax {
namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out, "\ntoo few parameters\n");
    std::fprintf(out, "USAGE: quorax 3dmeshfilename DXfilenamne linesfilename linesdensity haltgradient "
                      "haltangle reduce reduceangle\n\n");
    static const char* const descriptions[kPipelineArgumentCount] = {
        "3d mesh to load, obj format",
        "potential grid, DX format",
        "output file name for lines, txt format",
        "lines density, as # of lines per Ev/squareAngstrom, float",
        "stop line if a gradient lower than this is found, float",
        "stop line if an angle larger than this is encountered, float",
        "simplify lines before exporting, 1=yes 0=no",
        "maxim angular change in simplification, float"};
    for (int i = 0; i < kPipelineArgumentCount; ++i)
        std::fprintf(out, "%-19s%s\n", kArgumentNames[i], descriptions[i]);
    std::fprintf(out, "\nEXAMPLE: quorax calmodulin.obj calmodulin_EP.DX output_lines.txt 0.01 0.0 45 1 3.0\n\n");
}

void printHelp(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorax 3dmeshfilename DXfilenamne linesfilename linesdensity haltgradient haltangle "
                 "reduce reduceangle [1] [OPTION]...\n"
                 "Trace the field lines of a potential grid from a molecular surface and write them to "
                 "linesfilename.\n\n");
    static const char* const descriptions[kPipelineArgumentCount] = {
        "surface to seed the lines on, OBJ",
        "potential grid, OpenDX",
        "output file of the lines (text: \"n\", then \"v x y z\" per point)",
        "lines per eV/square angstrom of surface power",
        "stop a line where its step is shorter than this (0: never)",
        "stop a line where it bends by more than this many degrees (90: never)",
        "1 simplifies the lines before writing them",
        "largest bend, in degrees, of a point the simplification removes"};
    for (int i = 0; i < kPipelineArgumentCount; ++i)
        std::fprintf(out, "  %-20s%s\n", kArgumentNames[i], descriptions[i]);
    std::fprintf(out, "  %-20s%s\n\nOptions (after the arguments above; each may be repeated):\n", "1",
                 "(ninth argument) also write saved.obj, saved_n.obj and seeds.obj to the current folder");
    for (const ConsoleOption& o : consoleOptions()) {
        std::string head = o.name;
        if (o.valueName) head += std::string(" ") + o.valueName;
        std::fprintf(out, "  %-20s%s\n", head.c_str(), o.help);
    }
    std::fprintf(out, "\nExit status: 0 when every file was written, 1 when an input cannot be read or an output "
                      "cannot be written (that file is left as it was), 255 for too few arguments.\n\n"
                      "Example: quorax calmodulin.obj calmodulin_EP.DX lines.txt 0.01 0.0 45 1 3.0 "
                      "--lines-out lines.vtp --tubes lines.stl\n");
}

void printVersion(std::FILE* out) {
    std::fprintf(out, "quorax %s\n", QUORAX_VERSION);
}

const ConsoleOption* findOption(std::string_view name) {
    for (const ConsoleOption& o : consoleOptions())
        if (name == o.name) return &o;
    return nullptr;
}

std::string optionList() {
    std::string text;
    for (const ConsoleOption& o : consoleOptions()) {
        if (!text.empty()) text += ", ";
        text += o.name;
        if (o.valueName) text += std::string(" ") + o.valueName;
    }
    return text;
}

// "--help" or "--version" anywhere among `args` but as the value of an
// option; returns the one found first, or nullptr.
const char* informationRequest(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "--version") return args[i] == "--help" ? "help" : "version";
        const ConsoleOption* o = i >= kPipelineArgumentCount ? findOption(args[i]) : nullptr;
        if (o && o->valueName) ++i; // skip the option's value
    }
    return nullptr;
}

// Reads the named options from args[first...] into `params`. On a mistake
// returns false with the message in `error`.
bool parseOptions(const std::vector<std::string>& args, std::size_t first, PipelineParams& params,
                  std::string& error) {
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            error = "unexpected argument \"" + arg + "\" among the options; accepted options: " + optionList();
            return false;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const ConsoleOption* o = findOption(name);
        if (!o) {
            error = "unknown option \"" + name + "\"; accepted options: " + optionList();
            return false;
        }
        if (!o->valueName) {
            if (eq != std::string::npos) {
                error = "option " + name + " takes no value";
                return false;
            }
            if (name == "--stop-at-surface") params.stopAtSurface = true;
            continue;
        }
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = "option " + name + " needs a value (" + o->valueName + ")";
            return false;
        }
        if (value.empty()) {
            error = "option " + name + " needs a value (" + o->valueName + ")";
            return false;
        }
        const std::string_view n = name;
        // A positive finite number, written whole.
        auto positive = [&](double& out) {
            std::ptrdiff_t used = 0;
            out = parseAtof(value.data(), value.data() + value.size(), &used);
            if (used != static_cast<std::ptrdiff_t>(value.size()) || !(out > 0.0) || !std::isfinite(out)) {
                error = "option " + name + " \"" + value + "\" is not a positive number";
                return false;
            }
            return true;
        };
        double number = 0.0;
        if (n == "--tube-radius" || n == "--flux-density" || n == "--step" || n == "--tolerance" ||
            n == "--min-separation") {
            if (!positive(number)) return false;
            if (n == "--tube-radius") params.tubeRadius = static_cast<float>(number);
            if (n == "--flux-density") params.fluxDensity = number;
            if (n == "--step") params.step = number;
            if (n == "--tolerance") params.tolerance = number;
            if (n == "--min-separation") params.minSeparation = static_cast<float>(number);
            continue;
        }
        if (n == "--seeding") {
            if (value != "power" && value != "flux") {
                error = "option --seeding \"" + value + "\": accepted: power or flux";
                return false;
            }
            params.seeding = value == "flux" ? SeedingMode::Flux : SeedingMode::Power;
            continue;
        }
        if (n == "--integrator") {
            if (value != "euler" && value != "rk4" && value != "rk45") {
                error = "option --integrator \"" + value + "\": accepted: euler, rk4 or rk45";
                return false;
            }
            params.integrator = value == "euler" ? Integrator::Euler
                                : value == "rk4" ? Integrator::Rk4
                                                 : Integrator::Rk45;
            continue;
        }
        const ExportKind kind = n == "--lines-out" ? ExportKind::Lines
                                : n == "--tubes"   ? ExportKind::Tubes
                                                   : ExportKind::Surface;
        if (!exportFormatFor(kind, value)) {
            error = "option " + name + " \"" + value + "\": unknown file extension; accepted: " +
                    acceptedExtensions(kind);
            return false;
        }
        for (const PipelineParams::Export& earlier : params.exports)
            if (earlier.path == value) {
                error = "option " + name + " \"" + value + "\": the file is already an output of an earlier option";
                return false;
            }
        params.exports.push_back({kind, value});
    }
    return true;
}

} // namespace

const std::vector<ConsoleOption>& consoleOptions() {
    static const std::vector<ConsoleOption> options = {
        {"--lines-out", "FILE", true,
         "also write the lines to FILE: .vtp (VTK XML), .vtk (legacy VTK), .obj (l polylines) or .ply (edges)"},
        {"--tubes", "FILE", true,
         "also write every line as a closed tube with an arrow head towards lower potential: .stl, .obj or .ply"},
        {"--tube-radius", "R", false, "radius of the tubes in the model's units (default 0.6 angstrom)"},
        {"--surface-out", "FILE", true,
         "also write the surface with the potential on every vertex: .vtp or .ply"},
        {"--seeding", "MODE", false,
         "power (default: faces at random in proportion to area x |potential|) or flux (lines in "
         "proportion to the field's flux through each face)"},
        {"--flux-density", "D", false, "with --seeding flux: lines per unit of flux (default: linesdensity)"},
        {"--integrator", "NAME", false,
         "rk4 or rk45 on the unsmoothed field, or euler (the smoothed-gradient tracer; fixed steps on the "
         "unsmoothed field with --step, --stop-at-surface or --min-separation); default: rk4 with those "
         "options, euler without"},
        {"--step", "H", false, "integrator step in the model's units (default: half the smallest grid spacing)"},
        {"--tolerance", "T", false, "with --integrator rk45: largest position error per step (default 1e-4)"},
        {"--stop-at-surface", nullptr, false, "end a line where it meets the molecular surface"},
        {"--min-separation", "D", false,
         "keep lines at least D apart: a line stops, or its seed is skipped, closer than D to an earlier one"},
        {"--help", nullptr, false, "print this help and exit"},
        {"--version", nullptr, false, "print the version and exit"},
    };
    return options;
}

uint32_t seedFromEnvironment(std::FILE* out, std::FILE* err) {
    const char* text = std::getenv("QUORAX_SEED");
    if (text && *text) {
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(text, &end, 10);
        if (errno == 0 && *end == '\0') return static_cast<uint32_t>(v);
        std::fflush(out);
        std::fprintf(err, "quorax: warning: QUORAX_SEED=\"%s\" is not an integer; the clock seeds the line seeding\n",
                     text);
    }
    return static_cast<uint32_t>(std::time(nullptr));
}

int runConsole(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               const ConsoleEnvironment& env) {
    if (const char* request = informationRequest(args)) {
        if (std::string_view(request) == "help")
            printHelp(out);
        else
            printVersion(out);
        std::fflush(out);
        return 0;
    }
    std::fprintf(out, "--- QUORAX --- Potential Lines Tool - V 2.0\n\n");
    if (static_cast<int>(args.size()) < kPipelineArgumentCount) {
        printUsage(out);
        return -1;
    }
    // The named options start at the first argument after the eighth that
    // begins with "--"; what lies between (the debug "1") keeps its meaning.
    std::size_t optionsStart = kPipelineArgumentCount;
    while (optionsStart < args.size() && args[optionsStart].rfind("--", 0) != 0) ++optionsStart;
    const std::vector<std::string> positional(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(optionsStart));
    PipelineParams params;
    std::vector<std::string> warnings;
    parsePipelineArguments(positional, ArgumentRules::Console, params, warnings);
    std::string optionError;
    if (!parseOptions(args, optionsStart, params, optionError)) {
        std::fflush(out);
        std::fprintf(err, "quorax: error: %s\n", optionError.c_str());
        return 1;
    }
    if (params.debug) std::fprintf(out, "\n DEBUG MODE \n\n");
    if (!warnings.empty()) {
        std::fflush(out);
        for (const std::string& w : warnings) std::fprintf(err, "quorax: warning: %s\n", w.c_str());
    }
    if (const std::string w = workerThreadsWarning(); !w.empty()) {
        std::fflush(out);
        std::fprintf(err, "quorax: warning: %s\n", w.c_str());
    }
    PipelineHooks hooks;
    hooks.generatorSeed = env.seed ? *env.seed : seedFromEnvironment(out, err);
    const int status = runPipeline(params, out, err, hooks);
    std::fflush(out);
    return status;
}

} // namespace quorax
