#include "OstrelApp/PopoverPlacement.hpp"

#include <algorithm>

namespace ostrel {
namespace {

// Between the anchor and the popover's edge.
constexpr int kGap = 4;

// The popover's start along one axis, pushed back inside [low, high]; an area too small for it
// shows its start edge.
int clamped(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length + 1));
}

}  // namespace

QPoint popoverPosition(const QRect& anchor, const QRect& available, const QSize& size) {
    const int x = anchor.center().x() - size.width() / 2;
    const bool panelAtTop = anchor.center().y() < available.center().y();
    const int y = panelAtTop ? anchor.bottom() + 1 + kGap : anchor.top() - kGap - size.height();
    return {clamped(x, size.width(), available.left(), available.right()),
            clamped(y, size.height(), available.top(), available.bottom())};
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
