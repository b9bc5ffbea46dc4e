#include "store/Fingerprint.h"

#include <algorithm>
#include <cstring>

// Four independent multiply-rotate lanes over 32-byte stripes (the round of xxHash64): several
// gigabytes a second, so a digest of ~/.claude.json costs far less than writing it.
namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;

std::uint64_t rotate(std::uint64_t x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}

std::uint64_t round(std::uint64_t lane, std::uint64_t input)
{
    return rotate(lane + input * kPrime2, 31) * kPrime1;
}

std::uint64_t avalanche(std::uint64_t h)
{
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

std::uint64_t word(const char *data)
{
    std::uint64_t value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

} // namespace

void Fingerprint::stripe(const char *data)
{
    for (int lane = 0; lane < 4; ++lane)
        m_lanes[lane] = round(m_lanes[lane], word(data + 8 * lane));
}

void Fingerprint::add(const char *data, std::size_t size)
{
    m_size += size;
    if (m_tailSize > 0) {
        const std::size_t take = std::min(size, kStripe - m_tailSize);
        std::memcpy(m_tail + m_tailSize, data, take);
        m_tailSize += take;
        data += take;
        size -= take;
        if (m_tailSize < kStripe)
            return;
        stripe(reinterpret_cast<const char *>(m_tail));
        m_tailSize = 0;
    }
    for (; size >= kStripe; data += kStripe, size -= kStripe)
        stripe(data);
    std::memcpy(m_tail, data, size);
    m_tailSize = size;
}

Fingerprint::Digest Fingerprint::digest() const
{
    // The last partial stripe is padded with zeros; the length tells the padding apart.
    Fingerprint last = *this;
    if (last.m_tailSize > 0) {
        std::memset(last.m_tail + last.m_tailSize, 0, kStripe - last.m_tailSize);
        last.stripe(reinterpret_cast<const char *>(last.m_tail));
    }
    const std::uint64_t *v = last.m_lanes;
    const std::uint64_t low =
        avalanche(rotate(v[0], 1) + rotate(v[1], 7) + rotate(v[2], 12) + rotate(v[3], 18) + m_size * kPrime4);
    const std::uint64_t high =
        avalanche((v[0] * kPrime3) ^ rotate(v[1] * kPrime4, 17) ^ rotate(v[2] * kPrime1, 29) ^
                  rotate(v[3] * kPrime2, 43) ^ (m_size + kPrime1));
    return {m_size, high, low};
}

Fingerprint::Digest Fingerprint::of(const QByteArray &bytes)
{
    Fingerprint fingerprint;
    fingerprint.add(bytes.constData(), std::size_t(bytes.size()));
    return fingerprint.digest();
}
