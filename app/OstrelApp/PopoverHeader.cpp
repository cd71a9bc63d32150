#include "OstrelApp/PopoverHeader.hpp"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/Symbols.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {
namespace {

QString byteText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

void styleLabel(QLabel* label, const QFont& font, const QColor& color) {
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

PopoverHeader::PopoverHeader(MenuBarViewModel* model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      todayCaption_(label(QStringLiteral("Today"), "todayCaption", this)),
      todayTotal_(label({}, "todayTotal", this)),
      activeNetworkCaption_(label(QStringLiteral("Active Network"), "activeNetworkCaption", this)),
      activeNetworkTitle_(label({}, "activeNetworkTitle", this)),
      trafficLine_(label({}, "trafficLine", this)),
      quitButton_(new QToolButton(this)),
      displayModePicker_(new QComboBox(this)) {
    setObjectName("header");
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
    right->addWidget(activeNetworkCaption_);
    right->addWidget(activeNetworkTitle_);
    auto* first = new QHBoxLayout;
    first->addLayout(left);
    first->addStretch();
    first->addLayout(right);

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
    const UsageSummary today = model_->todaySummary();
    todayTotal_->setText(byteText(saturatingAdd(today.rxBytes, today.txBytes)));
    activeNetworkTitle_->setText(model_->activeNetworkTitle());
    trafficLine_->setText(QStringLiteral("\u2193 ") + byteText(today.rxBytes) + QStringLiteral("  \u2191 ") +
                          byteText(today.txBytes));
}

void PopoverHeader::showDisplayMode() {
    const QSignalBlocker blocker(displayModePicker_);
    displayModePicker_->setCurrentIndex(displayModePicker_->findData(QVariant::fromValue(model_->displayMode())));
}

void PopoverHeader::applyStyles() {
    const QFont body = font();
    const QPalette& colors = palette();
    const QColor secondary = hierarchicalColor(colors, Hierarchy::secondary);
    QFont total = platformFont(TextStyle::title2, body);
    total.setWeight(QFont::Bold);
    QFont network = platformFont(TextStyle::callout, body);
    network.setWeight(QFont::Medium);
    styleLabel(todayCaption_, platformFont(TextStyle::caption, body), secondary);
    styleLabel(todayTotal_, total, hierarchicalColor(colors, Hierarchy::primary));
    styleLabel(activeNetworkCaption_, platformFont(TextStyle::caption, body), secondary);
    styleLabel(activeNetworkTitle_, network, hierarchicalColor(colors, Hierarchy::primary));
    styleLabel(trafficLine_, platformFont(TextStyle::caption, body), secondary);
    // The symbol at the size of the body text; semibold symbols read as slightly heavier strokes,
    // which the drawing already has.
    const int symbolSize = QFontMetrics(platformFont(TextStyle::body, body)).height();
    quitButton_->setIconSize(QSize(symbolSize, symbolSize));
    quitButton_->setIcon(symbolIcon(Symbol::power, hierarchicalColor(colors, Hierarchy::primary)));
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
