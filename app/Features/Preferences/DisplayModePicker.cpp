#include "Features/Preferences/DisplayModePicker.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace ostrel {
namespace {

QString fromRaw(std::string_view raw) {
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

DisplayModePicker::DisplayModePicker(QWidget* parent) : QWidget(parent), segments_(new QButtonGroup(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("Display", this));
    auto* row = new QHBoxLayout;
    row->setSpacing(0);  // the segments touch, as one control
    for (std::size_t index = 0; index < allMenuBarDisplayModes.size(); ++index) {
        const MenuBarDisplayMode mode = allMenuBarDisplayModes[index];
        auto* segment = new QPushButton(fromRaw(title(mode)), this);
        segment->setObjectName(fromRaw(rawValue(mode)));
        segment->setCheckable(true);
        segments_->addButton(segment, static_cast<int>(index));
        row->addWidget(segment, 1);
    }
    layout->addLayout(row, 1);
    connect(segments_, &QButtonGroup::idClicked, this,
            [this](int index) { emit modeChosen(allMenuBarDisplayModes[static_cast<std::size_t>(index)]); });
}

void DisplayModePicker::setMode(MenuBarDisplayMode mode) {
    for (std::size_t index = 0; index < allMenuBarDisplayModes.size(); ++index) {
        if (allMenuBarDisplayModes[index] == mode) segments_->button(static_cast<int>(index))->setChecked(true);
    }
}

}  // namespace ostrel
