#!/usr/bin/python3
"""Runs quorax with every export on the bundled example and lets real readers
judge the files: VTK's XML and legacy polydata readers, its PLY, STL and OBJ
readers, and admesh for the closedness of the tubes.

usage: check_exports.py QUORAX EXAMPLES_DIR ADMESH
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

import vtk

tool, examples, admesh = sys.argv[1:4]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def read(reader_class, path):
    reader = reader_class()
    reader.SetFileName(path)
    reader.Update()
    return reader.GetOutput()


def arrays(data):
    return {data.GetArrayName(i): data.GetArray(i) for i in range(data.GetNumberOfArrays())}


def run(folder, extra):
    args = [tool, os.path.join(examples, "fas2.obj"), os.path.join(examples, "fas2.dx"), "lines.txt",
            "0.01", "0.0", "45", "1", "3.0"] + extra
    result = subprocess.run(args, cwd=folder, env=dict(os.environ, QUORAX_SEED="3"), capture_output=True, text=True)
    check(result.returncode == 0, f"quorax exit {result.returncode}: {result.stderr}")
    return result


outputs = ["--lines-out", "l.vtp", "--lines-out", "l.vtk", "--lines-out", "l.obj", "--lines-out", "l.ply",
           "--tubes", "t.stl", "--tubes", "t.obj", "--tubes=t.ply", "--surface-out", "s.vtp",
           "--surface-out", "s.ply"]

with tempfile.TemporaryDirectory() as a:
    run(a, outputs)
    f = lambda name: os.path.join(a, name)
    # The lines as the lines file lists them (the exported order).
    lines = []
    for row in open(f("lines.txt")):
        if row.startswith("n"):
            lines.append([])
        else:
            lines[-1].append(tuple(float(x) for x in row.split()[1:]))
    n_points = sum(len(l) for l in lines)
    flat = [p for l in lines for p in l]
    print(f"{len(lines)} lines, {n_points} points")

    # VTK XML and legacy polydata: counts, coordinates, arrays.
    for reader_class, name in [(vtk.vtkXMLPolyDataReader, "l.vtp"), (vtk.vtkPolyDataReader, "l.vtk")]:
        data = read(reader_class, f(name))
        check(data.GetNumberOfPoints() == n_points, f"{name}: {data.GetNumberOfPoints()} points")
        check(data.GetNumberOfLines() == len(lines), f"{name}: {data.GetNumberOfLines()} lines")
        points = arrays(data.GetPointData())
        cells = arrays(data.GetCellData())
        for array in ["potential", "field_strength", "arc_length"]:
            check(array in points and points[array].GetNumberOfTuples() == n_points, f"{name}: point array {array}")
        for array in ["line_index", "stop_reason_start", "stop_reason_end"]:
            check(array in cells and cells[array].GetNumberOfTuples() == len(lines), f"{name}: cell array {array}")
        if failures:
            continue
        worst = max(abs(a - b) for i in range(0, n_points, 7) for a, b in zip(data.GetPoint(i), flat[i]))
        check(worst < 1e-5, f"{name}: points differ from the lines file by {worst}")
        # Each cell is one line of the lines file, in its order (the values themselves are the unit tests').
        cell_points = vtk.vtkIdList()
        data.GetLines().InitTraversal()
        for index, line in enumerate(lines):
            data.GetLines().GetNextCell(cell_points)
            check(cell_points.GetNumberOfIds() == len(line), f"{name}: line {index} length")
            check(cells["line_index"].GetValue(index) == index, f"{name}: line_index of line {index}")

    # PLY lines: VTK's PLY reader loads the vertices; the edge element is
    # counted from the header and its first pair read back.
    data = read(vtk.vtkPLYReader, f("l.ply"))
    check(data.GetNumberOfPoints() == n_points, f"l.ply: {data.GetNumberOfPoints()} points")
    raw = open(f("l.ply"), "rb").read()
    header = raw[:raw.index(b"end_header\n") + 11].decode()
    edges = int(re.search(r"element edge (\d+)", header).group(1))
    check(edges == n_points - len(lines), f"l.ply: {edges} edges")
    check(struct.unpack_from("<ii", raw, len(header) + n_points * 16) == (0, 1), "l.ply: first edge")

    data = read(vtk.vtkOBJReader, f("l.obj"))
    check(data.GetNumberOfPoints() == n_points, f"l.obj: {data.GetNumberOfPoints()} points")
    check(data.GetNumberOfLines() == sum(1 for l in lines if len(l) > 1), f"l.obj: {data.GetNumberOfLines()} lines")

    # The surface with its potential.
    surface = read(vtk.vtkOBJReader, os.path.join(examples, "fas2.obj"))
    for reader_class, name in [(vtk.vtkXMLPolyDataReader, "s.vtp"), (vtk.vtkPLYReader, "s.ply")]:
        data = read(reader_class, f(name))
        check(data.GetNumberOfPoints() == surface.GetNumberOfPoints(), f"{name}: {data.GetNumberOfPoints()} points")
        check(data.GetNumberOfPolys() == surface.GetNumberOfPolys(), f"{name}: {data.GetNumberOfPolys()} faces")
    potential = arrays(read(vtk.vtkXMLPolyDataReader, f("s.vtp")).GetPointData()).get("potential")
    check(potential is not None and potential.GetRange()[0] < 0 < potential.GetRange()[1], "s.vtp: potential")
    check("property float potential\n" in open(f("s.ply"), "rb").read(400).decode("latin-1"), "s.ply: potential")

    # Tubes: the three files hold the same triangles; admesh finds every
    # tube closed, oriented and without degenerate facets.
    counts = {name: read(cls, f(name)).GetNumberOfPolys()
              for cls, name in [(vtk.vtkSTLReader, "t.stl"), (vtk.vtkOBJReader, "t.obj"), (vtk.vtkPLYReader, "t.ply")]}
    check(len(set(counts.values())) == 1 and counts["t.stl"] > 0, f"tube triangle counts {counts}")
    report = subprocess.run([admesh, f("t.stl")], capture_output=True, text=True).stdout

    def stat(label):
        m = re.search(re.escape(label) + r"\s*:\s*(\d+)", report)
        return int(m.group(1)) if m else -1

    check(stat("Number of parts") == len(lines), f"admesh: {stat('Number of parts')} parts for {len(lines)} lines")
    for label in ["Total disconnected facets", "Degenerate facets", "Edges fixed", "Facets removed",
                  "Facets added", "Facets reversed", "Backwards edges", "Normals fixed"]:
        check(stat(label) == 0, f"admesh: {label} {stat(label)}")

print("ok" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
