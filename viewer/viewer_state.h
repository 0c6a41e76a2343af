// Everything the viewer holds besides its widgets: the surfaces, the grids,
// the lines, the decorations, the camera and the automatic-mode arguments.
// The main window derives from it, so these are the window's own fields;
// the frame only reads them.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "field_line.h"
#include "grid.h"
#include "viewer_random.h"
#include "viewer_mesh.h"

namespace quorax {

struct ViewerState {
    int mouseButtonCode = 0;     // button and modifier code of the current drag
    bool mouseDragging = false;  // between press and release on the drawing panel
    float zoom = 1.0f;           // divisor of the model scale (the wheel changes it)

    FieldLine probeLine;                // the line of "calc probe line"
    std::vector<FieldLine> fieldLines;  // all traced lines
    bool linesReady = false;            // probeLine / fieldLines hold a result
    bool decorationsReady = false;      // decorations placed
    std::vector<Vec3> decorationPositions;  // base point of each arrow head
    std::vector<Vec3> decorationDirections; // unit direction of each arrow head
    std::vector<float> decorationSizes;     // length of each arrow head

    bool autoRun = false; // started with the eight pipeline arguments
    std::string argMeshFile, argGridFile, argLinesFile;
    float argDensity = 0.0f, argHaltGradient = 0.0f, argHaltAngle = 0.0f;
    bool argReduce = false;
    float argReduceAngle = 0.0f;

    PotentialGrid potentialGrid;
    GradientGrid gradientGrid;
    float facePowerMin = 0.0f, facePowerMax = 0.0f; // range of the face powers of "NEW POW LINES "
    ViewerMesh mesh;                                // the surface model
    std::array<ViewerMesh, 4> offsetMeshes;         // surfaces of off1 … off4

    // The window's one pseudo-random generator, shared by its seeding buttons
    // and its decorations; every window starts the same sequence.
    ViewerRandom randomGenerator;
    ViewerRandom& viewerRandom() { return randomGenerator; }
};

} // namespace quorax
