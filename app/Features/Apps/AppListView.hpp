#pragma once

#include <QScrollArea>
#include <vector>

#include "Model/ScreenModels.hpp"

class QVBoxLayout;

namespace ostrel {

class AppListRow;

// The scrolling list of applications, one row each, in the given order. Reloads reuse the rows
// in place, so that a refresh neither flickers nor loses the scroll position.
class AppListView final : public QScrollArea {
    Q_OBJECT

public:
    explicit AppListView(QWidget* parent = nullptr);

    void setApplications(const std::vector<ApplicationListItem>& applications);
    const std::vector<AppListRow*>& rows() const { return rows_; }

signals:
    void applicationChosen(const QString& appID);

private:
    QVBoxLayout* rowsLayout_;
    std::vector<AppListRow*> rows_;
};

}  // namespace ostrel
