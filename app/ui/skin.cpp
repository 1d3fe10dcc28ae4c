#include "app/ui/skin.h"

#include "app/platform/settings_store.h"

namespace zorvex::app {

void ApplyStoredSkin(QWidget* /*window*/, const SettingsStore& /*settings*/) {
    // The skin table and its style sheets come with the workbench.
}

}  // namespace zorvex::app
