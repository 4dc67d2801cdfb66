#include "platform/emf/tracedevice.h"

#include <QRawFont>
#include <cmath>

namespace emf {

namespace {

QString ModeText(QPainter::CompositionMode m) {
    switch (m) {
        case QPainter::CompositionMode_SourceOver:
            return QString();
        case QPainter::RasterOp_SourceOrDestination:
            return QStringLiteral(" rop=S|D");
        case QPainter::RasterOp_SourceAndDestination:
            return QStringLiteral(" rop=S&D");
        case QPainter::RasterOp_SourceXorDestination:
            return QStringLiteral(" rop=S^D");
        case QPainter::RasterOp_NotDestination:
            return QStringLiteral(" rop=~D");
        case QPainter::RasterOp_NotSource:
            return QStringLiteral(" rop=~S");
        default:
            return QStringLiteral(" rop=%1").arg(int(m));
    }
}

QString Points(const QPolygonF& pts) {
    QStringList parts;
    const qsizetype shown = std::min<qsizetype>(pts.size(), 8);
    for (qsizetype i = 0; i < shown; ++i)
        parts << TraceDevice::Number(pts[i].x()) + QLatin1Char(',') +
                     TraceDevice::Number(pts[i].y());
    QString s = parts.join(QLatin1Char(' '));
    if (pts.size() > shown) s += QStringLiteral(" ...(%1 points)").arg(pts.size());
    return s;
}

QString Color(const QColor& c) {
    return c.name(QColor::HexRgb);
}

}  // namespace

QString TraceDevice::Number(double v) {
    if (std::fabs(v) < 5e-4) v = 0;
    QString s = QString::number(v, 'f', 3);
    while (s.contains(QLatin1Char('.')) &&
           (s.endsWith(QLatin1Char('0')) || s.endsWith(QLatin1Char('.'))))
        s.chop(1);
    return s;
}

QString TraceDevice::Rect(const QRectF& r) {
    return QStringLiteral("%1,%2 %3x%4")
        .arg(Number(r.x()), Number(r.y()), Number(r.width()), Number(r.height()));
}

QString TraceDevice::PenText(const QPen& pen) {
    if (pen.style() == Qt::NoPen) return QStringLiteral("none");
    QString s = Color(pen.color());
    s += pen.isCosmetic() && pen.widthF() == 0 ? QStringLiteral(" 1px")
                                               : QStringLiteral(" w") + Number(pen.widthF());
    if (pen.style() == Qt::CustomDashLine) {
        QStringList d;
        for (qreal v : pen.dashPattern())
            d << Number(v);
        s += QStringLiteral(" dash(") + d.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    if (!(pen.isCosmetic() && pen.widthF() == 0)) {
        static const char* caps[] = {"flat", "square", "round"};
        static const char* joins[] = {"miter", "bevel", "round"};
        const int cap = pen.capStyle() == Qt::FlatCap ? 0 : pen.capStyle() == Qt::SquareCap ? 1 : 2;
        const int join = pen.joinStyle() == Qt::BevelJoin   ? 1
                         : pen.joinStyle() == Qt::RoundJoin ? 2
                                                            : 0;
        s += QStringLiteral(" %1/%2").arg(QLatin1String(caps[cap]), QLatin1String(joins[join]));
    }
    return s;
}

QString TraceDevice::BrushText(const QBrush& brush) {
    switch (brush.style()) {
        case Qt::NoBrush:
            return QStringLiteral("none");
        case Qt::SolidPattern:
            return Color(brush.color());
        case Qt::TexturePattern:
            return QStringLiteral("pattern %1x%2")
                .arg(brush.textureImage().width())
                .arg(brush.textureImage().height());
        case Qt::LinearGradientPattern:
            return QStringLiteral("gradient");
        case Qt::HorPattern:
        case Qt::VerPattern:
        case Qt::CrossPattern:
        case Qt::BDiagPattern:
        case Qt::FDiagPattern:
        case Qt::DiagCrossPattern: {
            static const char* names[] = {"horizontal", "vertical",  "cross",
                                          "bdiagonal",  "fdiagonal", "diagcross"};
            return QStringLiteral("hatch-%1 %2")
                .arg(QLatin1String(names[brush.style() - Qt::HorPattern]), Color(brush.color()));
        }
        default:
            return QStringLiteral("style%1 %2").arg(int(brush.style())).arg(Color(brush.color()));
    }
}

void TraceDevice::SetTransform(const QTransform& t) {
    lines_ << QStringLiteral("transform [%1 %2 %3 %4 %5 %6]")
                  .arg(Number(t.m11()), Number(t.m12()), Number(t.m21()), Number(t.m22()),
                       Number(t.dx()), Number(t.dy()));
}

void TraceDevice::SetClip(const Clip* clip) {
    if (!clip)
        lines_ << QStringLiteral("clip none");
    else if (clip->isRect)
        lines_ << QStringLiteral("clip rect %1").arg(Rect(clip->rect));
    else
        lines_ << QStringLiteral("clip path %1").arg(Rect(clip->path.boundingRect()));
}

void TraceDevice::DrawShape(const Shape& shape, const Paint& paint) {
    QString geometry;
    switch (shape.kind) {
        case Shape::Rect:
            geometry = QStringLiteral("rect ") + Rect(shape.rect);
            break;
        case Shape::Ellipse:
            geometry = QStringLiteral("ellipse ") + Rect(shape.rect);
            break;
        case Shape::Polygon:
            geometry = QStringLiteral("polygon ") + Points(shape.points);
            break;
        case Shape::Polyline:
            geometry = QStringLiteral("polyline ") + Points(shape.points);
            break;
        case Shape::Path:
            geometry = QStringLiteral("path %1 elements in %2")
                           .arg(shape.path.elementCount())
                           .arg(Rect(shape.path.controlPointRect()));
            break;
    }
    QString line = geometry + QStringLiteral(" pen=") + PenText(paint.pen) +
                   QStringLiteral(" brush=") + BrushText(paint.brush);
    if (paint.brush.style() != Qt::NoBrush && shape.kind != Shape::Rect &&
        shape.kind != Shape::Ellipse && paint.fillRule == Qt::WindingFill)
        line += QStringLiteral(" winding");
    const bool gaps =
        paint.brush.style() >= Qt::HorPattern && paint.brush.style() <= Qt::DiagCrossPattern;
    if (gaps && paint.background.isValid())
        line += QStringLiteral(" bg=") + Color(paint.background);
    line += ModeText(paint.mode);
    lines_ << line;
}

void TraceDevice::DrawText(const TextRun& run) {
    const QPointF o = run.toReference.map(QPointF(0, 0));
    // The family comes from the run: a fallback font's engine may not
    // know its own family name.
    QString fonts = run.family;
    if (!run.glyphs.isEmpty())
        fonts += QLatin1Char(' ') + Number(run.glyphs.first().rawFont().pixelSize()) +
                 QStringLiteral("px");
    if (run.glyphs.size() > 1) fonts += QStringLiteral(" +%1 fallback").arg(run.glyphs.size() - 1);
    QString line = QStringLiteral("text \"%1\" at %2,%3 font=%4 color=%5")
                       .arg(run.text, Number(o.x()), Number(o.y()), fonts, Color(run.color));
    if (!run.glyphs.isEmpty() && !run.glyphs.first().positions().isEmpty()) {
        QStringList xs;
        const QList<QPointF> pos = run.glyphs.first().positions();
        for (qsizetype i = 0; i < std::min<qsizetype>(pos.size(), 8); ++i) {
            const QPointF p = run.toReference.map(pos[i]);
            xs << Number(p.x()) + QLatin1Char(',') + Number(p.y());
        }
        line += QStringLiteral(" glyphs=") + xs.join(QLatin1Char(' '));
    }
    const double angle = std::atan2(run.toReference.m12(), run.toReference.m11()) * 180 / M_PI;
    if (std::fabs(angle) > 1e-3) line += QStringLiteral(" angle=") + Number(-angle);
    if (!run.decorations.isEmpty()) line += QStringLiteral(" bars=%1").arg(run.decorations.size());
    if (!run.clip.isEmpty()) line += QStringLiteral(" clip=") + Rect(run.clip.boundingRect());
    lines_ << line;
}

void TraceDevice::DrawImage(const ImageDraw& image) {
    QString line = QStringLiteral("image %1x%2 src=%3 -> %4")
                       .arg(image.image.width())
                       .arg(image.image.height())
                       .arg(Rect(image.source), Rect(image.target));
    if (image.opacity < 1) line += QStringLiteral(" opacity=") + Number(image.opacity);
    if (image.smooth) line += QStringLiteral(" smooth");
    line += ModeText(image.mode);
    lines_ << line;
}

void TraceDevice::Save() {
    lines_ << QStringLiteral("save");
}
void TraceDevice::Restore() {
    lines_ << QStringLiteral("restore");
}

}  // namespace emf
