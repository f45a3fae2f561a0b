#!/usr/bin/env bash
# A cold run, as on a CI machine without the tool's result cache, with CPU
# time (user + system, children included) beside wall time:
#   the tool's --check of a tree it formatted, with an empty cache, beside
#   `cargo fmt --all --check` of a copy that `cargo fmt --all` formatted;
#   rustfmt alone over the same files: the tool's arguments plus
#   skip_children=true, FLOOR_BATCH (default 400) files per process, one
#   process at a time (the floor);
#   the first write of the pristine tree beside `cargo fmt --all`;
#   a generated file of about 20 MB (bench/compact.sh's) written by the tool
#   beside rustfmt on it.
#
#   WORKSPACE=DIR bench/cold.sh [build directory]      (default: build)
#
# WORKSPACE is a cargo workspace of many packages (bench/workspace.sh makes
# one from Debian's registry crates); it is copied, never changed. LARGE=0
# leaves out the generated file.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "cold: no build directory ${1:-build}" >&2; exit 2; }
tool=$build/src/cargo_tersify/cargo-tersify
FLOOR_BATCH=${FLOOR_BATCH:-400}
[ -x "$tool" ] || { echo "cold: $tool is not built" >&2; exit 2; }
[ -f "${WORKSPACE:-}/Cargo.toml" ] || { echo "cold: set WORKSPACE to a cargo workspace" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

# run NAME COMMAND...: times COMMAND (its output dropped) into WALL, CPU and
# PEAK of NAME.
declare -A WALL CPU PEAK STATUS
run() {
  local name=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.out" "$@" >/dev/null 2>"$work/$name.err"
  STATUS[$name]=$?
  read -r wall user sys kib < <(tail -n 1 "$work/time.out")
  WALL[$name]=$wall
  CPU[$name]=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  PEAK[$name]=$((kib / 1024))
}
show() {
  printf '  %-50s %7.2f s  cpu %7.2f s  peak %5d MiB%s\n' "$2" "${WALL[$1]}" "${CPU[$1]}" "${PEAK[$1]}" \
    "$([ "${STATUS[$1]}" -le 1 ] || echo "  (exit status ${STATUS[$1]})")"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
fresh() { rm -rf "${work:?}/$1" && cp -R "$WORKSPACE" "$work/$1"; }

members=$(grep -c '^  "' "$WORKSPACE/Cargo.toml")
files=$(find "$WORKSPACE" -name '*.rs' -type f | wc -l)
echo "cold runs on a workspace of $members packages, $files files; load $(cut -d' ' -f1-3 /proc/loadavg)"

fresh write
fresh fmt
run write env -C "$work/write" CARGO_TERSIFY_CACHE=0 "$tool" .
run fmt_write env -C "$work/fmt" cargo fmt --all
rm -rf "$XDG_CACHE_HOME"
run check env -C "$work/write" "$tool" --check .
run fmt_check env -C "$work/fmt" cargo fmt --all --check

# The floor: the tool's arguments for each file's package, FLOOR_BATCH files
# with the same arguments per process.
for crate in $(sed -n 's/^  "\(.*\)",$/\1/p' "$WORKSPACE/Cargo.toml"); do
  edition=$(crate_edition "$work/write/$crate")
  width=$(crate_max_width "$WORKSPACE/$crate")
  find "$work/write/$crate" -name '*.rs' -type f -printf "$edition $width %p\n"
done | sort -k1,2 -s | awk -v batch="$FLOOR_BATCH" '
  function flush() { if (n) print line " >/dev/null"; n = 0 }
  $1 " " $2 != key || n == batch { flush(); key = $1 " " $2
    line = "rustfmt --edition " $1 " --emit stdout --config max_width=" $2 ",use_small_heuristics=Max,disable_all_formatting=false,skip_children=true" }
  { line = line " " $3; n++ }
  END { flush() }' >"$work/floor.sh"
run floor bash "$work/floor.sh"

echo "check of a tree the tool formatted, empty cache:"
show check "cargo tersify --check"
show fmt_check "cargo fmt --all --check (a tree cargo fmt formatted)"
show floor "rustfmt alone, $FLOOR_BATCH files per process ($(wc -l <"$work/floor.sh") runs)"
echo "first write of the pristine tree:"
show write "cargo tersify"
show fmt_write "cargo fmt --all"

if [ "${LARGE:-1}" != 0 ]; then
  mkdir -p "$work/large"
  printf '[package]\nname = "large"\nversion = "0.1.0"\nedition = "2021"\n' >"$work/large/Cargo.toml"
  printf 'max_width = 100\n' >"$work/large/rustfmt.toml"
  mkdir -p "$work/large/src"
  awk 'BEGIN { for (i = 0; i < 225000; i++) printf "fn f%d(x: u32) -> u32 {\n    if x > %d {\n        x\n    } else {\n        0\n    }\n}\n\n", i, i }' \
    >"$work/large.rs"
  cp "$work/large.rs" "$work/large/src/lib.rs"
  run large env -C "$work/large" CARGO_TERSIFY_CACHE=0 "$tool" src/lib.rs
  run large_rustfmt sh -c 'rustfmt --edition 2021 --emit stdout --config max_width=100,use_small_heuristics=Max,disable_all_formatting=false <"$0"' "$work/large.rs"
  echo "a generated file of $(wc -c <"$work/large.rs") bytes, width 100:"
  show large "cargo tersify (write)"
  show large_rustfmt "rustfmt"
fi

echo "ratios:"
echo "  check / cargo fmt --all --check:  $(ratio "${WALL[check]}" "${WALL[fmt_check]}")   (target: at most 1.0)"
echo "  check CPU / floor CPU:            $(ratio "${CPU[check]}" "${CPU[floor]}")   (target: at most 1.3)"
echo "  write / cargo fmt --all:          $(ratio "${WALL[write]}" "${WALL[fmt_write]}")   (target: at most 2.0)"
[ "${LARGE:-1}" = 0 ] ||
  echo "  20 MB file / rustfmt:             $(ratio "${WALL[large]}" "${WALL[large_rustfmt]}")   (target: at most 2.5)"
