#include "OstrelApp/PopoverWindow.hpp"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace ostrel {

PopoverWindow::PopoverWindow(QWidget* content, QWidget* parent)
    : QWidget(parent), wayland_(QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    setObjectName("popover");
    setWindowTitle(QStringLiteral("Ostrel"));
    setWindowFlags((wayland_ ? Qt::Tool : Qt::Popup) | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setFixedSize(content->size());
}

void PopoverWindow::toggle(const QRect& anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    if (!guard_.mayShow(PopoverToggleGuard::Clock::now())) return;
    showAt(anchor);
}

void PopoverWindow::showAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) move(popoverPosition(anchor, screen->availableGeometry(), size()));
    show();
    raise();
    activateWindow();
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    guard_.noteHidden(PopoverToggleGuard::Clock::now());
    QWidget::hideEvent(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PopoverWindow::event(QEvent* event) {
    if (wayland_ && event->type() == QEvent::WindowDeactivate) hide();
    return QWidget::event(event);
}

}  // namespace ostrel
