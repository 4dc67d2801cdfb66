#include "platform/emf/fonts.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QStringDecoder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace emf {

namespace {

struct Substitute {
    const char* face;  // lower case
    const char* family;
};

// Faces Windows documents commonly name, and what stands in for them here:
// the metric-compatible Liberation, Carlito and Caladea faces where they
// exist, otherwise the closest installed look. Text is placed glyph by glyph
// from the metafile's advances, so a substitute only has to look alike.
constexpr Substitute kSubstitutes[] = {
    {"arial", "Liberation Sans"},
    {"arial narrow", "Liberation Sans Narrow"},
    {"arial black", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"tahoma", "Liberation Sans"},
    {"verdana", "DejaVu Sans"},
    {"segoe ui", "Liberation Sans"},
    {"segoe ui light", "Liberation Sans"},
    {"segoe ui semibold", "Liberation Sans"},
    {"microsoft sans serif", "Liberation Sans"},
    {"ms sans serif", "Liberation Sans"},
    {"ms shell dlg", "Liberation Sans"},
    {"ms shell dlg 2", "Liberation Sans"},
    {"system", "Liberation Sans"},
    {"small fonts", "Liberation Sans"},
    {"trebuchet ms", "Liberation Sans"},
    {"century gothic", "URW Gothic"},
    {"franklin gothic medium", "Liberation Sans"},
    {"lucida sans unicode", "DejaVu Sans"},
    {"times new roman", "Liberation Serif"},
    {"times", "Liberation Serif"},
    {"ms serif", "Liberation Serif"},
    {"georgia", "Liberation Serif"},
    {"garamond", "Liberation Serif"},
    {"book antiqua", "P052"},
    {"palatino linotype", "P052"},
    {"bookman old style", "URW Bookman"},
    {"century schoolbook", "C059"},
    {"cambria", "Caladea"},
    {"cambria math", "Caladea"},
    {"calibri", "Carlito"},
    {"calibri light", "Carlito"},
    {"courier new", "Liberation Mono"},
    {"courier", "Liberation Mono"},
    {"consolas", "Liberation Mono"},
    {"lucida console", "Liberation Mono"},
    {"fixedsys", "Liberation Mono"},
    {"terminal", "Liberation Mono"},
    {"symbol", "Liberation Serif"},  // its codes are turned into Unicode first
    // CJK faces, by their English and their own names.
    {"ms mincho", "Noto Serif CJK JP"},
    {"ms pmincho", "Noto Serif CJK JP"},
    {"\uff2d\uff33 \u660e\u671d", "Noto Serif CJK JP"},
    {"\uff2d\uff33 \uff30\u660e\u671d", "Noto Serif CJK JP"},
    {"ms gothic", "Noto Sans CJK JP"},
    {"ms pgothic", "Noto Sans CJK JP"},
    {"ms ui gothic", "Noto Sans CJK JP"},
    {"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af", "Noto Sans CJK JP"},
    {"\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af", "Noto Sans CJK JP"},
    {"meiryo", "Noto Sans CJK JP"},
    {"meiryo ui", "Noto Sans CJK JP"},
    {"yu gothic", "Noto Sans CJK JP"},
    {"simsun", "Noto Serif CJK SC"},
    {"nsimsun", "Noto Serif CJK SC"},
    {"\u5b8b\u4f53", "Noto Serif CJK SC"},
    {"simhei", "Noto Sans CJK SC"},
    {"\u9ed1\u4f53", "Noto Sans CJK SC"},
    {"microsoft yahei", "Noto Sans CJK SC"},
    {"\u5fae\u8f6f\u96c5\u9ed1", "Noto Sans CJK SC"},
    {"mingliu", "Noto Serif CJK TC"},
    {"pmingliu", "Noto Serif CJK TC"},
    {"\u65b0\u7d30\u660e\u9ad4", "Noto Serif CJK TC"},
    {"\u7d30\u660e\u9ad4", "Noto Serif CJK TC"},
    {"microsoft jhenghei", "Noto Sans CJK TC"},
    {"batang", "Noto Serif CJK KR"},
    {"\ubc14\ud0d5", "Noto Serif CJK KR"},
    {"gulim", "Noto Sans CJK KR"},
    {"\uad74\ub9bc", "Noto Sans CJK KR"},
    {"dotum", "Noto Sans CJK KR"},
    {"\ub3cb\uc6c0", "Noto Sans CJK KR"},
    {"malgun gothic", "Noto Sans CJK KR"},
};

// The Symbol font's codes 0x20..0xFF as Unicode (0: no character).
constexpr char16_t kSymbol[224] = {
    // 0x20
    0x0020,
    0x0021,
    0x2200,
    0x0023,
    0x2203,
    0x0025,
    0x0026,
    0x220B,
    0x0028,
    0x0029,
    0x2217,
    0x002B,
    0x002C,
    0x2212,
    0x002E,
    0x002F,
    // 0x30
    0x0030,
    0x0031,
    0x0032,
    0x0033,
    0x0034,
    0x0035,
    0x0036,
    0x0037,
    0x0038,
    0x0039,
    0x003A,
    0x003B,
    0x003C,
    0x003D,
    0x003E,
    0x003F,
    // 0x40
    0x2245,
    0x0391,
    0x0392,
    0x03A7,
    0x0394,
    0x0395,
    0x03A6,
    0x0393,
    0x0397,
    0x0399,
    0x03D1,
    0x039A,
    0x039B,
    0x039C,
    0x039D,
    0x039F,
    // 0x50
    0x03A0,
    0x0398,
    0x03A1,
    0x03A3,
    0x03A4,
    0x03A5,
    0x03C2,
    0x03A9,
    0x039E,
    0x03A8,
    0x0396,
    0x005B,
    0x2234,
    0x005D,
    0x22A5,
    0x005F,
    // 0x60
    0x203E,
    0x03B1,
    0x03B2,
    0x03C7,
    0x03B4,
    0x03B5,
    0x03C6,
    0x03B3,
    0x03B7,
    0x03B9,
    0x03D5,
    0x03BA,
    0x03BB,
    0x03BC,
    0x03BD,
    0x03BF,
    // 0x70
    0x03C0,
    0x03B8,
    0x03C1,
    0x03C3,
    0x03C4,
    0x03C5,
    0x03D6,
    0x03C9,
    0x03BE,
    0x03C8,
    0x03B6,
    0x007B,
    0x007C,
    0x007D,
    0x223C,
    0x0000,
    // 0x80..0x9F: no characters
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    // 0xA0
    0x20AC,
    0x03D2,
    0x2032,
    0x2264,
    0x2044,
    0x221E,
    0x0192,
    0x2663,
    0x2666,
    0x2665,
    0x2660,
    0x2194,
    0x2190,
    0x2191,
    0x2192,
    0x2193,
    // 0xB0
    0x00B0,
    0x00B1,
    0x2033,
    0x2265,
    0x00D7,
    0x221D,
    0x2202,
    0x2022,
    0x00F7,
    0x2260,
    0x2261,
    0x2248,
    0x2026,
    0x23D0,
    0x23AF,
    0x21B5,
    // 0xC0
    0x2135,
    0x2111,
    0x211C,
    0x2118,
    0x2297,
    0x2295,
    0x2205,
    0x2229,
    0x222A,
    0x2283,
    0x2287,
    0x2284,
    0x2282,
    0x2286,
    0x2208,
    0x2209,
    // 0xD0
    0x2220,
    0x2207,
    0x00AE,
    0x00A9,
    0x2122,
    0x220F,
    0x221A,
    0x22C5,
    0x00AC,
    0x2227,
    0x2228,
    0x21D4,
    0x21D0,
    0x21D1,
    0x21D2,
    0x21D3,
    // 0xE0
    0x25CA,
    0x2329,
    0x00AE,
    0x00A9,
    0x2122,
    0x2211,
    0x239B,
    0x239C,
    0x239D,
    0x23A1,
    0x23A2,
    0x23A3,
    0x23A7,
    0x23A8,
    0x23A9,
    0x23AA,
    // 0xF0
    0x0000,
    0x232A,
    0x222B,
    0x2320,
    0x23AE,
    0x2321,
    0x239E,
    0x239F,
    0x23A0,
    0x23A4,
    0x23A5,
    0x23A6,
    0x23AB,
    0x23AC,
    0x23AD,
    0x0000,
};

// The standard Macintosh glyph order from glyph 98 on (glyphs 3..97 are the
// printable ASCII characters in order; 0..2 have none).
constexpr char16_t kMacGlyphs[258 - 98] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2,  // 98
    0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC,  // 108
    0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9,  // 118
    0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // 128
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1,  // 138
    0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,  // 148
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248,  // 158
    0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // 168
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178,  // 178
    0x2044, 0x00A4, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E,  // 188
    0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC,  // 198
    0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // 208
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, 0x0141, 0x0142,  // 218
    0x0160, 0x0161, 0x017D, 0x017E, 0x00A6, 0x00D0, 0x00F0, 0x00DD, 0x00FD, 0x00DE,  // 228
    0x00FE, 0x2212, 0x00D7, 0x00B9, 0x00B2, 0x00B3, 0x00BD, 0x00BC, 0x00BE, 0x20A3,  // 238
    0x011E, 0x011F, 0x0130, 0x015E, 0x015F, 0x0106, 0x0107, 0x010C, 0x010D, 0x0111,  // 248
};

const char* CodePage(uint8_t charset) {
    switch (charset) {
        case SHIFTJIS_CHARSET:
            return "Shift_JIS";
        case HANGUL_CHARSET:
            return "windows-949";
        case JOHAB_CHARSET:
            return "x-Johab";
        case GB2312_CHARSET:
            return "GBK";
        case CHINESEBIG5_CHARSET:
            return "Big5";
        case GREEK_CHARSET:
            return "windows-1253";
        case TURKISH_CHARSET:
            return "windows-1254";
        case VIETNAMESE_CHARSET:
            return "windows-1258";
        case HEBREW_CHARSET:
            return "windows-1255";
        case ARABIC_CHARSET:
            return "windows-1256";
        case BALTIC_CHARSET:
            return "windows-1257";
        case RUSSIAN_CHARSET:
            return "windows-1251";
        case THAI_CHARSET:
            return "windows-874";
        case EASTEUROPE_CHARSET:
            return "windows-1250";
        case MAC_CHARSET:
            return "macintosh";
        case OEM_CHARSET:
            return "IBM437";
        default:
            return "windows-1252";
    }
}

}  // namespace

QString SubstituteFamily(const QString& face, uint8_t charset, uint8_t pitchAndFamily) {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        for (const Substitute& s : kSubstitutes)
            t.insert(QString::fromUtf8(s.face).toLower(), QString::fromUtf8(s.family));
        return t;
    }();
    QString key = face.trimmed().toLower();
    if (key.startsWith(QLatin1Char('@'))) key.remove(0, 1);  // vertical-writing variants
    auto found = table.constFind(key);
    if (found != table.constEnd()) return *found;
    switch (charset) {
        case SHIFTJIS_CHARSET:
            return QStringLiteral("Noto Sans CJK JP");
        case HANGUL_CHARSET:
        case JOHAB_CHARSET:
            return QStringLiteral("Noto Sans CJK KR");
        case GB2312_CHARSET:
            return QStringLiteral("Noto Sans CJK SC");
        case CHINESEBIG5_CHARSET:
            return QStringLiteral("Noto Sans CJK TC");
        default:
            break;
    }
    // An installed face of that very name is the best match.
    if (!key.isEmpty() && QFontDatabase::hasFamily(face.trimmed())) return face.trimmed();
    const int family = pitchAndFamily & 0xF0;
    const int pitch = pitchAndFamily & 0x3;
    if (family == 0x30 || pitch == 1) return QStringLiteral("Liberation Mono");
    if (family == 0x10) return QStringLiteral("Liberation Serif");
    return QStringLiteral("Liberation Sans");
}

bool IsSymbolFace(const QString& face, uint8_t charset) {
    return face.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0;
}

char32_t SymbolToUnicode(char32_t code) {
    char32_t c = code;
    if (c >= 0xF020 && c <= 0xF0FF) c -= 0xF000;
    if (c >= 0x20 && c <= 0xFF) {
        char16_t u = kSymbol[c - 0x20];
        return u ? char32_t(u) : code;
    }
    return code;
}

char32_t MacGlyphToUnicode(uint32_t glyph) {
    if (glyph >= 3 && glyph <= 97) return char32_t(glyph + 29);
    if (glyph >= 98 && glyph < 258) return kMacGlyphs[glyph - 98];
    return 0;
}

QString DecodeAnsi(const QByteArray& bytes, uint8_t charset) {
    QStringDecoder decoder(CodePage(charset));
    if (!decoder.isValid()) decoder = QStringDecoder("windows-1252");
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QString FontCache::Family(const LogFont& lf) {
    const QString key = lf.face + QChar(0) + QChar(lf.charset) + QChar(lf.pitchAndFamily);
    auto it = families_.constFind(key);
    if (it != families_.constEnd()) return *it;
    QString family = SubstituteFamily(lf.face, lf.charset, lf.pitchAndFamily);
    families_.insert(key, family);
    return family;
}

QFont FontCache::MakeFont(const LogFont& lf) {
    QFont f(Family(lf));
    int weight = lf.weight <= 0 ? 400 : std::clamp(lf.weight, 100, 900);
    f.setWeight(QFont::Weight(weight));
    f.setItalic(lf.italic);
    f.setPixelSize(64);
    f.setKerning(false);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QRawFont FontCache::Get(const LogFont& lf, qreal pixelSize) {
    const QString family = Family(lf);
    const int weight = lf.weight <= 0 ? 400 : std::clamp(lf.weight, 100, 900);
    Key key{family, weight, lf.italic};
    auto it = base_.find(key);
    if (it == base_.end()) it = base_.emplace(key, QRawFont::fromFont(MakeFont(lf))).first;
    // Sizes are kept to 1/64 pixel. Each size is a font engine of its own:
    // once a picture has asked for many, further sizes snap to steps of 5%
    // so that no picture can make an engine for every size there is.
    int64_t q = std::llround(pixelSize * 64.0);
    if (sized_.size() >= kSizesBeforeSnapping && pixelSize > 0)
        q = std::llround(64.0 * std::pow(1.05, std::round(std::log(pixelSize) / std::log(1.05))));
    auto sizedKey = std::make_tuple(family, weight, lf.italic, q);
    auto s = sized_.find(sizedKey);
    if (s != sized_.end()) return s->second;
    QRawFont raw = it->second;
    if (raw.isValid()) raw.setPixelSize(q / 64.0);
    // Sizes the font engine cannot make leave the raw font without an
    // engine; such a font must not reach a painter.
    if (!raw.isValid()) raw = QRawFont();
    sized_.emplace(sizedKey, raw);
    return raw;
}

bool FontCache::Fallback(const QRawFont& font, const LogFont& lf, char32_t c, QRawFont& outFont,
                         quint32& outGlyph) {
    const QString family = Family(lf);
    auto& perFamily = fallback_[family];
    auto it = perFamily.find(c);
    if (it == perFamily.end()) {
        // Looking a character up in every installed font is slow; a picture
        // gets a bounded number of such searches.
        if (fallbackSearches_ >= kMaxFallbackSearches) return false;
        ++fallbackSearches_;
        std::pair<QRawFont, quint32> found{QRawFont(), 0};
        QTextLayout layout(QString::fromUcs4(&c, 1), MakeFont(lf));
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (!runs.isEmpty() && !runs.first().glyphIndexes().isEmpty() &&
            runs.first().glyphIndexes().first() != 0)
            found = {runs.first().rawFont(), runs.first().glyphIndexes().first()};
        it = perFamily.insert(c, found);
    }
    if (!it->first.isValid()) return false;
    outFont = it->first;
    outFont.setPixelSize(font.pixelSize());
    outGlyph = it->second;
    return outFont.isValid();
}

qreal FontCache::EmForCell(const LogFont& lf, qreal cellHeight) {
    QRawFont f = Get(lf, 64);
    const qreal cell = f.isValid() ? f.ascent() + f.descent() : 0;
    if (cell <= 0) return cellHeight;
    return cellHeight * 64.0 / cell;
}

}  // namespace emf
