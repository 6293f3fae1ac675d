#pragma once
// Where the control panel opens and what is stored when it closes, kept on the desktop: at
// most 64 pixels may hang off the left edge and 32 off the others.

#include <cstdint>
#include <optional>

namespace qex {

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

// The client rectangle of the desktop.
struct DesktopRect {
    int32_t left, top, right, bottom;
};

// The position to move a newly created panel to, from the stored "pos_x"/"pos_y" (-1 when
// absent); nothing when it should stay where the window system put it.
std::optional<ScreenPoint> RestorePanelPosition(int32_t storedX, int32_t storedY, const DesktopRect& desktop);

// The position to store when the panel closes (it also becomes the panel's position); nothing
// when the position is off any plausible desktop and nothing should be written.
std::optional<ScreenPoint> SavePanelPosition(ScreenPoint current, const DesktopRect& desktop);

} // namespace qex
