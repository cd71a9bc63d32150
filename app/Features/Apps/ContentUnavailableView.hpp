#pragma once

#include <QIcon>
#include <QWidget>

namespace ostrel {

class StyledLabel;

// What an empty column shows: a large symbol in the secondary style above a title, centred.
class ContentUnavailableView final : public QWidget {
    Q_OBJECT

public:
    ContentUnavailableView(const QString& title, QIcon symbol, QWidget* parent = nullptr);

    QString title() const;

    static constexpr int kSymbolSize = 48;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QIcon symbol_;
    StyledLabel* title_;
};

}  // namespace ostrel
