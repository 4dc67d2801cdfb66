// The output device between the metafile player and whatever draws: a small
// set of calls (transform, clip, shape, text run, image, save and restore)
// that a parsed picture replays. PainterDevice draws them with a QPainter
// (screen, image, printer, PDF, SVG); TraceDevice writes one line per call.
//
// Coordinates: a picture's drawing happens in its reference space, the
// pixels of the device it was recorded for (the frame, converted to those
// pixels, is what a target rectangle receives). Shapes and images are given
// in logical units together with the transform from logical units to
// reference pixels; clip shapes and text runs carry their own placement in
// reference pixels.
#pragma once

#include <QColor>
#include <QGlyphRun>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTransform>

namespace emf {

// A shape to fill and/or outline, in the logical units of the current
// transform.
struct Shape {
    enum Kind : uint8_t { Rect, Ellipse, Polygon, Polyline, Path };
    Kind kind = Rect;
    QRectF rect;        // Rect, Ellipse
    QPolygonF points;   // Polygon (closed), Polyline (open)
    QPainterPath path;  // Path
};

// How a shape is painted: the pen outlines it (Qt::NoPen: no outline), the
// brush fills it (Qt::NoBrush: no fill).
struct Paint {
    QPen pen{Qt::NoPen};
    QBrush brush{Qt::NoBrush};
    Qt::FillRule fillRule = Qt::OddEvenFill;
    // When valid, the gaps of hatched brushes and dashed pens take this
    // colour (the DC's OPAQUE background mode); otherwise they stay clear.
    QColor background;
    // The raster operation as a composition mode; devices that cannot do
    // raster operations fall back to the nearest blend (see PainterDevice).
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
};

// A line of text: glyphs positioned one by one (each where the metafile's
// advance array puts it), in run coordinates: x along the baseline, y down,
// the first glyph's baseline origin at (0, 0) after alignment.
struct TextRun {
    QTransform toReference;   // run coordinates -> reference pixels
    QList<QGlyphRun> glyphs;  // one per font used (the main one, fallbacks)
    QString text;             // the characters, for traces and text export
    QString family;           // the installed family standing in for the face
    QColor color;
    // Underline and strike-out bars, in run coordinates, in the text colour.
    QList<QRectF> decorations;
    // When not empty, the glyphs are clipped to this polygon (reference
    // pixels): the ETO_CLIPPED rectangle.
    QPolygonF clip;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
};

// A bitmap drawn into a rectangle given in logical units.
struct ImageDraw {
    QImage image;
    QRectF target;  // logical units; may be mirrored by the transform only
    QRectF source;  // image pixels
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    qreal opacity = 1.0;
    bool smooth = false;  // smooth scaling (HALFTONE stretch mode)
};

// A clip shape in reference pixels; a rectangle is kept as one so that
// devices can use their fast path.
struct Clip {
    bool isRect = true;
    QRectF rect;
    QPainterPath path;  // when !isRect
};

class Device {
  public:
    virtual ~Device() = default;
    // The transform from the logical units of the shapes and images that
    // follow to reference pixels.
    virtual void SetTransform(const QTransform& toReference) = 0;
    // The clip for what follows, in reference pixels; nullptr: no clip other
    // than the picture's frame.
    virtual void SetClip(const Clip* clip) = 0;
    // Fills and/or strokes a shape (one call, so that a filled and outlined
    // rectangle costs one drawing operation, as it does with QPainter).
    virtual void DrawShape(const Shape& shape, const Paint& paint) = 0;
    virtual void DrawText(const TextRun& run) = 0;
    virtual void DrawImage(const ImageDraw& image) = 0;
    virtual void Save() = 0;
    virtual void Restore() = 0;
};

}  // namespace emf
