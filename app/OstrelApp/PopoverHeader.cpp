#include "OstrelApp/PopoverHeader.hpp"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "UI/PlatformStyle.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/Symbols.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {
namespace {

StyledLabel* label(const QString& text, TextStyle style, Tint tint, const char* name, QWidget* parent) {
    auto* label = new StyledLabel(text, style, tint, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

PopoverHeader::PopoverHeader(MenuBarViewModel* model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      todayCaption_(label(QStringLiteral("Today"), TextStyle::caption, Hierarchy::secondary, "todayCaption", this)),
      todayTotal_(label({}, TextStyle::title2, Hierarchy::primary, "todayTotal", this)),
      activeNetworkCaption_(label(QStringLiteral("Active Network"), TextStyle::caption, Hierarchy::secondary,
                                  "activeNetworkCaption", this)),
      activeNetworkTitle_(label({}, TextStyle::callout, Hierarchy::primary, "activeNetworkTitle", this)),
      trafficLine_(label({}, TextStyle::caption, Hierarchy::secondary, "trafficLine", this)),
      quitButton_(new QToolButton(this)),
      displayModePicker_(new QComboBox(this)) {
    setObjectName("header");
    todayTotal_->setWeight(QFont::Bold);
    activeNetworkTitle_->setWeight(QFont::Medium);
    activeNetworkCaption_->setAlignment(Qt::AlignRight);
    activeNetworkTitle_->setAlignment(Qt::AlignRight);

    quitButton_->setObjectName("quitButton");
    quitButton_->setAutoRaise(true);
    quitButton_->setToolTip(QStringLiteral("Quit Ostrel"));
    connect(quitButton_, &QToolButton::clicked, this, &PopoverHeader::quitRequested);

    displayModePicker_->setObjectName("displayModePicker");
    displayModePicker_->setAccessibleName(QStringLiteral("Menu Bar"));
    displayModePicker_->setFixedWidth(kPickerWidth);
    for (const MenuBarDisplayMode mode : allMenuBarDisplayModes) {
        displayModePicker_->addItem(QString::fromUtf8(title(mode).data(), static_cast<qsizetype>(title(mode).size())),
                                    QVariant::fromValue(mode));
    }
    // Only a user's choice reaches the model; the picker then shows whatever mode the model has,
    // which is the previous one when saving failed.
    connect(displayModePicker_, &QComboBox::activated, this, [this](int index) {
        model_->updateDisplayMode(displayModePicker_->itemData(index).value<MenuBarDisplayMode>());
        showDisplayMode();
    });

    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    left->addWidget(todayCaption_);
    left->addWidget(todayTotal_);
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(activeNetworkCaption_, 0, Qt::AlignRight);
    right->addWidget(activeNetworkTitle_);
    auto* first = new QHBoxLayout;
    first->addLayout(left);
    first->addStretch();
    // However long the network's name, it gives way before the figures do.
    first->addLayout(right, 1);

    auto* second = new QHBoxLayout;
    second->addWidget(trafficLine_);
    second->addStretch();
    second->addWidget(quitButton_);
    second->addWidget(displayModePicker_);

    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    rows->setSpacing(kRowSpacing);
    rows->addLayout(first);
    rows->addLayout(second);

    connect(model_, &MenuBarViewModel::todaySummaryChanged, this, &PopoverHeader::showFigures);
    connect(model_, &MenuBarViewModel::activeNetworkTitleChanged, this, &PopoverHeader::showFigures);
    connect(model_, &MenuBarViewModel::displayModeChanged, this, &PopoverHeader::showDisplayMode);
    applyStyles();
    showFigures();
    showDisplayMode();
}

void PopoverHeader::showFigures() {
    todayTotal_->setText(model_->todayTotalText());
    activeNetworkTitle_->setName(model_->activeNetworkTitle().toStdString());
    trafficLine_->setText(model_->todayDirectionsText());
}

void PopoverHeader::showDisplayMode() {
    const QSignalBlocker blocker(displayModePicker_);
    displayModePicker_->setCurrentIndex(displayModePicker_->findData(QVariant::fromValue(model_->displayMode())));
}

void PopoverHeader::applyStyles() {
    // The symbol at the size of the body text; semibold symbols read as slightly heavier strokes,
    // which the drawing already has.
    const int symbolSize = QFontMetrics(platformFont(TextStyle::body, font())).height();
    quitButton_->setIconSize(QSize(symbolSize, symbolSize));
    quitButton_->setIcon(symbolIcon(Symbol::power, hierarchicalColor(palette(), Hierarchy::primary)));
}

void PopoverHeader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) applyStyles();
    QWidget::changeEvent(event);
}

void PopoverHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), regularMaterialColor(palette()));
}

}  // namespace ostrel
