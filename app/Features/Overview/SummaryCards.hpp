#pragma once

#include <QWidget>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class SectionCard;
class StyledLabel;

// The three cards side by side: "Total", "Active Network" and "Alert Status", each with a
// figure and a line below it.
class SummaryCards final : public QWidget {
    Q_OBJECT

public:
    explicit SummaryCards(QWidget* parent = nullptr);

    void setSnapshot(const OverviewSnapshot& snapshot);

private:
    struct Card {
        SectionCard* card;
        StyledLabel* firstLine;
        StyledLabel* secondLine;
    };
    Card addCard(const QString& title, const char* name);

    Card total_;
    Card activeNetwork_;
    Card alertStatus_;
};

}  // namespace ostrel
