#pragma once

#include <QPainterPath>
#include <QPointF>
#include <optional>
#include <vector>

namespace ostrel {

// A horizontal strip of a plot, from `top` down to `bottom` (y grows downwards).
struct VerticalBand {
    double top = 0;
    double bottom = 0;
};

// A centripetal Catmull-Rom curve (alpha 0.5) through the points in their order, one cubic per
// segment. The end segments take their own end point as the missing neighbour, so the curve
// starts and ends without overshoot; two points give a straight line, one a bare start point.
// Within a band, a point's tangent is shortened where it would carry the curve out of the band,
// so the curve stays inside it (the points must lie in it) and keeps its direction at each point.
QPainterPath catmullRomPath(const std::vector<QPointF>& points, std::optional<VerticalBand> within = std::nullopt);

}  // namespace ostrel
