#include "logo.h"
#include "program_version.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QImage>
#include <QLabel>
#include <QSet>

namespace {

struct TagCase {
    const char* tag;
    int classic;  // the one-to-one dialog, which also knows BRACKWELLTECH
    int others;
};

const TagCase kTags[] = {
    {"", 140, 140},
    {"VASKARO", 141, 141},
    {"TELURAN", 142, 142},
    {"ROSKELLAN", 143, 143},
    {"VORLAINETECH.COM", 144, 144},
    {"BRACKWELLTECH", 144, 140},
    {"vaskaro", 140, 140},
    {"vorlainetech.com", 140, 140},
    {"VASKARO ", 140, 140},
    {"VASK", 140, 140},
    {"UNKNOWN", 140, 140},
};

TEST(LogoBitmapForTag, Table)
{
    for (const TagCase& c : kTags) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(LogoBitmapForTag(QString::fromLatin1(c.tag), true), c.classic);
        EXPECT_EQ(LogoBitmapForTag(QString::fromLatin1(c.tag), false), c.others);
    }
}

QByteArray Hash(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_ARGB32);
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(rgb.constBits()), rgb.sizeInBytes()),
        QCryptographicHash::Sha256);
}

TEST(LogoPicture, FiveDistinctDrawnPictures)
{
    QSet<QByteArray> hashes;
    for (int bitmap = 140; bitmap <= 144; ++bitmap) {
        SCOPED_TRACE(bitmap);
        const QPixmap pixmap = LogoPicture(bitmap);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), QSize(380, 420));
        // A picture that failed to load renders as one flat colour.
        const QImage image = pixmap.toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 4);
        hashes.insert(Hash(image));
    }
    EXPECT_EQ(hashes.size(), 5);
}

TEST(LogoPicture, UnknownNumberGivesGeneric)
{
    const QByteArray generic = Hash(LogoPicture(140).toImage());
    for (int bitmap : {0, 139, 145, -1})
        EXPECT_EQ(Hash(LogoPicture(bitmap).toImage()), generic) << bitmap;
}

TEST(ShowLogoIn, CentresPictureAndRecordsNumber)
{
    QLabel label;
    label.resize(500, 500);
    ShowLogoIn(&label, 142);
    EXPECT_EQ(label.property("bitmap").toInt(), 142);
    EXPECT_EQ(label.alignment(), Qt::AlignCenter);
    EXPECT_EQ(Hash(label.pixmap().toImage()), Hash(LogoPicture(142).toImage()));

    ShowLogoIn(&label, 999);
    EXPECT_EQ(label.property("bitmap").toInt(), 140);
    EXPECT_EQ(Hash(label.pixmap().toImage()), Hash(LogoPicture(140).toImage()));
}

TEST(ProgramVersionText, IsTheProjectVersion)
{
    EXPECT_EQ(ProgramVersionText(), QStringLiteral(VORLAINE_PROJECT_VERSION));
    EXPECT_EQ(ProgramVersionText().split(QLatin1Char('.')).size(), 4);
}

} // namespace
