#pragma once

#include <string>
#include <vector>

#include "Model/Records.hpp"

namespace ostrel {

// The value a chart plots for a point: received + sent. Summed as doubles, so that two huge
// counts cannot overflow.
double trendTotal(const TrendPoint& point);

// The largest total among the points; 0 for none.
double maxBytes(const std::vector<TrendPoint>& points);

// The upper end of the value axis: 10 % above the largest total, at least 1.
double valueDomainUpper(double maxBytes);

// The byte unit of every label of one chart, chosen from its largest total.
struct AxisUnit {
    double divisor = 1;
    std::string suffix = "B";

    bool operator==(const AxisUnit&) const = default;
};

AxisUnit axisUnit(double maxBytes);

// "%.0f" from 100 units up, "%.1f" from 10, "%.2f" below, then " " and the suffix; always with
// a full stop, whatever the locale.
std::string formatAxisBytes(double value, const AxisUnit& unit);

// Values for about `desiredCount` marks from 0 up to `upper`, a round step of the unit apart.
std::vector<double> valueAxisMarks(double upper, const AxisUnit& unit, int desiredCount);

}  // namespace ostrel
