#include "language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <cstdlib>

Language ChooseLanguage(const std::optional<QString>& option)
{
    if (option)
        return option->startsWith(QStringLiteral("en"), Qt::CaseInsensitive) ? Language::English : Language::Chinese;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        const QString locale = QString::fromLatin1(value);
        return locale == QStringLiteral("en") || locale.startsWith(QStringLiteral("en_")) ? Language::English
                                                                                          : Language::Chinese;
    }
    return Language::Chinese;
}

namespace {
QTranslator& English()
{
    static QTranslator english; // lives as long as the application
    return english;
}
} // namespace

bool InstallLanguage(QCoreApplication& app, Language language)
{
    if (language == Language::Chinese)
        return true;
    if (English().isEmpty() && !English().load(QStringLiteral(":/i18n/vorlaine_en.qm")))
        return false;
    return app.installTranslator(&English());
}

void RemoveLanguage(QCoreApplication& app)
{
    app.removeTranslator(&English());
}
