#!/usr/bin/env bash
# The bash completion offers each program's options (taken from its --help)
# and the file kinds of its positional arguments.
#   completion_test.sh COMPLETION_SCRIPT BIN_DIR...
set -uo pipefail
script=$1
shift
for d in "$@"; do PATH="$d:$PATH"; done
source /usr/share/bash-completion/bash_completion
source "$script"

fails=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch mol.obj mol.ply grid.dx grid.dx.gz notes.txt

# complete LINE: runs the completion on LINE (the cursor at its end).
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quorax "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() { # expect WHAT LINE WORD...: every WORD is among the completions
    local what=$1 line=$2 got
    shift 2
    got=" $(complete_line "$line")"
    for w in "$@"; do
        if [[ $got != *" $w "* ]]; then
            echo "FAIL: $what: '$line' should offer '$w', got:$got"
            fails=$((fails + 1))
        fi
    done
}
refuse() { # refuse WHAT LINE WORD: WORD is not among the completions
    local got
    got=" $(complete_line "$2")"
    if [[ $got == *" $3 "* ]]; then
        echo "FAIL: $1: '$2' should not offer '$3', got:$got"
        fails=$((fails + 1))
    fi
}

expect "options from --help" "quorax --" --help --version
expect "mesh first" "quorax " mol.obj
refuse "mesh first" "quorax " grid.dx
expect "grid second" "quorax mol.obj " grid.dx grid.dx.gz
refuse "grid second" "quorax mol.obj " notes.txt
expect "faithful options" "quorax --" --seeding --integrator --stop-at-surface
expect "option values" "quorax mol.obj grid.dx l.txt 1 0 45 1 3 --integrator " rk4 rk45
expect "file of an output option" "quorax mol.obj grid.dx l.txt 1 0 45 1 3 --tubes " notes.txt
refuse "number option" "quorax mol.obj grid.dx l.txt 1 0 45 1 3 --tube-radius " notes.txt
expect "series options" "quorax-series --" --frames --jobs --slurm --print-commands
expect "prepare options" "quorax-prepare --" --spacing --force
expect "viewer meshes" "quorax1 " mol.obj mol.ply
expect "viewer options" "quorax1 --" --help --version

if ((fails)); then
    echo "$fails completion checks failed"
    exit 1
fi
echo "completion checks passed"
