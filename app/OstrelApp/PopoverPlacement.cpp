#include "OstrelApp/PopoverPlacement.hpp"

#include <algorithm>

namespace ostrel {
namespace {

// Between the anchor (and its panel) and the popover's edge.
constexpr int kGap = 4;
// Panels are thinner than this: a point farther from the screen's edge is on none.
constexpr int kPanelReach = 64;

enum class Opening { below, above, rightward, leftward };

struct Side {
    Opening opening;
    bool reserved;  // the window manager keeps the anchor's panel out of the available area
};

Side sideFor(const QRect& anchor, const QRect& available) {
    if (anchor.bottom() < available.top()) return {Opening::below, true};
    if (anchor.top() > available.bottom()) return {Opening::above, true};
    if (anchor.right() < available.left()) return {Opening::rightward, true};
    if (anchor.left() > available.right()) return {Opening::leftward, true};
    return {anchor.center().y() < available.center().y() ? Opening::below : Opening::above, false};
}

// How far the anchor lies from the screen's edge behind it.
int fromScreenEdge(Opening opening, const QRect& anchor, const QRect& screen) {
    switch (opening) {
        case Opening::below:
            return anchor.top() - screen.top();
        case Opening::above:
            return screen.bottom() - anchor.bottom();
        case Opening::rightward:
            return anchor.left() - screen.left();
        case Opening::leftward:
            return screen.right() - anchor.right();
    }
    return 0;
}

// The popover's start along one axis, pushed back inside [low, high].
int clamped(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

QRect popoverGeometry(const QRect& anchor, const QRect& screen, const QRect& available, const QSize& size) {
    const Side side = sideFor(anchor, available);
    const int fromEdge = fromScreenEdge(side.opening, anchor, screen);
    const bool onPanel = side.reserved || (fromEdge >= 0 && fromEdge <= kPanelReach);
    // A panel centres its items: it reaches as far beyond the anchor as the anchor lies from the
    // screen's edge. A point elsewhere (the pointer, when the tray tells nothing better) is on no
    // panel, and the popover may cover it rather than shrink.
    const int beyond = onPanel && fromEdge > 0 && fromEdge <= kPanelReach ? fromEdge : 0;
    const int nearEdge = beyond + 1 + kGap;  // from the anchor's edge to the popover's

    QRect area = available;
    if (onPanel) {
        switch (side.opening) {
            case Opening::below:
                area.setTop(std::max(area.top(), anchor.bottom() + nearEdge));
                break;
            case Opening::above:
                area.setBottom(std::min(area.bottom(), anchor.top() - nearEdge));
                break;
            case Opening::rightward:
                area.setLeft(std::max(area.left(), anchor.right() + nearEdge));
                break;
            case Opening::leftward:
                area.setRight(std::min(area.right(), anchor.left() - nearEdge));
                break;
        }
        // An anchor at the area's far edge leaves no room on its side: the whole area, then.
        if (area.isEmpty()) area = available;
    }
    const QSize shown = size.boundedTo(area.size());
    QPoint start(anchor.center().x() - shown.width() / 2, anchor.center().y() - shown.height() / 2);
    switch (side.opening) {
        case Opening::below:
            start.setY(anchor.bottom() + nearEdge);
            break;
        case Opening::above:
            start.setY(anchor.top() - nearEdge - shown.height() + 1);
            break;
        case Opening::rightward:
            start.setX(anchor.right() + nearEdge);
            break;
        case Opening::leftward:
            start.setX(anchor.left() - nearEdge - shown.width() + 1);
            break;
    }
    return {QPoint(clamped(start.x(), shown.width(), area.left(), area.right()),
                   clamped(start.y(), shown.height(), area.top(), area.bottom())),
            shown};
}

bool PopoverToggleGuard::mayShow(const QRect& anchor, Clock::time_point now) const {
    if (!lastClose_ || now - lastClose_->at >= window) return true;
    return lastClose_->where && !anchor.adjusted(-slack, -slack, slack, slack).contains(*lastClose_->where);
}

bool PopoverToggleGuard::isOpeningPress(QPoint where, Clock::time_point now) const {
    return lastShow_ && now - lastShow_->at < openingPressWindow &&
           lastShow_->anchor.adjusted(-slack, -slack, slack, slack).contains(where);
}

}  // namespace ostrel
