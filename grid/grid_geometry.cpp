#include "grid_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

GridGeometry::GridGeometry(int clientWidth, int clientHeight, int columns_, int rows_, bool showVerdict_)
    : wc(clientWidth),
      hc(clientHeight),
      w(std::abs(0 - clientWidth + 1)),
      h(std::abs(0 - clientHeight + 1)),
      columns(columns_),
      rows(rows_),
      showVerdict(showVerdict_)
{
    cw = w / columns;
    ch = h / rows;
    chw = cw / 32;
    barH = 0.95 * ch - 0.125 * ch - 6;
    shift = Trunc(Trunc(ch) * 0.125);
}

GdiRect GridGeometry::channelFrame(int c, int r, int k) const
{
    const double x = cellX(c), y = cellY(r);
    return {Trunc(x + k * chw + 2), Trunc(y + 2), Trunc(x + (k + 1) * chw - 1),
        Trunc(0.95 * ch + y - 0.125 * ch - 2) + lowerShift()};
}

int GridGeometry::barTop(int r) const { return Trunc(cellY(r) + 3); }
int GridGeometry::barBottom(int r) const { return Trunc(barTop(r) + barH); }

GdiRect GridGeometry::barColumn(int c, int r, int k) const
{
    const double x = cellX(c);
    return {Trunc(x + k * chw + 3), barTop(r), Trunc(x + (k + 1) * chw - 2), barBottom(r)};
}

int GridGeometry::valueBarLeft(int c, int k) const { return Trunc(cellX(c) + k * chw + chw / 4); }
int GridGeometry::valueBarRight(int c, int k) const { return Trunc(cellX(c) + (k + 1) * chw + 1 - chw / 4); }

GdiRect GridGeometry::stripBox(int c, int r, int k) const
{
    const double x = cellX(c), y = cellY(r);
    return {Trunc(x + k * chw + 3), Trunc(Trunc(0.95 * ch) + y - 0.125 * ch + 2) + lowerShift(),
        Trunc(x + (k + 1) * chw - 2), Trunc(ch + y - 1 - 0.125 * ch - 2) + lowerShift()};
}

GdiRect GridGeometry::verdictFrame(int c, int r) const
{
    const double x = cellX(c), y = cellY(r);
    return {Trunc(x + 2), Trunc(Trunc(0.875 * ch) + y), Trunc(x + cw - 1), Trunc(y + ch - 1)};
}

GdiRect GridGeometry::stripFrame(int c, int r) const
{
    const double x = cellX(c), y = cellY(r);
    return {Trunc(x + 2), Trunc(Trunc(0.95 * ch) + y - 0.125 * ch) + lowerShift(), Trunc(x + cw - 1),
        Trunc(y + ch - 1 - 0.125 * ch) + lowerShift()};
}

double GridGeometry::level(double v, double rangeHigh, double rangeLow) const
{
    // Measured down from rangeHigh, which thus lands on 0 exactly; rangeLow is pinned to barH.
    // Rounding must leave no sliver at either end: a mark on the frame line, a bar one row high.
    double l = v == rangeLow ? barH : (rangeHigh - v) * barH / (rangeHigh - rangeLow);
    if (l <= 0)
        l = 0;
    if (l > barH)
        l = barH;
    return l;
}

HoverHit HitTest(const GridGeometry& g, int mouseX, int mouseY)
{
    HoverHit hit;
    hit.column = std::clamp(Trunc(mouseX / (g.w / g.columns)), 0, std::max(g.columns - 1, 0));
    hit.row = std::clamp(Trunc(mouseY / (g.h / g.rows)), 0, std::max(g.rows - 1, 0));
    const double x = hit.column * g.cw;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if (Trunc(x + k * g.chw + 2) < mouseX && mouseX < Trunc(x + (k + 1) * g.chw - 1))
            hit.channel = k;
    }
    return hit;
}
