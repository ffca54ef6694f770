#pragma once

class QCoreApplication;

namespace telva {

// Qt's own texts (file and print dialogs, message box buttons) in Russian, like the program's.
// Missing translation files leave them in English; nothing else depends on them.
void installQtTranslations(QCoreApplication& app);

} // namespace telva
