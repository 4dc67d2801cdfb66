// Tiny metafiles built in the tests: a header for a picture of w x h
// reference pixels on a device of exactly 10 pixels per millimetre (so the
// frame maps onto a w x h image one to one), the records the test adds, and
// EMR_EOF.
#pragma once

#include "platform/emf/header.h"
#include "platform/emf/records.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>

// Readable test failures for strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace emftest {

// The fields of one record after its type and size.
class Rec {
  public:
    explicit Rec(uint32_t type) : type_(type) {}
    Rec& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            body_.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Rec& I32(int32_t v) { return U32(uint32_t(v)); }
    Rec& U16(uint16_t v) {
        body_.append(char(v & 0xFF));
        body_.append(char(v >> 8));
        return *this;
    }
    Rec& U8(uint8_t v) {
        body_.append(char(v));
        return *this;
    }
    Rec& F32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Rec& Words(std::initializer_list<int32_t> vs) {
        for (int32_t v : vs)
            I32(v);
        return *this;
    }
    Rec& Color(QColor c) { return U8(c.red()).U8(c.green()).U8(c.blue()).U8(0); }
    Rec& Bytes(const QByteArray& b) {
        body_.append(b);
        return *this;
    }
    Rec& Pad() {
        while (body_.size() % 4)
            body_.append('\0');
        return *this;
    }
    // The record as bytes; sizeOverride replaces the size field when not 0.
    QByteArray Encode(uint32_t sizeOverride = 0) const {
        QByteArray b;
        Rec head(type_);
        head.U32(type_);
        const uint32_t size = uint32_t(8 + body_.size());
        head.U32(sizeOverride ? sizeOverride : size);
        b = head.body_ + body_;
        return b;
    }
    qsizetype Size() const { return 8 + body_.size(); }

  private:
    uint32_t type_;
    QByteArray body_;
};

class EmfBuilder {
  public:
    EmfBuilder(int widthPx = 10, int heightPx = 10) : w_(widthPx), h_(heightPx) {}

    // The header's rclBounds (inclusive); by default the whole frame.
    EmfBuilder& Bounds(int l, int t, int r, int b) {
        bounds_ = {l, t, r, b};
        return *this;
    }

    EmfBuilder& Add(const Rec& r) {
        records_ += r.Encode();
        ++count_;
        return *this;
    }
    EmfBuilder& Raw(const QByteArray& bytes) {
        records_ += bytes;
        ++count_;
        return *this;
    }

    // Common records.
    EmfBuilder& Simple(uint32_t type, std::initializer_list<int32_t> words) {
        return Add(Rec(type).Words(words));
    }
    EmfBuilder& Brush(uint32_t ih, QColor c, uint32_t style = emf::BS_SOLID, uint32_t hatch = 0) {
        return Add(Rec(emf::EMR_CREATEBRUSHINDIRECT).U32(ih).U32(style).Color(c).U32(hatch));
    }
    EmfBuilder& Pen(uint32_t ih, QColor c, int32_t width = 0, uint32_t style = emf::PS_SOLID) {
        return Add(Rec(emf::EMR_CREATEPEN).U32(ih).U32(style).I32(width).I32(0).Color(c));
    }
    EmfBuilder& Select(uint32_t ih) { return Simple(emf::EMR_SELECTOBJECT, {int32_t(ih)}); }
    EmfBuilder& Rectangle(int l, int t, int r, int b) {
        return Simple(emf::EMR_RECTANGLE, {l, t, r, b});
    }
    // A solid fill of [l, r) x [t, b) in logical units with no outline.
    EmfBuilder& Fill(int l, int t, int r, int b, QColor c, uint32_t ih = 1) {
        Brush(ih, c);
        Select(ih);
        Select(emf::kStockObjectFlag | emf::NULL_PEN);
        // With the null pen a rectangle covers left..right-1: the box is
        // inclusive.
        return Rectangle(l, t, r, b);
    }
    EmfBuilder& Font(uint32_t ih, int32_t height, const QString& face, int32_t weight = 400,
                     int32_t escapement = 0, uint8_t charset = 0) {
        Rec r(emf::EMR_EXTCREATEFONTINDIRECTW);
        r.U32(ih).I32(height).I32(0).I32(escapement).I32(escapement).I32(weight);
        r.U8(0).U8(0).U8(0).U8(charset).U8(0).U8(0).U8(0).U8(0);
        for (int i = 0; i < 32; ++i)
            r.U16(i < face.size() ? face[i].unicode() : 0);
        return Add(r);
    }
    // EXTTEXTOUTW at (x, y) with the given codes and advances (none: no
    // advance array).
    EmfBuilder& Text(int x, int y, const QList<uint16_t>& codes, const QList<int32_t>& dx = {},
                     uint32_t options = 0, uint32_t graphicsMode = emf::GM_COMPATIBLE) {
        Rec r(emf::EMR_EXTTEXTOUTW);
        r.Words({0, 0, -1, -1}).U32(graphicsMode).F32(0).F32(0);
        r.I32(x).I32(y).U32(uint32_t(codes.size())).U32(76).U32(options);
        r.Words({0, 0, -1, -1});
        const uint32_t stringBytes = uint32_t((codes.size() * 2 + 3) / 4 * 4);
        r.U32(dx.isEmpty() ? 0 : 76 + stringBytes);
        for (uint16_t c : codes)
            r.U16(c);
        r.Pad();
        for (int32_t v : dx)
            r.I32(v);
        return Add(r);
    }
    static QList<uint16_t> Codes(const QString& s) {
        QList<uint16_t> out;
        for (QChar c : s)
            out << c.unicode();
        return out;
    }

    // The complete metafile.
    QByteArray Bytes(uint16_t handles = 16) const {
        QByteArray out(108, '\0');
        auto put = [&](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out[at + i] = char((v >> (8 * i)) & 0xFF);
        };
        const QByteArray eof = Rec(emf::EMR_EOF).U32(0).U32(16).U32(20).Encode();
        put(0, emf::EMR_HEADER);
        put(4, 108);
        const emf::RectL b =
            bounds_.right >= 0 || bounds_.left != 0 ? bounds_ : emf::RectL{0, 0, w_ - 1, h_ - 1};
        put(8, uint32_t(b.left));
        put(12, uint32_t(b.top));
        put(16, uint32_t(b.right));
        put(20, uint32_t(b.bottom));
        put(24, 0);
        put(28, 0);
        put(32, uint32_t(w_ * 10));  // 10 reference pixels per millimetre
        put(36, uint32_t(h_ * 10));
        put(40, emf::ENHMETA_SIGNATURE);
        put(44, 0x10000);
        put(48, uint32_t(108 + records_.size() + eof.size()));
        put(52, uint32_t(count_ + 2));
        put(56, handles);
        put(72, 1000);
        put(76, 1000);
        put(80, 100);
        put(84, 100);
        put(100, 100000);
        put(104, 100000);
        return out + records_ + eof;
    }

  private:
    int w_, h_;
    emf::RectL bounds_{0, 0, -1, -1};
    QByteArray records_;
    int count_ = 0;
};

// A 24-bit bottom-up DIB (BITMAPINFOHEADER then bits) of the given pixels,
// rows given top first.
inline QByteArray Dib24(const QList<QList<QRgb>>& rowsTopFirst, QByteArray* bitsOut) {
    const int h = int(rowsTopFirst.size());
    const int w = int(rowsTopFirst.first().size());
    Rec head(0);
    head.U32(40).I32(w).I32(h).U16(1).U16(24).U32(0).U32(0).I32(0).I32(0).U32(0).U32(0);
    QByteArray bits;
    for (int y = h - 1; y >= 0; --y) {
        for (QRgb p : rowsTopFirst[y]) {
            bits.append(char(qBlue(p)));
            bits.append(char(qGreen(p)));
            bits.append(char(qRed(p)));
        }
        while (bits.size() % 4)
            bits.append('\0');
    }
    *bitsOut = bits;
    return head.Encode().mid(8);
}

}  // namespace emftest
