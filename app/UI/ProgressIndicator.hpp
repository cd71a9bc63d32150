#pragma once

#include <QWidget>

namespace ostrel {

// An indeterminate progress bar, with its label below when it has one ("Loading networks…").
class ProgressIndicator final : public QWidget {
    Q_OBJECT

public:
    explicit ProgressIndicator(const QString& label = {}, QWidget* parent = nullptr);

    static constexpr int kBarWidth = 140;
};

}  // namespace ostrel
