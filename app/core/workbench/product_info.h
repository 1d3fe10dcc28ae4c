// The program's name, version and where its makers can be reached.
#pragma once

#include <QString>

#include "app/version.h"

namespace zorvex::app {

inline const QString kProductName = QStringLiteral("Zorvex");
inline const QString kProductVersion = QStringLiteral(ZORVEX_VERSION);
inline const QString kWebsiteUrl = QStringLiteral("https://zorvex.example.org/");
inline const QString kMailAddress = QStringLiteral("support@zorvex.example.org");
inline const QString kMailUrl = QStringLiteral("mailto:support@zorvex.example.org");
// The help document, in the program's data folder (beside skins/).
inline const QString kHelpDocument = QStringLiteral("help/index.html");
// The desktop entry's name (without ".desktop"), its icon's name and the
// AppStream id: the makers' domain reversed.
inline const QString kDesktopId = QStringLiteral("org.example.zorvex");

}  // namespace zorvex::app
