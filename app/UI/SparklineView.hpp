#pragma once

#include <QWidget>
#include <vector>

#include "Model/Records.hpp"

namespace ostrel {

// The small line of total traffic in a list row: no axes, 90 x 28 pixels.
class SparklineView final : public QWidget {
    Q_OBJECT

public:
    explicit SparklineView(std::vector<TrendPoint> points = {}, QWidget* parent = nullptr);

    const std::vector<TrendPoint>& points() const { return points_; }
    void setPoints(std::vector<TrendPoint> points);

    QSize sizeHint() const override { return {kWidth, kHeight}; }

    static constexpr int kWidth = 90;
    static constexpr int kHeight = 28;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::vector<TrendPoint> points_;
};

}  // namespace ostrel
