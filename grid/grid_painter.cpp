#include "grid_painter.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kGridPen = qRgb(100, 100, 100);
constexpr QRgb kEmptyBackground = qRgb(100, 100, 100);
constexpr QRgb kZoneAbove = qRgb(255, 200, 200);
constexpr QRgb kZoneBelow = qRgb(255, 255, 200);
constexpr QRgb kZoneWithin = qRgb(200, 255, 200);
constexpr QRgb kValueBar = qRgb(150, 150, 255);
constexpr QRgb kMarkedBar = qRgb(100, 255, 100);
constexpr QRgb kDarkBar = qRgb(100, 100, 100); // its outline is the grid pen: the same colour
constexpr QRgb kReferenceMark = qRgb(255, 0, 0);
constexpr QRgb kStripAbove = qRgb(255, 200, 100);
constexpr QRgb kStripBelow = qRgb(255, 255, 100);
constexpr QRgb kStripWithin = qRgb(100, 255, 100);
constexpr QRgb kValueText = qRgb(255, 50, 50);
constexpr QRgb kDiffAbove = qRgb(255, 50, 50);
constexpr QRgb kDiffBelow = qRgb(255, 255, 50);
constexpr QRgb kDiffWithin = qRgb(50, 155, 50);
constexpr QRgb kChannelNumber = qRgb(50, 50, 150);
constexpr QRgb kSimilarityGood = qRgb(50, 150, 50);
constexpr QRgb kSimilarityBad = qRgb(250, 50, 50);
constexpr QRgb kFailBox = qRgb(255, 100, 100);
constexpr QRgb kFailText = qRgb(250, 250, 50);
constexpr QRgb kPassBox = qRgb(100, 255, 100);
constexpr QRgb kPassText = qRgb(50, 50, 250);
constexpr QRgb kLoadText = qRgb(150, 150, 150);
constexpr QRgb kOverallPass = qRgb(0, 255, 0);
constexpr QRgb kEmergencyStop = qRgb(255, 0, 0);
constexpr QRgb kUntestedArea = qRgb(225, 225, 225); // a cell no board measures

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kSignedDigits = "-0123456789";
constexpr std::string_view kSimilarityChars = "0123456789.-+e%";

// Base layer pieces per cell: 32 bars, 32 hatched columns, 32 strip boxes, the verdict.
constexpr int kBarSlot = 0;
constexpr int kHatchSlot = GRID_CHANNELS;
constexpr int kStripSlot = 2 * GRID_CHANNELS;
constexpr int kVerdictSlot = 3 * GRID_CHANNELS;
constexpr int kPiecesPerCell = kVerdictSlot + 1;
constexpr std::uint32_t kHatched = 1;
constexpr std::uint32_t kNoVerdict = 4; // verdict piece of an untested cell; verdicts are 1..3

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

// Runs of pixels that are not white, one row each.
std::vector<GdiRect> InkRuns(const QImage& image)
{
    std::vector<GdiRect> ink;
    const int wc = image.width(), hc = image.height();
    for (int py = 0; py < hc; ++py) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(py));
        for (int px = 0; px < wc;) {
            if ((row[px] & 0xffffff) == 0xffffff) {
                ++px;
                continue;
            }
            const int start = px;
            while (px < wc && (row[px] & 0xffffff) != 0xffffff)
                ++px;
            ink.push_back({start, py, px, py + 1});
        }
    }
    return ink;
}

// A white picture of the client size with one word drawn by `draw`, and its ink.
template <typename Draw> PassPicture WordPicture(int wc, int hc, Draw draw)
{
    PassPicture word;
    word.image = QImage(std::max(wc, 0), std::max(hc, 0), QImage::Format_RGB32);
    if (word.image.isNull())
        return word;
    word.image.fill(kWhite);
    {
        QPainter p(&word.image);
        draw(p);
    }
    word.ink = InkRuns(word.image);
    return word;
}

} // namespace

PassPicture RenderPassPicture(int wc, int hc)
{
    return WordPicture(wc, hc, [&](QPainter& p) {
        const int fw = wc / 9; // wc / (length of "PASS" + 5)
        const int fh = hc / 5;
        const QFont font = MakeGdiFont({fh, fw, false, true});
        const int x = Trunc(wc - 4 * fw * 1.3) / 2;
        const int y = Trunc(hc - fh * 1.5) / 2;
        p.setFont(font);
        p.setPen(QColor(kOverallPass));
        p.drawText(QPointF(x, y + QFontMetricsF(font).ascent()), QStringLiteral("PASS"));
    });
}

PassPicture RenderStopPicture(int wc, int hc)
{
    return WordPicture(wc, hc, [&](QPainter& p) {
        const QString word = QCoreApplication::translate("CColorBar", "急停");
        QFont font;
        font.setBold(true);
        font.setPixelSize(std::max(hc / 5, 1));
        // As wide as PASS at most: a long translation gets a smaller face.
        const double room = wc * 0.6;
        const double wide = QFontMetricsF(font).horizontalAdvance(word);
        if (wide > room && wide > 0)
            font.setPixelSize(std::max(static_cast<int>(font.pixelSize() * room / wide), 1));
        const QFontMetricsF metrics(font);
        p.setFont(font);
        p.setPen(QColor(kEmergencyStop));
        p.drawText(QPointF((wc - metrics.horizontalAdvance(word)) / 2, (hc - metrics.height()) / 2 + metrics.ascent()),
                   word);
    });
}

void GridPainter::setCacheEnabled(bool on)
{
    cacheEnabled_ = on;
    if (!on) {
        staticKey_.clear();
        staticLayer_ = QImage();
        baseLayer_ = QImage();
        baseStore_ = {};
        baseValid_ = false;
        retainedValid_ = false;
        pass_ = PassPicture();
        stop_ = PassPicture();
        fonts_.clear();
    }
}

const PassPicture& GridPainter::passPicture(int wc, int hc)
{
    if (pass_.image.size() != QSize(wc, hc))
        pass_ = RenderPassPicture(wc, hc);
    return pass_;
}

const PassPicture& GridPainter::stopPicture(int wc, int hc)
{
    if (stop_.image.size() != QSize(wc, hc))
        stop_ = RenderStopPicture(wc, hc);
    return stop_;
}

const PassPicture* GridPainter::bigWord(const GridGeometry& g, const GridFrame& frame)
{
    if (frame.emergencyStop && g.columns > 0 && g.rows > 0) {
        if (!cacheEnabled_)
            stop_ = PassPicture();
        return &stopPicture(g.wc, g.hc);
    }
    if (showsOverallPass(g, frame)) {
        if (!cacheEnabled_)
            pass_ = PassPicture();
        return &passPicture(g.wc, g.hc);
    }
    return nullptr;
}

void GridPainter::paintInOrder(QImage& image, const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts)
{
    Raster raster(image);
    drawFramePass(raster, g);
    GdiTextFont& valueFont = fonts.get(valueFontRequest(g));
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            const ColorBarCell& cell = frame.cells[c][r];
            const bool untested = frame.untested[c][r];
            drawZones(raster, g, c, r, cell, untested);
            if (!untested) {
                if (GridGeometry::hasScale(cell))
                    for (int k = 0; k < GRID_CHANNELS; ++k)
                        drawBar(raster, valueBar(g, cell, c, r, k), barColour(frame, cell, k));
                drawMarks(raster, g, c, r, cell, false);
                for (int k = 0; k < GRID_CHANNELS; ++k)
                    if (cell.channelState[k] & 1)
                        drawHatch(raster, g, c, r, k);
                drawValues(raster, g, c, r, cell, valueFont);
                drawDiffs(raster, g, c, r, cell, valueFont);
            }
            GdiTextFont& stripFont = fonts.get(stripFontRequest(g.stripFrame(c, r)));
            for (int k = 0; k < GRID_CHANNELS; ++k) {
                drawStripBox(raster, g, c, r, cell, k, untested);
                drawStripLabel(raster, g, c, r, k, stripFont);
            }
            if (!untested)
                drawSimilarity(raster, g, c, r, cell, fonts);
        }
    }
    if (g.showVerdict)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c)
                drawVerdict(raster, g.verdictFrame(c, r), frame.verdicts[c][r], frame.untested[c][r], fonts);
    if (const PassPicture* word = bigWord(g, frame))
        raster.andWith(PixelSource(word->image), 0, 0, g.wc, g.hc);
}

void GridPainter::collectPieces(
    const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts, std::vector<Piece>& pieces, bool verdicts) const
{
    pieces.assign(std::size_t(g.columns * g.rows * kPiecesPerCell), Piece{});
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            const ColorBarCell& cell = frame.cells[c][r];
            Piece* p = &pieces[std::size_t((r * g.columns + c) * kPiecesPerCell)];
            if (frame.untested[c][r]) {
                for (int k = 0; k < GRID_CHANNELS; ++k) {
                    const GdiRect box = g.stripBox(c, r, k);
                    p[kStripSlot + k] = {box, box, kHatched};
                }
                if (g.showVerdict && verdicts) {
                    const GdiRect v = g.verdictFrame(c, r);
                    p[kVerdictSlot] = {v, verdictBox(v), kNoVerdict};
                }
                continue;
            }
            for (int k = 0; k < GRID_CHANNELS; ++k) {
                const GdiRect bar = valueBar(g, cell, c, r, k);
                // A bar of no height still counts: it may grow from there.
                if (GridGeometry::hasScale(cell) && (cell.channelState[k] == Active || cell.channelState[k] == Dark))
                    p[kBarSlot + k] = {bar, bar, barColour(frame, cell, k)};
                if (cell.channelState[k] & 1) {
                    const GdiRect h = hatchColumn(g, c, r, k);
                    p[kHatchSlot + k] = {h, h, kHatched};
                }
                const GdiRect box = g.stripBox(c, r, k);
                p[kStripSlot + k] = {box, box, cell.channelState[k] != Active ? kHatched : stripColour(cell, k)};
            }
            if (g.showVerdict && verdicts) {
                const GdiRect v = g.verdictFrame(c, r);
                const CellVerdict verdict = frame.verdicts[c][r];
                GdiRect area = verdictBox(v);
                const QPoint at = verdictTextOrigin(v);
                area.unite(fonts.get(verdictFontRequest(v))
                               .inkBounds(TextAngle::Horizontal, at.x(), at.y(), VerdictText(verdict)));
                p[kVerdictSlot] = {v, area, std::uint32_t(verdict) + 1};
            }
        }
    }
}

// Whether drawing the base pieces first and the rest over them gives the picture drawn in order:
// the pieces must not overlap one another, and nothing drawn on top may reach a piece or a limit
// zone that the order puts after it. Verdict boxes and texts that overlap their neighbours are
// left to be drawn on top, after everything else, which is where the order puts them.
GridPainter::Layering GridPainter::chooseLayering(
    const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts) const
{
    if (!(g.barH >= 0)) // rows too low for a bar area: pieces land anywhere
        return Layering::None;
    const int count = g.columns * g.rows;
    struct CellHulls {
        GdiRect bars, strip, verdict; // base pieces (bars also stands for the zones and hatching)
        GdiRect top[5];               // drawn on top: marks, values, differences, labels, similarity
    };
    std::vector<CellHulls> cells(static_cast<std::size_t>(count));
    GdiTextFont& valueFont = fonts.get(valueFontRequest(g));
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            CellHulls& h = cells[std::size_t(r * g.columns + c)];
            const ColorBarCell& cell = frame.cells[c][r];
            const int y0 = g.barTop(r), y1 = lowerEdge(g, r);
            GdiTextFont& stripFont = fonts.get(stripFontRequest(g.stripFrame(c, r)));
            GdiRect labels[GRID_CHANNELS];
            for (int k = 0; k < GRID_CHANNELS; ++k) {
                const GdiRect col = g.barColumn(c, r, k);
                const GdiRect bar = {g.valueBarLeft(c, k), y0, g.valueBarRight(c, k), y1};
                if (k + 1 < GRID_CHANNELS &&
                    (bar.right > g.valueBarLeft(c, k + 1) || bar.right > g.barColumn(c, r, k + 1).left))
                    return Layering::None;
                if (k > 0 && col.left < g.valueBarRight(c, k - 1))
                    return Layering::None;
                h.bars.unite(bar);
                h.bars.unite({col.left, y0, col.right, y1});
                h.strip.unite(g.stripBox(c, r, k));
                h.top[0].unite({col.left, y0 - 2, col.right, y1});
                if (k == 0 || k == GRID_CHANNELS - 1) {
                    h.top[1].unite(valueFont.inkBounds(TextAngle::Up, valueTextX(g, col), y1 - 1, kDigits, 5));
                    h.top[2].unite(valueFont.inkBounds(TextAngle::Down, diffTextX(g, col), y0 + 1, kSignedDigits, 6));
                }
                const GdiRect box = g.stripBox(c, r, k);
                const char label[2] = {char('0' + k / 10), char('0' + k % 10)};
                labels[k] = stripFont.inkBounds(TextAngle::Horizontal, box.left + 1, box.top - 1, {label, 2});
                h.top[3].unite(labels[k]);
            }
            // A channel's number is drawn before the next boxes of its strip.
            for (int k = 0; k < GRID_CHANNELS; ++k)
                for (int later = k + 1; later < GRID_CHANNELS; ++later)
                    if (labels[k].intersects(g.stripBox(c, r, later)))
                        return Layering::None;
            for (int t = 0; t < 3; ++t)
                if (h.top[t].intersects(h.strip))
                    return Layering::None;
            if (cell.similarityOn) {
                const QPoint at = similarityOrigin(g, c, r);
                h.top[4] = fonts.get(similarityFontRequest(g))
                               .inkBounds(TextAngle::Horizontal, at.x(), at.y(), kSimilarityChars, 12);
            }
            if (g.showVerdict) {
                const GdiRect v = g.verdictFrame(c, r);
                h.verdict = verdictBox(v);
                const QPoint at = verdictTextOrigin(v);
                GdiTextFont& font = fonts.get(verdictFontRequest(v));
                for (const CellVerdict verdict : {Pass, Fail, Load})
                    h.verdict.unite(font.inkBounds(TextAngle::Horizontal, at.x(), at.y(), VerdictText(verdict)));
            }
        }
    }
    std::vector<GdiRect> pieces;
    for (const CellHulls& h : cells)
        pieces.insert(pieces.end(), {h.bars, h.strip});
    for (std::size_t a = 0; a < pieces.size(); ++a)
        for (std::size_t b = a + 1; b < pieces.size(); ++b)
            if (pieces[a].intersects(pieces[b]))
                return Layering::None;
    for (int i = 0; i < count; ++i)
        for (const GdiRect& top : cells[std::size_t(i)].top)
            for (int j = i + 1; j < count; ++j)
                if (top.intersects(cells[std::size_t(j)].bars) || top.intersects(cells[std::size_t(j)].strip))
                    return Layering::None;

    for (int i = 0; i < count; ++i) {
        const GdiRect& verdict = cells[std::size_t(i)].verdict;
        for (const GdiRect& other : pieces)
            if (verdict.intersects(other))
                return Layering::VerdictsOnTop;
        for (int j = 0; j < count; ++j) {
            if (j != i && verdict.intersects(cells[std::size_t(j)].verdict))
                return Layering::VerdictsOnTop;
            for (const GdiRect& top : cells[std::size_t(j)].top)
                if (top.intersects(verdict))
                    return Layering::VerdictsOnTop;
        }
    }
    return Layering::VerdictsInBase;
}

void GridPainter::paintLayered(QImage& image, const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts)
{
    const bool verdictsOnTop = layering_ == Layering::VerdictsOnTop;
    collectPieces(g, frame, fonts, piecesNext_, !verdictsOnTop);
    bool retained = retainedValid_ && image.constBits() == retainedBits_ && image.cacheKey() == retainedKey_;
    Raster raster(image);

    // Rows are copied from the base layer into the image at every paint. Where both buffers sit at
    // nearly the same offset within 4 KiB pages, the processor holds loads back behind unrelated
    // stores (4K aliasing); the base layer is kept half a page away from the image.
    const quintptr pageOffset = (quintptr(image.constBits()) + 2048) & 4095;
    if (baseValid_ && (quintptr(baseLayer_.constBits()) & 4095) != pageOffset)
        baseValid_ = false;

    changed_.clear();
    if (!baseValid_ || pieces_.size() != piecesNext_.size()) {
        baseLayer_ = QImage();
        baseStore_.assign(std::size_t(staticLayer_.sizeInBytes()) + 4096, 0);
        const std::size_t skip = (pageOffset - (quintptr(baseStore_.data()) & 4095)) & 4095;
        baseLayer_ = QImage(baseStore_.data() + skip, staticLayer_.width(), staticLayer_.height(),
            staticLayer_.bytesPerLine(), QImage::Format_RGB32);
        std::memcpy(baseLayer_.bits(), staticLayer_.constBits(), std::size_t(staticLayer_.sizeInBytes()));
        Raster base(baseLayer_);
        for (std::size_t j = 0; j < piecesNext_.size(); ++j)
            drawPiece(base, piecesNext_[j], int(j % kPiecesPerCell), fonts);
        baseValid_ = true;
        retained = false;
    } else {
        // A bar that stays in its column only gains or loses rows at its top.
        const auto barMoved = [&](std::size_t j) {
            const Piece& o = pieces_[j];
            const Piece& n = piecesNext_[j];
            return int(j % kPiecesPerCell) < kHatchSlot && o.kind && o.kind == n.kind && o.shape.left == n.shape.left &&
                o.shape.right == n.shape.right && o.shape.bottom == n.shape.bottom;
        };
        // A channel's bar and hatched column share pixels (a channel has only one of them), so
        // every old piece is taken away before any new one is drawn.
        Raster base(baseLayer_);
        const PixelSource stat(staticLayer_);
        redraw_.clear();
        for (std::size_t j = 0; j < piecesNext_.size(); ++j) {
            if (pieces_[j] == piecesNext_[j])
                continue;
            redraw_.push_back(j);
            const GdiRect& o = pieces_[j].shape;
            const GdiRect& n = piecesNext_[j].shape;
            GdiRect away = pieces_[j].area;
            if (barMoved(j))
                away = {o.left, o.top, o.right, std::min(n.top, o.bottom)}; // empty when it grew
            if (!away.empty()) {
                base.copyFrom(stat, away.left, away.top, away.right, away.bottom);
                changed_.push_back(away);
            }
        }
        for (const std::size_t j : redraw_) {
            const Piece& now = piecesNext_[j];
            if (barMoved(j)) {
                const GdiRect gained = {now.shape.left, now.shape.top, now.shape.right, pieces_[j].shape.top};
                if (!gained.empty()) {
                    base.fill(gained.left, gained.top, gained.right, gained.bottom, now.kind);
                    changed_.push_back(gained);
                }
            } else {
                drawPiece(base, now, int(j % kPiecesPerCell), fonts);
                if (!now.area.empty())
                    changed_.push_back(now.area);
            }
        }
    }
    pieces_.swap(piecesNext_);

    // Many small pieces cost more than one copy of the whole layer.
    long long work = 0;
    for (const auto* list : {&drawn_, &changed_})
        for (const GdiRect& rect : *list)
            work += (16LL + rect.right - rect.left) * (rect.bottom - rect.top);
    if (retained && work < (long long)g.wc * g.hc) {
        const PixelSource base(baseLayer_);
        for (const auto* list : {&drawn_, &changed_})
            for (const GdiRect& rect : *list)
                raster.copyFrom(base, rect.left, rect.top, rect.right, rect.bottom);
    } else {
        std::memcpy(image.bits(), baseLayer_.constBits(), std::size_t(image.sizeInBytes()));
    }

    drawnNext_.clear();
    raster.setRecorder(&drawnNext_);
    GdiTextFont& valueFont = fonts.get(valueFontRequest(g));
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            const ColorBarCell& cell = frame.cells[c][r];
            const bool untested = frame.untested[c][r];
            if (!untested) {
                drawMarks(raster, g, c, r, cell, true);
                drawValues(raster, g, c, r, cell, valueFont);
                drawDiffs(raster, g, c, r, cell, valueFont);
            }
            GdiTextFont& stripFont = fonts.get(stripFontRequest(g.stripFrame(c, r)));
            for (int k = 0; k < GRID_CHANNELS; ++k)
                drawStripLabel(raster, g, c, r, k, stripFont);
            if (!untested)
                drawSimilarity(raster, g, c, r, cell, fonts);
        }
    }
    if (g.showVerdict && verdictsOnTop)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c)
                drawVerdict(raster, g.verdictFrame(c, r), frame.verdicts[c][r], frame.untested[c][r], fonts);
    if (const PassPicture* word = bigWord(g, frame)) {
        const PixelSource letters(word->image);
        for (const GdiRect& run : word->ink)
            raster.andWith(letters, run.left, run.top, run.right, run.bottom);
    }
    raster.setRecorder(nullptr);
    drawn_.swap(drawnNext_);

    retainedBits_ = image.constBits();
    retainedKey_ = image.cacheKey();
    retainedValid_ = true;
}

void GridPainter::paint(QImage& image, const GridFrame& frame)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return;
    const GridGeometry g(image.width(), image.height(), std::clamp(frame.columns, 0, GRID_MAX_COLUMNS),
        std::clamp(frame.rows, 0, GRID_MAX_ROWS), frame.showVerdict);

    GdiFontCache freshFonts;
    GdiFontCache& fonts = cacheEnabled_ ? fonts_ : freshFonts;
    fonts.trim();

    if (cacheEnabled_) {
        keyScratch_.clear();
        keyScratch_.insert(
            keyScratch_.end(), {double(g.wc), double(g.hc), double(g.columns), double(g.rows), double(g.showVerdict)});
        for (int r = 0; r < g.rows; ++r) {
            for (int c = 0; c < g.columns; ++c) {
                const ColorBarCell& cell = frame.cells[c][r];
                keyScratch_.insert(keyScratch_.end(),
                    {cell.rangeHigh, cell.rangeLow, double(cell.similarityOn), double(frame.untested[c][r])});
                for (int k = 0; k < GRID_CHANNELS; ++k)
                    keyScratch_.insert(keyScratch_.end(), {double(cell.upperLimit[k]), double(cell.lowerLimit[k])});
            }
        }
        if (keyScratch_ != staticKey_ || staticLayer_.size() != image.size()) {
            staticKey_.swap(keyScratch_);
            staticLayer_ = QImage(image.size(), QImage::Format_RGB32);
            Raster layer(staticLayer_);
            drawFramePass(layer, g);
            for (int r = 0; r < g.rows; ++r)
                for (int c = 0; c < g.columns; ++c)
                    drawZones(layer, g, c, r, frame.cells[c][r], frame.untested[c][r]);
            layering_ = chooseLayering(g, frame, fonts);
            baseValid_ = false;
            retainedValid_ = false;
        }
        if (layering_ != Layering::None && staticLayer_.bytesPerLine() == image.bytesPerLine()) {
            paintLayered(image, g, frame, fonts);
            return;
        }
    }
    retainedValid_ = false;
    paintInOrder(image, g, frame, fonts);
}
