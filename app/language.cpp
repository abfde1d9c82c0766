#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
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
// Both live as long as the application.
QTranslator& English()
{
    static QTranslator english;
    return english;
}
QTranslator& QtChinese()
{
    static QTranslator qtChinese;
    return qtChinese;
}
} // namespace

bool InstallLanguage(QCoreApplication& app, Language language)
{
    RemoveLanguage(app);
    if (language == Language::Chinese) {
        // Qt's own dialogs and buttons; without the file they stay English and the rest works.
        if (QtChinese().isEmpty())
            (void)QtChinese().load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        if (!QtChinese().isEmpty())
            app.installTranslator(&QtChinese());
        return true;
    }
    if (English().isEmpty() && !English().load(QStringLiteral(":/i18n/vorlaine_en.qm")))
        return false;
    return app.installTranslator(&English());
}

void RemoveLanguage(QCoreApplication& app)
{
    app.removeTranslator(&English());
    app.removeTranslator(&QtChinese());
}
