#!/usr/bin/env bash
# The hooks of .pre-commit-hooks.yaml, run by the pre-commit framework on a
# real git repository: a project's .pre-commit-config.yaml references a
# local repository that holds this checkout's hook definition (so no network
# is needed), installs pre-commit's git hook, and commits.
#
#   tests/scripts/pre_commit_test.sh SOURCE_DIR FOLDER_OF_CARGO_TERSIFY
set -u
source=$1
export PATH="$(cd "$2" && pwd):$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Nothing of the user's own git or pre-commit setup takes part.
export PRE_COMMIT_HOME="$work/cache" GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1
export GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@example.invalid
export GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@example.invalid

hooks=$work/hooks
git init -q "$hooks"
cp "$source/.pre-commit-hooks.yaml" "$hooks/"
git -C "$hooks" add .pre-commit-hooks.yaml
git -C "$hooks" commit -qm hooks

project=$work/project
mkdir -p "$project/src"
cd "$project" || exit 1
git init -q
printf '[package]\nname = "demo"\nversion = "0.1.0"\nedition = "2021"\n' >Cargo.toml
printf 'disable_all_formatting = true\n' >rustfmt.toml
printf 'fn  main( ){let x=1;println!("{}",x);}\n' >src/main.rs
cat >.pre-commit-config.yaml <<END
repos:
  - repo: $hooks
    rev: $(git -C "$hooks" rev-parse HEAD)
    hooks:
      - id: cargo-tersify-check
      - id: cargo-tersify
END
git add -A
pre-commit install >/dev/null || fail "pre-commit install"

# The check names the file and fails the commit; the writing hook formats it.
if git commit -qm first >"$work/first.log" 2>&1; then fail "a commit of an unformatted file went through"; fi
grep -q '^cargo tersify --check\.*Failed$' "$work/first.log" || fail "the check hook did not fail"
grep -q '^would reformat src/main.rs$' "$work/first.log" || fail "the check hook did not name the file"
grep -q '^cargo tersify\.*Failed$' "$work/first.log" || fail "the writing hook did not report its change"
formatted=$'fn main() {\n    let x = 1;\n    println!("{}", x);\n}'
[ "$(cat src/main.rs)" = "$formatted" ] || fail "src/main.rs is not formatted: $(cat src/main.rs)"

# Once formatted, both pass.
git add -A
git commit -qm second >"$work/second.log" 2>&1 || fail "a commit of a formatted file failed"
grep -q '^cargo tersify --check\.*Passed$' "$work/second.log" || fail "the check hook did not pass"
grep -q '^cargo tersify\.*Passed$' "$work/second.log" || fail "the writing hook did not pass"

if [ "$failures" -ne 0 ]; then
  for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done
  exit 1
fi
echo "pre-commit hooks: ok"
