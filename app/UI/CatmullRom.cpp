#include "UI/CatmullRom.hpp"

#include <cmath>

namespace ostrel {
namespace {

constexpr double kEpsilon = 1e-12;

// |b - a| to the power alpha = 0.5.
double knotDistance(QPointF a, QPointF b) {
    return std::sqrt(std::hypot(b.x() - a.x(), b.y() - a.y()));
}

}  // namespace

QPainterPath catmullRomPath(const std::vector<QPointF>& points) {
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
        path.cubicTo(c1, c2, p2);
    }
    return path;
}

}  // namespace ostrel
