#include "platform/emf/describe.h"

#include "platform/emf/records.h"

namespace emf {

namespace {

QString Pt(Reader& r, uint64_t off) {
    return QStringLiteral("%1,%2").arg(r.I32(off)).arg(r.I32(off + 4));
}

QString Box(Reader& r, uint64_t off) {
    return QStringLiteral("%1 %2").arg(Pt(r, off), Pt(r, off + 8));
}

QString Color(Reader& r, uint64_t off) {
    return QStringLiteral("#%1%2%3")
        .arg(r.U8(off), 2, 16, QChar('0'))
        .arg(r.U8(off + 1), 2, 16, QChar('0'))
        .arg(r.U8(off + 2), 2, 16, QChar('0'));
}

QString Hex(uint32_t v) {
    return QStringLiteral("0x%1").arg(v, 0, 16);
}

QString Object(uint32_t ih) {
    return (ih & kStockObjectFlag) ? QStringLiteral("stock %1").arg(ih & ~kStockObjectFlag)
                                   : QString::number(ih);
}

QString Text(Reader& r, uint64_t e, bool wide) {
    const uint32_t n = r.U32(e + 8), off = r.U32(e + 12), options = r.U32(e + 16);
    QString s = QStringLiteral("at %1 chars %2 options %3").arg(Pt(r, e)).arg(n).arg(Hex(options));
    const uint32_t shown = std::min<uint32_t>(n, 40);
    const uint8_t* p = r.Bytes(off, uint64_t(shown) * (wide ? 2 : 1));
    if (p) {
        QString t;
        for (uint32_t i = 0; i < shown; ++i) {
            const uint32_t c = wide ? ReadU16(p + 2 * i) : p[i];
            if (options & ETO_GLYPH_INDEX)
                t += (i ? QStringLiteral(" ") : QString()) + QString::number(c);
            else
                t += c >= 0x20 ? QChar(char16_t(c)) : QChar(0xFFFD);
        }
        s += (options & ETO_GLYPH_INDEX) ? QStringLiteral(" glyphs [%1]").arg(t)
                                         : QStringLiteral(" \"%1\"").arg(t);
        if (shown < n) s += QStringLiteral("...");
    }
    return s;
}

}  // namespace

QString DescribeFields(const RecordView& rec) {
    Reader r = rec.Read();
    QString s;
    switch (rec.type) {
        case EMR_HEADER:
            s = QStringLiteral("bounds %1 frame %2").arg(Box(r, 8), Box(r, 24));
            break;
        case EMR_POLYBEZIER:
        case EMR_POLYGON:
        case EMR_POLYLINE:
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
        case EMR_POLYBEZIER16:
        case EMR_POLYGON16:
        case EMR_POLYLINE16:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16:
        case EMR_POLYDRAW:
        case EMR_POLYDRAW16: {
            const bool small = rec.type >= EMR_POLYBEZIER16;
            s = QStringLiteral("points %1").arg(r.U32(24));
            if (r.U32(24) > 0)
                s += small ? QStringLiteral(" first %1,%2").arg(r.I16(28)).arg(r.I16(30))
                           : QStringLiteral(" first %1").arg(Pt(r, 28));
            break;
        }
        case EMR_POLYPOLYLINE:
        case EMR_POLYPOLYGON:
        case EMR_POLYPOLYLINE16:
        case EMR_POLYPOLYGON16:
            s = QStringLiteral("polys %1 points %2").arg(r.U32(24)).arg(r.U32(28));
            break;
        case EMR_SETWINDOWEXTEX:
        case EMR_SETVIEWPORTEXTEX:
        case EMR_SETWINDOWORGEX:
        case EMR_SETVIEWPORTORGEX:
        case EMR_SETBRUSHORGEX:
        case EMR_MOVETOEX:
        case EMR_LINETO:
        case EMR_OFFSETCLIPRGN:
            s = Pt(r, 8);
            break;
        case EMR_SETPIXELV:
            s = QStringLiteral("%1 %2").arg(Pt(r, 8), Color(r, 16));
            break;
        case EMR_SETMAPMODE:
        case EMR_SETBKMODE:
        case EMR_SETPOLYFILLMODE:
        case EMR_SETROP2:
        case EMR_SETSTRETCHBLTMODE:
        case EMR_SETARCDIRECTION:
        case EMR_SETMITERLIMIT:
        case EMR_SELECTCLIPPATH:
        case EMR_SETLAYOUT:
        case EMR_SETICMMODE:
            s = QString::number(r.U32(8));
            break;
        case EMR_SETTEXTALIGN:
            s = Hex(r.U32(8));
            break;
        case EMR_SETTEXTCOLOR:
        case EMR_SETBKCOLOR:
            s = Color(r, 8);
            break;
        case EMR_RESTOREDC:
            s = QString::number(r.I32(8));
            break;
        case EMR_EXCLUDECLIPRECT:
        case EMR_INTERSECTCLIPRECT:
        case EMR_RECTANGLE:
        case EMR_ELLIPSE:
            s = QStringLiteral("box %1").arg(Box(r, 8));
            break;
        case EMR_ROUNDRECT:
            s = QStringLiteral("box %1 corner %2").arg(Box(r, 8), Pt(r, 24));
            break;
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO:
            s = QStringLiteral("box %1 from %2 to %3").arg(Box(r, 8), Pt(r, 24), Pt(r, 32));
            break;
        case EMR_SCALEVIEWPORTEXTEX:
        case EMR_SCALEWINDOWEXTEX:
            s = QStringLiteral("%1/%2 %3/%4")
                    .arg(r.I32(8))
                    .arg(r.I32(12))
                    .arg(r.I32(16))
                    .arg(r.I32(20));
            break;
        case EMR_SETWORLDTRANSFORM:
        case EMR_MODIFYWORLDTRANSFORM:
            s = QStringLiteral("[%1 %2 %3 %4 %5 %6]")
                    .arg(r.F32(8))
                    .arg(r.F32(12))
                    .arg(r.F32(16))
                    .arg(r.F32(20))
                    .arg(r.F32(24))
                    .arg(r.F32(28));
            if (rec.type == EMR_MODIFYWORLDTRANSFORM)
                s += QStringLiteral(" mode %1").arg(r.U32(32));
            break;
        case EMR_SELECTOBJECT:
        case EMR_DELETEOBJECT:
            s = QStringLiteral("ih %1").arg(Object(r.U32(8)));
            break;
        case EMR_CREATEPEN:
            s = QStringLiteral("ih %1 style %2 width %3 color %4")
                    .arg(r.U32(8))
                    .arg(Hex(r.U32(12)))
                    .arg(r.I32(16))
                    .arg(Color(r, 24));
            break;
        case EMR_EXTCREATEPEN:
            s = QStringLiteral("ih %1 style %2 width %3 brush %4 color %5")
                    .arg(r.U32(8))
                    .arg(Hex(r.U32(28)))
                    .arg(r.U32(32))
                    .arg(r.U32(36))
                    .arg(Color(r, 40));
            break;
        case EMR_CREATEBRUSHINDIRECT:
            s = QStringLiteral("ih %1 style %2 color %3 hatch %4")
                    .arg(r.U32(8))
                    .arg(r.U32(12))
                    .arg(Color(r, 16))
                    .arg(r.U32(20));
            break;
        case EMR_CREATEDIBPATTERNBRUSHPT:
        case EMR_CREATEMONOBRUSH:
            s = QStringLiteral("ih %1 usage %2 bmi %3+%4 bits %5+%6")
                    .arg(r.U32(8))
                    .arg(r.U32(12))
                    .arg(r.U32(16))
                    .arg(r.U32(20))
                    .arg(r.U32(24))
                    .arg(r.U32(28));
            break;
        case EMR_EXTCREATEFONTINDIRECTW: {
            QString face;
            for (uint64_t i = 0; i < 32 && r.Has(40 + 2 * i, 2); ++i) {
                const char16_t c = r.U16(40 + 2 * i);
                if (!c) break;
                face += QChar(c);
            }
            s = QStringLiteral("ih %1 \"%2\" height %3 weight %4 escapement %5 charset %6")
                    .arg(r.U32(8))
                    .arg(face)
                    .arg(r.I32(12))
                    .arg(r.I32(28))
                    .arg(r.I32(20))
                    .arg(r.U8(35));
            if (r.U8(32)) s += QStringLiteral(" italic");
            if (r.U8(33)) s += QStringLiteral(" underline");
            if (r.U8(34)) s += QStringLiteral(" strikeout");
            break;
        }
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
            s = Text(r, 36, rec.type == EMR_EXTTEXTOUTW) +
                QStringLiteral(" mode %1").arg(r.U32(24));
            break;
        case EMR_SMALLTEXTOUT:
            s = QStringLiteral("at %1,%2 chars %3 options %4")
                    .arg(r.I32(8))
                    .arg(r.I32(12))
                    .arg(r.U32(16))
                    .arg(Hex(r.U32(20)));
            break;
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW:
            s = QStringLiteral("strings %1").arg(r.U32(36));
            break;
        case EMR_EXTSELECTCLIPRGN:
            s = QStringLiteral("mode %1 data %2").arg(r.U32(12)).arg(r.U32(8));
            if (r.U32(8) >= 32) s += QStringLiteral(" rects %1").arg(r.U32(24));
            break;
        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_MASKBLT:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT:
            s = QStringLiteral("dest %1 %2x%3 rop %4 src %5 bmi %6 bits %7")
                    .arg(Pt(r, 24))
                    .arg(r.I32(32))
                    .arg(r.I32(36))
                    .arg(Hex(r.U32(40)))
                    .arg(Pt(r, 44))
                    .arg(r.U32(88))
                    .arg(r.U32(96));
            break;
        case EMR_STRETCHDIBITS:
            s = QStringLiteral("dest %1 %2x%3 src %4 %5x%6 rop %7 bmi %8 bits %9")
                    .arg(Pt(r, 24))
                    .arg(r.I32(72))
                    .arg(r.I32(76))
                    .arg(Pt(r, 32))
                    .arg(r.I32(40))
                    .arg(r.I32(44))
                    .arg(Hex(r.U32(68)))
                    .arg(r.U32(52))
                    .arg(r.U32(60));
            break;
        case EMR_SETDIBITSTODEVICE:
            s = QStringLiteral("dest %1 src %2 %3x%4 scans %5+%6")
                    .arg(Pt(r, 24), Pt(r, 32))
                    .arg(r.I32(40))
                    .arg(r.I32(44))
                    .arg(r.U32(68))
                    .arg(r.U32(72));
            break;
        case EMR_COMMENT: {
            const uint32_t cb = r.U32(8);
            s = QStringLiteral("data %1").arg(cb);
            if (cb >= 4) {
                const uint32_t id = r.U32(12);
                if (id == kCommentEmfPlus)
                    s += QStringLiteral(" EMF+");
                else if (id == kCommentPublic)
                    s += QStringLiteral(" public %1").arg(Hex(r.U32(16)));
            }
            break;
        }
        case EMR_GRADIENTFILL:
            s = QStringLiteral("vertices %1 pieces %2 mode %3")
                    .arg(r.U32(24))
                    .arg(r.U32(28))
                    .arg(r.U32(32));
            break;
        default:
            break;
    }
    if (!r.Ok()) s += QStringLiteral(" (short)");
    return s;
}

QString DescribeRecord(const RecordView& rec) {
    const char* name = RecordName(rec.type);
    QString line =
        QStringLiteral("%1 %2 %3")
            .arg(rec.offset, 8, 10, QChar(' '))
            .arg(name ? QString::fromLatin1(name) : QStringLiteral("UNKNOWN(%1)").arg(rec.type))
            .arg(rec.size);
    const QString fields = DescribeFields(rec);
    if (!fields.isEmpty()) line += QLatin1Char(' ') + fields;
    return line;
}

QString DescribeHeader(const Header& h) {
    return QStringLiteral(
               "frame %1,%2 %3,%4 (0.01 mm) device %5x%6 px %7x%8 mm bytes %9 records %10 "
               "handles %11")
        .arg(h.frame.left)
        .arg(h.frame.top)
        .arg(h.frame.right)
        .arg(h.frame.bottom)
        .arg(h.devicePxX)
        .arg(h.devicePxY)
        .arg(h.deviceMmX)
        .arg(h.deviceMmY)
        .arg(h.bytes)
        .arg(h.records)
        .arg(h.handles);
}

}  // namespace emf
