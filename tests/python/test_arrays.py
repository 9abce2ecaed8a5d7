"""kavrix.topographic_index on NumPy arrays against `kavrix -f:d`, bit for
bit, and the arguments it refuses."""

import numpy as np
import pytest

import kavrix
from kavrix import _kavrix
from conftest import EXAMPLES

DTYPES = ["int8", "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64",
          "float16", "float32", "float64"]


def nodata_of(dtype):
    """A nodata value the type holds, below its other values, as kavrix's
    rule "at or below nodata" needs for the same cells."""
    dtype = np.dtype(dtype)
    if dtype.kind in "iu":
        return int(np.iinfo(dtype).min)
    return -1000.0 if dtype.itemsize == 2 else -9999.0


def random_grids(rng, dtype, shape):
    """A, T and S with a tenth of their cells at nodata, NaN in floating
    grids, T <= 0 and S <= 1 among the values."""
    kind, nodata = np.dtype(dtype).kind, nodata_of(dtype)
    low = 0 if kind == "u" else -3
    if kind == "f":
        grids = [rng.uniform(0, 1e4, shape), rng.uniform(low, 6, shape), rng.uniform(low, 60, shape)]
    else:
        grids = [rng.integers(0, 120, shape), rng.integers(low, 6, shape), rng.integers(low, 60, shape)]
    for grid in grids:
        grid[rng.random(shape) < 0.1] = nodata
        if kind == "f":
            grid[rng.random(shape) < 0.05] = np.nan
    return [grid.astype(dtype) for grid in grids], nodata


def cases():
    rng = np.random.default_rng(20260101)
    for dtype in DTYPES:
        yield dtype, *random_grids(rng, dtype, (37, 23))
    grids, nodata = random_grids(rng, "float32", (29, 31))
    masks = [rng.random(grids[0].shape) < 0.2 for _ in grids]
    yield "masked", [np.ma.MaskedArray(g, m) for g, m in zip(grids, masks)], nodata
    grids, nodata = random_grids(rng, "float64", (23, 74))
    yield "strided", [g[:, ::2] for g in grids[:2]] + [grids[2][:, 1::2].copy()], nodata
    yield "transposed", [g.T for g in grids], nodata
    grids, nodata = random_grids(rng, "int32", (17, 19))
    yield "big-endian", [g.astype(">i4") for g in grids[:2]] + [grids[2].astype(">f8")], nodata
    # Strips of a few rows: many strips whatever the threads.
    yield "wide", *random_grids(rng, "float64", (40, 5000))


@pytest.mark.parametrize("name,grids,nodata", list(cases()), ids=lambda x: x if isinstance(x, str) else "")
def test_same_bytes_as_kavrix_for_any_threads(name, grids, nodata, kavrix_double):
    doubles = [np.ma.filled(g.astype(np.float64), nodata) for g in grids]
    expected = kavrix_double(doubles, 12.5, [nodata] * 3)
    for threads in (1, 2, 3, 7):
        result = kavrix.topographic_index(*grids, 12.5, a_nodata=nodata, t_nodata=nodata,
                                          s_nodata=nodata, threads=threads)
        assert result.dtype == np.float64 and result.view(np.uint64).tolist() == expected.view(np.uint64).tolist()
    single = kavrix.topographic_index(*grids, 12.5, a_nodata=nodata, t_nodata=nodata,
                                      s_nodata=nodata, dtype="float32")
    assert single.view(np.uint32).tolist() == expected.astype(np.float32).view(np.uint32).tolist()


def test_example_grids(kavrix_double):
    names = ["flowacc.asc", "transmissivity.asc", "slope.asc"]
    expected = kavrix_double([EXAMPLES / name for name in names])
    grids = [np.loadtxt(EXAMPLES / name, skiprows=6) for name in names]
    out = np.empty_like(grids[0])
    result = kavrix.topographic_index(*grids, 25, a_nodata=-9999, t_nodata=-9999,
                                      s_nodata=-9999, out=out)
    assert result is out and out.view(np.uint64).tolist() == expected.view(np.uint64).tolist()


@pytest.mark.parametrize("dtype,cells,nodata,marked", [
    ("uint8", [0, 1, 255], 255, [0, 0, 1]),
    ("uint8", [0, 1, 255], -9999, [0, 0, 0]),          # out of the type's range
    ("int16", [0, 1, 2], 0.5, [0, 0, 0]),              # no whole number
    ("int16", [0, 1, 2], 1.0, [0, 1, 0]),
    ("uint64", [2**64 - 1, 2**64 - 2, 0], 2**64 - 1, [1, 0, 0]),  # not rounded to a double
    ("float32", [-9999.1, -9999.0, 1], -9999.1, [1, 0, 0]),       # rounded to float32
    ("float32", [3e38, 1, 2], 1e39, [0, 0, 0]),
    ("float64", [np.nan, -np.inf, 1], np.nan, [1, 0, 0]),          # NaN only, -inf is a value
])
def test_nodata_as_the_type_holds_it(dtype, cells, nodata, marked):
    t = np.array([cells], dtype)
    ones = np.ones(t.shape)
    result = kavrix.topographic_index(ones, t, ones, 1.0, t_nodata=nodata)
    assert (result == -9999).astype(int).tolist()[0] == marked


def test_empty_arrays():
    for shape in ((0, 5), (3, 0)):
        assert kavrix.topographic_index(*[np.zeros(shape)] * 3, 1.0).shape == shape


G = np.ones((4, 5))
ti = kavrix.topographic_index


@pytest.mark.parametrize("call,error,message", [
    (lambda: ti(G, np.ones((4, 6)), G, 1.0), ValueError, "one shape"),
    (lambda: ti(np.ones((2, 4, 5)), G, G, 1.0), ValueError, "2-D"),
    (lambda: ti(*[np.broadcast_to(1.0, (3, 2**31))] * 3, 1.0), ValueError, "at most"),
    (lambda: ti(G, G + 1j, G, 1.0), TypeError, "complex"),
    (lambda: ti(G, G, G.astype(str), 1.0), TypeError, "integers or floating"),
    (lambda: ti(G.astype(bool), G, G, 1.0), TypeError, "integers or floating"),
    (lambda: ti(G, G, G, 0.0), ValueError, "positive finite"),
    (lambda: ti(G, G, G, float("nan")), ValueError, "positive finite"),
    (lambda: ti(G, G, G, float("inf")), ValueError, "positive finite"),
    (lambda: ti(G, G, G, "10"), TypeError, "real number"),
    (lambda: ti(G, G, G, 1.0, dtype="int32"), ValueError, "float64"),
    (lambda: ti(G, G, G, 1.0, dtype="bogus"), ValueError, "float64"),
    (lambda: ti(G, G, G, 1.0, threads=0), ValueError, "from 1"),
    (lambda: ti(G, G, G, 1.0, threads=1.5), TypeError, "whole number"),
    (lambda: ti(G, G, G, 1.0, t_nodata="x"), TypeError, "real number"),
    (lambda: ti(G, G, G, 1.0, a_nodata=1e39, dtype="float32"), ValueError, "float32 cell"),
    (lambda: ti(G, G, G, 1.0, out=np.empty((4, 5), np.float32)), ValueError, "dtype"),
    (lambda: ti(G, G, G, 1.0, out=np.empty((5, 4))), ValueError, "shape"),
    (lambda: ti(G, G, G, 1.0, out=np.empty((5, 4)).T), ValueError, "C-contiguous"),
    (lambda: ti(G.copy(), G, G, 1.0, out=G), ValueError, "shares memory"),
    (lambda: ti(G, G, G, 1.0, out=[[0.0]]), TypeError, "NumPy array"),
    # The module's own checks, for callers past the package's.
    (lambda: _kavrix.compute(((G, None, None),) * 2, 1.0, 0.0, np.empty((4, 5)), 1), TypeError, "three"),
    (lambda: _kavrix.compute(((G, None, None),) * 3, 1.0, 0.0, np.empty((4, 4)), 1), ValueError, "shape"),
    (lambda: _kavrix.compute(((G, G, None),) * 3, 1.0, 0.0, np.empty((4, 5)), 1), TypeError, "booleans"),
    (lambda: _kavrix.compute(((G, None, np.zeros(2)),) * 3, 1.0, 0.0, np.empty((4, 5)), 1), TypeError, "one value"),
])
def test_refusals(call, error, message):
    with pytest.raises(error, match=message):
        call()
