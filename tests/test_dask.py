"""The ufuncs over Dask arrays: the chunked result is the in-memory one, bit for bit."""
import numpy as np
import pytest

da = pytest.importorskip("dask.array")

import corvane  # noqa: E402
from corvane import arith  # noqa: E402

BINARY = ["add_q15", "sub_q15", "mul_q15", "add_q8", "sub_q8", "mul_q8"]
SHIFTS = ["shl_q15", "shr_q15", "shl_q8", "shr_q8", "shl_i64", "shr_i64"]
DTYPE = {"q15": np.int16, "q8": np.int8, "i64": np.int64}
# Chunks along the channel axis, along the sample axis, both and irregular.
CHUNKS = [(2, 45), (7, 10), (3, (11, 30, 4))]


def samples(name, shape, seed):
    dtype = DTYPE[name.rsplit("_", 1)[1]]
    info = np.iinfo(dtype)
    return np.random.default_rng(seed).integers(info.min, info.max, shape, dtype=dtype, endpoint=True)


@pytest.mark.parametrize("chunks", CHUNKS, ids=str)
@pytest.mark.parametrize("name", BINARY)
def test_elementwise_chunked_equals_in_memory(name, chunks):
    a, b = samples(name, (7, 45), 1), samples(name, (7, 45), 2)
    ufunc = getattr(corvane, name)
    lazy = ufunc(da.from_array(a, chunks=chunks), da.from_array(b, chunks=(4, 9)))
    assert isinstance(lazy, da.Array) and lazy.dtype == a.dtype
    np.testing.assert_array_equal(lazy.compute(scheduler="threads"), ufunc(a, b))
    # A NumPy operand broadcast against the chunks.
    np.testing.assert_array_equal(ufunc(da.from_array(a, chunks=chunks), b[0]).compute(), ufunc(a, b[0]))


@pytest.mark.parametrize("chunks", CHUNKS, ids=str)
@pytest.mark.parametrize("name", SHIFTS)
def test_shift_counts_per_channel_chunked(name, chunks):
    x = samples(name, (7, 45), 3)
    counts = np.array([[0], [1], [3], [7], [15], [40], [-2]], np.int32)
    ufunc = getattr(corvane, name)
    lazy = ufunc(da.from_array(x, chunks=chunks), da.from_array(counts, chunks=(chunks[0], 1)))
    np.testing.assert_array_equal(lazy.compute(), ufunc(x, counts))


@pytest.mark.parametrize("name", ["dot_q15", "dot_q8"])
def test_gufunc_with_core_dimension_in_one_chunk(name):
    x, taps = samples(name, 500, 4), samples(name, 16, 5)
    ufunc = getattr(corvane, name)
    windows = np.lib.stride_tricks.sliding_window_view(x, taps.size)
    lazy = ufunc(da.from_array(windows, chunks=(97, -1)), taps)
    np.testing.assert_array_equal(lazy.compute(), ufunc(windows, taps))


def test_chunk_sums_and_accumulator_blobs_give_the_one_pass_total():
    # Q8 sums of -128 * -128 wrap 32 bits every 2**17 pairs: the chunk sums,
    # added with the same wrap, still give the one-pass total.
    n = 600_001
    q8 = np.full(n, -128, np.int8)
    x8 = da.from_array(q8, chunks=70_001)
    partial = da.map_blocks(lambda a, b: np.atleast_1d(corvane.dot_q8(a, b)), x8, x8, dtype=np.int32,
                            chunks=((1,) * x8.numblocks[0],))
    assert partial.sum(dtype=np.int32).compute() == arith.dot_q8(q8, q8)

    # Q15: one accumulator per chunk, resumed from a register near the top so
    # that the total wraps 64 bits; the per-chunk blobs add up modulo 2**64.
    a, b = samples("x_q15", 10_000, 6), samples("x_q15", 10_000, 7)
    start = (1 << 63) - 12345

    def chunk_blob(x, y, block_info=None):
        first = block_info[0]["chunk-location"][0] == 0
        acc = arith.AccQ15(start if first else 0)
        acc.madd(x, y)
        return np.frombuffer(acc.get_state(), np.uint8)

    xa, xb = da.from_array(a, chunks=1234), da.from_array(b, chunks=1234)
    blobs = da.map_blocks(chunk_blob, xa, xb, dtype=np.uint8, chunks=((24,) * xa.numblocks[0],)).compute()
    registers = []
    for blob in blobs.reshape(-1, 24):
        acc = arith.AccQ15()
        acc.set_state(blob.tobytes())
        registers.append(acc.get())
    total = np.array(registers, np.int64).sum()
    one_pass = arith.AccQ15(start)
    one_pass.madd(a, b)
    assert total == one_pass.get()


def test_process_scheduler_ships_the_ufuncs():
    # Workers of a process pool or a cluster receive the ufunc pickled by name.
    a = samples("x_q15", (4, 100), 8)
    lazy = corvane.mul_q15(da.from_array(a, chunks=(1, 100)), a[::-1])
    np.testing.assert_array_equal(lazy.compute(scheduler="processes", num_workers=2), corvane.mul_q15(a, a[::-1]))
