#pragma once

class QCoreApplication;

namespace kc {

// Makes Qt's own texts Chinese, like the rest of the program: the file dialogs, the buttons
// of message boxes and Qt's standard messages. Loads Qt's Simplified Chinese catalogue
// from Qt's translations folder into app (which owns it). False, and everything stays as
// it was, when the catalogue is missing or unreadable.
bool InstallQtChineseTranslations(QCoreApplication *app);

} // namespace kc
