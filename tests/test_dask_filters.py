"""The filters on Dask arrays: lazy, and bit for bit the one-pass in-memory
result for any chunking, larger than memory and on a cluster."""
import json
import os
import pathlib
import pickle
import resource
import subprocess
import sys

import numpy as np
import pytest

da = pytest.importorskip("dask.array")

import corvane  # noqa: E402
from corvane import _filters  # noqa: E402

from model import ROUNDINGS  # noqa: E402

# name, shape, filtered axis, filter parameters, rounding (None: the default).
CASES = [
    ("fir_q15", (64,), 0, {"ntaps": 31}, None),
    ("fir_q15", (3, 40), 0, {"ntaps": 5}, None),
    ("fir_q15", (2, 30, 2), 1, {"ntaps": 1}, "floor"),
    ("fir_q8", (2, 3, 33), -1, {"ntaps": 9}, None),
    ("fir_q8", (20, 2, 2), 0, {"ntaps": 2}, "wrap"),
    ("sosfilt_q15", (50,), 0, {"sections": 2}, "nearest"),
    ("sosfilt_q15", (2, 45), -1, {"sections": 3}, "ceiling"),
    ("sosfilt_q15", (30, 2, 3), 0, {"sections": 1}, "zero"),
    ("upfirdn_q15", (57,), 0, {"ntaps": 17, "up": 3, "down": 2}, "round"),
    ("upfirdn_q15", (2, 40), 1, {"ntaps": 12, "up": 1, "down": 5}, "convergent"),
    ("upfirdn_q15", (2, 3, 31), 2, {"ntaps": 31, "up": 4, "down": 3}, "floor"),
    ("upfirdn_q8", (3, 29), 1, {"ntaps": 8, "up": 2, "down": 7}, None),
]
assert set(ROUNDINGS) <= {case[4] for case in CASES}


def in_memory(name):
    func = getattr(_filters, name, None)
    if func is None:
        pytest.skip(f"corvane._filters has no {name}")
    return func


def full_range(rng, shape, dtype):
    info = np.iinfo(dtype)
    return rng.integers(info.min, info.max, shape, dtype=dtype, endpoint=True)


def chunking(rng, n, ones):
    """Random chunk sizes adding up to n; all ones on request."""
    if ones:
        return (1,) * n
    sizes = []
    while sum(sizes) < n:
        sizes.append(min(int(rng.choice([1, 2, 5, 13, n])), n - sum(sizes)))
    return tuple(sizes)


def call_for(name, params, shape, axis, rng):
    """(call(x, zi) giving y or (y, zf), the zi to try or None, the sample type)."""
    dtype = np.int8 if name.endswith("q8") else np.int16
    zi_shape = list(shape)
    if name.startswith("fir"):
        taps = full_range(rng, params["ntaps"], dtype)
        zi_shape[axis] = params["ntaps"] - 1
        zi = full_range(rng, zi_shape, dtype)
        return (lambda x, z, **kw: getattr(corvane, name)(x, taps, zi=z, axis=axis, **kw)), zi, dtype
    if name.startswith("sosfilt"):
        sos = full_range(rng, (params["sections"], 6), np.int16).astype(np.int32)
        sos[:, 3] = 1 << 14
        zi_shape[axis] = 4
        zi = full_range(rng, [params["sections"]] + zi_shape, np.int16)
        return (lambda x, z, **kw: corvane.sosfilt_q15(sos, x, zi=z, axis=axis, **kw)), zi, dtype
    h = full_range(rng, params["ntaps"], dtype)
    up, down = params["up"], params["down"]
    return (lambda x, z, **kw: getattr(corvane, name)(h, x, up, down, axis=axis, **kw)), None, dtype


@pytest.mark.parametrize("name,shape,axis,params,mode", CASES, ids=lambda v: str(v).replace(" ", ""))
def test_any_chunking_gives_the_one_pass_result(name, shape, axis, params, mode):
    func = in_memory(name)
    rng = np.random.default_rng(len(name) * 100 + sum(shape))
    call, zi, dtype = call_for(name, params, shape, axis, rng)
    kw = {} if mode is None else {"overflow": mode} if mode == "wrap" else {"rounding": mode}
    x = full_range(rng, shape, dtype)
    if kw and name.startswith("fir"):
        try:
            func(x, [1], **kw)
        except TypeError as error:
            if "unexpected keyword" not in str(error):
                raise
            pytest.skip(f"{name} takes no {next(iter(kw))}= yet")
    want = call(x, None, **kw)
    want_zi = call(x, zi, **kw) if zi is not None else None
    axis %= len(shape)
    for trial in range(3):
        chunks = tuple(chunking(rng, n, ones=(trial == 0 and d == axis)) for d, n in enumerate(shape))
        lazy_x = da.from_array(x, chunks=chunks)
        y = call(lazy_x, None, **kw)
        assert isinstance(y, da.Array) and y.dtype == want.dtype
        assert y.chunks[:axis] + y.chunks[axis + 1:] == chunks[:axis] + chunks[axis + 1:]
        if name.startswith("upfirdn"):
            up, down = params["up"], params["down"]
            bounds = np.cumsum((0,) + chunks[axis])
            # Samples k0..k1-1 give the outputs m with k0 * up <= m * down < k1 * up.
            outputs = [sum(1 for m in range(b * up) if a * up <= m * down < b * up) for a, b in zip(bounds, bounds[1:])]
            assert y.chunks[axis] == tuple(outputs)
        else:
            assert y.chunks[axis] == chunks[axis]
        np.testing.assert_array_equal(y.compute(), want)
        if want_zi is not None:
            # The state as a NumPy array, then as a Dask array chunked its own way.
            state = zi if trial < 2 else da.from_array(zi, chunks=1)
            y, zf = call(lazy_x, state, **kw)
            np.testing.assert_array_equal(y.compute(), want_zi[0])
            np.testing.assert_array_equal(zf.compute(), want_zi[1])


CHANNELS, CHUNK, NTAPS = 8, 1 << 20, 31


def _recording_block(seed, block_id=None):
    """One chunk of the lazily generated recording: the same samples for the
    same chunk, whatever computes it."""
    raw = np.random.Generator(np.random.PCG64([seed, block_id[1]])).bit_generator.random_raw(CHANNELS * CHUNK // 4)
    return raw.view(np.int16).reshape(CHANNELS, CHUNK)


def _taps():
    # A gain of several: the loudest stretches saturate.
    return np.random.default_rng(5).integers(-6000, 6000, NTAPS, dtype=np.int16)


def _reduce(y):
    return y.sum(axis=-1, dtype=np.int64), ((y == 32767) | (y == -32768)).sum(axis=-1)


def big_job(gib, seed):
    """The Dask pass over a recording of `gib` GiB; prints the per-channel
    checksums and saturation counts and the process's peak RSS."""
    blocks = int(gib * (1 << 30)) // (2 * CHANNELS * CHUNK)
    x = da.map_blocks(_recording_block, seed, chunks=((CHANNELS,), (CHUNK,) * blocks), dtype=np.int16)
    total, saturated = _reduce(corvane.fir_q15(x, _taps()))
    total, saturated = da.compute(total, saturated, scheduler="threads", num_workers=2)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss << 10
    print(json.dumps({"total": total.tolist(), "saturated": saturated.tolist(), "peak": peak, "blocks": blocks}))


def python(code):
    """The output of a fresh interpreter running code from this folder, on this
    process's import path."""
    here = pathlib.Path(__file__).resolve().parent
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(here)] + [os.path.abspath(p) for p in sys.path if p]))
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, cwd=here, env=env)
    assert run.returncode == 0, run.stderr
    return run.stdout


def test_larger_than_memory_recording_filtered_and_reduced():
    # 4 GiB by default; CORVANE_BIG_GIB=16 for a longer run by hand. Under
    # AddressSanitizer (its shadow memory and quarantine swell the RSS) or
    # under emulation (CORVANE_EMULATED: the emulator's translation cache
    # counts as the process's memory, and every sample costs many times
    # more) the run is short and checks the results alone.
    sanitized = "asan" in os.environ.get("LD_PRELOAD", "") or os.environ.get("CORVANE_EMULATED") == "1"
    gib = float(os.environ.get("CORVANE_BIG_GIB", "0.25" if sanitized else "4"))
    got = json.loads(python(f"import test_dask_filters as t; t.big_job({gib}, 7)"))
    size = got["blocks"] * CHANNELS * CHUNK * 2
    assert size >= gib * (1 << 30) * 0.99
    if not sanitized:
        # A few chunks in flight: an eighth of the default 4 GiB, whatever the length.
        assert got["peak"] < 512 << 20, f"peak RSS {got['peak'] >> 20} MiB"
    # The same reduction chunk by chunk in NumPy, the state carried by hand.
    taps, zi = _taps(), np.zeros((CHANNELS, NTAPS - 1), np.int16)
    total, saturated = np.zeros(CHANNELS, np.int64), np.zeros(CHANNELS, np.int64)
    for i in range(got["blocks"]):
        y, zi = corvane.fir_q15(_recording_block(7, (0, i)), taps, zi=zi)
        t, s = _reduce(y)
        total += t
        saturated += s
    assert saturated.min() > 0  # the count is exercised
    assert got["total"] == total.tolist() and got["saturated"] == saturated.tolist()


@pytest.mark.filterwarnings("ignore::DeprecationWarning", "ignore::UserWarning", "ignore::ResourceWarning")
def test_local_cluster_with_two_worker_processes():
    distributed = pytest.importorskip("distributed")
    # The filters travel to the workers by name.
    assert b"corvane._filters" in pickle.dumps(corvane.fir_q15)
    rng = np.random.default_rng(11)
    x = full_range(rng, (4, 3000), np.int16)
    lazy_x = da.from_array(x, chunks=(2, 700))
    taps = full_range(rng, 31, np.int16)
    zi = full_range(rng, (4, 30), np.int16)
    sos = full_range(rng, (2, 6), np.int16).astype(np.int32)
    sos[:, 3] = 1 << 14
    jobs = {
        "fir_q15": lambda a: corvane.fir_q15(a, taps, zi=zi),
        "fir_q8": lambda a: corvane.fir_q8(a.astype(np.int8), (taps >> 8).astype(np.int8)),
        "sosfilt_q15": lambda a: corvane.sosfilt_q15(sos, a, rounding="convergent"),
        "upfirdn_q15": lambda a: corvane.upfirdn_q15(taps, a, 3, 4),
    }
    for name in jobs:
        in_memory(name)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        for name, job in jobs.items():
            got = client.gather(client.compute(job(lazy_x)))
            want = job(x)
            for g, w in zip(*((got, want) if isinstance(want, tuple) else ((got,), (want,)))):
                np.testing.assert_array_equal(g, w, err_msg=name)


def test_import_does_not_import_dask():
    code = "import sys, corvane, numpy; corvane.fir_q15(numpy.ones(9, 'i2'), [1, 2]); print('dask' in sys.modules)"
    assert python(code).strip() == "False"


AxisError = np.exceptions.AxisError if hasattr(np, "exceptions") else np.AxisError
SOS = np.array([[16384, 0, 0, 16384, 0, 0]], np.int32)


@pytest.mark.parametrize("call,error", [
    (lambda x: corvane.fir_q15(x.astype(np.float32), [1, 2]), TypeError),
    (lambda x: corvane.fir_q8(x, [1, 2]), TypeError),
    (lambda x: corvane.fir_q15(x, [1, 2, 3], zi=np.zeros((4, 1), np.int16)), ValueError),
    (lambda x: corvane.fir_q15(x, [1, 2], axis=2), AxisError),
    (lambda x: corvane.sosfilt_q15(SOS, x, zi=np.zeros((1, 4, 3), np.int16)), ValueError),
    (lambda x: corvane.sosfilt_q15(SOS, x, rounding="up"), ValueError),
    (lambda x: corvane.upfirdn_q15([1, 2], x, 0), ValueError),
    (lambda x: corvane.upfirdn_q15([1, 2], x, 1, 2, 15, 3), TypeError),
])
def test_bad_arguments_raise_when_the_graph_is_built(call, error):
    # The in-memory checks run at once, not when a worker meets the first chunk.
    with pytest.raises(error):
        call(da.zeros((4, 100), dtype=np.int16, chunks=(2, 30)))
