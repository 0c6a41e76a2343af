// The viewer's frame: fixed-function OpenGL state, projection, camera and the
// six scene layers. Everything here runs with a compatibility-profile context
// current and only reads the viewer's state.
#pragma once

#include <cstdint>

#include "trackball.h"
#include "viewer_state.h"

namespace quorax {

// Settings of the layers, read from the window's controls for every frame.
struct SceneControls {
    bool meshSolid = true;       // surface drawn ("solid"), or hidden
    bool drawGrid = true;        // grid points
    bool drawGradient = false;   // gradient vectors
    bool showLines = false;      // probe cross, probe line and field lines
    bool showDecorations = false;
    bool showOffsets = false;    // offset surfaces as point clouds
    bool surfaceColor = false;   // colour the surface by its electrostatic values
    bool showFacePower = false;  // colour the faces by their power
    float minPot = 5.0f, maxPot = 15.0f;          // ramp of the surface and the grid points
    float lowerG = 0.1f, upperG = 1000.0f;         // gradient lengths shown
    float haltGradient = 0.0f;                     // gradient tips below it are drawn orange
    bool slice = false;                            // gradient of one x slice at full density
    int sliceNum = 10;
    int probeX = 10, probeY = 10, probeZ = 10;     // node of the probe cross
    float lower = 5.0f, upper = 15.0f;             // offset values shown
    float lowerRamp = 5.0f, upperRamp = 15.0f;     // ramp of the offset values
    bool vertexArrays = true; // surface through client-side vertex arrays (the same picture as immediate mode)
};

// GL state set once when the context exists: clear colour, material, light 0,
// depth test, back-face culling, normalisation of normals, blend function.
void setupGlState();

// Viewport and a 30° perspective for a panel of width × height pixels. The
// aspect is always the larger side over the smaller.
void setupProjection(int width, int height);
double projectionAspect(double width, double height);

// Scale that fits the main mesh's bounding box into the view: (2 / diagonal) / zoom.
float sceneScale(const ViewerMesh& mesh, float zoom);

// Draws one frame (without swapping): background, camera from (3, 3, 3), the
// trackball, the normalisation to the mesh's box, then the layers in order.
void renderFrame(const ViewerState& state, const SceneControls& controls, TrackHand& trackball, int64_t nowMs);

// The layers, each drawn only when its switch holds (renderFrame checks them).
void drawSurface(const ViewerState& state, const SceneControls& c);
void drawGridPoints(const ViewerState& state, const SceneControls& c);
void drawGradient(const ViewerState& state, const SceneControls& c);
void drawLines(const ViewerState& state, const SceneControls& c);
void drawDecorations(const ViewerState& state);
void drawOffsetSurfaces(const ViewerState& state, const SceneControls& c);

// Colour ramps: white at t = 0, red (negative values) or blue (positive) at t = 1.
inline Vec3 redRamp(float t) { return {1.0f, 1.0f - t, 1.0f - t}; }
inline Vec3 blueRamp(float t) { return {1.0f - t, 1.0f - t, 1.0f}; }

// Colour of a surface vertex with value q under ramp limits lo, hi.
Vec3 surfaceValueColor(float q, float lo, float hi);

} // namespace quorax
