#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string_view>

class QVBoxLayout;

namespace ostrel {

class StyledLabel;

// The titled card that frames each block of a screen: the title in the headline font above the
// content, 14 pixels of padding, on a rounded background without border or shadow. It takes
// the full width offered and keeps title and content at its leading edge; given more height
// than they need, they stay at its top.
class SectionCard final : public QWidget {
    Q_OBJECT

public:
    // The card takes ownership of `content`, which may be null for a card with only a title.
    explicit SectionCard(const QString& title, QWidget* content = nullptr, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);
    // A name from outside as the title: on one line, elided in its middle (StyledLabel::setName).
    void setTitleName(std::string_view name);
    StyledLabel* titleLabel() const { return title_; }

    QWidget* content() const { return content_; }
    // Replaces the content; the previous one is deleted.
    void setContent(QWidget* content);

    static constexpr int kPadding = 14;
    static constexpr int kSpacing = 10;
    static constexpr double kCornerRadius = 12;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    StyledLabel* title_;
    QVBoxLayout* layout_;
    QPointer<QWidget> content_;
};

}  // namespace ostrel
