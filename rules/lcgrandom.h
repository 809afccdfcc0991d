#pragma once

#include <cstdint>

// The game's 32-bit linear congruential generator. One instance lives for
// the whole program and is seeded once; every shuffle continues the same
// sequence.
class LcgRandom {
public:
    explicit LcgRandom(std::uint32_t seed = 0) : m_seed(seed) {}

    void setSeed(std::uint32_t seed) { m_seed = seed; }
    std::uint32_t seed() const { return m_seed; }

    // A draw in 0 … n − 1: the seed steps to seed × 134775813 + 1 (mod 2^32)
    // and the result is the upper 32 bits of the 64-bit product seed × n.
    std::uint32_t draw(std::uint32_t n)
    {
        m_seed = m_seed * kMultiplier + 1u;
        return static_cast<std::uint32_t>((std::uint64_t{m_seed} * n) >> 32);
    }

private:
    static constexpr std::uint32_t kMultiplier = 134775813u;
    std::uint32_t m_seed;
};
