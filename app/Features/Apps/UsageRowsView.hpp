#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "UI/PlatformStyle.hpp"

class QGridLayout;

namespace ostrel {

class StyledLabel;

// Rows of a detail card: a title at the leading edge, then at the trailing edge an amount and,
// where given, a share in the secondary style. Columns line up from row to row.
class UsageRowsView final : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString title;
        QString amount;
        QString share;  // empty: no share column in this row
    };

    explicit UsageRowsView(TextStyle style, QWidget* parent = nullptr);

    void setRows(const std::vector<Row>& rows);
    int rowCount() const { return static_cast<int>(labels_.size()); }
    // Column 0 the title, 1 the amount, 2 the share.
    QString text(int row, int column) const;

private:
    TextStyle style_;
    QGridLayout* grid_;
    std::vector<std::array<StyledLabel*, 3>> labels_;
};

}  // namespace ostrel
