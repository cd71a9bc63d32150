#include "Features/Overview/RankedRow.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Model/ScreenTexts.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {

RankedRow::RankedRow(QWidget* parent)
    : QWidget(parent),
      title_(new StyledLabel(TextStyle::body, Hierarchy::primary, this)),
      share_(new StyledLabel(TextStyle::caption, Hierarchy::secondary, this)),
      bytes_(new StyledLabel(TextStyle::callout, Hierarchy::primary, this)) {
    title_->setObjectName("title");
    share_->setObjectName("share");
    bytes_->setObjectName("bytes");
    bytes_->setWeight(QFont::Medium);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(title_);
    names->addWidget(share_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(names, 1);
    layout->addWidget(bytes_, 0, Qt::AlignVCenter);
    setItem(nullptr);
}

void RankedRow::setItem(const RankedUsage* item) {
    const RankedRowText text = rankedRowText(item);
    placeholder_ = text.placeholder;
    if (placeholder_) {
        title_->setPlainText(QString::fromStdString(text.title));
    } else {
        title_->setName(text.title);
    }
    share_->setText(QString::fromStdString(text.share));
    bytes_->setText(QString::fromStdString(text.bytes));
    title_->setTint(placeholder_ ? Hierarchy::tertiary : Hierarchy::primary);
    share_->setTint(placeholder_ ? Hierarchy::tertiary : Hierarchy::secondary);
    bytes_->setTint(placeholder_ ? Hierarchy::tertiary : Hierarchy::primary);
}

}  // namespace ostrel
