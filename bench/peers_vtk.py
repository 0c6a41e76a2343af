#!/usr/bin/python3
"""The field-line pipeline a VTK user would script: the DX grid into a
vtkImageData, vtkImageGradient, the surface through vtkOBJReader, and
vtkStreamTracer from SEEDS seeds at face centres of the surface (spread over
the faces in order), traced both ways with fourth-order Runge-Kutta.
Prints the wall time in seconds (reading included) on its last line.

Usage: peers_vtk.py MESH.obj GRID.dx SEEDS
"""
import sys
import time

import numpy as np
import vtk
from vtk.util import numpy_support


def read_dx(path):
    """OpenDX scalar grid (as APBS writes it) into a vtkImageData."""
    counts = origin = None
    deltas = []
    with open(path, "rb") as f:
        while True:
            line = f.readline()
            if not line:
                raise ValueError("no data in " + path)
            words = line.split()
            if not words or words[0].startswith(b"#"):
                continue
            if words[0] == b"object" and b"gridpositions" in words:
                counts = [int(w) for w in words[-3:]]
            elif words[0] == b"origin":
                origin = [float(w) for w in words[1:4]]
            elif words[0] == b"delta":
                deltas.append([float(w) for w in words[1:4]])
            elif words[0] == b"object" and b"data" in words and b"follows" in words:
                break
        n = counts[0] * counts[1] * counts[2]
        values = np.fromstring(f.read().split(b"attribute")[0], sep=" ", count=n, dtype=np.float32)
    image = vtk.vtkImageData()
    image.SetDimensions(*counts)
    image.SetOrigin(*origin)
    image.SetSpacing(deltas[0][0], deltas[1][1], deltas[2][2])
    # DX lists z fastest; VTK's point order is x fastest.
    ordered = values.reshape(counts).transpose(2, 1, 0).ravel()
    array = numpy_support.numpy_to_vtk(ordered, deep=True)
    array.SetName("potential")
    image.GetPointData().SetScalars(array)
    return image


start = time.perf_counter()
mesh_path, grid_path, seeds_wanted = sys.argv[1], sys.argv[2], int(sys.argv[3])
image = read_dx(grid_path)
gradient = vtk.vtkImageGradient()
gradient.SetDimensionality(3)
gradient.SetInputData(image)
gradient.Update()
field = gradient.GetOutput()
field.GetPointData().SetActiveVectors(field.GetPointData().GetArray(0).GetName())

reader = vtk.vtkOBJReader()
reader.SetFileName(mesh_path)
reader.Update()
surface = reader.GetOutput()
centers = vtk.vtkCellCenters()
centers.SetInputData(surface)
centers.Update()
all_centers = centers.GetOutput().GetPoints()
cells = all_centers.GetNumberOfPoints()
stride = max(1, cells // max(1, seeds_wanted))
seed_points = vtk.vtkPoints()
for i in range(0, cells, stride):
    if seed_points.GetNumberOfPoints() >= seeds_wanted:
        break
    seed_points.InsertNextPoint(all_centers.GetPoint(i))
seeds = vtk.vtkPolyData()
seeds.SetPoints(seed_points)

tracer = vtk.vtkStreamTracer()
tracer.SetInputData(field)
tracer.SetSourceData(seeds)
tracer.SetIntegratorTypeToRungeKutta4()
tracer.SetIntegrationDirectionToBoth()
tracer.SetMaximumPropagation(400.0)
tracer.SetInitialIntegrationStep(0.5)
tracer.SetIntegrationStepUnit(vtk.vtkStreamTracer.CELL_LENGTH_UNIT)
tracer.Update()
lines = tracer.GetOutput()
elapsed = time.perf_counter() - start
print("vtk stream tracer: %d seeds, %d lines, %d points"
      % (seed_points.GetNumberOfPoints(), lines.GetNumberOfCells(), lines.GetNumberOfPoints()))
print("%.6f" % elapsed)
