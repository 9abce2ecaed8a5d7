#!/bin/sh
# Checks the manual page with groff's warnings all on: it must say nothing.
# Exits 77 (skipped) where groff is missing.
page=$1
command -v groff >/dev/null 2>&1 || { echo "groff not found"; exit 77; }
warnings=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
