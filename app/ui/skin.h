// Skins: every window applies the skin stored in system.ini when it is shown.
#pragma once

class QWidget;

namespace zorvex::app {

class SettingsStore;

// Reads "SetSkin" of section "skin" and applies that skin to the window; a name
// the skin table does not know leaves the window's look unchanged.
void ApplyStoredSkin(QWidget* window, const SettingsStore& settings);

}  // namespace zorvex::app
