#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, address and undefined sanitizers) and runs each
# for a bounded time on a scratch copy of its corpus (fuzz/corpus/<target>/).
#   scripts/fuzz.sh [seconds per target, default 60]
# Exits non-zero when a target crashes; the crashing input is left in build-fuzz/artifacts/. Copy it
# into fuzz/corpus/<target>/ once the fault is fixed so the regression test keeps checking it.
set -uo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds per target]" >&2
  exit 2
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${CORVANE_FUZZ_BUILD:-$root/build-fuzz}"
targets=(chunk_stream project_file)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVANE_FUZZ=ON -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null || exit 1
cmake --build "$build" --target "${targets[@]/#/fuzz_}" -j2 || exit 1

mkdir -p "$build/artifacts"
status=0
for t in "${targets[@]}"; do
  work="$(mktemp -d)"
  cp -r "$root/fuzz/corpus/$t/." "$work/" 2>/dev/null || true
  echo "== fuzz_$t for ${seconds}s"
  "$build/bin/fuzz_$t" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" "$work" 2>"$build/fuzz_$t.log"
  rc=$?
  tail -n 12 "$build/fuzz_$t.log"
  if [ $rc -ne 0 ]; then
    echo "fuzz_$t FAILED (exit $rc); see $build/fuzz_$t.log and $build/artifacts/" >&2
    status=1
  fi
  rm -rf "$work"
done
exit $status
