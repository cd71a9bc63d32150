#include "UI/TrendChartScale.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace ostrel {

double trendTotal(const TrendPoint& point) {
    return static_cast<double>(point.rxBytes) + static_cast<double>(point.txBytes);
}

double maxBytes(const std::vector<TrendPoint>& points) {
    if (points.empty()) return 0;
    double largest = trendTotal(points.front());
    for (const auto& point : points) largest = std::max(largest, trendTotal(point));
    return largest;
}

double valueDomainUpper(double maxBytes) {
    return std::max(maxBytes * 1.1, 1.0);
}

AxisUnit axisUnit(double maxBytes) {
    constexpr double kib = 1024.0;
    if (maxBytes >= kib * kib * kib * kib) return {kib * kib * kib * kib, "TB"};
    if (maxBytes >= kib * kib * kib) return {kib * kib * kib, "GB"};
    if (maxBytes >= kib * kib) return {kib * kib, "MB"};
    if (maxBytes >= kib) return {kib, "KB"};
    return {1, "B"};
}

std::string formatAxisBytes(double value, const AxisUnit& unit) {
    const double quotient = value / unit.divisor;
    const int precision = quotient >= 100 ? 0 : quotient >= 10 ? 1 : 2;
    // to_chars follows printf's rounding but never the C locale's decimal separator.
    std::array<char, 512> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), quotient, std::chars_format::fixed, precision);
    if (result.ec != std::errc{}) return {};
    return std::string(buffer.data(), result.ptr) + " " + unit.suffix;
}

std::vector<double> valueAxisMarks(double upper, const AxisUnit& unit, int desiredCount) {
    std::vector<double> marks;
    if (!(upper > 0) || !std::isfinite(upper) || desiredCount < 1) return marks;
    const double rough = upper / unit.divisor / desiredCount;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (factor * magnitude >= rough * (1 - 1e-9)) {
            step = factor * magnitude;
            break;
        }
    }
    step *= unit.divisor;
    for (int i = 0; i * step <= upper * (1 + 1e-9); ++i) marks.push_back(i * step);
    return marks;
}

}  // namespace ostrel
