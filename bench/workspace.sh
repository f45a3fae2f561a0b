#!/usr/bin/env bash
# A large cargo workspace made of Debian's published crates, for benchmarks.
#
#   bench/workspace.sh DEST
#
# Installs the librust-*-dev packages of WORKSPACE_PACKAGES that are missing
# (as root), then copies the newest version of every crate of $REGISTRY
# (default /usr/share/cargo/registry) to DEST/NAME without its
# .cargo-checksum.json (the tool leaves vendored crates alone) and makes each
# a member of one [workspace] in DEST/Cargo.toml. Left out: crates with a
# [workspace] of their own, older versions of a crate, and crates with more
# than WORKSPACE_CRATE_BYTES (default 300000) of Rust source, mostly
# generated tables and bindings that would make a run take minutes. Removed, so that a
# run over the whole tree succeeds: packages nested in a member (they are no
# members, and cargo metadata fails for their files) and files that rustfmt
# rejects under their crate's edition. Prints "N packages, M files, B bytes".
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/crate_info.sh"
REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
# Crates well known to Rust users; their dependencies come along.
WORKSPACE_PACKAGES=${WORKSPACE_PACKAGES:-"anyhow bstr chrono clap futures h2 hashbrown hyper itertools memchr nix nom
  rand rayon regex regex-syntax serde serde-json syn tempfile thiserror tokio toml tracing url uuid walkdir"}

WORKSPACE_CRATE_BYTES=${WORKSPACE_CRATE_BYTES:-300000}

[ $# -eq 1 ] || { echo "usage: $0 DEST" >&2; exit 2; }
dest=$1

missing=()
for name in $WORKSPACE_PACKAGES; do
  dpkg-query -W -f='${Status}' "librust-$name-dev" 2>/dev/null | grep -q 'ok installed' || missing+=("librust-$name-dev")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "workspace: missing packages ${missing[*]} (run as root to install them)" >&2
  else
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 ||
      { apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null; }
  fi
fi

rm -rf "$dest"
mkdir -p "$dest"
# The newest version of each crate: the last of its name in version order.
for src in $(ls -d "$REGISTRY"/*/ | sed 's:/$::' | sort -V); do
  [ -f "$src/Cargo.toml" ] || continue
  name=$(basename "$src" | sed 's/-[0-9][^-]*\(-[^-]*\)*$//')
  rm -rf "${dest:?}/$name"
  grep -q '^\[workspace' "$src/Cargo.toml" && continue
  size=$(find "$src" -name '*.rs' -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$size" -le "$WORKSPACE_CRATE_BYTES" ] || continue
  cp -R "$src" "$dest/$name"
  chmod -R u+w "$dest/$name"
  rm -f "$dest/$name/.cargo-checksum.json"
done
# Names are plain words, so the listing splits safely.
members=($(cd "$dest" && ls -d -- */ | sed 's:/$::'))
{
  echo '[workspace]'
  echo 'resolver = "2"'
  echo 'members = ['
  printf '  "%s",\n' "${members[@]}"
  echo ']'
} >"$dest/Cargo.toml"

# Nested packages are no members.
for name in "${members[@]}"; do
  find "$dest/$name" -mindepth 2 -name Cargo.toml -printf '%h\n' | sort -r | while read -r nested; do rm -rf "$nested"; done
done

# Files rustfmt rejects, found with one rustfmt per crate (its messages name
# each file it can't parse), two crates at a time.
export -f crate_edition crate_max_width
printf '%s\n' "${members[@]}" | (cd "$dest" && xargs -P 2 -I{} bash -c '
  width=$(crate_max_width {})
  find {} -name "*.rs" -type f -print0 |
    xargs -0 rustfmt --edition "$(crate_edition {})" --check \
      --config "max_width=$width,use_small_heuristics=Max,disable_all_formatting=false" 2>&1 >/dev/null |
    sed -n "s/^ *--> \(.*\.rs\):[0-9]*:[0-9]*$/\1/p" || true') | sort -u | while read -r rejected; do
  case $rejected in /*) rm -f "$rejected" ;; *) rm -f "$dest/$rejected" ;; esac
done

files=$(find "$dest" -name '*.rs' -type f | wc -l)
bytes=$(find "$dest" -name '*.rs' -type f -exec cat {} + | wc -c)
echo "${#members[@]} packages, $files files, $bytes bytes"
