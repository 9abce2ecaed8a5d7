#!/usr/bin/python3
"""Cells per second of the index on a dask.distributed LocalCluster of two
worker processes (one thread each), from tiled GeoTIFFs read in chunks,
beside kavrix-gdal on the same files with its default threads.

  PYTHONPATH=build/python /usr/bin/python3 scripts/bench_dask.py KAVRIX_GDAL FOLDER [SIZE] [CHUNK]

Makes SIZE x SIZE (default 8000) tiled Float64 GeoTIFFs a.tif, t.tif and
s.tif in FOLDER once. The cluster computes the index of every chunk
(CHUNK x CHUNK, default 2048) and hands the result to the client, which
sums it: reading and computing, no writing. kavrix-gdal reads, computes
and writes a tiled GeoTIFF. The cells are compared bit for bit.
"""

import os
import subprocess
import sys
import time

import numpy as np
import rioxarray  # registers the .rio accessor
import xarray as xr
from dask.distributed import Client, LocalCluster
from rasterio.transform import from_origin

import kavrix.xarray


def make(folder, size):
    rng = np.random.default_rng(1)
    transform = from_origin(3512000, 5401200 + size * 10, 10, 10)
    values = {"a": lambda: np.floor(rng.random((size, size)) * 1e4),
              "t": lambda: 0.01 + rng.random((size, size)) * 100,
              "s": lambda: rng.random((size, size)) * 90}
    for name, cells in values.items():
        path = os.path.join(folder, name + ".tif")
        if os.path.exists(path):
            continue
        da = xr.DataArray(cells(), dims=("y", "x"))
        da = da.rio.write_transform(transform).rio.write_crs("EPSG:25832").rio.write_nodata(-9999.0)
        da.rio.to_raster(path + ".tmp", driver="GTiff", tiled=True, blockxsize=256, blockysize=256)
        os.replace(path + ".tmp", path)


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    size = int(sys.argv[3]) if len(sys.argv) > 3 else 8000
    chunk = int(sys.argv[4]) if len(sys.argv) > 4 else 2048
    os.makedirs(folder, exist_ok=True)
    make(folder, size)
    names = [os.path.join(folder, n + ".tif") for n in "ats"]
    out = os.path.join(folder, "kavrix-gdal.tif")
    start = time.perf_counter()
    subprocess.run([tool, *names, out, "-ot", "Float64", "-co", "TILED=YES", "-q"], check=True)
    gdal_seconds = time.perf_counter() - start
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        a, t, s = (rioxarray.open_rasterio(n, chunks={"y": chunk, "x": chunk}).squeeze("band", drop=True)
                   for n in names)
        start = time.perf_counter()
        result = kavrix.xarray.topographic_index(a, t, s).compute()
        dask_seconds = time.perf_counter() - start
    same = np.array_equal(result.values.view(np.uint64),
                          rioxarray.open_rasterio(out).squeeze().values.view(np.uint64))
    cells = size * size
    print(f"{size} x {size} cells in {chunk}^2 chunks: dask LocalCluster (2 workers) "
          f"{cells / dask_seconds / 1e6:.1f} M cells/s ({dask_seconds:.2f} s), "
          f"kavrix-gdal {cells / gdal_seconds / 1e6:.1f} M cells/s ({gdal_seconds:.2f} s); "
          f"the same cells: {same}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
