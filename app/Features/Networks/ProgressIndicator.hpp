#pragma once

#include <QWidget>

namespace ostrel {

// An indeterminate progress bar with its label below, such as "Loading networks…".
class ProgressIndicator final : public QWidget {
    Q_OBJECT

public:
    explicit ProgressIndicator(const QString& label, QWidget* parent = nullptr);
};

}  // namespace ostrel
