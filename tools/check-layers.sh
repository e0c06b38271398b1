#!/usr/bin/env bash
# Checks that every include of the product points down the layers (or stays
# in its own folder) and that each folder's library links only the folders
# below it. Prints each offending line; exits 1 when there is one.
#
# Layers, bottom to top (a folder may use the folders listed after it):
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
    [platform]=""
    [resources]=""
    [core]="platform"
    [station]=""
    [controls]="core platform resources"
    [chain]="core platform"
    [timers]="core platform"
    [displays]="controls chain timers core platform resources"
    [mixer]="displays controls chain timers core platform resources"
    [app]="station mixer displays controls chain timers core platform resources"
)
status=0
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || continue
    ok=" $folder ${allowed[$folder]} "
    # Includes of our own headers ("folder/file.h"), all of a folder's in
    # one pass: the folder an include names is what follows its last
    # '#include "' up to the first slash.
    hits=$(grep -Hn '#include "[a-z]*/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
    if [ -n "$hits" ]; then
        bad=$(awk -v ok="$ok" '{
                target = $0
                sub(/.*#include "/, "", target)
                sub(/\/.*/, "", target)
                if (target !~ /^[a-z]+$/ || index(ok, " " target " ") == 0)
                    print "upward include: " $0
            }' <<<"$hits")
        if [ -n "$bad" ]; then
            echo "$bad"
            status=1
        fi
    fi
    # The library's link dependencies.
    if [ -f "$folder/CMakeLists.txt" ]; then
        for dep in $(grep -o 'zol_[a-z]*' "$folder/CMakeLists.txt" | sed 's/^zol_//' | sort -u); do
            [ "$dep" = "library" ] || [ "$dep" = "$folder" ] && continue
            if [ -n "${allowed[$dep]+x}" ] && [[ "$ok" != *" $dep "* ]]; then
                echo "upward link: $folder/CMakeLists.txt links zol_$dep"
                status=1
            fi
        done
    fi
done
[ $status -eq 0 ] && echo "layers: every include and link points down"
exit $status
