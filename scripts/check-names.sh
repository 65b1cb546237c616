#!/usr/bin/env bash
# Holds the tree to one naming style (.clang-tidy): clang-tidy's naming check
# over every product source, with the build's compile commands. The folders
# are the build's one list, KORVEX_FOLDERS: ctest passes it (the check_names
# test); run by hand, it is read from CMakeLists.txt.
#   scripts/check-names.sh [build-dir [folder...]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ $# -gt 0 ] && shift
folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
    read -r -a folders <<<"$(sed -n 's/^set(KORVEX_FOLDERS \(.*\))$/\1/p' CMakeLists.txt)"
fi
[ ${#folders[@]} -gt 0 ] || {
    echo "no set(KORVEX_FOLDERS ...) line in CMakeLists.txt" >&2
    exit 2
}
[ -f "$build/compile_commands.json" ] || {
    echo "no $build/compile_commands.json: build first (scripts/setup.sh build)" >&2
    exit 2
}
command -v clang-tidy >/dev/null || {
    echo "clang-tidy is missing (scripts/setup.sh deps installs it)" >&2
    exit 2
}
# A header is checked where .clang-tidy's filter names its folder, so the
# filter must name every folder.
filter=$(sed -n "s/^HeaderFilterRegex: '\(.*\)'$/\1/p" .clang-tidy)
for folder in "${folders[@]}"; do
    [[ "/$folder/" =~ $filter ]] || {
        echo ".clang-tidy: HeaderFilterRegex leaves out $folder/" >&2
        exit 1
    }
done
find "${folders[@]}" -name '*.cpp' -print0 | sort -z |
    xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "names: every product file in ${folders[*]} follows .clang-tidy"
