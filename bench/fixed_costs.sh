#!/usr/bin/env bash
# The fixed costs of a call, as in an editor's format on save and a
# pre-commit hook:
#   the filter on a buffer the cache knows, and on an edited buffer (a new
#   comment line each time), beside one plain `rustfmt` run on the same text;
#   the check of an unchanged tree with a warm cache beside `cargo fmt
#   --check` of the same tree formatted by `cargo fmt`, on a single crate
#   and on a large workspace;
# with the ratios against the targets.
#
#   bench/fixed_costs.sh [build directory]      (default: build)
#
# Environment: CRATE (default tokio), WORKSPACE (a tree from
# bench/workspace.sh; made in a scratch folder when not given), RUNS (the
# filter runs RUNS x 10 times, the checks RUNS x 3 times; best of each),
# TERSIFY, FILTER, REGISTRY.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
. "$here/timing.sh"
build=$(cd "${1:-$here/../build}" 2>/dev/null && pwd) || { echo "fixed costs: no build directory ${1:-build}" >&2; exit 2; }
TERSIFY=${TERSIFY:-$build/src/cargo_tersify/cargo-tersify}
FILTER=${FILTER:-$build/src/tersify_rustfmt/tersify-rustfmt}
CRATE=${CRATE:-tokio}
RUNS=${RUNS:-3}
export REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
for tool in "$TERSIFY" "$FILTER"; do
  [ -x "$tool" ] || { echo "fixed costs: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache CARGO_TERSIFY_CACHE=1
"$here/corpus.sh" "$work/crate" "$CRATE" || exit 2
if [ -z "${WORKSPACE:-}" ]; then
  WORKSPACE=$work/workspace
  "$here/workspace.sh" "$WORKSPACE" >/dev/null || exit 2
fi

# tidy_copy SOURCE DEST: a copy that the tool wrote (filling the caches) and
# one that cargo fmt wrote, DEST and DEST.fmt.
tidy_copy() {
  rm -rf "$2" "$2.fmt"
  cp -R "$1" "$2"
  cp -R "$1" "$2.fmt"
  (cd "$2" && "$TERSIFY" . >/dev/null 2>&1) || { echo "fixed costs: the tool's write of $1 failed" >&2; exit 1; }
  (cd "$2.fmt" && cargo fmt --all >/dev/null 2>&1)
  (cd "$2" && "$TERSIFY" --check . >/dev/null 2>&1)
}
tidy_copy "$work/crate/$CRATE" "$work/tidy"

# A file of the crate of about 4 kB, as typical a buffer as any.
buffer=$(cd "$work/tidy" && find . -name '*.rs' -type f -size -8k -printf '%s %p\n' |
  awk '{ d = $1 - 4096; if (d < 0) d = -d; print d, $2 }' | sort -n | head -n 1 | cut -d' ' -f2)
edition=$(crate_edition "$work/tidy")
folder=$work/tidy/$(dirname "$buffer")
cp "$work/tidy/$buffer" "$work/known.rs"
cp "$work/tidy/$buffer" "$work/edited.rs"
# The cache learns the buffer as the editor sends it.
(cd "$folder" && "$FILTER" --stdin-filename "$work/tidy/$buffer" <"$work/known.rs" >/dev/null)

filter_runs=$((RUNS * 10))
echo "filter: $CRATE's $buffer ($(wc -c <"$work/known.rs") bytes), best of $filter_runs runs; load $(cut -d' ' -f1-3 /proc/loadavg)"
cd "$folder" || exit 2
known=$(INPUT=$work/known.rs best_ms "$filter_runs" "$FILTER" --stdin-filename "$work/tidy/$buffer")
count=0
edit='count=$((count + 1)); echo "// edit $count $RANDOM" >>"$work/edited.rs"'
edited=$(PREPARE=$edit INPUT=$work/edited.rs best_ms "$filter_runs" "$FILTER" --stdin-filename "$work/tidy/$buffer")
plain=$(PREPARE=$edit INPUT=$work/edited.rs best_ms "$filter_runs" rustfmt --edition "$edition" --emit stdout)
cd "$work" || exit 2
printf '  %-44s %8.1f ms   (target: at most 15 ms)\n' "buffer the cache knows" "$known"
printf '  %-44s %8.1f ms   %.2fx plain rustfmt (target: at most 2.3x)\n' "edited buffer" "$edited" \
  "$(ratio_of "$edited" "$plain")"
printf '  %-44s %8.1f ms\n' "one plain rustfmt run on the same text" "$plain"

# warm_check LABEL DIR CARGO_FMT_ARGS TARGET: the warm check of DIR beside
# cargo fmt --check of DIR.fmt.
warm_check() {
  local label=$1 dir=$2 fmt_args=$3 target=$4 runs=$((RUNS * 3))
  local warm cargo
  warm=$(cd "$dir" && best_ms "$runs" "$TERSIFY" --check .)
  cargo=$(cd "$dir.fmt" && best_ms "$RUNS" cargo fmt $fmt_args --check)
  printf '  %-44s %8.1f ms   cargo fmt %s--check %8.1f ms   %.3fx (target: at most %s)\n' "$label" "$warm" \
    "${fmt_args:+$fmt_args }" "$cargo" "$(ratio_of "$warm" "$cargo")" "$target"
}
echo "warm check of an unchanged tree, best of $((RUNS * 3)) (cargo fmt: of $RUNS):"
warm_check "$CRATE ($(find "$work/tidy" -name '*.rs' | wc -l) files)" "$work/tidy" "" 0.1
tidy_copy "$WORKSPACE" "$work/ws"
members=$(grep -c '^  "' "$work/ws/Cargo.toml")
warm_check "workspace ($members packages, $(find "$work/ws" -name '*.rs' | wc -l) files)" "$work/ws" --all 0.05
