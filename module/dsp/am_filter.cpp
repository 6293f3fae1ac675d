#include "am_filter.h"

namespace qex::dsp {

namespace {

// a_j = A[10 − j], b_j = B[10 − j]: the oldest state is s[0].
struct TenthOrder {
    double A[10];
    double B[11];
};

constexpr TenthOrder kFilter1 = {
    {-0.07729250097946681, 0.21112360011261824, 1.3748264541210065, -9.834329020546654, 28.82869248074192,
     -50.719232868590076, 58.79374344888247, -45.82820058806139, 23.39501318828425, -7.144031883100494},
    {0.0030397507477321123, -0.013129143059234022, 0.030204480903955763, -0.046512962753525816, 0.05494326075982866,
     -0.05237840082682249, 0.03993863318575293, -0.02213164776922598, 0.0072597348156183215, -0.0004995986118438077,
     -0.0004217965280520592},
};

constexpr TenthOrder kFilter2 = {
    {0.19921456691719497, -2.1608168672066865, 10.707449614880751, -31.95041026091168, 63.63572328489179,
     -88.48019339102296, 87.06692202267901, -59.94184589556576, 27.66825058547658, -7.744224300034943},
    {0.03324524745625965, -0.1874726978562238, 0.46968345870580164, -0.6369005552346121, 0.39331538288037826,
     0.1664584090691492, -0.5791205202838412, 0.5666585991719845, -0.3051293982380383, 0.0912909249013467,
     -0.011959490468915633},
};

// s[0..9] are the inner values of the last ten frames, oldest first; s[10] is this frame's.
template <typename State>
Pair Filter(const TenthOrder& f, State& state, Pair x)
{
    const Pair* s = &state.values[state.oldest];
    Pair feedback{};
    for (int k = 0; k < 10; ++k)
        feedback += f.A[k] * s[k];
    const Pair w = x - feedback;
    Pair y{};
    for (int k = 0; k < 10; ++k)
        y += f.B[k] * s[k];
    y += f.B[10] * w;
    state.values[state.oldest] = state.values[state.oldest + 10] = w;
    state.oldest = state.oldest == 9 ? 0 : state.oldest + 1;
    return y;
}

} // namespace

QEX_CHUNK_CODE
void AmFilter::Process(Frames frames)
{
    State first = first_, second = second_;
    for (Frame& frame : frames)
        frame = ToFrame(Filter(kFilter2, second, Filter(kFilter1, first, ToPair(frame))) * 0.9);
    first_ = first;
    second_ = second;
}

} // namespace qex::dsp
