#include "program_version.h"

#include "vorlaine_version.h"

#include <QStringList>

QString ProgramVersionText()
{
    // Read from the text, not the number macros: a version given with fewer parts leaves the build
    // number empty, which must show as no version rather than fail to compile.
    const QStringList parts = QString::fromLatin1(VORLAINE_VERSION_TEXT).split(QLatin1Char('.'));
    if (parts.size() != 4)
        return {};
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok || numbers[i] < 0)
            return {};
    }
    return QString::asprintf("%d.%d.%d.%d", numbers[0], numbers[1], numbers[2], numbers[3]);
}
