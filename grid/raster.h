#pragma once
// GDI-style drawing straight into the pixels of a Format_RGB32 image. Rectangles follow GDI:
// right and bottom are exclusive, and a rectangle with right <= left or bottom <= top is empty.
// Everything is clipped to the image. Optionally every rectangle written is recorded, so that
// the next paint knows what to put back.
#include "grid_geometry.h"

#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

// Read-only view of the pixels of a Format_RGB32 image.
struct PixelSource {
    explicit PixelSource(const QImage& image);
    const std::uint32_t* bits;
    qsizetype stride; // in pixels
    int width;
    int height;
};

class Raster {
public:
    explicit Raster(QImage& image);

    int width() const { return width_; }
    int height() const { return height_; }

    // Rectangles written from now on are appended to `recorder` (null: none are).
    void setRecorder(std::vector<GdiRect>* recorder) { recorder_ = recorder; }
    std::vector<GdiRect>* recorder() const { return recorder_; }
    // Records a rectangle written by a caller that drew with the recorder detached.
    void noteWritten(GdiRect r)
    {
        if (recorder_ && clip(r.left, r.top, r.right, r.bottom))
            recorder_->push_back(r);
    }

    void fill(int left, int top, int right, int bottom, QRgb colour);
    // Diagonal cross hatch in (155,155,155) on white, aligned to the image origin.
    void fillHatch(int left, int top, int right, int bottom);
    // Outline with a 1-pixel pen, interior with a solid brush or the hatch.
    void rectangle(int left, int top, int right, int bottom, QRgb pen, QRgb brush);
    void hatchedRectangle(int left, int top, int right, int bottom, QRgb pen);
    // Alpha mask of w x h bytes laid over the image at (x, y) in one colour.
    void blend(int x, int y, int w, int h, const std::uint8_t* alpha, QRgb colour);
    // Logical AND of `source` (same size) into the image over the given rectangle only: the
    // caller knows the rest of the source is white.
    void andWith(const PixelSource& source, int left, int top, int right, int bottom);
    // Copies the rectangle from `source` (same size).
    void copyFrom(const PixelSource& source, int left, int top, int right, int bottom);

    static bool isHatchInk(int x, int y) { return ((x - y) & 7) == 0 || ((x + y) & 7) == 7; }

private:
    bool clip(int& left, int& top, int& right, int& bottom) const
    {
        if (right <= left || bottom <= top)
            return false;
        if (left < 0)
            left = 0;
        if (top < 0)
            top = 0;
        if (right > width_)
            right = width_;
        if (bottom > height_)
            bottom = height_;
        return left < right && top < bottom;
    }
    void record(int left, int top, int right, int bottom)
    {
        if (recorder_)
            recorder_->push_back({left, top, right, bottom});
    }
    void outline(int left, int top, int right, int bottom, QRgb pen);

    std::uint32_t* bits_;
    qsizetype stride_; // in pixels
    int width_;
    int height_;
    std::vector<GdiRect>* recorder_ = nullptr;
};
