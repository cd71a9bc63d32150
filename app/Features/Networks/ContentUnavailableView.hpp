#pragma once

#include <QWidget>

namespace ostrel {

// The empty state of a detail column: a large Wi-Fi symbol above a title, centred.
class ContentUnavailableView final : public QWidget {
    Q_OBJECT

public:
    explicit ContentUnavailableView(const QString& title, QWidget* parent = nullptr);
};

}  // namespace ostrel
