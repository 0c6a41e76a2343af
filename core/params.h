// Parameters of one pipeline run, shared by the console tool and the viewer's
// automatic mode, and the rules that turn the eight arguments into them.
#pragma once

#include <string>
#include <vector>

#include "tubes.h"

namespace quorax {

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
