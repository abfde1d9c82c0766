#pragma once
// GDI-style text on a Raster: a font asked for by cell height and average character width,
// drawn from a top-left reference point, horizontal or turned a quarter either way. Glyphs are
// rasterised once per font, character and quarter-pixel phase; a text is their masks laid into
// one mask, kept for the next time the same text comes: the grid draws thousands of short
// numbers per paint, mostly the same ones again.
// "Arial" is served by Liberation Sans (metric-compatible); the heavy face stands in for
// "Arial Black" with Liberation Sans Bold.
#include "grid_geometry.h"
#include "raster.h"

#include <QFont>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct GdiFontRequest {
    int height = 0; // > 0: cell height (ascent + descent); < 0: character height; 0: default size
    int width = 0;  // average character width; 0: the face's own proportions
    bool italic = false;
    bool heavy = false;
    auto operator<=>(const GdiFontRequest&) const = default;
};

enum class TextAngle { Horizontal, Up, Down }; // escapement 0, 900, 2700

QFont MakeGdiFont(const GdiFontRequest& request);

struct GlyphMask {
    int dx = 0; // offset of the mask's top-left pixel from the text origin
    int dy = 0;
    int w = 0;
    int h = 0;
    std::vector<std::uint8_t> alpha;
};

class GdiTextFont {
public:
    explicit GdiTextFont(const GdiFontRequest& request);

    double advance(char ch) const;

    void draw(Raster& raster, TextAngle angle, int x, int y, std::string_view str, QRgb colour);
    // Pixels that `str` touches when drawn at (x, y) (empty: all zero).
    GdiRect inkBounds(TextAngle angle, int x, int y, std::string_view str);
    // Pixels that any text of at most `maxChars` characters out of `charset` may touch.
    GdiRect inkBounds(TextAngle angle, int x, int y, std::string_view charset, int maxChars);

private:
    template <typename Visit> void layout(TextAngle angle, int x, int y, std::string_view text, Visit&& visit);
    const GlyphMask& glyph(char ch, int phase, TextAngle angle);
    GlyphMask render(char ch, int phase, TextAngle angle) const;
    const GlyphMask& textMask(TextAngle angle, std::string_view str);
    GlyphMask compose(TextAngle angle, std::string_view str);

    QFont font_;
    double ascent_ = 0;
    double cellHeight_ = 0;
    std::array<double, 128> advances_{};
    // Index: ((angle * 128) + char) * 4 + phase.
    std::vector<std::unique_ptr<GlyphMask>> masks_;
    // Texts of up to 8 characters are keyed by their bytes, longer ones by the string.
    std::unordered_map<std::uint64_t, GlyphMask> shortTexts_[3];
    std::unordered_map<std::string, GlyphMask> texts_[3];
};

// Fonts by request, kept between paints. A resize brings new sizes; the set is simply dropped when
// it grows large.
class GdiFontCache {
public:
    // References stay valid until the next trim() or clear().
    GdiTextFont& get(const GdiFontRequest& request);
    void trim();
    void clear() { fonts_.clear(); }

private:
    std::map<GdiFontRequest, std::unique_ptr<GdiTextFont>> fonts_;
};
