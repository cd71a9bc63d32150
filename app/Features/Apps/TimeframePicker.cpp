#include "Features/Apps/TimeframePicker.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>

namespace ostrel {

TimeframePicker::TimeframePicker(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
    setAccessibleName(QStringLiteral("Timeframe"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const auto preset : allTimeframePresets) {
        const auto name = title(preset);
        auto* button = new QToolButton(this);
        button->setText(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        button->setObjectName(button->text().toLower());
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group_->addButton(button, static_cast<int>(preset));
        layout->addWidget(button);
        connect(button, &QToolButton::toggled, this, [this, button] { markChoice(button); });
    }
    group_->setExclusive(true);
    // A click checks its button; the check goes back to the shown preset at once, and the model's
    // answer moves it, so the picker never shows a choice the model has not taken.
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        const auto chosen = static_cast<TimeframePreset>(id);
        group_->button(static_cast<int>(shown_))->setChecked(true);
        emit timeframeChosen(chosen);
    });
    setTimeframe(shown_);
}

void TimeframePicker::setTimeframe(TimeframePreset timeframe) {
    shown_ = timeframe;
    group_->button(static_cast<int>(timeframe))->setChecked(true);
}

// The chosen segment in the accent colour: a sunken button alone is hard to tell apart in some
// themes, dark ones above all.
void TimeframePicker::markChoice(QAbstractButton* button) {
    if (!button->isChecked()) {
        button->setPalette(QPalette());
        return;
    }
    QPalette marked = palette();
    marked.setColor(QPalette::Button, marked.color(QPalette::Highlight));
    marked.setColor(QPalette::ButtonText, marked.color(QPalette::HighlightedText));
    button->setPalette(marked);
}

void TimeframePicker::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        for (auto* button : group_->buttons()) markChoice(button);
    }
    QWidget::changeEvent(event);
}

}  // namespace ostrel
