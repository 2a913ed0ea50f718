#include "system/display_properties.h"

#include <string>

#include "base/texts.h"
#include "base/trace.h"

void closeDisplayPropertiesWindow(platform::Messaging& messaging, const ResourceTexts& texts) {
    trace("closeDisplayPropertiesWindow");
    const std::string titles[] = {
        std::string(texts.get(text::kDisplayPropertiesTitle)),
        std::string(texts.get(text::kScreensaverSettingsTitle)),
        kDisplayPropertiesFixedTitle,
        kScreenSaverSettingsFixedTitle,
    };
    for (const std::string& title : titles) {
        const platform::WindowHandle window = messaging.findWindowByTitle(title);
        if (window != platform::kNoWindow) {
            messaging.clickDialogButton(window, platform::kCancelButtonId);
            return;
        }
    }
}

void openScreenSaverControlPanel(InstallReporter& reporter, platform::UserInterface& ui,
                                 LauncherChannel& launcher, const ResourceTexts& texts,
                                 bool offerControlPanel) {
    trace("openScreenSaverControlPanel");
    if (!offerControlPanel)
        return;
    ui.bringApplicationToFront();
    const platform::DialogButton answer = ui.messageDialog(
        platform::DialogKind::Confirmation, std::string(texts.get(text::kOpenControlPanelQuestion)),
        {platform::DialogButton::Yes, platform::DialogButton::No});
    if (answer != platform::DialogButton::Yes)
        return;
    reporter.setStatusText(std::string(text::kOpeningControlPanel));
    ui.processPendingMessages();
    launcher.notifyLauncher(launcher::kOpenControlPanelCommand);
}
