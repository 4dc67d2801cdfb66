// The record interpreter: device-context state, objects, shapes, paths and
// clipping. Text is in text.cpp, bitmaps in bitmaps.cpp.
#include "platform/emf/interpreter.h"

#include "platform/emf/dib.h"

#include <QLinearGradient>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

namespace emf {

namespace {

// The smallest size each record needs for its fixed fields; a shorter record
// is skipped. Records not listed need only their 8-byte header.
uint32_t MinimumSize(uint32_t type) {
    switch (type) {
        case EMR_POLYBEZIER:
        case EMR_POLYGON:
        case EMR_POLYLINE:
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
        case EMR_POLYBEZIER16:
        case EMR_POLYGON16:
        case EMR_POLYLINE16:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16:
        case EMR_POLYDRAW:
        case EMR_POLYDRAW16:
            return 28;
        case EMR_POLYPOLYLINE:
        case EMR_POLYPOLYGON:
        case EMR_POLYPOLYLINE16:
        case EMR_POLYPOLYGON16:
            return 32;
        case EMR_SETWINDOWEXTEX:
        case EMR_SETWINDOWORGEX:
        case EMR_SETVIEWPORTEXTEX:
        case EMR_SETVIEWPORTORGEX:
        case EMR_SETBRUSHORGEX:
        case EMR_OFFSETCLIPRGN:
        case EMR_MOVETOEX:
        case EMR_LINETO:
            return 16;
        case EMR_SETPIXELV:
            return 20;
        case EMR_SETMAPPERFLAGS:
        case EMR_SETMAPMODE:
        case EMR_SETBKMODE:
        case EMR_SETPOLYFILLMODE:
        case EMR_SETROP2:
        case EMR_SETSTRETCHBLTMODE:
        case EMR_SETTEXTALIGN:
        case EMR_SETTEXTCOLOR:
        case EMR_SETBKCOLOR:
        case EMR_RESTOREDC:
        case EMR_SELECTOBJECT:
        case EMR_DELETEOBJECT:
        case EMR_SETARCDIRECTION:
        case EMR_SETMITERLIMIT:
        case EMR_SELECTCLIPPATH:
        case EMR_COMMENT:
        case EMR_SETLAYOUT:
            return 12;
        case EMR_EXCLUDECLIPRECT:
        case EMR_INTERSECTCLIPRECT:
        case EMR_SCALEVIEWPORTEXTEX:
        case EMR_SCALEWINDOWEXTEX:
        case EMR_CREATEBRUSHINDIRECT:
        case EMR_ELLIPSE:
        case EMR_RECTANGLE:
        case EMR_FILLPATH:
        case EMR_STROKEANDFILLPATH:
        case EMR_STROKEPATH:
            return 24;
        case EMR_SETWORLDTRANSFORM:
            return 32;
        case EMR_MODIFYWORLDTRANSFORM:
            return 36;
        case EMR_CREATEPEN:
        case EMR_ANGLEARC:
        case EMR_INVERTRGN:
        case EMR_PAINTRGN:
            return 28;
        case EMR_ROUNDRECT:
        case EMR_FILLRGN:
        case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT:
            return 32;
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO:
        case EMR_FRAMERGN:
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW:
            return 40;
        case EMR_EXTSELECTCLIPRGN:
            return 16;
        case EMR_BITBLT:
            return 100;
        case EMR_STRETCHBLT:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT:
            return 108;
        case EMR_MASKBLT:
            return 128;
        case EMR_PLGBLT:
            return 140;
        case EMR_SETDIBITSTODEVICE:
            return 76;
        case EMR_STRETCHDIBITS:
            return 80;
        case EMR_EXTCREATEFONTINDIRECTW:
            return 40;
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
            return 60;
        case EMR_EXTCREATEPEN:
            return 52;
        case EMR_SMALLTEXTOUT:
        case EMR_GRADIENTFILL:
            return 36;
        default:
            return 8;
    }
}

QColor ColorRef(Reader& r, uint64_t off) {
    return QColor(r.U8(off), r.U8(off + 1), r.U8(off + 2));
}

bool Finite(const QTransform& t) {
    const double v[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    for (double x : v)
        if (!std::isfinite(x) || std::fabs(x) > 1e12) return false;
    return true;
}

bool PenSpecEqual(const PenSpec& a, const PenSpec& b) {
    return a.style == b.style && a.width == b.width && a.color == b.color &&
           a.extended == b.extended && a.userStyle == b.userStyle;
}

LogFont StockFont(uint32_t n) {
    LogFont f;
    switch (n) {
        case ANSI_VAR_FONT:
            f.face = QStringLiteral("MS Sans Serif");
            f.height = 13;
            f.weight = 400;
            break;
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case SYSTEM_FIXED_FONT:
            f.face = QStringLiteral("Courier New");
            f.height = 13;
            f.weight = 400;
            f.pitchAndFamily = 0x31;
            break;
        case DEFAULT_GUI_FONT:
            f.face = QStringLiteral("MS Shell Dlg");
            f.height = -11;
            f.weight = 400;
            break;
        default:  // SYSTEM_FONT, DEVICE_DEFAULT_FONT
            f.face = QStringLiteral("System");
            f.height = 16;
            f.weight = 700;
            break;
    }
    return f;
}

}  // namespace

Interpreter::Interpreter(PictureData& d) : d_(d), h_(d.structure.header) {
    s_.font = StockFont(SYSTEM_FONT);
}

void Interpreter::Note(const QString& text) {
    if (d_.notes.size() >= kMaxNotes) {
        ++notesDropped_;
        return;
    }
    emf::Note n;
    n.record = recordIndex_;
    n.offset = record_ ? record_->offset : 0;
    n.type = record_ ? record_->type : 0;
    n.text = text;
    d_.notes.push_back(std::move(n));
}

void Interpreter::Run() {
    d_.xforms.push_back(QTransform());  // index 0: identity, for shapes in reference pixels
    const auto& records = d_.structure.records;
    for (size_t i = 1; i < records.size(); ++i) {
        const RecordView& rec = records[i];
        record_ = &rec;
        recordIndex_ = static_cast<uint32_t>(i);
        const uint32_t need = MinimumSize(rec.type);
        if (rec.size < need) {
            Note(QStringLiteral("%1 bytes is shorter than the %2 its fields need; skipped")
                     .arg(rec.size)
                     .arg(need));
            continue;
        }
        Reader r = rec.Read();
        Dispatch(rec, r);
        if (rec.type == EMR_EOF) break;
    }
    if (!d_.structure.endsWithEof) {
        record_ = nullptr;
        recordIndex_ = static_cast<uint32_t>(records.size());
        Note(QStringLiteral("the records end without EMR_EOF"));
    }
    if (notesDropped_) {
        record_ = nullptr;
        d_.notes.push_back(emf::Note{
            recordIndex_, 0, 0, QStringLiteral("%1 further notes left out").arg(notesDropped_)});
    }
}

void Interpreter::Dispatch(const RecordView& rec, Reader& r) {
    const uint32_t type = rec.type;
    switch (type) {
        case EMR_HEADER:
            Note(QStringLiteral("a second header record; skipped"));
            return;
        case EMR_EOF:
            return;
        case EMR_SETWINDOWEXTEX:
        case EMR_SETWINDOWORGEX:
        case EMR_SETVIEWPORTEXTEX:
        case EMR_SETVIEWPORTORGEX:
        case EMR_SETMAPMODE:
        case EMR_SCALEVIEWPORTEXTEX:
        case EMR_SCALEWINDOWEXTEX:
        case EMR_SETWORLDTRANSFORM:
        case EMR_MODIFYWORLDTRANSFORM:
        case EMR_SAVEDC:
        case EMR_RESTOREDC:
            MapRecord(type, r);
            return;
        case EMR_SETBKMODE:
            s_.bkMode = r.U32(8);
            return;
        case EMR_SETPOLYFILLMODE:
            s_.polyFillMode = r.U32(8);
            return;
        case EMR_SETROP2: {
            uint32_t v = r.U32(8);
            if (v >= R2_BLACK && v <= R2_WHITE)
                s_.rop2 = v;
            else
                Note(QStringLiteral("unknown raster operation %1; ignored").arg(v));
            return;
        }
        case EMR_SETSTRETCHBLTMODE:
            s_.stretchMode = r.U32(8);
            return;
        case EMR_SETTEXTALIGN:
            s_.textAlign = r.U32(8);
            return;
        case EMR_SETTEXTCOLOR:
            s_.textColor = ColorRef(r, 8);
            return;
        case EMR_SETBKCOLOR:
            s_.bkColor = ColorRef(r, 8);
            return;
        case EMR_SETARCDIRECTION:
            s_.arcDirection = r.U32(8) == AD_CLOCKWISE ? AD_CLOCKWISE : AD_COUNTERCLOCKWISE;
            return;
        case EMR_SETMITERLIMIT: {
            // An integer; a few writers store a float, which shows as a huge number.
            uint32_t v = r.U32(8);
            double limit = v;
            if (v > 0x10000) limit = r.F32(8);
            if (std::isfinite(limit) && limit >= 1 && limit < 1000) s_.miterLimit = limit;
            return;
        }
        case EMR_MOVETOEX: {
            QPointF p = r.PointL(8);
            s_.position = p;
            if (s_.pathOpen) {
                QTransform t;
                if (!Xform(t)) return;
                s_.path.moveTo(t.map(p));
                figureOpen_ = true;
            }
            return;
        }
        case EMR_LINETO: {
            QPointF p = r.PointL(8);
            if (s_.pathOpen) {
                QTransform t;
                if (Xform(t)) {
                    if (!figureOpen_) s_.path.moveTo(t.map(s_.position));
                    s_.path.lineTo(t.map(p));
                    figureOpen_ = true;
                }
            } else {
                Shape sh;
                sh.kind = Shape::Polyline;
                sh.points = QPolygonF({s_.position, p});
                DrawShape(std::move(sh), true, false);
            }
            s_.position = p;
            return;
        }
        case EMR_SETPIXELV: {
            QTransform t;
            if (!Xform(t)) return;
            QPointF p = t.map(QPointF(r.PointL(8)));
            QPointF c(std::floor(p.x()), std::floor(p.y()));
            FillReference(QPolygonF(QRectF(c, QSizeF(1, 1))), ColorRef(r, 16));
            return;
        }
        case EMR_SELECTOBJECT:
        case EMR_DELETEOBJECT:
        case EMR_CREATEPEN:
        case EMR_EXTCREATEPEN:
        case EMR_CREATEBRUSHINDIRECT:
        case EMR_CREATEDIBPATTERNBRUSHPT:
        case EMR_CREATEMONOBRUSH:
        case EMR_EXTCREATEFONTINDIRECTW:
        case EMR_CREATEPALETTE:
        case EMR_CREATECOLORSPACE:
        case EMR_CREATECOLORSPACEW:
        case EMR_DELETECOLORSPACE:
            ObjectRecord(type, r);
            return;
        case EMR_RECTANGLE:
        case EMR_ELLIPSE:
        case EMR_ROUNDRECT:
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO:
        case EMR_ANGLEARC:
            ShapeRecord(type, r);
            return;
        case EMR_POLYBEZIER:
        case EMR_POLYGON:
        case EMR_POLYLINE:
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
        case EMR_POLYPOLYLINE:
        case EMR_POLYPOLYGON:
        case EMR_POLYBEZIER16:
        case EMR_POLYGON16:
        case EMR_POLYLINE16:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16:
        case EMR_POLYPOLYLINE16:
        case EMR_POLYPOLYGON16:
        case EMR_POLYDRAW:
        case EMR_POLYDRAW16:
            PolyRecord(type, r);
            return;
        case EMR_BEGINPATH:
        case EMR_ENDPATH:
        case EMR_CLOSEFIGURE:
        case EMR_FILLPATH:
        case EMR_STROKEANDFILLPATH:
        case EMR_STROKEPATH:
        case EMR_FLATTENPATH:
        case EMR_WIDENPATH:
        case EMR_ABORTPATH:
            PathRecord(type, r);
            return;
        case EMR_SELECTCLIPPATH:
        case EMR_EXTSELECTCLIPRGN:
        case EMR_INTERSECTCLIPRECT:
        case EMR_EXCLUDECLIPRECT:
        case EMR_OFFSETCLIPRGN:
        case EMR_SETMETARGN:
            ClipRecord(type, r);
            return;
        case EMR_FILLRGN:
        case EMR_FRAMERGN:
        case EMR_INVERTRGN:
        case EMR_PAINTRGN:
            RegionRecord(type, r);
            return;
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW:
        case EMR_SMALLTEXTOUT:
            TextRecord(type, r);
            return;
        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_MASKBLT:
        case EMR_PLGBLT:
        case EMR_SETDIBITSTODEVICE:
        case EMR_STRETCHDIBITS:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT:
            BitmapRecord(type, r);
            return;
        case EMR_GRADIENTFILL:
            GradientFill(r);
            return;
        case EMR_COMMENT:
            Comment(r);
            return;
        case EMR_SETLAYOUT:
            if (r.U32(8) & 1) Note(QStringLiteral("right-to-left layout is not mirrored"));
            return;
        case EMR_EXTFLOODFILL:
            Note(QStringLiteral("flood fill needs the drawn pixels; skipped"));
            return;
        case EMR_SETBRUSHORGEX:
            // Device units: where pattern tiles start.
            s_.brushOrigin = r.PointL(8);
            return;
        case EMR_SETMAPPERFLAGS:
        case EMR_SETCOLORADJUSTMENT:
        case EMR_SELECTPALETTE:
        case EMR_SETPALETTEENTRIES:
        case EMR_RESIZEPALETTE:
        case EMR_REALIZEPALETTE:
        case EMR_SETICMMODE:
        case EMR_SETCOLORSPACE:
        case EMR_COLORCORRECTPALETTE:
        case EMR_SETICMPROFILEA:
        case EMR_SETICMPROFILEW:
        case EMR_FORCEUFIMAPPING:
        case EMR_SETLINKEDUFIS:
        case EMR_SETTEXTJUSTIFICATION:
        case EMR_COLORMATCHTOTARGETW:
        case EMR_GLSRECORD:
        case EMR_GLSBOUNDEDRECORD:
        case EMR_PIXELFORMAT:
        case EMR_DRAWESCAPE:
        case EMR_EXTESCAPE:
        case EMR_NAMEDESCAPE:
            // Palettes, colour management, font mapper hints, printer escapes:
            // nothing of these changes what the page shows. Brush origins only
            // shift pattern tiles by a few pixels.
            return;
        default:
            Note(RecordName(type) ? QStringLiteral("not drawn")
                                  : QStringLiteral("unknown record type"));
            return;
    }
}

// --- mapping modes, transforms, saved states ------------------------------

void Interpreter::SetMapMode(uint32_t mode) {
    const double mmX = h_.deviceMmX, mmY = h_.deviceMmY;
    const double pxX = h_.devicePxX, pxY = h_.devicePxY;
    auto fixed = [&](double unitsPerMm) {
        s_.windowExt = QSizeF(mmX * unitsPerMm, mmY * unitsPerMm);
        s_.viewportExt = QSizeF(pxX, -pxY);
    };
    switch (mode) {
        case MM_TEXT:
            s_.windowExt = s_.viewportExt = QSizeF(1, 1);
            break;
        case MM_LOMETRIC:
            fixed(10);
            break;
        case MM_HIMETRIC:
            fixed(100);
            break;
        case MM_LOENGLISH:
            fixed(100 / 25.4);
            break;
        case MM_HIENGLISH:
            fixed(1000 / 25.4);
            break;
        case MM_TWIPS:
            fixed(1440 / 25.4);
            break;
        case MM_ISOTROPIC:
            if (s_.mapMode != MM_ISOTROPIC && s_.mapMode != MM_ANISOTROPIC) fixed(10);
            break;
        case MM_ANISOTROPIC:
            break;
        default:
            Note(QStringLiteral("unknown mapping mode %1; ignored").arg(mode));
            return;
    }
    s_.mapMode = mode;
    FixIsotropic();
    TransformChanged();
}

void Interpreter::FixIsotropic() {
    if (s_.mapMode != MM_ISOTROPIC) return;
    // One logical unit must have the same physical size on both axes: the
    // axis with the larger unit gets its viewport extent shrunk.
    const double mmPerPxX = double(h_.deviceMmX) / h_.devicePxX;
    const double mmPerPxY = double(h_.deviceMmY) / h_.devicePxY;
    const double xs = std::fabs(s_.viewportExt.width() * mmPerPxX / s_.windowExt.width());
    const double ys = std::fabs(s_.viewportExt.height() * mmPerPxY / s_.windowExt.height());
    if (!(xs > 0) || !(ys > 0) || !std::isfinite(xs) || !std::isfinite(ys)) return;
    if (xs < ys)
        s_.viewportExt.setHeight(s_.viewportExt.height() * xs / ys);
    else if (xs > ys)
        s_.viewportExt.setWidth(s_.viewportExt.width() * ys / xs);
}

void Interpreter::MapRecord(uint32_t type, Reader& r) {
    const bool scalable = s_.mapMode == MM_ISOTROPIC || s_.mapMode == MM_ANISOTROPIC;
    switch (type) {
        case EMR_SETMAPMODE:
            SetMapMode(r.U32(8));
            return;
        case EMR_SETWINDOWEXTEX:
        case EMR_SETVIEWPORTEXTEX: {
            const int32_t cx = r.I32(8), cy = r.I32(12);
            if (!scalable) return;  // fixed modes ignore extents, as GDI does
            if (cx == 0 || cy == 0) {
                Note(QStringLiteral("zero extent; ignored"));
                return;
            }
            (type == EMR_SETWINDOWEXTEX ? s_.windowExt : s_.viewportExt) = QSizeF(cx, cy);
            FixIsotropic();
            TransformChanged();
            return;
        }
        case EMR_SETWINDOWORGEX:
            s_.windowOrg = r.PointL(8);
            TransformChanged();
            return;
        case EMR_SETVIEWPORTORGEX:
            s_.viewportOrg = r.PointL(8);
            TransformChanged();
            return;
        case EMR_SCALEVIEWPORTEXTEX:
        case EMR_SCALEWINDOWEXTEX: {
            const int32_t xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
            if (!scalable) return;
            if (!xNum || !xDen || !yNum || !yDen) {
                Note(QStringLiteral("zero scale factor; ignored"));
                return;
            }
            QSizeF& ext = type == EMR_SCALEWINDOWEXTEX ? s_.windowExt : s_.viewportExt;
            double w = std::trunc(ext.width() * xNum / xDen);
            double h = std::trunc(ext.height() * yNum / yDen);
            ext = QSizeF(w == 0 ? 1 : w, h == 0 ? 1 : h);
            FixIsotropic();
            TransformChanged();
            return;
        }
        case EMR_SETWORLDTRANSFORM:
        case EMR_MODIFYWORLDTRANSFORM: {
            QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
            const uint32_t mode = type == EMR_SETWORLDTRANSFORM ? MWT_SET : r.U32(32);
            if (mode != MWT_IDENTITY && (!Finite(x) || x.determinant() == 0)) {
                Note(QStringLiteral("world transform with unusable values; ignored"));
                return;
            }
            switch (mode) {
                case MWT_IDENTITY:
                    s_.world.reset();
                    break;
                case MWT_LEFTMULTIPLY:
                    s_.world = x * s_.world;
                    break;
                case MWT_RIGHTMULTIPLY:
                    s_.world = s_.world * x;
                    break;
                case MWT_SET:
                    s_.world = x;
                    break;
                default:
                    Note(QStringLiteral("unknown world transform mode %1; ignored").arg(mode));
                    return;
            }
            TransformChanged();
            return;
        }
        case EMR_SAVEDC:
            if (saved_.size() >= kMaxSaveDepth) {
                Note(QStringLiteral("more than %1 saved states; ignored").arg(kMaxSaveDepth));
                return;
            }
            saved_.push_back(s_);
            saved_.back().figureOpen = figureOpen_;
            return;
        case EMR_RESTOREDC: {
            const int32_t n = r.I32(8);
            const int64_t depth = int64_t(saved_.size());
            // Negative: that many levels back; positive: the absolute level.
            int64_t keep = n < 0 ? depth + n : int64_t(n) - 1;
            if (n == 0 || keep < 0 || keep >= depth) {
                Note(
                    QStringLiteral("restore of level %1 with %2 saved; ignored").arg(n).arg(depth));
                return;
            }
            s_ = std::move(saved_[size_t(keep)]);
            figureOpen_ = s_.figureOpen;
            saved_.resize(size_t(keep));
            TransformChanged();
            ClipChanged();
            return;
        }
    }
}

bool Interpreter::Xform(QTransform& out) {
    if (xformDirty_) {
        const double sx = s_.viewportExt.width() / s_.windowExt.width();
        const double sy = s_.viewportExt.height() / s_.windowExt.height();
        QTransform page(sx, 0, 0, sy, s_.viewportOrg.x() - s_.windowOrg.x() * sx,
                        s_.viewportOrg.y() - s_.windowOrg.y() * sy);
        QTransform x = s_.world * page;
        xformUsable_ = Finite(x) && std::fabs(x.determinant()) > 1e-18;
        if (xformUsable_ && xformIndex_ >= 0 && d_.xforms[size_t(xformIndex_)] == x) {
            // The same as before: keep the table entry.
        } else {
            xformIndex_ = -1;
        }
        xform_ = x;
        xformDirty_ = false;
    }
    if (!xformUsable_) {
        Note(QStringLiteral("the transform in force cannot be used; skipped"));
        return false;
    }
    out = xform_;
    return true;
}

const QTransform& Interpreter::XformUnchecked() {
    QTransform t;
    if (xformDirty_) Xform(t);
    return xform_;
}

QRectF Interpreter::Universe() const {
    // The frame and as much again on every side: all a clip can matter for.
    const QRectF& f = d_.frame;
    return f.adjusted(-f.width(), -f.height(), f.width(), f.height());
}

uint32_t Interpreter::CurrentXformIndex() {
    if (xformIndex_ < 0) {
        d_.xforms.push_back(xform_);
        xformIndex_ = int64_t(d_.xforms.size() - 1);
    }
    return uint32_t(xformIndex_);
}

int32_t Interpreter::CurrentClipIndex() {
    if (clipIndex_ != -2) return clipIndex_;
    Region effective = s_.meta;
    if (!effective.Combine(s_.clip, RGN_AND)) effective = s_.clip;
    if (effective.IsEverything()) {
        clipIndex_ = -1;
    } else if (lastClipIndex_ >= 0 && effective == lastClip_) {
        clipIndex_ = lastClipIndex_;
    } else {
        d_.clips.push_back(effective.ToClip());
        lastClip_ = effective;
        lastClipIndex_ = clipIndex_ = int32_t(d_.clips.size() - 1);
    }
    return clipIndex_;
}

bool Interpreter::Room() {
    if (d_.ops.size() < kMaxOperations) return true;
    if (!full_) {
        Note(QStringLiteral("more than %1 drawing operations; the rest left out")
                 .arg(kMaxOperations));
        full_ = true;
    }
    return false;
}

void Interpreter::Emit(Op::Kind kind, uint32_t index, uint32_t xform) {
    Op op;
    op.kind = kind;
    op.index = index;
    op.xform = xform;
    op.clip = CurrentClipIndex();
    d_.ops.push_back(op);
}

// --- pens, brushes, raster operations ---------------------------------------

QPen Interpreter::ResolvePen(const PenSpec& p) {
    if (penCacheValid_ && PenSpecEqual(p, penCacheSpec_) && penCacheMiter_ == s_.miterLimit)
        return penCache_;
    const uint32_t style = p.style & PS_STYLE_MASK;
    QPen pen;
    if (style == PS_NULL) {
        pen = QPen(Qt::NoPen);
    } else {
        pen = QPen(p.color);
        const bool cosmetic = p.extended ? !(p.style & PS_GEOMETRIC) : p.width <= 0;
        const bool geometricStyles = p.extended && !cosmetic;
        if (cosmetic) {
            pen.setWidth(0);
            pen.setCosmetic(true);
            pen.setCapStyle(Qt::FlatCap);
            pen.setJoinStyle(Qt::MiterJoin);
        } else {
            pen.setWidthF(std::min(p.width, kCoordinateLimit));
            pen.setCosmetic(false);
            const uint32_t cap = p.extended ? p.style & PS_ENDCAP_MASK : 0;
            const uint32_t join = p.extended ? p.style & PS_JOIN_MASK : 0;
            pen.setCapStyle(cap == PS_ENDCAP_SQUARE ? Qt::SquareCap
                            : cap == PS_ENDCAP_FLAT ? Qt::FlatCap
                                                    : Qt::RoundCap);
            pen.setJoinStyle(join == PS_JOIN_BEVEL   ? Qt::BevelJoin
                             : join == PS_JOIN_MITER ? Qt::MiterJoin
                                                     : Qt::RoundJoin);
            // GDI's limit is the miter length over the line width; Qt's
            // counts from the join point, which is half of that.
            pen.setMiterLimit(std::max(0.5, s_.miterLimit / 2));
        }
        QList<qreal> dashes;
        switch (style) {
            case PS_DASH:
            case PS_DOT:
            case PS_DASHDOT:
            case PS_DASHDOTDOT:
                // Old-style pens wider than one unit draw solid.
                if (!p.extended && p.width > 1) break;
                if (geometricStyles) {
                    static const QList<qreal> g[] = {
                        {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
                    dashes = g[style - PS_DASH];
                } else {
                    static const QList<qreal> c[] = {
                        {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
                    dashes = c[style - PS_DASH];
                    pen.setCapStyle(Qt::FlatCap);
                }
                break;
            case PS_ALTERNATE:
                dashes = {1, 1};
                pen.setCapStyle(Qt::FlatCap);
                break;
            case PS_USERSTYLE: {
                const qreal unit = geometricStyles && p.width > 0 ? p.width : 1;
                bool any = false;
                for (qreal v : p.userStyle) {
                    dashes.append(std::max(v / unit, 1e-3));
                    any = any || v > 0;
                }
                if (!any) dashes.clear();
                if (dashes.size() % 2) dashes += dashes;
                break;
            }
            default:
                break;
        }
        if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    }
    penCacheSpec_ = p;
    penCacheMiter_ = s_.miterLimit;
    penCache_ = pen;
    penCacheValid_ = true;
    return pen;
}

QBrush Interpreter::ResolveBrush(const BrushSpec& b) {
    switch (b.style) {
        case BS_NULL:
            return QBrush(Qt::NoBrush);
        case BS_HATCHED: {
            static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                     Qt::FDiagPattern, Qt::BDiagPattern,
                                                     Qt::CrossPattern, Qt::DiagCrossPattern};
            if (b.hatch <= HS_DIAGCROSS) return QBrush(b.color, hatches[b.hatch]);
            return QBrush(b.color);
        }
        case BS_PATTERN:
        case BS_DIBPATTERN:
        case BS_DIBPATTERNPT: {
            if (b.pattern.isNull()) return QBrush(b.color);
            const uint32_t xi = CurrentXformIndex();
            const QRgb text = s_.textColor.rgb(), back = s_.bkColor.rgb();
            for (const BrushCacheEntry& e : brushCache_)
                if (e.serial == b.serial && e.xform == xi && e.origin == s_.brushOrigin &&
                    (!b.mono || (e.text == text && e.back == back)))
                    return e.brush;
            QImage tile = b.pattern;
            if (b.mono) {
                tile.setColorTable({text, back});
                tile = tile.convertToFormat(QImage::Format_RGB32);
            }
            QBrush brush(tile);
            // Tiles are laid in reference pixels from the brush origin,
            // whatever the logical units.
            brush.setTransform(QTransform::fromTranslate(s_.brushOrigin.x(), s_.brushOrigin.y()) *
                               xform_.inverted());
            if (brushCache_.size() > 64) brushCache_.clear();
            brushCache_.push_back(BrushCacheEntry{b.serial, xi, text, back, s_.brushOrigin, brush});
            return brush;
        }
        default:
            return QBrush(b.color);
    }
}

QPainter::CompositionMode Rop2Composition(uint32_t rop2, bool* skip, bool* black, bool* white) {
    *skip = *black = *white = false;
    switch (rop2) {
        case R2_BLACK:
            *black = true;
            return QPainter::CompositionMode_SourceOver;
        case R2_WHITE:
            *white = true;
            return QPainter::CompositionMode_SourceOver;
        case R2_NOP:
            *skip = true;
            return QPainter::CompositionMode_SourceOver;
        case R2_NOTMERGEPEN:
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case R2_MASKNOTPEN:
            return QPainter::RasterOp_NotSourceAndDestination;
        case R2_NOTCOPYPEN:
            return QPainter::RasterOp_NotSource;
        case R2_MASKPENNOT:
            return QPainter::RasterOp_SourceAndNotDestination;
        case R2_NOT:
            return QPainter::RasterOp_NotDestination;
        case R2_XORPEN:
            return QPainter::RasterOp_SourceXorDestination;
        case R2_NOTMASKPEN:
            return QPainter::RasterOp_NotSourceOrNotDestination;
        case R2_MASKPEN:
            return QPainter::RasterOp_SourceAndDestination;
        case R2_NOTXORPEN:
            return QPainter::RasterOp_NotSourceXorDestination;
        case R2_MERGENOTPEN:
            return QPainter::RasterOp_NotSourceOrDestination;
        case R2_MERGEPENNOT:
            return QPainter::RasterOp_SourceOrNotDestination;
        case R2_MERGEPEN:
            return QPainter::RasterOp_SourceOrDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
    }
}

uint32_t Rop3AsRop2(uint32_t rop, bool source) {
    // The truth table of a ternary operation that ignores one input, read
    // for the other (brush or source) against the destination: the binary
    // operation's number is that table plus one.
    const uint8_t code = Rop3Code(rop);
    const int shift = source ? 1 : 2;  // bit of the input used: S is 2, P is 4
    uint32_t t = 0;
    for (int in = 0; in < 2; ++in)
        for (int d = 0; d < 2; ++d)
            t |= uint32_t((code >> ((in << shift) | d)) & 1) << (in * 2 + d);
    return t + 1;
}

QPainter::CompositionMode Interpreter::Rop2Mode(bool* skip, bool* black, bool* white) const {
    return Rop2Composition(s_.rop2, skip, black, white);
}

// --- shapes -------------------------------------------------------------------

QPainterPath Interpreter::ShapePath(const Shape& s) {
    QPainterPath p;
    switch (s.kind) {
        case Shape::Rect:
            p.addRect(s.rect);
            break;
        case Shape::Ellipse:
            p.addEllipse(s.rect);
            break;
        case Shape::Polygon:
            p.addPolygon(s.points);
            p.closeSubpath();
            break;
        case Shape::Polyline:
            p.addPolygon(s.points);
            break;
        case Shape::Path:
            p = s.path;
            break;
    }
    return p;
}

void Interpreter::AddToPath(const QPainterPath& logical) {
    QTransform t;
    if (!Xform(t)) return;
    s_.path.addPath(t.map(logical));
    figureOpen_ = false;
}

void Interpreter::DrawShape(Shape shape, bool stroke, bool fill) {
    if (s_.pathOpen) {
        AddToPath(ShapePath(shape));
        return;
    }
    QTransform t;
    if (!Xform(t)) return;
    bool skip, black, white;
    Paint paint;
    paint.mode = Rop2Mode(&skip, &black, &white);
    if (skip) return;
    if (stroke) paint.pen = ResolvePen(s_.pen);
    if (fill) paint.brush = ResolveBrush(s_.brush);
    if (paint.pen.style() == Qt::NoPen && paint.brush.style() == Qt::NoBrush) return;
    if (paint.mode == QPainter::RasterOp_NotSource && paint.brush.style() <= Qt::SolidPattern) {
        // An inverted pen and brush, drawn plainly: the same on every device.
        auto invert = [](QColor c) {
            return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
        };
        if (paint.pen.style() != Qt::NoPen) paint.pen.setColor(invert(paint.pen.color()));
        if (paint.brush.style() == Qt::SolidPattern)
            paint.brush = QBrush(invert(paint.brush.color()));
        paint.mode = QPainter::CompositionMode_SourceOver;
    }
    if (black || white) {
        const QColor c = black ? Qt::black : Qt::white;
        if (paint.pen.style() != Qt::NoPen) paint.pen.setColor(c);
        if (paint.brush.style() != Qt::NoBrush) paint.brush = QBrush(c);
    }
    paint.fillRule = s_.polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
    if (s_.bkMode == BK_OPAQUE) paint.background = s_.bkColor;
    // An inside-frame pen keeps the outline within the shape's box.
    if (stroke && (s_.pen.style & PS_STYLE_MASK) == PS_INSIDEFRAME && s_.pen.width > 1 &&
        (shape.kind == Shape::Rect || shape.kind == Shape::Ellipse)) {
        const qreal h = s_.pen.width / 2;
        if (shape.rect.width() > 2 * h && shape.rect.height() > 2 * h)
            shape.rect.adjust(h, h, -h, -h);
    }
    EmitShape(std::move(shape), paint, CurrentXformIndex());
}

void Interpreter::EmitShape(Shape shape, const Paint& paint, uint32_t xform) {
    const QTransform& t = d_.xforms[xform];
    QRectF bounds;
    switch (shape.kind) {
        case Shape::Rect:
        case Shape::Ellipse:
            bounds = shape.rect;
            break;
        case Shape::Polygon:
        case Shape::Polyline:
            bounds = shape.points.boundingRect();
            break;
        case Shape::Path:
            bounds = shape.path.controlPointRect();
            break;
    }
    const QRectF limit = LimitRect();
    const QRectF mapped = t.mapRect(bounds);
    if (!WithinLimit(mapped)) {
        // Coordinates beyond any page: hold them to the limit where that
        // keeps the drawing the same, otherwise leave the shape out.
        const bool axisAligned = t.m12() == 0 && t.m21() == 0;
        if (shape.kind == Shape::Rect && axisAligned) {
            shape.rect = shape.rect.normalized().intersected(t.inverted().mapRect(limit));
            if (shape.rect.isEmpty() && paint.pen.style() == Qt::NoPen) return;
        } else if (paint.pen.style() == Qt::NoPen) {
            QPainterPath p = t.map(ShapePath(shape));
            p.setFillRule(paint.fillRule);
            QPainterPath box;
            box.addRect(limit);
            shape.kind = Shape::Path;
            shape.path = t.inverted().map(p.intersected(box));
        } else {
            Note(QStringLiteral("coordinates far outside the page; skipped"));
            return;
        }
    }
    if (!Room()) return;
    d_.shapes.push_back(ShapeDraw{std::move(shape), paint});
    Emit(Op::kShape, uint32_t(d_.shapes.size() - 1), xform);
}

void Interpreter::FillReference(const QPolygonF& polygon, const QColor& color) {
    Shape s;
    s.kind = Shape::Polygon;
    s.points = polygon;
    Paint p;
    p.brush = QBrush(color);
    EmitShape(std::move(s), p, 0);
}

QRectF Interpreter::Box(Reader& r, uint64_t off) {
    RectL b = r.Rect(off);
    const double l = std::min(b.left, b.right), rt = std::max(b.left, b.right);
    const double t = std::min(b.top, b.bottom), bt = std::max(b.top, b.bottom);
    return QRectF(l, t, rt - l, bt - t);
}

QPainterPath Interpreter::ArcPath(const QRectF& box, QPointF start, QPointF end, int kind) {
    QPainterPath p;
    const QPointF c = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    if (rx <= 0 || ry <= 0) return p;
    // Qt's angles are parametric, counter-clockwise as seen with y down; a
    // radial point's angle is where its ray meets the ellipse.
    auto angle = [&](QPointF q) {
        const double dx = (q.x() - c.x()) / rx, dy = -(q.y() - c.y()) / ry;
        if (dx == 0 && dy == 0) return 0.0;
        return std::atan2(dy, dx) * 180.0 / M_PI;
    };
    const double a0 = angle(start), a1 = angle(end);
    // The arc direction is as seen on the page: a transform that mirrors
    // turns it round in logical units.
    const bool mirrored = XformUnchecked().determinant() < 0;
    const bool ccw = (s_.arcDirection == AD_COUNTERCLOCKWISE) != mirrored;
    double sweep = a1 - a0;
    if (std::fabs(sweep) < 1e-9) {
        sweep = ccw ? 360 : -360;
    } else if (ccw) {
        while (sweep <= 0)
            sweep += 360;
    } else {
        while (sweep >= 0)
            sweep -= 360;
    }
    if (kind == 2) {
        p.moveTo(c);
        p.arcTo(box, a0, sweep);
        p.closeSubpath();
        return p;
    }
    p.arcMoveTo(box, a0);
    p.arcTo(box, a0, sweep);
    if (kind == 1) p.closeSubpath();
    return p;
}

void Interpreter::ShapeRecord(uint32_t type, Reader& r) {
    switch (type) {
        case EMR_RECTANGLE:
        case EMR_ELLIPSE: {
            Shape s;
            s.kind = type == EMR_RECTANGLE ? Shape::Rect : Shape::Ellipse;
            s.rect = Box(r, 8);
            DrawShape(std::move(s), true, true);
            return;
        }
        case EMR_ROUNDRECT: {
            Shape s;
            s.kind = Shape::Path;
            const QRectF box = Box(r, 8);
            const double cw = std::min<double>(std::abs(r.I32(24)), box.width());
            const double ch = std::min<double>(std::abs(r.I32(28)), box.height());
            s.path.addRoundedRect(box, cw / 2, ch / 2);
            DrawShape(std::move(s), true, true);
            return;
        }
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO: {
            const QRectF box = Box(r, 8);
            const QPointF start = r.PointL(24), end = r.PointL(32);
            const int kind = type == EMR_CHORD ? 1 : type == EMR_PIE ? 2 : 0;
            QPainterPath arc = ArcPath(box, start, end, kind);
            if (arc.isEmpty()) {
                Note(QStringLiteral("empty box; skipped"));
                return;
            }
            if (type == EMR_ARCTO) {
                // A line from the current position to the arc's start, then the
                // arc; the current position ends at the arc's end.
                QPainterPath p;
                p.moveTo(s_.position);
                p.lineTo(arc.elementAt(0).x, arc.elementAt(0).y);
                p.connectPath(arc);
                const QPointF endPoint = p.currentPosition();
                if (s_.pathOpen) {
                    QTransform t;
                    if (Xform(t)) {
                        if (!figureOpen_) s_.path.moveTo(t.map(s_.position));
                        QPainterPath mapped = t.map(p);
                        s_.path.connectPath(mapped);
                        figureOpen_ = true;
                    }
                } else {
                    Shape s;
                    s.kind = Shape::Path;
                    s.path = p;
                    DrawShape(std::move(s), true, false);
                }
                s_.position = endPoint;
                return;
            }
            Shape s;
            s.kind = Shape::Path;
            s.path = arc;
            DrawShape(std::move(s), true, type != EMR_ARC);
            return;
        }
        case EMR_ANGLEARC: {
            const QPointF c = r.PointL(8);
            const double radius = r.U32(16);
            const double start = r.F32(20), sweep = r.F32(24);
            if (!std::isfinite(start) || !std::isfinite(sweep) || radius > kCoordinateLimit) {
                Note(QStringLiteral("unusable angles or radius; skipped"));
                return;
            }
            const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
            QPainterPath p;
            p.moveTo(s_.position);
            QPainterPath arc;
            arc.arcMoveTo(box, start);
            p.lineTo(arc.currentPosition());
            p.arcTo(box, start, std::clamp(sweep, -3600.0, 3600.0));
            const QPointF endPoint = p.currentPosition();
            if (s_.pathOpen) {
                QTransform t;
                if (Xform(t)) {
                    if (!figureOpen_) s_.path.moveTo(t.map(s_.position));
                    s_.path.connectPath(t.map(p));
                    figureOpen_ = true;
                }
            } else {
                Shape s;
                s.kind = Shape::Path;
                s.path = p;
                DrawShape(std::move(s), true, false);
            }
            s_.position = endPoint;
            return;
        }
    }
}

// --- poly records ---------------------------------------------------------------

bool Interpreter::ReadPoints(Reader& r, uint64_t off, uint64_t count, bool small, QPolygonF& out) {
    if (count > kMaxPointsPerRecord) {
        Note(QStringLiteral("%1 points is more than a record may draw; skipped").arg(count));
        return false;
    }
    const uint64_t bytes = count * (small ? 4 : 8);
    const uint8_t* p = r.Bytes(off, bytes);
    if (!p) {
        Note(QStringLiteral("%1 points do not fit in the record; skipped").arg(count));
        return false;
    }
    if (pointsUsed_ + count > kMaxPointsPerPicture) {
        Note(QStringLiteral("the picture's point budget is spent; skipped"));
        return false;
    }
    pointsUsed_ += count;
    out.resize(qsizetype(count));
    QPointF* dst = out.data();
    if (small) {
        for (uint64_t i = 0; i < count; ++i, p += 4)
            dst[i] = QPointF(int16_t(ReadU16(p)), int16_t(ReadU16(p + 2)));
    } else {
        for (uint64_t i = 0; i < count; ++i, p += 8)
            dst[i] = QPointF(ReadI32(p), ReadI32(p + 4));
    }
    return true;
}

void Interpreter::PolyRecord(uint32_t type, Reader& r) {
    const bool small = type >= EMR_POLYBEZIER16 && type <= EMR_POLYDRAW16;
    uint32_t base = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
    if (type == EMR_POLYDRAW16) base = EMR_POLYDRAW;
    if (type == EMR_POLYPOLYLINE16) base = EMR_POLYPOLYLINE;
    if (type == EMR_POLYPOLYGON16) base = EMR_POLYPOLYGON;

    if (base == EMR_POLYPOLYLINE || base == EMR_POLYPOLYGON) {
        const uint32_t nPolys = r.U32(24), total = r.U32(28);
        if (nPolys == 0 || total == 0) return;
        if (nPolys > total || !r.Has(32, uint64_t(nPolys) * 4)) {
            Note(QStringLiteral("%1 polygons of %2 points do not fit; skipped")
                     .arg(nPolys)
                     .arg(total));
            return;
        }
        uint64_t sum = 0;
        for (uint32_t i = 0; i < nPolys; ++i)
            sum += r.U32(32 + 4ull * i);
        if (sum != total) {
            Note(
                QStringLiteral("polygon counts add up to %1, not %2; skipped").arg(sum).arg(total));
            return;
        }
        QPolygonF pts;
        if (!ReadPoints(r, 32 + 4ull * nPolys, total, small, pts)) return;
        Shape s;
        s.kind = Shape::Path;
        qsizetype at = 0;
        for (uint32_t i = 0; i < nPolys; ++i) {
            const qsizetype n = r.U32(32 + 4ull * i);
            if (n == 0) continue;
            s.path.moveTo(pts[at]);
            for (qsizetype k = 1; k < n; ++k)
                s.path.lineTo(pts[at + k]);
            if (base == EMR_POLYPOLYGON) s.path.closeSubpath();
            at += n;
        }
        DrawShape(std::move(s), true, base == EMR_POLYPOLYGON);
        return;
    }

    const uint32_t count = r.U32(24);
    QPolygonF pts;
    if (!ReadPoints(r, 28, count, small, pts)) return;
    if (count == 0) return;

    auto continueFigure = [&](const QPainterPath& logical) {
        // The ...TO records continue the current figure from the current
        // position.
        QTransform t;
        if (!Xform(t)) return;
        if (!figureOpen_) s_.path.moveTo(t.map(s_.position));
        s_.path.connectPath(t.map(logical));
        figureOpen_ = true;
    };

    switch (base) {
        case EMR_POLYGON: {
            if (count < 2) return;
            Shape s;
            s.kind = Shape::Polygon;
            s.points = std::move(pts);
            DrawShape(std::move(s), true, true);
            return;
        }
        case EMR_POLYLINE: {
            if (count < 2) return;
            Shape s;
            s.kind = Shape::Polyline;
            s.points = std::move(pts);
            DrawShape(std::move(s), true, false);
            return;
        }
        case EMR_POLYLINETO: {
            QPolygonF line;
            line.reserve(pts.size() + 1);
            line.append(s_.position);
            line += pts;
            s_.position = pts.last();
            if (s_.pathOpen) {
                QPainterPath p;
                p.addPolygon(line);
                continueFigure(p);
                return;
            }
            Shape s;
            s.kind = Shape::Polyline;
            s.points = std::move(line);
            DrawShape(std::move(s), true, false);
            return;
        }
        case EMR_POLYBEZIER:
        case EMR_POLYBEZIERTO: {
            QPainterPath p;
            qsizetype i = 0;
            if (base == EMR_POLYBEZIER) {
                p.moveTo(pts[0]);
                i = 1;
            } else {
                p.moveTo(s_.position);
            }
            for (; i + 2 < pts.size(); i += 3)
                p.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
            if (base == EMR_POLYBEZIERTO) {
                s_.position = p.currentPosition();
                if (s_.pathOpen) {
                    continueFigure(p);
                    return;
                }
            }
            Shape s;
            s.kind = Shape::Path;
            s.path = std::move(p);
            DrawShape(std::move(s), true, false);
            return;
        }
        case EMR_POLYDRAW: {
            const uint8_t* types = r.Bytes(28 + uint64_t(count) * (small ? 4 : 8), count);
            if (!types) {
                Note(QStringLiteral("point types do not fit in the record; skipped"));
                return;
            }
            QPainterPath p;
            p.moveTo(s_.position);
            QPointF figureStart = s_.position;
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t t = types[i] & ~1;
                if (t == 6) {  // PT_MOVETO
                    p.moveTo(pts[i]);
                    figureStart = pts[i];
                } else if (t == 2) {  // PT_LINETO
                    p.lineTo(pts[i]);
                } else if (t == 4 && i + 2 < count) {  // PT_BEZIERTO, three points
                    p.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
                    i += 2;
                } else {
                    Note(QStringLiteral("point type %1 unusable; the rest skipped").arg(types[i]));
                    break;
                }
                if (types[i] & 1) {  // PT_CLOSEFIGURE
                    p.closeSubpath();
                    p.moveTo(figureStart);
                }
            }
            s_.position = p.currentPosition();
            if (s_.pathOpen) {
                continueFigure(p);
                return;
            }
            Shape s;
            s.kind = Shape::Path;
            s.path = std::move(p);
            DrawShape(std::move(s), true, false);
            return;
        }
    }
}

// --- paths --------------------------------------------------------------------------

void Interpreter::PathRecord(uint32_t type, Reader& r) {
    switch (type) {
        case EMR_BEGINPATH:
            s_.path = QPainterPath();
            s_.pathOpen = true;
            s_.pathReady = false;
            figureOpen_ = false;
            return;
        case EMR_ENDPATH:
            if (!s_.pathOpen) {
                Note(QStringLiteral("no path open; ignored"));
                return;
            }
            s_.pathOpen = false;
            s_.pathReady = true;
            return;
        case EMR_CLOSEFIGURE:
            if (s_.pathOpen) {
                s_.path.closeSubpath();
                figureOpen_ = false;
            }
            return;
        case EMR_ABORTPATH:
            s_.path = QPainterPath();
            s_.pathOpen = s_.pathReady = false;
            return;
        case EMR_FLATTENPATH:
            // Curves stay curves: Qt draws them as well as their flattening.
            return;
        case EMR_WIDENPATH: {
            if (!s_.pathReady && !s_.pathOpen) return;
            const QPen pen = ResolvePen(s_.pen);
            QTransform t;
            if (!Xform(t)) return;
            QPainterPathStroker stroker;
            const double scale = std::sqrt(std::fabs(t.determinant()));
            stroker.setWidth(pen.isCosmetic() ? 1.0 : std::max(1.0, pen.widthF() * scale));
            stroker.setCapStyle(pen.capStyle());
            stroker.setJoinStyle(pen.joinStyle());
            stroker.setMiterLimit(pen.miterLimit());
            s_.path = stroker.createStroke(s_.path);
            return;
        }
        case EMR_FILLPATH:
        case EMR_STROKEPATH:
        case EMR_STROKEANDFILLPATH: {
            if (!s_.pathReady && !s_.pathOpen) {
                Note(QStringLiteral("no path to draw; skipped"));
                return;
            }
            QPainterPath path = s_.path;
            s_.path = QPainterPath();
            s_.pathOpen = s_.pathReady = false;
            QTransform t;
            if (!Xform(t)) return;
            // The path was built in reference pixels; the pen is in logical
            // units, so draw it through the transform in force.
            Shape s;
            s.kind = Shape::Path;
            s.path = t.inverted().map(path);
            DrawShape(std::move(s), type != EMR_FILLPATH, type != EMR_STROKEPATH);
            return;
        }
    }
}

// --- clipping -------------------------------------------------------------------------

namespace {

// The rectangles of an RGNDATA block as a region; false when the block is
// not one.
bool ReadRegion(Reader r, Region& out, QString* why) {
    const uint32_t headerSize = r.U32(0), kind = r.U32(4), count = r.U32(8);
    if (!r.Ok() || headerSize != 32 || kind != 1) {
        *why = QStringLiteral("region data without its header");
        return false;
    }
    if (count > (1u << 20) || !r.Has(32, uint64_t(count) * 16)) {
        *why = QStringLiteral("%1 region rectangles do not fit").arg(count);
        return false;
    }
    if (count == 1) {
        RectL b = r.Rect(32);
        out = Region::FromRect(QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom)));
        return true;
    }
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    for (uint32_t i = 0; i < count; ++i) {
        RectL b = r.Rect(32 + 16ull * i);
        QRectF rect = QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom)).normalized();
        if (!rect.isEmpty()) p.addRect(rect.intersected(LimitRect()));
    }
    out = count == 0 ? Region::FromRect(QRectF()) : Region::FromPath(p);
    return true;
}

}  // namespace

void Interpreter::ClipRecord(uint32_t type, Reader& r) {
    switch (type) {
        case EMR_EXTSELECTCLIPRGN: {
            const uint32_t cb = r.U32(8), mode = r.U32(12);
            if (mode == RGN_COPY && cb == 0) {
                s_.clip = Region();
                ClipChanged();
                return;
            }
            if (cb == 0) {
                Note(QStringLiteral("no region data for mode %1; ignored").arg(mode));
                return;
            }
            if (!r.Has(16, cb)) {
                Note(QStringLiteral("region data of %1 bytes does not fit; ignored").arg(cb));
                return;
            }
            Region g;
            QString why;
            if (!ReadRegion(r.Sub(16, cb), g, &why)) {
                Note(why + QStringLiteral("; ignored"));
                return;
            }
            // Region data are in device units: the reference pixels.
            if (!s_.clip.Combine(g, mode, Universe()))
                Note(QStringLiteral("region mode %1 unusable; ignored").arg(mode));
            ClipChanged();
            return;
        }
        case EMR_INTERSECTCLIPRECT:
        case EMR_EXCLUDECLIPRECT: {
            QTransform t;
            if (!Xform(t)) return;
            RectL b = r.Rect(8);
            const QRectF logical =
                QRectF(QPointF(b.left, b.top), QPointF(b.right, b.bottom)).normalized();
            Region g;
            if (t.m12() == 0 && t.m21() == 0) {
                g = Region::FromRect(t.mapRect(logical));
            } else {
                QPainterPath p;
                p.addPolygon(t.map(QPolygonF(logical)));
                p.closeSubpath();
                g = Region::FromPath(p);
            }
            if (!s_.clip.Combine(g, type == EMR_INTERSECTCLIPRECT ? RGN_AND : RGN_DIFF, Universe()))
                Note(QStringLiteral("clip too complex; ignored"));
            ClipChanged();
            return;
        }
        case EMR_OFFSETCLIPRGN: {
            QTransform t;
            if (!Xform(t)) return;
            const QPointF d = t.map(QPointF(r.PointL(8))) - t.map(QPointF(0, 0));
            s_.clip.Translate(d);
            ClipChanged();
            return;
        }
        case EMR_SETMETARGN:
            if (!s_.meta.Combine(s_.clip, RGN_AND))
                Note(QStringLiteral("clip too complex; ignored"));
            s_.clip = Region();
            ClipChanged();
            return;
        case EMR_SELECTCLIPPATH: {
            const uint32_t mode = r.U32(8);
            if (!s_.pathReady) {
                Note(QStringLiteral("no path to clip with; ignored"));
                return;
            }
            QPainterPath p = s_.path;
            p.setFillRule(s_.polyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
            s_.path = QPainterPath();
            s_.pathReady = false;
            if (!s_.clip.Combine(Region::FromPath(p), mode, Universe()))
                Note(QStringLiteral("region mode %1 unusable; ignored").arg(mode));
            ClipChanged();
            return;
        }
    }
}

void Interpreter::RegionRecord(uint32_t type, Reader& r) {
    const uint64_t dataAt = type == EMR_FILLRGN ? 32 : type == EMR_FRAMERGN ? 40 : 28;
    const uint32_t cb = r.U32(24);
    if (!r.Has(dataAt, cb)) {
        Note(QStringLiteral("region data of %1 bytes does not fit; skipped").arg(cb));
        return;
    }
    Region g;
    QString why;
    if (!ReadRegion(r.Sub(dataAt, cb), g, &why)) {
        Note(why + QStringLiteral("; skipped"));
        return;
    }
    if (s_.pathOpen) {
        AddToPath(g.Path());
        return;
    }
    QTransform t;
    if (!Xform(t)) return;
    Shape s;
    s.kind = Shape::Path;
    s.path = g.Path();
    Paint p;
    p.fillRule = Qt::WindingFill;
    auto brushOf = [&](uint32_t ih, QBrush& out) {
        if (ih & kStockObjectFlag) {
            const uint32_t n = ih & ~kStockObjectFlag;
            static const QColor stock[] = {Qt::white, QColor(0xC0, 0xC0, 0xC0),
                                           QColor(0x80, 0x80, 0x80), QColor(0x40, 0x40, 0x40),
                                           Qt::black};
            if (n <= BLACK_BRUSH) {
                out = QBrush(stock[n]);
                return true;
            }
            if (n == NULL_BRUSH) {
                out = QBrush(Qt::NoBrush);
                return true;
            }
            return false;
        }
        if (ih >= objects_.size() || !objects_[ih] || objects_[ih]->kind != GdiObject::Brush)
            return false;
        out = ResolveBrush(objects_[ih]->brush);
        return true;
    };
    switch (type) {
        case EMR_FILLRGN:
            if (!brushOf(r.U32(28), p.brush)) {
                Note(QStringLiteral("no brush %1; skipped").arg(r.U32(28)));
                return;
            }
            break;
        case EMR_PAINTRGN:
            p.brush = ResolveBrush(s_.brush);
            break;
        case EMR_INVERTRGN:
            p.brush = QBrush(Qt::white);
            p.mode = QPainter::RasterOp_NotDestination;
            break;
        case EMR_FRAMERGN: {
            QBrush b;
            if (!brushOf(r.U32(28), b)) {
                Note(QStringLiteral("no brush %1; skipped").arg(r.U32(28)));
                return;
            }
            // The frame's inner edge follows the region's outline: an outline
            // stroke of the frame's width, kept inside by the region as clip.
            const double w = std::max(1, std::abs(r.I32(32)));
            QPainterPathStroker stroker;
            stroker.setWidth(2 * w);
            QPainterPath outline = s.path.simplified();
            s.path = stroker.createStroke(outline).intersected(outline);
            p.brush = b;
            break;
        }
    }
    if (p.brush.style() == Qt::NoBrush) return;
    EmitShape(std::move(s), p, CurrentXformIndex());
}

// --- objects --------------------------------------------------------------------------------

void Interpreter::ObjectRecord(uint32_t type, Reader& r) {
    const uint32_t ih = r.U32(8);
    if (type == EMR_SELECTOBJECT) {
        if (ih & kStockObjectFlag) {
            const uint32_t n = ih & ~kStockObjectFlag;
            static const QColor grays[] = {Qt::white, QColor(0xC0, 0xC0, 0xC0),
                                           QColor(0x80, 0x80, 0x80), QColor(0x40, 0x40, 0x40),
                                           Qt::black};
            if (n <= BLACK_BRUSH || n == DC_BRUSH) {
                s_.brush = BrushSpec{};
                s_.brush.style = BS_SOLID;
                s_.brush.color = n == DC_BRUSH ? QColor(Qt::white) : grays[n];
            } else if (n == NULL_BRUSH) {
                s_.brush = BrushSpec{};
                s_.brush.style = BS_NULL;
            } else if (n == WHITE_PEN || n == BLACK_PEN || n == DC_PEN) {
                s_.pen = PenSpec{};
                s_.pen.color = n == WHITE_PEN ? QColor(Qt::white) : QColor(Qt::black);
            } else if (n == NULL_PEN) {
                s_.pen = PenSpec{};
                s_.pen.style = PS_NULL;
            } else if (n == DEFAULT_PALETTE) {
                // Palettes do not change what is drawn here.
            } else if (n >= OEM_FIXED_FONT && n <= DEFAULT_GUI_FONT) {
                s_.font = StockFont(n);
            } else {
                Note(QStringLiteral("no stock object %1; ignored").arg(n));
            }
            return;
        }
        if (ih >= objects_.size() || !objects_[ih]) {
            Note(QStringLiteral("no object %1 to select; ignored").arg(ih));
            return;
        }
        const GdiObject& o = *objects_[ih];
        switch (o.kind) {
            case GdiObject::Pen:
                s_.pen = o.pen;
                break;
            case GdiObject::Brush:
                s_.brush = o.brush;
                break;
            case GdiObject::Font:
                s_.font = o.font;
                break;
            default:
                break;
        }
        return;
    }
    if (type == EMR_DELETEOBJECT || type == EMR_DELETECOLORSPACE) {
        // Selected objects live on as copies in the state, as GDI defers
        // deleting a selected object.
        if (!(ih & kStockObjectFlag) && ih < objects_.size()) objects_[ih].reset();
        return;
    }
    // Creation: slot 0 is the metafile itself.
    if (ih == 0 || ih > kMaxObjectIndex) {
        Note(QStringLiteral("object index %1 out of range; skipped").arg(ih));
        return;
    }
    auto obj = std::make_unique<GdiObject>();
    switch (type) {
        case EMR_CREATEPEN:
            obj->kind = GdiObject::Pen;
            obj->pen.style = r.U32(12) & PS_STYLE_MASK;
            obj->pen.width = std::abs(r.I32(16));
            obj->pen.color = ColorRef(r, 24);
            break;
        case EMR_EXTCREATEPEN: {
            obj->kind = GdiObject::Pen;
            PenSpec& p = obj->pen;
            p.extended = true;
            p.style = r.U32(28);
            p.width = r.U32(32);
            const uint32_t brushStyle = r.U32(36);
            p.color = ColorRef(r, 40);
            if (brushStyle == BS_NULL) p.style = (p.style & ~PS_STYLE_MASK) | PS_NULL;
            if ((p.style & PS_STYLE_MASK) == PS_USERSTYLE) {
                const uint32_t n = r.U32(48);
                if (n <= 16 && r.Has(52, uint64_t(n) * 4)) {
                    for (uint32_t i = 0; i < n; ++i)
                        p.userStyle.append(r.U32(52 + 4ull * i));
                } else {
                    Note(QStringLiteral("style of %1 entries unusable; drawn solid").arg(n));
                    p.style &= ~PS_STYLE_MASK;
                }
            }
            if (p.width > kCoordinateLimit) p.width = kCoordinateLimit;
            break;
        }
        case EMR_CREATEBRUSHINDIRECT: {
            obj->kind = GdiObject::Brush;
            BrushSpec& b = obj->brush;
            b.style = r.U32(12);
            b.color = ColorRef(r, 16);
            b.hatch = r.U32(20);
            if (b.style != BS_SOLID && b.style != BS_NULL && b.style != BS_HATCHED)
                b.style = BS_SOLID;  // patterns need a bitmap, which this record has not
            break;
        }
        case EMR_CREATEDIBPATTERNBRUSHPT:
        case EMR_CREATEMONOBRUSH: {
            obj->kind = GdiObject::Brush;
            BrushSpec& b = obj->brush;
            b.style = BS_DIBPATTERNPT;
            b.serial = ++brushSerial_;
            const uint32_t usage = r.U32(12);
            // A monochrome bitmap of a mono brush takes its colours when
            // drawn: 0 bits the text colour, 1 bits the background colour.
            DibInfo info;
            const uint8_t* bmi = r.Bytes(r.U32(16), r.U32(20));
            b.mono = type == EMR_CREATEMONOBRUSH && bmi &&
                     ReadDibInfo(bmi, r.U32(20), info, nullptr) && info.bitCount == 1;
            b.pattern =
                Dib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), usage, b.mono, nullptr, nullptr);
            if (b.mono) b.pattern = b.pattern.convertToFormat(QImage::Format_Indexed8);
            if (b.pattern.isNull()) {
                b.style = BS_SOLID;
                b.color = QColor(0x80, 0x80, 0x80);
            }
            break;
        }
        case EMR_EXTCREATEFONTINDIRECTW: {
            obj->kind = GdiObject::Font;
            LogFont& f = obj->font;
            f.height = r.I32(12);
            f.width = r.I32(16);
            f.escapement = r.I32(20);
            f.orientation = r.I32(24);
            f.weight = r.I32(28);
            f.italic = r.U8(32);
            f.underline = r.U8(33);
            f.strikeOut = r.U8(34);
            f.charset = r.U8(35);
            f.pitchAndFamily = r.U8(39);
            for (uint64_t i = 0; i < 32 && r.Has(40 + 2 * i, 2); ++i) {
                const char16_t c = r.U16(40 + 2 * i);
                if (c == 0) break;
                f.face.append(QChar(c));
            }
            break;
        }
        case EMR_CREATEPALETTE:
            obj->kind = GdiObject::Palette;
            break;
        default:  // colour spaces: they only hold their slot
            obj->kind = GdiObject::Other;
            break;
    }
    if (ih >= objects_.size()) objects_.resize(size_t(ih) + 1);
    objects_[ih] = std::move(obj);
}

// --- gradients, comments ------------------------------------------------------------------

void Interpreter::GradientFill(Reader& r) {
    const uint32_t nVer = r.U32(24), nTri = r.U32(28), mode = r.U32(32);
    const uint64_t meshAt = 36 + uint64_t(nVer) * 16;
    const uint64_t meshSize = uint64_t(nTri) * (mode == 2 ? 12 : 8);
    if (nVer > (1u << 20) || nTri > (1u << 20) || !r.Has(36, meshAt - 36) ||
        !r.Has(meshAt, meshSize)) {
        Note(QStringLiteral("%1 vertices and %2 pieces do not fit; skipped").arg(nVer).arg(nTri));
        return;
    }
    auto vertex = [&](uint32_t i, QPointF& p, QColor& c) {
        if (i >= nVer) return false;
        const uint64_t o = 36 + uint64_t(i) * 16;
        p = QPointF(r.I32(o), r.I32(o + 4));
        c = QColor(r.U16(o + 8) >> 8, r.U16(o + 10) >> 8, r.U16(o + 12) >> 8);
        return true;
    };
    QTransform t;
    if (!Xform(t)) return;
    for (uint32_t i = 0; i < nTri; ++i) {
        Shape s;
        Paint p;
        if (mode == 0 || mode == 1) {
            QPointF a, b;
            QColor ca, cb;
            if (!vertex(r.U32(meshAt + 8ull * i), a, ca) ||
                !vertex(r.U32(meshAt + 8ull * i + 4), b, cb))
                continue;
            s.kind = Shape::Rect;
            s.rect = QRectF(a, b).normalized();
            QLinearGradient g(a, mode == 0 ? QPointF(b.x(), a.y()) : QPointF(a.x(), b.y()));
            g.setColorAt(0, ca);
            g.setColorAt(1, cb);
            p.brush = QBrush(g);
        } else if (mode == 2) {
            QPointF v[3];
            QColor c[3];
            bool ok = true;
            for (int k = 0; k < 3; ++k)
                ok = ok && vertex(r.U32(meshAt + 12ull * i + 4 * k), v[k], c[k]);
            if (!ok) continue;
            // Drawn in the vertices' mean colour: shading within a triangle
            // is rare in pages and has no QPainter brush.
            s.kind = Shape::Polygon;
            s.points = QPolygonF({v[0], v[1], v[2]});
            p.brush = QBrush(QColor((c[0].red() + c[1].red() + c[2].red()) / 3,
                                    (c[0].green() + c[1].green() + c[2].green()) / 3,
                                    (c[0].blue() + c[1].blue() + c[2].blue()) / 3));
        } else {
            Note(QStringLiteral("unknown gradient mode %1; skipped").arg(mode));
            return;
        }
        EmitShape(std::move(s), p, CurrentXformIndex());
    }
}

void Interpreter::Comment(Reader& r) {
    const uint32_t cb = r.U32(8);
    if (cb < 4 || !r.Has(12, cb)) return;
    if (r.U32(12) != kCommentEmfPlus || seenEmfPlus_) return;
    seenEmfPlus_ = true;
    // The first EMF+ record is its header; flag bit 0 says the GDI records
    // draw the whole picture too (a dual file).
    if (cb >= 16 && r.U16(16) == 0x4001) d_.emfPlusOnly = !(r.U16(18) & 1);
    if (d_.emfPlusOnly)
        Note(QStringLiteral("EMF+ only picture: its GDI records are only a fallback"));
}

void Interpret(PictureData& d) {
    Interpreter in(d);
    in.Run();
}

}  // namespace emf
