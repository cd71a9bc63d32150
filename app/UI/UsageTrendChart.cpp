#include "UI/UsageTrendChart.hpp"

#include <QEvent>
#include <QPainter>
#include <algorithm>

#include "UI/CatmullRom.hpp"
#include "UI/ChartPlot.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/TimeAxis.hpp"
#include "UI/TrendChartScale.hpp"

namespace ostrel {
namespace {

constexpr int kValueMarkCount = 5;
constexpr int kTimeMarkCount = 4;
constexpr double kTickLength = 4;
constexpr double kLabelGap = 3;
constexpr double kRightMargin = 4;
constexpr double kLineWidth = 2.8;
constexpr double kAreaOpacity = 0.15;

}  // namespace

TrendChartGeometry trendChartGeometry(const std::vector<TrendPoint>& points, const QSizeF& size,
                                      const QFontMetricsF& labelMetrics, const Calendar& calendar,
                                      const std::string& localeName) {
    TrendChartGeometry geometry;
    const double largest = maxBytes(points);
    const auto unit = axisUnit(largest);
    geometry.valueUpper = valueDomainUpper(largest);

    std::vector<std::pair<double, QString>> values;
    double labelWidth = 0;
    for (const double value : valueAxisMarks(geometry.valueUpper, unit, kValueMarkCount)) {
        auto label = QString::fromStdString(formatAxisBytes(value, unit));
        labelWidth = std::max(labelWidth, labelMetrics.horizontalAdvance(label));
        values.emplace_back(value, std::move(label));
    }
    const double labelHeight = labelMetrics.height();
    const double left = labelWidth + kLabelGap + kTickLength;
    const double top = labelHeight / 2;
    const double bottom = size.height() - (kTickLength + kLabelGap + labelHeight);
    geometry.plot =
        QRectF(QPointF(left, top), QPointF(std::max(left, size.width() - kRightMargin), std::max(top, bottom)));
    const QRectF& plot = geometry.plot;

    for (auto& [value, label] : values) {
        geometry.valueMarks.push_back({plot.bottom() - plot.height() * value / geometry.valueUpper, std::move(label)});
    }
    geometry.points = plotPositions(points, plot, 0, geometry.valueUpper);

    if (!points.empty()) {
        const auto [earliest, latest] = std::minmax_element(
            points.begin(), points.end(), [](const auto& a, const auto& b) { return a.timestamp < b.timestamp; });
        const double span = std::chrono::duration<double>(latest->timestamp - earliest->timestamp).count();
        for (auto& mark : timeAxisMarks(earliest->timestamp, latest->timestamp, kTimeMarkCount, calendar, localeName)) {
            const double offset = std::chrono::duration<double>(mark.date - earliest->timestamp).count();
            const double x = span > 0 ? plot.left() + plot.width() * offset / span : plot.center().x();
            geometry.timeMarks.push_back({x, QString::fromStdString(mark.label)});
        }
    }
    return geometry;
}

UsageTrendChart::UsageTrendChart(std::vector<TrendPoint> points, QWidget* parent)
    : QWidget(parent), points_(std::move(points)) {
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void UsageTrendChart::setPoints(std::vector<TrendPoint> points) {
    points_ = std::move(points);
    geometry_.reset();
    update();
}

QSize UsageTrendChart::sizeHint() const {
    return {400, kHeight};
}

void UsageTrendChart::resizeEvent(QResizeEvent* event) {
    geometry_.reset();
    QWidget::resizeEvent(event);
}

void UsageTrendChart::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LocaleChange) geometry_.reset();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void UsageTrendChart::paintEvent(QPaintEvent*) {
    const QFont labelFont = platformFont(TextStyle::caption, font());
    if (!geometry_) {
        geometry_ = trendChartGeometry(points_, size(), QFontMetricsF(labelFont, this), Calendar::current());
    }
    const auto& g = *geometry_;
    const QPalette& colors = palette();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(labelFont);
    const QPen gridPen(hierarchicalColor(colors, Hierarchy::quaternary), 1);
    const QColor labelColor = hierarchicalColor(colors, Hierarchy::secondary);
    const QFontMetricsF metrics(labelFont, this);

    for (const auto& mark : g.valueMarks) {
        painter.setPen(gridPen);
        painter.drawLine(QPointF(g.plot.left() - kTickLength, mark.position), QPointF(g.plot.right(), mark.position));
        painter.setPen(labelColor);
        const QRectF box(0, mark.position - metrics.height() / 2, g.plot.left() - kTickLength - kLabelGap,
                         metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, mark.label);
    }
    double lastLabelRight = -1;
    for (const auto& mark : g.timeMarks) {
        painter.setPen(gridPen);
        painter.drawLine(QPointF(mark.position, g.plot.top()), QPointF(mark.position, g.plot.bottom() + kTickLength));
        // Centred under its mark, kept inside the widget, dropped when it would run into the last.
        const double width = metrics.horizontalAdvance(mark.label);
        const double left = std::clamp(mark.position - width / 2, 0.0, std::max(0.0, this->width() - width));
        if (left < lastLabelRight + kLabelGap) continue;
        lastLabelRight = left + width;
        painter.setPen(labelColor);
        painter.drawText(QRectF(left, g.plot.bottom() + kTickLength + kLabelGap, width, metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop, mark.label);
    }

    if (g.points.empty()) return;
    const QColor accent = accentColor(colors);
    // Between the points the curve may swing past zero or the top; it is kept to the plot.
    const QPainterPath line = catmullRomPath(g.points, VerticalBand{g.plot.top(), g.plot.bottom()});
    strokeChartLine(painter, line, kLineWidth, accent);
    QPainterPath area = line;
    area.lineTo(g.points.back().x(), g.plot.bottom());
    area.lineTo(g.points.front().x(), g.plot.bottom());
    area.closeSubpath();
    area.setFillRule(Qt::WindingFill);
    QColor fill = accent;
    fill.setAlphaF(static_cast<float>(kAreaOpacity));
    painter.fillPath(area, fill);
}

}  // namespace ostrel
