#include "OstrelApp/PopoverPlacement.hpp"

#include <algorithm>

namespace ostrel {
namespace {

// Between the anchor (and its panel) and the popover's edge.
constexpr int kGap = 4;
// Panels are thinner than this: a point farther from the screen's edge is on none.
constexpr int kPanelReach = 64;

enum class Opening { below, above, rightward, leftward };

Opening openingFor(const QRect& anchor, const QRect& available) {
    if (anchor.bottom() < available.top()) return Opening::below;
    if (anchor.top() > available.bottom()) return Opening::above;
    if (anchor.right() < available.left()) return Opening::rightward;
    if (anchor.left() > available.right()) return Opening::leftward;
    return anchor.center().y() < available.center().y() ? Opening::below : Opening::above;
}

// How far the anchor's panel reaches beyond the anchor, when no window manager has kept the
// panel out of the available area: a panel centres its items, so as far as the anchor lies from
// the screen's edge.
int panelBeyond(int fromScreenEdge) {
    return fromScreenEdge > 0 && fromScreenEdge <= kPanelReach ? fromScreenEdge : 0;
}

// The popover's start along one axis, pushed back inside [low, high].
int clamped(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

QRect popoverGeometry(const QRect& anchor, const QRect& screen, const QRect& available, const QSize& size) {
    QRect area = available;
    const Opening opening = openingFor(anchor, available);
    switch (opening) {
        case Opening::below:
            area.setTop(std::max(area.top(), anchor.bottom() + panelBeyond(anchor.top() - screen.top()) + 1 + kGap));
            break;
        case Opening::above:
            area.setBottom(
                std::min(area.bottom(), anchor.top() - panelBeyond(screen.bottom() - anchor.bottom()) - 1 - kGap));
            break;
        case Opening::rightward:
            area.setLeft(std::max(area.left(), anchor.right() + panelBeyond(anchor.left() - screen.left()) + 1 + kGap));
            break;
        case Opening::leftward:
            area.setRight(
                std::min(area.right(), anchor.left() - panelBeyond(screen.right() - anchor.right()) - 1 - kGap));
            break;
    }
    // An anchor at the area's far edge leaves no room on its side: the whole area, then.
    if (area.isEmpty()) area = available;
    const QSize shown = size.boundedTo(area.size());
    QPoint start(anchor.center().x() - shown.width() / 2, anchor.center().y() - shown.height() / 2);
    switch (opening) {
        case Opening::below:
            start.setY(area.top());
            break;
        case Opening::above:
            start.setY(area.bottom() - shown.height() + 1);
            break;
        case Opening::rightward:
            start.setX(area.left());
            break;
        case Opening::leftward:
            start.setX(area.right() - shown.width() + 1);
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
