#!/usr/bin/env bash
# Drives tersify-token-check over pairs of Rust files: legal compactions pass,
# and each kind of damage the compaction pass must never do is reported with
# exactly one line for the damaged file.
set -u
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

expect() {  # expect STATUS LINE-PATTERN ORIGINAL COMPACTED
  local want=$1 pattern=$2 out status
  out=$("$check" "$3" "$4" 2>/dev/null)
  status=$?
  if [ $status -ne "$want" ]; then
    echo "FAIL: $3 -> $4: status $status, expected $want; output: $out"
    failures=$((failures + 1))
  elif [ -n "$pattern" ] && ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAIL: $3 -> $4: output '$out' does not match '$pattern'"
    failures=$((failures + 1))
  elif [ -z "$pattern" ] && [ -n "$out" ]; then
    echo "FAIL: $3 -> $4: unexpected output '$out'"
    failures=$((failures + 1))
  fi
}

cat >"$dir/in.rs" <<'RS'
enum E {
    A,
    B,
}
fn f(x: i32) -> &'static str {
    let s = "a, }";
    let r = r#"b, }"#;
    let c = ',';
    // keep me
    g(
        1,
        2,
    );
    if x > 0 {
        s
    } else {
        r
    }
}
RS

# Joined lines, "," before "}" dropped outside literals, else moved: legal.
cat >"$dir/good.rs" <<'RS'
enum E { A, B }
fn f(x: i32) -> &'static str {
    let s = "a, }";
    let r = r#"b, }"#;
    let c = ',';
    // keep me
    g( 1, 2,);
    if x > 0 { s }
    else { r }
}
RS
expect 0 "" "$dir/in.rs" "$dir/good.rs"
expect 0 "" "$dir/in.rs" "$dir/in.rs"

# Each damaged variant: the sed edit of good.rs and the verdict expected.
damage() {  # damage NAME SED-SCRIPT PATTERN
  sed "$2" "$dir/good.rs" >"$dir/$1.rs"
  expect 1 "^$dir/$1.rs: .*$3" "$dir/in.rs" "$dir/$1.rs"
}
damage string_literal 's/"a, }"/"a }"/' 'token `a, }` became `a }`'
damage raw_string_literal 's/r#"b, }"#/r#"b }"#/' 'became'
damage char_literal "s/','/' '/" 'became'
damage comma_before_paren 's/2,)/2)/' 'token `,` became `\)`'
damage comment 's|// keep me|// kept|' 'token `// keep me` became|token `keep me` became'
damage dropped_token 's/let c/c/' 'token `let` became `c`'
damage added_token 's/g( 1/g( 0, 1/' 'became'
damage truncated '$d' 'is missing from the output'
damage broken_brace 's/enum E { A, B }/enum E { A, B/' 'became|missing|grew'

# A comma dropped inside a macro's braces is a violation, since a
# macro_rules pattern can require it; outside macros it is legal.
printf 'fn f() {\n    names! {\n        a,\n    }\n    S {\n        b,\n    };\n}\n' >"$dir/macro_in.rs"
printf 'fn f() {\n    names! { a }\n    S { b };\n}\n' >"$dir/macro_out.rs"
summary=$("$check" "$dir/macro_in.rs" "$dir/macro_out.rs" 2>&1 >/dev/null)
if ! grep -q "1 failed; 1 commas dropped" <<<"$summary"; then
  echo "FAIL: macro comma count: $summary"
  failures=$((failures + 1))
fi

# Directory trees: pairs by relative path, one line per failing file, and a
# file that the compacted tree lacks is a failure too.
mkdir -p "$dir/a/src/sub" "$dir/b/src/sub" "$dir/a/src/gone" "$dir/b/src/gone"
cp "$dir/in.rs" "$dir/a/src/lib.rs"
cp "$dir/good.rs" "$dir/b/src/lib.rs"
cp "$dir/in.rs" "$dir/a/src/sub/bad.rs"
cp "$dir/comment.rs" "$dir/b/src/sub/bad.rs"
cp "$dir/in.rs" "$dir/a/src/gone/missing.rs"
out=$("$check" "$dir/a" "$dir/b" 2>/dev/null)
status=$?
lines=$(grep -c . <<<"$out")
if [ $status -ne 2 ] || [ "$lines" -ne 2 ] || ! grep -q "^$dir/b/src/sub/bad.rs: token" <<<"$out" ||
  ! grep -q "^$dir/b/src/gone/missing.rs: can't read" <<<"$out"; then
  echo "FAIL: directory mode: status $status, output: $out"
  failures=$((failures + 1))
fi
rm "$dir/a/src/gone/missing.rs"
expect 1 "^$dir/b/src/sub/bad.rs: " "$dir/a" "$dir/b"
expect 2 "" "$dir/a" "$dir/good.rs"

echo "token check verdicts: $failures failed"
[ $failures -eq 0 ]
