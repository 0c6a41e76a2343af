#!/usr/bin/python3
"""Render a surface coloured by its potential, with field lines, to a PNG.

Usage: render_lines.py SURFACE.obj POTENTIAL.dx LINES.txt PICTURE.png [SIZE]

SURFACE.obj and POTENTIAL.dx as quorax-prepare writes them, LINES.txt as
quorax writes it. The surface is coloured by the potential sampled at its
vertices (red negative, white 0, blue positive, saturated at +-5 kT/e), the
lines are drawn in dark grey. The camera looks down -z at the whole surface.
Rendering is off screen through VTK (Debian package python3-vtk9); without
a display, run it under xvfb-run. SIZE is the picture's width and height in
pixels (default 1000).
"""
import sys

import numpy as np
import vtk
from vtk.util import numpy_support


def read_dx(path):
    """Counts, origin, spacing and values (z fastest) of an OpenDX grid."""
    counts = origin = None
    deltas = []
    values = []
    with open(path) as fh:
        for line in fh:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            if counts is None and "gridpositions" in words:
                counts = [int(w) for w in words[-3:]]
            elif words[0] == "origin":
                origin = [float(w) for w in words[1:4]]
            elif words[0] == "delta":
                deltas.append([float(w) for w in words[1:4]])
            elif words[0] in ("object", "attribute", "component"):
                if values:
                    break
            else:
                values.extend(float(w) for w in words)
    if counts is None or origin is None or len(deltas) != 3:
        raise ValueError(f"{path}: not an OpenDX grid")
    n = counts[0] * counts[1] * counts[2]
    if len(values) < n:
        raise ValueError(f"{path}: expected {n} values, found {len(values)}")
    spacing = [deltas[0][0], deltas[1][1], deltas[2][2]]
    return counts, origin, spacing, np.array(values[:n], dtype=np.float32)


def grid_image(path):
    counts, origin, spacing, values = read_dx(path)
    image = vtk.vtkImageData()
    image.SetDimensions(*counts)
    image.SetOrigin(*origin)
    image.SetSpacing(*spacing)
    # VTK runs x fastest; the file runs z fastest.
    ordered = values.reshape(counts).transpose(2, 1, 0).ravel()
    array = numpy_support.numpy_to_vtk(ordered.copy(), deep=True)
    array.SetName("potential")
    image.GetPointData().SetScalars(array)
    return image


def read_lines(path):
    points = vtk.vtkPoints()
    cells = vtk.vtkCellArray()
    current = []

    def flush():
        if len(current) > 1:
            cells.InsertNextCell(len(current))
            for i in current:
                cells.InsertCellPoint(i)
        current.clear()

    with open(path) as fh:
        for line in fh:
            if line.startswith("n"):
                flush()
            elif line.startswith("v "):
                current.append(points.InsertNextPoint(*map(float, line.split()[1:4])))
    flush()
    poly = vtk.vtkPolyData()
    poly.SetPoints(points)
    poly.SetLines(cells)
    return poly


def main(argv):
    if len(argv) not in (5, 6):
        sys.stderr.write(__doc__)
        return 2
    obj, dx, lines, png = argv[1:5]
    size = int(argv[5]) if len(argv) == 6 else 1000

    surface = vtk.vtkOBJReader()
    surface.SetFileName(obj)
    surface.Update()
    if surface.GetOutput().GetNumberOfPoints() == 0:
        sys.stderr.write(f"render_lines.py: {obj}: no surface\n")
        return 1
    normals = vtk.vtkPolyDataNormals()
    normals.SetInputConnection(surface.GetOutputPort())
    normals.SplittingOff()
    probe = vtk.vtkProbeFilter()
    probe.SetInputConnection(normals.GetOutputPort())
    probe.SetSourceData(grid_image(dx))

    colours = vtk.vtkColorTransferFunction()
    colours.AddRGBPoint(-5.0, 0.85, 0.1, 0.1)
    colours.AddRGBPoint(0.0, 1.0, 1.0, 1.0)
    colours.AddRGBPoint(5.0, 0.1, 0.2, 0.85)
    surface_mapper = vtk.vtkPolyDataMapper()
    surface_mapper.SetInputConnection(probe.GetOutputPort())
    surface_mapper.SetScalarModeToUsePointFieldData()
    surface_mapper.SelectColorArray("potential")
    surface_mapper.SetLookupTable(colours)
    surface_mapper.SetColorModeToMapScalars()
    surface_actor = vtk.vtkActor()
    surface_actor.SetMapper(surface_mapper)

    lines_mapper = vtk.vtkPolyDataMapper()
    lines_mapper.SetInputData(read_lines(lines))
    lines_actor = vtk.vtkActor()
    lines_actor.SetMapper(lines_mapper)
    lines_actor.GetProperty().SetColor(0.15, 0.15, 0.15)
    lines_actor.GetProperty().SetLineWidth(2.0)

    renderer = vtk.vtkRenderer()
    renderer.SetBackground(1.0, 1.0, 1.0)
    renderer.AddActor(surface_actor)
    renderer.AddActor(lines_actor)
    window = vtk.vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.SetSize(size, size)
    window.AddRenderer(renderer)
    renderer.ResetCamera()
    renderer.GetActiveCamera().Zoom(1.4)
    window.Render()

    shot = vtk.vtkWindowToImageFilter()
    shot.SetInput(window)
    shot.Update()
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(png)
    writer.SetInputConnection(shot.GetOutputPort())
    writer.Write()
    print(f"render_lines.py: wrote {png}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
