"""The topographic index of NumPy arrays, computed by kavrix's engine.

The arguments are checked here, where the messages can name them; the
engine (kavrix._kavrix) converts the inputs strip by strip, so no copy of
an input is made.
"""

import math
import numbers
import operator

import numpy as np

from kavrix import _kavrix

_MAX_THREADS = 1024
_MAX_SIDE = 2**31 - 1  # the engine counts rows and columns in int
_DEFAULT_NODATA = -9999.0


def topographic_index(a, t, s, cellsize, *, a_nodata=None, t_nodata=None,
                      s_nodata=None, dtype="float64", threads=None, out=None):
    """The topographic index ln((a + 1) * cellsize**2 / t / tan(s degrees)).

    a (flow accumulation, cells upstream), t (transmissivity) and s (slope
    in degrees) are 2-D arrays of one shape, of any integer or floating
    type, or masked arrays. A cell has no data where a value is NaN, where
    it equals its array's nodata value as a cell of that type holds it
    (a float32 array: the nodata value rounded to float32; an integer
    array: only a whole number in the type's range marks cells), or where
    a mask is set. Such a cell gets `a_nodata` (-9999 where None). T <= 0
    is taken as 1e-8 and S <= 1 as 1, as the command kavrix takes them.

    dtype: "float64" (the doubles of `kavrix ... -f:d`, bit for bit) or
    "float32" (those rounded to nearest). threads: the threads that
    compute (None: the processors this process may use; 1: the calling
    thread alone); the cells are the same for any number. out: a
    C-contiguous array of the shape and dtype to fill and return.

    Raises ValueError or TypeError for arguments that do not fit.
    """
    grids = [_take_grid(name, x) for name, x in (("a", a), ("t", t), ("s", s))]
    shapes = [cells.shape for cells, _ in grids]
    if shapes[1:] != shapes[:1] * 2:
        raise ValueError(f"a has shape {shapes[0]}, t {shapes[1]}, s {shapes[2]}: "
                         "the three grids must have one shape")
    if max(shapes[0]) > _MAX_SIDE:
        raise ValueError(f"a has shape {shapes[0]}: the grids have at most {_MAX_SIDE} rows "
                         "and columns")
    out_type = output_dtype(dtype)
    nodata = [stored_nodata(f"{name}_nodata", cells.dtype, value)
              for (cells, _), name, value in zip(grids, "ats", (a_nodata, t_nodata, s_nodata))]
    target = _take_out(out, shapes[0], out_type, [x for grid in grids for x in grid])
    compute(grids, real_number("cellsize", cellsize, positive=True), nodata,
            output_nodata("a_nodata", a_nodata, out_type), target, thread_count(threads))
    return target


def compute(grids, cellsize, nodata, out_nodata, out, threads):
    """Fills `out` from checked [(cells, mask)] and stored nodata values."""
    inputs = tuple((cells, mask, stored) for (cells, mask), stored in zip(grids, nodata))
    _kavrix.compute(inputs, cellsize, out_nodata, out, threads)
    return out


def compute_blocks(a, t, s, *, cellsize, nodata, out_nodata, dtype, threads):
    """The index of three blocks of plain arrays, as a new array: the task
    of one chunk of a dask array."""
    out = np.empty(np.shape(a), dtype)
    return compute([(a, None), (t, None), (s, None)], cellsize, nodata, out_nodata, out, threads)


def _take_grid(name, x):
    """(cells, mask or None) of an input, refusing what holds no real numbers."""
    if isinstance(x, np.ma.MaskedArray):
        cells, mask = np.ma.getdata(x), np.ma.getmask(x)
        mask = None if mask is np.ma.nomask else mask
    else:
        cells, mask = np.asarray(x), None
    kind = cells.dtype.kind
    if kind == "c":
        raise TypeError(f"{name} holds complex values ({cells.dtype}): the index needs real numbers")
    if kind not in "iuf" or cells.dtype.itemsize > 8:
        raise TypeError(f"{name} holds {cells.dtype} values: an input holds integers or "
                        "floating-point numbers of up to 64 bits")
    if cells.ndim != 2:
        raise ValueError(f"{name} has {cells.ndim} dimensions: an input is a 2-D array "
                         "(rows, columns)")
    return cells, mask


def _take_out(out, shape, out_type, inputs):
    if out is None:
        return np.empty(shape, out_type)
    if type(out) is not np.ndarray:
        raise TypeError(f"out is a {type(out).__name__}: it must be a NumPy array")
    if out.shape != shape or out.dtype != out_type:
        raise ValueError(f"out has shape {out.shape} and dtype {out.dtype}: "
                         f"{shape} and {out_type} are needed")
    if not out.flags.c_contiguous or not out.flags.writeable:
        raise ValueError("out must be a writeable C-contiguous array")
    if any(x is not None and np.may_share_memory(out, x) for x in inputs):
        raise ValueError("out shares memory with an input")
    return out


def output_dtype(dtype):
    """The result's dtype: float64 or float32, in native byte order."""
    try:
        chosen = np.dtype(dtype)
    except TypeError:
        chosen = np.dtype(object)
    if dtype is None or not (chosen.kind == "f" and chosen.itemsize in (4, 8) and chosen.isnative):
        raise ValueError(f"dtype {dtype!r}: the result is 'float64' or 'float32'")
    return chosen


def real_number(name, value, positive=False):
    """`value` as a float; a positive finite one where `positive`."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} {value!r}: a real number is expected")
    number = float(value)
    if positive and not (math.isfinite(number) and number > 0):
        raise ValueError(f"{name} {number!r}: a positive finite number is expected")
    return number


def output_nodata(name, value, out_type):
    """The value of the result's cells without data (-9999 for None), as a
    cell of `out_type` holds it."""
    number = _DEFAULT_NODATA if value is None else real_number(name, value)
    if out_type == np.float32:
        if math.isfinite(number) and abs(number) > np.finfo(np.float32).max:
            raise ValueError(f"{name} {number!r} cannot be a float32 cell: choose another, "
                             "or dtype='float64'")
        number = float(np.float32(number))
    return number


def stored_nodata(name, dtype, value):
    """The nodata value as a cell of `dtype` holds it, a one-value array of
    that type, or None where it marks no cell: None, NaN (NaN has no data
    anyway), a value out of the type's range, a fraction for an integer type."""
    if value is None:
        return None
    real_number(name, value)
    native = dtype.newbyteorder("=")
    if dtype.kind in "iu":
        if isinstance(value, numbers.Integral):
            whole = int(value)  # exactly, however large
        elif float(value).is_integer():
            whole = int(float(value))
        else:
            return None
        info = np.iinfo(dtype)
        return np.array(whole, native) if info.min <= whole <= info.max else None
    number = float(value)
    if math.isnan(number) or (math.isfinite(number) and abs(number) > np.finfo(dtype).max):
        return None
    return np.array(number, native)  # rounded to nearest in float32 and float16


def thread_count(threads):
    """The threads to compute on: those this process may use for None."""
    if threads is None:
        return _kavrix.usable_threads()
    if isinstance(threads, (bool, np.bool_)):
        raise TypeError(f"threads {threads!r}: a whole number is expected")
    try:
        count = operator.index(threads)
    except TypeError:
        raise TypeError(f"threads {threads!r}: a whole number is expected") from None
    if not 1 <= count <= _MAX_THREADS:
        raise ValueError(f"threads {count}: the threads are a number from 1 to {_MAX_THREADS}")
    return count
