#!/usr/bin/env bash
# Installs the packages made by make_deb.sh with apt (which resolves their
# declared dependencies), runs the installed programs on the example from
# another folder, finds the manual pages, removes the packages and lists any
# file they leave behind. Needs root.
#   scripts/check_deb.sh DEB_DIR
set -euo pipefail
debs="$(cd "${1:?usage: check_deb.sh DEB_DIR}" && pwd)"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y "$debs"/quorax_*.deb "$debs"/quorax-viewer_*.deb
packages=(quorax quorax-viewer)
files="$(mktemp)"
trap 'rm -f "$files"' EXIT
dpkg -L "${packages[@]}" | sort -u >"$files"

work="$(mktemp -d)"
cd "$work"
echo "== installed quorax on the example, from $work"
QUORAX_SEED=1 quorax /usr/share/quorax/examples/fas2.obj /usr/share/quorax/examples/fas2.dx lines.txt 0.01 0.0 45 1 3.0
test -s lines.txt
for p in quorax quorax1 quorax-series quorax-prepare; do
  if command -v "$p" >/dev/null; then
    "$p" --version
    man -w "$p"
  fi
done
test -f /usr/share/applications/quorax1.desktop
test -f /usr/share/bash-completion/completions/quorax
cd /
rm -rf "$work"

echo "== removing"
apt-get remove -y "${packages[@]}"
left=0
while IFS= read -r f; do
  if [[ -e $f && ! -d $f ]]; then
    echo "left behind: $f"
    left=1
  fi
done <"$files"
if ((left)); then
  echo "check_deb: files remain after removal" >&2
  exit 1
fi
echo "check_deb: installed, ran and removed cleanly; nothing left behind"
