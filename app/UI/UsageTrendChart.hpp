#pragma once

#include <QFontMetricsF>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Records.hpp"

namespace ostrel {

// Where everything of a trend chart goes in a widget of a given size.
struct TrendChartGeometry {
    struct Mark {
        double position;  // y of a value mark, x of a time mark
        QString label;
    };

    QRectF plot;
    double valueUpper = 1;         // the value at the plot's top; its bottom is 0
    std::vector<QPointF> points;   // the data points, in list order
    std::vector<Mark> valueMarks;  // bottom to top
    std::vector<Mark> timeMarks;   // left to right
};

TrendChartGeometry trendChartGeometry(const std::vector<TrendPoint>& points, const QSizeF& size,
                                      const QFontMetricsF& labelMetrics, const Calendar& calendar,
                                      const std::string& localeName = {});

// The area-and-line chart of total traffic over time, with byte labels on its value axis.
// 150 pixels high; as wide as its layout makes it.
class UsageTrendChart final : public QWidget {
    Q_OBJECT

public:
    explicit UsageTrendChart(std::vector<TrendPoint> points = {}, QWidget* parent = nullptr);

    const std::vector<TrendPoint>& points() const { return points_; }
    void setPoints(std::vector<TrendPoint> points);

    QSize sizeHint() const override;

    static constexpr int kHeight = 150;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::vector<TrendPoint> points_;
    std::optional<TrendChartGeometry> geometry_;  // for the current size, font and points
};

}  // namespace ostrel
