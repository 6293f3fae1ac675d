#pragma once
// The processing module bounds every output sample to +-32760: a sample there was clipped.

inline constexpr int kClipLevel = 32760;
