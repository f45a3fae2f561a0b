#!/usr/bin/env bash
# Builds the libFuzzer target for `compact` with clang in build-fuzz/ and runs
# it for a fixed number of executions from the seed corpus.
#
#   bench/fuzz.sh [runs]     (default 20000)
#
# New inputs go to build-fuzz/fuzz-corpus (the seeds stay untouched); a crash
# or violated invariant leaves its input as build-fuzz/crash-* and exits
# non-zero.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20000}
build=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTERSIFY_FUZZ=ON -DTERSIFY_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 tersify-fuzz-compact

mkdir -p "$build/fuzz-corpus"
cd "$build"
./bench/tersify-fuzz-compact -runs="$runs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/" fuzz-corpus "$root/bench/fuzz/seeds"
