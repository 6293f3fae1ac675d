#include "panel_position.h"

#include <algorithm>

namespace qex {

namespace {

bool Usable(const DesktopRect& d)
{
    return d.right > d.left && d.bottom > d.top && d.top >= 0 && d.left >= 0;
}

ScreenPoint KeepOnDesktop(ScreenPoint p, const DesktopRect& d)
{
    return {std::min(std::max(p.x, d.left - 64), d.right - 32), std::min(std::max(p.y, d.top - 32), d.bottom - 32)};
}

bool Plausible(ScreenPoint p)
{
    return -32 < p.x && p.x < 8000 && -32 < p.y && p.y < 8000;
}

std::optional<ScreenPoint> Place(ScreenPoint p, const DesktopRect& desktop)
{
    if (Usable(desktop))
        return KeepOnDesktop(p, desktop);
    if (Plausible(p))
        return p;
    return std::nullopt;
}

} // namespace

std::optional<ScreenPoint> RestorePanelPosition(int32_t storedX, int32_t storedY, const DesktopRect& desktop)
{
    return Place({storedX, storedY}, desktop);
}

std::optional<ScreenPoint> SavePanelPosition(ScreenPoint current, const DesktopRect& desktop)
{
    return Place(current, desktop);
}

} // namespace qex
