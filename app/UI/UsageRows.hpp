#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "UI/PlatformStyle.hpp"

class QGridLayout;

namespace ostrel {

class StyledLabel;

// Rows of a detail card: a title at the leading edge, then at the trailing edge an amount and,
// where given, a share in the secondary style. Columns line up from row to row, and a title too
// long for its row is elided instead of widening the card.
class UsageRows final : public QWidget {
    Q_OBJECT

public:
    struct Row {
        std::string title;
        QString amount;
        QString share;  // empty: no share in this row
    };

    // With `namedTitles`, titles are names from outside (DisplayName.hpp), elided in the middle.
    UsageRows(TextStyle style, bool namedTitles, QWidget* parent = nullptr);

    void setRows(const std::vector<Row>& rows);
    int rowCount() const { return static_cast<int>(labels_.size()); }
    // Column 0 the title, 1 the amount, 2 the share.
    QString text(int row, int column) const;
    StyledLabel* label(int row, int column) const;
    // Each row's texts joined by " | ", the share left out where there is none.
    QStringList lines() const;

private:
    TextStyle style_;
    bool namedTitles_;
    QGridLayout* grid_;
    std::vector<std::array<StyledLabel*, 3>> labels_;
};

}  // namespace ostrel
