// The tray menu's links through the real xdg-open, in a session of the test's own making: no
// desktop, no display, no session bus, empty XDG folders, and BROWSER naming the only handler.
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "OstrelApp/LinkCommands.hpp"
#include "OstrelApp/XdgUrlOpener.hpp"

namespace ostrel {

class LinkOpeningTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QStringList alerts;

    QString path(const QString& name) const { return folder.filePath(name); }
    // A handler that notes the address it was given, waits for the file `until` when one is
    // named (and then notes a "+"), and ends with `status`.
    void useBrowser(int status, const QString& until = {}) {
        const QString script = path("browser");
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString wait = until.isEmpty()
                                 ? QString()
                                 : QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done\nprintf + >> '%2'\n")
                                       .arg(until, path("opened"));
        file.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" >> '%1'\n%2exit %3\n")
                       .arg(path("opened"), wait, QString::number(status))
                       .toUtf8());
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("BROWSER", script.toUtf8());
    }
    QString opened() const {
        QFile file(path("opened"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    LinkCommands commands(const char* info = "{}") {
        return LinkCommands(BundleInfo::parse(info), {},
                            [this](const QString& title, const QString& message) { alerts << title + "|" + message; });
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) QSKIP("xdg-open is not installed");
        QVERIFY(folder.isValid());
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
              "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "DBUS_SESSION_BUS_ADDRESS"}) {
            qunsetenv(name);
        }
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
            qputenv(name, path(QString::fromLatin1(name)).toUtf8());
        }
    }
    void init() {
        alerts.clear();
        QFile::remove(path("opened"));
        qputenv("BROWSER", path("no-browser").toUtf8());
    }

    // No handler for either address: xdg-open says so on standard error, and the alert shows.
    void withoutAHandlerTheAlertShows() {
        auto links = commands();
        links.openSupport();
        QTRY_COMPARE_WITH_TIMEOUT(alerts, QStringList{"Support Ostrel|Support link is not configured for this build."},
                                  30000);
        links.checkForUpdates();
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 2, 30000);
        QCOMPARE(alerts.last(),
                 "Check for Updates|Download the latest release from the Ostrel website to update this build.");
    }

    // A handler that takes the address: nothing more shows.
    void aHandlerTakesTheAddress() {
        useBrowser(0);
        auto links = commands("{\"OstrelDeveloperURL\": \"https://example.org/about\"}");
        links.openDeveloper();
        QTRY_COMPARE_WITH_TIMEOUT(opened(), "https://example.org/about", 30000);
        QTest::qWait(200);
        QVERIFY(alerts.isEmpty());
    }

    // The opener's answer is xdg-open's status: 0 once a handler took the address; a handler that
    // fails, or none at all, is a refusal, and so is an xdg-open that cannot start.
    void openerAnswersWithXdgOpensStatus_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("browserStatus");  // -1: no handler
        QTest::addColumn<bool>("took");
        QTest::newRow("handler takes it") << "xdg-open" << 0 << true;
        QTest::newRow("handler fails") << "xdg-open" << 1 << false;
        QTest::newRow("no handler") << "xdg-open" << -1 << false;
        QTest::newRow("no xdg-open") << path("missing/xdg-open") << 0 << false;
    }
    void openerAnswersWithXdgOpensStatus() {
        QFETCH(QString, program);
        QFETCH(int, browserStatus);
        QFETCH(bool, took);
        if (browserStatus >= 0) useBrowser(browserStatus);
        XdgUrlOpener opener(program);
        std::optional<bool> answer;
        opener.open(QUrl("https://example.org/a b?q=1"), [&](bool opened) { answer = opened; });
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 30000);
        QCOMPARE(*answer, took);
        // xdg-open may try a failing handler more than once.
        if (browserStatus >= 0 && program == "xdg-open") QVERIFY(opened().startsWith("https://example.org/a%20b?q=1"));
    }

    // open() returns while the handler still runs, and the answer waits for it; an opener released
    // meanwhile (a quit) never answers, and the handler it started runs on.
    void openerNeverBlocksAndDropsItsAnswerWhenReleased() {
        useBrowser(0, path("go"));
        std::optional<bool> answer;
        auto opener = std::make_unique<XdgUrlOpener>();
        opener->open(QUrl("https://example.org/"), [&](bool opened) { answer = opened; });
        QTRY_COMPARE_WITH_TIMEOUT(opened(), "https://example.org/", 30000);
        QTest::qWait(100);
        QVERIFY(!answer);
        QFile(path("go")).open(QIODevice::WriteOnly);
        QTRY_COMPARE_WITH_TIMEOUT(answer, std::optional<bool>(true), 30000);

        QFile::remove(path("go"));
        QFile::remove(path("opened"));
        answer.reset();
        opener->open(QUrl("https://example.org/2"), [&](bool opened) { answer = opened; });
        QTRY_COMPARE_WITH_TIMEOUT(opened(), "https://example.org/2", 30000);
        opener.reset();
        QFile(path("go")).open(QIODevice::WriteOnly);
        QTRY_COMPARE_WITH_TIMEOUT(opened(), "https://example.org/2+", 30000);
        QVERIFY(!answer);
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::LinkOpeningTest)
#include "LinkOpeningTest.moc"
