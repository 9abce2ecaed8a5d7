#!/usr/bin/env bash
# The Debian packages the project uses, and the one way they are installed.
#   scripts/deps.sh [build|test|ci|bench]   (default: test)
# Prints nothing and does nothing when every package of the group is
# installed: scripts/test.sh runs it each time, so the check is a single
# dpkg-query. Otherwise installs the missing ones with apt-get as root, or
# through sudo where sudo asks no password; where neither can, prints the
# line to run and exits 1. Off Debian (no dpkg-query) it checks nothing.
set -euo pipefail

# build: what the tool itself needs (scripts/example.sh).
build=(cmake ninja-build g++)
# test: scripts/test.sh, which builds the micro-benchmarks too; groff-base
# lints the manual pages, gdal-bin runs the GIS interoperability test,
# libgdal-dev builds kavrix-gdal (CMake skips that target without it).
test=("${build[@]}" libgtest-dev libbenchmark-dev groff-base gdal-bin libgdal-dev)
# python: the kavrix package for Python (pybind11 over the same engine), its
# tests with xarray, rioxarray and dask, and the offline install through pip
# with Debian's build tools (setuptools, wheel).
python=(pybind11-dev python3-dev python3-pybind11 python3-numpy python3-xarray
        python3-rioxarray python3-dask python3-distributed python3-pytest
        python3-setuptools python3-wheel python3-venv python3-pip)
test+=("${python[@]}")
# qgis: the QGIS plugin's tests (qgis/tests): QGIS 3.22 or later with its
# Python bindings and Processing, pytest, GDAL's Python bindings and pgrep,
# and a virtual display for the desktop (about 180 MB to download).
qgis=(qgis python3-qgis qgis-providers xvfb xauth python3-pytest python3-gdal procps)
test+=("${qgis[@]}")
# ci: .ci/run, which adds the static checks, the fuzzer and the sanitizers.
ci=("${test[@]}" clang clang-tidy cppcheck libclang-rt-14-dev)
# bench: scripts/bench.sh, whose baselines include gdal_calc.py.
bench=("${test[@]}" python3-gdal)

group=${1:-test}
case $group in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  ci) wanted=("${ci[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  *) echo "usage: scripts/deps.sh [build|test|ci|bench]" >&2; exit 2 ;;
esac

command -v dpkg-query >/dev/null 2>&1 || exit 0

# dpkg-query names each package it knows; one that is unknown, or known but
# not installed (removed, half-configured), counts as missing.
declare -A installed=()
while read -r name status; do
  [ "$status" = installed ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
missing=()
for p in "${wanted[@]}"; do
  [ -n "${installed[$p]+x}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo -n)
else
  echo "scripts/deps.sh: missing Debian packages: ${missing[*]}; install them with:" >&2
  echo "sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "scripts/deps.sh: installing ${missing[*]}" >&2
# A source that cannot be reached fails the update but may not matter to
# these packages: the install says whether they could be had.
"${as_root[@]}" apt-get update -q || echo "scripts/deps.sh: apt-get update failed; trying the install" >&2
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
