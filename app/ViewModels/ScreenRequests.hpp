#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Platform/MainQueue.hpp"
#include "ViewModels/WorkerQueue.hpp"

// What the view models share: the Overview, Networks and Apps screens' starting custom range and
// the range a request carries; for every view model, the trip of a load or a change to its worker
// queue and back to the main queue.
namespace ostrel {

// The same clock time seven calendar days before `now` in the user's calendar (or `now` where the
// calendar forms no such date), up to `now`.
DateRange initialCustomRange(Date now);

// The custom range for the custom preset; every other preset the data service resolves itself.
std::optional<DateRange> requestedRange(TimeframePreset timeframe, const DateRange& customRange);

// Millisecond precision, as QDateTime keeps it.
QDateTime toQDateTime(Date date);
Date toDate(const QDateTime& dateTime);

// An error's description as the screens show it; never the null string, which stands for none.
QString errorText(const std::exception& error);

template <class T>
struct LoadOutcome {
    std::optional<T> value;  // none when the load failed
    QString error;
};

// Runs `load` on `queue` and hands its outcome to `apply` on the main queue, unless `target` has
// been released by then. The load runs whether or not the target still exists.
template <class Target, class Load, class Apply>
void loadInBackground(WorkerQueue& queue, std::shared_ptr<MainQueue> mainQueue, Target* target, Load load,
                      Apply apply) {
    using Value = std::invoke_result_t<Load&>;
    queue.async([mainQueue = std::move(mainQueue), weak = QPointer<Target>(target), load = std::move(load),
                 apply = std::move(apply)]() mutable {
        LoadOutcome<Value> outcome;
        try {
            outcome.value.emplace(load());
        } catch (const std::exception& error) {
            outcome.error = errorText(error);
        }
        mainQueue->async([weak, outcome = std::move(outcome), apply = std::move(apply)]() mutable {
            if (Target* alive = weak.data()) apply(*alive, std::move(outcome));
        });
    });
}

// Stores `value` in a published field and announces it, when it differs from the field's value.
template <class Owner, class T, class U>
void setPublished(Owner* owner, T& field, U&& value, void (Owner::*changed)()) {
    bool same = field == value;
    if constexpr (std::is_same_v<T, QString>) same = same && field.isNull() == value.isNull();
    if (same) return;
    field = std::forward<U>(value);
    emit(owner->*changed)();
}

}  // namespace ostrel
