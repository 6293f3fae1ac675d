#pragma once
// How PCM samples are laid out, as the wave components and the level meters describe it.

enum class TMMBits { b8Bit, b16Bit };

// Mono, stereo, four channels (which the meters read as whole frames), or any other count of
// more than two (only ever reported by the wave input).
enum class TMMMode { mMono, mStereo, mQuadro, mMultiChannel };
