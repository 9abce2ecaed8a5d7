#!/usr/bin/env bash
# Packs the QGIS plugin in qgis/kavrix_provider as the zip that QGIS's
# Plugins > Manage and Install Plugins > Install from ZIP takes: one folder
# kavrix_provider/ holding the plugin's files.
#   scripts/qgis-plugin.sh [ZIP]   (default: kavrix_provider.zip here)
# The zip is the same byte for byte for the same files: entries in order of
# name, each with one fixed date, no compiled Python.
set -euo pipefail
zip=$(realpath -m "${1:-kavrix_provider.zip}")
cd "$(dirname "$0")/../qgis"
python3 - "$zip" <<'PY'
import os, sys, zipfile
names = sorted(os.path.join(folder, name)
               for folder, folders, files in os.walk('kavrix_provider')
               for name in files
               if '__pycache__' not in folder and not name.endswith('.pyc'))
with zipfile.ZipFile(sys.argv[1] + '.part', 'w', zipfile.ZIP_DEFLATED) as archive:
    for name in names:
        entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        entry.external_attr = 0o644 << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(name, 'rb') as source:
            archive.writestr(entry, source.read())
os.replace(sys.argv[1] + '.part', sys.argv[1])
PY
echo "$zip"
