#include "dialog_units.h"

#include <QFontInfo>
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
    const double em = QFontInfo(font).pixelSize();
    const double avgWidth = em / 2.0;
    const double height = em;
    auto x = [&](int u) { return static_cast<int>(std::lround(u * avgWidth / 4.0)); };
    auto y = [&](int u) { return static_cast<int>(std::lround(u * height / 8.0)); };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

QWidget* FindControl(const QWidget* dialog, int id)
{
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->property("controlId").toInt() == id)
            return w;
    return nullptr;
}
