#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QAbstractButton;
class QMessageBox;

namespace ostrel {

// Where the screen shows its modal message boxes. A test sets the next answer: the box is then
// not shown, and its button with that text counts as clicked.
class MessageBoxPrompt final {
public:
    // The button the user clicked; null when the box was closed without one, or when the set
    // answer names no button of the box.
    QAbstractButton* exec(QMessageBox& box);

    void setNextAnswer(const QString& buttonText) { nextAnswer_ = buttonText; }
    // The texts of the boxes asked so far, in order.
    const QStringList& asked() const { return asked_; }

private:
    std::optional<QString> nextAnswer_;
    QStringList asked_;
};

}  // namespace ostrel
