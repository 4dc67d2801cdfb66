// DIB decoder: tiny exact bitmaps of every depth and compression, malformed
// headers and bits that must be refused, and every DIB of the real-world
// corpus.
#include "platform/emf/dib.h"
#include "platform/emf/header.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFileInfo>
#include <climits>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

// A BITMAPINFOHEADER of headerSize bytes (40, 108 or 124), followed by extra
// (masks and/or a colour table, already encoded).
Bytes Bmi(int32_t w, int32_t h, uint16_t bpp, uint32_t compression = emf::BI_RGB,
          uint32_t clrUsed = 0, const Bytes& extra = {}, uint32_t headerSize = 40) {
    Bytes b;
    Put32(b, headerSize);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, bpp);
    Put32(b, compression);
    Put32(b, 0);  // biSizeImage
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, clrUsed);
    Put32(b, 0);
    b.resize(headerSize, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

// RGBQUAD entries from 0xRRGGBB values.
Bytes Table(std::initializer_list<uint32_t> colours) {
    Bytes b;
    for (uint32_t c : colours)
        Put32(b, c & 0xFFFFFF);
    return b;
}

Bytes Masks(std::initializer_list<uint32_t> masks) {
    Bytes b;
    for (uint32_t m : masks)
        Put32(b, m);
    return b;
}

// A V4/V5 header carrying the four masks in the header itself.
Bytes BmiV(uint32_t headerSize, int32_t w, int32_t h, uint16_t bpp, uint32_t compression,
           uint32_t r, uint32_t g, uint32_t bl, uint32_t a) {
    Bytes b = Bmi(w, h, bpp, compression, 0, {}, headerSize);
    for (int i = 0; i < 4; ++i) {
        uint32_t m = i == 0 ? r : i == 1 ? g : i == 2 ? bl : a;
        for (int k = 0; k < 4; ++k)
            b[40 + 4 * i + k] = uint8_t(m >> (8 * k));
    }
    return b;
}

QImage Decode(const Bytes& bmi, const Bytes& bits, uint32_t usage, QString* why) {
    return emf::DecodeDib(bmi.data(), bmi.size(), bits.data(), bits.size(), usage, why);
}

struct Pixel {
    int x, y;
    QRgb argb;  // as QImage::pixel gives it for the result's format
};

struct GoodCase {
    const char* name;
    Bytes bmi;
    Bytes bits;
    uint32_t usage;
    QSize size;
    QImage::Format format;
    std::vector<Pixel> pixels;
};

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = 0xFF000000,
               kWhite = 0xFFFFFFFF, kNone = 0x00000000;

std::vector<GoodCase> GoodCases() {
    std::vector<GoodCase> v;
    // 1 bpp, 3x2, bottom-up: the first row of the bits is the bottom row.
    v.push_back({"mono bottom-up",
                 Bmi(3, 2, 1, emf::BI_RGB, 0, Table({0xFF0000, 0x0000FF})),
                 {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {3, 2},
                 QImage::Format_RGB32,
                 {{0, 1, kBlue}, {1, 1, kRed}, {2, 1, kBlue}, {0, 0, kRed}, {1, 0, kBlue}}});
    v.push_back({"mono top-down",
                 Bmi(3, -2, 1, emf::BI_RGB, 0, Table({0xFF0000, 0x0000FF})),
                 {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {3, 2},
                 QImage::Format_RGB32,
                 {{0, 0, kBlue}, {1, 0, kRed}, {1, 1, kBlue}}});
    // A 1-bpp DIB without a colour table is black and white.
    v.push_back({"mono without table",
                 Bmi(2, 1, 1),
                 {0b01000000, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kBlack}, {1, 0, kWhite}}});
    v.push_back({"mono palette indices",
                 Bmi(2, 1, 1),
                 {0b10000000, 0, 0, 0},
                 emf::DIB_PAL_INDICES,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kWhite}, {1, 0, kBlack}}});
    // DIB_PAL_COLORS: 16-bit indices into the default palette (13 red, 19 white).
    v.push_back({"palette colours",
                 [] {
                     Bytes t;
                     Put16(t, 13);
                     Put16(t, 19);
                     return Bmi(2, 1, 1, emf::BI_RGB, 2, t);
                 }(),
                 {0b01000000, 0, 0, 0},
                 emf::DIB_PAL_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kRed}, {1, 0, kWhite}}});
    // 4 bpp, a table of 3 (biClrUsed): index 5 has no colour and is black.
    v.push_back({"4 bpp short table",
                 Bmi(3, 1, 4, emf::BI_RGB, 3, Table({0x00FF00, 0xFF0000, 0x0000FF})),
                 {0x12, 0x50, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {3, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kRed}, {1, 0, kBlue}, {2, 0, kBlack}}});
    // 8 bpp whose table is cut short by the BITMAPINFO's size (biClrUsed 0).
    v.push_back({"8 bpp truncated table",
                 Bmi(3, 1, 8, emf::BI_RGB, 0, Table({0x0000FF, 0x00FF00})),
                 {1, 0, 200, 0},
                 emf::DIB_RGB_COLORS,
                 {3, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kGreen}, {1, 0, kBlue}, {2, 0, kBlack}}});
    // RLE8 8x3: run of 3 x index 1, literal 2,1,2; end of line; delta (2,0);
    // run of 2 x index 2; end of bitmap. Untouched pixels are transparent.
    v.push_back({"RLE8",
                 Bmi(8, 3, 8, emf::BI_RLE8, 3, Table({0, 0xFF0000, 0x00FF00})),
                 {3, 1, 0, 3, 2, 1, 2, 0, 0, 0, 0, 2, 2, 0, 2, 2, 0, 1},
                 emf::DIB_RGB_COLORS,
                 {8, 3},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 2, kRed},
                  {2, 2, kRed},
                  {3, 2, kGreen},
                  {4, 2, kRed},
                  {5, 2, kGreen},
                  {6, 2, kNone},
                  {1, 1, kNone},
                  {2, 1, kGreen},
                  {3, 1, kGreen},
                  {4, 1, kNone},
                  {0, 0, kNone}}});
    // RLE4 4x1: a run of 3 alternating 1,2; then a literal of three pixels of
    // index 2, cut at the row's end after one.
    v.push_back({"RLE4",
                 Bmi(4, 1, 4, emf::BI_RLE4, 3, Table({0, 0xFF0000, 0x00FF00})),
                 {3, 0x12, 0, 3, 0x22, 0x20, 0, 1},
                 emf::DIB_RGB_COLORS,
                 {4, 1},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 0, kRed}, {1, 0, kGreen}, {2, 0, kRed}, {3, 0, kGreen}}});
    // RLE runs past the row end are cut, a delta below the last row ends the
    // bitmap, a literal that runs out of data keeps what is there.
    v.push_back({"RLE8 overruns",
                 Bmi(2, 2, 8, emf::BI_RLE8, 2, Table({0x0000FF, 0xFF0000})),
                 {255, 1, 0, 0, 0, 4, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 2},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 1, kRed}, {1, 1, kRed}, {0, 0, kBlue}, {1, 0, kNone}}});
    v.push_back({"RLE8 delta beyond the end",
                 Bmi(2, 2, 8, emf::BI_RLE8, 2, Table({0x0000FF, 0xFF0000})),
                 {1, 1, 0, 2, 200, 200, 1, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 2},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 1, kRed}, {1, 1, kNone}, {0, 0, kNone}}});
    // 16 bpp BI_RGB is 5-5-5; row stride 4 bytes for a 1-pixel row.
    v.push_back({"16 bpp 555",
                 Bmi(2, 1, 16),
                 {0x00, 0x7C, 0x1F, 0x00},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kRed}, {1, 0, kBlue}}});
    v.push_back({"16 bpp 565 bitfields, top-down",
                 Bmi(1, -2, 16, emf::BI_BITFIELDS, 0, Masks({0xF800, 0x07E0, 0x001F})),
                 {0xE0, 0x07, 0, 0, 0x10, 0x00, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {1, 2},
                 QImage::Format_RGB32,
                 {{0, 0, kGreen}, {0, 1, 0xFF000084}}});
    // 24 bpp, 1 pixel wide: each row padded from 3 to 4 bytes.
    v.push_back({"24 bpp padded rows",
                 Bmi(1, 2, 24),
                 {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0},
                 emf::DIB_RGB_COLORS,
                 {1, 2},
                 QImage::Format_RGB32,
                 {{0, 1, kRed}, {0, 0, kBlue}}});
    v.push_back({"24 bpp under a V4 header",
                 Bmi(1, 1, 24, emf::BI_RGB, 0, {}, 108),
                 {0x10, 0x20, 0x30, 0},
                 emf::DIB_RGB_COLORS,
                 {1, 1},
                 QImage::Format_RGB32,
                 {{0, 0, 0xFF302010}}});
    // 32 bpp BI_RGB: an all-zero top byte is an opaque picture.
    v.push_back({"32 bpp no alpha",
                 Bmi(2, 1, 32),
                 {0x10, 0x20, 0x30, 0, 0xFF, 0xFF, 0xFF, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, 0xFF302010}, {1, 0, kWhite}}});
    // Premultiplied alpha: half-transparent red is (128, 0, 0, 128), which
    // QImage::pixel gives as stored.
    v.push_back({"32 bpp premultiplied alpha",
                 Bmi(2, 1, 32),
                 {0, 0, 128, 128, 0, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 0, 0x80800000}, {1, 0, kNone}}});
    // A top byte smaller than the colours is not alpha: opaque.
    v.push_back({"32 bpp stray top byte",
                 Bmi(2, 1, 32),
                 {0, 0, 200, 1, 0, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, 0xFFC80000}, {1, 0, kBlack}}});
    // An explicit alpha mask is straight alpha.
    v.push_back({"32 bpp V5 alpha mask",
                 BmiV(124, 1, 1, 32, emf::BI_BITFIELDS, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                 {0, 0, 255, 64},
                 emf::DIB_RGB_COLORS,
                 {1, 1},
                 QImage::Format_ARGB32,
                 {{0, 0, 0x40FF0000}}});
    // BI_ALPHABITFIELDS after a 40-byte header: four masks, here with the
    // channels in unusual places (alpha in the low byte, red at the top).
    v.push_back({"32 bpp alpha bitfields",
                 Bmi(1, 1, 32, emf::BI_ALPHABITFIELDS, 0,
                     Masks({0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF})),
                 {0x80, 0x00, 0x00, 0xFF},
                 emf::DIB_RGB_COLORS,
                 {1, 1},
                 QImage::Format_ARGB32,
                 {{0, 0, 0x80FF0000}}});
    // Rows missing at the end of the bits (the top rows of a bottom-up DIB)
    // come out transparent.
    v.push_back({"24 bpp short bits",
                 Bmi(1, 3, 24),
                 {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0, 0xFF},
                 emf::DIB_RGB_COLORS,
                 {1, 3},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 2, kRed}, {0, 1, kBlue}, {0, 0, kNone}}});
    v.push_back({"8 bpp short bits",
                 Bmi(1, 2, 8, emf::BI_RGB, 1, Table({0x00FF00})),
                 {0, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {1, 2},
                 QImage::Format_ARGB32_Premultiplied,
                 {{0, 1, kGreen}, {0, 0, kNone}}});
    // The old 12-byte core header with 3-byte colour entries.
    v.push_back({"core header",
                 [] {
                     Bytes b;
                     Put32(b, 12);
                     Put16(b, 2);
                     Put16(b, 1);
                     Put16(b, 1);
                     Put16(b, 1);
                     for (uint8_t c : {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00})
                         b.push_back(c);
                     return b;
                 }(),
                 {0b01000000, 0, 0, 0},
                 emf::DIB_RGB_COLORS,
                 {2, 1},
                 QImage::Format_RGB32,
                 {{0, 0, kRed}, {1, 0, kBlue}}});
    return v;
}

TEST(DibDecode, ExactPixelsForEachDepthAndCompression) {
    for (const GoodCase& c : GoodCases()) {
        SCOPED_TRACE(c.name);
        QString why;
        QImage img = Decode(c.bmi, c.bits, c.usage, &why);
        ASSERT_FALSE(img.isNull()) << why.toStdString();
        EXPECT_EQ(img.size(), c.size);
        EXPECT_EQ(img.format(), c.format);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(img.pixel(p.x, p.y), p.argb) << "at " << p.x << "," << p.y;
    }
}

// JPEG and PNG payloads are whole image files, decoded with Qt's readers.
TEST(DibDecode, EmbeddedPngAndJpeg) {
    QImage src(4, 3, QImage::Format_ARGB32);
    src.fill(QColor(255, 0, 0));
    src.setPixel(3, 2, qRgba(0, 0, 255, 0));
    for (const char* format : {"png", "jpeg"}) {
        SCOPED_TRACE(format);
        const bool png = std::string(format) == "png";
        QByteArray file;
        QBuffer buf(&file);
        buf.open(QIODevice::WriteOnly);
        ASSERT_TRUE((png ? src : src.convertToFormat(QImage::Format_RGB32)).save(&buf, format, 95));
        Bytes bits(file.begin(), file.end());
        QString why;
        QImage img = Decode(Bmi(4, -3, 0, png ? emf::BI_PNG : emf::BI_JPEG), bits, 0, &why);
        ASSERT_FALSE(img.isNull()) << why.toStdString();
        EXPECT_EQ(img.size(), QSize(4, 3));
        EXPECT_NEAR(qRed(img.pixel(0, 0)), 255, 8);
        EXPECT_NEAR(qGreen(img.pixel(0, 0)), 0, 8);
        if (!png) continue;
        EXPECT_EQ(img.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(qAlpha(img.pixel(3, 2)), 0);

        // A stray byte before the end chunk (as some writers leave) still
        // draws; a file cut inside its data does not.
        Bytes stray = bits;
        stray.insert(stray.end() - 12, 0);
        img = Decode(Bmi(4, -3, 0, emf::BI_PNG), stray, 0, &why);
        ASSERT_FALSE(img.isNull()) << why.toStdString();
        EXPECT_EQ(img.pixel(0, 0), kRed);
        Bytes cut(bits.begin(), bits.begin() + 40);
        EXPECT_TRUE(Decode(Bmi(4, -3, 0, emf::BI_PNG), cut, 0, &why).isNull());
    }
}

// The raw indices of a monochrome bitmap, with a table the caller can swap
// for the text and background colours.
TEST(DibDecode, IndicesOfMonochromeBitmap) {
    Bytes bmi = Bmi(3, 2, 1, emf::BI_RGB, 0, Table({0xFF0000, 0x0000FF}));
    Bytes bits = {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0};
    QString why;
    QImage idx = emf::DecodeDibIndices(bmi.data(), bmi.size(), bits.data(), bits.size(), 0, &why);
    ASSERT_FALSE(idx.isNull()) << why.toStdString();
    ASSERT_EQ(idx.format(), QImage::Format_Indexed8);
    EXPECT_EQ(idx.colorTable(), QList<QRgb>({kRed, kBlue}));
    EXPECT_EQ(idx.pixelIndex(0, 0), 0);
    EXPECT_EQ(idx.pixelIndex(1, 0), 1);
    EXPECT_EQ(idx.pixelIndex(0, 1), 1);
    EXPECT_EQ(idx.pixelIndex(1, 1), 0);
    idx.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    QImage painted = idx.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(painted.pixel(1, 0), qRgb(4, 5, 6));

    Bytes rgb = Bmi(1, 1, 24);
    Bytes px = {1, 2, 3, 0};
    EXPECT_TRUE(
        emf::DecodeDibIndices(rgb.data(), rgb.size(), px.data(), px.size(), 0, &why).isNull());
    EXPECT_FALSE(why.isEmpty());
}

TEST(DibDecode, ReadsHeaderInfo) {
    Bytes bmi = Bmi(7, -5, 4, emf::BI_RGB);
    emf::DibInfo info;
    QString why;
    ASSERT_TRUE(emf::ReadDibInfo(bmi.data(), bmi.size(), info, &why)) << why.toStdString();
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_TRUE(info.topDown);
    EXPECT_EQ(info.bitCount, 4);
    EXPECT_EQ(info.headerSize, 40u);
}

struct BadCase {
    const char* name;
    Bytes bmi;
    Bytes bits;
    const char* reason;  // a word the refusal must contain
};

TEST(DibDecode, RefusesMalformedInput) {
    const Bytes row24 = Bytes(12, 0);
    Bytes shortHeader = Bmi(1, 1, 24);
    shortHeader.resize(30);
    Bytes v5cut = Bmi(1, 1, 24, emf::BI_RGB, 0, {}, 124);
    v5cut.resize(60);
    const std::vector<BadCase> cases = {
        {"no header", {}, row24, "missing"},
        {"three bytes", {40, 0, 0}, row24, "missing"},
        {"unknown header size",
         [] {
             Bytes b = Bmi(1, 1, 24);
             b[0] = 20;
             return b;
         }(),
         row24, "unknown"},
        {"header cut short", shortHeader, row24, "has only"},
        {"V5 header cut short", v5cut, row24, "has only"},
        {"zero width", Bmi(0, 1, 24), row24, "impossible"},
        {"negative width", Bmi(-4, 1, 24), row24, "impossible"},
        {"zero height", Bmi(1, 0, 24), row24, "impossible"},
        {"most negative height", Bmi(1, INT32_MIN, 24), row24, "large"},
        {"too wide", Bmi(40000, 1, 24), row24, "large"},
        {"too many pixels", Bmi(30000, 30000, 1), row24, "large"},
        {"7 bits per pixel", Bmi(1, 1, 7), row24, "impossible"},
        {"0 bits per pixel uncompressed", Bmi(1, 1, 0), row24, "impossible"},
        {"RLE8 at 4 bpp", Bmi(1, 1, 4, emf::BI_RLE8), row24, "impossible"},
        {"RLE4 at 8 bpp", Bmi(1, 1, 8, emf::BI_RLE4), row24, "impossible"},
        {"bitfields at 24 bpp", Bmi(1, 1, 24, emf::BI_BITFIELDS, 0, Masks({1, 2, 4})), row24,
         "impossible"},
        {"CMYK compression", Bmi(1, 1, 32, 11), row24, "not supported"},
        {"bitfield masks missing", Bmi(1, 1, 32, emf::BI_BITFIELDS, 0, Masks({0xFF0000})), row24,
         "masks"},
        {"bits shorter than a row", Bmi(5, 2, 24), Bytes(15, 0), "row"},
        {"no bits", Bmi(2, 2, 8), {}, "row"},
        {"RGB bits short of a mono row", Bmi(40, 1, 1), {0xFF}, "row"},
        {"png garbage", Bmi(2, 2, 0, emf::BI_PNG), Bytes(64, 0x55), "png"},
        {"jpeg missing", Bmi(2, 2, 0, emf::BI_JPEG), {}, "jpeg"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        QString why;
        QImage img = Decode(c.bmi, c.bits, emf::DIB_RGB_COLORS, &why);
        EXPECT_TRUE(img.isNull());
        EXPECT_TRUE(why.contains(QLatin1String(c.reason), Qt::CaseInsensitive))
            << why.toStdString();
    }
}

// Where each bitmap record keeps its DIBs: iUsage and the four offset/size
// fields, for the source and (MASKBLT) the mask.
struct DibField {
    uint32_t type;
    uint32_t usageAt, offBmiAt;
};

TEST(DibDecode, EveryCorpusBitmapDecodes) {
    REQUIRE_CORPUS();
    const DibField fields[] = {
        {81, 64, 48}, {80, 64, 48},   {76, 80, 84}, {77, 80, 84}, {114, 80, 84},
        {78, 80, 84}, {78, 108, 112}, {94, 12, 16}, {93, 12, 16},
    };
    int decoded = 0;
    for (const QString& path : CorpusEmfFiles()) {
        const QByteArray file = ReadWholeFile(path);
        const auto* d = reinterpret_cast<const uint8_t*>(file.constData());
        const size_t n = size_t(file.size());
        size_t off = 0;
        while (n - off >= 8) {
            const uint32_t type = emf::ReadU32(d + off), size = emf::ReadU32(d + off + 4);
            if (size < 8 || size > n - off) break;
            const uint8_t* rec = d + off;
            for (const DibField& f : fields) {
                if (f.type != type || size < f.offBmiAt + 16) continue;
                const uint32_t offBmi = emf::ReadU32(rec + f.offBmiAt),
                               cbBmi = emf::ReadU32(rec + f.offBmiAt + 4),
                               offBits = emf::ReadU32(rec + f.offBmiAt + 8),
                               cbBits = emf::ReadU32(rec + f.offBmiAt + 12);
                if (cbBmi == 0) continue;
                SCOPED_TRACE(QStringLiteral("%1, record type %2 at %3")
                                 .arg(QFileInfo(path).fileName())
                                 .arg(type)
                                 .arg(off)
                                 .toStdString());
                ASSERT_LE(uint64_t(offBmi) + cbBmi, size);
                ASSERT_LE(uint64_t(offBits) + cbBits, size);
                QString why;
                QImage img = emf::DecodeDib(rec + offBmi, cbBmi, rec + offBits, cbBits,
                                            emf::ReadU32(rec + f.usageAt), &why);
                EXPECT_FALSE(img.isNull()) << why.toStdString();
                emf::DibInfo info;
                ASSERT_TRUE(emf::ReadDibInfo(rec + offBmi, cbBmi, info, &why));
                if (info.compression != emf::BI_JPEG && info.compression != emf::BI_PNG)
                    EXPECT_EQ(img.size(), QSize(info.width, info.height));
                ++decoded;
            }
            off += size;
        }
    }
    EXPECT_GT(decoded, 0) << "the corpus holds no bitmap records";
}

}  // namespace
