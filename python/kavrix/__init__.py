"""kavrix: the topographic index ln(A / (T tan B)) of raster grids.

kavrix.topographic_index computes it on NumPy arrays with the engine of
the command-line tools, bit for bit as `kavrix ... -f:d` computes it;
kavrix.xarray.topographic_index on rioxarray DataArrays, in memory or as
dask arrays (a task per chunk).
"""

import importlib

from kavrix._arrays import topographic_index
from kavrix._kavrix import usable_threads

__all__ = ["topographic_index", "usable_threads"]
__version__ = "1.0.0"


def __getattr__(name):
    # kavrix.xarray needs xarray and rioxarray: imported on first use only.
    if name == "xarray":
        return importlib.import_module("kavrix.xarray")
    raise AttributeError(f"module 'kavrix' has no attribute {name!r}")
