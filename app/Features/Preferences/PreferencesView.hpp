#pragma once

#include <QWidget>

#include "Features/Preferences/MessageBoxPrompt.hpp"
#include "Features/Preferences/SupportPanel.hpp"
#include "Platform/BundleInfo.hpp"

namespace ostrel {

class PreferencesViewModel;
class StyledLabel;

// The popover's "Prefs" screen: six cards in a vertical scroll area (menu bar, threshold alerts,
// system, network name access, privacy, support and about), then the view model's error line
// (its information line is the System card's, under the button whose outcome it tells). It shows
// the view model's state as it changes and acts only through its operations; it keeps no state of
// its own and has no live refresh.
class PreferencesView final : public QWidget {
    Q_OBJECT

public:
    // `viewModel` is not owned and must outlive the screen (the popover owns both).
    // `vellCoreAvailable` is the data service's, fixed for the screen's life; `bundle` gives the
    // support, website and updates addresses.
    PreferencesView(PreferencesViewModel& viewModel, bool vellCoreAvailable, BundleInfo bundle,
                    QWidget* parent = nullptr);

    // Where links go; the desktop's URL handler unless set.
    void setUrlOpener(SupportPanel::UrlOpener opener);
    // Where the confirmation of "Clear Local Data" is asked.
    MessageBoxPrompt& messageBoxPrompt() { return prompt_; }

private:
    void showMessages();

    PreferencesViewModel& viewModel_;
    MessageBoxPrompt prompt_;
    SupportPanel* support_;
    StyledLabel* errorLine_;
};

}  // namespace ostrel
