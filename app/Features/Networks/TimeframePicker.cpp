#include "Features/Networks/TimeframePicker.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "UI/PlatformStyle.hpp"

namespace ostrel {
namespace {

constexpr double kRadius = 6;
constexpr int kInset = 2;

// One segment: the chosen one is filled with the accent colour, the others are bare text on the
// picker's face.
class Segment final : public QAbstractButton {
public:
    Segment(const QString& text, QWidget* parent) : QAbstractButton(parent) {
        setText(text);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics = fontMetrics();
        return {metrics.horizontalAdvance(text()) + 20, metrics.height() + 10};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor textColor = palette().color(QPalette::ButtonText);
        if (isChecked()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(accentColor(palette()));
            painter.drawRoundedRect(QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset), kRadius - kInset,
                                    kRadius - kInset);
            textColor = palette().color(QPalette::HighlightedText);
        } else if (isDown()) {
            textColor.setAlphaF(0.6f);
        }
        painter.setPen(textColor);
        painter.drawText(rect(), Qt::AlignCenter, text());
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect().adjusted(kInset, kInset, -kInset, -kInset);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

}  // namespace

TimeframePicker::TimeframePicker(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
    setAccessibleName("Timeframe");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const auto preset : allTimeframePresets) {
        auto* button = new Segment(QString::fromLatin1(title(preset)), this);
        button->setObjectName(QString::fromLatin1(rawValue(preset)));
        group_->addButton(button, static_cast<int>(preset));
        layout->addWidget(button);
    }
    connect(group_, &QButtonGroup::idClicked, this,
            [this](int id) { emit timeframeChosen(static_cast<TimeframePreset>(id)); });
}

void TimeframePicker::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void TimeframePicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(hierarchicalColor(palette(), Hierarchy::quaternary), 1));
    painter.setBrush(palette().color(QPalette::Button));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
}

void TimeframePicker::setTimeframe(TimeframePreset timeframe) {
    group_->button(static_cast<int>(timeframe))->setChecked(true);
}

}  // namespace ostrel
