"""corvane's ufuncs over a chunked Dask array: per-channel gain, a saturating
mix and a Q30 energy total, computed chunk by chunk.

    python examples/dask_pipeline.py                      # threads on this machine
    python examples/dask_pipeline.py tcp://scheduler:8786  # a running cluster
"""
import sys

import dask.array as da
import numpy as np

import corvane

if len(sys.argv) > 1:
    from dask.distributed import Client

    Client(sys.argv[1])  # becomes the default scheduler of .compute()

channels, samples = 8, 4_000_000
rng = da.random.default_rng(7)
# 8 x 4M Q15 samples (64 MB) in chunks of 2 channels x 1M samples.
x = rng.integers(-20000, 20000, (channels, samples), dtype=np.int16, chunks=(2, 1_000_000))

gain = np.arange(channels, dtype=np.int32)[:, None]  # one shift count per channel
boosted = corvane.shl_q15(x, gain)                    # saturating, lazy
mixed = corvane.add_q15(boosted, boosted[::-1])       # channel 0 + channel 7, ...

# Raw Q30 energy per channel: dot_q15 needs the summed axis in one chunk, so
# each chunk gives partial sums, which add exactly (wrapping at 64 bits).
partial = da.map_blocks(lambda c: corvane.dot_q15(c, c)[:, None], mixed, dtype=np.int64, chunks=(2, 1))
energy = partial.sum(axis=1)

print("saturated samples per channel:", (abs(mixed.astype(np.int32)) >= 32767).sum(axis=1).compute().tolist())
print("Q30 energy per channel:       ", energy.compute().tolist())
