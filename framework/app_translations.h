#pragma once
// Qt's own texts (the standard buttons of message boxes and dialogs) in the interface's language.

namespace pavoline {

// Loads Qt's Chinese translations, from Qt's translation directory or a "translations" folder
// beside the program; false when none was found (the texts stay English).
bool InstallQtChineseTranslations();

} // namespace pavoline
