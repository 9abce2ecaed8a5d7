#!/bin/sh
# Runs the QGIS plugin's tests with the system's Python, the one that sees
# QGIS, in a throw-away HOME and TMPDIR (QGIS makes its profile and temporary
# files there); where QGIS or kavrix-gdal is missing, says so in one line and
# exits 77 (skipped).
#   run.sh SOURCE BUILD     (KAVRIX_QGIS_PYTHON: another Python with QGIS)
set -eu
python=${KAVRIX_QGIS_PYTHON:-/usr/bin/python3}
if ! "$python" -c 'import qgis.core, pytest, osgeo.gdal' >/dev/null 2>&1; then
  echo "QGIS tests skipped: $python lacks qgis, pytest or osgeo (Debian: scripts/deps.sh test)"
  exit 77
fi
[ -x "$2/kavrix-gdal" ] || { echo "QGIS tests skipped: kavrix-gdal was not built"; exit 77; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home TMPDIR=$home KAVRIX_SOURCE_DIR=$1 KAVRIX_BIN_DIR=$2 KAVRIX_QGIS_SCREENSHOT=$2/qgis-dialog.png \
  QT_QPA_PLATFORM=offscreen PYTHONDONTWRITEBYTECODE=1 \
  "$python" -m pytest -q -p no:cacheprovider --basetemp="$home/pytest" "$1/qgis/tests"
