// Fonts for metafile text: which installed family stands in for a Windows
// face, the character set conversions (ANSI code pages, the Symbol font's
// codes), turning glyph indices of a Latin TrueType face back into
// characters, and a per-picture cache of the raw fonts that draw the glyphs.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <map>
#include <tuple>

namespace emf {

// Windows character sets (lfCharSet).
enum : uint8_t {
    ANSI_CHARSET = 0,
    DEFAULT_CHARSET = 1,
    SYMBOL_CHARSET = 2,
    MAC_CHARSET = 77,
    SHIFTJIS_CHARSET = 128,
    HANGUL_CHARSET = 129,
    JOHAB_CHARSET = 130,
    GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136,
    GREEK_CHARSET = 161,
    TURKISH_CHARSET = 162,
    VIETNAMESE_CHARSET = 163,
    HEBREW_CHARSET = 177,
    ARABIC_CHARSET = 178,
    BALTIC_CHARSET = 186,
    RUSSIAN_CHARSET = 204,
    THAI_CHARSET = 222,
    EASTEUROPE_CHARSET = 238,
    OEM_CHARSET = 255,
};

// The installed family to draw a Windows face with: a table of the usual
// faces (metric-compatible substitutes where they exist), then the charset
// (CJK sets get a CJK family), then the pitch and family bits.
QString SubstituteFamily(const QString& face, uint8_t charset, uint8_t pitchAndFamily);

// Whether text in this face is in the Symbol font's encoding.
bool IsSymbolFace(const QString& face, uint8_t charset);
// The Unicode character for a code of the Symbol font (0x20..0xFF, or the
// same in the private-use range 0xF020..0xF0FF); other codes are returned
// unchanged.
char32_t SymbolToUnicode(char32_t code);

// The character a glyph index stands for in a Latin TrueType face of the
// Windows era, whose glyphs come in the standard Macintosh order (glyph 3
// is the space, 36 is 'A'); 0 for indices beyond that list or without a
// character.
char32_t MacGlyphToUnicode(uint32_t glyph);

// Decodes 8-bit text in the code page of a character set (ANSI: cp1252).
QString DecodeAnsi(const QByteArray& bytes, uint8_t charset);

// A logical font as a metafile describes it (LOGFONTW).
struct LogFont {
    int32_t height = 0;  // < 0: character height, > 0: cell height, logical units
    int32_t width = 0;
    int32_t escapement = 0;  // tenths of a degree, counter-clockwise
    int32_t orientation = 0;
    int32_t weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charset = 0;
    uint8_t pitchAndFamily = 0;
    QString face;
};

// Raw fonts by family, weight, slant and pixel size, and the fallback for
// characters the main font lacks. One cache per parse: Qt's font objects
// are not shared between threads.
class FontCache {
  public:
    // The raw font for a logical font at a pixel size (the em height).
    QRawFont Get(const LogFont& lf, qreal pixelSize);
    // The font and glyph that draw c when font lacks it; false when no
    // installed font has it.
    bool Fallback(const QRawFont& font, const LogFont& lf, char32_t c, QRawFont& outFont,
                  quint32& outGlyph);
    // The em size that gives a cell (ascent + descent) of cellHeight pixels.
    qreal EmForCell(const LogFont& lf, qreal cellHeight);

    // The installed family that draws the logical font's face.
    QString Family(const LogFont& lf);

  private:
    QFont MakeFont(const LogFont& lf);
    QHash<QString, QString> families_;
    using Key = std::tuple<QString, int, bool>;
    std::map<Key, QRawFont> base_;
    std::map<std::tuple<QString, int, bool, int64_t>, QRawFont> sized_;
    QHash<QString, QHash<char32_t, std::pair<QRawFont, quint32>>> fallback_;
    int fallbackSearches_ = 0;
    static constexpr size_t kSizesBeforeSnapping = 256;
    static constexpr int kMaxFallbackSearches = 4096;
};

}  // namespace emf
