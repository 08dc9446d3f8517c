#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# fixed time from the checked-in seed corpus, printing executions per second
# and total executions. Any crash, sanitizer report or model mismatch fails.
#
#   tools/fuzz/run.sh [seconds per target, default 60]
#
# Needs Debian's clang and libclang-rt-<version>-dev. New inputs go to a
# scratch corpus under the build directory; the checked-in seeds stay as they are.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-60}
out=${FUZZ_BUILD_DIR:-build-fuzz}
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer -Wall -Wextra -Werror -Icore -Icore/filters)

for target in kernels state fir sos; do
    clang++ "${flags[@]}" "tools/fuzz/fuzz_$target.cpp" core/*.cpp core/filters/*.cpp -o "$out/fuzz_$target"
done

for target in kernels state fir sos; do
    corpus="$out/corpus_$target"
    mkdir -p "$corpus"
    log="$out/fuzz_$target.log"
    if ! "$out/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$out/" "$corpus" "tools/fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$target: FAILED (log: $log)" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    echo "fuzz_$target: $runs execs in ${took}s, $(( runs / (took > 0 ? took : 1) )) execs/s"
done
