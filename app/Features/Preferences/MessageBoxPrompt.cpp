#include "Features/Preferences/MessageBoxPrompt.hpp"

#include <QAbstractButton>
#include <QMessageBox>
#include <utility>

namespace ostrel {

QAbstractButton* MessageBoxPrompt::exec(QMessageBox& box) {
    asked_ << box.text();
    if (!nextAnswer_) {
        box.exec();
        return box.clickedButton();
    }
    const QString answer = *std::exchange(nextAnswer_, std::nullopt);
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() != answer) continue;
        button->click();  // the box records it as clicked, as when the user clicks it
        return box.clickedButton();
    }
    return nullptr;
}

}  // namespace ostrel
