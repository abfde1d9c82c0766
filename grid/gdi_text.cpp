#include "gdi_text.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPhases = 4;
constexpr char kPrintable[] = "0123456789-+.e%PASFILOD";

struct FaceMetrics {
    double cellPerEm = 1; // (ascent + descent) / em
    double averagePerEm = 0.5;
};

// GDI's average width of a TrueType face: lower-case letters and space weighted by frequency.
FaceMetrics measureFace(bool heavy)
{
    static constexpr int weights[27] = {
        64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56, 56, 17, 4, 49, 56, 71, 31, 10, 18, 3, 18, 2, 166};
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans")});
    font.setBold(heavy);
    font.setPixelSize(2048);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QRawFont raw = QRawFont::fromFont(font);
    FaceMetrics m;
    if (!raw.isValid() || raw.unitsPerEm() <= 0)
        return m;
    const qreal em = raw.pixelSize();
    m.cellPerEm = (raw.ascent() + raw.descent()) / em;
    const auto glyphs = raw.glyphIndexesForString(QStringLiteral("abcdefghijklmnopqrstuvwxyz "));
    const auto advances = raw.advancesForGlyphIndexes(glyphs);
    if (advances.size() == 27) {
        double sum = 0;
        for (int i = 0; i < 27; ++i)
            sum += advances[i].x() * weights[i];
        m.averagePerEm = sum / 1000.0 / em;
    }
    return m;
}

const FaceMetrics& faceMetrics(bool heavy)
{
    static const FaceMetrics regular = measureFace(false);
    static const FaceMetrics bold = measureFace(true);
    return heavy ? bold : regular;
}

// A zero height asks for the face's default size; this cell height stands in for it.
constexpr int kDefaultCellHeight = 16;

} // namespace

QFont MakeGdiFont(const GdiFontRequest& request)
{
    const FaceMetrics& face = faceMetrics(request.heavy);
    int pixelSize;
    if (request.height < 0)
        pixelSize = -request.height;
    else
        pixelSize = int(std::lround((request.height ? request.height : kDefaultCellHeight) / face.cellPerEm));
    pixelSize = std::max(pixelSize, 1);

    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(request.heavy);
    font.setItalic(request.italic);
    font.setKerning(false); // GDI's plain text output does not kern
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoFontMerging));
    if (request.width > 0) {
        const double natural = face.averagePerEm * pixelSize;
        const long stretch = std::lround(100.0 * request.width / natural);
        font.setStretch(int(std::clamp(stretch, 1L, 4000L)));
    }
    return font;
}

GdiTextFont::GdiTextFont(const GdiFontRequest& request) : font_(MakeGdiFont(request)), masks_(3 * 128 * kPhases)
{
    const QFontMetricsF fm(font_);
    ascent_ = fm.ascent();
    cellHeight_ = fm.ascent() + fm.descent();
    for (const char* p = kPrintable; *p; ++p)
        advances_[std::size_t(*p)] = fm.horizontalAdvance(QLatin1Char(*p));
}

double GdiTextFont::advance(char ch) const
{
    const auto i = static_cast<unsigned char>(ch);
    return i < 128 ? advances_[i] : 0.0;
}

const GlyphMask& GdiTextFont::glyph(char ch, int phase, TextAngle angle)
{
    const auto i = (std::size_t(angle) * 128 + (static_cast<unsigned char>(ch) & 127)) * kPhases + std::size_t(phase);
    if (!masks_[i])
        masks_[i] = std::make_unique<GlyphMask>(render(ch, phase, angle));
    return *masks_[i];
}

GlyphMask GdiTextFont::render(char ch, int phase, TextAngle angle) const
{
    // Room for overhangs on every side of the glyph's cell.
    const int pad = 4 + int(cellHeight_ / 4);
    const int iw = int(std::ceil(advance(ch))) + 2 * pad;
    const int ih = int(std::ceil(cellHeight_)) + 2 * pad;
    QImage canvas(iw, ih, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        p.setFont(font_);
        p.setPen(Qt::white);
        p.drawText(QPointF(pad + double(phase) / kPhases, pad + ascent_), QString(QLatin1Char(ch)));
    }
    int x0 = iw, y0 = ih, x1 = -1, y1 = -1;
    for (int y = 0; y < ih; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < iw; ++x) {
            if (qAlpha(row[x])) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    GlyphMask m;
    if (x1 < 0)
        return m;
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    const int ox = x0 - pad, oy = y0 - pad;
    auto at = [&](int i, int j) {
        return std::uint8_t(qAlpha(reinterpret_cast<const QRgb*>(canvas.constScanLine(y0 + j))[x0 + i]));
    };
    m.alpha.resize(std::size_t(w) * std::size_t(h));
    switch (angle) {
    case TextAngle::Horizontal:
        m.w = w;
        m.h = h;
        m.dx = ox;
        m.dy = oy;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                m.alpha[std::size_t(j * w + i)] = at(i, j);
        break;
    case TextAngle::Up: // local (u, v) lands on pixel (x + v, y - u - 1)
        m.w = h;
        m.h = w;
        m.dx = oy;
        m.dy = -ox - w;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                m.alpha[std::size_t((w - 1 - i) * m.w + j)] = at(i, j);
        break;
    case TextAngle::Down: // local (u, v) lands on pixel (x - v - 1, y + u)
        m.w = h;
        m.h = w;
        m.dx = -oy - h;
        m.dy = ox;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                m.alpha[std::size_t(i * m.w + (h - 1 - j))] = at(i, j);
        break;
    }
    return m;
}

template <typename Visit> void GdiTextFont::layout(TextAngle angle, int x, int y, std::string_view text, Visit&& visit)
{
    double pen = 0;
    for (const char ch : text) {
        const double whole = std::floor(pen);
        int ip = int(whole);
        int phase = int(std::lround((pen - whole) * kPhases));
        if (phase == kPhases) {
            ++ip;
            phase = 0;
        }
        const GlyphMask& m = glyph(ch, phase, angle);
        if (m.w > 0) {
            int gx = x + m.dx, gy = y + m.dy;
            if (angle == TextAngle::Horizontal)
                gx += ip;
            else if (angle == TextAngle::Up)
                gy -= ip;
            else
                gy += ip;
            visit(gx, gy, m);
        }
        pen += advance(ch);
    }
}

const GlyphMask& GdiTextFont::textMask(TextAngle angle, std::string_view str)
{
    if (str.size() <= 8) {
        std::uint64_t key = 0;
        for (const char ch : str)
            key = key << 8 | static_cast<unsigned char>(ch);
        auto& cache = shortTexts_[int(angle)];
        const auto found = cache.find(key);
        if (found != cache.end())
            return found->second;
        if (cache.size() >= 4096)
            cache.clear();
        return cache.emplace(key, compose(angle, str)).first->second;
    }
    auto& cache = texts_[int(angle)];
    const auto found = cache.find(std::string(str));
    if (found != cache.end())
        return found->second;
    if (cache.size() >= 256)
        cache.clear();
    return cache.emplace(std::string(str), compose(angle, str)).first->second;
}

GlyphMask GdiTextFont::compose(TextAngle angle, std::string_view str)
{
    GdiRect hull;
    layout(angle, 0, 0, str, [&](int gx, int gy, const GlyphMask& m) { hull.unite({gx, gy, gx + m.w, gy + m.h}); });
    GlyphMask combined;
    combined.dx = hull.left;
    combined.dy = hull.top;
    combined.w = hull.right - hull.left;
    combined.h = hull.bottom - hull.top;
    combined.alpha.assign(std::size_t(combined.w) * std::size_t(combined.h), 0);
    // Where glyphs overlap, the coverage adds up as if each were laid over the other.
    layout(angle, 0, 0, str, [&](int gx, int gy, const GlyphMask& m) {
        for (int j = 0; j < m.h; ++j) {
            std::uint8_t* out = &combined.alpha[std::size_t((gy - hull.top + j) * combined.w + (gx - hull.left))];
            const std::uint8_t* in = &m.alpha[std::size_t(j * m.w)];
            for (int i = 0; i < m.w; ++i) {
                const unsigned t = in[i] * 255u + out[i] * (255u - in[i]) + 127u;
                out[i] = std::uint8_t((t + (t >> 8)) >> 8);
            }
        }
    });
    return combined;
}

void GdiTextFont::draw(Raster& raster, TextAngle angle, int x, int y, std::string_view str, QRgb colour)
{
    const GlyphMask& m = textMask(angle, str);
    if (m.w > 0)
        raster.blend(x + m.dx, y + m.dy, m.w, m.h, m.alpha.data(), colour);
}

GdiRect GdiTextFont::inkBounds(TextAngle angle, int x, int y, std::string_view str)
{
    const GlyphMask& m = textMask(angle, str);
    if (m.w <= 0)
        return {};
    return {x + m.dx, y + m.dy, x + m.dx + m.w, y + m.dy + m.h};
}

GdiRect GdiTextFont::inkBounds(TextAngle angle, int x, int y, std::string_view charset, int maxChars)
{
    // A glyph lands anywhere from pen 0 to the furthest pen of the last character; its mask moves
    // along the text direction only, so both ends bound every place in between.
    double widest = 0;
    for (const char ch : charset)
        widest = std::max(widest, advance(ch));
    const int furthest = int(std::ceil(std::max(maxChars - 1, 0) * widest)) + 1;
    GdiRect r;
    for (const char ch : charset) {
        for (int phase = 0; phase < kPhases; ++phase) {
            const GlyphMask& m = glyph(ch, phase, angle);
            if (m.w == 0)
                continue;
            for (const int ip : {0, furthest}) {
                int gx = x + m.dx, gy = y + m.dy;
                if (angle == TextAngle::Horizontal)
                    gx += ip;
                else if (angle == TextAngle::Up)
                    gy -= ip;
                else
                    gy += ip;
                r.unite({gx, gy, gx + m.w, gy + m.h});
            }
        }
    }
    return r;
}

GdiTextFont& GdiFontCache::get(const GdiFontRequest& request)
{
    auto it = fonts_.find(request);
    if (it != fonts_.end())
        return *it->second;
    return *fonts_.emplace(request, std::make_unique<GdiTextFont>(request)).first->second;
}

void GdiFontCache::trim()
{
    if (fonts_.size() > 48)
        fonts_.clear();
}
