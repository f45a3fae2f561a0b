#!/usr/bin/env bash
# Time and peak memory of whole cargo-tersify runs on generated stress files:
# a 20 MB file, 100,000 nested blocks, one line of 8 MB and a CRLF file.
# Prints one line per case with the exit status; a run that rustfmt cannot
# take (the deep nesting overflows rustfmt's stack) must end with status 2.
#
# Environment: TERSIFY (default: the build/ tree of this checkout).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
TERSIFY=${TERSIFY:-$here/../build/src/cargo_tersify/cargo-tersify}
[ -x "$TERSIFY" ] || { echo "stress: $TERSIFY is not built" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

package() {  # package NAME: an empty package whose src/lib.rs the caller writes
  mkdir -p "$work/$1/src"
  printf '[package]\nname = "%s"\nversion = "0.1.0"\nedition = "2021"\n' "$1" >"$work/$1/Cargo.toml"
  echo "$work/$1/src/lib.rs"
}

# About 20 MB of functions as rustfmt lays them out.
awk 'BEGIN { for (i = 0; i < 225000; i++) printf "fn f%d(x: u32) -> u32 {\n    if x > %d {\n        x\n    } else {\n        0\n    }\n}\n\n", i, i }' \
  >"$(package large)"
awk 'BEGIN { printf "fn main() {\n    "; for (i = 0; i < 100000; i++) printf "{"; for (i = 0; i < 100000; i++) printf "}"; printf "\n}\n" }' \
  >"$(package nested)"
awk 'BEGIN { printf "pub const S: &str = \""; for (i = 0; i < 1048576; i++) printf "abcdefgh"; printf "\";\n" }' >"$(package long_line)"
awk 'BEGIN { for (i = 0; i < 20000; i++) printf "pub fn f%d(a: bool) {\r\n    if a {\r\n        g();\r\n    } else {\r\n        h();\r\n    }\r\n    g();\r\n}\r\n\r\n", i }' \
  >"$(package crlf)"

printf '%-10s %12s %10s %12s %8s\n' case bytes "wall s" "peak MiB" status
for name in large nested long_line crlf; do
  bytes=$(wc -c <"$work/$name/src/lib.rs")
  (cd "$work/$name" && /usr/bin/time -f '%e %M' -o "$work/time.out" "$TERSIFY" >"$work/out.txt" 2>&1)
  status=$?
  # GNU time puts "Command exited with non-zero status" first on failures.
  read -r secs mem < <(tail -n 1 "$work/time.out")
  awk -v n="$name" -v b="$bytes" -v t="$secs" -v m="$mem" -v s="$status" \
    'BEGIN { printf "%-10s %12d %10.2f %12.1f %8d\n", n, b, t, m / 1024, s }'
  [ $status -eq 0 ] || echo "    $(head -c 200 "$work/out.txt" | head -n 2)"
done
