#!/usr/bin/python3
"""Renders the README's pictures of the exports with VTK: the lines (.vtp)
coloured by potential over the surface, and the printable tubes (.stl).

usage: export_screenshots.py QUORAX EXAMPLES_DIR DOCS_DIR   (run under xvfb-run)
"""
import os
import subprocess
import sys
import tempfile

import vtk

tool, examples, docs = sys.argv[1:4]


def reader(cls, path):
    r = cls()
    r.SetFileName(path)
    r.Update()
    return r


def potential_colours(low, high):
    """Red for negative, white at zero, blue for positive potential."""
    ctf = vtk.vtkColorTransferFunction()
    ctf.AddRGBPoint(low, 0.8, 0.1, 0.1)
    ctf.AddRGBPoint(0.0, 0.95, 0.95, 0.95)
    ctf.AddRGBPoint(high, 0.1, 0.2, 0.85)
    return ctf


def render(actors, path, scalar_bar=None):
    renderer = vtk.vtkRenderer()
    renderer.SetBackground(1, 1, 1)
    for a in actors:
        renderer.AddActor(a)
    if scalar_bar:
        renderer.AddActor2D(scalar_bar)
    window = vtk.vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.SetSize(900, 700)
    window.AddRenderer(renderer)
    renderer.ResetCamera()
    renderer.GetActiveCamera().Elevation(20)
    renderer.GetActiveCamera().Azimuth(30)
    renderer.GetActiveCamera().Zoom(1.3)
    window.Render()
    grab = vtk.vtkWindowToImageFilter()
    grab.SetInput(window)
    grab.Update()
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(path)
    writer.SetInputConnection(grab.GetOutputPort())
    writer.Write()
    print("wrote", path)


with tempfile.TemporaryDirectory() as work:
    subprocess.run([tool, os.path.join(examples, "fas2.obj"), os.path.join(examples, "fas2.dx"), "lines.txt",
                    "0.01", "0.0", "45", "1", "3.0", "--lines-out", "lines.vtp", "--surface-out", "surface.vtp",
                    "--tubes", "tubes.stl"], cwd=work, env=dict(os.environ, QUORAX_SEED="42"), check=True,
                   stdout=subprocess.DEVNULL)
    lines = reader(vtk.vtkXMLPolyDataReader, os.path.join(work, "lines.vtp")).GetOutput()
    surface = reader(vtk.vtkXMLPolyDataReader, os.path.join(work, "surface.vtp")).GetOutput()
    limit = 20.0  # the surface's potential spans about ±30 kT/e; the lines reach further inside
    colours = potential_colours(-limit, limit)

    lines_mapper = vtk.vtkPolyDataMapper()
    lines_mapper.SetInputData(lines)
    lines_mapper.SetScalarModeToUsePointFieldData()
    lines_mapper.SelectColorArray("potential")
    lines_mapper.SetLookupTable(colours)
    lines_mapper.UseLookupTableScalarRangeOn()
    lines_actor = vtk.vtkActor()
    lines_actor.SetMapper(lines_mapper)
    lines_actor.GetProperty().SetLineWidth(2.5)
    lines_actor.GetProperty().SetRenderLinesAsTubes(1)

    surface_mapper = vtk.vtkPolyDataMapper()
    surface_mapper.SetInputData(surface)
    surface_mapper.SetScalarModeToUsePointFieldData()
    surface_mapper.SelectColorArray("potential")
    surface_mapper.SetLookupTable(colours)
    surface_mapper.UseLookupTableScalarRangeOn()
    surface_actor = vtk.vtkActor()
    surface_actor.SetMapper(surface_mapper)
    surface_actor.GetProperty().SetOpacity(0.35)

    bar = vtk.vtkScalarBarActor()
    bar.SetLookupTable(colours)
    bar.SetTitle("potential")
    bar.SetNumberOfLabels(5)
    bar.GetTitleTextProperty().SetColor(0, 0, 0)
    bar.GetLabelTextProperty().SetColor(0, 0, 0)
    bar.SetWidth(0.08)
    render([surface_actor, lines_actor], os.path.join(docs, "export-lines-vtp.png"), bar)

    tubes = reader(vtk.vtkSTLReader, os.path.join(work, "tubes.stl")).GetOutput()
    normals = vtk.vtkPolyDataNormals()
    normals.SetInputData(tubes)
    normals.SetFeatureAngle(50)
    tubes_mapper = vtk.vtkPolyDataMapper()
    tubes_mapper.SetInputConnection(normals.GetOutputPort())
    tubes_actor = vtk.vtkActor()
    tubes_actor.SetMapper(tubes_mapper)
    tubes_actor.GetProperty().SetColor(0.85, 0.55, 0.2)
    tubes_actor.GetProperty().SetSpecular(0.3)
    render([tubes_actor], os.path.join(docs, "export-tubes-stl.png"))
