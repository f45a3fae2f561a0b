#!/usr/bin/env bash
# End-to-end benchmark of cargo-tersify on published crates.
#
#   bench/e2e.sh [build directory]      (default: build)
#
# Corpus: fresh copies of regex-syntax, serde, memchr, itertools, nom,
# hashbrown, h2 and tokio (tracing macros in closures) from Debian's registry.
# Measures, best of RUNS (default 3), wall time, CPU time (user + system,
# children included), files per second and peak memory (the largest process):
#   (a) the floor: a shell loop running rustfmt once per file with the very
#       arguments and standard input the tool uses;
#   check mode on the pristine corpus:
#   (b) the plain pipeline: one file at a time, a fresh rustfmt per text
#       (CARGO_TERSIFY_JOBS=1 CARGO_TERSIFY_FORK_SERVER=0 CARGO_TERSIFY_BATCH=0);
#   (c) one worker, batches through the fork server (CARGO_TERSIFY_JOBS=1);
#   (d) all cores, batches through the fork server (the default);
#   (e) all cores, batches by fresh rustfmt runs (CARGO_TERSIFY_FORK_SERVER=0);
#   (f) `cargo fmt --check` in every crate;
#   write mode on fresh copies, each followed by a --check that must report
#   nothing: (g) plain, (h) served batches one worker, (i) default;
# then ratios against the targets, the files that needed more than one pass,
# the cost of a server start against a plain start, a projection to 16 cores,
# `compact` alone, the result cache (bench/cache.sh), bench/verify.sh over all crates, and bench/stress.sh.
#
# Then, on a single crate and on a large workspace (bench/workspace.sh, made
# once for both): the fixed costs of a call (bench/fixed_costs.sh: the filter
# on a known and on an edited buffer beside one plain rustfmt run, the warm
# check beside `cargo fmt --check`) and the cold runs
# (bench/cold.sh: the empty-cache check, `cargo fmt --all
# --check`, rustfmt alone as the floor, the first write beside `cargo fmt
# --all`, the 20 MB file beside rustfmt, with CPU time).
#
# Environment: TERSIFY, TOKEN_CHECK, PROPERTY, FORK_BENCH (the built tools,
# default the build directory of this checkout), REGISTRY, RUNS, PARTS (the
# parts to run, default "crates fixed cold": "crates" is everything before
# the workspace), WORKSPACE (a tree from bench/workspace.sh to use, left
# untouched; made in the scratch folder when not given).
#
# Quick figures, in a few minutes: RUNS=1 PARTS=fixed (the fixed costs
# alone), RUNS=1 PARTS="fixed cold" (with the cold runs).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "e2e: no build directory ${1:-build}" >&2; exit 2; }
export TERSIFY=${TERSIFY:-$build/src/cargo_tersify/cargo-tersify}
export TOKEN_CHECK=${TOKEN_CHECK:-$build/bench/tersify-token-check}
PROPERTY=${PROPERTY:-$build/bench/tersify-compact-property}
FORK_BENCH=${FORK_BENCH:-$build/bench/tersify_fork_server_bench}
RUNS=${RUNS:-3}
export REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
# Every run formats; the cache has its own figures (bench/cache.sh).
export CARGO_TERSIFY_CACHE=0
CRATES=(regex-syntax serde memchr itertools nom hashbrown h2 tokio)
CPUS=$(nproc)

for tool in "$TERSIFY" "$TOKEN_CHECK" "$PROPERTY" "$FORK_BENCH"; do
  [ -x "$tool" ] || { echo "e2e: $tool is not built" >&2; exit 2; }
done
if [ ! -x /usr/bin/time ]; then
  [ "$(id -u)" -eq 0 ] || { echo "e2e: /usr/bin/time missing (package time)" >&2; exit 2; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PARTS=" ${PARTS:-crates fixed cold} "

# The fixed costs and the cold runs, on one large workspace.
workspace_parts() {
  [[ $PARTS == *" fixed "* || $PARTS == *" cold "* ]] || return 0
  local made status=0 workspace=${WORKSPACE:-}
  if [ -n "$workspace" ]; then
    made="$(grep -c '^  "' "$workspace/Cargo.toml") packages, $(find "$workspace" -name '*.rs' -type f | wc -l) files (given)"
  else
    workspace=$work/workspace
    made=$("$here/workspace.sh" "$workspace") || return 2
  fi
  echo
  echo "large workspace (bench/workspace.sh): $made"
  if [[ $PARTS == *" fixed "* ]]; then
    echo
    echo "fixed costs of a call (bench/fixed_costs.sh):"
    WORKSPACE=$workspace TERSIFY=$TERSIFY RUNS=$RUNS "$here/fixed_costs.sh" "$build" | sed 's/^/  /'
    status=$((status | PIPESTATUS[0]))
  fi
  if [[ $PARTS == *" cold "* ]]; then
    echo
    echo "cold runs on the workspace (bench/cold.sh):"
    WORKSPACE=$workspace TERSIFY=$TERSIFY RUNS=$RUNS "$here/cold.sh" "$build" | sed 's/^/  /'
    status=$((status | PIPESTATUS[0]))
  fi
  return $status
}
if [[ $PARTS != *" crates "* ]]; then
  workspace_parts
  exit $?
fi

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

declare -A TIME CPU MEM
# measure KEY LABEL MODE STATUS COMMAND...: best wall time over RUNS with its
# CPU time and peak memory. MODE "fresh" runs on a new copy of the corpus,
# "check-after" does that and then requires a silent --check on the result;
# STATUS is the expected exit status. FILES (default the corpus) gives the
# files per second.
measure() {
  local key=$1 label=$2 mode=$3 expected=$4 count=${FILES:-$files}
  shift 4
  local best="" run status secs user sys mem
  for run in $(seq "$RUNS"); do
    local dir=$work/pristine
    if [ "$mode" != pristine ]; then
      dir=$work/run
      rm -rf "$dir"
      cp -R "$work/pristine" "$dir"
    fi
    (cd "$dir" && CARGO_TERSIFY_STATS=$work/stats /usr/bin/time -f '%e %U %S %M' -o "$work/time.out" "$@" \
      >"$work/out.txt" 2>&1)
    status=$?
    if [ "$status" -ne "$expected" ]; then
      echo "$label: exited $status: $(head -c 300 "$work/out.txt")"
      return 1
    fi
    if [ "$mode" = check-after ]; then
      local after
      after=$(cd "$dir" && "$TERSIFY" --check "${CRATES[@]}" 2>&1)
      [ -z "$after" ] || echo "$label: --check after the write reported: $(head -c 300 <<<"$after")"
      cp "$work/stats" "$work/stats.$key"
    fi
    read -r secs user sys mem < <(tail -n 1 "$work/time.out")
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$secs
      CPU[$key]=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
      MEM[$key]=$mem
    fi
  done
  TIME[$key]=$best
  awk -v l="$label" -v t="$best" -v c="${CPU[$key]}" -v m="${MEM[$key]}" -v f="$count" \
    'BEGIN { printf "%-44s %7.2f s  cpu %7.2f s  %7.1f files/s  peak %6.1f MiB\n", l, t, c, (t > 0 ? f / t : 0), m / 1024 }'
}

# cargo fmt --check, once per crate, as a user would run it.
{
  echo 'for crate in "$@"; do (cd "$crate" && cargo fmt --all --check >/dev/null 2>&1); done; exit 0'
} >"$work/cargo_fmt.sh"

echo "corpus: ${CRATES[*]}: $files files, $bytes bytes; best of $RUNS runs; $CPUS CPUs"
measure a "(a) rustfmt per file (floor)" pristine 0 bash "$work/floor.sh" || exit 1
echo "check mode:"
measure b "(b) plain: one job, fresh rustfmt" pristine 1 \
  env CARGO_TERSIFY_JOBS=1 CARGO_TERSIFY_FORK_SERVER=0 CARGO_TERSIFY_BATCH=0 "$TERSIFY" --check "${CRATES[@]}" || exit 1
measure c "(c) served batches, one worker" pristine 1 env CARGO_TERSIFY_JOBS=1 "$TERSIFY" --check "${CRATES[@]}" || exit 1
measure d "(d) served batches, all cores" pristine 1 "$TERSIFY" --check "${CRATES[@]}" || exit 1
measure e "(e) fresh batches, all cores" pristine 1 \
  env CARGO_TERSIFY_FORK_SERVER=0 "$TERSIFY" --check "${CRATES[@]}" || exit 1
measure f "(f) cargo fmt --check" pristine 0 bash "$work/cargo_fmt.sh" "${CRATES[@]}" || exit 1
echo "write mode, then --check:"
measure g "(g) plain: one job, fresh rustfmt" check-after 0 \
  env CARGO_TERSIFY_JOBS=1 CARGO_TERSIFY_FORK_SERVER=0 CARGO_TERSIFY_BATCH=0 "$TERSIFY" "${CRATES[@]}" || exit 1
measure h "(h) served batches, one worker" check-after 0 env CARGO_TERSIFY_JOBS=1 "$TERSIFY" "${CRATES[@]}" || exit 1
measure i "(i) served batches, all cores" check-after 0 "$TERSIFY" "${CRATES[@]}" || exit 1

ratio() { awk -v a="${TIME[$1]}" -v b="${TIME[$2]}" 'BEGIN { printf "%.3f", a / b }'; }
echo
echo "ratios:"
echo "  plain pipeline / floor (b)/(a):                 $(ratio b a)"
echo "  fork server, one job / floor (c)/(a):           $(ratio c a)   (target: at most 0.35)"
echo "  all cores / floor (d)/(a):                      $(ratio d a)   (target: at most 0.2)"
echo "  one job / all cores (c)/(d):                    $(ratio c d)   (target: at least 1.7 on 2 CPUs)"
echo "  fresh rustfmt / fork server, all cores (e)/(d): $(ratio e d)"
echo "  all cores / cargo fmt --check (d)/(f):          $(ratio d f)"
echo "  write / check, all cores (i)/(d):               $(ratio i d)"
settled=$(awk '$1 == "settled_files" { print $2 }' "$work/stats.i")
extra=$(awk '$1 == "extra_passes" { print $2 }' "$work/stats.i")
awk -v s="$settled" -v x="$extra" -v f="$files" -v w="${TIME[i]}" -v c="${TIME[d]}" -v g="${TIME[g]}" -v b="${TIME[b]}" \
  'BEGIN { printf "settling: %d of %d files needed more than one pass (%d passes more); write mode costs %.2f s more than check mode with all cores, %.2f s in the plain pipeline (the second run that confirms every changed file included)\n", s, f, x, w - c, g - b }'

echo
echo "server start against a plain start (tersify_fork_server_bench):"
"$FORK_BENCH" 30 | sed 's/^/  /'

# The longest single file bounds a run on any number of cores.
largest=$(cd "$work/pristine" && find "${CRATES[@]}" -name '*.rs' -type f -printf '%s %p\n' | sort -n | tail -n 1 | cut -d' ' -f2)
FILES=1 measure l "longest file alone ($largest)" pristine 1 env CARGO_TERSIFY_JOBS=1 "$TERSIFY" --check "$largest" >"$work/largest.txt" || exit 1
sed 's/^/  /' "$work/largest.txt"
awk -v cpu="${CPU[d]}" -v t1="${TIME[l]}" -v f="${TIME[f]}" -v n="$CPUS" -v d="${TIME[d]}" 'BEGIN {
  p = cpu / 16; if (p < t1) p = t1
  printf "projection to 16 cores: %.2f s (CPU time of (d) over 16, at least the longest file alone), against %.2f s for cargo fmt --check; measured %.2f s on %d CPUs\n", p, f, d, n
}'

echo
echo "compact alone (rustfmt output of every file, compacted 5 times; peak memory of the whole checker):"
(cd "$work/pristine" && /usr/bin/time -f 'peak %M KiB' "$PROPERTY" --repeat 5 "${CRATES[@]}") 2>&1 | grep -v '^$'

echo
echo "result cache against cargo fmt --check (bench/cache.sh):"
CRATES="${CRATES[*]}" TERSIFY=$TERSIFY FORK_BENCH=$FORK_BENCH "$here/cache.sh" "$build" | sed 's/^/  /'

echo
"$here/verify.sh" "$work/pristine"/*
verified=$?

echo
"$here/stress.sh"
workspace_parts || verified=1
exit $verified
