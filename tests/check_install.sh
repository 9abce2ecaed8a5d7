#!/bin/sh
# Installs the build in BUILD into a fresh prefix and checks that the tools
# (kavrix-gdal where it was built) and their manual pages from DOC are in
# place and that the installed tools run.
#   check_install.sh BUILD DOC
set -eu
build=$1
doc=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
tools="kavrix kavrix-vrt kavrix-dist"
if [ -x "$build/kavrix-gdal" ]; then tools="$tools kavrix-gdal"; fi
for tool in $tools; do
  test -x "$prefix/bin/$tool" || { echo "no bin/$tool"; exit 1; }
  cmp "$prefix/share/man/man1/$tool.1" "$doc/$tool.1"
done
status=0
"$prefix/bin/kavrix" >"$prefix/usage" || status=$?
test "$status" -eq 1 || { echo "usage run ended with $status"; exit 1; }
grep -q '^usage : kavrix ' "$prefix/usage"
"$prefix/bin/kavrix-vrt" --help | grep -q '^usage : kavrix-vrt '
"$prefix/bin/kavrix-dist" --help | grep -q '^usage : kavrix-dist '
if [ -x "$build/kavrix-gdal" ]; then
  "$prefix/bin/kavrix-gdal" --help | grep -q '^usage : kavrix-gdal '
fi
