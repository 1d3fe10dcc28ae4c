// The program's name, version and where its makers can be reached.
#pragma once

#include <QString>

namespace zorvex::app {

inline const QString kProductName = QStringLiteral("Zorvex");
inline const QString kProductVersion = QStringLiteral("3.8.8");
inline const QString kWebsiteUrl = QStringLiteral("https://zorvex.example.org/");
inline const QString kMailAddress = QStringLiteral("support@zorvex.example.org");
inline const QString kMailUrl = QStringLiteral("mailto:support@zorvex.example.org");
// The help document, in the program's folder (beside skins/).
inline const QString kHelpDocument = QStringLiteral("help/index.html");

}  // namespace zorvex::app
