#include "platform/emf/reader.h"

#include "platform/emf/records.h"

#include <cstring>

namespace emf {

float Reader::F32(uint64_t off) {
    uint32_t bits = U32(off);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

Reader Reader::Sub(uint64_t off, uint64_t len) {
    if (!Has(off, len)) {
        ok_ = false;
        Reader r;
        r.ok_ = false;
        return r;
    }
    return Reader(data_ + off, static_cast<size_t>(len));
}

const char* RecordName(uint32_t type) {
    static const char* const names[] = {
        nullptr,
        "HEADER",
        "POLYBEZIER",
        "POLYGON",
        "POLYLINE",
        "POLYBEZIERTO",
        "POLYLINETO",
        "POLYPOLYLINE",
        "POLYPOLYGON",
        "SETWINDOWEXTEX",
        "SETWINDOWORGEX",
        "SETVIEWPORTEXTEX",
        "SETVIEWPORTORGEX",
        "SETBRUSHORGEX",
        "EOF",
        "SETPIXELV",
        "SETMAPPERFLAGS",
        "SETMAPMODE",
        "SETBKMODE",
        "SETPOLYFILLMODE",
        "SETROP2",
        "SETSTRETCHBLTMODE",
        "SETTEXTALIGN",
        "SETCOLORADJUSTMENT",
        "SETTEXTCOLOR",
        "SETBKCOLOR",
        "OFFSETCLIPRGN",
        "MOVETOEX",
        "SETMETARGN",
        "EXCLUDECLIPRECT",
        "INTERSECTCLIPRECT",
        "SCALEVIEWPORTEXTEX",
        "SCALEWINDOWEXTEX",
        "SAVEDC",
        "RESTOREDC",
        "SETWORLDTRANSFORM",
        "MODIFYWORLDTRANSFORM",
        "SELECTOBJECT",
        "CREATEPEN",
        "CREATEBRUSHINDIRECT",
        "DELETEOBJECT",
        "ANGLEARC",
        "ELLIPSE",
        "RECTANGLE",
        "ROUNDRECT",
        "ARC",
        "CHORD",
        "PIE",
        "SELECTPALETTE",
        "CREATEPALETTE",
        "SETPALETTEENTRIES",
        "RESIZEPALETTE",
        "REALIZEPALETTE",
        "EXTFLOODFILL",
        "LINETO",
        "ARCTO",
        "POLYDRAW",
        "SETARCDIRECTION",
        "SETMITERLIMIT",
        "BEGINPATH",
        "ENDPATH",
        "CLOSEFIGURE",
        "FILLPATH",
        "STROKEANDFILLPATH",
        "STROKEPATH",
        "FLATTENPATH",
        "WIDENPATH",
        "SELECTCLIPPATH",
        "ABORTPATH",
        nullptr,
        "COMMENT",
        "FILLRGN",
        "FRAMERGN",
        "INVERTRGN",
        "PAINTRGN",
        "EXTSELECTCLIPRGN",
        "BITBLT",
        "STRETCHBLT",
        "MASKBLT",
        "PLGBLT",
        "SETDIBITSTODEVICE",
        "STRETCHDIBITS",
        "EXTCREATEFONTINDIRECTW",
        "EXTTEXTOUTA",
        "EXTTEXTOUTW",
        "POLYBEZIER16",
        "POLYGON16",
        "POLYLINE16",
        "POLYBEZIERTO16",
        "POLYLINETO16",
        "POLYPOLYLINE16",
        "POLYPOLYGON16",
        "POLYDRAW16",
        "CREATEMONOBRUSH",
        "CREATEDIBPATTERNBRUSHPT",
        "EXTCREATEPEN",
        "POLYTEXTOUTA",
        "POLYTEXTOUTW",
        "SETICMMODE",
        "CREATECOLORSPACE",
        "SETCOLORSPACE",
        "DELETECOLORSPACE",
        "GLSRECORD",
        "GLSBOUNDEDRECORD",
        "PIXELFORMAT",
        "DRAWESCAPE",
        "EXTESCAPE",
        nullptr,
        "SMALLTEXTOUT",
        "FORCEUFIMAPPING",
        "NAMEDESCAPE",
        "COLORCORRECTPALETTE",
        "SETICMPROFILEA",
        "SETICMPROFILEW",
        "ALPHABLEND",
        "SETLAYOUT",
        "TRANSPARENTBLT",
        nullptr,
        "GRADIENTFILL",
        "SETLINKEDUFIS",
        "SETTEXTJUSTIFICATION",
        "COLORMATCHTOTARGETW",
        "CREATECOLORSPACEW",
    };
    return type < sizeof names / sizeof names[0] ? names[type] : nullptr;
}

namespace {

bool Fail(QString* why, const QString& text) {
    if (why) *why = text;
    return false;
}

}  // namespace

bool SplitRecords(const uint8_t* data, size_t size, Structure& out, QString* why) {
    out = Structure{};
    if (!data) size = 0;
    if (!ParseHeader(data, size, out.header, why)) return false;
    if (out.header.size > size)
        return Fail(why, QStringLiteral("the header record runs past the end of the data"));
    // Walk the data as it is; nBytes only says where the records should end.
    const size_t limit = size;
    size_t off = 0;
    while (off < limit) {
        if (limit - off < 8)
            return Fail(why,
                        QStringLiteral("%1 stray bytes at offset %2").arg(limit - off).arg(off));
        const uint32_t type = ReadU32(data + off);
        const uint32_t recSize = ReadU32(data + off + 4);
        if (recSize < 8 || recSize % 4 != 0 || recSize > limit - off)
            return Fail(why, QStringLiteral("record %1 (%2) at offset %3 has impossible size %4")
                                 .arg(out.records.size())
                                 .arg(type)
                                 .arg(off)
                                 .arg(recSize));
        if (out.records.size() >= kMaxRecords)
            return Fail(why, QStringLiteral("more than %1 records").arg(kMaxRecords));
        out.records.push_back(RecordView{type, static_cast<uint32_t>(off), recSize, data + off});
        off += recSize;
        if (type == EMR_EOF) {
            out.endsWithEof = true;
            break;
        }
    }
    out.trailingBytes = size - off;
    out.sizeRepaired = out.header.bytes > off;
    return true;
}

}  // namespace emf
