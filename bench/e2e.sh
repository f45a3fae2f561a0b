#!/usr/bin/env bash
# End-to-end benchmark of cargo-tersify on published crates.
#
#   bench/e2e.sh [build directory]      (default: build)
#
# Corpus: fresh copies of regex-syntax, serde, memchr, itertools, nom and
# hashbrown from Debian's registry. Measures, best of RUNS (default 3):
#   (a) the floor: a shell loop running rustfmt once per file with the very
#       arguments and standard input the tool uses;
#   (b) cargo-tersify in write mode on a fresh copy;
#   (c) cargo-tersify --check right after (nothing left to change);
# with wall time, files per second and peak memory (/usr/bin/time), and the
# ratio (b)/(a). Then the time of `compact` alone over the formatted corpus,
# and finally bench/verify.sh over all six crates.
#
# Environment: TERSIFY, TOKEN_CHECK, PROPERTY (the built tools, default the
# build directory of this checkout), REGISTRY, RUNS.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "e2e: no build directory ${1:-build}" >&2; exit 2; }
export TERSIFY=${TERSIFY:-$build/src/main/cargo-tersify}
export TOKEN_CHECK=${TOKEN_CHECK:-$build/bench/tersify-token-check}
PROPERTY=${PROPERTY:-$build/bench/tersify-compact-property}
RUNS=${RUNS:-3}
export REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
CRATES=(regex-syntax serde memchr itertools nom hashbrown)

for tool in "$TERSIFY" "$TOKEN_CHECK" "$PROPERTY"; do
  [ -x "$tool" ] || { echo "e2e: $tool is not built" >&2; exit 2; }
done
if [ ! -x /usr/bin/time ]; then
  [ "$(id -u)" -eq 0 ] || { echo "e2e: /usr/bin/time missing (package time)" >&2; exit 2; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/corpus.sh" "$work/pristine" "${CRATES[@]}" || exit 2

# The floor loop: every .rs file of every crate, as the tool would list and
# format it, run from the same working directory as the tool.
{
  echo 'set -e'
  for name in "${CRATES[@]}"; do
    edition=$(crate_edition "$work/pristine/$name")
    width=$(crate_max_width "$work/pristine/$name")
    config="max_width=$width,use_small_heuristics=Max,disable_all_formatting=false"
    (cd "$work/pristine" && find "$name" -name target -prune -o -name '.*' -prune -o -name '*.rs' -type f -print) |
      while IFS= read -r file; do
        printf 'rustfmt --edition %s --emit stdout --config %s < %q > /dev/null\n' "$edition" "$config" "$file"
      done
  done
} >"$work/floor.sh"
files=$(grep -c '^rustfmt' "$work/floor.sh")
bytes=$(cd "$work/pristine" && find "${CRATES[@]}" -name '*.rs' -type f -exec cat {} + | wc -c)

# measure LABEL DIR COMMAND...: best wall time and its peak memory over RUNS,
# a fresh corpus copy per run when DIR is "fresh".
best_time=""
best_mem=""
measure() {
  local label=$1 mode=$2
  shift 2
  best_time=""
  best_mem=""
  local run status
  for run in $(seq "$RUNS"); do
    local dir=$work/pristine
    if [ "$mode" = fresh ]; then
      dir=$work/run
      rm -rf "$dir"
      cp -R "$work/pristine" "$dir"
    elif [ "$mode" = kept ]; then
      dir=$work/run
    fi
    (cd "$dir" && /usr/bin/time -f '%e %M' -o "$work/time.out" "$@" >"$work/out.txt" 2>&1)
    status=$?
    if [ $status -ne 0 ]; then
      echo "$label: exited $status: $(head -c 300 "$work/out.txt")"
      return 1
    fi
    read -r secs mem <"$work/time.out"
    if [ -z "$best_time" ] || awk -v a="$secs" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then
      best_time=$secs
      best_mem=$mem
    fi
  done
  awk -v l="$label" -v t="$best_time" -v m="$best_mem" -v f="$files" \
    'BEGIN { printf "%-34s %7.2f s  %7.1f files/s  peak %6.1f MiB\n", l, t, (t > 0 ? f / t : 0), m / 1024 }'
}

echo "corpus: ${CRATES[*]}: $files files, $bytes bytes; best of $RUNS runs"
measure "(a) rustfmt per file (floor)" pristine bash "$work/floor.sh" || exit 1
floor=$best_time
# Write mode then check mode on the same copy, in pairs, so that each check
# run sees what the write run just left.
write_best=""
write_mem=""
check_best=""
check_mem=""
for run in $(seq "$RUNS"); do
  RUNS=1 measure "(b) cargo-tersify, write mode" fresh "$TERSIFY" "${CRATES[@]}" >/dev/null || exit 1
  if [ -z "$write_best" ] || awk -v a="$best_time" -v b="$write_best" 'BEGIN { exit !(a < b) }'; then
    write_best=$best_time
    write_mem=$best_mem
  fi
  RUNS=1 measure "(c) cargo-tersify --check" kept "$TERSIFY" --check "${CRATES[@]}" >/dev/null || exit 1
  if [ -s "$work/out.txt" ]; then
    echo "(c) --check after a write run reported: $(head -c 300 "$work/out.txt")"
  fi
  if [ -z "$check_best" ] || awk -v a="$best_time" -v b="$check_best" 'BEGIN { exit !(a < b) }'; then
    check_best=$best_time
    check_mem=$best_mem
  fi
done
for line in "(b) cargo-tersify, write mode|$write_best|$write_mem" "(c) cargo-tersify --check|$check_best|$check_mem"; do
  IFS='|' read -r label t m <<<"$line"
  awk -v l="$label" -v t="$t" -v m="$m" -v f="$files" \
    'BEGIN { printf "%-34s %7.2f s  %7.1f files/s  peak %6.1f MiB\n", l, t, (t > 0 ? f / t : 0), m / 1024 }'
done
awk -v b="$write_best" -v c="$check_best" -v a="$floor" \
  'BEGIN { printf "ratio (b)/(a) = %.3f, (c)/(a) = %.3f (target: at most 1.05)\n", b / a, c / a }'

echo
echo "compact alone (rustfmt output of every file, compacted 5 times; peak memory of the whole checker):"
(cd "$work/pristine" && /usr/bin/time -f 'peak %M KiB' "$PROPERTY" --repeat 5 "${CRATES[@]}") 2>&1 | grep -v '^$'

echo
"$here/verify.sh" "$work/pristine"/*
verified=$?

echo
"$here/stress.sh"
exit $verified
