#include "UI/ChartPlot.hpp"

#include <QPainter>
#include <QPen>
#include <algorithm>

#include "UI/TrendChartScale.hpp"

namespace ostrel {

std::vector<QPointF> plotPositions(const std::vector<TrendPoint>& points, const QRectF& plot, double lower,
                                   double upper) {
    std::vector<QPointF> positions;
    if (points.empty()) return positions;
    const auto [earliest, latest] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.timestamp < b.timestamp; });
    const double span = std::chrono::duration<double>(latest->timestamp - earliest->timestamp).count();
    const double range = upper > lower ? upper - lower : 1.0;
    positions.reserve(points.size());
    for (const auto& point : points) {
        const double offset = std::chrono::duration<double>(point.timestamp - earliest->timestamp).count();
        const double x = span > 0 ? plot.left() + plot.width() * offset / span : plot.center().x();
        const double y = plot.bottom() - plot.height() * (trendTotal(point) - lower) / range;
        positions.emplace_back(x, y);
    }
    return positions;
}

void strokeChartLine(QPainter& painter, const QPainterPath& path, double width, const QColor& color) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.strokePath(path, pen);
}

}  // namespace ostrel
