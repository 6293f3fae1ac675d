#pragma once
// One stereo sample frame as it passes from block to block: doubles in 16-bit sample units
// (32767 is digital full scale), never normalised.
//
// Blocks that treat both channels alike work on a Pair, the frame as a vector of two lanes
// (L, R). Each lane gets exactly the IEEE double arithmetic the scalar code would do, in the
// same order, so both channels are computed at once with bit-identical results. The build
// forbids fused multiply-add, and SSE2, which every x86-64 processor has, is all it needs.
//
// The functions that run a chunk through a block are marked QEX_CHUNK_CODE: each is compiled
// twice, for plain x86-64 and for processors with AVX2, and the copy the processor can run is
// chosen when the module loads. The AVX2 copy does the same operations on the same lanes in the
// same order with fewer instructions (three-operand forms, blends for selects); fused
// multiply-add stays forbidden there too, so both copies give the same results to the bit.

#include <bit>
#include <cstdint>
#include <emmintrin.h>
#include <span>

// ThreadSanitizer cannot watch code chosen before it starts, so its build has the plain copy only.
#if defined(__SANITIZE_THREAD__)
#define QEX_CHUNK_CODE
#else
#define QEX_CHUNK_CODE __attribute__((target_clones("avx2", "default")))
#endif

namespace qex::dsp {

using Pair = double __attribute__((vector_size(16)));
// What comparing two Pairs gives: all bits set in a lane where the comparison holds.
using Mask = int64_t __attribute__((vector_size(16)));

struct alignas(16) Frame {
    double L = 0.0;
    double R = 0.0;
};

// The signal path hands the blocks at most this many frames at a time, and each block runs
// them all before the next block starts. Longer chunks spread each block's setup over more
// frames; the blocks' working arrays for a chunk, on the stack, stay below 100 kB.
inline constexpr int kChunkFrames = 256;

// The frames of a chunk.
using Frames = std::span<Frame>;

inline Pair ToPair(const Frame& frame)
{
    return std::bit_cast<Pair>(frame);
}

inline Frame ToFrame(Pair pair)
{
    return std::bit_cast<Frame>(pair);
}

// std::fabs of each lane.
inline Pair Abs(Pair x)
{
    return std::bit_cast<Pair>(std::bit_cast<Mask>(x) & Mask{INT64_MAX, INT64_MAX});
}

// std::sqrt of each lane, correctly rounded like it.
inline Pair Sqrt(Pair x)
{
    return _mm_sqrt_pd(x);
}

// std::max(R, L) of a frame's two values.
inline double LargerLane(Pair x)
{
    return x[1] < x[0] ? x[0] : x[1];
}

// The same mask in both lanes.
inline Mask Both(bool condition)
{
    return condition ? Mask{-1, -1} : Mask{0, 0};
}

} // namespace qex::dsp
