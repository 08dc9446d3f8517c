// State blobs of the accumulators. Fields are encoded byte by byte so that the
// image is little-endian whatever the host, and the buffers may sit anywhere.
#include "accumulator.h"

namespace {

constexpr uint32_t kQ15Magic = 0x35314341;  // "AC15"
constexpr uint32_t kQ8Magic = 0x38434341;   // "ACC8"
constexpr uint16_t kVersion = 1;
constexpr uint8_t kMarker = 1;

// Header layout shared by both families; the register follows it.
constexpr size_t kMagicAt = 0;
constexpr size_t kVersionAt = 4;
constexpr size_t kMarkerAt = 6;
constexpr size_t kPadAt = 7;
constexpr size_t kLengthAt = 8;
constexpr size_t kReservedAt = 12;
constexpr size_t kHeaderLen = 16;

constexpr size_t kQ15BlobLen = kHeaderLen + sizeof(int64_t);
constexpr size_t kQ8BlobLen = kHeaderLen + sizeof(int32_t);

constexpr int kRejected = -4;

template <typename U>
void put_le(unsigned char *p, U v)
{
    for (size_t i = 0; i < sizeof(U); ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

template <typename U>
U get_le(const unsigned char *p)
{
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) {
        v = static_cast<U>(v | static_cast<U>(static_cast<U>(p[i]) << (8 * i)));
    }
    return v;
}

void put_header(unsigned char *p, uint32_t magic, size_t blob_len)
{
    put_le<uint32_t>(p + kMagicAt, magic);
    put_le<uint16_t>(p + kVersionAt, kVersion);
    p[kMarkerAt] = kMarker;
    p[kPadAt] = 0;
    put_le<uint32_t>(p + kLengthAt, static_cast<uint32_t>(blob_len));
    put_le<uint32_t>(p + kReservedAt, 0);
}

// Checked in the order magic, version, marker, length; pad and reserved are
// left for future use and never examined.
bool header_matches(const unsigned char *p, uint32_t magic, size_t blob_len)
{
    return get_le<uint32_t>(p + kMagicAt) == magic && get_le<uint16_t>(p + kVersionAt) == kVersion &&
           p[kMarkerAt] == kMarker && get_le<uint32_t>(p + kLengthAt) == blob_len;
}

}  // namespace

extern "C" {

size_t acc_q15_state_bytes(void) { return kQ15BlobLen; }

void acc_q15_get_state(const acc_q15_t *acc, void *blob)
{
    auto *p = static_cast<unsigned char *>(blob);
    put_header(p, kQ15Magic, kQ15BlobLen);
    put_le<uint64_t>(p + kHeaderLen, static_cast<uint64_t>(acc->acc));
}

int acc_q15_set_state(acc_q15_t *acc, const void *blob)
{
    const auto *p = static_cast<const unsigned char *>(blob);
    if (!header_matches(p, kQ15Magic, kQ15BlobLen)) {
        return kRejected;
    }
    acc->acc = static_cast<int64_t>(get_le<uint64_t>(p + kHeaderLen));
    return 0;
}

size_t acc_q8_state_bytes(void) { return kQ8BlobLen; }

void acc_q8_get_state(const acc_q8_t *acc, void *blob)
{
    auto *p = static_cast<unsigned char *>(blob);
    put_header(p, kQ8Magic, kQ8BlobLen);
    put_le<uint32_t>(p + kHeaderLen, static_cast<uint32_t>(acc->acc));
}

int acc_q8_set_state(acc_q8_t *acc, const void *blob)
{
    const auto *p = static_cast<const unsigned char *>(blob);
    if (!header_matches(p, kQ8Magic, kQ8BlobLen)) {
        return kRejected;
    }
    acc->acc = static_cast<int32_t>(get_le<uint32_t>(p + kHeaderLen));
    return 0;
}

}  // extern "C"
