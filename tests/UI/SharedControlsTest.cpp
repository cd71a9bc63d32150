// The label, picker, live refresh and rows every screen shares, on the offscreen platform.
#include <QAbstractButton>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <chrono>

#include "UI/ListDetailView.hpp"
#include "UI/LiveRefresh.hpp"
#include "UI/SegmentedPicker.hpp"
#include "UI/StatusColors.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageRows.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

const QString kIsolateStart = QStringLiteral("\u2068");
const QString kIsolateEnd = QStringLiteral("\u2069");

std::string longName(int length) {
    std::string name = "Start";
    while (static_cast<int>(name.size()) < length - 3) name += 'x';
    return name + "End";
}

// A label alone in a window of the given width, shown.
struct Shown {
    explicit Shown(StyledLabel* label, int width = 400) {
        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(label);
        window.resize(width, 40);
        window.show();
    }
    QWidget window;
};

QImage drawn(StyledLabel& label) {
    return label.grab().toImage();
}

}  // namespace

class SharedControlsTest : public QObject {
    Q_OBJECT

private slots:
    // A name with line breaks or controls is one line, as high as any one-line text.
    void namesStayOnOneLine() {
        auto* plain = new StyledLabel(QStringLiteral("Mail"), TextStyle::body);
        auto* name = new StyledLabel(TextStyle::body);
        name->setName("Two\nLines\r\nand\ttabs\u2028more");
        Shown a(plain), b(name);
        QCOMPARE(name->text(), QStringLiteral("Two Lines  and tabs more"));
        QCOMPARE(name->sizeHint().height(), plain->sizeHint().height());
        QCOMPARE(name->minimumSizeHint().height(), plain->minimumSizeHint().height());
        QVERIFY(!name->shownText().contains('\n'));
    }

    // A right-to-left override in a name reorders neither the name nor the text before it: the
    // label draws exactly what the name's characters read in order. Every name is an isolate.
    void namesCannotReorderTheTextAroundThem() {
        auto* overridden = new StyledLabel(TextStyle::body);
        overridden->setName(
            "\u202E"
            "exe.eviltxt",
            QStringLiteral("Top app today: "));
        auto* plain = new StyledLabel(QStringLiteral("Top app today: exe.eviltxt"), TextStyle::body);
        Shown a(overridden), b(plain);
        QCOMPARE(drawn(*overridden), drawn(*plain));
        QCOMPARE(overridden->text(), QStringLiteral("Top app today: exe.eviltxt"));
        QCOMPARE(overridden->shownText(), "Top app today: " + kIsolateStart + "exe.eviltxt" + kIsolateEnd);

        // A right-to-left name keeps its own order inside its isolate, and an isolate the name
        // closes early ends nothing outside it.
        auto* hebrew = new StyledLabel(TextStyle::body);
        hebrew->setName("\u05e9\u05dc\u05d5\u05dd\u2069 2", QStringLiteral("Network: "));
        Shown c(hebrew);
        QCOMPARE(hebrew->shownText(), "Network: " + kIsolateStart + "\u05e9\u05dc\u05d5\u05dd 2" + kIsolateEnd);
    }

    // A name of 5,000 characters asks for no more room than an ellipsis, and shows its start and
    // its end around one in the middle, fitting the label; the whole name is in the tooltip,
    // escaped. Markup in a name or a text is shown as it is.
    void longNamesAreElidedInTheMiddle() {
        auto* name = new StyledLabel(TextStyle::body);
        name->setName(longName(5000) + "<b>");
        Shown shown(name, 300);
        QVERIFY(name->minimumSizeHint().width() < 30);
        QCOMPARE(name->width(), 300);
        const QString text = name->shownText();
        QVERIFY(text.startsWith(kIsolateStart + "Start") && text.endsWith("End<b>" + kIsolateEnd));
        QVERIFY(text.contains(QStringLiteral("\u2026")));
        QVERIFY(name->fontMetrics().horizontalAdvance(text) <= 300);
        QVERIFY(name->toolTip().contains("End&lt;b&gt;"));

        name->setName("Short");
        QCOMPARE(name->toolTip(), QString());
        auto* markup = new StyledLabel(QStringLiteral("<b>bold</b>"), TextStyle::body);
        QCOMPARE(markup->textFormat(), Qt::PlainText);
        delete markup;

        // A card title that was a name is plain text again once it is set as one.
        name->setPlainText(QStringLiteral("Trend"));
        QVERIFY(!name->showsName());
        QCOMPARE(name->shownText(), QStringLiteral("Trend"));
    }

    // Status colours differ between light and dark palettes; levels follow the palette's text.
    void tintsFollowThePalette() {
        QPalette light, dark;
        light.setColor(QPalette::Window, Qt::white);
        light.setColor(QPalette::WindowText, Qt::black);
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, Qt::white);
        for (const StatusColor status : {StatusColor::red, StatusColor::orange, StatusColor::green}) {
            QVERIFY(Tint(status).color(light) != Tint(status).color(dark));
        }
        QCOMPARE(Tint(Hierarchy::secondary).color(dark), hierarchicalColor(dark, Hierarchy::secondary));
        StyledLabel label(QStringLiteral("x"), TextStyle::caption, StatusColor::red);
        label.setPalette(dark);
        QCOMPARE(label.color(), statusColor(StatusColor::red, dark));
    }

    // A click reports its segment and leaves the shown choice alone until the owner sets it; the
    // arrow keys report the neighbours, and nothing past either end.
    void pickerReportsChoicesWithoutTakingThem() {
        SegmentedPicker picker(QStringLiteral("Timeframe"), SegmentedPicker::timeframeSegments());
        picker.resize(400, 30);
        picker.show();
        picker.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&picker));
        QSignalSpy chosen(&picker, &SegmentedPicker::chosen);
        picker.setCurrentIndex(1);
        QCOMPARE(chosen.count(), 0);
        QTest::mouseClick(picker.findChild<QAbstractButton*>("monthly"), Qt::LeftButton);
        QCOMPARE(chosen.takeFirst().at(0).toInt(), 2);
        QVERIFY(picker.segment(1)->isChecked() && !picker.segment(2)->isChecked());
        QCOMPARE(picker.currentIndex(), 1);

        picker.segment(0)->setFocus();
        QTest::keyClick(picker.segment(0), Qt::Key_Left);
        QCOMPARE(chosen.count(), 0);
        QTest::keyClick(picker.segment(0), Qt::Key_Right);
        QCOMPARE(chosen.takeFirst().at(0).toInt(), 1);
        QVERIFY(picker.segment(1)->hasFocus());
        picker.setCurrentIndex(7);  // no such segment: nothing changes
        QCOMPARE(picker.currentIndex(), 1);
        QStringList titles;
        for (int i = 0; i < picker.count(); ++i) titles << picker.segment(i)->text();
        QCOMPARE(titles, QStringList({"Daily", "Weekly", "Monthly", "Yearly", "Custom"}));
    }

    // Ticks only while the screen is shown, the first one interval after it shows; hiding and
    // showing again quickly leaves one running loop, and a hidden screen never ticks.
    void liveRefreshRunsOnlyWhileShown() {
        QWidget screen;
        int ticks = 0;
        auto* refresh = new LiveRefresh(&screen, 20ms, [&] { ++ticks; });
        QCOMPARE(refresh->interval(), std::chrono::nanoseconds(20ms));
        QTest::qWait(60);
        QCOMPARE(ticks, 0);
        screen.show();
        QVERIFY(refresh->isRunning());
        QTRY_VERIFY(ticks >= 2);
        screen.hide(), screen.show(), screen.hide(), screen.show();
        QCOMPARE(screen.findChildren<QTimer*>().size(), 1);
        screen.hide();
        QVERIFY(!refresh->isRunning());
        const int stopped = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, stopped);

        // A period below a millisecond still waits for the event loop rather than spinning.
        QWidget fast;
        new LiveRefresh(&fast, 1ns, [] {});
        QCOMPARE(fast.findChild<QTimer*>()->interval(), 1);
    }

    // Rows are kept and reused: fewer rows delete the rest, a share left empty hides its column,
    // and named titles are elided instead of widening the card.
    void usageRowsReuseTheirLabels() {
        UsageRows rows(TextStyle::body, true);
        rows.setRows({{"Home", "4 MB", "80%"}, {longName(5000), "1 MB", "20%"}});
        QCOMPARE(rows.lines(),
                 QStringList({"Home | 4 MB | 80%", QString::fromStdString(longName(5000)) + " | 1 MB | 20%"}));
        QVERIFY(rows.minimumSizeHint().width() < 200);
        StyledLabel* first = rows.label(0, 0);
        rows.setRows({{"Office", "2 MB", ""}});
        QCOMPARE(rows.label(0, 0), first);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.lines(), QStringList({"Office | 2 MB"}));
        QVERIFY(rows.label(0, 2)->isHidden());
    }

    // The error line shows only with a message; the detail column shows one page at a time.
    void listBesideDetail() {
        auto* picker = new SegmentedPicker(QStringLiteral("Timeframe"), SegmentedPicker::timeframeSegments());
        ListDetailView view(picker, new QWidget);
        view.resize(880, 500);
        view.show();
        auto* error = view.findChild<StyledLabel*>("errorLabel");
        QVERIFY(!error->isVisible());
        view.setError(QStringLiteral("SQLite step failed"));
        QVERIFY(error->isVisible());
        QCOMPARE(error->tint(), Tint(StatusColor::red));
        view.setError({});
        QVERIFY(!error->isVisible());
        auto* first = new QWidget;
        auto* second = new QWidget;
        view.addDetailPage(first);
        view.addDetailPage(second);
        view.showDetailPage(second);
        QCOMPARE(view.currentDetailPage(), second);
        QVERIFY(second->isVisible() && !first->isVisible());
        QVERIFY(view.findChild<QWidget*>("sidebar")->width() >= ListDetailView::kSidebarMinimumWidth);
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::SharedControlsTest)
#include "SharedControlsTest.moc"
