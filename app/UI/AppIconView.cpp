#include "UI/AppIconView.hpp"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "UI/AppIconLookup.hpp"
#include "UI/PlatformStyle.hpp"

namespace ostrel {
namespace {

constexpr double kClipRadius = 5;
constexpr double kPlaceholderRadius = 6;
constexpr int kSymbolSize = 12;

// The symbol in one colour, as symbol images are drawn: its shape filled with `color`.
QPixmap tinted(const QIcon& icon, int size, double ratio, const QColor& color) {
    QPixmap pixmap = icon.pixmap(QSize(size, size), ratio);
    if (pixmap.isNull()) return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    return pixmap;
}

}  // namespace

AppIconView::AppIconView(std::string bundleID, std::optional<std::string> iconPath, QWidget* parent)
    : AppIconView(std::move(bundleID), std::move(iconPath), AppIconLookup::shared(), parent) {}

AppIconView::AppIconView(std::string bundleID, std::optional<std::string> iconPath, AppIconLookup& lookup,
                         QWidget* parent)
    : QWidget(parent), lookup_(lookup), bundleID_(std::move(bundleID)), iconPath_(std::move(iconPath)) {
    setFixedSize(kSize, kSize);
}

void AppIconView::setApplication(std::string bundleID, std::optional<std::string> iconPath) {
    bundleID_ = std::move(bundleID);
    iconPath_ = std::move(iconPath);
    image_.reset();
    update();
}

void AppIconView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ThemeChange) image_.reset();
    if (event->type() == QEvent::ThemeChange || event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void AppIconView::paintEvent(QPaintEvent*) {
    if (!image_) image_ = lookup_.appImage(bundleID_, iconPath_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(0, 0, kSize, kSize);
    QPainterPath clip;
    clip.addRoundedRect(bounds, kClipRadius, kClipRadius);
    painter.setClipPath(clip);
    if (image_->isNull()) {
        paintPlaceholder(painter);
        return;
    }
    const QPixmap pixmap = image_->pixmap(QSize(kSize, kSize), devicePixelRatioF());
    // Scaled to fit, small icons included, and centred.
    QSizeF shown = pixmap.deviceIndependentSize();
    if (shown.isEmpty()) return;
    shown.scale(bounds.size(), Qt::KeepAspectRatio);
    const QRectF target(bounds.center() - QPointF(shown.width() / 2, shown.height() / 2), shown);
    painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

void AppIconView::paintPlaceholder(QPainter& painter) const {
    const QRectF bounds(0, 0, kSize, kSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(hierarchicalColor(palette(), Hierarchy::quaternary));
    painter.drawRoundedRect(bounds, kPlaceholderRadius, kPlaceholderRadius);
    const QPixmap symbol = tinted(AppIconLookup::applicationSymbol(), kSymbolSize, devicePixelRatioF(),
                                  hierarchicalColor(palette(), Hierarchy::secondary));
    const QPointF corner = bounds.center() - QPointF(kSymbolSize / 2.0, kSymbolSize / 2.0);
    painter.drawPixmap(QRectF(corner, QSizeF(kSymbolSize, kSymbolSize)), symbol, QRectF(symbol.rect()));
}

}  // namespace ostrel
