// The EMF header record and the record framing: parsing and validation of
// the structure of a metafile, shared by the page picture (which stores and
// loads metafile bytes) and the reader that plays them.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace emf {

constexpr uint32_t EMR_HEADER = 1;
constexpr uint32_t EMR_EOF = 14;
constexpr uint32_t ENHMETA_SIGNATURE = 0x464D4520;
// Header records come in three sizes (88, 100, 108) plus trailing data.
constexpr uint32_t kMinHeaderSize = 88;
constexpr uint32_t kEofSize = 20;
// Largest metafile accepted: far beyond any report page, small enough that
// nothing sized from it can exhaust memory.
constexpr uint32_t kMaxMetafileBytes = 512u * 1024u * 1024u;

struct RectL {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct Header {
    uint32_t size = 0;  // nSize of the header record
    RectL bounds;       // rclBounds, reference-device pixels, inclusive
    RectL frame;        // rclFrame, 0.01 mm
    uint32_t signature = 0;
    uint32_t version = 0;
    uint32_t bytes = 0;    // nBytes: the whole metafile
    uint32_t records = 0;  // nRecords
    uint16_t handles = 0;  // nHandles, slot 0 included
    uint32_t descriptionLength = 0;
    uint32_t descriptionOffset = 0;
    uint32_t paletteEntries = 0;
    int32_t devicePxX = 0, devicePxY = 0;  // szlDevice
    int32_t deviceMmX = 0, deviceMmY = 0;  // szlMillimeters

    // The picture's size in reference-device pixels: the frame in 0.01 mm
    // times the device's pixels over its millimetres times 100, rounded to
    // the nearest pixel (halves away from zero).
    int32_t WidthPx() const;
    int32_t HeightPx() const;
};

// Parses and checks the header record at the start of data: type 1, a size
// of at least 88 bytes that is a multiple of 4, the signature, an nBytes
// that is a multiple of 4, at least the header and at most kMaxMetafileBytes,
// positive device sizes in pixels and millimetres, a frame that is not
// inverted. Needs only the header record's bytes (at least 88, better nSize).
// Returns false and says why when any of that fails.
bool ParseHeader(const uint8_t* data, size_t size, Header& out, QString* why);

// Walks the records of a complete metafile of exactly size bytes: the
// header record first, each record at least 8 bytes, a multiple of 4, and
// inside the data. Returns false and says why at the first fault.
bool CheckRecordFraming(const uint8_t* data, size_t size, QString* why);

// A reference device: the pixels and millimetres of the device a picture is
// recorded for.
struct ReferenceDevice {
    int32_t pxX = 0, pxY = 0;
    int32_t mmX = 0, mmY = 0;
};

// The screen as a reference device at the given pixels per inch: 20 by 15
// inches, which are exactly 508 by 381 millimetres, so that a pixel size
// turns into a frame and back without loss.
ReferenceDevice ScreenReferenceDevice(int pixelsPerInch);

// The frame in 0.01 mm for a picture of the given size in reference pixels.
RectL FrameForPixels(int32_t widthPx, int32_t heightPx, const ReferenceDevice& ref);

// A metafile that draws nothing: a header of the given frame and an EOF.
QByteArray MakeBlankMetafile(const RectL& frame, const ReferenceDevice& ref);

// Little-endian reads from a buffer the caller has checked.
inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t ReadI32(const uint8_t* p) {
    return static_cast<int32_t>(ReadU32(p));
}
inline uint16_t ReadU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

}  // namespace emf
