"""What the package's tests share: the commands they compare with, and
rasters made with rioxarray."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def _command(variable, name):
    path = os.environ.get(variable, str(ROOT / "build" / name))
    return path if os.access(path, os.X_OK) else None


KAVRIX = _command("KAVRIX_BINARY", "kavrix")
KAVRIX_GDAL = _command("KAVRIX_GDAL_BINARY", "kavrix-gdal")
EXAMPLES = pathlib.Path(os.environ.get("KAVRIX_EXAMPLES_DIR", ROOT / "examples"))


def write_grid(path, values, cellsize, nodata):
    """A text grid of kavrix: each value in the digits that read back as
    the same double, "nan" and "inf" as kavrix reads them."""
    rows, cols = values.shape
    lines = [f"ncols {cols}", f"nrows {rows}", "xllcorner 0", "yllcorner 0",
             f"cellsize {cellsize!r}", f"NODATA_value {nodata!r}"]
    lines += [" ".join(repr(float(v)) for v in row) for row in values]
    path.write_text("\n".join(lines) + "\n")


@pytest.fixture
def kavrix_double(tmp_path):
    """Runs `kavrix A T S OUT -f:d` on grid files, or on arrays of doubles
    with their nodata values, and returns its cells."""
    if KAVRIX is None:
        pytest.skip("kavrix is not built")

    def run(grids, cellsize=None, nodata=None):
        if cellsize is not None:
            for k, (values, value) in enumerate(zip(grids, nodata)):
                write_grid(tmp_path / f"{k}.asc", values, cellsize, value)
            grids = [tmp_path / f"{k}.asc" for k in range(3)]
        out = tmp_path / "out.dbl"
        subprocess.run([KAVRIX, *map(str, grids), str(out), "-f:d"], check=True,
                       stdout=subprocess.DEVNULL)
        header = np.fromfile(out, "<f8", 12)
        return np.fromfile(out, "<f8", offset=96).reshape(int(header[1]), int(header[0]))

    return run


def raster(values, cell=10.0, origin=(500000.0, 5400000.0), crs="EPSG:25832", nodata=None,
           height=None):
    """A north-up DataArray of `values` with rioxarray's transform and CRS;
    `height` makes its cells oblong."""
    import rioxarray  # noqa: F401
    import xarray
    from affine import Affine

    transform = Affine(cell, 0, origin[0], 0, -(height or cell), origin[1])
    rows, cols = values.shape
    array = xarray.DataArray(values, dims=("y", "x"), coords={
        "y": transform.f + transform.e * (np.arange(rows) + 0.5),
        "x": transform.c + transform.a * (np.arange(cols) + 0.5)})
    array = array.rio.write_transform(transform)
    if crs is not None:
        array = array.rio.write_crs(crs)
    return array if nodata is None else array.rio.write_nodata(nodata)
