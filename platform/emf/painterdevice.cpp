#include "platform/emf/painterdevice.h"

#include <QPaintEngine>
#include <cmath>

namespace emf {

PainterDevice::PainterDevice(QPainter& painter, const QTransform& fit, const QRectF& frame)
    : p_(painter), fit_(fit), frame_(frame) {
    if (QPaintEngine* e = painter.paintEngine()) {
        rasterOps_ = e->hasFeature(QPaintEngine::RasterOpModes);
        blendModes_ = e->hasFeature(QPaintEngine::BlendModes);
    }
}

void PainterDevice::Forget() {
    stateKnown_ = false;
    xformApplied_ = false;
}

void PainterDevice::Save() {
    p_.save();
    p_.setTransform(fit_);
    p_.setClipRect(frame_, Qt::IntersectClip);
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.save();  // the level SetClip returns to
    levels_ += 2;
    Forget();
}

void PainterDevice::Restore() {
    for (; levels_ > 0; --levels_)
        p_.restore();
    Forget();
}

void PainterDevice::SetTransform(const QTransform& toReference) {
    xform_ = toReference;
    xformApplied_ = false;
}

void PainterDevice::ApplyTransform() {
    if (!xformApplied_) {
        p_.setTransform(xform_ * fit_);
        xformApplied_ = true;
    }
}

void PainterDevice::SetClip(const Clip* clip) {
    if (levels_ >= 2) {
        p_.restore();
        p_.save();
    }
    Forget();
    if (!clip) return;
    p_.setTransform(fit_);
    if (clip->isRect)
        p_.setClipRect(clip->rect, Qt::IntersectClip);
    else
        p_.setClipPath(clip->path, Qt::IntersectClip);
}

QPainter::CompositionMode PainterDevice::Supported(QPainter::CompositionMode mode) const {
    if (mode < QPainter::RasterOp_SourceOrDestination || rasterOps_) return mode;
    // No raster operations here (printers, PDF, SVG): the nearest blend for
    // the black-and-white cases reports use them for, else plain drawing.
    if (!blendModes_) return QPainter::CompositionMode_SourceOver;
    switch (mode) {
        case QPainter::RasterOp_SourceAndDestination:
            return QPainter::CompositionMode_Multiply;
        case QPainter::RasterOp_SourceOrDestination:
            return QPainter::CompositionMode_Lighten;
        case QPainter::RasterOp_SourceXorDestination:
        case QPainter::RasterOp_NotDestination:
            return QPainter::CompositionMode_Difference;
        default:
            return QPainter::CompositionMode_SourceOver;
    }
}

void PainterDevice::SetMode(QPainter::CompositionMode mode) {
    mode = Supported(mode);
    if (!stateKnown_ || mode != mode_) {
        p_.setCompositionMode(mode);
        mode_ = mode;
    }
}

void PainterDevice::DrawShape(const Shape& shape, const Paint& paint) {
    ApplyTransform();
    if (!stateKnown_) {
        p_.setPen(paint.pen);
        p_.setBrush(paint.brush);
        p_.setCompositionMode(Supported(paint.mode));
        mode_ = Supported(paint.mode);
        pen_ = paint.pen;
        brush_ = paint.brush;
        background_ = QColor();
        p_.setBackgroundMode(Qt::TransparentMode);
        stateKnown_ = true;
    } else {
        if (!(paint.pen == pen_)) {
            p_.setPen(paint.pen);
            pen_ = paint.pen;
        }
        if (!(paint.brush == brush_)) {
            p_.setBrush(paint.brush);
            brush_ = paint.brush;
        }
        SetMode(paint.mode);
    }
    // The background colour matters only for hatch and dash gaps.
    const bool gaps =
        (paint.brush.style() >= Qt::HorPattern && paint.brush.style() <= Qt::DiagCrossPattern) ||
        (paint.pen.style() != Qt::NoPen && paint.pen.style() != Qt::SolidLine);
    if (gaps && paint.background != background_) {
        if (paint.background.isValid()) {
            p_.setBackgroundMode(Qt::OpaqueMode);
            p_.setBackground(paint.background);
        } else {
            p_.setBackgroundMode(Qt::TransparentMode);
        }
        background_ = paint.background;
    }
    switch (shape.kind) {
        case Shape::Rect:
            p_.drawRect(shape.rect);
            break;
        case Shape::Ellipse:
            p_.drawEllipse(shape.rect);
            break;
        case Shape::Polygon:
            p_.drawPolygon(shape.points, paint.fillRule);
            break;
        case Shape::Polyline:
            p_.drawPolyline(shape.points);
            break;
        case Shape::Path:
            if (shape.path.fillRule() != paint.fillRule) {
                QPainterPath path = shape.path;
                path.setFillRule(paint.fillRule);
                p_.drawPath(path);
            } else {
                p_.drawPath(shape.path);
            }
            break;
    }
}

void PainterDevice::DrawText(const TextRun& run) {
    const bool clipped = !run.clip.isEmpty();
    if (clipped) {
        p_.save();
        p_.setTransform(fit_);
        QPainterPath clip;
        clip.addPolygon(run.clip);
        clip.closeSubpath();
        p_.setClipPath(clip, Qt::IntersectClip);
    }
    p_.setTransform(run.toReference * fit_);
    xformApplied_ = false;
    SetMode(run.mode);
    if (!stateKnown_ || pen_.color() != run.color || pen_.style() != Qt::SolidLine ||
        pen_.widthF() != 0) {
        pen_ = QPen(run.color, 0);
        p_.setPen(pen_);
    }
    if (!stateKnown_) {
        brush_ = p_.brush();
        background_ = QColor();
        p_.setBackgroundMode(Qt::TransparentMode);
        stateKnown_ = true;
    }
    // Qt caches the glyphs of a run as bitmaps sized by the transform's
    // average scale: text stretched far more on one axis than the other, or
    // drawn very large, would make that cache enormous. Such runs are
    // filled as outlines instead.
    const QTransform& t = p_.transform();
    const qreal sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
    if (!(sx > 0) || !(sy > 0)) {
        // A transform that flattens the text draws nothing visible.
    } else {
        for (const QGlyphRun& g : run.glyphs) {
            const qreal devicePixels = g.rawFont().pixelSize() * std::max(sx, sy);
            if (std::max(sx, sy) / std::min(sx, sy) <= 4 && devicePixels <= 512) {
                p_.drawGlyphRun(QPointF(0, 0), g);
                continue;
            }
            // Outlines are taken at a moderate size and scaled: a font engine
            // without outlines traces a bitmap of the glyph at its own size.
            QRawFont font = g.rawFont();
            const qreal size = font.pixelSize();
            const qreal outlineSize = std::min<qreal>(size, 256);
            if (!(outlineSize > 0)) continue;
            font.setPixelSize(outlineSize);
            if (!font.isValid()) continue;
            const QTransform grow = QTransform::fromScale(size / outlineSize, size / outlineSize);
            const QList<quint32> indexes = g.glyphIndexes();
            const QList<QPointF> positions = g.positions();
            QPainterPath outline;
            for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i)
                outline.addPath(grow.map(font.pathForGlyph(indexes[i])).translated(positions[i]));
            p_.fillPath(outline, run.color);
        }
    }
    for (const QRectF& bar : run.decorations)
        p_.fillRect(bar, run.color);
    if (clipped) {
        p_.restore();
        Forget();
    }
}

void PainterDevice::DrawImage(const ImageDraw& image) {
    ApplyTransform();
    SetMode(image.mode);
    // Smooth scaling where the bitmap shrinks, or where the metafile asks
    // for it; enlarged bitmaps keep their pixels crisp.
    const QRectF onDevice = p_.transform().mapRect(image.target);
    const bool smooth = image.smooth || onDevice.width() < image.source.width() * 0.999 ||
                        onDevice.height() < image.source.height() * 0.999;
    p_.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (image.opacity < 1) p_.setOpacity(std::max<qreal>(0, image.opacity));
    p_.drawImage(image.target, image.image, image.source);
    if (image.opacity < 1) p_.setOpacity(1);
}

}  // namespace emf
