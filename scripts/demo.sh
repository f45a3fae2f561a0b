#!/bin/sh
# Shows cargo-tersify at work: runs `cargo tersify` on a copy of the demo
# package and prints the file before and after, then has tersify-rustfmt
# format the original text from standard input as an editor would.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$here/examples/demo" "$work/demo"
cd "$work/demo"
echo "--- src/main.rs before"
cat src/main.rs
cargo tersify
echo "--- src/main.rs after \`cargo tersify\`"
cat src/main.rs
echo "--- rustfmt.toml"
cat rustfmt.toml
cargo tersify --check && echo "--- \`cargo tersify --check\`: nothing left to reformat"
if tersify-rustfmt <"$here/examples/demo/src/main.rs" | cmp -s - src/main.rs; then
  echo "--- \`tersify-rustfmt\` (format on save) gives the same text for the original on standard input"
else
  echo "tersify-rustfmt gave another text than cargo tersify" >&2
  exit 1
fi
