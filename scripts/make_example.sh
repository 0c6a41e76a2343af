#!/usr/bin/env bash
# Regenerate the bundled example data in examples/ from scratch:
#   examples/fas2.dx   electrostatic potential of fasciculin-2 (APBS, OpenDX)
#   examples/fas2.obj  its molecular surface (PyMOL, OBJ, molecule's frame)
#
# Works on a fresh Debian 12 machine; installs apbs, apbs-data and pymol with
# apt-get when they are missing.  Everything is built in a temporary directory
# and only moved into examples/ after the consistency check has passed, so a
# failed run never leaves half-written example files behind.
set -euo pipefail

SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO="$(cd "$SCRIPTS/.." && pwd)"
OUT="$REPO/examples"
# Debian's pymol module is installed for the system interpreter only; a
# pyenv/venv "python3" earlier on PATH would not find it.
PY=/usr/bin/python3
PQR_SRC=/usr/share/apbs/examples/misc/fas2.pqr   # shipped by apbs-data

# --- tools -----------------------------------------------------------------
need_install=()
command -v apbs >/dev/null 2>&1 || need_install+=(apbs)
[[ -f "$PQR_SRC" ]] || need_install+=(apbs-data)
"$PY" -c 'import pymol' >/dev/null 2>&1 || need_install+=(pymol)
if ((${#need_install[@]})); then
    echo "Installing: ${need_install[*]}"
    SUDO=""
    [[ $(id -u) -eq 0 ]] || SUDO=sudo
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${need_install[@]}"
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
cp "$PQR_SRC" fas2.pqr

# --- potential (APBS) ------------------------------------------------------
# Linearised Poisson-Boltzmann, 150 mM 1:1 salt, protein dielectric 2, water
# 78.54.  mg-auto focuses: a coarse 90x80x85 A solve supplies the boundary
# values for the fine 56x44x52 A grid, which is the one written out.  Both
# grids are 65^3 and centred on the molecule.  The fine box leaves 7-9 A
# (8-13 grid spacings) between the surface and every face; its lengths differ
# per axis on purpose, so the three spacings differ (0.875, 0.6875, 0.8125 A)
# and a reader that mixes up axes shows it.
cat > apbs.in <<'APBS'
read
    mol pqr fas2.pqr
end
elec name fas2
    mg-auto
    dime 65 65 65
    cglen 90 80 85
    cgcent mol 1
    fglen 56 44 52
    fgcent mol 1
    mol 1
    lpbe
    bcfl sdh
    ion charge 1 conc 0.150 radius 2.0
    ion charge -1 conc 0.150 radius 2.0
    pdie 2.0
    sdie 78.54
    chgm spl2
    srfm smol
    srad 1.4
    swin 0.3
    sdens 10.0
    temp 298.15
    calcenergy no
    calcforce no
    write pot dx fas2
end
quit
APBS
echo "Running APBS..."
apbs apbs.in > apbs.log 2>&1 || { cat apbs.log; echo "APBS failed" >&2; exit 1; }
# APBS 3.x names the file fas2-PE0.dx (processor suffix); older ones fas2.dx.
DX=""
for f in fas2.dx fas2-PE0.dx; do [[ -f "$f" ]] && DX="$f" && break; done
[[ -n "$DX" ]] || { cat apbs.log; echo "APBS wrote no fas2 DX file" >&2; exit 1; }
[[ "$DX" == fas2.dx ]] || mv "$DX" fas2.dx

# --- surface (PyMOL) -------------------------------------------------------
# Solvent-excluded surface (PyMOL's default, probe 1.4 A) over all atoms of
# the PQR, with the PQR radii.  surface_quality 0 keeps the mesh at ~10k
# triangles.  The view rotation is reset to the identity and the view is
# written to view.txt, because PyMOL's OBJ export writes coordinates relative
# to the view origin (and rotated by the view); fix_obj_origin.py undoes that.
cat > surface.pml <<'PML'
load fas2.pqr, fas2
hide everything
set surface_quality, 0
show surface, fas2
python
v = list(cmd.get_view())
v[0:9] = [1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0]
cmd.set_view(v)
with open("view.txt", "w") as fh:
    fh.write(" ".join(repr(x) for x in cmd.get_view()) + "\n")
python end
save fas2_view.obj
PML
echo "Running PyMOL..."
"$PY" -m pymol -cq surface.pml > pymol.log 2>&1 || { cat pymol.log; echo "PyMOL failed" >&2; exit 1; }
[[ -s fas2_view.obj ]] || { echo "PyMOL wrote no OBJ" >&2; exit 1; }
"$PY" "$SCRIPTS/fix_obj_origin.py" view.txt fas2_view.obj fas2.obj

# --- check and install -----------------------------------------------------
# Fails (and stops this script) if any vertex is outside the grid box, closer
# than 3 spacings to a face, or not on the molecule.
"$PY" "$SCRIPTS/check_example.py" fas2.dx fas2.obj fas2.pqr

mkdir -p "$OUT"
mv fas2.dx fas2.obj "$OUT/"
rm -f "$OUT/io.mc" "$OUT"/*.log
ls -l "$OUT/fas2.dx" "$OUT/fas2.obj"
