// Device-independent bitmaps as metafile bitmap records carry them: a
// BITMAPINFO (header, colour masks, colour table) and the pixel bits, each
// cut from the record by the caller. Decodes them into QImages with every
// size and offset checked against the bytes given.
#pragma once

#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace emf {

// How a DIB's colour table is to be read (the iUsage fields of bitmap records).
constexpr uint32_t DIB_RGB_COLORS = 0;   // RGBQUAD entries
constexpr uint32_t DIB_PAL_COLORS = 1;   // 16-bit indices into the selected logical palette
constexpr uint32_t DIB_PAL_INDICES = 2;  // no table at all

// biCompression values.
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_JPEG = 4;
constexpr uint32_t BI_PNG = 5;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

// Limits on what a DIB may describe, whatever its data: each side, and the
// pixel count (64 Mpixel, 256 MB as 32-bit pixels).
constexpr int32_t kMaxDibSide = 32768;
constexpr int64_t kMaxDibPixels = int64_t(64) * 1024 * 1024;

// What a DIB's header says, after the checks above.
struct DibInfo {
    uint32_t headerSize = 0;  // 12 (core header), 40, 52, 56, 64, 108, 124 ...
    int32_t width = 0;        // > 0
    int32_t height = 0;       // > 0; the sign of the stored height is in topDown
    bool topDown = false;     // first row of the bits is the top row
    uint16_t bitCount = 0;    // 1, 4, 8, 16, 24, 32 (0 allowed with BI_JPEG / BI_PNG)
    uint32_t compression = BI_RGB;
};

// Reads and checks the header at the start of bmi. Returns false and says why
// for a header that is too short, of unknown size, with impossible dimensions
// or an unsupported depth/compression pair.
bool ReadDibInfo(const uint8_t* bmi, size_t bmiSize, DibInfo& out, QString* why);

// Decodes a DIB into an image, top row first. The result is Format_RGB32 when
// every pixel is opaque. Alpha comes from two places: an explicit alpha mask
// (BI_BITFIELDS with a V4/V5 header, BI_ALPHABITFIELDS) is straight alpha, as
// in bitmap files, and gives Format_ARGB32; the top byte of a 32-bit pixel
// that no mask claims is premultiplied alpha, as AlphaBlend reads it, and
// gives Format_ARGB32_Premultiplied, unless some colour exceeds its alpha, in
// which case the byte is not alpha and the picture is opaque. An all-zero
// alpha channel means an opaque picture. Pixels the data does not cover (rows
// missing at the end of uncompressed bits, pixels an RLE bitmap skips or
// never reaches) are transparent, which also makes the result
// Format_ARGB32_Premultiplied. JPEG and PNG payloads come out as RGB32 or
// ARGB32_Premultiplied. usage is the record's iUsage: DIB_PAL_COLORS indices
// are looked up in the default palette, the one a metafile has selected
// unless it selects another (indices beyond its 20 colours give the grey of
// their low byte); DIB_PAL_INDICES and a missing colour table give a grey
// ramp (black and white at 1 bit per pixel); table entries a short table
// does not give are black.
// Returns a null image and sets *why when the DIB cannot be decoded: a bad
// header, colour masks missing, uncompressed bits that do not hold even one
// complete row, or a JPEG/PNG payload Qt cannot read.
QImage DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize,
                 uint32_t usage, QString* why);

// For DIBs of 1, 4 or 8 bits per pixel: the raw colour indices as a
// Format_Indexed8 image, top row first, whose colour table (2^bitCount
// entries) holds the colours DecodeDib would use. A caller that paints a
// monochrome bitmap the GDI way (0 bits in the text colour, 1 bits in the
// background colour) swaps the table: image.setColorTable({text, background}).
// Pixels the data does not cover hold index 0. Returns a null image and sets
// *why for other depths and for everything DecodeDib refuses.
QImage DecodeDibIndices(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize,
                        uint32_t usage, QString* why);

}  // namespace emf
