#pragma once

#include <QPainterPath>
#include <QPointF>
#include <vector>

namespace ostrel {

// A centripetal Catmull-Rom curve (alpha 0.5) through the points in their order, one cubic per
// segment. The end segments take their own end point as the missing neighbour, so the curve
// starts and ends without overshoot; two points give a straight line, one a bare start point.
QPainterPath catmullRomPath(const std::vector<QPointF>& points);

}  // namespace ostrel
