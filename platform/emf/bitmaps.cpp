// Bitmap records: the blits (BITBLT, STRETCHBLT, MASKBLT, PLGBLT,
// TRANSPARENTBLT, ALPHABLEND) and the DIB records (STRETCHDIBITS,
// SETDIBITSTODEVICE). The DIBs they carry are decoded by DecodeDib; blits
// without a source are brush fills.
#include "platform/emf/dib.h"
#include "platform/emf/interpreter.h"

#include <cmath>

namespace emf {

QImage Interpreter::Dib(Reader& r, uint64_t offBmi, uint64_t cbBmi, uint64_t offBits,
                        uint64_t cbBits, uint32_t usage, bool indices, bool* bottomUp,
                        int* bitCount) {
    const uint8_t* bmi = cbBmi ? r.Bytes(offBmi, cbBmi) : nullptr;
    if (!bmi) {
        Note(QStringLiteral("the bitmap header does not fit in the record; skipped"));
        return QImage();
    }
    // Writers sometimes overstate the size of the bits: take what the
    // record holds (rows it lacks come out transparent).
    if (offBits > r.Size()) {
        Note(QStringLiteral("the bitmap bits lie outside the record; skipped"));
        return QImage();
    }
    cbBits = std::min<uint64_t>(cbBits, r.Size() - offBits);
    const uint8_t* bits = r.Bytes(offBits, cbBits);
    DibInfo info;
    QString why;
    if (!ReadDibInfo(bmi, size_t(cbBmi), info, &why)) {
        Note(QStringLiteral("bitmap not decoded: %1").arg(why));
        return QImage();
    }
    const uint64_t pixels = uint64_t(info.width) * uint64_t(info.height);
    if (pixelsUsed_ + pixels > kMaxPixelsPerPicture) {
        Note(QStringLiteral("the picture's bitmap budget is spent; skipped"));
        return QImage();
    }
    QImage img = indices ? DecodeDibIndices(bmi, size_t(cbBmi), bits, size_t(cbBits), usage, &why)
                         : DecodeDib(bmi, size_t(cbBmi), bits, size_t(cbBits), usage, &why);
    if (img.isNull()) {
        Note(QStringLiteral("bitmap not decoded: %1").arg(why));
        return QImage();
    }
    pixelsUsed_ += pixels;
    if (bottomUp) *bottomUp = !info.topDown;
    if (bitCount) *bitCount = info.bitCount;
    return img;
}

void Interpreter::PatBlt(const QRectF& dest, uint32_t rop) {
    QTransform t;
    if (!Xform(t)) return;
    Paint p;
    p.brush = ResolveBrush(s_.brush);
    if (s_.bkMode == BK_OPAQUE) p.background = s_.bkColor;
    // Brush against destination, whatever the operation's number.
    bool skip, black, white;
    p.mode = Rop2Composition(Rop3AsRop2(rop, false), &skip, &black, &white);
    if (skip) return;
    if (black || white) p.brush = QBrush(black ? Qt::black : Qt::white);
    if (p.mode == QPainter::RasterOp_NotDestination) p.brush = QBrush(Qt::white);
    if (p.mode == QPainter::RasterOp_NotSource && p.brush.style() == Qt::SolidPattern) {
        // The inverted brush, drawn plainly: the same on every device.
        const QColor c = p.brush.color();
        p.brush = QBrush(QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()));
        p.mode = QPainter::CompositionMode_SourceOver;
    }
    if (Rop3UsesSource(rop))
        Note(QStringLiteral("raster operation %1 needs a bitmap; drawn with the brush only")
                 .arg(rop, 8, 16, QChar('0')));
    if (p.brush.style() == Qt::NoBrush) return;
    Shape s;
    s.kind = Shape::Rect;
    s.rect = dest.normalized();
    EmitShape(std::move(s), p, CurrentXformIndex());
}

void Interpreter::DrawImage(QImage image, const QRectF& destIn, QRectF source, uint32_t rop,
                            qreal opacity) {
    if (!Rop3UsesSource(rop)) {
        PatBlt(destIn, rop);
        return;
    }
    QTransform t;
    if (!Xform(t)) return;
    QRectF dest = destIn;
    // Negative sizes mirror the picture.
    if (dest.width() < 0 || source.width() < 0) {
        if ((dest.width() < 0) != (source.width() < 0)) {
            image = image.mirrored(true, false);
            source.moveLeft(image.width() - source.left() - source.width());
            if (source.width() < 0)
                source = QRectF(source.x() + source.width(), source.y(), -source.width(),
                                source.height());
        }
        dest = QRectF(std::min(dest.left(), dest.right()), dest.y(), std::fabs(dest.width()),
                      dest.height());
        source = QRectF(std::min(source.left(), source.right()), source.y(),
                        std::fabs(source.width()), source.height());
    }
    if (dest.height() < 0 || source.height() < 0) {
        if ((dest.height() < 0) != (source.height() < 0)) {
            image = image.mirrored(false, true);
            source.moveTop(image.height() - source.top() - source.height());
        }
        dest = QRectF(dest.x(), std::min(dest.top(), dest.bottom()), dest.width(),
                      std::fabs(dest.height()));
        source = QRectF(source.x(), std::min(source.top(), source.bottom()), source.width(),
                        std::fabs(source.height()));
    }
    if (dest.isEmpty() || source.isEmpty()) return;
    // Only the part of the source inside the bitmap is drawn, onto the
    // matching part of the destination.
    const QRectF inside = source.intersected(QRectF(image.rect()));
    if (inside.isEmpty()) {
        Note(QStringLiteral("the source rectangle lies outside the bitmap; skipped"));
        return;
    }
    if (inside != source) {
        const double kx = dest.width() / source.width(), ky = dest.height() / source.height();
        dest = QRectF(dest.x() + (inside.x() - source.x()) * kx,
                      dest.y() + (inside.y() - source.y()) * ky, inside.width() * kx,
                      inside.height() * ky);
        source = inside;
    }

    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (!Rop3UsesPattern(rop)) {
        // Source against destination.
        bool skip, black, white;
        mode = Rop2Composition(Rop3AsRop2(rop, true), &skip, &black, &white);
        if (skip) return;
        if (black || white) {
            PatBlt(dest, black ? BLACKNESS : WHITENESS);
            return;
        }
        if (mode == QPainter::RasterOp_NotSource) {
            // An inverted copy: invert the bitmap, then copy it.
            image.invertPixels();
            mode = QPainter::CompositionMode_SourceOver;
        }
    } else if (Rop3Code(rop) == 0xC0) {  // MERGECOPY: source and brush
        const QColor c = s_.brush.style == BS_SOLID ? s_.brush.color : QColor(Qt::white);
        const QRgb mask = qRgb(c.red(), c.green(), c.blue());
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < image.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] &= mask | 0xFF000000u;
        }
    } else {
        Note(QStringLiteral("raster operation %1 drawn as a copy").arg(rop, 8, 16, QChar('0')));
    }
    ImageDraw draw;
    draw.image = std::move(image);
    draw.target = dest;
    draw.source = source;
    draw.mode = mode;
    draw.opacity = opacity;
    draw.smooth = s_.stretchMode == HALFTONE;
    const QRectF mapped = t.mapRect(dest);
    if (!WithinLimit(mapped)) {
        Note(QStringLiteral("bitmap far outside the page; skipped"));
        return;
    }
    if (!Room()) return;
    d_.images.push_back(std::move(draw));
    Emit(Op::kImage, uint32_t(d_.images.size() - 1), CurrentXformIndex());
}

void Interpreter::BitmapRecord(uint32_t type, Reader& r) {
    switch (type) {
        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_MASKBLT:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT: {
            const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
            const uint32_t rop = r.U32(40);
            const QPointF src(r.I32(44), r.I32(48));
            const uint32_t usage = r.U32(80);
            const uint32_t offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92),
                           cbBits = r.U32(96);
            if (cbBmi == 0) {
                if (type == EMR_BITBLT || type == EMR_STRETCHBLT || type == EMR_MASKBLT)
                    PatBlt(dest, type == EMR_MASKBLT ? (rop & 0x00FFFFFF) : rop);
                else
                    Note(QStringLiteral("no bitmap; skipped"));
                return;
            }
            QImage img = Dib(r, offBmi, cbBmi, offBits, cbBits, usage, false, nullptr, nullptr);
            if (img.isNull()) return;
            QSizeF srcSize(dest.width(), dest.height());
            if (type == EMR_STRETCHBLT || type == EMR_ALPHABLEND || type == EMR_TRANSPARENTBLT)
                srcSize = QSizeF(r.I32(100), r.I32(104));
            const QRectF source(src, srcSize);
            if (type == EMR_ALPHABLEND) {
                const uint8_t op = r.U8(40), sca = r.U8(42), format = r.U8(43);
                if (op != 0)
                    Note(QStringLiteral("blend operation %1 drawn as source over").arg(op));
                // Without per-pixel alpha the bitmap is opaque whatever its top
                // bytes hold.
                if (!(format & 1) && img.hasAlphaChannel())
                    img = img.convertToFormat(QImage::Format_RGB32);
                DrawImage(std::move(img), dest, source, SRCCOPY, sca / 255.0);
                return;
            }
            if (type == EMR_TRANSPARENTBLT) {
                const QRgb key = qRgb(r.U8(40), r.U8(41), r.U8(42));
                img = img.convertToFormat(QImage::Format_ARGB32);
                for (int y = 0; y < img.height(); ++y) {
                    QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                    for (int x = 0; x < img.width(); ++x)
                        if ((line[x] | 0xFF000000u) == key) line[x] = 0;
                }
                DrawImage(std::move(img), dest, source, SRCCOPY);
                return;
            }
            if (type == EMR_MASKBLT) {
                const uint32_t fore = rop & 0x00FFFFFF;
                const uint8_t back = uint8_t(rop >> 24);
                const uint32_t cbMask = r.U32(116);
                QImage mask;
                if (cbMask)
                    mask = Dib(r, r.U32(112), cbMask, r.U32(120), r.U32(124), r.U32(108), true,
                               nullptr, nullptr);
                const bool foreOnly = back == 0xAA && Rop3UsesSource(fore);
                const bool backOnly = Rop3Code(fore) == 0xAA && back != 0xAA;
                if (!mask.isNull() && (foreOnly || backOnly)) {
                    // The mask chooses where the source is drawn: 1 bits for the
                    // foreground operation, 0 bits for the background one.
                    const QPoint at(r.I32(100) - int(src.x()), r.I32(104) - int(src.y()));
                    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
                    for (int y = 0; y < img.height(); ++y) {
                        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                        const int my = y + at.y();
                        for (int x = 0; x < img.width(); ++x) {
                            const int mx = x + at.x();
                            bool on = mx >= 0 && my >= 0 && mx < mask.width() &&
                                      my < mask.height() && mask.pixelIndex(mx, my) != 0;
                            if (on != foreOnly) line[x] = 0;
                        }
                    }
                    DrawImage(std::move(img), dest, source,
                              foreOnly ? fore : (uint32_t(back) << 16) | 0x20);
                    return;
                }
                if (cbMask) Note(QStringLiteral("mask not applied"));
                DrawImage(std::move(img), dest, source, fore);
                return;
            }
            DrawImage(std::move(img), dest, source, rop);
            return;
        }
        case EMR_STRETCHDIBITS: {
            const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
            const int32_t xSrc = r.I32(32), ySrc = r.I32(36), cxSrc = r.I32(40), cySrc = r.I32(44);
            const uint32_t rop = r.U32(68);
            if (r.U32(52) == 0) {
                PatBlt(dest, rop);
                return;
            }
            bool bottomUp = false;
            QImage img = Dib(r, r.U32(48), r.U32(52), r.U32(56), r.U32(60), r.U32(64), false,
                             &bottomUp, nullptr);
            if (img.isNull()) return;
            // Source rows of a bottom-up bitmap count from its bottom.
            const double top = bottomUp ? double(img.height()) - ySrc - cySrc : ySrc;
            DrawImage(std::move(img), dest, QRectF(xSrc, top, cxSrc, cySrc), rop);
            return;
        }
        case EMR_SETDIBITSTODEVICE: {
            const int32_t xSrc = r.I32(32), ySrc = r.I32(36), cxSrc = r.I32(40), cySrc = r.I32(44);
            const QRectF dest(r.I32(24), r.I32(28), cxSrc, cySrc);
            const uint32_t startScan = r.U32(68);
            bool bottomUp = false;
            QImage img = Dib(r, r.U32(48), r.U32(52), r.U32(56), r.U32(60), r.U32(64), false,
                             &bottomUp, nullptr);
            if (img.isNull()) return;
            // The bits hold the scans from startScan on.
            const double top = bottomUp ? double(img.height()) - ySrc - cySrc + startScan
                                        : double(ySrc) - startScan;
            DrawImage(std::move(img), dest, QRectF(xSrc, top, cxSrc, cySrc), SRCCOPY);
            return;
        }
        case EMR_PLGBLT: {
            const QPointF p0 = r.PointL(24), p1 = r.PointL(32), p2 = r.PointL(40);
            const QRectF source(r.I32(48), r.I32(52), r.I32(56), r.I32(60));
            QImage img = Dib(r, r.U32(96), r.U32(100), r.U32(104), r.U32(108), r.U32(92), false,
                             nullptr, nullptr);
            if (img.isNull()) return;
            if (r.U32(128)) Note(QStringLiteral("mask not applied"));
            QTransform t;
            if (!Xform(t)) return;
            // The unit square onto the parallelogram, then the transform in force.
            const QTransform unit(p1.x() - p0.x(), p1.y() - p0.y(), p2.x() - p0.x(),
                                  p2.y() - p0.y(), p0.x(), p0.y());
            const QTransform full = unit * t;
            if (std::fabs(full.determinant()) < 1e-18) return;
            if (source.isEmpty()) return;
            ImageDraw draw;
            draw.image = std::move(img);
            draw.target = QRectF(0, 0, 1, 1);
            draw.source = source.intersected(QRectF(draw.image.rect()));
            draw.smooth = true;
            if (draw.source.isEmpty() || !WithinLimit(full.mapRect(draw.target))) return;
            if (!Room()) return;
            d_.xforms.push_back(full);
            const uint32_t xi = uint32_t(d_.xforms.size() - 1);
            d_.images.push_back(std::move(draw));
            Emit(Op::kImage, uint32_t(d_.images.size() - 1), xi);
            xformIndex_ = -1;  // the next shape pushes the transform in force again
            return;
        }
    }
}

}  // namespace emf
