// The solver's bit sets: one bit a cell, column after column, each column bottom-up, in a
// fixed number of 64-bit words. Everything clever about the bits lives here; the rest of the
// solver only calls these functions. Internal to the solver.
#pragma once

#include <cstddef>
#include <cstdint>

// The hottest of the functions below are built twice where the compiler can choose between
// builds when the program starts (GCC on x86-64 Linux): once for any x86-64 processor and once
// for those with AVX2 and BMI2. The second takes a tenth fewer instructions in the exact
// search (variable shifts, and-not, a popcount instruction), and only those who have the
// instructions run it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define BUILT_FOR_NEWER_PROCESSORS_TOO __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define BUILT_FOR_NEWER_PROCESSORS_TOO
#endif

template <int Words>
struct Bits {
    uint64_t word[static_cast<unsigned>(Words)];
};

template <int Words>
Bits<Words> no_bits() {
    Bits<Words> bits;
    for (int i = 0; i < Words; ++i) bits.word[i] = 0;
    return bits;
}

template <int Words>
bool is_empty(const Bits<Words>& a) {
    uint64_t any = 0;
    for (int i = 0; i < Words; ++i) any |= a.word[i];
    return any == 0;
}

template <int Words>
bool same_bits(const Bits<Words>& a, const Bits<Words>& b) {
    uint64_t differ = 0;
    for (int i = 0; i < Words; ++i) differ |= a.word[i] ^ b.word[i];
    return differ == 0;
}

template <int Words>
Bits<Words> both(const Bits<Words>& a, const Bits<Words>& b) {
    Bits<Words> r;
    for (int i = 0; i < Words; ++i) r.word[i] = a.word[i] & b.word[i];
    return r;
}

template <int Words>
Bits<Words> either(const Bits<Words>& a, const Bits<Words>& b) {
    Bits<Words> r;
    for (int i = 0; i < Words; ++i) r.word[i] = a.word[i] | b.word[i];
    return r;
}

template <int Words>
Bits<Words> without(const Bits<Words>& a, const Bits<Words>& b) {
    Bits<Words> r;
    for (int i = 0; i < Words; ++i) r.word[i] = a.word[i] & ~b.word[i];
    return r;
}

// Set bits of a word, without the library call a plain x86-64 build makes of popcount.
inline int32_t word_bits(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int32_t>((x * 0x0101010101010101ull) >> 56);
}

template <int Words>
int32_t count_bits(const Bits<Words>& a) {
    int32_t n = 0;
    for (int i = 0; i < Words; ++i) n += word_bits(a.word[i]);
    return n;
}

// Index of the lowest set bit; the set must not be empty.
template <int Words>
int32_t lowest_bit(const Bits<Words>& a) {
    for (int i = 0; i < Words; ++i) {
        if (a.word[i] != 0)
            return i * 64 + __builtin_ctzll(a.word[i]);
    }
    return -1;
}

// Index of the highest set bit; the set must not be empty.
template <int Words>
int32_t highest_bit(const Bits<Words>& a) {
    for (int i = Words - 1; i >= 0; --i) {
        if (a.word[i] != 0)
            return i * 64 + 63 - __builtin_clzll(a.word[i]);
    }
    return -1;
}

template <int Words>
bool has_bit(const Bits<Words>& a, int32_t bit) {
    return ((a.word[bit >> 6] >> (bit & 63)) & 1) != 0;
}

template <int Words>
void set_bit(Bits<Words>& a, int32_t bit) {
    a.word[bit >> 6] |= uint64_t{1} << (bit & 63);
}

// Every bit moved up (to higher indices) by n, 0 <= n < 64 * Words.
template <int Words>
Bits<Words> raised(const Bits<Words>& a, int32_t n) {
    const int32_t whole = n >> 6;
    const int32_t part = n & 63;
    Bits<Words> r;
    for (int i = Words - 1; i >= 0; --i) {
        const int from = i - whole;
        uint64_t v = 0;
        if (from >= 0) {
            v = a.word[from] << part;
            if (part != 0 && from > 0)
                v |= a.word[from - 1] >> (64 - part);
        }
        r.word[i] = v;
    }
    return r;
}

// Every bit moved down (to lower indices) by n, 0 <= n < 64 * Words.
template <int Words>
Bits<Words> lowered(const Bits<Words>& a, int32_t n) {
    const int32_t whole = n >> 6;
    const int32_t part = n & 63;
    Bits<Words> r;
    for (int i = 0; i < Words; ++i) {
        const int from = i + whole;
        uint64_t v = 0;
        if (from < Words) {
            v = a.word[from] >> part;
            if (part != 0 && from + 1 < Words)
                v |= a.word[from + 1] << (64 - part);
        }
        r.word[i] = v;
    }
    return r;
}

// The same for 0 < n < 64, without branches: the steps a flood fill takes on columns of
// fewer than 64 cells.
template <int Words>
Bits<Words> raised_short(const Bits<Words>& a, int32_t n) {
    Bits<Words> r;
    r.word[0] = a.word[0] << n;
    for (int i = 1; i < Words; ++i) r.word[i] = (a.word[i] << n) | (a.word[i - 1] >> (64 - n));
    return r;
}

template <int Words>
Bits<Words> lowered_short(const Bits<Words>& a, int32_t n) {
    Bits<Words> r;
    for (int i = 0; i + 1 < Words; ++i) r.word[i] = (a.word[i] >> n) | (a.word[i + 1] << (64 - n));
    r.word[Words - 1] = a.word[Words - 1] >> n;
    return r;
}

// The `length` bits (at most 64) from `low`, as a word.
template <int Words>
uint64_t field_of(const Bits<Words>& a, int32_t low, int32_t length) {
    const int32_t at = low >> 6;
    const int32_t shift = low & 63;
    uint64_t v = a.word[at] >> shift;
    if (shift + length > 64 && at + 1 < Words)
        v |= a.word[at + 1] << (64 - shift);
    return length == 64 ? v : v & ((uint64_t{1} << length) - 1);
}

template <int Words>
void set_field(Bits<Words>& a, int32_t low, int32_t length, uint64_t value) {
    const uint64_t mask = length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1;
    const int32_t at = low >> 6;
    const int32_t shift = low & 63;
    a.word[at] = (a.word[at] & ~(mask << shift)) | (value << shift);
    if (shift + length > 64 && at + 1 < Words) {
        a.word[at + 1] = (a.word[at + 1] & ~(mask >> (64 - shift))) | (value >> (64 - shift));
    }
}

// The bits of each column word not in gone, moved down over the gaps that gone leaves: a
// column with some of its cells removed, settled. One run of gone cells at a time, highest
// first, all the words together.
template <std::size_t Count>
void squeeze_out(uint64_t (&column)[Count], uint64_t gone) {
    while (gone != 0) {
        const int32_t top = 63 - __builtin_clzll(gone);
        const uint64_t upto = top == 63 ? ~uint64_t{0} : (uint64_t{1} << (top + 1)) - 1;
        const uint64_t kept_below = ~gone & upto;
        const int32_t bottom = kept_below == 0 ? 0 : 64 - __builtin_clzll(kept_below);
        const uint64_t below = (uint64_t{1} << static_cast<unsigned>(bottom)) - 1;
        const int32_t length = top + 1 - bottom;
        for (uint64_t& x : column) {
            x = (x & below) | (length == 64 ? 0 : (x >> static_cast<unsigned>(length)) & ~below);
        }
        gone &= below;
    }
}

// The bits from low up to but not including high, 0 <= low <= high <= 64 * Words.
template <int Words>
Bits<Words> bit_range(int32_t low, int32_t high) {
    Bits<Words> r;
    for (int i = 0; i < Words; ++i) {
        const int32_t start = i * 64;
        const int32_t a = low > start ? low - start : 0;
        const int32_t b = high < start + 64 ? high - start : 64;
        if (b <= a) {
            r.word[i] = 0;
        } else {
            const uint64_t upto = b == 64 ? ~uint64_t{0} : (uint64_t{1} << b) - 1;
            r.word[i] = upto & ~((uint64_t{1} << a) - 1);
        }
    }
    return r;
}

// The cells of a board of the given column height, and the cells at the top and the bottom
// of every column, which a step up or down must not cross.
template <int Words>
struct Geometry {
    int32_t width = 0;
    int32_t height = 0;
    int32_t used_words = 0;    // words holding cells
    uint64_t column_step = 0;  // 2^32 / height, rounded up: see column_of
    Bits<Words> not_top;
    Bits<Words> not_bottom;
};

template <int Words>
Geometry<Words> geometry_of(int32_t width, int32_t height) {
    Geometry<Words> g;
    g.width = width;
    g.height = height;
    g.used_words = (width * height + 63) / 64;
    g.column_step = (uint64_t{1} << 32) / static_cast<uint64_t>(height) + 1;
    g.not_top = bit_range<Words>(0, width * height);
    g.not_bottom = g.not_top;
    for (int32_t column = 0; column < width; ++column) {
        g.not_top.word[(column * height + height - 1) >> 6] &=
            ~(uint64_t{1} << ((column * height + height - 1) & 63));
        g.not_bottom.word[(column * height) >> 6] &= ~(uint64_t{1} << ((column * height) & 63));
    }
    return g;
}

// The column of a cell, by a multiplication: with a division, removing a group took a ninth
// longer. Exact while cell * height < 2^32, which the solver's largest board keeps.
template <int Words>
int32_t column_of(const Geometry<Words>& g, int32_t cell) {
    return static_cast<int32_t>((static_cast<uint64_t>(cell) * g.column_step) >> 32);
}

// The cells next to `cells` (up, down, left, right), with `Up` and `Down` the shifts to use:
// the branchless short ones on columns of fewer than 64 cells, the general ones otherwise.
// Inlined always: called apart, it costs a tenth more on the flood fill.
template <int Words, Bits<Words> (*Up)(const Bits<Words>&, int32_t),
          Bits<Words> (*Down)(const Bits<Words>&, int32_t)>
[[gnu::always_inline]] inline Bits<Words> ring_by(const Geometry<Words>& g,
                                                  const Bits<Words>& cells) {
    Bits<Words> near = Up(both(cells, g.not_top), 1);
    near = either(near, Down(both(cells, g.not_bottom), 1));
    near = either(near, Up(cells, g.height));
    return either(near, Down(cells, g.height));
}

template <int Words, Bits<Words> (*Up)(const Bits<Words>&, int32_t),
          Bits<Words> (*Down)(const Bits<Words>&, int32_t)>
BUILT_FOR_NEWER_PROCESSORS_TOO Bits<Words> flood_by(const Geometry<Words>& g, Bits<Words> seed,
                                                    const Bits<Words>& within) {
    for (;;) {
        const Bits<Words> grown = both(either(seed, ring_by<Words, Up, Down>(g, seed)), within);
        if (same_bits(grown, seed))
            return seed;
        seed = grown;
    }
}

// The cells of `within` connected to `seed` (a subset of within) by steps up, down, left
// and right: bit-parallel flood fill, a whole ring of neighbours a step.
template <int Words>
Bits<Words> flood(const Geometry<Words>& g, const Bits<Words>& seed, const Bits<Words>& within) {
    if (g.height < 64)
        return flood_by<Words, raised_short<Words>, lowered_short<Words>>(g, seed, within);
    return flood_by<Words, raised<Words>, lowered<Words>>(g, seed, within);
}

// The cells of `within` with a neighbour in `within`.
template <int Words>
BUILT_FOR_NEWER_PROCESSORS_TOO Bits<Words> paired(const Geometry<Words>& g,
                                                  const Bits<Words>& within) {
    if (g.height < 64)
        return both(ring_by<Words, raised_short<Words>, lowered_short<Words>>(g, within), within);
    return both(ring_by<Words, raised<Words>, lowered<Words>>(g, within), within);
}

// A 64-bit key of a set of bit sets.
template <int Words>
uint64_t mix_key(uint64_t key, const Bits<Words>& a, int32_t used_words) {
    for (int i = 0; i < used_words; ++i) {
        key = (key ^ a.word[i]) * 0x9E3779B97F4A7C15ull;
        key ^= key >> 29;
    }
    return key;
}

inline uint64_t finish_key(uint64_t key) {
    key ^= key >> 31;
    key *= 0xBF58476D1CE4E5B9ull;
    key ^= key >> 27;
    key *= 0x94D049BB133111EBull;
    return key ^ (key >> 31);
}
