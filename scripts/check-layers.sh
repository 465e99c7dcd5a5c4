#!/usr/bin/env bash
# Fails when a source file includes a header of a folder that its own folder may
# not include, so that the layers keep pointing down.
#
# A file's folder is its top-level folder, except for the platform seam's
# backends (platform/linux, platform/macos), which count as folders of their own:
# only the programs that choose a backend include one. An include names a folder
# by its first path component; <marquee/...> is the public header set in include/.
# Includes within one folder and of anything that is not a folder of this tree
# (the standard library, Asio, Qt, ...) are not checked.
#
# Usage: scripts/check-layers.sh [--root DIR]
#   --root DIR  the source tree to check (default: this repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ ${1:-} == --root ]]; then
    root=$(cd "$2" && pwd)
fi
cd "$root"

# FOLDER: the folders it may include. "*" stands for every folder.
allowed='
include:
base: include
platform: include base
platform/linux: include base platform
platform/macos: include base platform
protocol: include base
ax: include base platform
timecode: include base platform ax
logic: include base platform protocol ax timecode
monitors: include base platform ax timecode logic
permissions: include base platform ax logic
maintenance: include base platform
app: include base platform platform/linux platform/macos protocol ax timecode logic monitors permissions maintenance
client: include base protocol timecode
sim: include base platform platform/linux
examples: include
tests: *
bench: *
'

folders=$(printf '%s\n' "$allowed" | sed -n 's/^\([^:]*\):.*/\1/p')
top_folders=$(printf '%s\n' "$folders" | cut -d/ -f1 | sort -u)

git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.mm' '*.m' '*.def' '*.inc' \
    | grep -v '^build/' \
    | xargs -r grep -nE '^[[:space:]]*#[[:space:]]*(include|import)[[:space:]]*["<][A-Za-z0-9_]+/' /dev/null \
    | awk -v allowed="$allowed" -v tops="$(echo $top_folders)" '
        BEGIN {
            n = split(allowed, lines, "\n")
            for (i = 1; i <= n; ++i) {
                if (lines[i] !~ /:/) continue
                split(lines[i], parts, ":")
                from = parts[1]
                known[from] = 1
                m = split(parts[2], targets, " ")
                for (j = 1; j <= m; ++j) may[from, targets[j]] = 1
            }
            split(tops, list, " ")
            for (i in list) top[list[i]] = 1
            top["marquee"] = 1
        }
        function folderOf(path,    parts) {
            split(path, parts, "/")
            if (parts[1] == "marquee") return "include"
            if (parts[1] == "platform" && (parts[2] == "linux" || parts[2] == "macos")) return "platform/" parts[2]
            return parts[1]
        }
        {
            # grep -n output: FILE:LINE:#include "dir/File.h"
            file = $0; sub(/:.*/, "", file)
            rest = substr($0, length(file) + 2)
            line = rest; sub(/:.*/, "", line)
            text = substr(rest, length(line) + 2)
            target = text; sub(/^[^"<]*["<]/, "", target); sub(/[">].*/, "", target)
            split(target, first, "/")
            if (!(first[1] in top)) next
            from = folderOf(file); to = folderOf(target)
            if (from == to) next
            if (!(from in known)) { printf "%s:%s: %s is not on the list of folders (%s)\n", file, line, from, text; bad = 1; next }
            if (may[from, "*"] || may[from, to]) next
            printf "%s:%s: %s may not include %s: %s\n", file, line, from, to, text
            bad = 1
        }
        END { exit bad }
    ' || {
        echo "check-layers: the includes above point across the allowed layers (scripts/check-layers.sh lists them)" >&2
        exit 1
    }
echo "check-layers: every include between folders is allowed"
