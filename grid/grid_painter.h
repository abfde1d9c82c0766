#pragma once
// Draws one picture of the grid from a snapshot of its model; decides nothing and changes no
// model state. Usable on any Format_RGB32 image without a window.
//
// The grid is repainted up to 100 times a second and little changes between two pictures, so
// with the cache on the picture is built from layers:
// - the static layer: background, grid lines, frames and limit zones; rebuilt only when the size,
//   the grid, the verdict row switch or a cell's limits, range, similarity switch or tested flag
//   change;
// - the base layer: the static layer plus the opaque pieces that follow the data (value bars,
//   hatched columns, strip boxes, verdict boxes with their texts); each piece is redrawn only
//   when it changes, a bar only over the rows it gained or lost;
// - on top, drawn at every paint: reference marks, the numbers and the similarity text, then
//   the overall "PASS" by AND. Where verdict texts are wider than their cells (they then overlap
//   the neighbours' boxes), the verdict row is drawn on top as well, in its order.
// When the caller hands back the image of the last paint untouched, only what changed in the
// base layer and what the last paint drew on top are copied back before drawing.
// The layers give the same picture as drawing everything in order only where those pieces do
// not overlap in ways the order would settle differently; sizes where they would (tiny or very
// flat cells) are drawn in order. With the cache off everything is drawn anew in order; both
// give the same pixels.
#include "gdi_text.h"
#include "grid_geometry.h"
#include "grid_model.h"

#include <QImage>

#include <vector>

struct GridFrame {
    int columns = 0;
    int rows = 0;
    bool showVerdict = true;
    int fpcTestMode = 0;
    int failCount = 0;
    bool emergencyStop = false; // the big word reads "急停" in place of PASS
    // Indexed [column][row]; only cells inside columns x rows are read. hitMark is as it was
    // before this paint; similarity is this paint's coefficient.
    ColorBarCell cells[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    CellVerdict verdicts[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
    // Cells that no board measures: drawn in a neutral look, with no verdict; the overall "PASS"
    // needs at least one cell that is not.
    bool untested[GRID_MAX_COLUMNS][GRID_MAX_ROWS] = {};
};

// The overall "PASS" picture: white, with the word in (0,255,0). `ink` lists the runs of pixels
// that are not white, one row each.
struct PassPicture {
    QImage image;
    std::vector<GdiRect> ink;
};
PassPicture RenderPassPicture(int wc, int hc);
// The emergency stop's word in the same place, red, in the interface's language.
PassPicture RenderStopPicture(int wc, int hc);

class GridPainter {
public:
    void setCacheEnabled(bool on);
    bool cacheEnabled() const { return cacheEnabled_; }

    // The image's size is the client size. Its format must be Format_RGB32.
    void paint(QImage& image, const GridFrame& frame);
    // Where the last paint changed its image against the picture the image held before, as
    // rectangles that may overlap; null when it may have changed anywhere.
    const std::vector<GdiRect>* lastChange() const { return lastChangeKnown_ ? &lastChange_ : nullptr; }

    // A piece of the base layer.
    struct Piece {
        GdiRect shape;          // bar, column, box or verdict frame
        GdiRect area;           // every pixel it writes
        std::uint32_t kind = 0; // 0: absent; else what is drawn (a colour, a verdict ...)
        bool operator==(const Piece&) const = default;
    };

private:
    void paintInOrder(QImage& image, const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts);
    void paintLayered(QImage& image, const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts);
    void collectPieces(const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts, std::vector<Piece>& pieces,
        bool verdicts) const;
    enum class Layering { None, VerdictsInBase, VerdictsOnTop };
    Layering chooseLayering(const GridGeometry& g, const GridFrame& frame, GdiFontCache& fonts) const;
    const PassPicture& passPicture(int wc, int hc);
    const PassPicture& stopPicture(int wc, int hc);
    // The big word over the grid, if any: PASS or the emergency stop's.
    const PassPicture* bigWord(const GridGeometry& g, const GridFrame& frame);

    bool cacheEnabled_ = true;
    GdiFontCache fonts_;

    std::vector<double> staticKey_, keyScratch_;
    QImage staticLayer_;
    Layering layering_ = Layering::None;

    std::vector<uchar> baseStore_; // the base layer's pixels, half a page away from the image
    QImage baseLayer_;
    bool baseValid_ = false;
    std::vector<Piece> pieces_, piecesNext_;
    std::vector<std::size_t> redraw_;

    PassPicture pass_;
    PassPicture stop_;

    // The image of the last layered paint and what that paint drew over the base layer.
    const uchar* retainedBits_ = nullptr;
    qint64 retainedKey_ = 0;
    bool retainedValid_ = false;
    std::vector<GdiRect> drawn_, drawnNext_, changed_;
    std::vector<GdiRect> lastChange_;
    bool lastChangeKnown_ = false;
};
