#include "grid_painter.h"

#include "grid_pieces.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

using namespace grid_pieces;

namespace {

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
    if (retained) {
        // The image held the last picture: it changed only under both paints' top layers and
        // where the base layer changed.
        lastChange_.assign(drawnNext_.begin(), drawnNext_.end());
        lastChange_.insert(lastChange_.end(), changed_.begin(), changed_.end());
        lastChange_.insert(lastChange_.end(), drawn_.begin(), drawn_.end());
        lastChangeKnown_ = true;
    }

    retainedBits_ = image.constBits();
    retainedKey_ = image.cacheKey();
    retainedValid_ = true;
}

void GridPainter::paint(QImage& image, const GridFrame& frame)
{
    lastChangeKnown_ = false;
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
