#pragma once
// Frames as Windows bitmap files: the 14-byte file header, the 40-byte information header, and
// 24-bit pixel rows bottom-up, each padded to a multiple of 4 bytes as the format requires.
#include <QImage>

#include <cstdint>
#include <vector>

constexpr int BITMAP_HEADER_BYTES = 54;

// Bytes of one padded row of a 24-bit frame `width` pixels wide.
int BitmapRowBytes(int width);
// The whole file for `frame` (any format; converted to 24-bit BGR). An empty frame gives no bytes.
std::vector<std::uint8_t> BitmapFileBytes(const QImage& frame);
