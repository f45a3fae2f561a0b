#!/bin/sh
# Shows cargo-tersify at work: runs `cargo tersify` on a copy of the demo
# package and prints the file before and after.
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
