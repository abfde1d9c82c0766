#pragma once
// The interface language. Chinese is the program's own (the texts in the sources); English is a
// translation, chosen by --lang=en or an English locale.
#include <QString>

#include <optional>

class QCoreApplication;

enum class Language { Chinese, English };

// --lang=en|zh wins; otherwise LC_ALL, LC_MESSAGES, LANG in that order, the first one set: "en"
// or "en_*" means English, anything else Chinese.
Language ChooseLanguage(const std::optional<QString>& option);
// Installs the translation of the language, in place of the one before: English for the
// program's texts (false when it cannot be loaded), or Qt's own Chinese for its standard dialogs
// and buttons (skipped when that file is missing).
bool InstallLanguage(QCoreApplication& app, Language language);
// Removes both: the texts as the sources have them.
void RemoveLanguage(QCoreApplication& app);
