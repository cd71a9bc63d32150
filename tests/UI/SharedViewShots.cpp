// Renders the shared views with demonstration data to PNG files, for looking at them:
//   ostrel_ui_shots [folder]     (default /tmp/ostrel-ui-shots)
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "Model/Calendar.hpp"
#include "UI/AppIconLookup.hpp"
#include "UI/AppIconView.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/SectionCard.hpp"
#include "UI/SparklineView.hpp"
#include "UI/UsageTrendChart.hpp"

using namespace ostrel;
using namespace std::chrono;

namespace {

constexpr double kGiB = 1024.0 * 1024 * 1024;
constexpr double kMiB = 1024.0 * 1024;

Date localMidnight(int daysAgo) {
    const auto calendar = Calendar::current();
    const auto today = calendar.localDay(currentDate());
    return *calendar.startOfDay(today - date::days(daysAgo));
}

std::vector<TrendPoint> weeklyTrend() {
    const double gib[] = {1.2, 2.8, 2.1, 3.4, 0.9, 2.6, 1.7};
    std::vector<TrendPoint> points;
    for (int i = 0; i < 7; ++i) {
        const auto total = static_cast<std::int64_t>(gib[i] * kGiB);
        points.push_back({localMidnight(6 - i), total * 4 / 5, total / 5});
    }
    return points;
}

std::vector<TrendPoint> hourlyDay() {
    std::vector<TrendPoint> points;
    const Date midnight = localMidnight(0);
    for (int hour = 0; hour < 24; ++hour) {
        const double daytime = std::max(0.0, std::sin((hour - 6) * M_PI / 16));
        const double mib = 4 + 380 * daytime * daytime + (hour == 20 ? 240 : 0);
        const auto total = static_cast<std::int64_t>(mib * kMiB);
        points.push_back({midnight + hours(hour), total * 9 / 10, total / 10});
    }
    return points;
}

QLabel* text(const QString& content, TextStyle style, Hierarchy level, QWidget* parent = nullptr) {
    auto* label = new QLabel(content, parent);
    label->setFont(platformFont(style, label->font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, hierarchicalColor(palette, level));
    label->setPalette(palette);
    return label;
}

QWidget* twoLines(const QString& first, const QString& second) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* top = text(first, TextStyle::title3, Hierarchy::primary, box);
    QFont bold = top->font();
    bold.setBold(true);
    top->setFont(bold);
    layout->addWidget(top);
    layout->addWidget(text(second, TextStyle::caption, Hierarchy::secondary, box));
    return box;
}

QWidget* listRow(const std::string& bundleID, const std::optional<std::string>& iconPath, const QString& name,
                 std::vector<TrendPoint> sparkline, AppIconLookup& lookup) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new AppIconView(bundleID, iconPath, lookup, row));
    layout->addWidget(new QLabel(name, row));
    layout->addStretch();
    layout->addWidget(new SparklineView(std::move(sparkline), row));
    return row;
}

QWidget* screen(const std::filesystem::path& tree) {
    auto* window = new QWidget;
    window->setAutoFillBackground(true);
    window->setFixedWidth(880);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);

    auto* cards = new QHBoxLayout;
    cards->setSpacing(12);
    cards->addWidget(new SectionCard("Total", twoLines("14.7 GB", "Download 11.8 GB • Upload 2.9 GB")));
    cards->addWidget(new SectionCard("Active Network", twoLines("Home Wi-Fi", "Top app today: Firefox")));
    cards->addWidget(new SectionCard("Alert Status", twoLines("Normal", "Warning at 73%")));
    layout->addLayout(cards);

    layout->addWidget(new SectionCard("Usage Trend (Weekly)", new UsageTrendChart(weeklyTrend())));
    layout->addWidget(new SectionCard("Usage Trend (Daily)", new UsageTrendChart(hourlyDay())));

    static AppIconLookup lookup({(tree / "data").string()}, "");
    auto* apps = new QWidget;
    auto* rows = new QVBoxLayout(apps);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    auto sparkline = weeklyTrend();
    rows->addWidget(listRow("org.example.Image", (tree / "icon.png").string(), "Image file icon", sparkline, lookup));
    sparkline[3].rxBytes /= 6;
    rows->addWidget(listRow("gvim", std::nullopt, "Desktop entry (theme icon)", sparkline, lookup));
    rows->addWidget(listRow("com.example.Missing", std::nullopt, "No icon: placeholder", {}, lookup));
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(12);
    bottom->addWidget(new SectionCard("Top Applications", apps));
    bottom->addWidget(new SectionCard("Short", new QLabel("—")));
    layout->addLayout(bottom);
    return window;
}

// The charts' edge cases: all zero, a single point, a month and a year of days.
QWidget* edges() {
    auto* window = new QWidget;
    window->setAutoFillBackground(true);
    window->setFixedWidth(880);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(12, 12, 12, 12);
    auto zeros = weeklyTrend();
    for (auto& point : zeros) point.rxBytes = point.txBytes = 0;
    layout->addWidget(new SectionCard("All zero", new UsageTrendChart(zeros)));
    layout->addWidget(new SectionCard("One point", new UsageTrendChart({hourlyDay()[9]})));
    std::vector<TrendPoint> month, year;
    for (int day = 0; day < 365; ++day) {
        const TrendPoint point{localMidnight(364 - day), static_cast<std::int64_t>((1.5 + std::sin(day * 0.7)) * kGiB),
                               0};
        year.push_back(point);
        if (day >= 335) month.push_back(point);
    }
    layout->addWidget(new SectionCard("Month", new UsageTrendChart(month)));
    layout->addWidget(new SectionCard("Year", new UsageTrendChart(year)));
    return window;
}

void writeSampleIcon(const std::filesystem::path& tree) {
    std::filesystem::create_directories(tree / "data/applications");
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(230, 120, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(4, 4, 56, 56));
    painter.end();
    image.save(QString::fromStdString((tree / "icon.png").string()));
    std::ofstream(tree / "data/applications/gvim.desktop")
        << "[Desktop Entry]\nType=Application\nName=GVim\nIcon=gvim\n";
}

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    return palette;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    // The offscreen platform knows no icon theme; take the system's default one.
    QIcon::setThemeSearchPaths({"/usr/share/icons"});
    QIcon::setThemeName("hicolor");
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-ui-shots";
    QDir().mkpath(folder);
    const auto tree = std::filesystem::path(folder.toStdString()) / "tree";
    writeSampleIcon(tree);

    const auto shoot = [&](const QString& name, const QPalette& palette, bool edgeCases = false) {
        QApplication::setPalette(palette);
        std::unique_ptr<QWidget> window(edgeCases ? edges() : screen(tree));
        window->adjustSize();
        const bool saved = window->grab().save(folder + "/" + name + ".png");
        QImage zoom = window->grab(QRect(12, 12, 300, 320)).toImage();
        zoom.scaled(zoom.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .save(folder + "/" + name + "-zoom.png");
        return saved;
    };
    const bool ok = shoot("light", QApplication::style()->standardPalette()) && shoot("dark", darkPalette()) &&
                    shoot("edges", QApplication::style()->standardPalette(), true);
    return ok ? 0 : 1;
}
