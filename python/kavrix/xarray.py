"""The topographic index of rioxarray DataArrays.

The three rasters are checked as kavrix-gdal checks its inputs, and the
cells computed as kavrix.topographic_index computes them, with the cell
size of A's transform and each raster's nodata value. The result carries
A's coordinates, transform and CRS and its nodata value, so that
result.rio.to_raster("ti.tif") writes it. Dask-backed inputs stay lazy: a
task per chunk, each on one thread (dask runs the tasks in parallel).
"""

import functools
import math

import numpy as np
import rioxarray  # noqa: F401  (the .rio accessor)
import xarray
from rioxarray.exceptions import RioXarrayError

from kavrix import _arrays


def topographic_index(A, T, S, *, nodata=None, dtype="float64", threads=None):
    """The topographic index of rasters A (flow accumulation), T
    (transmissivity) and S (slope in degrees), DataArrays of one grid.

    A cell has no data where a value is NaN or equals its raster's
    rio.nodata; such a cell gets `nodata`, by default A's nodata value
    (rio.nodata, else rio.encoded_nodata), else -9999. dtype: "float64"
    or "float32". threads: the threads of an in-memory computation (None:
    the processors this process may use); a dask task uses one.

    Raises ValueError where the rasters cannot be computed together: of
    different sizes, cell sizes or CRSs, origins more than a tenth of a
    cell apart, rotated or not north-up, oblong cells, a geographic CRS.
    """
    names = ("A", "T", "S")
    grids = [_plane(name, x) for name, x in zip(names, (A, T, S))]
    placings = [_placing(name, x) for name, x in zip(names, grids)]
    for i, j in ((0, 1), (0, 2), (1, 2)):
        _check_pair(names[i], grids[i], placings[i], names[j], grids[j], placings[j],
                    placings[0].a)
    out_type = _arrays.output_dtype(dtype)
    a = grids[0]
    out_nodata = _arrays.output_nodata("nodata", _a_nodata(a) if nodata is None else nodata,
                                       out_type)
    stored = [_arrays.stored_nodata(f"the nodata value of {name}", x.dtype, _number(x.rio.nodata))
              for name, x in zip(names, grids)]
    count = _arrays.thread_count(threads)
    lazy = any(x.chunks is not None for x in grids)
    task = functools.partial(_arrays.compute_blocks, cellsize=placings[0].a, nodata=stored,
                             out_nodata=out_nodata, dtype=out_type, threads=1 if lazy else count)
    # T and S as plain variables on A's dimensions: no alignment of their
    # coordinates, which may differ from A's by a tenth of a cell.
    others = [xarray.Variable(a.dims, x.data) for x in grids[1:]]
    result = xarray.apply_ufunc(task, a, *others, dask="parallelized",
                                dask_gufunc_kwargs={"meta": np.empty((0, 0), out_type)},
                                keep_attrs=False)
    result.name = "topographic_index"
    result = result.rio.write_transform(placings[0])
    if a.rio.crs is not None:
        result = result.rio.write_crs(a.rio.crs)
    return result.rio.write_nodata(out_nodata, encoded=False)


def _plane(name, x):
    """`x` as a 2-D raster (y, x): a single band is squeezed."""
    if not isinstance(x, xarray.DataArray):
        raise TypeError(f"{name} is a {type(x).__name__}, not an xarray DataArray")
    if x.ndim == 3 and x.sizes.get("band") == 1:
        x = x.squeeze("band", drop=True)
    if x.ndim != 2:
        raise ValueError(f"{name} has the dimensions {dict(x.sizes)}: a raster of one band is expected")
    try:
        x = x.transpose(x.rio.y_dim, x.rio.x_dim)
    except RioXarrayError as error:
        raise ValueError(f"{name} has no x and y dimensions: {error}") from None
    scale, offset = x.attrs.get("scale_factor", 1), x.attrs.get("add_offset", 0)
    if scale != 1 or offset != 0:
        raise ValueError(f"{name} holds scaled values (scale_factor {scale}, add_offset {offset}): "
                         "open it with mask_and_scale=True")
    return x


def _placing(name, x):
    """The transform of `x`, checked as kavrix-gdal checks a raster alone."""
    try:
        g = x.rio.transform()
    except RioXarrayError as error:
        raise ValueError(f"{name} has no transform: its cell size and place are unknown ({error})") from None
    if g.b != 0 or g.d != 0 or not g.a > 0 or not g.e < 0:
        raise ValueError(f"{name} is rotated or not north-up (transform {tuple(g)[:6]}); "
                         "rio.reproject makes a north-up copy")
    if not _nearly_equal(g.a, -g.e):
        raise ValueError(f"{name} has cells of {g.a!r} x {-g.e!r} map units, not square "
                         "(rio.reproject with resolution= resamples it)")
    crs = x.rio.crs
    if crs is not None and crs.is_geographic:
        raise ValueError(f"{name} has a geographic coordinate reference system ({crs}): its cells "
                         "are measured in degrees, so cellsize^2 is no area; project it first "
                         "with rio.reproject")
    return g


def _check_pair(p, x, g, q, y, h, cell):
    """Checks that rasters p and q (transforms g, h) are one grid."""
    if x.shape != y.shape:
        raise ValueError(f"{p} has {x.shape[1]} x {x.shape[0]} cells, {q} {y.shape[1]} x {y.shape[0]}")
    if not _nearly_equal(g.a, h.a):
        raise ValueError(f"{p} has cells of {g.a!r} map units, {q} of {h.a!r}")
    if not (abs(g.c - h.c) <= 0.1 * cell and abs(g.f - h.f) <= 0.1 * cell):
        raise ValueError(f"{p} has its origin at ({g.c!r}, {g.f!r}), {q} at ({h.c!r}, {h.f!r}): "
                         "more than a tenth of a cell apart")
    if x.rio.crs is not None and y.rio.crs is not None and x.rio.crs != y.rio.crs:
        raise ValueError(f"{p} and {q} have different coordinate reference systems: "
                         f"{x.rio.crs} and {y.rio.crs}")


def _a_nodata(a):
    """A's nodata value as kavrix-gdal takes it for the output's, or None."""
    for value in (a.rio.nodata, a.rio.encoded_nodata):
        if _number(value) is not None:
            return value
    return None


def _number(value):
    """`value`, or None for None and NaN."""
    return None if value is None or math.isnan(value) else value


def _nearly_equal(a, b):
    """a and b differ by less than 1e-9 of a; NaN differs from all."""
    return abs(a - b) < 1e-9 * abs(a)
