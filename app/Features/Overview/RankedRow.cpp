#include "Features/Overview/RankedRow.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Features/Overview/StyledLabel.hpp"
#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"

namespace ostrel {

RankedRow::RankedRow(QWidget* parent)
    : QWidget(parent),
      title_(new StyledLabel({}, TextStyle::body, Tint::primary, this)),
      share_(new StyledLabel({}, TextStyle::caption, Tint::secondary, this)),
      bytes_(new StyledLabel({}, TextStyle::callout, Tint::primary, this)) {
    title_->setObjectName("title");
    share_->setObjectName("share");
    bytes_->setObjectName("bytes");
    title_->setElided(true);
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
    placeholder_ = item == nullptr;
    if (item != nullptr) {
        title_->setText(QString::fromStdString(item->title));
        share_->setText(QString::fromStdString(percentageString(item->share)));
        bytes_->setText(QString::fromStdString(byteString(saturatingAdd(item->rxBytes, item->txBytes))));
    } else {
        title_->setText(QStringLiteral("—"));
        share_->setText(QStringLiteral("0%"));
        bytes_->setText(QStringLiteral("0 B"));
    }
    title_->setTint(placeholder_ ? Tint::tertiary : Tint::primary);
    share_->setTint(placeholder_ ? Tint::tertiary : Tint::secondary);
    bytes_->setTint(placeholder_ ? Tint::tertiary : Tint::primary);
}

}  // namespace ostrel
