#include "dialog_units.h"

#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

QFont DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Liberation Sans")});
    font.setPointSize(9);
    return font;
}

QRect DialogUnitsToPixels(const QRect& units, const QFont& font)
{
    const QFontMetricsF metrics(font);
    // The average width of the Latin alphabet, as the dialog manager measures it.
    const double avgWidth = metrics.horizontalAdvance(
                                QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    const double height = metrics.height();
    auto x = [&](int u) { return static_cast<int>(std::lround(u * avgWidth / 4.0)); };
    auto y = [&](int u) { return static_cast<int>(std::lround(u * height / 8.0)); };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}
