#!/usr/bin/env bash
# Verifies cargo-tersify on published crates.
#
#   bench/verify.sh CRATE_DIR ...
#
# For each crate: a fresh copy is made and rewritten by cargo-tersify in write
# mode; then
#   (a) `cargo-tersify --check` on the copy must exit 0 and print nothing,
#   (b) `cargo check --offline` must still build it, with its dependencies
#       taken from Debian's crate registry (a crate that does not build from
#       that registry before the rewrite is reported "not checkable"),
#   (c) every file must keep the tokens of rustfmt's own output for it, apart
#       from "," dropped before "}" (tersify-token-check); a file that settled
#       only after more passes is held against rustfmt's output for its
#       written text.
# VERIFY_BUILD=0 skips (b).
# Exits 1 when any crate fails.
#
# Environment: TERSIFY (the cargo-tersify binary), TOKEN_CHECK (the
# tersify-token-check binary), both defaulting to the build/ tree of this
# checkout; REGISTRY (default /usr/share/cargo/registry); WORK_DIR (kept when
# given, a removed temporary directory otherwise).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
TERSIFY=${TERSIFY:-$here/../build/src/cargo_tersify/cargo-tersify}
TOKEN_CHECK=${TOKEN_CHECK:-$here/../build/bench/tersify-token-check}
REGISTRY=${REGISTRY:-/usr/share/cargo/registry}

if [ $# -lt 1 ]; then
  echo "usage: $0 CRATE_DIR ..." >&2
  exit 2
fi
for tool in "$TERSIFY" "$TOKEN_CHECK"; do
  [ -x "$tool" ] || { echo "verify: $tool is not built" >&2; exit 2; }
done
TERSIFY=$(cd "$(dirname "$TERSIFY")" && pwd)/$(basename "$TERSIFY")
TOKEN_CHECK=$(cd "$(dirname "$TOKEN_CHECK")" && pwd)/$(basename "$TOKEN_CHECK")

if [ -n "${WORK_DIR:-}" ]; then
  work=$WORK_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
export CARGO_TARGET_DIR=$work/target

failures=0
fail() {
  echo "$1: FAIL: $2"
  failures=$((failures + 1))
}

for crate in "$@"; do
  name=$(basename "$crate")
  name=${name%-[0-9]*}
  if [ ! -f "$crate/Cargo.toml" ]; then
    fail "$name" "no Cargo.toml in $crate"
    continue
  fi
  original=$work/original/$name
  expected=$work/expected/$name
  copy=$work/copy/$name
  rm -rf "$original" "$expected" "$copy"
  mkdir -p "$work/original" "$work/expected" "$work/copy"
  cp -R "$crate" "$original"
  chmod -R u+w "$original"
  rm -f "$original/.cargo-checksum.json"  # a registry crate is vendored code
  use_debian_registry "$original" "$REGISTRY"
  cp -R "$original" "$copy"
  cp -R "$original" "$expected"

  # What rustfmt alone makes of each file, run the way the tool runs it (same
  # edition, width, options and working directory): the token reference.
  edition=$(crate_edition "$original")
  width=$(crate_max_width "$original")
  config="max_width=$width,use_small_heuristics=Max,disable_all_formatting=false"
  files=$(cd "$original" && find . -name target -prune -o -name '.*' ! -name . -prune -o -name '*.rs' -type f -print)
  nfiles=0
  rejected=""
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    nfiles=$((nfiles + 1))
    if ! (cd "$original" && rustfmt --edition "$edition" --emit stdout --config "$config" <"$file" >"$expected/$file" 2>/dev/null); then
      rejected="$rejected $file"
    fi
  done <<<"$files"

  # Whether the untouched crate builds from the registry at all.
  checkable=yes
  if [ "${VERIFY_BUILD:-1}" = 0 ]; then
    checkable="not built (VERIFY_BUILD=0)"
  elif ! (cd "$original" && cargo check --offline -q >"$work/$name.check-before.log" 2>&1); then
    checkable="not checkable: $(grep -m1 -E '^error' "$work/$name.check-before.log" || echo 'cargo check fails before the rewrite')"
  fi

  (cd "$copy" && "$TERSIFY" >"$work/$name.write.out" 2>&1)
  status=$?
  if [ -n "$rejected" ]; then
    # The tool must stop with status 2 on the first file rustfmt rejects.
    [ $status -eq 2 ] || fail "$name" "rustfmt rejects$rejected but the write run exited $status"
    echo "$name: rustfmt rejects$rejected; the write run stopped with status $status"
    continue
  fi
  if [ $status -ne 0 ] || [ -s "$work/$name.write.out" ]; then
    fail "$name" "write run exited $status: $(head -c 300 "$work/$name.write.out")"
    continue
  fi

  (cd "$copy" && "$TERSIFY" --check >"$work/$name.check.out" 2>&1)
  status=$?
  if [ $status -ne 0 ] || [ -s "$work/$name.check.out" ]; then
    fail "$name" "layout not stable: --check exited $status: $(head -c 300 "$work/$name.check.out")"
  fi

  built="cargo check passed"
  if [ "$checkable" = yes ]; then
    if ! (cd "$copy" && cargo check --offline -q >"$work/$name.check-after.log" 2>&1); then
      fail "$name" "cargo check fails after the rewrite: $(grep -m1 -E '^error' "$work/$name.check-after.log")"
      built="cargo check FAILED"
    fi
  else
    built=$checkable
  fi

  # A file that took more than one pass in write mode also carries what
  # rustfmt changed on the second (the braces of a joined closure body): its
  # tokens are held against rustfmt's output for the written text instead.
  # Compaction's own token rules are checked per pass by the property check.
  resettled=0
  if ! "$TOKEN_CHECK" "$expected" "$copy" >"$work/$name.tokens.out" 2>/dev/null; then
    : >"$work/$name.tokens.left"
    while IFS= read -r line; do
      file=${line%%: *}
      [ -f "$file" ] || file=$copy/$file
      again=$work/$name.again.rs
      if [ -f "$file" ] &&
        (cd "$copy" && rustfmt --edition "$edition" --emit stdout --config "$config" <"$file" >"$again" 2>/dev/null) &&
        "$TOKEN_CHECK" "$again" "$file" >/dev/null 2>&1; then
        resettled=$((resettled + 1))
      else
        echo "$line" >>"$work/$name.tokens.left"
      fi
    done <"$work/$name.tokens.out"
    if [ -s "$work/$name.tokens.left" ]; then
      fail "$name" "token check:"
      sed 's/^/    /' "$work/$name.tokens.left" | head -n 20
    fi
  fi
  changed=$(diff -rq "$expected" "$copy" | grep -c '\.rs ' || true)
  echo "$name: $nfiles files, $changed changed by compaction beyond rustfmt ($resettled also by rustfmt's second pass), $built"
done

if [ $failures -gt 0 ]; then
  echo "verify: $failures failure(s)"
  exit 1
fi
echo "verify: all crates passed"
