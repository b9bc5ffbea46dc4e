#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// A 128-bit digest of a text and its length, made as the text streams by: enough to tell
// whether a file still holds what was written to it without keeping a second copy of tens of
// megabytes. It guards against another program's change, not against a crafted collision.
class Fingerprint
{
public:
    struct Digest
    {
        std::uint64_t size = 0;
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        bool operator==(const Digest &) const = default;
    };

    void add(const char *data, std::size_t size);
    [[nodiscard]] Digest digest() const;

    [[nodiscard]] static Digest of(const QByteArray &bytes);

private:
    static constexpr std::size_t kStripe = 32;

    void stripe(const char *data);

    std::uint64_t m_lanes[4] = {0x60ea27eeadc0b5d6ull, 0xc2b2ae3d27d4eb4full, 0x0ull, 0x61c8864e7a143579ull};
    unsigned char m_tail[kStripe] = {};
    std::size_t m_tailSize = 0;
    std::uint64_t m_size = 0;
};
