#include "Features/Overview/TimeframeControls.hpp"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "UI/ReadableControlStyle.hpp"
#include "UI/SegmentedPicker.hpp"
#include "UI/StyledLabel.hpp"
#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {
namespace {

QDateEdit* datePicker(const char* name, QWidget* parent) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    useReadableStyle(picker);
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
      picker_(new SegmentedPicker(QStringLiteral("Timeframe"), SegmentedPicker::timeframeSegments(), this)),
      customRange_(new QWidget(this)),
      from_(datePicker("fromPicker", customRange_)),
      to_(datePicker("toPicker", customRange_)) {
    picker_->setObjectName("timeframePicker");

    customRange_->setObjectName("customRange");
    auto* rangeLayout = new QHBoxLayout(customRange_);
    rangeLayout->setContentsMargins(0, 0, 0, 0);
    for (auto [label, edit] : {std::pair{QStringLiteral("From"), from_}, std::pair{QStringLiteral("To"), to_}}) {
        auto* text = new StyledLabel(label, TextStyle::body, Hierarchy::primary, customRange_);
        text->setBuddy(edit);
        rangeLayout->addWidget(text);
        rangeLayout->addWidget(edit);
    }
    rangeLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(picker_, 0, Qt::AlignLeft);
    layout->addWidget(customRange_);

    // Only a user's choice reaches the view model; the picker itself is set from the model.
    connect(picker_, &SegmentedPicker::chosen, this, [this](int index) {
        if (viewModel_) viewModel_->setTimeframe(allTimeframePresets.at(static_cast<std::size_t>(index)));
    });
    connect(from_, &QDateEdit::dateChanged, this, [this](QDate date) { chooseDate(true, date); });
    connect(to_, &QDateEdit::dateChanged, this, [this](QDate date) { chooseDate(false, date); });
    connect(viewModel, &OverviewViewModel::timeframeChanged, this, &TimeframeControls::showTimeframe);
    // Queued: a click in a calendar pop-up sets its picker's date twice, and the second call must
    // find the picker still at the chosen day, not at the range the first one reordered, which
    // would read as a new choice and collapse the range onto that day.
    connect(viewModel, &OverviewViewModel::customRangeChanged, this, &TimeframeControls::showCustomRange,
            Qt::QueuedConnection);
    showTimeframe();
    showCustomRange();
}

void TimeframeControls::showTimeframe() {
    if (!viewModel_) return;
    const TimeframePreset timeframe = viewModel_->timeframe();
    picker_->setCurrentIndex(static_cast<int>(timeframe));
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
