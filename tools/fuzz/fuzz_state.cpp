// libFuzzer target: arbitrary blobs into acc_q15_set_state / acc_q8_set_state.
// A rejected blob must leave the register as it was; an accepted one must load
// exactly the little-endian bytes from offset 16 on. The header rule is
// restated here: magic, version 1, marker 1, total length.
// Input: family bit, the register's prior value (8 bytes), then the blob.
#include <cstdint>
#include <cstring>
#include <vector>

#include "accumulator.h"

namespace {

uint64_t le(const uint8_t *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        v |= uint64_t{p[i]} << (8 * i);
    }
    return v;
}

bool header_ok(const uint8_t *blob, uint32_t magic, uint32_t length)
{
    return le(blob, 4) == magic && le(blob + 4, 2) == 1 && blob[6] == 1 && le(blob + 8, 4) == length;
}

void check(bool cond)
{
    if (!cond) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9) {
        return 0;
    }
    bool q15 = data[0] & 1;
    uint64_t prior = le(data + 1, 8);
    size_t blob_size = q15 ? acc_q15_state_bytes() : acc_q8_state_bytes();
    check(blob_size == (q15 ? 24u : 20u));
    // Exactly the blob's size on the heap: set_state must read no further.
    std::vector<uint8_t> blob(blob_size, 0);
    std::memcpy(blob.data(), data + 9, size - 9 < blob_size ? size - 9 : blob_size);
    // Let short inputs reach acceptance: a zero magic byte means "use the right header".
    if (blob[0] == 0) {
        const uint8_t header[16] = {0x41, 0x43, static_cast<uint8_t>(q15 ? 0x31 : 0x43), static_cast<uint8_t>(q15 ? 0x35 : 0x38),
                                    1, 0, 1, blob[7], static_cast<uint8_t>(blob_size), 0, 0, 0, blob[12], blob[13], blob[14], blob[15]};
        std::memcpy(blob.data(), header, sizeof header);
    }

    if (q15) {
        acc_q15_t *acc = acc_q15_create(static_cast<int64_t>(prior));
        bool ok = header_ok(blob.data(), 0x35314341u, 24);
        int rc = acc_q15_set_state(acc, blob.data());
        check(rc == (ok ? 0 : -4));
        check(static_cast<uint64_t>(acc_q15_get_acc(acc)) == (ok ? le(blob.data() + 16, 8) : prior));
        std::vector<uint8_t> back(24);
        acc_q15_get_state(acc, back.data());
        check(header_ok(back.data(), 0x35314341u, 24) && le(back.data() + 12, 4) == 0 && back[7] == 0);
        check(le(back.data() + 16, 8) == static_cast<uint64_t>(acc_q15_get_acc(acc)));
        acc_q15_destroy(acc);
    } else {
        acc_q8_t *acc = acc_q8_create(static_cast<int32_t>(prior));
        bool ok = header_ok(blob.data(), 0x38434341u, 20);
        int rc = acc_q8_set_state(acc, blob.data());
        check(rc == (ok ? 0 : -4));
        check(static_cast<uint32_t>(acc_q8_get_acc(acc)) == (ok ? le(blob.data() + 16, 4) : static_cast<uint32_t>(prior)));
        std::vector<uint8_t> back(20);
        acc_q8_get_state(acc, back.data());
        check(header_ok(back.data(), 0x38434341u, 20) && le(back.data() + 12, 4) == 0 && back[7] == 0);
        check(le(back.data() + 16, 4) == static_cast<uint32_t>(acc_q8_get_acc(acc)));
        acc_q8_destroy(acc);
    }
    return 0;
}
