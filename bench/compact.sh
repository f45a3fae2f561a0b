#!/bin/sh
# Formats Debian's packaged sources of four crates with rustfmt (the tool's
# configuration, width 160; files rustfmt refuses are left out), builds
# compact_bench and runs it over them. Extra arguments go to the bench, for
# example --repeat 5.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${BUILD_DIR:-$root/build}
registry=/usr/share/cargo/registry
packages="librust-regex-syntax-dev librust-serde-dev librust-memchr-dev librust-itertools-dev"
config=max_width=160,use_small_heuristics=Max,disable_all_formatting=false

missing=""
for package in $packages; do
  dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
if [ -n "$missing" ]; then
  apt-get install -y $missing
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTERSIFY_BENCH=ON
fi
ninja -C "$build" -j2 compact_bench

corpus=$build/compact-corpus
if [ ! -f "$corpus/.complete" ]; then
  rm -rf "$corpus"
  for crate in regex-syntax serde memchr itertools; do
    for dir in "$registry/$crate"-[0-9]*; do
      [ -d "$dir" ] || continue
      name=$(basename "$dir")
      find "$dir" -name '*.rs' -type f | sort | while read -r file; do
        out="$corpus/$name/${file#"$dir"/}"
        mkdir -p "$(dirname "$out")"
        if ! rustfmt --edition 2021 --emit stdout --config "$config" <"$file" >"$out" 2>/dev/null; then
          rm -f "$out"
          echo "rustfmt refused $file" >&2
        fi
      done
    done
  done
  touch "$corpus/.complete"
fi
exec "$build/bench/compact_bench" "$@" "$corpus"
