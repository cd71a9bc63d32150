#include "Features/Apps/ContentUnavailableView.hpp"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "Features/Apps/StyledLabel.hpp"

namespace ostrel {
namespace {

constexpr int kGap = 10;

}  // namespace

ContentUnavailableView::ContentUnavailableView(const QString& title, QIcon symbol, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), title_(new StyledLabel(title, TextStyle::title2)) {
    title_->setObjectName("title");
    title_->setWeight(QFont::Bold);
    title_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addSpacing(kSymbolSize + kGap);
    layout->addWidget(title_);
    layout->addStretch();
}

QString ContentUnavailableView::title() const {
    return title_->text();
}

void ContentUnavailableView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) update();
    QWidget::changeEvent(event);
}

void ContentUnavailableView::paintEvent(QPaintEvent*) {
    // Drawn in one colour, as symbol images are: the shape filled with the secondary style.
    QPixmap pixmap = symbol_.pixmap(QSize(kSymbolSize, kSymbolSize), devicePixelRatioF());
    if (pixmap.isNull()) return;
    {
        QPainter tint(&pixmap);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(pixmap.rect(), hierarchicalColor(palette(), Hierarchy::secondary));
    }
    const QRectF target(width() / 2.0 - kSymbolSize / 2.0, title_->geometry().top() - kGap - kSymbolSize, kSymbolSize,
                        kSymbolSize);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

}  // namespace ostrel
