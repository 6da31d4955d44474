#pragma once

#include <QLocale>

namespace murmelo {

// Loads the translation of the user's language for Qt's own texts (buttons of standard dialogs,
// the file chooser) and for Murmelo's, and installs both in the application. The language is the
// system locale's: LANGUAGE, then LC_ALL, LC_MESSAGES and LANG. English, and any language without
// a translation of ours, loads nothing of Murmelo's and shows the English source texts.
// Returns whether Murmelo's translation was found.
bool installTranslations(const QLocale &locale = QLocale::system());

// Takes out what installTranslations put in, so a test can go back to English.
void removeTranslations();

} // namespace murmelo
