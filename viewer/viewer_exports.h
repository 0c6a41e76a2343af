// The viewer's "Export..." entry without its dialog: which file a chosen name
// asks for, and its content from the viewer's lines, grids and surface.
#pragma once

#include <optional>
#include <string>

#include "line_export.h"
#include "viewer_state.h"

namespace quorax {

struct ViewerExport {
    ExportKind kind;
    ExportFormat format;
};

// The export a file name asks for. The extension names the format; the kind
// is `filterKind` (the kind of the dialog's chosen filter) when it takes that
// extension, otherwise the only kind that does (.vtk lines, .stl tubes).
// An extension no kind takes gives nothing and `error` lists what is accepted.
std::optional<ViewerExport> viewerExportFor(const std::string& path, ExportKind filterKind, std::string& error);

// The file's content: the traced lines (all lines, or the probe line when
// only that was traced) with their potential, field strength and arc length
// from their first point (the viewer keeps no seeds) sampled in the loaded
// grids; the lines as tubes of `tubeRadius`; or the surface (faces not
// deleted) with its electrostatic value per vertex as "potential". False,
// with the reason in `error`, when there are no lines or no surface.
bool formatViewerExport(const ViewerState& state, ViewerExport e, float tubeRadius, std::string& content,
                        std::string& error);

} // namespace quorax
