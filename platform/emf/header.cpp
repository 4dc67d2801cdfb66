#include "platform/emf/header.h"

#include <cstring>

namespace emf {

namespace {

// Windows' MulDiv: a * b / c in 64 bits, rounded half away from zero.
int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return 0;
    int64_t n = a * b;
    bool negative = (n < 0) != (c < 0);
    int64_t an = n < 0 ? -n : n, ac = c < 0 ? -c : c;
    int64_t q = (an + ac / 2) / ac;
    if (q > INT32_MAX) q = INT32_MAX;
    return static_cast<int32_t>(negative ? -q : q);
}

bool Fail(QString* why, const QString& text) {
    if (why) *why = text;
    return false;
}

void PutU32(QByteArray& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int32_t Header::WidthPx() const {
    return MulDiv(int64_t(frame.right) - frame.left, devicePxX, int64_t(deviceMmX) * 100);
}

int32_t Header::HeightPx() const {
    return MulDiv(int64_t(frame.bottom) - frame.top, devicePxY, int64_t(deviceMmY) * 100);
}

bool ParseHeader(const uint8_t* data, size_t size, Header& h, QString* why) {
    if (size < kMinHeaderSize)
        return Fail(why, QStringLiteral("%1 bytes is too short for a metafile header").arg(size));
    uint32_t type = ReadU32(data);
    if (type != EMR_HEADER)
        return Fail(why, QStringLiteral("first record has type %1, not a header").arg(type));
    h.size = ReadU32(data + 4);
    auto rect = [&](size_t off) {
        return RectL{ReadI32(data + off), ReadI32(data + off + 4), ReadI32(data + off + 8),
                     ReadI32(data + off + 12)};
    };
    h.bounds = rect(8);
    h.frame = rect(24);
    h.signature = ReadU32(data + 40);
    h.version = ReadU32(data + 44);
    h.bytes = ReadU32(data + 48);
    h.records = ReadU32(data + 52);
    h.handles = ReadU16(data + 56);
    h.descriptionLength = ReadU32(data + 60);
    h.descriptionOffset = ReadU32(data + 64);
    h.paletteEntries = ReadU32(data + 68);
    h.devicePxX = ReadI32(data + 72);
    h.devicePxY = ReadI32(data + 76);
    h.deviceMmX = ReadI32(data + 80);
    h.deviceMmY = ReadI32(data + 84);

    if (h.signature != ENHMETA_SIGNATURE)
        return Fail(why, QStringLiteral("signature is %1, not \" EMF\"").arg(h.signature, 8, 16));
    if (h.size < kMinHeaderSize || h.size % 4 != 0)
        return Fail(why, QStringLiteral("header record size %1 is impossible").arg(h.size));
    if (h.bytes % 4 != 0 || h.bytes < h.size || h.bytes > kMaxMetafileBytes)
        return Fail(why, QStringLiteral("total size %1 is impossible").arg(h.bytes));
    if (h.devicePxX <= 0 || h.devicePxY <= 0 || h.deviceMmX <= 0 || h.deviceMmY <= 0)
        return Fail(why, QStringLiteral("reference device %1x%2 px, %3x%4 mm is impossible")
                             .arg(h.devicePxX)
                             .arg(h.devicePxY)
                             .arg(h.deviceMmX)
                             .arg(h.deviceMmY));
    if (h.deviceMmX > 100000 || h.deviceMmY > 100000)
        return Fail(why, QStringLiteral("reference device of %1x%2 mm is impossible")
                             .arg(h.deviceMmX)
                             .arg(h.deviceMmY));
    if (h.frame.right < h.frame.left || h.frame.bottom < h.frame.top)
        return Fail(why, QStringLiteral("the picture frame is inverted"));
    return true;
}

bool CheckRecordFraming(const uint8_t* data, size_t size, QString* why) {
    if (size < 8 || ReadU32(data) != EMR_HEADER)
        return Fail(why, QStringLiteral("the metafile does not start with a header record"));
    size_t off = 0;
    uint64_t count = 0;
    while (off < size) {
        if (size - off < 8)
            return Fail(why,
                        QStringLiteral("%1 stray bytes at offset %2").arg(size - off).arg(off));
        uint32_t recSize = ReadU32(data + off + 4);
        if (recSize < 8 || recSize % 4 != 0 || recSize > size - off)
            return Fail(why, QStringLiteral("record %1 at offset %2 has impossible size %3")
                                 .arg(count)
                                 .arg(off)
                                 .arg(recSize));
        off += recSize;
        ++count;
    }
    return true;
}

ReferenceDevice ScreenReferenceDevice(int pixelsPerInch) {
    if (pixelsPerInch <= 0) pixelsPerInch = 96;
    return ReferenceDevice{20 * pixelsPerInch, 15 * pixelsPerInch, 508, 381};
}

RectL FrameForPixels(int32_t widthPx, int32_t heightPx, const ReferenceDevice& ref) {
    return RectL{0, 0, MulDiv(widthPx, int64_t(ref.mmX) * 100, ref.pxX),
                 MulDiv(heightPx, int64_t(ref.mmY) * 100, ref.pxY)};
}

QByteArray MakeBlankMetafile(const RectL& frame, const ReferenceDevice& ref) {
    // Header (108 bytes, no description) followed by EMR_EOF (20 bytes).
    QByteArray b(108 + 20, '\0');
    PutU32(b, 0, EMR_HEADER);
    PutU32(b, 4, 108);
    // rclBounds {0,0,-1,-1}: nothing drawn.
    PutU32(b, 16, 0xFFFFFFFFu);
    PutU32(b, 20, 0xFFFFFFFFu);
    PutU32(b, 24, static_cast<uint32_t>(frame.left));
    PutU32(b, 28, static_cast<uint32_t>(frame.top));
    PutU32(b, 32, static_cast<uint32_t>(frame.right));
    PutU32(b, 36, static_cast<uint32_t>(frame.bottom));
    PutU32(b, 40, ENHMETA_SIGNATURE);
    PutU32(b, 44, 0x00010000);
    PutU32(b, 48, 128);
    PutU32(b, 52, 2);
    PutU32(b, 56, 1);  // nHandles: the reserved slot only
    PutU32(b, 72, static_cast<uint32_t>(ref.pxX));
    PutU32(b, 76, static_cast<uint32_t>(ref.pxY));
    PutU32(b, 80, static_cast<uint32_t>(ref.mmX));
    PutU32(b, 84, static_cast<uint32_t>(ref.mmY));
    PutU32(b, 100, static_cast<uint32_t>(ref.mmX * 1000));
    PutU32(b, 104, static_cast<uint32_t>(ref.mmY * 1000));
    PutU32(b, 108, EMR_EOF);
    PutU32(b, 112, 20);
    PutU32(b, 116, 0);
    PutU32(b, 120, 16);
    PutU32(b, 124, 20);
    return b;
}

}  // namespace emf
