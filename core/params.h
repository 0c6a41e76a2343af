// Parameters of one pipeline run, shared by the console tool and the viewer's
// automatic mode, and the rules that turn the eight arguments into them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "integrate.h"
#include "tubes.h"

namespace quorax {

// Where the lines start.
enum class SeedingMode {
    Power, // faces chosen at random in proportion to area × |potential| (the default)
    Flux,  // lines in proportion to the field's flux through each face
};

struct PipelineParams {
    std::string meshPath;  // surface, OBJ (the viewer also takes PLY)
    std::string gridPath;  // potential, OpenDX
    std::string linesPath; // output lines file
    float density = 0.0f;      // lines per unit of surface power (eV/Å²)
    float haltGradient = 0.0f; // a line stops where the step is shorter than this
    float haltAngle = 0.0f;    // a line stops where it bends by more than this (degrees)
    bool reduce = false;       // simplify the lines before writing
    float reduceAngle = 0.0f;  // largest bend a removed point may have (degrees)
    bool debug = false;        // console tool: write the debug dumps
    // Further files written after the lines file, in this order, each in the
    // format its extension names (exportFormatFor).
    struct Export {
        ExportKind kind;
        std::string path;
    };
    std::vector<Export> exports;
    float tubeRadius = kDefaultTubeRadius; // radius of the tubes export, model units (Å)

    // Faithful lines. Without any of them the run is the default one.
    SeedingMode seeding = SeedingMode::Power;
    std::optional<double> fluxDensity;     // lines per unit of flux; default: `density`
    std::optional<Integrator> integrator;  // default: today's tracer, or Rk4 with the options below
    std::optional<double> step;            // integrator step; default: half the smallest spacing
    double tolerance = 1e-4;               // Rk45's largest position error per step
    bool stopAtSurface = false;            // a line ends where it meets the surface
    float minSeparation = 0.0f;            // lines kept at least this far apart (0: off)

    // True when the lines are traced by the integrators on the unsmoothed
    // field rather than by today's tracer on the smoothed gradient.
    bool faithfulTracing() const {
        return (integrator && *integrator != Integrator::Euler) || step || stopAtSurface || minSeparation > 0.0f;
    }
    // The integrator of a faithful trace: the one asked for, else Rk4.
    Integrator faithfulIntegrator() const { return integrator.value_or(Integrator::Rk4); }
};

enum class ArgumentRules {
    Console, // eight or more arguments; reduce is exactly "1"; a ninth "1" alone turns debug on
    Viewer,  // exactly eight arguments; reduce is any text whose number is not 0
};

// Number of positional arguments (the program name not counted).
constexpr int kPipelineArgumentCount = 8;

// Names of the eight arguments as the usage text gives them.
extern const char* const kArgumentNames[kPipelineArgumentCount];

// Fills `params` from `args` (the program name not included). The caller has
// checked the count. Numbers convert as C atof (text that is not a number
// reads as 0, conversion stops at the first character that cannot belong to
// a number); every numeric argument that is not entirely a number adds a
// warning naming the argument and the value it was read as.
void parsePipelineArguments(const std::vector<std::string>& args, ArgumentRules rules,
                            PipelineParams& params, std::vector<std::string>& warnings);

} // namespace quorax
