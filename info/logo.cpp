#include "logo.h"

#include "maker_domain.h"

#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>

#include <array>

// Q_INIT_RESOURCE declares a function of the global namespace, so this must stay outside any.
void InitLogoResources()
{
    Q_INIT_RESOURCE(logos);
}

namespace {

constexpr int kGeneric = 140;
constexpr int kFirst = 140;
constexpr int kLast = 144;

int Shown(int bitmap)
{
    return bitmap < kFirst || bitmap > kLast ? kGeneric : bitmap;
}

} // namespace

int LogoBitmapForTag(const QString& tag, bool acceptsBrackwellTech)
{
    if (tag.isEmpty())
        return kGeneric;
    if (tag == QLatin1String("VASKARO"))
        return 141;
    if (tag == QLatin1String("TELURAN"))
        return 142;
    if (tag == QLatin1String("ROSKELLAN"))
        return 143;
    if (tag == QString::fromLatin1(MAKER_DOMAIN).toUpper())
        return 144;
    if (tag == QLatin1String("BRACKWELLTECH"))
        return acceptsBrackwellTech ? 144 : kGeneric;
    return kGeneric;
}

QPixmap LogoPicture(int bitmap)
{
    bitmap = Shown(bitmap);
    static std::array<QPixmap, kLast - kFirst + 1> cache;
    QPixmap& pixmap = cache[static_cast<size_t>(bitmap - kFirst)];
    if (!pixmap.isNull())
        return pixmap;

    static const bool registered = (InitLogoResources(), true);
    (void)registered;
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QSvgRenderer renderer(QStringLiteral(":/vorlaine/logos/logo%1.svg").arg(bitmap));
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, kLogoWidth, kLogoHeight));
    painter.end();
    pixmap = QPixmap::fromImage(image);
    return pixmap;
}

void ShowLogoIn(QLabel* picture, int bitmap)
{
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(LogoPicture(bitmap));
    picture->setProperty("bitmap", Shown(bitmap));
}
