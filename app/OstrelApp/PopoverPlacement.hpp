#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <chrono>
#include <optional>

namespace ostrel {

// Where the popover goes and how large it is, given its anchor (the tray item, or a point
// standing for it), the anchor's screen and that screen's available area (the screen less the
// panels the window manager keeps free). The popover opens on the side of the anchor away from
// the panel: the side the area is cut off by the anchor, else below an anchor in the upper half of
// the area and above one in the lower half. It stays inside the area, centred across the anchor
// where it can. An anchor on a panel (one the area leaves out, or near the screen's edge) is kept
// clear, with its panel; where `size` does not fit beside it, the popover shrinks to what does.
QRect popoverGeometry(const QRect& anchor, const QRect& screen, const QRect& available, const QSize& size);

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
