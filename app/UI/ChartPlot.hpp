#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <vector>

#include "Model/Records.hpp"

class QPainter;

namespace ostrel {

// Where the points' totals fall in `plot`: time from the earliest to the latest timestamp left to
// right (a single instant in the middle), values from `lower` at the bottom to `upper` at the top.
std::vector<QPointF> plotPositions(const std::vector<TrendPoint>& points, const QRectF& plot, double lower,
                                   double upper);

// The charts' line: round caps and joins, miter limit 10, no dash.
void strokeChartLine(QPainter& painter, const QPainterPath& path, double width, const QColor& color);

}  // namespace ostrel
