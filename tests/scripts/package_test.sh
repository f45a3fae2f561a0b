#!/usr/bin/env bash
# Builds the Debian package from a build directory, checks its control fields
# and contents, then unpacks it and runs both executables from the unpacked
# tree on a small crate.
#
#   tests/scripts/package_test.sh BUILD_DIR VERSION
set -u
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
}
debs=("$work"/out/cargo-tersify_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package in $work/out"; exit 1; }
deb=${debs[0]}
expect_eq "file name" "$(basename "$deb")" "cargo-tersify_${version}_$(dpkg --print-architecture).deb"

field() { dpkg-deb --field "$deb" "$1"; }
expect_eq Package "$(field Package)" cargo-tersify
expect_eq Version "$(field Version)" "$version"
expect_eq Architecture "$(field Architecture)" "$(dpkg --print-architecture)"
expect_eq Section "$(field Section)" devel
[ -n "$(field Maintainer)" ] || fail "Maintainer: empty"
# dpkg-shlibdeps fills Depends with what the executables load.
depends=$(field Depends)
depended=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
for library in libc6 libstdc++6; do
  grep -qxF "$library" <<<"$depended" || fail "Depends lacks $library: $depends"
done
grep -qxE 'rustfmt|cargo|rustc' <<<"$depended" && fail "Depends names a Debian toolchain: $depends"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
expect_eq contents "$contents" "./usr/
./usr/bin/
./usr/bin/cargo-tersify
./usr/bin/tersify-rustfmt"

dpkg-deb -x "$deb" "$work/root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
bin=$work/root/usr/bin

# A small crate, in edition 2015 where `async` is an identifier.
crate=$work/crate
mkdir -p "$crate/src"
printf '[package]\nname = "small"\nversion = "0.1.0"\nedition = "2015"\n' >"$crate/Cargo.toml"
source='fn  main( ){let async=1;if async>0 {println!("{}",async);} else {println!("none");} drop(async);}'
printf '%s\n' "$source" >"$crate/src/main.rs"

out=$(cd "$crate" && "$bin/cargo-tersify" --check 2>&1)
expect_eq "cargo-tersify --check status" $? 1
expect_eq "cargo-tersify --check report" "$out" "would update $(cd "$crate" && pwd -P)/rustfmt.toml
would reformat ./src/main.rs"

out=$(cd "$crate" && "$bin/cargo-tersify" 2>&1)
expect_eq "cargo-tersify status" $? 0
expect_eq "cargo-tersify output" "$out" ""
written=$(cat "$crate/src/main.rs")
expect_eq "written file" "$written" 'fn main() {
    let async = 1;
    if async > 0 { println!("{}", async); }
    else { println!("none"); }
    drop(async);
}'

# The filter, as an editor runs it in the file's folder, gives the same text.
filtered=$(cd "$crate/src" && printf '%s\n' "$source" | "$bin/tersify-rustfmt")
expect_eq "tersify-rustfmt status" $? 0
expect_eq "tersify-rustfmt output" "$filtered" "$written"

# cargo finds the subcommand on PATH; nothing is left to do.
out=$(cd "$crate" && PATH="$bin:$PATH" cargo tersify --check 2>&1)
expect_eq "cargo tersify --check status" $? 0
expect_eq "cargo tersify --check output" "$out" ""

echo "package test: $failures failed"
[ $failures -eq 0 ]
