#include "Features/Overview/TimeframeControls.hpp"

#include <QButtonGroup>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {
namespace {

QDateEdit* datePicker(const char* name, QWidget* parent) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    // A date counts once it is chosen in the calendar or typed in full, not at every keystroke.
    picker->setKeyboardTracking(false);
    // The locale's short form, with the year in full.
    QString format = picker->locale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    picker->setDisplayFormat(format);
    return picker;
}

// The chosen day at the clock time the date had before: a date-only picker changes the day only.
Date withDay(Date previous, QDate day) {
    const QDateTime shown = toQDateTime(previous);
    QDateTime chosen(day, shown.time());
    if (!chosen.isValid()) chosen = day.startOfDay();
    return toDate(chosen) + (previous - toDate(shown));
}

}  // namespace

TimeframeControls::TimeframeControls(OverviewViewModel* viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      presets_(new QButtonGroup(this)),
      customRange_(new QWidget(this)),
      from_(datePicker("fromPicker", customRange_)),
      to_(datePicker("toPicker", customRange_)) {
    auto* picker = new QWidget(this);
    picker->setObjectName("timeframePicker");
    auto* pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    auto* caption = new QLabel(QStringLiteral("Timeframe"), picker);
    pickerLayout->addWidget(caption);
    pickerLayout->addSpacing(8);
    for (const TimeframePreset preset : allTimeframePresets) {
        const std::string_view name = title(preset);
        auto* segment = new QPushButton(QString::fromLatin1(name.data(), qsizetype(name.size())), picker);
        const std::string_view raw = rawValue(preset);
        segment->setObjectName(QString::fromLatin1(raw.data(), qsizetype(raw.size())));
        segment->setCheckable(true);
        presets_->addButton(segment, static_cast<int>(preset));
        pickerLayout->addWidget(segment);
    }
    pickerLayout->addStretch();
    caption->setBuddy(presets_->buttons().front());

    customRange_->setObjectName("customRange");
    auto* rangeLayout = new QHBoxLayout(customRange_);
    rangeLayout->setContentsMargins(0, 0, 0, 0);
    for (auto [label, edit] : {std::pair{QStringLiteral("From"), from_}, std::pair{QStringLiteral("To"), to_}}) {
        auto* text = new QLabel(label, customRange_);
        text->setBuddy(edit);
        rangeLayout->addWidget(text);
        rangeLayout->addWidget(edit);
    }
    rangeLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(picker);
    layout->addWidget(customRange_);

    // Only a user's choice reaches the view model; the picker itself is set from the model.
    connect(presets_, &QButtonGroup::idClicked, this, [this](int id) {
        if (viewModel_) viewModel_->setTimeframe(static_cast<TimeframePreset>(id));
    });
    connect(from_, &QDateEdit::dateChanged, this, [this](QDate date) { chooseDate(true, date); });
    connect(to_, &QDateEdit::dateChanged, this, [this](QDate date) { chooseDate(false, date); });
    connect(viewModel, &OverviewViewModel::timeframeChanged, this, &TimeframeControls::showTimeframe);
    connect(viewModel, &OverviewViewModel::customRangeChanged, this, &TimeframeControls::showCustomRange);
    showTimeframe();
    showCustomRange();
}

void TimeframeControls::showTimeframe() {
    if (!viewModel_) return;
    const TimeframePreset timeframe = viewModel_->timeframe();
    presets_->button(static_cast<int>(timeframe))->setChecked(true);
    customRange_->setVisible(timeframe == TimeframePreset::custom);
}

void TimeframeControls::showCustomRange() {
    if (!viewModel_) return;
    const QSignalBlocker blockFrom(from_), blockTo(to_);
    from_->setDate(viewModel_->customRangeStart().date());
    to_->setDate(viewModel_->customRangeEnd().date());
}

void TimeframeControls::chooseDate(bool start, QDate date) {
    if (!viewModel_ || !date.isValid()) return;
    const DateRange range = viewModel_->customRange();
    if (start) {
        viewModel_->updateCustomRange(withDay(range.start, date), range.end);
    } else {
        viewModel_->updateCustomRange(range.start, withDay(range.end, date));
    }
}

}  // namespace ostrel
