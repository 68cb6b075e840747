#!/usr/bin/env bash
# Configures and builds one build folder.
#   scripts/build.sh [--sanitize] [--dir DIR] [--type TYPE]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
type=RelWithDebInfo
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) extra+=(-DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF); dir=build-asan; type=Debug ;;
    --dir) dir="$2"; shift ;;
    --type) type="$2"; shift ;;
    *) echo "build.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${extra[@]}" >/dev/null
cmake --build "$dir" -j"$jobs"
