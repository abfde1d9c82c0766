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
// Installs the English translation; false when it cannot be loaded. Chinese needs nothing.
bool InstallLanguage(QCoreApplication& app, Language language);
// Back to Chinese.
void RemoveLanguage(QCoreApplication& app);
