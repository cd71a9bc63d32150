#pragma once

#include <QScrollArea>
#include <functional>
#include <vector>

class QVBoxLayout;

namespace ostrel {

class ListRow;

// The scrolling list of a sidebar: rows in order, on the sidebar's own background. Reloads reuse
// the rows in place, so that a refresh neither flickers nor loses the scroll position; a click on
// a row reports the row's index.
class RowList final : public QScrollArea {
    Q_OBJECT

public:
    explicit RowList(QWidget* parent = nullptr);

    // Keeps `count` rows: makes the missing ones with `make`, deletes those past the end.
    void setRowCount(std::size_t count, const std::function<ListRow*(QWidget* parent)>& make);
    const std::vector<ListRow*>& rows() const { return rows_; }

signals:
    void rowClicked(int index);

private:
    QVBoxLayout* rowsLayout_;
    std::vector<ListRow*> rows_;
};

}  // namespace ostrel
