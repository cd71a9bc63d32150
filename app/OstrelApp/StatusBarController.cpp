#include "OstrelApp/StatusBarController.hpp"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cstdio>

#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "OstrelApp/QtStatusItem.hpp"
#include "OstrelApp/ScreenPressSource.hpp"
#include "OstrelApp/SniHostWatcher.hpp"
#include "OstrelApp/SniStatusItem.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {
namespace {

constexpr const char* kStatusIconName = "com.ostrel.Ostrel-symbolic";

// An icon theme installed beside the program, which hosts can search for the item's icon.
QString iconThemeBesideProgram() {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons");
    return QDir(folder).exists() ? QDir(folder).canonicalPath() : QString();
}

QIcon statusIcon() {
    QIcon icon = QIcon::hasThemeIcon(kStatusIconName)
                     ? QIcon::fromTheme(kStatusIconName)
                     : QIcon(QStringLiteral(":/ostrel/app/com.ostrel.Ostrel-symbolic.svg"));
    icon.setIsMask(true);
    return icon;
}

// The light glyph with a dark rim: an XEmbed tray tells nothing of its background, which may be
// light or dark.
QIcon withHalo(const QIcon& icon) {
    QIcon haloed;
    for (const int size : {16, 22, 24, 32, 48}) {
        const QPixmap glyph = icon.pixmap(size, size);
        if (glyph.isNull()) continue;
        QPixmap rim(glyph.size());
        rim.fill(Qt::transparent);
        QPainter rimPainter(&rim);
        rimPainter.drawPixmap(0, 0, glyph);
        rimPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        rimPainter.fillRect(rim.rect(), QColor(0, 0, 0, 150));
        rimPainter.end();
        QPixmap result(glyph.size());
        result.fill(Qt::transparent);
        QPainter painter(&result);
        for (const QPoint offset : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
            painter.drawPixmap(offset, rim);
        }
        painter.drawPixmap(0, 0, glyph);
        painter.end();
        haloed.addPixmap(result);
    }
    return haloed;
}

}  // namespace

StatusBarController::StatusBarController(std::shared_ptr<OstrelDataService> dataService,
                                         MenuBarViewModel* menuBarViewModel, LinkCommands links, QObject* parent)
    : QObject(parent),
      menuBarViewModel_(menuBarViewModel),
      links_(std::move(links)),
      rootView_(new PopoverRootView(std::move(dataService), menuBarViewModel)),
      popover_(std::make_unique<PopoverWindow>(rootView_)),
      screenPresses_(ScreenPressSource::forPlatform()) {
    popover_->closeOnPressesFrom(screenPresses_.get());
    connect(rootView_, &PopoverRootView::quitRequested, this, &StatusBarController::quitApp);
    configureContextMenu();
    attachStatusItem();
    configureObservers();
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::attachStatusItem() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        sniHosts_ = new SniHostWatcher(bus, this);
        connect(sniHosts_, &SniHostWatcher::hostAppeared, this, &StatusBarController::useSniItem);
    }
    if (SniHostWatcher::hostAvailable(bus)) {
        useSniItem();
        return;
    }
    // Qt's icon waits for an XEmbed tray by itself; a StatusNotifierItem host is watched for above.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::fprintf(stderr, "Ostrel: no system tray found; the icon shows once a tray starts.\n");
    }
    install(std::make_unique<QtStatusItem>());
}

void StatusBarController::useSniItem() {
    // The item registers again by itself with each new watcher.
    if (sniHosts_ == nullptr) return;
    sniHosts_->deleteLater();
    sniHosts_ = nullptr;
    install(std::make_unique<SniStatusItem>(QDBusConnection::sessionBus(), kStatusIconName, iconThemeBesideProgram()));
}

void StatusBarController::install(std::unique_ptr<StatusItem> item) {
    statusItem_ = std::move(item);
    statusItem_->setIcon(statusItem_->opensMenuItself() ? withHalo(statusIcon()) : statusIcon());
    statusItem_->setMenu(&contextMenu_);
    connect(statusItem_.get(), &StatusItem::activated, this, &StatusBarController::handleStatusItemClick);
    connect(statusItem_.get(), &StatusItem::contextMenuRequested, this, &StatusBarController::showContextMenu);
    connect(statusItem_.get(), &StatusItem::menuOpening, this, &StatusBarController::closePopover);
    updateStatusButtonDisplay();
    statusItem_->show();
}

void StatusBarController::configureContextMenu() {
    connect(contextMenu_.addAction(QStringLiteral("Support Ostrel")), &QAction::triggered, this,
            [this] { links_.openSupport(); });
    connect(contextMenu_.addAction(QStringLiteral("Check for Updates\u2026")), &QAction::triggered, this,
            [this] { links_.checkForUpdates(); });
    connect(contextMenu_.addAction(QStringLiteral("About the Developer")), &QAction::triggered, this,
            [this] { links_.openDeveloper(); });
    contextMenu_.addSeparator();
    QAction* quit = contextMenu_.addAction(QStringLiteral("Quit Ostrel"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Ctrl+Q also quits while the popover has the focus.
    popover_->addAction(quit);
    connect(quit, &QAction::triggered, this, &StatusBarController::quitApp);
}

void StatusBarController::configureObservers() {
    connect(menuBarViewModel_, &MenuBarViewModel::menuBarTextChanged, this,
            &StatusBarController::updateStatusButtonDisplay);
    updateStatusButtonDisplay();
}

void StatusBarController::updateStatusButtonDisplay() {
    statusItem_->setText(menuBarViewModel_->menuBarText());
}

void StatusBarController::handleStatusItemClick(QPoint where) {
    popover_->toggle(anchorFor(where));
}

void StatusBarController::showContextMenu(QPoint where) {
    closePopover();
    if (!statusItem_->opensMenuItself()) contextMenu_.popup(where.isNull() ? QCursor::pos() : where);
    // The popover had the keyboard: with no window of its own focused, the program counts as
    // inactive, and Qt closes the menus of an inactive program.
    if (contextMenu_.isVisible()) contextMenu_.activateWindow();
}

void StatusBarController::closePopover() {
    popover_->hide();
}

void StatusBarController::bringToFront() {
    if (!popover_->isVisible()) return;
    popover_->raise();
    popover_->activateWindow();
}

void StatusBarController::quitApp() {
    QCoreApplication::quit();
}

QRect StatusBarController::anchorFor(QPoint where) const {
    const QRect item = statusItem_->geometry();
    if (item.isValid() && !item.isEmpty()) return item;
    if (!where.isNull() && QGuiApplication::screenAt(where) != nullptr) return {where, QSize(1, 1)};
    const QPoint pointer = QCursor::pos();
    if (QGuiApplication::screenAt(pointer) != nullptr) return {pointer, QSize(1, 1)};
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect area = primary != nullptr ? primary->availableGeometry() : QRect();
    return {area.topRight(), QSize(1, 1)};
}

}  // namespace ostrel
