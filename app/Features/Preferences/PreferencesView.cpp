#include "Features/Preferences/PreferencesView.hpp"

#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

#include "Features/Preferences/LocationAccessPanel.hpp"
#include "Features/Preferences/SystemPanel.hpp"
#include "Features/Preferences/ThresholdAlertsPanel.hpp"
#include "UI/SectionCard.hpp"
#include "UI/SegmentedPicker.hpp"
#include "UI/StyledLabel.hpp"
#include "ViewModels/PreferencesViewModel.hpp"

namespace ostrel {
namespace {

constexpr int kMargin = 12;
constexpr int kSpacing = 12;

SectionCard* card(const QString& title, const char* name, QWidget* content) {
    auto* result = new SectionCard(title, content);
    result->setObjectName(name);
    return result;
}

StyledLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new StyledLabel(text, TextStyle::caption, Hierarchy::secondary, parent);
    label->setWordWrap(true);
    return label;
}

QWidget* privacyTexts() {
    auto* texts = new QWidget;
    auto* layout = new QVBoxLayout(texts);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(
        caption("Ostrel stores usage data only on this computer. No cloud sync, no accounts, and "
                "no telemetry by default.",
                texts));
    layout->addWidget(
        caption("Per-app attribution may require elevated system access or entitlements "
                "depending on Linux policy.",
                texts));
    return texts;
}

}  // namespace

PreferencesView::PreferencesView(PreferencesViewModel& viewModel, bool vellCoreAvailable, BundleInfo bundle,
                                 QWidget* parent)
    : QWidget(parent), viewModel_(viewModel), support_(new SupportPanel(std::move(bundle))) {
    auto* picker = new SegmentedPicker(QStringLiteral("Display"), SegmentedPicker::displayModeSegments());
    picker->setObjectName("displayModePicker");
    picker->setTitleVisible(true);
    picker->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // After a failed save the picker goes back to the mode the view model still holds.
    const auto showMode = [this, picker] {
        picker->setCurrentIndex(static_cast<int>(viewModel_.settings().menuBarDisplayMode));
    };
    connect(picker, &SegmentedPicker::chosen, this, [this, showMode](int index) {
        viewModel_.updateMenuBarMode(allMenuBarDisplayModes.at(static_cast<std::size_t>(index)));
        showMode();
    });
    connect(&viewModel_, &PreferencesViewModel::menuBarDisplayModeChanged, picker, showMode);
    showMode();

    auto* content = new QWidget;
    content->setObjectName("content");
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    layout->addWidget(card("Menu Bar", "menuBarCard", picker));
    layout->addWidget(card("Threshold Alerts", "thresholdAlertsCard", new ThresholdAlertsPanel(viewModel_)));
    layout->addWidget(card("System", "systemCard", new SystemPanel(viewModel_, vellCoreAvailable, prompt_)));
    layout->addWidget(card("Network Name Access", "networkNameAccessCard", new LocationAccessPanel(viewModel_)));
    layout->addWidget(card("Privacy", "privacyCard", privacyTexts()));
    layout->addWidget(card("Support & About", "supportCard", support_));
    errorLine_ = new StyledLabel(TextStyle::caption, StatusColor::red, content);
    errorLine_->setObjectName("errorLine");
    errorLine_->setWordWrap(true);
    layout->addWidget(errorLine_);
    layout->addStretch();

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("scrollArea");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(&viewModel_, &PreferencesViewModel::errorMessageChanged, this, &PreferencesView::showMessages);
    showMessages();
}

void PreferencesView::setUrlOpener(SupportPanel::UrlOpener opener) {
    support_->setUrlOpener(std::move(opener));
}

void PreferencesView::showMessages() {
    errorLine_->setText(viewModel_.errorMessage());
    errorLine_->setVisible(!viewModel_.errorMessage().isNull());
}

}  // namespace ostrel
