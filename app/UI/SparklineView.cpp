#include "UI/SparklineView.hpp"

#include <QEvent>
#include <QPainter>
#include <algorithm>

#include "UI/CatmullRom.hpp"
#include "UI/ChartPlot.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/TrendChartScale.hpp"

namespace ostrel {
namespace {

constexpr double kLineWidth = 2.2;

}  // namespace

SparklineView::SparklineView(std::vector<TrendPoint> points, QWidget* parent)
    : QWidget(parent), points_(std::move(points)) {
    setFixedSize(kWidth, kHeight);
}

void SparklineView::setPoints(std::vector<TrendPoint> points) {
    points_ = std::move(points);
    update();
}

void SparklineView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void SparklineView::paintEvent(QPaintEvent*) {
    if (points_.empty()) return;
    // From zero to the largest total, inset by half the line so that its peaks and floor show whole.
    const double inset = kLineWidth / 2 + 0.5;
    const QRectF frame = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    const auto positions = plotPositions(points_, frame, 0, std::max(maxBytes(points_), 1.0));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    strokeChartLine(painter, catmullRomPath(positions), kLineWidth, accentColor(palette()));
}

}  // namespace ostrel
