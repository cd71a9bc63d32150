#include <QtTest>
#include <limits>

#include "Model/support/ScopedTimeZone.hpp"
#include "UI/TimeAxis.hpp"
#include "UI/TrendChartScale.hpp"

Q_DECLARE_METATYPE(std::vector<ostrel::TrendPoint>)

namespace ostrel {

constexpr std::int64_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024, kTiB = kGiB * 1024;

class TrendChartScaleTest : public QObject {
    Q_OBJECT

    static std::vector<TrendPoint> totals(std::initializer_list<std::int64_t> values) {
        std::vector<TrendPoint> points;
        for (const auto value : values) points.push_back({Date{}, value, 0});
        return points;
    }

private slots:
    void domainAndUnitFollowTheLargestTotal_data() {
        QTest::addColumn<std::vector<TrendPoint>>("points");
        QTest::addColumn<double>("largest");
        QTest::addColumn<double>("upper");
        QTest::addColumn<QString>("suffix");
        const auto max = std::numeric_limits<std::int64_t>::max();
        QTest::newRow("no points") << totals({}) << 0.0 << 1.0 << "B";
        QTest::newRow("all zero") << totals({0, 0, 0}) << 0.0 << 1.0 << "B";
        QTest::newRow("1023 bytes") << totals({1023}) << 1023.0 << 1023 * 1.1 << "B";
        QTest::newRow("1024 bytes") << totals({1024}) << 1024.0 << 1024 * 1.1 << "KB";
        QTest::newRow("down and up add") << std::vector<TrendPoint>{{Date{}, 600, 500}} << 1100.0 << 1210.0 << "KB";
        QTest::newRow("1 MiB") << totals({kMiB}) << double(kMiB) << kMiB * 1.1 << "MB";
        QTest::newRow("3 GiB among smaller") << totals({kGiB, 3 * kGiB, 2 * kGiB}) << 3.0 * kGiB << 3.3 * kGiB << "GB";
        QTest::newRow("1 TiB") << totals({kTiB - 1, kTiB}) << double(kTiB) << kTiB * 1.1 << "TB";
        QTest::newRow("sum past int64") << std::vector<TrendPoint>{{Date{}, max, max}} << 2.0 * double(max)
                                        << 2.2 * double(max) << "TB";
    }
    void domainAndUnitFollowTheLargestTotal() {
        QFETCH(std::vector<TrendPoint>, points);
        QFETCH(double, largest);
        QFETCH(double, upper);
        QFETCH(QString, suffix);
        QCOMPARE(maxBytes(points), largest);
        QCOMPARE(valueDomainUpper(maxBytes(points)), upper);
        QCOMPARE(QString::fromStdString(axisUnit(largest).suffix), suffix);
    }

    // The unit comes from the largest point; the fraction digits from each label's own value.
    void labelsTakeTheChartsUnitAndTheirOwnDigits_data() {
        QTest::addColumn<double>("largest");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("label");
        QTest::newRow("zero") << 3.0 * kGiB << 0.0 << "0.00 GB";
        QTest::newRow("half way") << 3.0 * kGiB << 1.5 * kGiB << "1.50 GB";
        QTest::newRow("largest") << 3.0 * kGiB << 3.0 * kGiB << "3.00 GB";
        QTest::newRow("half a GiB") << 3.0 * kGiB << 0.5 * kGiB << "0.50 GB";
        QTest::newRow("99.5 one digit") << 200.0 * kKiB << 99.5 * kKiB << "99.5 KB";
        QTest::newRow("100 none") << 200.0 * kKiB << 100.0 * kKiB << "100 KB";
        QTest::newRow("10 one digit") << 500.0 << 10.0 << "10.0 B";
        QTest::newRow("empty chart top") << 0.0 << 1.0 << "1.00 B";
        QTest::newRow("no unit change") << double(kGiB - 1) << 1023.6 * kMiB << "1024 MB";
    }
    void labelsTakeTheChartsUnitAndTheirOwnDigits() {
        QFETCH(double, largest);
        QFETCH(double, value);
        QFETCH(QString, label);
        QCOMPARE(QString::fromStdString(formatAxisBytes(value, axisUnit(largest))), label);
    }

    void valueMarksAreRoundStepsOfTheUnitUpToTheDomainTop_data() {
        QTest::addColumn<double>("largest");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("empty") << 0.0 << QStringList{"0.00 B", "0.20 B", "0.40 B", "0.60 B", "0.80 B", "1.00 B"};
        QTest::newRow("700 B") << 700.0 << QStringList{"0.00 B", "200 B", "400 B", "600 B"};
        QTest::newRow("1 MiB") << double(kMiB) << QStringList{"0.00 MB", "0.25 MB", "0.50 MB", "0.75 MB", "1.00 MB"};
        QTest::newRow("3 GiB") << 3.0 * kGiB << QStringList{"0.00 GB", "1.00 GB", "2.00 GB", "3.00 GB"};
    }
    void valueMarksAreRoundStepsOfTheUnitUpToTheDomainTop() {
        QFETCH(double, largest);
        QFETCH(QStringList, labels);
        const auto unit = axisUnit(largest);
        QStringList shown;
        for (const double value : valueAxisMarks(valueDomainUpper(largest), unit, 5)) {
            shown << QString::fromStdString(formatAxisBytes(value, unit));
        }
        QCOMPARE(shown, labels);
    }

    void timeMarksFallOnRoundLocalTimes_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("a week of days") << "2024-03-25 00:00"
                                        << "2024-03-31 00:00" << QStringList{"Mar 25", "Mar 27", "Mar 29", "Mar 31"};
        // 23 hours long: the clocks go forward at 2:00.
        QTest::newRow("hours of a short day") << "2024-03-31 00:00"
                                              << "2024-03-31 23:00" << QStringList{"12 AM", "6 AM", "12 PM", "6 PM"};
        QTest::newRow("a month of days") << "2024-03-01 00:00"
                                         << "2024-03-31 00:00"
                                         << QStringList{"Mar 1", "Mar 8", "Mar 15", "Mar 22", "Mar 29"};
        QTest::newRow("a year of months") << "2023-04-15 00:00"
                                          << "2024-04-14 00:00" << QStringList{"Jul", "Oct", "Jan", "Apr"};
        QTest::newRow("one instant") << "2024-03-31 15:00"
                                     << "2024-03-31 15:00" << QStringList{"3 PM"};
    }
    void timeMarksFallOnRoundLocalTimes() {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QStringList, labels);
        // The zone by name, and by a rule ICU has no name for.
        for (const char* setting : {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
            const testing::ScopedTimeZone zone(setting);
            const auto calendar = Calendar::current();
            const auto local = [&](const QString& text) {
                std::istringstream in(text.toStdString());
                date::local_seconds time;
                in >> date::parse("%F %R", time);
                return calendar.instant(time).value();
            };
            QStringList shown;
            for (const auto& mark : timeAxisMarks(local(first), local(last), 4, calendar, "en_US")) {
                // Newer ICU puts a narrow no-break space before the day period.
                shown << QString::fromStdString(mark.label).replace(QChar(0x202F), ' ');
            }
            QVERIFY2(shown == labels, qPrintable(setting + (": " + shown.join(", "))));
        }
    }
};

}  // namespace ostrel

QTEST_APPLESS_MAIN(ostrel::TrendChartScaleTest)
#include "TrendChartScaleTest.moc"
