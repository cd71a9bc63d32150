#include "UI/ContentUnavailableView.hpp"

#include <QVBoxLayout>

#include "UI/StyledLabel.hpp"

namespace ostrel {

ContentUnavailableView::ContentUnavailableView(const QString& title, Symbol symbol, QWidget* parent)
    : QWidget(parent),
      symbol_(new SymbolView(symbol, Hierarchy::secondary, kSymbolSize, this)),
      title_(new StyledLabel(title, TextStyle::title2, Hierarchy::primary, this)) {
    symbol_->setObjectName("symbol");
    title_->setObjectName("title");
    title_->setWeight(QFont::Bold);
    title_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addStretch();
    layout->addWidget(symbol_, 0, Qt::AlignHCenter);
    layout->addWidget(title_);
    layout->addStretch();
}

QString ContentUnavailableView::title() const {
    return title_->text();
}

Symbol ContentUnavailableView::symbol() const {
    return symbol_->symbol();
}

}  // namespace ostrel
