#!/bin/sh
# Installs the build in BUILD into a fresh prefix and checks that the three
# tools and their manual pages from DOC are in place and that the installed
# tools run.
#   check_install.sh BUILD DOC
set -eu
build=$1
doc=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for tool in kavrix kavrix-vrt kavrix-dist; do
  test -x "$prefix/bin/$tool" || { echo "no bin/$tool"; exit 1; }
  cmp "$prefix/share/man/man1/$tool.1" "$doc/$tool.1"
done
status=0
"$prefix/bin/kavrix" >"$prefix/usage" || status=$?
test "$status" -eq 1 || { echo "usage run ended with $status"; exit 1; }
grep -q '^usage : kavrix ' "$prefix/usage"
"$prefix/bin/kavrix-vrt" --help | grep -q '^usage : kavrix-vrt '
"$prefix/bin/kavrix-dist" --help | grep -q '^usage : kavrix-dist '
