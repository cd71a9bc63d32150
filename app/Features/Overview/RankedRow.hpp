#pragma once

#include <QWidget>

#include "Model/Records.hpp"

namespace ostrel {

class StyledLabel;

// One row of a top list: the name with its share below it, and the bytes at the trailing edge.
// Without an item it is a placeholder: "—", "0%" and "0 B", dimmed. A long name is elided in its
// middle and never widens the card.
class RankedRow final : public QWidget {
    Q_OBJECT

public:
    explicit RankedRow(QWidget* parent = nullptr);

    void setItem(const RankedUsage* item);
    bool isPlaceholder() const { return placeholder_; }

private:
    StyledLabel* title_;
    StyledLabel* share_;
    StyledLabel* bytes_;
    bool placeholder_ = true;
};

}  // namespace ostrel
