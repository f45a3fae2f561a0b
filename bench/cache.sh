#!/usr/bin/env bash
# The result cache against `cargo fmt --check`, on published crates.
#
#   bench/cache.sh [build directory]      (default: build)
#
# The crates (CRATES, default those of e2e.sh) are copied and written once
# by the tool without its cache: a tree the tool formatted, as a user's tree
# is between runs. Then, best wall time of RUNS (default 3) with CPU time:
#   `cargo fmt --check` in every pristine crate (the reference);
#   check mode on all cores with an empty cache;
#   the same with a warm cache on the unchanged tree;
#   the same with one file changed since the last run (a new comment line
#   at the end of one file each time, so it is always a miss);
# with each ratio to `cargo fmt --check`, and the fixed cost of a served run
# (an empty file) beside a plain start (tersify_fork_server_bench).
#
# Environment: TERSIFY, FORK_BENCH, REGISTRY, RUNS, CRATES.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "cache: no build directory ${1:-build}" >&2; exit 2; }
TERSIFY=${TERSIFY:-$build/src/cargo_tersify/cargo-tersify}
FORK_BENCH=${FORK_BENCH:-$build/bench/tersify_fork_server_bench}
RUNS=${RUNS:-3}
export REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
read -r -a CRATES <<<"${CRATES:-regex-syntax serde memchr itertools nom hashbrown h2 tokio}"
for tool in "$TERSIFY" "$FORK_BENCH"; do
  [ -x "$tool" ] || { echo "cache: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/corpus.sh" "$work/pristine" "${CRATES[@]}" || exit 2
cp -R "$work/pristine" "$work/tidy"
(cd "$work/tidy" && CARGO_TERSIFY_CACHE=0 "$TERSIFY" "${CRATES[@]}") || { echo "cache: the write failed" >&2; exit 1; }
files=$(cd "$work/tidy" && find "${CRATES[@]}" -name target -prune -o -name '.*' -prune -o -name '*.rs' -type f -print | wc -l)
changed=$(cd "$work/tidy" && find "${CRATES[0]}" -name '*.rs' -type f | sort | head -n 1)

declare -A TIME CPU
# measure KEY LABEL DIR PREPARE COMMAND...: best wall time over RUNS, with its
# CPU time (user + system, children included); PREPARE runs before each run.
measure() {
  local key=$1 label=$2 dir=$3 prepare=$4 run secs user sys best=""
  shift 4
  for run in $(seq "$RUNS"); do
    eval "$prepare"
    (cd "$dir" && /usr/bin/time -f '%e %U %S' -o "$work/time.out" "$@" >/dev/null 2>&1)
    read -r secs user sys < <(tail -n 1 "$work/time.out")
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$secs
      CPU[$key]=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    fi
  done
  TIME[$key]=$best
  local ratio=""
  [ -n "${TIME[fmt]:-}" ] && ratio=$(awk -v a="$best" -v b="${TIME[fmt]}" 'BEGIN { printf "%.2fx cargo fmt --check", a / b }')
  awk -v l="$label" -v t="$best" -v c="${CPU[$key]}" -v r="$ratio" -v f="$files" \
    'BEGIN { printf "%-40s %6.2f s  cpu %6.2f s (%5.1f ms/file)  %s\n", l, t, c, 1000 * c / f, r }'
}

echo "${CRATES[*]}: $files files; best of $RUNS runs; $(nproc) CPUs"
echo 'for crate in "$@"; do (cd "$crate" && cargo fmt --all --check >/dev/null 2>&1); done; exit 0' >"$work/cargo_fmt.sh"
measure fmt "cargo fmt --check" "$work/pristine" : bash "$work/cargo_fmt.sh" "${CRATES[@]}"
export XDG_CACHE_HOME=$work/cache CARGO_TERSIFY_CACHE=1
measure empty "check, empty cache" "$work/tidy" 'rm -rf "$work/cache"' "$TERSIFY" --check "${CRATES[@]}"
(cd "$work/tidy" && "$TERSIFY" --check "${CRATES[@]}" >/dev/null 2>&1)
measure warm "check, warm cache, unchanged" "$work/tidy" : "$TERSIFY" --check "${CRATES[@]}"
count=0
measure one "check, warm cache, one file changed" "$work/tidy" \
  'count=$((count + 1)); echo "// change $count" >>"$work/tidy/$changed"' "$TERSIFY" --check "${CRATES[@]}"
echo "  (the changed file: $changed)"
echo
echo "served run's fixed cost (tersify_fork_server_bench):"
"$FORK_BENCH" 30 | grep -E "server start|empty" | sed 's/^/  /'
