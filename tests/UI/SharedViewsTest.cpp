#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QtTest>
#include <cmath>

#include "Model/support/ScopedTimeZone.hpp"
#include "UI/CatmullRom.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/SectionCard.hpp"
#include "UI/SparklineView.hpp"
#include "UI/UsageTrendChart.hpp"

namespace ostrel {
namespace {

// The centripetal Catmull-Rom point of the segment p1..p2 at fraction u, by the Barry-Goldman
// pyramid over knots spaced by the square root of the chord lengths.
QPointF barryGoldman(QPointF p0, QPointF p1, QPointF p2, QPointF p3, double u) {
    const auto knot = [](QPointF a, QPointF b) { return std::sqrt(std::hypot(b.x() - a.x(), b.y() - a.y())); };
    const double t0 = 0, t1 = t0 + knot(p0, p1), t2 = t1 + knot(p1, p2), t3 = t2 + knot(p2, p3);
    const double t = t1 + u * (t2 - t1);
    const auto lerp = [t](QPointF a, QPointF b, double ta, double tb) {
        return (a * (tb - t) + b * (t - ta)) / (tb - ta);
    };
    const QPointF a1 = lerp(p0, p1, t0, t1), a2 = lerp(p1, p2, t1, t2), a3 = lerp(p2, p3, t2, t3);
    return lerp(lerp(a1, a2, t0, t2), lerp(a2, a3, t1, t3), t1, t2);
}

QPointF cubicAt(QPointF a, QPointF b, QPointF c, QPointF d, double u) {
    const double v = 1 - u;
    return a * (v * v * v) + b * (3 * v * v * u) + c * (3 * v * u * u) + d * (u * u * u);
}

std::vector<TrendPoint> week(std::initializer_list<std::int64_t> totals) {
    std::vector<TrendPoint> points;
    Date day = Date(date::sys_days(date::year(2024) / 3 / 25));
    for (const auto total : totals) {
        points.push_back({day, total - total / 4, total / 4});
        day += std::chrono::days(1);
    }
    return points;
}

bool near(QColor a, QColor b, int tolerance = 12) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace

class SharedViewsTest : public QObject {
    Q_OBJECT

private slots:
    void splineRunsThroughEveryPointAsCentripetalCatmullRom() {
        const std::vector<QPointF> points{{0, 100}, {30, 20}, {35, 90}, {120, 95}, {200, 0}, {210, 0}, {260, 50}};
        const QPainterPath path = catmullRomPath(points);
        QCOMPARE(path.elementCount(), 1 + 3 * int(points.size() - 1));  // one cubic per segment
        QCOMPARE(QPointF(path.elementAt(0)), points[0]);
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            const QPointF start = path.elementAt(int(3 * i));
            const QPointF c1 = path.elementAt(int(3 * i + 1)), c2 = path.elementAt(int(3 * i + 2));
            const QPointF end = path.elementAt(int(3 * i + 3));
            QCOMPARE(end, points[i + 1]);
            QVERIFY(std::isfinite(c1.x()) && std::isfinite(c1.y()) && std::isfinite(c2.x()) && std::isfinite(c2.y()));
            // Interior segments with distinct neighbours are exactly the centripetal curve.
            if (i == 0 || i + 2 >= points.size()) continue;
            for (const double u : {0.25, 0.5, 0.8}) {
                const QPointF expected = barryGoldman(points[i - 1], points[i], points[i + 1], points[i + 2], u);
                const QPointF actual = cubicAt(start, c1, c2, end, u);
                QVERIFY2(QLineF(expected, actual).length() < 1e-9,
                         qPrintable(QString("segment %1 at %2").arg(i).arg(u)));
            }
        }
        QCOMPARE(catmullRomPath({{1, 2}, {5, 6}}).pointAtPercent(0.5), QPointF(3, 4));  // two points: a line
        // A repeated point (same time and total) leaves no undefined control point.
        const QPainterPath repeated = catmullRomPath({{0, 0}, {10, 5}, {10, 5}, {20, 0}});
        QVERIFY(repeated.boundingRect() == QRectF(0, 0, 20, 5));
    }

    void chartIs150HighAndDrawsItsLineThroughThePointsWithTheAreaBelow() {
        const testing::ScopedTimeZone utc("UTC");
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* chart = new UsageTrendChart(week({1'200'000'000, 3'221'225'472, 900'000'000, 2'000'000'000}));
        layout->addWidget(chart);
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(chart->size(), QSize(600, 150));

        const auto geometry =
            trendChartGeometry(chart->points(), chart->size(),
                               QFontMetricsF(platformFont(TextStyle::caption, chart->font())), Calendar::current());
        QStringList labels;
        for (const auto& mark : geometry.valueMarks) labels << mark.label;
        QCOMPARE(labels, (QStringList{"0.00 GB", "1.00 GB", "2.00 GB", "3.00 GB"}));
        QCOMPARE(geometry.valueUpper, 3'221'225'472 * 1.1);

        const QImage image = chart->grab().toImage();
        const QColor accent = accentColor(chart->palette());
        const QColor background = image.pixelColor(1, 1);
        for (const QPointF& point : geometry.points) {
            const QPoint pixel(int(std::min(point.x(), geometry.plot.right() - 1)), int(point.y()));
            QVERIFY2(near(image.pixelColor(pixel), accent), qPrintable(QString("at %1").arg(point.x())));
        }
        // Half way down from the highest point, beside its grid line: the accent at 15 % over the background.
        const QPointF peak = geometry.points[1];
        const QColor area = image.pixelColor(QPoint(int(peak.x()) + 4, int((peak.y() + geometry.plot.bottom()) / 2)));
        const auto blend = [&](float a, float b) { return int(std::lround(255 * (0.15f * a + 0.85f * b))); };
        QVERIFY(near(area,
                     QColor(blend(accent.redF(), background.redF()), blend(accent.greenF(), background.greenF()),
                            blend(accent.blueF(), background.blueF())),
                     4));
    }

    // Hours without traffic between busy ones: the curve keeps to the plot, neither below the
    // zero line nor above the top, still runs through every point and turns smoothly at each.
    void curveStaysBetweenZeroAndTheTop() {
        const VerticalBand band{10, 140};
        const std::vector<QPointF> points{{0, 20}, {50, 140}, {100, 140}, {150, 10}, {200, 10}, {250, 140}, {300, 60}};
        const QPainterPath free = catmullRomPath(points);
        QVERIFY(free.boundingRect().bottom() > band.bottom + 2 && free.boundingRect().top() < band.top - 2);
        const QPainterPath path = catmullRomPath(points, band);
        QCOMPARE(path.elementCount(), free.elementCount());
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPointF element = path.elementAt(i);
            // A cubic stays within its control points: those in the band keep the curve there.
            QVERIFY2(element.y() >= band.top - 1e-9 && element.y() <= band.bottom + 1e-9,
                     qPrintable(QString::number(i)));
            if (i % 3 == 0) QCOMPARE(element, points[std::size_t(i / 3)]);
        }
        for (std::size_t i = 1; i + 1 < points.size(); ++i) {
            const QPointF in = QPointF(path.elementAt(int(3 * i))) - QPointF(path.elementAt(int(3 * i - 1)));
            const QPointF out = QPointF(path.elementAt(int(3 * i + 1))) - QPointF(path.elementAt(int(3 * i)));
            QVERIFY(std::abs(in.x() * out.y() - in.y() * out.x()) < 1e-6 && QPointF::dotProduct(in, out) >= 0);
        }
        // A segment that stays inside on its own is the same curve as without the band.
        const std::vector<QPointF> calm{{0, 100}, {50, 80}, {100, 90}, {150, 70}};
        QCOMPARE(catmullRomPath(calm, band), catmullRomPath(calm));

        // The chart draws nothing in the accent beneath its zero line (beyond half the line's
        // width and a pixel of smoothing) or above the plot's top.
        const testing::ScopedTimeZone utc("UTC");
        const std::int64_t big = 3'000'000'000;
        UsageTrendChart chart(week({big, 0, 0, big, big, 0, 0, big / 2}));
        chart.resize(600, UsageTrendChart::kHeight);
        const auto geometry =
            trendChartGeometry(chart.points(), chart.size(),
                               QFontMetricsF(platformFont(TextStyle::caption, chart.font())), Calendar::current());
        const QImage image = chart.grab().toImage();
        const auto accentTinted = [&](int x, int y) {
            const QColor pixel = image.pixelColor(x, y);
            return pixel.blue() - pixel.red() > 6;  // the accent is blue; grid and labels are grey
        };
        QStringList outside;
        for (int x = int(geometry.plot.left()); x < int(geometry.plot.right()); ++x) {
            for (int y = int(geometry.plot.bottom() + 1.4 + 2); y < int(geometry.plot.bottom() + 7); ++y) {
                if (accentTinted(x, y)) outside << QString("(%1,%2)").arg(x).arg(y);
            }
            for (int y = 0; y < int(geometry.plot.top() - 1.4 - 1); ++y) {
                if (accentTinted(x, y)) outside << QString("(%1,%2)").arg(x).arg(y);
            }
        }
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join(' ')));
    }

    void sparklineKeepsItsSizeAndDrawsOnlyWithPoints() {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* line = new SparklineView(week({0, 40, 10, 30}));
        auto* empty = new SparklineView();
        layout->addWidget(line);
        layout->addWidget(empty);
        window.resize(500, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(line->size(), QSize(90, 28));
        QCOMPARE(empty->size(), QSize(90, 28));
        // Zero on the frame's floor and the peak under its top, inset by half the line: (1.6, 26.4) and (30.5, 1.6).
        const QImage image = line->grab().toImage();
        QVERIFY(near(image.pixelColor(1, 26), accentColor(line->palette()), 40));
        QVERIFY(near(image.pixelColor(30, 1), accentColor(line->palette()), 40));
        QImage blank(empty->size(), QImage::Format_RGB32);
        blank.fill(empty->palette().color(QPalette::Window));
        QCOMPARE(empty->grab().toImage().convertToFormat(QImage::Format_RGB32), blank);
    }

    void cardSpansTheWidthWithTitleAndContentAtItsLeadingTopEdge() {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* content = new QLabel("—");
        auto* card = new SectionCard("Top Networks", content);
        layout->addWidget(card, 0, Qt::AlignTop);
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* title = card->findChild<QLabel*>("title");
        QVERIFY(title);
        QCOMPARE(title->font().bold(), true);
        QCOMPARE(card->width(), 600);
        QCOMPARE(title->pos(), QPoint(14, 14));
        QCOMPARE(content->pos(), QPoint(14, 14 + title->height() + 10));
        QCOMPARE(card->height(), content->geometry().bottom() + 1 + 14);

        card->setMinimumHeight(300);  // taller than its content: both stay at the top
        QTRY_COMPARE(card->height(), 300);
        QCOMPARE(content->pos(), QPoint(14, 14 + title->height() + 10));

        QPointer<QLabel> old = content;
        card->setContent(new QLabel("replaced"));
        QVERIFY(old.isNull());
        QTRY_COMPARE(card->content()->pos(), QPoint(14, 14 + title->height() + 10));
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::SharedViewsTest)
#include "SharedViewsTest.moc"
