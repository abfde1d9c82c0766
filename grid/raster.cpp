#include "raster.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr QRgb kHatchInk = qRgb(155, 155, 155);
constexpr QRgb kHatchGap = qRgb(255, 255, 255);

// src * a + dst * (255 - a) per channel, divided by 255 with rounding; red and blue share one
// multiplication.
inline std::uint32_t mix(std::uint32_t src, std::uint32_t dst, std::uint32_t a)
{
    const std::uint32_t ia = 255 - a;
    std::uint32_t rb = (src & 0xff00ffu) * a + (dst & 0xff00ffu) * ia + 0x800080u;
    rb = ((rb + ((rb >> 8) & 0xff00ffu)) >> 8) & 0xff00ffu;
    std::uint32_t g = (src & 0xff00u) * a + (dst & 0xff00u) * ia + 0x8000u;
    g = ((g + ((g >> 8) & 0xff00u)) >> 8) & 0xff00u;
    return 0xff000000u | rb | g;
}

} // namespace

PixelSource::PixelSource(const QImage& image)
    : bits(image.isNull() ? nullptr : reinterpret_cast<const std::uint32_t*>(image.constBits())),
      stride(image.isNull() ? 0 : image.bytesPerLine() / 4),
      width(bits ? image.width() : 0),
      height(bits ? image.height() : 0)
{
    Q_ASSERT(image.isNull() || image.format() == QImage::Format_RGB32);
}

Raster::Raster(QImage& image)
    : bits_(image.isNull() ? nullptr : reinterpret_cast<std::uint32_t*>(image.bits())),
      stride_(image.isNull() ? 0 : image.bytesPerLine() / 4),
      width_(bits_ ? image.width() : 0),
      height_(bits_ ? image.height() : 0)
{
    Q_ASSERT(image.isNull() || image.format() == QImage::Format_RGB32);
}

void Raster::fill(int left, int top, int right, int bottom, QRgb colour)
{
    if (!clip(left, top, right, bottom))
        return;
    record(left, top, right, bottom);
    const std::uint32_t c = 0xff000000u | colour;
    const int n = right - left;
    std::uint32_t* first = bits_ + top * stride_ + left;
    for (int i = 0; i < n; ++i)
        first[i] = c;
    if (n < 16) {
        for (int y = top + 1; y < bottom; ++y) {
            std::uint32_t* p = bits_ + y * stride_ + left;
            for (int i = 0; i < n; ++i)
                p[i] = c;
        }
        return;
    }
    // Wide rows are copies of the first: the library's copy is wider than a plain loop.
    const std::size_t bytes = std::size_t(n) * 4;
    for (int y = top + 1; y < bottom; ++y)
        std::memcpy(bits_ + y * stride_ + left, first, bytes);
}

void Raster::fillHatch(int left, int top, int right, int bottom)
{
    if (!clip(left, top, right, bottom))
        return;
    record(left, top, right, bottom);
    for (int y = top; y < bottom; ++y) {
        std::uint32_t pattern[8];
        for (int i = 0; i < 8; ++i)
            pattern[i] = isHatchInk(i, y) ? kHatchInk : kHatchGap;
        std::uint32_t* row = bits_ + y * stride_;
        for (int x = left; x < right; ++x)
            row[x] = pattern[x & 7];
    }
}

void Raster::outline(int left, int top, int right, int bottom, QRgb pen)
{
    fill(left, top, right, top + 1, pen);
    fill(left, bottom - 1, right, bottom, pen);
    fill(left, top, left + 1, bottom, pen);
    fill(right - 1, top, right, bottom, pen);
}

void Raster::rectangle(int left, int top, int right, int bottom, QRgb pen, QRgb brush)
{
    if (right <= left || bottom <= top)
        return;
    fill(left + 1, top + 1, right - 1, bottom - 1, brush);
    outline(left, top, right, bottom, pen);
}

void Raster::hatchedRectangle(int left, int top, int right, int bottom, QRgb pen)
{
    if (right <= left || bottom <= top)
        return;
    fillHatch(left + 1, top + 1, right - 1, bottom - 1);
    outline(left, top, right, bottom, pen);
}

void Raster::blend(int x, int y, int w, int h, const std::uint8_t* alpha, QRgb colour)
{
    int left = x, top = y, right = x + w, bottom = y + h;
    if (!clip(left, top, right, bottom))
        return;
    record(left, top, right, bottom);
    const std::uint32_t c = 0xff000000u | colour;
    for (int py = top; py < bottom; ++py) {
        const std::uint8_t* a = alpha + (py - y) * w + (left - x);
        std::uint32_t* row = bits_ + py * stride_;
        for (int px = left; px < right; ++px, ++a) {
            const std::uint32_t v = *a;
            if (v == 0)
                continue;
            row[px] = v == 255 ? c : mix(c, row[px], v);
        }
    }
}

void Raster::andWith(const PixelSource& source, int left, int top, int right, int bottom)
{
    if (source.width != width_ || source.height != height_ || !clip(left, top, right, bottom))
        return;
    record(left, top, right, bottom);
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* from = source.bits + y * source.stride;
        std::uint32_t* to = bits_ + y * stride_;
        for (int x = left; x < right; ++x)
            to[x] &= from[x];
    }
}

void Raster::copyFrom(const PixelSource& source, int left, int top, int right, int bottom)
{
    if (source.width != width_ || source.height != height_ || !clip(left, top, right, bottom))
        return;
    record(left, top, right, bottom);
    const int n = right - left;
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* to = bits_ + y * stride_ + left;
        const std::uint32_t* from = source.bits + y * source.stride + left;
        if (n < 16) {
            for (int i = 0; i < n; ++i)
                to[i] = from[i];
        } else {
            std::memcpy(to, from, std::size_t(n) * 4);
        }
    }
}
