#!/usr/bin/env bash
# Makes fresh copies of published crates from Debian's crate registry.
#
#   bench/corpus.sh DEST [crate ...]
#
# Each crate name (default: regex-syntax serde memchr itertools nom hashbrown)
# is copied from $REGISTRY/<name>-<version>/ (newest version present) to
# DEST/<name>, replacing any earlier copy, without its .cargo-checksum.json.
# Missing librust-*-dev packages are installed first when running as root.
# REGISTRY defaults to Debian's
# /usr/share/cargo/registry.
set -euo pipefail

REGISTRY=${REGISTRY:-/usr/share/cargo/registry}
DEFAULT_CRATES=(regex-syntax serde memchr itertools nom hashbrown)

if [ $# -lt 1 ]; then
  echo "usage: $0 DEST [crate ...]" >&2
  exit 2
fi
dest=$1
shift
crates=("$@")
[ ${#crates[@]} -gt 0 ] || crates=("${DEFAULT_CRATES[@]}")

# The newest registry directory of a crate, or nothing.
crate_source() {
  local name=$1 dir
  dir=$(ls -d "$REGISTRY/$name"-[0-9]* 2>/dev/null | sort -V | tail -n 1 || true)
  [ -n "$dir" ] && [ -f "$dir/Cargo.toml" ] && echo "$dir"
}

missing=()
for name in "${crates[@]}"; do
  crate_source "$name" >/dev/null || missing+=("librust-$name-dev")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "corpus: missing packages ${missing[*]} (run as root to install them)" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y -q "${missing[@]}" >/dev/null; then
    apt-get update -q >/dev/null
    apt-get install -y -q "${missing[@]}" >/dev/null
  fi
fi

mkdir -p "$dest"
for name in "${crates[@]}"; do
  src=$(crate_source "$name") || { echo "corpus: no crate $name in $REGISTRY" >&2; exit 2; }
  rm -rf "${dest:?}/$name"
  cp -R "$src" "$dest/$name"
  chmod -R u+w "$dest/$name"
  # The registry's copies are vendored crates, which the tool leaves alone;
  # a copy is a package of the user's own.
  rm -f "$dest/$name/.cargo-checksum.json"
done
