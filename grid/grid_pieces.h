#pragma once
// The grid picture's pieces: colours, the base layer's slots, and the drawing of each piece of a
// cell. Stateless; the painter decides what is drawn where and in which layer.
#include "gdi_text.h"
#include "grid_geometry.h"
#include "grid_painter.h"
#include "raster.h"

#include <QPoint>
#include <QRgb>

#include <cstdint>
#include <string_view>

namespace grid_pieces {


inline constexpr QRgb kWhite = qRgb(255, 255, 255);
inline constexpr QRgb kGridPen = qRgb(100, 100, 100);
inline constexpr QRgb kEmptyBackground = qRgb(100, 100, 100);
inline constexpr QRgb kZoneAbove = qRgb(255, 200, 200);
inline constexpr QRgb kZoneBelow = qRgb(255, 255, 200);
inline constexpr QRgb kZoneWithin = qRgb(200, 255, 200);
inline constexpr QRgb kValueBar = qRgb(150, 150, 255);
inline constexpr QRgb kMarkedBar = qRgb(100, 255, 100);
inline constexpr QRgb kDarkBar = qRgb(100, 100, 100); // its outline is the grid pen: the same colour
inline constexpr QRgb kReferenceMark = qRgb(255, 0, 0);
inline constexpr QRgb kStripAbove = qRgb(255, 200, 100);
inline constexpr QRgb kStripBelow = qRgb(255, 255, 100);
inline constexpr QRgb kStripWithin = qRgb(100, 255, 100);
inline constexpr QRgb kValueText = qRgb(255, 50, 50);
inline constexpr QRgb kDiffAbove = qRgb(255, 50, 50);
inline constexpr QRgb kDiffBelow = qRgb(255, 255, 50);
inline constexpr QRgb kDiffWithin = qRgb(50, 155, 50);
inline constexpr QRgb kChannelNumber = qRgb(50, 50, 150);
inline constexpr QRgb kSimilarityGood = qRgb(50, 150, 50);
inline constexpr QRgb kSimilarityBad = qRgb(250, 50, 50);
inline constexpr QRgb kFailBox = qRgb(255, 100, 100);
inline constexpr QRgb kFailText = qRgb(250, 250, 50);
inline constexpr QRgb kPassBox = qRgb(100, 255, 100);
inline constexpr QRgb kPassText = qRgb(50, 50, 250);
inline constexpr QRgb kLoadText = qRgb(150, 150, 150);
inline constexpr QRgb kOverallPass = qRgb(0, 255, 0);
inline constexpr QRgb kEmergencyStop = qRgb(255, 0, 0);
inline constexpr QRgb kUntestedArea = qRgb(225, 225, 225); // a cell no board measures

inline constexpr std::string_view kDigits = "0123456789";
inline constexpr std::string_view kSignedDigits = "-0123456789";
inline constexpr std::string_view kSimilarityChars = "0123456789.-+e%";

// Base layer pieces per cell: 32 bars, 32 hatched columns, 32 strip boxes, the verdict.
inline constexpr int kBarSlot = 0;
inline constexpr int kHatchSlot = GRID_CHANNELS;
inline constexpr int kStripSlot = 2 * GRID_CHANNELS;
inline constexpr int kVerdictSlot = 3 * GRID_CHANNELS;
inline constexpr int kPiecesPerCell = kVerdictSlot + 1;
inline constexpr std::uint32_t kHatched = 1;
inline constexpr std::uint32_t kNoVerdict = 4; // verdict piece of an untested cell; verdicts are 1..3

GdiFontRequest valueFontRequest(const GridGeometry& g);
GdiFontRequest stripFontRequest(const GdiRect& frame);
GdiFontRequest similarityFontRequest(const GridGeometry& g);
GdiFontRequest verdictFontRequest(const GdiRect& frame);
int lowerEdge(const GridGeometry& g, int r);
int valueTextX(const GridGeometry& g, const GdiRect& column);
int diffTextX(const GridGeometry& g, const GdiRect& column);
QPoint verdictTextOrigin(const GdiRect& v);
GdiRect verdictBox(const GdiRect& v);
QPoint similarityOrigin(const GridGeometry& g, int c, int r);
// Writes v in decimal; returns the number of characters.
int formatInt(char* out, int v);
GdiRect hatchColumn(const GridGeometry& g, int c, int r, int k);
GdiRect valueBar(const GridGeometry& g, const ColorBarCell& cell, int c, int r, int k);
QRgb barColour(const GridFrame& frame, const ColorBarCell& cell, int k);
QRgb stripColour(const ColorBarCell& cell, int k);
void drawFramePass(Raster& raster, const GridGeometry& g);
void drawZones(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, bool untested);
void drawBar(Raster& raster, const GdiRect& b, QRgb colour);
void drawMarks(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, bool underHatch);
void drawHatch(Raster& raster, const GridGeometry& g, int c, int r, int k);
void drawValues(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiTextFont& font);
void drawDiffs(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiTextFont& font);
void drawStripBox(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, int k, bool untested);
void drawStripLabel(Raster& raster, const GridGeometry& g, int c, int r, int k, GdiTextFont& font);
void drawSimilarity(Raster& raster, const GridGeometry& g, int c, int r, const ColorBarCell& cell, GdiFontCache& fonts);
void drawVerdict(Raster& raster, const GdiRect& v, CellVerdict verdict, bool untested, GdiFontCache& fonts);
void drawPiece(Raster& raster, const GridPainter::Piece& piece, int slot, GdiFontCache& fonts);
bool showsOverallPass(const GridGeometry& g, const GridFrame& frame);

} // namespace grid_pieces
