#!/usr/bin/env bash
# Holds the tree to one naming style (.clang-tidy): clang-tidy's naming check
# over every product source, with the build's compile commands.
#   scripts/check-names.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || {
    echo "no $build/compile_commands.json: build first (scripts/setup.sh build)" >&2
    exit 2
}
git ls-files 'app/*.cpp' 'capture/*.cpp' 'addressmap/*.cpp' 'search/*.cpp' 'fileio/*.cpp' 'view/*.cpp' 'settings/*.cpp' 'protocol/*.cpp' \
    'export/*.cpp' 'korvex/*.cpp' 'tools/*.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "names: every product file follows .clang-tidy"
