#include "UI/CatmullRom.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel {
namespace {

constexpr double kEpsilon = 1e-12;

// |b - a| to the power alpha = 0.5.
double knotDistance(QPointF a, QPointF b) {
    return std::sqrt(std::hypot(b.x() - a.x(), b.y() - a.y()));
}

// The control point on the line from `point` through `control`, moved back towards `point` until
// it lies in the band. Both control points of a data point lie on one line through it, so
// shortening either keeps the curve smooth there; a cubic stays inside its control points' hull.
QPointF keptWithin(QPointF point, QPointF control, const VerticalBand& band) {
    const double dy = control.y() - point.y();
    double scale = 1;
    if (control.y() > band.bottom && std::abs(dy) > kEpsilon) scale = (band.bottom - point.y()) / dy;
    if (control.y() < band.top && std::abs(dy) > kEpsilon) scale = (band.top - point.y()) / dy;
    return point + (control - point) * std::clamp(scale, 0.0, 1.0);
}

}  // namespace

QPainterPath catmullRomPath(const std::vector<QPointF>& points, std::optional<VerticalBand> within) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(points.front());
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const QPointF p1 = points[i];
        const QPointF p2 = points[i + 1];
        const double d12 = knotDistance(p1, p2);
        QPointF c1 = p1;
        QPointF c2 = p2;
        // The Bezier form of the Barry-Goldman pyramid with knot intervals d01, d12, d23.
        if (i > 0) {
            const QPointF p0 = points[i - 1];
            if (const double d01 = knotDistance(p0, p1); d01 > kEpsilon) {
                const double a = 2 * d01 * d01 + 3 * d01 * d12 + d12 * d12;
                const double n = 3 * d01 * (d01 + d12);
                c1 = (p1 * a - p0 * (d12 * d12) + p2 * (d01 * d01)) / n;
            }
        }
        if (i + 2 < points.size()) {
            const QPointF p3 = points[i + 2];
            if (const double d23 = knotDistance(p2, p3); d23 > kEpsilon) {
                const double b = 2 * d23 * d23 + 3 * d23 * d12 + d12 * d12;
                const double m = 3 * d23 * (d23 + d12);
                c2 = (p2 * b + p1 * (d23 * d23) - p3 * (d12 * d12)) / m;
            }
        }
        if (within) {
            c1 = keptWithin(p1, c1, *within);
            c2 = keptWithin(p2, c2, *within);
        }
        path.cubicTo(c1, c2, p2);
    }
    return path;
}

}  // namespace ostrel
