// Text records: EXTTEXTOUTW/A, POLYTEXTOUTW/A and SMALLTEXTOUT become text
// runs whose glyphs sit exactly where the metafile's advance arrays put
// them, drawn with installed substitutes of the Windows faces.
#include "platform/emf/interpreter.h"

#include <QStringDecoder>
#include <cmath>

namespace emf {

namespace {

void AppendUcs4(QString& s, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        s += QChar(QChar::highSurrogate(c));
        s += QChar(QChar::lowSurrogate(c));
    } else {
        s += QChar(char16_t(c));
    }
}

bool IsBlank(char32_t c) {
    return c == 0x20 || c == 0xA0 || c == 0x3000 || c == 9;
}

// Multi-byte code pages, whose characters take one or two bytes.
bool DoubleByteCharset(uint8_t charset) {
    return charset == SHIFTJIS_CHARSET || charset == HANGUL_CHARSET || charset == JOHAB_CHARSET ||
           charset == GB2312_CHARSET || charset == CHINESEBIG5_CHARSET;
}

}  // namespace

void Interpreter::TextRecord(uint32_t type, Reader& r) {
    switch (type) {
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
            TextOut(r, 36, r.U32(24), type == EMR_EXTTEXTOUTW);
            return;
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW: {
            const uint32_t n = r.U32(36);
            if (!r.Has(40, uint64_t(n) * 40)) {
                Note(QStringLiteral("%1 strings do not fit in the record; skipped").arg(n));
                return;
            }
            for (uint32_t i = 0; i < n; ++i)
                TextOut(r, 40 + 40ull * i, r.U32(24), type == EMR_POLYTEXTOUTW);
            return;
        }
        case EMR_SMALLTEXTOUT:
            SmallTextOut(r);
            return;
    }
}

void Interpreter::TextOut(Reader& r, uint64_t e, uint32_t graphicsMode, bool wide) {
    const QPointF reference = r.PointL(e);
    const uint32_t nChars = r.U32(e + 8), offString = r.U32(e + 12), options = r.U32(e + 16);
    QRectF rect;
    bool haveRect = false;
    uint64_t dxField = e + 20;
    if (!(options & ETO_NO_RECT)) {
        const RectL b = r.Rect(e + 20);
        rect = QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom));
        haveRect = b.right > b.left && b.bottom > b.top;
        dxField = e + 36;
    }
    const uint32_t offDx = r.U32(dxField);
    if (!r.Ok()) {
        Note(QStringLiteral("text fields do not fit in the record; skipped"));
        return;
    }
    if (nChars > kMaxTextChars) {
        Note(QStringLiteral("%1 characters is more than a run may hold; skipped").arg(nChars));
        return;
    }
    const uint64_t unit = wide ? 2 : 1;
    const uint8_t* str = nChars ? r.Bytes(offString, nChars * unit) : nullptr;
    if (nChars && !str) {
        Note(QStringLiteral("the string does not fit in the record; skipped"));
        return;
    }
    const uint64_t perChar = (options & ETO_PDY) ? 2 : 1;
    const uint8_t* dx = nullptr;
    if (nChars && offDx != 0) {
        dx = r.Bytes(offDx, nChars * 4 * perChar);
        if (!dx) Note(QStringLiteral("the advance array does not fit; natural advances used"));
    }
    auto advanceAt = [&](uint32_t i) {
        if (!dx) return QPointF();
        return perChar == 2 ? QPointF(ReadI32(dx + 8 * i), ReadI32(dx + 8 * i + 4))
                            : QPointF(ReadI32(dx + 4 * i), 0);
    };

    std::vector<uint32_t> codes(nChars);
    for (uint32_t i = 0; i < nChars; ++i)
        codes[i] = wide ? ReadU16(str + 2 * i) : str[i];

    std::vector<char32_t> chars;
    std::vector<QPointF> advances;
    chars.reserve(nChars);
    advances.reserve(nChars);
    bool glyphs = false;
    if (options & ETO_GLYPH_INDEX) {
        // Glyph numbers of the original font, or (some producers set the
        // flag anyway) plain character codes: the spaces tell, 3 as a glyph
        // index and 32 as a character; digits and punctuation as glyph
        // indices fall below 32 too.
        bool three = false, space = false, low = false;
        for (uint32_t c : codes) {
            three = three || c == 3;
            space = space || c == 32;
            low = low || (c > 3 && c < 32);
        }
        if (three || low) {
            glyphs = true;
            ++glyphVotes_;
        } else if (space) {
            glyphs = false;
            --glyphVotes_;
        } else {
            glyphs = glyphVotes_ >= 0;
        }
    }
    const bool symbol = IsSymbolFace(s_.font.face, s_.font.charset);
    if (glyphs) {
        uint32_t unknown = 0;
        for (uint32_t i = 0; i < nChars; ++i) {
            char32_t c = MacGlyphToUnicode(codes[i]);
            if (!c && codes[i] > 2) ++unknown;
            chars.push_back(c);
            advances.push_back(advanceAt(i));
        }
        if (unknown)
            Note(QStringLiteral("%1 glyph indices without a known character left blank")
                     .arg(unknown));
    } else if (wide) {
        for (uint32_t i = 0; i < nChars; ++i) {
            char32_t c = codes[i];
            QPointF a = advanceAt(i);
            if (QChar::isHighSurrogate(c) && i + 1 < nChars &&
                QChar::isLowSurrogate(codes[i + 1])) {
                c = QChar::surrogateToUcs4(char16_t(codes[i]), char16_t(codes[i + 1]));
                a += advanceAt(++i);
            }
            chars.push_back(symbol ? SymbolToUnicode(c) : c);
            advances.push_back(a);
        }
    } else if (symbol) {
        for (uint32_t i = 0; i < nChars; ++i) {
            chars.push_back(SymbolToUnicode(codes[i]));
            advances.push_back(advanceAt(i));
        }
    } else if (!DoubleByteCharset(s_.font.charset)) {
        const QString text =
            DecodeAnsi(QByteArray(reinterpret_cast<const char*>(str), nChars), s_.font.charset);
        for (uint32_t i = 0; i < nChars; ++i) {
            chars.push_back(i < uint32_t(text.size()) ? char32_t(text[i].unicode()) : U'?');
            advances.push_back(advanceAt(i));
        }
    } else {
        // A character of one or two bytes takes the advances of its bytes.
        static const char* const names[] = {"Shift_JIS", "windows-949", "x-Johab", "GBK", "Big5"};
        const char* name = s_.font.charset == SHIFTJIS_CHARSET ? names[0]
                           : s_.font.charset == HANGUL_CHARSET ? names[1]
                           : s_.font.charset == JOHAB_CHARSET  ? names[2]
                           : s_.font.charset == GB2312_CHARSET ? names[3]
                                                               : names[4];
        QStringDecoder decoder(name);
        QPointF pending;
        for (uint32_t i = 0; i < nChars; ++i) {
            pending += advanceAt(i);
            const char b = char(str[i]);
            QString out = decoder.isValid() ? decoder.decode(QByteArrayView(&b, 1))
                                            : QString(QChar(uchar(b)));
            if (out.isEmpty()) continue;
            for (qsizetype k = 0; k < out.size(); ++k) {
                chars.push_back(out[k].unicode());
                advances.push_back(k == 0 ? pending : QPointF());
            }
            pending = QPointF();
        }
    }
    DrawTextRun(reference, chars, advances, dx != nullptr, options, haveRect ? &rect : nullptr,
                graphicsMode);
}

void Interpreter::SmallTextOut(Reader& r) {
    const QPointF reference(r.I32(8), r.I32(12));
    const uint32_t n = r.U32(16), options = r.U32(20), gm = r.U32(24);
    QRectF rect;
    bool haveRect = false;
    uint64_t at = 36;
    if (!(options & ETO_NO_RECT)) {
        const RectL b = r.Rect(36);
        rect = QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom));
        haveRect = b.right > b.left && b.bottom > b.top;
        at = 52;
    }
    if (n > kMaxTextChars) {
        Note(QStringLiteral("%1 characters is more than a run may hold; skipped").arg(n));
        return;
    }
    const bool small = options & ETO_SMALL_CHARS;
    const uint8_t* str = r.Bytes(at, uint64_t(n) * (small ? 1 : 2));
    if (!r.Ok()) {
        Note(QStringLiteral("the string does not fit in the record; skipped"));
        return;
    }
    std::vector<char32_t> chars;
    std::vector<QPointF> advances(n);
    for (uint32_t i = 0; i < n; ++i)
        chars.push_back(small ? str[i] : ReadU16(str + 2 * i));
    DrawTextRun(reference, chars, advances, false, options & ~ETO_GLYPH_INDEX,
                haveRect ? &rect : nullptr, gm);
}

void Interpreter::DrawTextRun(const QPointF& reference, const std::vector<char32_t>& chars,
                              const std::vector<QPointF>& logicalAdvances, bool haveAdvances,
                              uint32_t options, const QRectF* rect, uint32_t graphicsMode) {
    QTransform m;
    if (!Xform(m)) return;
    const LogFont& lf = s_.font;
    const bool updateCp = s_.textAlign & TA_UPDATECP;
    const QPointF refPoint = updateCp ? s_.position : reference;
    const double esc = lf.escapement / 10.0;
    const double sx = std::hypot(m.m11(), m.m12()), sy = std::hypot(m.m21(), m.m22());

    // Run coordinates are reference pixels along the baseline. In the
    // compatible graphics mode only the reference point and the sizes go
    // through the transform: glyphs stay upright whatever the mapping mode.
    // In the advanced mode they follow the whole transform (but are never
    // drawn mirrored).
    QTransform place;
    double unitX, unitY;
    if (graphicsMode != GM_ADVANCED) {
        const QPointF p = m.map(refPoint);
        place = QTransform().rotate(-esc) * QTransform::fromTranslate(p.x(), p.y());
        unitX = sx;
        unitY = sy;
    } else {
        const double s = sy > 0 ? sy : 1;
        const bool flip = m.determinant() < 0;
        place = QTransform().rotate(-esc) * QTransform::fromScale(1 / s, flip ? -1 / s : 1 / s) *
                QTransform::fromTranslate(refPoint.x(), refPoint.y()) * m;
        unitX = unitY = s;
    }

    // The em size in run units: a negative height is the character height,
    // a positive one the cell height, zero the default 12 points.
    double em;
    if (lf.height < 0)
        em = -double(lf.height) * unitY;
    else if (lf.height > 0)
        em = fonts_.EmForCell(lf, lf.height * unitY);
    else
        em = 12.0 / 72.0 * 25.4 * h_.devicePxY / h_.deviceMmY;
    if (!std::isfinite(em) || em > 1e5) {
        Note(QStringLiteral("text of an unusable size; skipped"));
        return;
    }
    em = std::max(em, 0.25);
    QRawFont raw = fonts_.Get(lf, em);
    if (!raw.isValid()) {
        Note(QStringLiteral("no font to draw the text with; skipped"));
        return;
    }

    // Glyphs are sized in vertical reference pixels. A reference device
    // whose pixels are not square (a 72 by 120 dpi printer) has glyphs
    // narrower in its horizontal pixels; a logical font width other than
    // zero sets their width outright.
    const double aspect =
        (double(h_.devicePxX) / h_.deviceMmX) / (double(h_.devicePxY) / h_.deviceMmY);
    double stretch = std::clamp(aspect, 0.05, 20.0);
    if (lf.width != 0 && raw.averageCharWidth() > 0)
        stretch = std::clamp(std::abs(lf.width) * unitX / raw.averageCharWidth(), 0.05, 20.0);
    if (std::fabs(stretch - 1) < 0.01) stretch = 1;

    // Glyphs, one run per font, and the advances in run units.
    struct Piece {
        QRawFont font;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    std::vector<Piece> pieces;
    std::vector<std::pair<size_t, quint32>> glyphOf(chars.size(), {SIZE_MAX, 0});
    std::vector<double> natural(chars.size(), 0.0);  // the font's own advances
    {
        // One cmap lookup and one advance query for the whole run in the
        // main font; characters it lacks go to a fallback font one by one.
        QString utf16;
        utf16.reserve(qsizetype(chars.size()));
        std::vector<qsizetype> unitAt(chars.size());
        for (size_t i = 0; i < chars.size(); ++i) {
            unitAt[i] = utf16.size();
            AppendUcs4(utf16, chars[i] ? chars[i] : U' ');
        }
        QList<quint32> mainGlyphs(utf16.size());
        int n = int(utf16.size());
        raw.glyphIndexesForChars(utf16.constData(), int(utf16.size()), mainGlyphs.data(), &n);
        QList<quint32> perChar(qsizetype(chars.size()));
        for (size_t i = 0; i < chars.size(); ++i)
            perChar[qsizetype(i)] = mainGlyphs[unitAt[i]];
        const QList<QPointF> mainAdvances = raw.advancesForGlyphIndexes(perChar);
        for (size_t i = 0; i < chars.size(); ++i) {
            const char32_t c = chars[i];
            if (c == 0) continue;
            quint32 g = perChar[qsizetype(i)];
            QRawFont font = raw;
            if (g != 0 && i < size_t(mainAdvances.size()))
                natural[i] = mainAdvances[qsizetype(i)].x();
            if (g == 0 && !IsBlank(c) && c >= 0x20) {
                if (!fonts_.Fallback(raw, lf, c, font, g)) g = 0;
                if (g != 0) {
                    const QList<QPointF> a = font.advancesForGlyphIndexes(QList<quint32>{g});
                    if (!a.isEmpty()) natural[i] = a.first().x();
                }
            }
            if (g == 0 || IsBlank(c)) continue;
            size_t k = 0;
            while (k < pieces.size() && !(pieces[k].font == font))
                ++k;
            if (k == pieces.size()) pieces.push_back(Piece{font, {}, {}});
            glyphOf[i] = {k, g};
        }
    }
    if (haveAdvances) {
        // The substitute face is seldom exactly as wide as the original:
        // where the advance array shows the original's glyphs were wider or
        // narrower, widen or narrow ours a little so that they fill their
        // cells as the original's did. Spaces are left out, as justified
        // text widens those.
        double wanted = 0, own = 0;
        int counted = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (glyphOf[i].first == SIZE_MAX || natural[i] <= 0) continue;
            wanted += logicalAdvances[i].x() * unitX;
            own += natural[i] * stretch;
            ++counted;
        }
        if (counted >= 2 && own > 0 && wanted > 0) {
            const double ratio = std::clamp(wanted / own, 0.85, 1.2);
            if (std::fabs(ratio - 1) > 0.03) stretch *= ratio;
        }
    }
    std::vector<QPointF> advances(chars.size());
    for (size_t i = 0; i < chars.size(); ++i)
        advances[i] = haveAdvances ? QPointF(logicalAdvances[i].x() * unitX / stretch,
                                             -logicalAdvances[i].y() * unitY)
                                   : QPointF(natural[i], 0);

    double width = 0;
    for (const QPointF& a : advances)
        width += a.x();
    const double runWidth = width * stretch;
    const double ascent = raw.ascent(), descent = raw.descent();
    double x0 = 0, y0 = 0;
    switch (s_.textAlign & TA_HMASK) {
        case TA_RIGHT:
            x0 = -runWidth;
            break;
        case TA_CENTER:
            x0 = -runWidth / 2;
            break;
    }
    switch (s_.textAlign & TA_VMASK) {
        case 0:  // TA_TOP
            y0 = ascent;
            break;
        case TA_BOTTOM:
            y0 = -descent;
            break;
    }

    // The opaque rectangle and the text background come first.
    if (!s_.pathOpen) {
        if (rect && (options & ETO_OPAQUE)) {
            FillReference(m.map(QPolygonF(*rect)), s_.bkColor);
        } else if (s_.bkMode == BK_OPAQUE && runWidth > 0) {
            FillReference(place.map(QPolygonF(QRectF(x0, y0 - ascent, runWidth, ascent + descent))),
                          s_.bkColor);
        }
    }

    // Glyph positions: x0 and the advances so far, in unstretched units.
    QTransform toReference = QTransform::fromScale(stretch, 1) * place;
    QPointF pen(x0 / stretch, y0);
    for (size_t i = 0; i < chars.size(); ++i) {
        if (glyphOf[i].first != SIZE_MAX) {
            Piece& piece = pieces[glyphOf[i].first];
            piece.glyphs.append(glyphOf[i].second);
            piece.positions.append(pen);
        }
        pen += advances[i];
    }

    if (s_.pathOpen) {
        // Text inside a path adds its glyph outlines.
        for (const Piece& piece : pieces)
            for (qsizetype k = 0; k < piece.glyphs.size(); ++k)
                s_.path.addPath(toReference.map(
                    piece.font.pathForGlyph(piece.glyphs[k]).translated(piece.positions[k])));
        figureOpen_ = false;
    } else {
        TextRun run;
        run.toReference = toReference;
        run.color = s_.textColor;
        run.family = fonts_.Family(lf);
        run.text.reserve(qsizetype(chars.size()));
        for (char32_t c : chars)
            if (c) AppendUcs4(run.text, c);
        for (Piece& piece : pieces) {
            if (piece.glyphs.isEmpty()) continue;
            QGlyphRun g;
            g.setRawFont(piece.font);
            g.setGlyphIndexes(piece.glyphs);
            g.setPositions(piece.positions);
            run.glyphs.append(g);
        }
        const double thick = std::max(raw.lineThickness(), em / 20);
        if (lf.underline && runWidth > 0)
            run.decorations.append(QRectF(x0 / stretch, y0 + raw.underlinePosition() - thick / 2,
                                          runWidth / stretch, thick));
        if (lf.strikeOut && runWidth > 0)
            run.decorations.append(QRectF(x0 / stretch, y0 - raw.xHeight() / 2 - thick / 2,
                                          runWidth / stretch, thick));
        if (rect && (options & ETO_CLIPPED)) run.clip = m.map(QPolygonF(*rect));
        if (!run.glyphs.isEmpty() || !run.decorations.isEmpty()) {
            const QPointF o = toReference.map(QPointF());
            if (!LimitRect().contains(o)) {
                Note(QStringLiteral("text far outside the page; skipped"));
            } else {
                if (!Room()) return;
                d_.texts.push_back(std::move(run));
                Emit(Op::kText, uint32_t(d_.texts.size() - 1), CurrentXformIndex());
            }
        }
    }

    if (updateCp) {
        // Left-aligned text moves the current position to its end,
        // right-aligned to its start; centred text leaves it.
        double along = 0;
        if ((s_.textAlign & TA_HMASK) == 0) along = runWidth;
        if ((s_.textAlign & TA_HMASK) == TA_RIGHT) along = -runWidth;
        if (along != 0) s_.position = m.inverted().map(place.map(QPointF(along, 0)));
    }
}

}  // namespace emf
