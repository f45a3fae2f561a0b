#!/usr/bin/env bash
# A cold run on a large workspace (bench/workspace.sh), as on a CI machine
# without the tool's cache, with CPU time beside wall time:
#   the tool's --check of a tree it formatted, with an empty cache, beside
#   `cargo fmt --all --check` of a copy that `cargo fmt --all` formatted;
#   rustfmt alone over the same files: the tool's arguments plus
#   skip_children=true, FLOOR_BATCH (default 400) files per process, one
#   process at a time (the floor; files grouped by edition and width);
#   the first write of the pristine tree beside `cargo fmt --all`;
#   a generated file of about 20 MB (short functions with an if/else, a
#   stand-in for generated code) written by the tool beside rustfmt on it.
#
#   bench/cold.sh [build directory]      (default: build)
#
# Environment: WORKSPACE (made in a scratch folder when not given), RUNS
# (best of; default 1: each run takes seconds), TERSIFY, REGISTRY; LARGE=0
# leaves out the generated file.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
. "$here/timing.sh"
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "cold: no build directory ${1:-build}" >&2; exit 2; }
TERSIFY=${TERSIFY:-$build/src/cargo_tersify/cargo-tersify}
RUNS=${RUNS:-1}
FLOOR_BATCH=${FLOOR_BATCH:-400}
[ -x "$TERSIFY" ] || { echo "cold: $TERSIFY is not built" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "${WORKSPACE:-}" ]; then
  WORKSPACE=$work/workspace
  "$here/workspace.sh" "$WORKSPACE" >/dev/null || exit 2
fi
export XDG_CACHE_HOME=$work/cache

# show KEY LABEL: a line with the wall and CPU time of KEY.
show() {
  printf '  %-52s %7.2f s  cpu %7.2f s%s\n' "$2" "${WALL[$1]}" "${CPU[$1]}" \
    "$([ "${STATUS[$1]}" -le 1 ] || echo "  (exit status ${STATUS[$1]})")"
}
fresh() { rm -rf "$work/$1" && cp -R "$WORKSPACE" "$work/$1"; }

members=$(grep -c '^  "' "$WORKSPACE/Cargo.toml")
files=$(find "$WORKSPACE" -name '*.rs' -type f | wc -l)
echo "cold runs on a workspace of $members packages, $files files; best of $RUNS; load $(cut -d' ' -f1-3 /proc/loadavg)"
PREPARE='fresh write'
best_timed write "$RUNS" env -C "$work/write" CARGO_TERSIFY_CACHE=0 "$TERSIFY" .
PREPARE='fresh fmt'
best_timed fmt_write "$RUNS" env -C "$work/fmt" cargo fmt --all
PREPARE='rm -rf "$XDG_CACHE_HOME"'
best_timed check "$RUNS" env -C "$work/write" CARGO_TERSIFY_CACHE=1 "$TERSIFY" --check .
PREPARE=
best_timed fmt_check "$RUNS" env -C "$work/fmt" cargo fmt --all --check

# The floor: one line per file with the tool's arguments for its crate, then
# runs of FLOOR_BATCH files with the same arguments.
for crate in $(sed -n 's/^  "\(.*\)",$/\1/p' "$WORKSPACE/Cargo.toml"); do
  edition=$(crate_edition "$work/write/$crate")
  width=$(crate_max_width "$WORKSPACE/$crate")
  find "$work/write/$crate" -name '*.rs' -type f -printf "$edition $width %p\n"
done | sort -k1,2 -s | awk -v batch="$FLOOR_BATCH" '
  function flush() { if (n) print line; n = 0 }
  $1 " " $2 != key || n == batch { flush(); key = $1 " " $2
    line = "rustfmt --edition " $1 " --emit stdout --config max_width=" $2 ",use_small_heuristics=Max,disable_all_formatting=false,skip_children=true" }
  { line = line " " $3; n++ }
  END { flush() }' | sed 's/$/ >\/dev\/null/' >"$work/floor.sh"
PREPARE=
best_timed floor "$RUNS" bash "$work/floor.sh"

echo "check of a tree the tool formatted, empty cache:"
show check "cargo tersify --check"
show fmt_check "cargo fmt --all --check (a tree cargo fmt formatted)"
show floor "rustfmt alone, $FLOOR_BATCH files per process ($(wc -l <"$work/floor.sh") runs)"
echo "first write of the pristine tree:"
show write "cargo tersify"
show fmt_write "cargo fmt --all"
if [ "${LARGE:-1}" != 0 ]; then
  mkdir -p "$work/large/src"
  printf '[package]\nname = "large"\nversion = "0.1.0"\nedition = "2021"\n' >"$work/large/Cargo.toml"
  printf 'max_width = 100\n' >"$work/large/rustfmt.toml"
  awk 'BEGIN { for (i = 0; i < 225000; i++) printf "fn f%d(x: u32) -> u32 {\n    if x > %d {\n        x\n    } else {\n        0\n    }\n}\n\n", i, i }' \
    >"$work/large.rs"
  PREPARE='cp "$work/large.rs" "$work/large/src/lib.rs"'
  best_timed large "$RUNS" env -C "$work/large" CARGO_TERSIFY_CACHE=0 "$TERSIFY" src/lib.rs
  PREPARE=
  best_timed large_rustfmt "$RUNS" sh -c 'rustfmt --edition 2021 --emit stdout --config max_width=100,use_small_heuristics=Max,disable_all_formatting=false <"$0"' "$work/large.rs"
  echo "a generated file of $(wc -c <"$work/large.rs") bytes, width 100:"
  show large "cargo tersify (write)"
  show large_rustfmt "rustfmt"
fi

echo "ratios:"
echo "  check / cargo fmt --all --check:   $(ratio_of "${WALL[check]}" "${WALL[fmt_check]}")   (target: at most 1.0)"
echo "  check CPU / floor CPU:             $(ratio_of "${CPU[check]}" "${CPU[floor]}")   (target: at most 1.3)"
echo "  write / cargo fmt --all:           $(ratio_of "${WALL[write]}" "${WALL[fmt_write]}")   (target: at most 2.0)"
[ "${LARGE:-1}" = 0 ] ||
  echo "  20 MB file / rustfmt:              $(ratio_of "${WALL[large]}" "${WALL[large_rustfmt]}")   (target: at most 2.5)"
