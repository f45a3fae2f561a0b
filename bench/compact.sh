#!/bin/sh
# Formats Debian's packaged sources of four crates with rustfmt (the tool's
# configuration, width 160; files rustfmt refuses are left out), builds
# compact_bench and runs it over them: MB/s of compaction against one bare
# parse, rounds and parses per text. Extra arguments go to the bench, for
# example --repeat 5 or --reference (the rounds that parse each text again).
#
# Then a generated file of about 20 MB (short functions with an if/else each,
# as rustfmt lays them out: a stand-in for generated code) at width 100:
# wall time and peak memory of compaction alone (compact_bench
# --compact-only, one pass) beside rustfmt's on the same file. REFERENCE=1
# adds the reference engine's figures on it (slow).
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
"$build/bench/compact_bench" "$@" "$corpus"

large=$build/compact-large/large.rs
if [ ! -f "$large" ]; then
  mkdir -p "$(dirname "$large")"
  awk 'BEGIN { for (i = 0; i < 225000; i++) printf "fn f%d(x: u32) -> u32 {\n    if x > %d {\n        x\n    } else {\n        0\n    }\n}\n\n", i, i }' \
    >"$large"
fi
times=$build/compact-large/time.out
# run NAME COMMAND...: one line of wall and CPU seconds (user + system, which
# other load on the machine disturbs less) and peak MiB, from GNU time.
run() {
  name=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$times" "$@" >/dev/null
  read -r secs user sys kib <"$times"
  awk -v n="$name" -v t="$secs" -v u="$user" -v s="$sys" -v m="$kib" \
    'BEGIN { printf "%-28s %8.2f s wall %8.2f s CPU %10.1f MiB peak\n", n, t, u + s, m / 1024 }'
}
echo
echo "generated file: $(wc -c <"$large") bytes, width 100"
run "compact (one tree)" "$build/bench/compact_bench" --compact-only --repeat 1 --width 100 "$large"
if [ "${REFERENCE:-0}" = 1 ]; then
  run "compact (reference rounds)" "$build/bench/compact_bench" --reference --compact-only --repeat 1 --width 100 "$large"
fi
run "rustfmt" sh -c "rustfmt --edition 2021 --emit stdout --config max_width=100,use_small_heuristics=Max,disable_all_formatting=false <\"\$0\"" "$large"
