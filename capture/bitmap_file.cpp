#include "bitmap_file.h"

namespace {
void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}
} // namespace

int BitmapRowBytes(int width)
{
    return (width * 3 + 3) / 4 * 4;
}

std::vector<std::uint8_t> BitmapFileBytes(const QImage& frame)
{
    if (frame.isNull() || frame.width() <= 0 || frame.height() <= 0)
        return {};
    const QImage rgb = frame.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width();
    const int height = rgb.height();
    const auto rowBytes = static_cast<std::size_t>(BitmapRowBytes(width));
    const std::size_t pixelBytes = rowBytes * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> out(BITMAP_HEADER_BYTES + pixelBytes, 0);

    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(pixelBytes + BITMAP_HEADER_BYTES));
    Put32(out, 10, BITMAP_HEADER_BYTES);
    Put32(out, 14, 40);
    Put32(out, 18, static_cast<std::uint32_t>(width));
    Put32(out, 22, static_cast<std::uint32_t>(height)); // positive: rows bottom-up
    Put16(out, 26, 1);
    Put16(out, 28, 24);
    // Compression, image size, resolutions and colour counts stay 0.

    for (int y = 0; y < height; ++y) {
        const uchar* src = rgb.constScanLine(y);
        std::uint8_t* dst = out.data() + BITMAP_HEADER_BYTES + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2]; // blue
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return out;
}
