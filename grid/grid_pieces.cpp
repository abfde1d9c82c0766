#include "grid_pieces.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace grid_pieces {

GdiFontRequest valueFontRequest(const GridGeometry& g) { return {Trunc(g.chw * 2 / 3), g.rows <= 1 ? 8 : 5}; }
GdiFontRequest stripFontRequest(const GdiRect& frame)
{
    return {frame.bottom - frame.top, (frame.right - frame.left) / 128};
}
GdiFontRequest similarityFontRequest(const GridGeometry& g) { return {Trunc(g.ch / 8), 0, true}; }
GdiFontRequest verdictFontRequest(const GdiRect& frame) { return {frame.bottom - frame.top, 30}; }

int formatInt(char* out, int v)
{
    char digits[12];
    int n = 0;
    unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
    do {
        digits[n++] = char('0' + u % 10);
        u /= 10;
    } while (u);
    int len = 0;
    if (v < 0)
        out[len++] = '-';
    while (n)
        out[len++] = digits[--n];
    return len;
}

int lowerEdge(const GridGeometry& g, int r) { return g.barBottom(r) + g.lowerShift(); }
int valueTextX(const GridGeometry& g, const GdiRect& column) { return Trunc(column.left + g.chw / 8); }
int diffTextX(const GridGeometry& g, const GdiRect& column) { return Trunc(column.left + g.chw * 2 / 3 + g.chw / 8); }
GdiRect hatchColumn(const GridGeometry& g, int c, int r, int k)
{
    const GdiRect col = g.barColumn(c, r, k);
    return {col.left, col.top, col.right, lowerEdge(g, r)};
}
QPoint verdictTextOrigin(const GdiRect& v) { return {v.left + (v.right - v.left) / 2 - 90, v.top + 1}; }
GdiRect verdictBox(const GdiRect& v) { return {v.left + 2, v.top + 2, v.right - 2, v.bottom - 2}; }

// Value bar of channel k, empty when the channel shows none.
GdiRect valueBar(const GridGeometry& g, const ColorBarCell& cell, int c, int r, int k)
{
    const std::uint8_t state = cell.channelState[k];
    if (!GridGeometry::hasScale(cell) || (state != Active && state != Dark))
        return {};
    const double v = g.level(cell.value[k], cell.rangeHigh, cell.rangeLow);
    return {g.valueBarLeft(c, k), Trunc(g.barTop(r) + v), g.valueBarRight(c, k), lowerEdge(g, r)};
}

QRgb barColour(const GridFrame& frame, const ColorBarCell& cell, int k)
{
    if (cell.channelState[k] == Dark)
        return kDarkBar;
    return cell.hitMark[k] && frame.fpcTestMode ? kMarkedBar : kValueBar;
}

QRgb stripColour(const ColorBarCell& cell, int k)
{
    return IsAboveUpper(cell, k) ? kStripAbove : IsBelowLower(cell, k) ? kStripBelow : kStripWithin;
}

// --- The passes, each step in its own function so that the layers reuse them. ---

void drawFramePass(Raster& raster, const GridGeometry& g)
{
    raster.fill(0, 0, g.wc, g.hc, g.columns == 0 && g.rows == 0 ? kEmptyBackground : kWhite);

    // A line from (0, y) to (Wc, y) leaves out its end point. The loop stops after one line when
    // the step is zero or not a number.
    const double stepY = g.h / g.rows;
    for (double y = 0; y < g.hc; y += stepY) {
        raster.fill(0, Trunc(y), g.wc, Trunc(y) + 1, kGridPen);
        if (!(stepY > 0))
            break;
    }
    const double stepX = g.w / g.columns;
    for (double x = 0; x < g.wc; x += stepX) {
        raster.fill(Trunc(x), 0, Trunc(x) + 1, g.hc, kGridPen);
        if (!(stepX > 0))
            break;
    }

    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            if (g.showVerdict) {
                const GdiRect v = g.verdictFrame(c, r);
                raster.rectangle(v.left, v.top, v.right, v.bottom, kGridPen, kWhite);
            }
            const GdiRect s = g.stripFrame(c, r);
            raster.rectangle(s.left, s.top, s.right, s.bottom, kGridPen, kWhite);
        }
    }
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            for (int k = 0; k < GRID_CHANNELS; ++k) {
                const GdiRect f = g.channelFrame(c, r, k);
                raster.rectangle(f.left, f.top, f.right, f.bottom, kGridPen, kWhite);
            }
        }
    }
}

// An empty range has no scale: nothing is placed on it. An untested cell shows no limits at all.
void drawZones(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, bool untested)
{
    const int y0 = g.barTop(r);
    const int y1 = lowerEdge(g, r);
    if (untested) {
        for (int k = 0; k < GRID_CHANNELS; ++k) {
            const GdiRect col = g.barColumn(c, r, k);
            raster.fill(col.left, y0, col.right, y1, kUntestedArea);
        }
        return;
    }
    if (!GridGeometry::hasScale(cell))
        return;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const GdiRect col = g.barColumn(c, r, k);
        const double u = g.level(cell.upperLimit[k], cell.rangeHigh, cell.rangeLow);
        if (u > 0)
            raster.fill(col.left, y0, col.right, Trunc(y0 + u), kZoneAbove);
    }
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const GdiRect col = g.barColumn(c, r, k);
        const double l = g.level(cell.lowerLimit[k], cell.rangeHigh, cell.rangeLow);
        if (l > 0)
            raster.fill(col.left, Trunc(y0 + l), col.right, y1, kZoneBelow);
    }
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const GdiRect col = g.barColumn(c, r, k);
        const double u = g.level(cell.upperLimit[k], cell.rangeHigh, cell.rangeLow);
        const double l = g.level(cell.lowerLimit[k], cell.rangeHigh, cell.rangeLow);
        if (u > 0 || l > 0) {
            const int t = Trunc(y0 + u);
            raster.fill(col.left, t, col.right, Trunc(t + l - u), kZoneWithin);
        }
    }
}

void drawBar(Raster& raster, const GdiRect& b, QRgb colour)
{
    if (colour == kDarkBar)
        raster.rectangle(b.left, b.top, b.right, b.bottom, kGridPen, kDarkBar);
    else
        raster.fill(b.left, b.top, b.right, b.bottom, colour);
}

// With `underHatch`, the rows that the channel's hatching covers later are left out.
void drawMarks(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, bool underHatch)
{
    if (!GridGeometry::hasScale(cell))
        return;
    const int y0 = g.barTop(r);
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        const double p = g.level(cell.reference[k], cell.rangeHigh, cell.rangeLow);
        if (!(p > 0))
            continue;
        const GdiRect col = g.barColumn(c, r, k);
        const int m = Trunc(y0 + p - 2);
        const GdiRect hatch = hatchColumn(g, c, r, k);
        if (underHatch && (cell.channelState[k] & 1) && !hatch.empty()) {
            raster.fill(col.left, m, col.right, std::min(m + 2, hatch.top), kReferenceMark);
            raster.fill(col.left, std::max(m, hatch.bottom), col.right, m + 2, kReferenceMark);
        } else {
            raster.fill(col.left, m, col.right, m + 2, kReferenceMark);
        }
    }
}

void drawHatch(Raster& raster, const GridGeometry& g, int c, int r, int k)
{
    const GdiRect h = hatchColumn(g, c, r, k);
    raster.hatchedRectangle(h.left, h.top, h.right, h.bottom, kGridPen);
}

void drawValues(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiTextFont& font)
{
    char text[16];
    const int y = lowerEdge(g, r) - 1;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if (cell.channelState[k] != Active)
            continue;
        const int n = formatInt(text, int(cell.value[k]));
        font.draw(raster, TextAngle::Up, valueTextX(g, g.barColumn(c, r, k)), y, {text, std::size_t(n)}, kValueText);
    }
}

void drawDiffs(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiTextFont& font)
{
    char text[16];
    const int y = g.barTop(r) + 1;
    for (int k = 0; k < GRID_CHANNELS; ++k) {
        if (cell.channelState[k] != Active)
            continue;
        const QRgb colour = IsAboveUpper(cell, k) ? kDiffAbove : IsBelowLower(cell, k) ? kDiffBelow : kDiffWithin;
        const int n = formatInt(text, int(cell.value[k]) - int(cell.reference[k]));
        font.draw(raster, TextAngle::Down, diffTextX(g, g.barColumn(c, r, k)), y, {text, std::size_t(n)}, colour);
    }
}

void drawStripBox(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, int k, bool untested)
{
    const GdiRect box = g.stripBox(c, r, k);
    if (untested || cell.channelState[k] != Active)
        raster.hatchedRectangle(box.left, box.top, box.right, box.bottom, kGridPen);
    else
        raster.fill(box.left, box.top, box.right, box.bottom, stripColour(cell, k));
}

void drawStripLabel(Raster& raster, const GridGeometry& g, int c, int r, int k, GdiTextFont& font)
{
    const GdiRect box = g.stripBox(c, r, k);
    const char label[2] = {char('0' + k / 10), char('0' + k % 10)};
    font.draw(raster, TextAngle::Horizontal, box.left + 1, box.top - 1, {label, 2}, kChannelNumber);
}

QPoint similarityOrigin(const GridGeometry& g, int c, int r) { return {Trunc(g.cellX(c) + 3), Trunc(g.cellY(r) + 30)}; }

void drawSimilarity(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiFontCache& fonts)
{
    if (!cell.similarityOn)
        return;
    char text[40];
    const double s = cell.similarity;
    const int n = std::clamp(std::snprintf(text, sizeof text, "%02.5g%%", s * 100), 0, int(sizeof text) - 1);
    const QPoint at = similarityOrigin(g, c, r);
    fonts.get(similarityFontRequest(g))
        .draw(raster, TextAngle::Horizontal, at.x(), at.y(), {text, std::size_t(n)},
            cell.similarityThreshold < s ? kSimilarityGood : kSimilarityBad);
}

// An untested cell has no verdict: a plain box, no text.
void drawVerdict(Raster& raster, const GdiRect& v, CellVerdict verdict, bool untested, GdiFontCache& fonts)
{
    const GdiRect box = verdictBox(v);
    if (untested) {
        raster.fill(box.left, box.top, box.right, box.bottom, kUntestedArea);
        return;
    }
    QRgb textColour = kLoadText;
    if (verdict == Fail) {
        raster.fill(box.left, box.top, box.right, box.bottom, kFailBox);
        textColour = kFailText;
    } else if (verdict == Pass) {
        raster.fill(box.left, box.top, box.right, box.bottom, kPassBox);
        textColour = kPassText;
    } else {
        raster.fillHatch(box.left, box.top, box.right, box.bottom);
    }
    const QPoint at = verdictTextOrigin(v);
    fonts.get(verdictFontRequest(v))
        .draw(raster, TextAngle::Horizontal, at.x(), at.y(), VerdictText(verdict), textColour);
}

void drawPiece(Raster& raster, const GridPainter::Piece& piece, int slot, GdiFontCache& fonts)
{
    if (!piece.kind)
        return;
    const GdiRect& s = piece.shape;
    if (slot < kHatchSlot)
        drawBar(raster, s, piece.kind);
    else if (slot == kVerdictSlot)
        drawVerdict(raster, s, CellVerdict(piece.kind - 1), piece.kind == kNoVerdict, fonts);
    else if (piece.kind == kHatched)
        raster.hatchedRectangle(s.left, s.top, s.right, s.bottom, kGridPen);
    else
        raster.fill(s.left, s.top, s.right, s.bottom, piece.kind);
}

// The overall "PASS" needs a passing grid of several columns with at least one cell judged (a
// LOAD cell judges nothing).
bool showsOverallPass(const GridGeometry& g, const GridFrame& frame)
{
    if (frame.failCount != 0 || g.columns <= 1 || g.rows <= 0 || frame.emergencyStop)
        return false;
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            const auto& states = frame.cells[c][r].channelState;
            if (!frame.untested[c][r] && std::find(std::begin(states), std::end(states), Active) != std::end(states))
                return true;
        }
    }
    return false;
}

} // namespace grid_pieces
