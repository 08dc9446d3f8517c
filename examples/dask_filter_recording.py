"""A multi-GiB recording, generated lazily chunk by chunk, through a 31-tap
Q15 FIR on Dask, reduced to a checksum and a saturation count per channel;
prints the throughput. Memory stays at a few chunks whatever the length.

    python examples/dask_filter_recording.py [GiB] [scheduler address]

4 GiB by default, on this machine's threads; with an address, on a running
dask.distributed cluster (install the same corvane on every worker).
"""
import sys
import time

import dask
import dask.array as da
import numpy as np

import corvane

CHANNELS, CHUNK = 8, 1 << 20  # chunks of 8 channels x 1M samples (16 MiB)


def recording_block(seed, block_id=None):
    """The samples of one chunk: the same for the same chunk, wherever computed."""
    bits = np.random.Generator(np.random.PCG64([seed, block_id[1]])).bit_generator
    return bits.random_raw(CHANNELS * CHUNK // 4).view(np.int16).reshape(CHANNELS, CHUNK)


def main():
    gib = float(sys.argv[1]) if len(sys.argv) > 1 else 4.0
    if len(sys.argv) > 2:
        from dask.distributed import Client

        Client(sys.argv[2])  # becomes the default scheduler of dask.compute
    blocks = max(1, int(gib * (1 << 30)) // (2 * CHANNELS * CHUNK))
    x = da.map_blocks(recording_block, 7, chunks=((CHANNELS,), (CHUNK,) * blocks), dtype=np.int16)
    taps = corvane.to_q15(np.hamming(31) / np.hamming(31).sum() * 3)  # a gain of 3: loud parts saturate
    y = corvane.fir_q15(x, taps)  # lazy: each chunk borrows the 30 samples before it
    checksum = y.sum(axis=-1, dtype=np.int64)
    saturated = ((y == 32767) | (y == -32768)).sum(axis=-1)
    start = time.perf_counter()
    checksum, saturated = dask.compute(checksum, saturated)
    elapsed = time.perf_counter() - start
    for channel, (total, count) in enumerate(zip(checksum, saturated)):
        print(f"channel {channel}: checksum {total:+d}, saturated {count} samples")
    print(f"{x.nbytes / 2**30:.2f} GiB filtered in {elapsed:.2f} s: "
          f"{x.nbytes / 2**30 / elapsed:.2f} GiB/s, {x.size / elapsed / 1e6:.0f} M samples/s")


if __name__ == "__main__":
    main()
