#pragma once
// Where everything of the grid lies, as pure functions of the client size, the grid size and the
// verdict row switch. Double precision throughout, truncated toward zero where an integer
// coordinate is needed. Rectangles are GDI rectangles: right and bottom exclusive.
#include "grid_model.h"

#include <cmath>

struct GdiRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const GdiRect&) const = default;

    bool empty() const { return right <= left || bottom <= top; }
    bool intersects(const GdiRect& o) const
    {
        return !empty() && !o.empty() && left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    // Smallest rectangle holding both; an empty one adds nothing.
    void unite(const GdiRect& o)
    {
        if (o.empty())
            return;
        if (empty()) {
            *this = o;
            return;
        }
        left = left < o.left ? left : o.left;
        top = top < o.top ? top : o.top;
        right = right > o.right ? right : o.right;
        bottom = bottom > o.bottom ? bottom : o.bottom;
    }
};

// Truncation toward zero; NaN gives 0 and values beyond the int range are pinned, so that an
// infinite cell size (0 columns) never turns into undefined behaviour.
inline int Trunc(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= -1e9)
        return -1000000000;
    if (v >= 1e9)
        return 1000000000;
    return static_cast<int>(v);
}

class GridGeometry {
public:
    GridGeometry(int clientWidth, int clientHeight, int columns, int rows, bool showVerdict);

    int wc, hc;  // client size
    double w, h; // |left - right + 1|, |top - bottom + 1|
    int columns, rows;
    bool showVerdict;
    double cw, ch; // cell size
    double chw;    // channel width
    double barH;   // bar area height
    int shift;     // how far the lower parts move down without a verdict row

    double cellX(int c) const { return c * cw; }
    double cellY(int r) const { return r * ch; }
    int lowerShift() const { return showVerdict ? 0 : shift; }

    GdiRect channelFrame(int c, int r, int k) const;
    // Bar column; bottom is y1 without the shift.
    GdiRect barColumn(int c, int r, int k) const;
    int barTop(int r) const;    // y0
    int barBottom(int r) const; // y1
    int valueBarLeft(int c, int k) const;
    int valueBarRight(int c, int k) const;
    GdiRect stripBox(int c, int r, int k) const; // shift included
    GdiRect verdictFrame(int c, int r) const;
    GdiRect stripFrame(int c, int r) const; // shift included

    // Distance from the top of the bar area down to value v, within 0..barH. Only for a cell
    // whose range is not empty.
    double level(double v, double rangeHigh, double rangeLow) const;
    static bool hasScale(const ColorBarCell& cell) { return cell.rangeHigh != cell.rangeLow; }
};

struct HoverHit {
    int column = 0;
    int row = 0;
    int channel = -1; // -1: the pointer lies on a gap, the previous channel stands
};

// The cell under the pointer, kept inside the grid, and the channel whose frame the pointer is
// strictly inside horizontally.
HoverHit HitTest(const GridGeometry& g, int mouseX, int mouseY);
