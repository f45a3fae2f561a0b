#!/bin/sh
# Installs what building (with --package, building the Debian package; with
# --test, testing) cargo-tersify needs and this machine lacks. Debian/Ubuntu
# packages via apt-get; run as root or with sudo available. The tree-sitter
# sources are not installed here: the CMake configure step fetches them with
# npm at pinned versions.
set -eu

want_test=no
want_package=no
for option in "$@"; do
  case "$option" in
    --test) want_test=yes want_package=yes ;;  # the tests build the package too
    --package) want_package=yes ;;
    *) echo "usage: $0 [--test] [--package]" >&2; exit 2 ;;
  esac
done

packages="cmake ninja-build g++ make nlohmann-json3-dev libdtl-dev libtomlplusplus-dev libxxhash-dev"
command -v npm >/dev/null 2>&1 || packages="$packages npm"
if [ "$want_package" = yes ]; then
  # CPack finds the executables' shared libraries with file and
  # dpkg-shlibdeps.
  packages="$packages dpkg-dev file"
fi
if [ "$want_test" = yes ]; then
  # GoogleTest, clang with libFuzzer for the fuzz target, GNU time for peak
  # memory, and published crates whose sources the tests run the tool on.
  packages="$packages libgtest-dev clang libclang-rt-14-dev time strace
    librust-regex-syntax-dev librust-serde-dev librust-memchr-dev
    librust-itertools-dev librust-nom-dev librust-hashbrown-dev librust-h2-dev librust-tokio-dev
    librust-either-dev"
  # The editors whose format-on-save recipes the tests run, and the
  # pre-commit framework with git for the hook definition's test.
  packages="$packages vim neovim kakoune pre-commit git"
fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done

if [ -n "$missing" ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing:$missing"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# The tool runs the user's own Rust toolchain; it is not ours to install.
for tool in cargo rustfmt; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    if command -v rustup >/dev/null 2>&1 && [ "$tool" = rustfmt ]; then
      rustup component add rustfmt
    else
      echo "$tool is not on PATH: install a Rust toolchain (https://rustup.rs) with the rustfmt component." >&2
      exit 1
    fi
  fi
done
