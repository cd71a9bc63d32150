#pragma once

#include <QWidget>
#include <vector>

#include "Model/Records.hpp"

class QVBoxLayout;

namespace ostrel {

class RankedRow;

// The rows of a top list: one per item, and placeholder rows up to five.
class RankedList final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::size_t kMinimumRows = 5;

    explicit RankedList(QWidget* parent = nullptr);

    void setItems(const std::vector<RankedUsage>& items);
    const std::vector<RankedRow*>& rows() const { return rows_; }

private:
    QVBoxLayout* layout_;
    std::vector<RankedRow*> rows_;  // by index, kept across updates
};

}  // namespace ostrel
