#!/bin/sh
# Installs the build in BUILD into a fresh prefix and checks that the tool
# and its manual page are in place and that the installed tool runs; with
# DIST_PAGE, the same for kavrix-dist.
#   check_install.sh BUILD PAGE [DIST_PAGE]
set -eu
build=$1
page=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/kavrix" || { echo "no bin/kavrix"; exit 1; }
cmp "$prefix/share/man/man1/kavrix.1" "$page"
status=0
"$prefix/bin/kavrix" >"$prefix/usage" || status=$?
test "$status" -eq 1 || { echo "usage run ended with $status"; exit 1; }
grep -q '^usage : kavrix ' "$prefix/usage"
if [ $# -ge 3 ]; then
  test -x "$prefix/bin/kavrix-dist" || { echo "no bin/kavrix-dist"; exit 1; }
  cmp "$prefix/share/man/man1/kavrix-dist.1" "$3"
  "$prefix/bin/kavrix-dist" --help | grep -q '^usage : kavrix-dist '
fi
