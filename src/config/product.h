#pragma once

#include <QString>

namespace velmar {

// The product's key in KeyRoot::kMachine: window placement, the web-page
// address, and (below it) the history.
inline const QString kProductKey = QStringLiteral("\\Software\\Tollera Works\\Velmar2000");
inline const QString kDefaultWebPageAddress = QStringLiteral("https://velmar.example.org/");
inline const QString kHelpDeskAddress = QStringLiteral("helpdesk@velmar.example.org");
inline const QString kApplicationTitle = QStringLiteral("Velmar 2000");
// The release, from the build (the project's version).
inline const QString kVersionText = QStringLiteral(VELMAR_VERSION);

}  // namespace velmar
