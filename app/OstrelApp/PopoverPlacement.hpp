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

// One click on the tray item reaches the popover twice, as a press seen on the screen and as the
// item's activation, in either order.
// - The press closes the popover, and the activation comes next: a show this soon after a close
//   by a press on the item (or by the focus leaving, wherever the click was) is refused.
// - The activation opens the popover, and the press comes next: a press on the point the popover
//   was opened from, this soon after, is that same click and leaves it open.
class PopoverToggleGuard final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds window{250};
    // A loaded machine may handle the press well after the activation.
    static constexpr std::chrono::milliseconds openingPressWindow{1000};
    static constexpr int slack = 8;  // pixels around the anchor that still count as on it

    // Closed by a press at `where`, or by the focus leaving the program when there is none.
    void noteClosedBy(std::optional<QPoint> where, Clock::time_point now) { lastClose_ = {where, now}; }
    bool mayShow(const QRect& anchor, Clock::time_point now) const;

    void noteShown(const QRect& anchor, Clock::time_point now) { lastShow_ = {anchor, now}; }
    bool isOpeningPress(QPoint where, Clock::time_point now) const;

private:
    struct Close {
        std::optional<QPoint> where;
        Clock::time_point at;
    };
    struct Show {
        QRect anchor;
        Clock::time_point at;
    };
    std::optional<Close> lastClose_;
    std::optional<Show> lastShow_;
};

}  // namespace ostrel
