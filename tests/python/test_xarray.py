"""kavrix.xarray on rioxarray rasters: the geometry refused, what the
result carries, dask graphs left lazy, and a dask.distributed cluster
against kavrix-gdal."""

import subprocess

import numpy as np
import pytest

import kavrix
from conftest import KAVRIX_GDAL, raster

xarray = pytest.importorskip("xarray")
rioxarray = pytest.importorskip("rioxarray")
kx = pytest.importorskip("kavrix.xarray")
Affine = pytest.importorskip("affine").Affine


def grids(rng, shape=(20, 30)):
    """A (int32, nodata -1), T (float32, nodata -9999, some NaN) and S
    (float64 without nodata, some NaN), with T <= 0 and S <= 1 among them."""
    a = rng.integers(-1, 500, shape).astype(np.int32)
    t = rng.uniform(-1, 5, shape).astype(np.float32)
    t[rng.random(shape) < 0.1] = -9999
    t[rng.random(shape) < 0.05] = np.nan
    s = rng.uniform(0, 45, shape)
    s[rng.random(shape) < 0.05] = np.nan
    return a, t, s


@pytest.fixture
def rasters():
    a, t, s = grids(np.random.default_rng(7))
    return raster(a, nodata=-1), raster(t, nodata=-9999), raster(s)


G = np.ones((4, 5))


@pytest.mark.parametrize("make_t,message", [
    (lambda: raster(np.ones((4, 6))), "has 5 x 4 cells, T 6 x 4"),
    (lambda: raster(G).expand_dims(band=3), "one band"),
    (lambda: raster(G, crs="EPSG:4326"), "geographic coordinate reference system"),
    (lambda: raster(G, crs="EPSG:32632"), "different coordinate reference systems"),
    (lambda: raster(G, origin=(500002.0, 5400000.0)), "more than a tenth of a cell apart"),
    (lambda: raster(G, height=20.0), "not square"),
    (lambda: raster(G, cell=10.5), "cells of 10.0 map units, T of 10.5"),
    (lambda: raster(G, height=-10.0), "rotated or not north-up"),
    (lambda: raster(G).rio.write_transform(Affine(10, 1, 5e5, 0, -10, 5.4e6)), "rotated"),
    (lambda: G, "not an xarray DataArray"),
])
def test_refusals(make_t, message):
    with pytest.raises((ValueError, TypeError), match=message):
        kx.topographic_index(raster(G), make_t(), raster(G))


def test_result_keeps_place_crs_and_nodata(rasters, tmp_path):
    a, t, s = rasters
    # T shifted by less than a tenth of a cell is the same grid.
    t = raster(t.values, origin=(500000.5, 5400000.0), nodata=-9999)
    result = kx.topographic_index(a, t, s, dtype="float32")
    expected = kavrix.topographic_index(a.values, t.values, s.values, 10.0, a_nodata=-1,
                                        t_nodata=-9999, dtype="float32")
    assert result.values.tobytes() == expected.tobytes() and result.dtype == np.float32
    assert result.rio.crs == a.rio.crs and result.rio.nodata == -1
    assert result.rio.transform() == a.rio.transform()
    assert all(np.array_equal(result[d], a[d]) for d in ("x", "y"))
    result.rio.to_raster(tmp_path / "ti.tif")
    back = rioxarray.open_rasterio(tmp_path / "ti.tif").squeeze("band", drop=True)
    assert back.rio.crs == a.rio.crs and back.rio.nodata == -1
    assert back.rio.transform() == a.rio.transform() and back.values.tobytes() == expected.tobytes()


def test_dask_graph_is_built_without_computing(rasters, monkeypatch):
    calls = []
    compute = kavrix._kavrix.compute
    monkeypatch.setattr(kavrix._kavrix, "compute", lambda *args: calls.append(args[-1]) or compute(*args))
    a, t = (x.chunk({"y": 8, "x": 16}) for x in rasters[:2])
    result = kx.topographic_index(a, t, rasters[2])  # S in memory
    assert calls == [] and result.data.npartitions == 6  # 3 x 2 chunks of A's
    computed = result.values
    assert calls == [1] * 6  # a task per chunk, each on one thread
    assert computed.tobytes() == kx.topographic_index(*rasters).values.tobytes()


@pytest.mark.skipif(KAVRIX_GDAL is None, reason="kavrix-gdal is not built")
def test_distributed_cluster_equals_kavrix_gdal(tmp_path):
    distributed = pytest.importorskip("distributed")
    names = [tmp_path / f"{x}.tif" for x in "ats"]
    for name, values, nodata in zip(names, grids(np.random.default_rng(3), (200, 300)),
                                    (-1, -9999, None)):
        raster(values, nodata=nodata).rio.to_raster(name, tiled=True)
    subprocess.run([KAVRIX_GDAL, *map(str, names), str(tmp_path / "out.tif"), "-ot", "Float64",
                    "-q"], check=True, timeout=60)
    expected = rioxarray.open_rasterio(tmp_path / "out.tif").values[0]
    # A decoded (its nodata NaN), T and S as stored.
    opened = [rioxarray.open_rasterio(name, chunks={"y": 128, "x": 128}, masked=k == 0)
              for k, name in enumerate(names)]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        result = kx.topographic_index(*opened)
        assert result.data.npartitions == 6
        computed = client.compute(result).result(timeout=120)
    assert computed.rio.nodata == -1 and computed.values.tobytes() == expected.tobytes()
