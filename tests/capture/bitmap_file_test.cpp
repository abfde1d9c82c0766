// Grabbed frames as bitmap files: header fields and bottom-up, padded pixel rows.
#include "bitmap_file.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

QImage Synthetic(int width, int height)
{
    QImage frame(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y) % 256));
    return frame;
}

TEST(BitmapFile, HeaderAndRowsOfFramesOfEvenAndOddWidth)
{
    struct Case {
        int width, height;
        std::size_t rowBytes;
    };
    for (const Case c : {Case{640, 480, 1920}, Case{641, 480, 1924}, Case{1, 2, 4}}) {
        SCOPED_TRACE(c.width);
        const QImage frame = Synthetic(c.width, c.height);
        const std::vector<std::uint8_t> file = BitmapFileBytes(frame);
        const std::size_t size = c.rowBytes * static_cast<std::size_t>(c.height) + 54;
        ASSERT_EQ(file.size(), size);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), size);
        EXPECT_EQ(U32(file, 6), 0u);
        EXPECT_EQ(U32(file, 10), 54u);
        EXPECT_EQ(U32(file, 14), 40u);
        EXPECT_EQ(U32(file, 18), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(U32(file, 22), static_cast<std::uint32_t>(c.height));
        EXPECT_EQ(U16(file, 26), 1);
        EXPECT_EQ(U16(file, 28), 24);
        for (std::size_t at = 30; at < 54; ++at)
            EXPECT_EQ(file[at], 0) << "byte " << at;
        // Known pixels: the file's first row is the frame's bottom row; bytes are blue, green, red.
        for (const auto& [x, y] : {std::pair{0, 0}, {c.width - 1, 0}, {c.width / 2, c.height - 1}}) {
            const QColor colour = frame.pixelColor(x, y);
            const std::size_t at = 54 + static_cast<std::size_t>(c.height - 1 - y) * c.rowBytes + 3 * static_cast<std::size_t>(x);
            EXPECT_EQ(file[at], colour.blue()) << x << "," << y;
            EXPECT_EQ(file[at + 1], colour.green()) << x << "," << y;
            EXPECT_EQ(file[at + 2], colour.red()) << x << "," << y;
        }
        // Padding bytes at the end of every row are zero.
        for (std::size_t pad = static_cast<std::size_t>(c.width) * 3; pad < c.rowBytes; ++pad)
            EXPECT_EQ(file[54 + pad], 0);
    }
    EXPECT_TRUE(BitmapFileBytes(QImage()).empty());
}

} // namespace
