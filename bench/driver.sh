#!/bin/sh
# Driver figures over a real crate from Debian's packages:
#   bench/driver.sh [build directory]
set -eu
build=${1:-build}
crate_pkg=librust-regex-syntax-dev
if ! dpkg -s "$crate_pkg" >/dev/null 2>&1; then
  apt-get install -y "$crate_pkg" >/dev/null
fi
crate=$(dpkg -L "$crate_pkg" | grep -E '/registry/regex-syntax-[^/]+$' | head -n 1)
ninja -C "$build" -j2 tersify_driver_bench >/dev/null
"$build/bench/tersify_driver_bench" "$crate"
