#include "platform/emf/dib.h"

#include "platform/emf/header.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace emf {

namespace {

bool Fail(QString* why, const QString& text) {
    if (why) *why = text;
    return false;
}

// The 20 colours of the default logical palette, which DIB_PAL_COLORS tables
// index unless the metafile selects a palette of its own.
constexpr QRgb kDefaultPalette[20] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080,
                                      0xFF800080, 0xFF008080, 0xFFC0C0C0, 0xFFC0DCC0, 0xFFA6CAF0,
                                      0xFFFFFBF0, 0xFFA0A0A4, 0xFF808080, 0xFFFF0000, 0xFF00FF00,
                                      0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

// One colour channel of a 16- or 32-bit pixel: its mask, and how to scale the
// masked value to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    int Get(uint32_t v) const {
        if (!mask) return 0;
        uint32_t x = (v & mask) >> shift;
        if (max == 255) return int(x);
        return int((uint64_t(x) * 255 + max / 2) / max);
    }
};

// Where a pixel's alpha comes from.
enum class AlphaSource {
    None,     // opaque
    Mask,     // an explicit alpha mask: straight alpha, as in BMP files
    TopByte,  // a 32-bit pixel's top byte that no mask claims: premultiplied,
              // as AlphaBlend reads it
};

struct Layout {
    DibInfo info;
    QList<QRgb> table;  // 2^bitCount entries for up to 8 bits per pixel
    Channel r, g, b, a;
    AlphaSource alpha = AlphaSource::None;
};

QList<QRgb> GreyRamp(int bitCount) {
    const int n = 1 << bitCount;
    QList<QRgb> t(n);
    for (int i = 0; i < n; ++i) {
        int v = n == 1 ? 0 : i * 255 / (n - 1);
        t[i] = qRgb(v, v, v);
    }
    return t;
}

bool ReadLayout(const uint8_t* bmi, size_t bmiSize, uint32_t usage, Layout& l, QString* why) {
    if (!ReadDibInfo(bmi, bmiSize, l.info, why)) return false;
    const DibInfo& in = l.info;
    const uint32_t hs = in.headerSize;
    size_t tableStart = hs;

    if (in.compression == BI_BITFIELDS || in.compression == BI_ALPHABITFIELDS) {
        const int count = in.compression == BI_ALPHABITFIELDS ? 4 : 3;
        uint32_t m[4] = {0, 0, 0, 0};
        // Headers from 52 bytes on (except the OS/2 one of 64) hold the masks
        // themselves; after a 40-byte header they follow it.
        if (hs >= 52 && hs != 64) {
            for (int i = 0; i < 3; ++i)
                m[i] = ReadU32(bmi + 40 + 4 * i);
            if (hs >= 56) m[3] = ReadU32(bmi + 52);
        } else {
            if (bmiSize - hs < size_t(4 * count))
                return Fail(why, QStringLiteral("the bitmap's colour masks are missing"));
            for (int i = 0; i < count; ++i)
                m[i] = ReadU32(bmi + hs + 4 * i);
            tableStart += 4 * count;
        }
        l.r = Channel(m[0]);
        l.g = Channel(m[1]);
        l.b = Channel(m[2]);
        l.a = Channel(m[3]);
        if (m[3])
            l.alpha = AlphaSource::Mask;
        else if (in.bitCount == 32 && ((m[0] | m[1] | m[2]) & 0xFF000000u) == 0)
            l.alpha = AlphaSource::TopByte;
    } else if (in.bitCount == 16) {
        l.r = Channel(0x7C00);
        l.g = Channel(0x03E0);
        l.b = Channel(0x001F);
    } else if (in.bitCount == 32) {
        l.r = Channel(0x00FF0000);
        l.g = Channel(0x0000FF00);
        l.b = Channel(0x000000FF);
        l.alpha = AlphaSource::TopByte;
    }

    if (in.bitCount == 0 || in.bitCount > 8) return true;

    const uint32_t full = 1u << in.bitCount;
    const uint32_t used = hs >= 40 ? ReadU32(bmi + 32) : 0;
    const uint32_t want = used ? std::min(used, full) : full;
    const size_t entry = usage == DIB_PAL_COLORS ? 2 : (hs == 12 ? 3 : 4);
    const size_t avail = tableStart <= bmiSize ? (bmiSize - tableStart) / entry : 0;
    const uint32_t got = usage == DIB_PAL_INDICES ? 0 : uint32_t(std::min<size_t>(want, avail));
    if (got == 0) {
        // No colours given: indices are grey levels (black and white at 1 bit).
        l.table = GreyRamp(in.bitCount);
        return true;
    }
    // Entries the table does not give are black, as GDI shows them.
    l.table = QList<QRgb>(full, qRgb(0, 0, 0));
    const uint8_t* t = bmi + tableStart;
    for (uint32_t i = 0; i < got; ++i) {
        const uint8_t* e = t + i * entry;
        if (usage == DIB_PAL_COLORS) {
            uint16_t p = ReadU16(e);
            l.table[i] = p < 20 ? kDefaultPalette[p] : qRgb(p & 0xFF, p & 0xFF, p & 0xFF);
        } else {
            l.table[i] = qRgb(e[2], e[1], e[0]);
        }
    }
    return true;
}

// Marks which pixels the data gave; empty while all of them are known to.
class Coverage {
  public:
    Coverage(int w, int h) : w_(w), h_(h) {}
    void StartEmpty() { px_.assign(size_t(w_) * size_t(h_), 0); }
    bool Complete() const { return px_.empty(); }
    void Set(int x, int row) {
        if (!px_.empty()) px_[size_t(row) * size_t(w_) + size_t(x)] = 1;
    }
    bool Has(int x, int row) const {
        return px_.empty() || px_[size_t(row) * size_t(w_) + size_t(x)] != 0;
    }
    // Every pixel of rows [0, rows) is known; the rest are not.
    void RowsPresent(int rows, bool topDown) {
        if (rows >= h_) return;
        StartEmpty();
        for (int r = 0; r < rows; ++r) {
            int row = topDown ? r : h_ - 1 - r;
            std::memset(&px_[size_t(row) * size_t(w_)], 1, size_t(w_));
        }
    }

  private:
    int w_, h_;
    std::vector<uint8_t> px_;
};

uint64_t Stride(const DibInfo& in) {
    return (uint64_t(in.width) * in.bitCount + 31) / 32 * 4;
}

QImage NewImage(int w, int h, QImage::Format f, QString* why) {
    QImage img(w, h, f);
    if (img.isNull()) Fail(why, QStringLiteral("no memory for a %1x%2 bitmap").arg(w).arg(h));
    return img;
}

// Number of whole rows the uncompressed bits hold; 0 after saying why.
int RowsInBits(const DibInfo& in, size_t bitsSize, QString* why) {
    const uint64_t stride = Stride(in);
    const uint64_t rows = std::min<uint64_t>(bitsSize / stride, uint64_t(in.height));
    if (rows == 0)
        Fail(why, QStringLiteral("the bitmap's %1 bytes of bits do not hold one row of %2 bytes")
                      .arg(bitsSize)
                      .arg(stride));
    return int(rows);
}

// Run-length decoding (BI_RLE8 and BI_RLE4) into an index image. Every step
// consumes at least two bytes, and nothing is written outside the image:
// runs past the end of a row are cut, deltas and line ends past the last
// row stop the decoding.
void DecodeRle(const Layout& l, const uint8_t* bits, size_t n, QImage& idx, Coverage& cov) {
    const int w = l.info.width, h = l.info.height;
    const bool four = l.info.compression == BI_RLE4;
    cov.StartEmpty();
    idx.fill(0);
    int x = 0, y = 0;  // y counts rows in data order (from the bottom when bottom-up)
    auto put = [&](int value) {
        if (x < w) {
            int row = l.info.topDown ? y : h - 1 - y;
            idx.scanLine(row)[x] = uchar(value);
            cov.Set(x, row);
            ++x;
        }
    };
    size_t p = 0;
    while (p + 2 <= n && y < h) {
        const uint8_t count = bits[p], value = bits[p + 1];
        p += 2;
        if (count > 0) {
            const int hi = four ? value >> 4 : value, lo = four ? value & 0x0F : value;
            for (int i = 0; i < count && x < w; ++i)
                put(i % 2 == 0 ? hi : lo);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (p + 2 > n) break;
            x = std::min(w, x + bits[p]);
            y += bits[p + 1];
            p += 2;
        } else {  // literal run of value pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (size_t(value) + 1) / 2 : value;
            const size_t avail = std::min(bytes, n - p);
            for (size_t i = 0; i < avail && x < w; ++i) {
                if (four) {
                    put(bits[p + i] >> 4);
                    if (2 * i + 1 < value) put(bits[p + i] & 0x0F);
                } else {
                    put(bits[p + i]);
                }
            }
            p += std::min(n - p, (bytes + 1) & ~size_t(1));
        }
    }
}

// Indices of an uncompressed or run-length DIB of up to 8 bits per pixel.
bool DecodeIndices(const Layout& l, const uint8_t* bits, size_t bitsSize, QImage& idx,
                   Coverage& cov, QString* why) {
    const DibInfo& in = l.info;
    idx = NewImage(in.width, in.height, QImage::Format_Indexed8, why);
    if (idx.isNull()) return false;
    idx.setColorTable(l.table);
    if (in.compression == BI_RLE8 || in.compression == BI_RLE4) {
        DecodeRle(l, bits, bitsSize, idx, cov);
        return true;
    }
    const int rows = RowsInBits(in, bitsSize, why);
    if (rows == 0) return false;
    const uint64_t stride = Stride(in);
    const int w = in.width;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* src = bits + uint64_t(r) * stride;
        uchar* dst = idx.scanLine(in.topDown ? r : in.height - 1 - r);
        switch (in.bitCount) {
            case 8:
                std::memcpy(dst, src, size_t(w));
                break;
            case 4:
                for (int x = 0; x < w; ++x)
                    dst[x] = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
                break;
            default:
                for (int x = 0; x < w; ++x)
                    dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
                break;
        }
    }
    if (rows < in.height) {
        for (int r = rows; r < in.height; ++r)
            std::memset(idx.scanLine(in.topDown ? r : in.height - 1 - r), 0, size_t(w));
        cov.RowsPresent(rows, in.topDown);
    }
    return true;
}

QImage ColoursFromIndices(const Layout& l, const QImage& idx, const Coverage& cov, QString* why) {
    const int w = idx.width(), h = idx.height();
    QImage out = NewImage(
        w, h, cov.Complete() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied, why);
    if (out.isNull()) return out;
    const QRgb* table = l.table.constData();  // 2^bitCount entries: every index has one
    for (int y = 0; y < h; ++y) {
        const uchar* src = idx.constScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = cov.Has(x, y) ? table[src[x]] : 0;
    }
    return out;
}

// 16-, 24- and 32-bit pixels.
QImage DecodeDirect(const Layout& l, const uint8_t* bits, size_t bitsSize, QString* why) {
    const DibInfo& in = l.info;
    const int rows = RowsInBits(in, bitsSize, why);
    if (rows == 0) return QImage();
    QImage img = NewImage(in.width, in.height, QImage::Format_ARGB32, why);
    if (img.isNull()) return img;
    img.fill(0);
    const uint64_t stride = Stride(in);
    const int w = in.width;
    bool anyAlpha = false;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* src = bits + uint64_t(r) * stride;
        auto* dst = reinterpret_cast<QRgb*>(img.scanLine(in.topDown ? r : in.height - 1 - r));
        for (int x = 0; x < w; ++x) {
            if (in.bitCount == 24) {
                const uint8_t* p = src + 3 * x;
                dst[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            const uint32_t v = in.bitCount == 16 ? ReadU16(src + 2 * x) : ReadU32(src + 4 * x);
            int a = 255;
            if (l.alpha == AlphaSource::Mask) a = l.a.Get(v);
            if (l.alpha == AlphaSource::TopByte) a = int(v >> 24);
            anyAlpha |= a != 0;
            dst[x] = qRgba(l.r.Get(v), l.g.Get(v), l.b.Get(v), a);
        }
    }

    // Decide what the alpha values mean. An all-zero channel is an opaque
    // picture. A top byte is premultiplied alpha only if no colour exceeds
    // it; otherwise it is not alpha at all and the picture is opaque.
    bool opaque = l.alpha == AlphaSource::None || !anyAlpha;
    if (!opaque && l.alpha == AlphaSource::TopByte) {
        for (int r = 0; r < rows && !opaque; ++r) {
            const auto* line = reinterpret_cast<const QRgb*>(
                img.constScanLine(in.topDown ? r : in.height - 1 - r));
            for (int x = 0; x < w; ++x) {
                const QRgb c = line[x];
                if (std::max({qRed(c), qGreen(c), qBlue(c)}) > qAlpha(c)) {
                    opaque = true;
                    break;
                }
            }
        }
    }
    if (opaque && l.alpha != AlphaSource::None) {
        for (int r = 0; r < rows; ++r) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(in.topDown ? r : in.height - 1 - r));
            for (int x = 0; x < w; ++x)
                line[x] |= 0xFF000000u;
        }
    }
    // Rows the bits do not reach stay transparent (all zero).
    if (opaque && rows == in.height)
        img.reinterpretAsFormat(QImage::Format_RGB32);
    else if (opaque || l.alpha == AlphaSource::TopByte)
        img.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return img;
}

// Reads an image file of the given format from memory, refusing sizes beyond
// the limits before any pixel memory is taken.
QImage ReadImageFile(const QByteArray& data, const char* format, QString* why) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(int(kMaxDibPixels * 4 / (1024 * 1024)) + 1);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxDibSide || size.height() > kMaxDibSide ||
                           int64_t(size.width()) * size.height() > kMaxDibPixels)) {
        Fail(why, QStringLiteral("the bitmap's %1 image of %2x%3 is too large")
                      .arg(QLatin1String(format))
                      .arg(size.width())
                      .arg(size.height()));
        return QImage();
    }
    QImage img;
    if (!reader.read(&img) || img.isNull()) {
        Fail(why, QStringLiteral("the bitmap's %1 image cannot be read: %2")
                      .arg(QLatin1String(format), reader.errorString()));
        return QImage();
    }
    return img;
}

// Some writers leave stray bytes between a PNG's last data chunk and its end
// chunk, which makes libpng give up after it has read every pixel. Keeps the
// chunks up to the first one that is not well formed and ends the file
// properly there; returns an empty array when there is nothing to keep.
QByteArray TrimPng(const QByteArray& png) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    static const char kEnd[] = "\0\0\0\0IEND\xae\x42\x60\x82";
    if (!png.startsWith(QByteArray::fromRawData(kSignature, 8))) return {};
    const auto* d = reinterpret_cast<const uint8_t*>(png.constData());
    const size_t n = size_t(png.size());
    size_t p = 8;
    bool data = false;
    while (n - p >= 12) {
        const uint32_t len = uint32_t(d[p]) << 24 | uint32_t(d[p + 1]) << 16 |
                             uint32_t(d[p + 2]) << 8 | uint32_t(d[p + 3]);
        const uint8_t* type = d + p + 4;
        const bool letters = std::all_of(type, type + 4, [](uint8_t c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
        if (!letters || len > n - p - 12 || std::memcmp(type, "IEND", 4) == 0) break;
        data |= std::memcmp(type, "IDAT", 4) == 0;
        p += 12 + size_t(len);
    }
    if (!data) return {};
    return png.left(qsizetype(p)) + QByteArray::fromRawData(kEnd, 12);
}

QImage DecodeEmbedded(const DibInfo& in, const uint8_t* bits, size_t bitsSize, QString* why) {
    const bool png = in.compression == BI_PNG;
    const char* format = png ? "png" : "jpeg";
    if (!bits || bitsSize == 0) {
        Fail(why, QStringLiteral("the bitmap's %1 data is missing").arg(QLatin1String(format)));
        return QImage();
    }
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bits),
                                                    static_cast<qsizetype>(bitsSize));
    QImage img = ReadImageFile(data, format, why);
    if (img.isNull() && png) {
        const QByteArray trimmed = TrimPng(data);
        if (!trimmed.isEmpty() && trimmed != data) {
            QString again;
            img = ReadImageFile(trimmed, format, &again);
        }
    }
    if (img.isNull()) return img;
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                     : QImage::Format_RGB32);
}

}  // namespace

bool ReadDibInfo(const uint8_t* bmi, size_t bmiSize, DibInfo& out, QString* why) {
    out = DibInfo();
    if (!bmi || bmiSize < 4)
        return Fail(why, QStringLiteral("the bitmap header is missing (%1 bytes)").arg(bmiSize));
    const uint32_t hs = ReadU32(bmi);
    int64_t width = 0, height = 0;
    if (hs == 12) {
        if (bmiSize < 12)
            return Fail(why,
                        QStringLiteral("the bitmap header of 12 bytes has only %1").arg(bmiSize));
        width = ReadU16(bmi + 4);
        height = ReadU16(bmi + 6);
        out.bitCount = ReadU16(bmi + 10);
        out.compression = BI_RGB;
    } else if (hs >= 40) {
        if (hs > bmiSize)
            return Fail(
                why,
                QStringLiteral("the bitmap header of %1 bytes has only %2").arg(hs).arg(bmiSize));
        width = ReadI32(bmi + 4);
        height = ReadI32(bmi + 8);
        out.bitCount = ReadU16(bmi + 14);
        out.compression = ReadU32(bmi + 16);
    } else {
        return Fail(why, QStringLiteral("bitmap header size %1 is unknown").arg(hs));
    }
    out.headerSize = hs;
    out.topDown = height < 0;
    if (height < 0) height = -height;
    if (width <= 0 || height == 0)
        return Fail(why, QStringLiteral("bitmap size %1x%2 is impossible").arg(width).arg(height));
    if (width > kMaxDibSide || height > kMaxDibSide || width * height > kMaxDibPixels)
        return Fail(why, QStringLiteral("bitmap size %1x%2 is too large").arg(width).arg(height));
    out.width = int32_t(width);
    out.height = int32_t(height);

    const uint16_t bc = out.bitCount;
    bool ok = false;
    switch (out.compression) {
        case BI_RGB:
            ok = bc == 1 || bc == 4 || bc == 8 || bc == 16 || bc == 24 || bc == 32;
            break;
        case BI_RLE8:
            ok = bc == 8;
            break;
        case BI_RLE4:
            ok = bc == 4;
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            ok = bc == 16 || bc == 32;
            break;
        case BI_JPEG:
        case BI_PNG:
            ok = true;
            break;
        default:
            return Fail(
                why, QStringLiteral("bitmap compression %1 is not supported").arg(out.compression));
    }
    if (!ok)
        return Fail(why,
                    QStringLiteral("bitmap compression %1 with %2 bits per pixel is impossible")
                        .arg(out.compression)
                        .arg(bc));
    return true;
}

QImage DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize,
                 uint32_t usage, QString* why) {
    Layout l;
    if (!ReadLayout(bmi, bmiSize, usage, l, why)) return QImage();
    if (!bits) bitsSize = 0;
    if (l.info.compression == BI_JPEG || l.info.compression == BI_PNG)
        return DecodeEmbedded(l.info, bits, bitsSize, why);
    if (l.info.bitCount > 8) return DecodeDirect(l, bits, bitsSize, why);
    QImage idx;
    Coverage cov(l.info.width, l.info.height);
    if (!DecodeIndices(l, bits, bitsSize, idx, cov, why)) return QImage();
    return ColoursFromIndices(l, idx, cov, why);
}

QImage DecodeDibIndices(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize,
                        uint32_t usage, QString* why) {
    Layout l;
    if (!ReadLayout(bmi, bmiSize, usage, l, why)) return QImage();
    if (l.info.bitCount == 0 || l.info.bitCount > 8 || l.info.compression == BI_JPEG ||
        l.info.compression == BI_PNG) {
        Fail(why, QStringLiteral("a bitmap of %1 bits per pixel has no colour indices")
                      .arg(l.info.bitCount));
        return QImage();
    }
    if (!bits) bitsSize = 0;
    QImage idx;
    Coverage cov(l.info.width, l.info.height);
    if (!DecodeIndices(l, bits, bitsSize, idx, cov, why)) return QImage();
    return idx;
}

}  // namespace emf
