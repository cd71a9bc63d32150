#pragma once

#include <QWidget>

class QSplitter;
class QStackedWidget;

namespace ostrel {

class StyledLabel;

// The layout of the Networks and Apps screens: a sidebar with a picker above a list, beside a
// detail column that shows one page at a time. The sidebar shows the screen's failures between
// the picker and the list, and can lay an indicator over the list's top.
class ListDetailView final : public QWidget {
    Q_OBJECT

public:
    // Takes `picker` and `list`.
    ListDetailView(QWidget* picker, QWidget* list, QWidget* parent = nullptr);

    // Lies over the list, at its top and centred; the caller shows and hides it.
    void setListOverlay(QWidget* overlay);
    // The null string hides the error line.
    void setError(const QString& message);

    void addDetailPage(QWidget* page);
    void showDetailPage(QWidget* page);
    QWidget* currentDetailPage() const;

    static constexpr int kSidebarWidth = 330;
    static constexpr int kSidebarMinimumWidth = 280;
    static constexpr int kPadding = 10;

private:
    QWidget* sidebar_;
    StyledLabel* error_;
    QWidget* list_;
    QStackedWidget* detail_;
};

}  // namespace ostrel
