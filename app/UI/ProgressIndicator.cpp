#include "UI/ProgressIndicator.hpp"

#include <QProgressBar>
#include <QVBoxLayout>

#include "UI/StyledLabel.hpp"

namespace ostrel {

ProgressIndicator::ProgressIndicator(const QString& label, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* bar = new QProgressBar(this);
    bar->setObjectName("bar");
    bar->setRange(0, 0);  // busy, of no known length
    bar->setTextVisible(false);
    bar->setFixedWidth(kBarWidth);
    layout->addWidget(bar, 0, Qt::AlignHCenter);
    if (label.isEmpty()) return;
    auto* text = new StyledLabel(label, TextStyle::body, Hierarchy::secondary, this);
    text->setObjectName("label");
    layout->addWidget(text, 0, Qt::AlignHCenter);
}

}  // namespace ostrel
