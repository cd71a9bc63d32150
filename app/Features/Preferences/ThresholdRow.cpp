#include "Features/Preferences/ThresholdRow.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "UI/ReadableControlStyle.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

constexpr double kCornerRadius = 10;
constexpr double kBackgroundOpacity = 0.08;
constexpr double kBadgeOpacity = 0.15;

QColor faded(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

}  // namespace

double gigabytesOf(qint64 bytes) {
    constexpr double perKilo = 1.0 / 1024.0;
    return static_cast<double>(bytes) * perKilo * perKilo * perKilo;
}

qint64 wholeGigabytes(double gigabytes) {
    return static_cast<qint64>(std::trunc(gigabytes));
}

ThresholdRow::ThresholdRow(const QString& title, const QString& subtitle, Symbol symbol, StatusColor color,
                           QWidget* parent)
    : QWidget(parent), color_(color), badge_(nullptr), slider_(new QSlider(Qt::Horizontal, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    auto* header = new QHBoxLayout;
    auto* identity = new QHBoxLayout;
    identity->setSpacing(8);
    auto* symbolView = new SymbolView(symbol, color, kSymbolSize, this);
    symbolView->setObjectName("symbol");
    identity->addWidget(symbolView);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* titleLabel = new StyledLabel(title, TextStyle::subheadline, Hierarchy::primary, this);
    titleLabel->setObjectName("title");
    titleLabel->setWeight(QFont::DemiBold);
    texts->addWidget(titleLabel);
    auto* subtitleLabel = new StyledLabel(subtitle, TextStyle::caption, Hierarchy::secondary, this);
    subtitleLabel->setObjectName("subtitle");
    texts->addWidget(subtitleLabel);
    identity->addLayout(texts);
    header->addLayout(identity);
    header->addStretch();

    badge_ = new StyledLabel(TextStyle::caption, Hierarchy::primary, this);
    badge_->setObjectName("badge");
    badge_->setWeight(QFont::DemiBold);
    badge_->setAlignment(Qt::AlignCenter);
    badge_->setContentsMargins(10, 4, 10, 4);
    // Wide enough for any value of the slider, so that dragging does not shift the row.
    badge_->setMinimumWidth(badge_->fontMetrics().horizontalAdvance("500 GB") + 20);
    header->addWidget(badge_);
    layout->addLayout(header);

    slider_->setObjectName("slider");
    useReadableStyle(slider_);
    slider_->setRange(kMinimum, kMaximum);
    slider_->setSingleStep(1);
    slider_->setPageStep(10);
    slider_->setFocusPolicy(Qt::StrongFocus);  // not from the wheel
    slider_->installEventFilter(this);
    new TintedRoles(slider_, {QPalette::Highlight}, color);
    layout->addWidget(slider_);
    connect(slider_, &QSlider::valueChanged, this, &ThresholdRow::choose);
}

void ThresholdRow::choose(int value) {
    badge_->setText(QString::number(value) + " GB");
    // Saving can take longer than a frame, and a queued repaint would wait for it.
    slider_->repaint();
    badge_->repaint();
    const bool announcing = chosen_.has_value();
    chosen_ = value;
    if (announcing) return;
    QMetaObject::invokeMethod(
        this, [this] { emit gigabytesChosen(*std::exchange(chosen_, std::nullopt)); }, Qt::QueuedConnection);
}

void ThresholdRow::setGigabytes(double gigabytes) {
    if (chosen_) return;  // the newer value is on its way
    const qint64 whole = wholeGigabytes(gigabytes);
    badge_->setText(QString::number(whole) + " GB");
    const QSignalBlocker quiet(slider_);
    slider_->setValue(static_cast<int>(std::clamp<qint64>(whole, kMinimum, kMaximum)));
}

bool ThresholdRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == slider_ && event->type() == QEvent::Wheel && !slider_->hasFocus()) {
        event->ignore();  // on to the scroll area around
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ThresholdRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void ThresholdRow::paintEvent(QPaintEvent*) {
    const QColor color = statusColor(color_, palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(faded(color, kBackgroundOpacity));
    painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    const QRectF badge(badge_->geometry());
    painter.setBrush(faded(color, kBadgeOpacity));
    painter.drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
}

}  // namespace ostrel
