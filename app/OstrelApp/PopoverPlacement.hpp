#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <chrono>
#include <optional>

namespace ostrel {

// Where the popover's top-left corner goes: centred across its anchor (the tray item, or a point
// standing for it), below the anchor when the anchor lies in the upper half of the screen's
// available area (a panel at the top) and above it otherwise, and kept inside that area.
QPoint popoverPosition(const QRect& anchor, const QRect& available, const QSize& size);

// A popup closes on the click outside it, and that same click can reach the tray item next and
// open it again. So a show this soon after a hide is refused; hiding is always allowed.
class PopoverToggleGuard final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds window{250};

    bool mayShow(Clock::time_point now) const { return !lastHide_ || now - *lastHide_ >= window; }
    void noteHidden(Clock::time_point now) { lastHide_ = now; }

private:
    std::optional<Clock::time_point> lastHide_;
};

}  // namespace ostrel
