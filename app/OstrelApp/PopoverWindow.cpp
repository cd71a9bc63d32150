#include "OstrelApp/PopoverWindow.hpp"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "OstrelApp/ScreenPressSource.hpp"

namespace ostrel {

PopoverWindow::PopoverWindow(QWidget* content, QWidget* parent)
    : QWidget(parent), content_(content), preferredSize_(content->size()) {
    setObjectName("popover");
    setWindowTitle(QStringLiteral("Ostrel"));
    // Not a popup: Qt grabs the pointer and the keyboard for a popup, and closes every popup as
    // soon as a dialog shows. Kept out of the window manager's way, as a popup is, so that it
    // opens exactly beside the tray item.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setFixedSize(content->size());
}

PopoverWindow::~PopoverWindow() {
    if (presses_ != nullptr) presses_->setListening(false);
}

void PopoverWindow::closeOnPressesFrom(ScreenPressSource* source) {
    if (presses_ != nullptr) {
        presses_->setListening(false);
        disconnect(presses_, nullptr, this, nullptr);
    }
    presses_ = source;
    if (source == nullptr) return;
    connect(source, &ScreenPressSource::pressed, this, &PopoverWindow::pressedOnScreen);
    source->setListening(isVisible());
}

// Presses are asked for only while they can close the popover: each costs a round trip to the
// display server, and other programs' clicks are not the program's to see.
void PopoverWindow::showEvent(QShowEvent* event) {
    if (presses_ != nullptr) presses_->setListening(true);
    QWidget::showEvent(event);
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    if (presses_ != nullptr) presses_->setListening(false);
    QWidget::hideEvent(event);
}

void PopoverWindow::toggle(const QRect& anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    if (!guard_.mayShow(anchor, PopoverToggleGuard::Clock::now())) return;
    showAt(anchor);
}

void PopoverWindow::showAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        // Shorter where the screen has no room for all of it: the screens scroll.
        const QRect shown = popoverGeometry(anchor, screen->geometry(), screen->availableGeometry(), preferredSize_);
        content_->setFixedSize(shown.size());
        setFixedSize(shown.size());
        move(shown.topLeft());
    }
    ++shows_;
    show();
    raise();
    activateWindow();
    guard_.noteShown(anchor, PopoverToggleGuard::Clock::now());
}

void PopoverWindow::pressedOnScreen(QPoint where) {
    // A dialog of the popover keeps it open; an open menu or list closes on its own press first.
    if (!isVisible() || QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) {
        return;
    }
    if (guard_.isOpeningPress(where, PopoverToggleGuard::Clock::now())) return;
    if (isOwnWindow(QGuiApplication::topLevelAt(where))) return;
    guard_.noteClosedBy(where, PopoverToggleGuard::Clock::now());
    hide();
}

bool PopoverWindow::isOwnWindow(const QWindow* window) const {
    for (; window != nullptr; window = window->transientParent()) {
        if (window == windowHandle()) return true;
    }
    return false;
}

void PopoverWindow::closeIfFocusLeft() {
    if (!isVisible() || isOwnWindow(QGuiApplication::focusWindow()) || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    guard_.noteClosedBy(std::nullopt, PopoverToggleGuard::Clock::now());
    hide();
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PopoverWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            // Whether the focus went elsewhere is decided once the event has passed, unless the
            // popover has opened again meanwhile: hiding the popover deactivates it too, and the
            // focus may be on its way to one of its own dialogs.
            QTimer::singleShot(0, this, [this, shown = shows_] {
                if (shown == shows_) closeIfFocusLeft();
            });
            break;
        case QEvent::WindowUnblocked:
            // Its dialog has closed: the keyboard comes back to the popover.
            if (isVisible()) activateWindow();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

}  // namespace ostrel
