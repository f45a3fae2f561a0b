# Shell helpers shared by the bench scripts (sourced, not run).

# The edition of the package whose Cargo.toml is in directory $1: the
# `edition` key of its [package] table, Cargo's default 2015 otherwise.
crate_edition() {
  awk '
    /^\[/ { in_package = ($0 ~ /^\[package\]/) }
    in_package && /^edition[ \t]*=/ { gsub(/[^0-9]/, "", $0); print; found = 1; exit }
    END { if (!found) print "2015" }
  ' "$1/Cargo.toml"
}

# The maximum width the tool uses for a package root $1 without --width: the
# max_width line of its rustfmt.toml, 160 otherwise.
crate_max_width() {
  local width=""
  if [ -f "$1/rustfmt.toml" ]; then
    width=$(sed -n 's/^[ \t]*max_width[ \t]*=[ \t]*\([0-9][0-9]*\).*/\1/p' "$1/rustfmt.toml" | tail -n 1)
  fi
  echo "${width:-160}"
}

# Points cargo at Debian's crate registry for the package in $1 and drops its
# dev-dependencies (test-only crates Debian rarely ships), so that
# `cargo check --offline` can build the library from the registry alone.
use_debian_registry() {
  local dir=$1 registry=$2
  mkdir -p "$dir/.cargo"
  printf '[source.crates-io]\nreplace-with = "debian"\n\n[source.debian]\ndirectory = "%s"\n' "$registry" \
    >"$dir/.cargo/config.toml"
  awk '/^\[/ { skip = ($0 ~ /dev-dependencies/) } !skip' "$dir/Cargo.toml" >"$dir/Cargo.toml.tmp"
  mv "$dir/Cargo.toml.tmp" "$dir/Cargo.toml"
}
