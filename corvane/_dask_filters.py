"""The filters on Dask arrays: lazy graphs whose result is the one-pass one.

corvane._filters routes a call here when its samples are a Dask array (this
module is imported then, and so is Dask; ``import corvane`` imports neither).
Every function takes the arguments of its in-memory namesake and passes
them, keywords included, unchanged to the in-memory function on each block.

- FIR and multirate: a block along the filtered axis needs the inputs that
  precede it (len(h) - 1 for an FIR) and, when resampling, its phase, which
  follows from its global offset. Dask's overlap gives each block its
  predecessors; the block is filtered from rest and the outputs that did not
  see a whole history are cut off.
- Biquads: the recursion runs along time, so the blocks along the filtered
  axis form a chain passing the state; the other axes run in parallel.
"""
import functools
import math
import operator

import dask.array as da
import numpy as np
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph

from . import _filters


def _as_dask(x, name):
    if not isinstance(x, da.Array):
        raise TypeError(f"{name}: x must be a NumPy or a Dask array, not {type(x).__name__}")
    return x


def _probe(x):
    """A zero-filled stand-in for x, one sample per axis, to check arguments."""
    return np.zeros(tuple(min(n, 1) for n in x.shape), x.dtype)


def _dtype(a):
    return a.dtype if hasattr(a, "dtype") else np.asarray(a).dtype


def _along(axis, ndim, index):
    """A tuple index selecting `index` along axis."""
    return (slice(None),) * axis + (index,) + (slice(None),) * (ndim - axis - 1)


def _resampled_block(func, before, after, kw, axis, up, down, history, starts, block, block_info=None):
    """func's outputs for the samples of one block along axis, exactly the
    one-pass ones. The block holds up to `history` earlier samples first; it
    is filtered from the latest start whose phase is the one-pass phase and
    the outputs of the borrowed samples are cut off."""
    i = block_info[0]["chunk-location"][axis]
    k0, k1 = starts[i], starts[i + 1]
    held = k0 if i == 0 else k0 - history  # global index of block[0] along axis
    phase = down // math.gcd(up, down)  # starts of this multiple share the phase of 0
    need = history - (phase - 1)  # inputs any kept output can see
    first = max(0, (k0 - need) // phase * phase)
    y = func(*before, block[_along(axis, block.ndim, slice(first - held, None))], *after, **kw)
    offset = first * up // down
    return y[_along(axis, y.ndim, slice(-(-k0 * up // down) - offset, -(-k1 * up // down) - offset))]


def _resample(func, before, after, kw, x, axis, up, down, history, out):
    """x filtered along axis block by block; a block's outputs m satisfy
    k0 * up <= m * down < k1 * up for its samples k0..k1-1."""
    depth = history + down // math.gcd(up, down) - 1
    if 0 < depth < x.shape[axis]:
        ghosted = da.overlap.overlap(x, depth={axis: (depth, 0)}, boundary="none")
        sizes = ghosted.chunks[axis]
        core = (sizes[0],) + tuple(n - depth for n in sizes[1:])
    else:
        # A signal no longer than the history is one block.
        ghosted = x if depth == 0 else x.rechunk({axis: -1})
        core = ghosted.chunks[axis]
    starts = (0,) + tuple(np.cumsum(core).tolist())

    def rated(bounds):
        return tuple(-(-b * up // down) - (-(-a * up // down)) for a, b in zip(bounds, bounds[1:]))

    chunks = ghosted.chunks[:axis] + (rated(starts),) + ghosted.chunks[axis + 1:]
    block = functools.partial(_resampled_block, func, before, after, kw, axis, up, down, depth, starts)
    y = ghosted.map_blocks(block, chunks=chunks, dtype=out.dtype, meta=np.empty((0,) * x.ndim, out.dtype))
    given = (0,) + tuple(np.cumsum(x.chunks[axis]).tolist())
    wanted = x.chunks[:axis] + (rated(given),) + x.chunks[axis + 1:]
    return y if y.chunks == wanted else y.rechunk(wanted)


def _fir(func, x, taps, args, zi, axis, kw):
    x = _as_dask(x, func.__name__)
    sample = _probe(x)
    out = func(sample, taps, *args, axis=axis, **kw)  # raises what the in-memory call raises
    axis = operator.index(axis) % x.ndim
    history = np.asarray(taps).shape[0] - 1
    if zi is None:
        return _resample(func, (), (taps, *args), dict(kw, axis=axis), x, axis, 1, 1, history, out)
    want = x.shape[:axis] + (history,) + x.shape[axis + 1:]
    if tuple(np.shape(zi)) != want:
        raise ValueError(f"{func.__name__}: zi must have shape {want} (the samples' shape with len(taps) - 1 "
                         f"= {history} along axis {axis}), not {tuple(np.shape(zi))}")
    func(sample, taps, *args, zi=np.zeros(sample.shape[:axis] + (history,) + sample.shape[axis + 1:], _dtype(zi)),
         axis=axis, **kw)
    full = x
    if history:
        # The state heads the samples: the first block borrows its history from it.
        zi = da.asarray(zi).rechunk(x.chunks[:axis] + ((history,),) + x.chunks[axis + 1:])
        full = da.concatenate([zi, x], axis=axis)
    y = _resample(func, (), (taps, *args), dict(kw, axis=axis), full, axis, 1, 1, history, out)
    y = y[_along(axis, x.ndim, slice(history, None))]
    zf = full[_along(axis, x.ndim, slice(full.shape[axis] - history, None))].astype(out.dtype)
    return y, zf


def fir_q15(x, taps, *args, zi=None, axis=-1, **kw):
    """fir_q15 on a Dask array: a lazy Dask array, the same as the one-pass
    result for any chunking, the filtered axis included (with zi: (y, zf),
    zf lazy too). Each block borrows the len(taps) - 1 samples before it."""
    return _fir(_filters.fir_q15, x, taps, args, zi, axis, kw)


def fir_q8(x, taps, *args, zi=None, axis=-1, **kw):
    """fir_q8 on a Dask array, as fir_q15."""
    return _fir(_filters.fir_q8, x, taps, args, zi, axis, kw)


def upfirdn_q15(h, x, up=1, down=1, *args, axis=-1, **kw):
    """upfirdn_q15 on a Dask array: a lazy Dask array, the same as the one-pass
    result for any chunking. Along the filtered axis a block of samples
    k0..k1-1 gives the outputs m with k0 * up <= m * down < k1 * up; it borrows
    the (len(h) - 1) // up samples the filter reaches back plus those that put
    its start in phase. Like the in-memory call it starts from rest."""
    return _upfirdn(_filters.upfirdn_q15, h, x, up, down, args, axis, kw)


def upfirdn_q8(h, x, up=1, down=1, *args, axis=-1, **kw):
    """upfirdn_q8 on a Dask array, as upfirdn_q15."""
    return _upfirdn(_filters.upfirdn_q8, h, x, up, down, args, axis, kw)


def _upfirdn(func, h, x, up, down, args, axis, kw):
    x = _as_dask(x, func.__name__)
    out = func(h, _probe(x), up, down, *args, axis=axis, **kw)
    axis = operator.index(axis) % x.ndim
    up, down = operator.index(up), operator.index(down)
    history = (np.asarray(h).shape[0] - 1) // up
    return _resample(func, (h,), (up, down, *args), dict(kw, axis=axis), x, axis, up, down, history, out)


def _sos_step(func, kw, sos, x, zi):
    return func(sos, x, zi=zi, **kw)


def sosfilt_q15(sos, x, *, zi=None, axis=-1, **kw):
    """sosfilt_q15 on a Dask array: a lazy Dask array, the same as the one-pass
    result for any chunking (with zi: (y, zf), zf lazy too).

    An IIR cannot parallelise along time: each block along the filtered axis
    needs the final state of the block before it, so those blocks run one
    after the other in a chain, while the blocks along the other axes run in
    parallel. Chunk along the channels for parallel work."""
    func = _filters.sosfilt_q15
    x = _as_dask(x, "sosfilt_q15")
    sample = _probe(x)
    out = func(sos, sample, axis=axis, **kw)
    axis = operator.index(axis) % x.ndim
    sos = np.asarray(sos)
    state = sos.shape[:1] + x.shape[:axis] + (4,) + x.shape[axis + 1:]
    probe_state = sos.shape[:1] + sample.shape[:axis] + (4,) + sample.shape[axis + 1:]
    if zi is None:
        zi0, given = np.zeros(probe_state, np.int8), None
    else:
        if tuple(np.shape(zi)) != state:
            raise ValueError(f"sosfilt_q15: zi must have shape {state} (len(sos) then the samples' shape with 4 "
                             f"along axis {axis}), not {tuple(np.shape(zi))}")
        zi0 = np.zeros(probe_state, _dtype(zi))
        given = da.asarray(zi).rechunk(((state[0],),) + x.chunks[:axis] + ((4,),) + x.chunks[axis + 1:])
    _, zf0 = func(sos, sample, zi=zi0, axis=axis, **kw)

    token = tokenize(sos, x, given, axis, kw)
    step_name, y_name, zf_name = f"sosfilt-step-{token}", f"sosfilt-q15-{token}", f"sosfilt-zf-{token}"
    sos_key = f"sosfilt-sos-{token}"
    step = functools.partial(_sos_step, func, dict(kw, axis=axis))
    layer = {sos_key: sos}
    for index in np.ndindex(*x.numblocks[:axis], *x.numblocks[axis + 1:]):
        lane = index[:axis] + (0,) + index[axis:]
        if given is None:
            shape = state[:1] + tuple(c[b] for c, b in zip(x.chunks, lane))
            state_key = (f"sosfilt-rest-{token}",) + lane
            layer[state_key] = np.zeros(shape[:axis + 1] + (4,) + shape[axis + 2:], zf0.dtype)
        else:
            state_key = (given.name, 0) + lane
        for t in range(x.numblocks[axis]):
            at = index[:axis] + (t,) + index[axis:]
            layer[(step_name,) + at] = (step, sos_key, (x.name,) + at, state_key)
            layer[(y_name,) + at] = (operator.getitem, (step_name,) + at, 0)
            state_key = (zf_name, 0) + index[:axis] + (0,) + index[axis:] if t == x.numblocks[axis] - 1 \
                else (f"sosfilt-state-{token}",) + at
            layer[state_key] = (operator.getitem, (step_name,) + at, 1)
    deps = [x] if given is None else [x, given]
    graph = HighLevelGraph.from_collections(y_name, layer, dependencies=deps)
    y = da.Array(graph, y_name, x.chunks, meta=np.empty((0,) * x.ndim, out.dtype))
    if given is None:
        return y
    zf = da.Array(graph, zf_name, given.chunks, meta=np.empty((0,) * zf0.ndim, zf0.dtype))
    return y, zf
