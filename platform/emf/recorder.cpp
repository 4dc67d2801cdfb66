#include "platform/emf/recorder.h"

#include "platform/emf/dib.h"
#include "platform/emf/header.h"
#include "platform/rounding.h"
#include "platform/screen.h"

#include <QBitmap>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextLayout>
#include <QTextLine>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace emf {

namespace {

// Record types and GDI values the recorder writes.
namespace rec {
enum : uint32_t {
    POLYGON = 3,
    POLYLINE = 4,
    POLYBEZIERTO = 5,
    POLYLINETO = 6,
    POLYPOLYLINE = 7,
    SETBRUSHORGEX = 13,
    SETBKMODE = 18,
    SETPOLYFILLMODE = 19,
    SETSTRETCHBLTMODE = 21,
    SETTEXTALIGN = 22,
    SETTEXTCOLOR = 24,
    SETBKCOLOR = 25,
    MOVETOEX = 27,
    SAVEDC = 33,
    RESTOREDC = 34,
    SETWORLDTRANSFORM = 35,
    MODIFYWORLDTRANSFORM = 36,
    SELECTOBJECT = 37,
    CREATEBRUSHINDIRECT = 39,
    DELETEOBJECT = 40,
    ELLIPSE = 42,
    RECTANGLE = 43,
    LINETO = 54,
    SETMITERLIMIT = 58,
    BEGINPATH = 59,
    ENDPATH = 60,
    CLOSEFIGURE = 61,
    FILLPATH = 62,
    STROKEANDFILLPATH = 63,
    STROKEPATH = 64,
    SELECTCLIPPATH = 67,
    EXTSELECTCLIPRGN = 75,
    STRETCHDIBITS = 81,
    EXTCREATEFONTINDIRECTW = 82,
    EXTTEXTOUTW = 84,
    POLYGON16 = 86,
    POLYLINE16 = 87,
    POLYBEZIERTO16 = 88,
    POLYLINETO16 = 89,
    POLYPOLYLINE16 = 90,
    CREATEDIBPATTERNBRUSHPT = 94,
    EXTCREATEPEN = 95,
    ALPHABLEND = 114,
};
}  // namespace rec

constexpr uint32_t WHITE_BRUSH = 0x80000000u, NULL_BRUSH = 0x80000005u, BLACK_PEN = 0x80000007u,
                   NULL_PEN = 0x80000008u, SYSTEM_FONT = 0x8000000Du;
constexpr uint32_t TRANSPARENT = 1, OPAQUE = 2;
constexpr uint32_t ALTERNATE = 1, WINDING = 2;
constexpr uint32_t TA_BASELINE = 24;
constexpr uint32_t COLORONCOLOR = 3, HALFTONE = 4, BLACKONWHITE = 1;
constexpr uint32_t MWT_IDENTITY = 1;
constexpr uint32_t RGN_COPY = 5;
constexpr uint32_t GM_COMPATIBLE = 1, GM_ADVANCED = 2;
constexpr uint32_t SRCCOPY = 0x00CC0020u;
constexpr uint32_t BS_SOLID = 0, BS_HATCHED = 2;
constexpr uint32_t PS_SOLID = 0, PS_USERSTYLE = 7, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200,
                   PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_GEOMETRIC = 0x10000;

// Logical coordinates are kept inside this range, far beyond any page.
constexpr long double kMaxCoord = 1 << 30;
// Objects of one kind kept alive for reuse before the least recently used
// one is deleted.
constexpr size_t kMaxLivePerKind = 16;
// Room kept at the size limit for the records that close a session.
constexpr qsizetype kClosingRoom = 64 * 1024;
// Largest texture written as a pattern brush, in pixels.
constexpr int64_t kMaxPatternPixels = 1 << 20;

uint32_t ColorRef(const QColor& c) {
    const QRgb v = c.rgb();
    return uint32_t(qRed(v)) | uint32_t(qGreen(v)) << 8 | uint32_t(qBlue(v)) << 16;
}

// One record being built: little-endian fields appended after the type and
// a size that Take() fills in, padded to four bytes.
class Record {
  public:
    explicit Record(uint32_t type) {
        U32(type);
        U32(0);
    }
    Record& U8(uint8_t v) {
        b_.append(char(v));
        return *this;
    }
    Record& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Record& I16(int16_t v) { return U16(uint16_t(v)); }
    Record& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Record& I32(int32_t v) { return U32(uint32_t(v)); }
    Record& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return U32(u);
    }
    Record& Rect(const RectL& r) { return I32(r.left).I32(r.top).I32(r.right).I32(r.bottom); }
    Record& Bytes(const QByteArray& b) {
        b_.append(b);
        return *this;
    }
    Record& Pad4() {
        while (b_.size() % 4)
            b_.append('\0');
        return *this;
    }
    qsizetype Size() const { return b_.size(); }
    QByteArray Take() {
        Pad4();
        const uint32_t n = uint32_t(b_.size());
        for (int i = 0; i < 4; ++i)
            b_[4 + i] = char((n >> (8 * i)) & 0xFF);
        return std::move(b_);
    }

  private:
    QByteArray b_;
};

RectL BoundsOf(const std::vector<QPoint>& pts) {
    if (pts.empty()) return RectL{0, 0, -1, -1};
    RectL r{pts[0].x(), pts[0].y(), pts[0].x(), pts[0].y()};
    for (const QPoint& p : pts) {
        r.left = std::min(r.left, p.x());
        r.top = std::min(r.top, p.y());
        r.right = std::max(r.right, p.x());
        r.bottom = std::max(r.bottom, p.y());
    }
    return r;
}

bool Fits16(const std::vector<QPoint>& pts) {
    return std::all_of(pts.begin(), pts.end(), [](const QPoint& p) {
        return p.x() >= -32768 && p.x() <= 32767 && p.y() >= -32768 && p.y() <= 32767;
    });
}

void PutPoints(Record& r, const std::vector<QPoint>& pts, bool small) {
    for (const QPoint& p : pts) {
        if (small)
            r.I16(int16_t(p.x())).I16(int16_t(p.y()));
        else
            r.I32(p.x()).I32(p.y());
    }
}

// A BITMAPINFOHEADER for an uncompressed bottom-up DIB.
QByteArray DibHeader(int w, int h, int bpp, uint32_t imageSize, uint32_t colours = 0) {
    Record r(0);  // the 8 bytes of record framing are cut off below
    r.U32(40).I32(w).I32(h).U16(1).U16(uint16_t(bpp)).U32(BI_RGB).U32(imageSize);
    r.I32(0).I32(0).U32(colours).U32(0);
    return r.Take().mid(8);
}

// The bits of a bottom-up DIB of 24 (opaque) or 32 (premultiplied alpha)
// bits per pixel.
QByteArray DibBits(const QImage& img, int bpp) {
    const int w = img.width(), h = img.height();
    const qsizetype stride = (qsizetype(w) * bpp + 31) / 32 * 4;
    QByteArray bits(stride * h, '\0');
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(img.constScanLine(h - 1 - y));
        char* dst = bits.data() + stride * y;
        for (int x = 0; x < w; ++x) {
            const QRgb c = src[x];
            char* p = dst + x * (bpp / 8);
            p[0] = char(qBlue(c));
            p[1] = char(qGreen(c));
            p[2] = char(qRed(c));
            if (bpp == 32) p[3] = char(qAlpha(c));
        }
    }
    return bits;
}

// The device clip: rectangles when the clip is made of them, otherwise a path.
struct Clip {
    bool on = false;
    bool isRegion = true;
    QRegion region;
    QPainterPath path;

    bool operator==(const Clip& o) const {
        if (on != o.on) return false;
        if (!on) return true;
        return isRegion == o.isRegion && (isRegion ? region == o.region : path == o.path);
    }
    QRectF Bounds() const { return isRegion ? QRectF(region.boundingRect()) : path.boundingRect(); }
};

// A device path that is one axis-aligned rectangle, as a region; nothing
// otherwise.
std::optional<QRegion> RectRegion(const QPainterPath& path) {
    const QList<QPolygonF> polys = path.toFillPolygons();
    if (polys.size() != 1) return std::nullopt;
    QPolygonF poly = polys[0];
    if (poly.size() == 5 && poly.first() == poly.last()) poly.removeLast();
    if (poly.size() != 4) return std::nullopt;
    const QRectF box = poly.boundingRect();
    for (const QPointF& p : poly) {
        const bool xEdge = qFuzzyCompare(p.x(), box.left()) || qFuzzyCompare(p.x(), box.right());
        const bool yEdge = qFuzzyCompare(p.y(), box.top()) || qFuzzyCompare(p.y(), box.bottom());
        if (!xEdge || !yEdge) return std::nullopt;
    }
    const QRect rect(QPoint(qRound(box.left()), qRound(box.top())),
                     QPoint(qRound(box.right()) - 1, qRound(box.bottom()) - 1));
    return rect.isValid() ? QRegion(rect) : QRegion();
}

// What the painter asked for, pending the next primitive.
struct Wanted {
    QPen pen;
    QBrush brush;
    QFont font;
    QBrush background{Qt::white};
    Qt::BGMode bgMode = Qt::TransparentMode;
    QPointF brushOrigin;
    QTransform transform;
    qreal opacity = 1;
    bool smooth = false;
    bool clipEnabled = false;
    Clip clip;  // device space, as set; clipEnabled says whether it applies
};

// The state the records written so far leave in the player's DC.
struct Emitted {
    QTransform world;
    uint32_t pen = BLACK_PEN, brush = WHITE_BRUSH, font = SYSTEM_FONT;
    uint32_t bkMode = OPAQUE, bkColor = 0xFFFFFF, textColor = 0, textAlign = 0;
    uint32_t polyFill = ALTERNATE, stretchMode = BLACKONWHITE, miterLimit = 10;
    QPoint brushOrigin;
    Clip clip;
};

// Decoration lines Qt's painter draws after a text item, which the font
// record already describes.
struct PendingDecoration {
    bool active = false;
    bool underline = false, strikeOut = false;
    QPointF origin;
    qreal width = 0, ascent = 0;
    QTransform transform;
};

}  // namespace

class RecorderEngine : public QPaintEngine {
  public:
    RecorderEngine(Recorder* device, int width, int height, int dpi);

    bool begin(QPaintDevice* device) override;
    bool end() override;
    void updateState(const QPaintEngineState& state) override;
    void drawPath(const QPainterPath& path) override;
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
    void drawRects(const QRectF* rects, int count) override;
    void drawLines(const QLineF* lines, int count) override;
    void drawEllipse(const QRectF& rect) override;
    void drawTextItem(const QPointF& p, const QTextItem& item) override;
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override;
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags flags) override;
    Type type() const override { return QPaintEngine::User; }

    QByteArray Finish();

  private:
    enum Kind { kPen, kBrush, kFont, kKinds };
    struct Object {
        Kind kind;
        QByteArray key;  // the creating record without its handle
        uint32_t handle;
        uint64_t lastUse;
    };

    void Add(Record& r);
    void AddBounds(const QRectF& device);
    QPoint L(const QPointF& p) const;
    int32_t LLen(qreal v) const;
    static int32_t Coord(long double v);
    QTransform World() const;
    bool Drawable() const;

    // Bring the DC in line with what the painter wants.
    void SyncWorld(const QTransform& world);
    void SyncClip();
    void SyncPen();
    void SyncBrush();
    void SyncBackground();
    void SyncFillMode(uint32_t mode);
    void SyncForShape(bool pen, bool brush);
    void Select(Kind kind, uint32_t handle);
    uint32_t Acquire(Kind kind, uint32_t type, const QByteArray& body);
    void ReleaseAll();

    QByteArray PenBody(const QPen& pen) const;
    QByteArray PatternBrushBody(const QBrush& brush);
    QByteArray FontBody(const QFont& font) const;

    void EmitFigures(const QPainterPath& path, const std::function<QPoint(QPointF)>& map);
    void EmitImage(const QRectF& r, const QImage& image);
    void ClearDecoration() { decoration_.active = false; }
    bool SwallowDecoration(const QLineF& line);
    qreal PenHalfWidthDevice() const;
    qreal TransformScale() const;

    Recorder* device_;
    int width_, height_, dpi_;
    ReferenceDevice ref_;
    QByteArray out_;
    uint32_t records_ = 0;
    bool overflow_ = false;
    bool closing_ = false;  // writing the records that end a painter session
    bool saved_ = false;    // the session's SAVEDC is in the metafile
    bool finished_ = false;
    QByteArray result_;
    QRectF bounds_;

    Wanted want_;
    Emitted dc_;
    qreal k_ = 16;  // logical units per painter unit
    std::vector<Object> objects_;
    std::vector<bool> slots_{true};  // slot 0 is the metafile's own
    uint32_t maxHandle_ = 0;
    uint64_t useClock_ = 0;
    PendingDecoration decoration_;
};

RecorderEngine::RecorderEngine(Recorder* device, int width, int height, int dpi)
    : QPaintEngine(PaintEngineFeatures(PrimitiveTransform | PixmapTransform | PatternBrush |
                                       PainterPaths | Antialiasing)),
      device_(device),
      width_(width),
      height_(height),
      dpi_(dpi),
      ref_(ScreenReferenceDevice(dpi)) {
    // The header is written now and completed by Finish().
    out_ = MakeBlankMetafile(FrameForPixels(width_, height_, ref_), ref_);
    out_.truncate(108);
    records_ = 1;
}

void RecorderEngine::Add(Record& r) {
    QByteArray b = r.Take();
    if (finished_) return;
    // A metafile that reaches the size limit takes no more drawing; the
    // records that close it (object deletions, the last restore, EOF) have
    // room kept for them.
    if (!closing_ && (overflow_ || qsizetype(out_.size()) + b.size() + kClosingRoom >
                                       qsizetype(kMaxMetafileBytes))) {
        overflow_ = true;
        return;
    }
    out_.append(b);
    ++records_;
}

void RecorderEngine::AddBounds(const QRectF& device) {
    QRectF r = device;
    if (want_.clipEnabled && want_.clip.on) r = r.intersected(want_.clip.Bounds());
    if (!r.isValid() || !std::isfinite(r.left()) || !std::isfinite(r.right())) return;
    bounds_ = bounds_.isValid() ? bounds_.united(r) : r;
}

int32_t RecorderEngine::Coord(long double v) {
    if (!std::isfinite(v)) return 0;
    v = std::clamp(v, -kMaxCoord, kMaxCoord);
    return int32_t(RoundTiesEven(v));
}

QPoint RecorderEngine::L(const QPointF& p) const {
    return QPoint(Coord((long double)p.x() * k_), Coord((long double)p.y() * k_));
}

int32_t RecorderEngine::LLen(qreal v) const {
    return Coord((long double)v * k_);
}

qreal RecorderEngine::TransformScale() const {
    const QTransform& t = want_.transform;
    return std::max(std::hypot(t.m11(), t.m12()), std::hypot(t.m21(), t.m22()));
}

QTransform RecorderEngine::World() const {
    return QTransform::fromScale(1 / k_, 1 / k_) * want_.transform;
}

bool RecorderEngine::Drawable() const {
    if (finished_ || overflow_ || !isActive()) return false;
    const QTransform& t = want_.transform;
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

bool RecorderEngine::begin(QPaintDevice*) {
    if (finished_) return false;
    // Every painter session is one save level: the DC's state at the start
    // is restored at its end, and all objects it created are deleted.
    Record save(rec::SAVEDC);
    const qsizetype before = out_.size();
    Add(save);
    saved_ = out_.size() > before;
    dc_ = Emitted();
    want_ = Wanted();
    k_ = 16;
    Record mode(rec::SETBKMODE);
    mode.U32(TRANSPARENT);
    Add(mode);
    dc_.bkMode = TRANSPARENT;
    Record align(rec::SETTEXTALIGN);
    align.U32(TA_BASELINE);
    Add(align);
    dc_.textAlign = TA_BASELINE;
    setActive(true);
    return true;
}

bool RecorderEngine::end() {
    if (finished_) return true;
    ClearDecoration();
    closing_ = true;
    ReleaseAll();
    if (saved_) {
        Record restore(rec::RESTOREDC);
        restore.I32(-1);
        Add(restore);
    }
    saved_ = false;
    closing_ = false;
    dc_ = Emitted();
    return true;
}

QByteArray RecorderEngine::Finish() {
    if (finished_) return result_;
    if (isActive()) {
        end();
        setActive(false);
    }
    finished_ = true;
    QByteArray eof(20, '\0');
    auto put = [](QByteArray& b, int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    put(eof, 0, EMR_EOF);
    put(eof, 4, 20);
    put(eof, 12, 16);
    put(eof, 16, 20);
    out_.append(eof);
    ++records_;
    RectL b{0, 0, -1, -1};
    if (bounds_.isValid()) {
        b = RectL{Coord(std::floor(bounds_.left())), Coord(std::floor(bounds_.top())),
                  Coord(std::ceil(bounds_.right()) - 1), Coord(std::ceil(bounds_.bottom()) - 1)};
    }
    put(out_, 8, uint32_t(b.left));
    put(out_, 12, uint32_t(b.top));
    put(out_, 16, uint32_t(b.right));
    put(out_, 20, uint32_t(b.bottom));
    put(out_, 48, uint32_t(out_.size()));
    put(out_, 52, records_);
    out_[56] = char((maxHandle_ + 1) & 0xFF);
    out_[57] = char(((maxHandle_ + 1) >> 8) & 0xFF);
    result_ = std::move(out_);
    out_.clear();
    return result_;
}

void RecorderEngine::updateState(const QPaintEngineState& state) {
    const DirtyFlags f = state.state();
    if (f & DirtyPen) want_.pen = state.pen();
    if (f & DirtyBrush) want_.brush = state.brush();
    if (f & DirtyBrushOrigin) want_.brushOrigin = state.brushOrigin();
    if (f & DirtyFont) want_.font = state.font();
    if (f & DirtyBackground) want_.background = state.backgroundBrush();
    if (f & DirtyBackgroundMode) want_.bgMode = state.backgroundMode();
    if (f & DirtyOpacity) want_.opacity = state.opacity();
    if (f & DirtyHints)
        want_.smooth = state.renderHints().testFlag(QPainter::SmoothPixmapTransform);
    if (f & DirtyTransform) {
        want_.transform = state.transform();
        // About 16 logical units per device pixel, as a power of two so that
        // the world transform's scale is exact.
        qreal s = TransformScale();
        if (!(s > 0) || !std::isfinite(s)) s = 1;
        const int e = std::clamp(int(std::lround(std::log2(16 * s))), -16, 24);
        k_ = std::ldexp(1.0, e);
    }
    // A clip is given in the painter coordinates of the transform in force
    // when it was set (Qt sends both together when it replays clips), and
    // stays frozen in device space afterwards.
    if (f & (DirtyClipRegion | DirtyClipPath)) {
        const Qt::ClipOperation op = state.clipOperation();
        Clip next;
        if (op != Qt::NoClip) {
            const QTransform& t = want_.transform;
            next.on = true;
            if (f & DirtyClipRegion) {
                const QRegion r = state.clipRegion();
                if (t.type() <= QTransform::TxScale) {
                    next.region = t.map(r);
                } else {
                    QPainterPath p;
                    p.addRegion(r);
                    next.isRegion = false;
                    next.path = t.map(p);
                }
            } else {
                const QPainterPath p = t.map(state.clipPath());
                if (std::optional<QRegion> r = RectRegion(p)) {
                    next.region = *r;
                } else {
                    next.isRegion = false;
                    next.path = p;
                }
            }
            if (op == Qt::IntersectClip && want_.clip.on) {
                const Clip& old = want_.clip;
                if (old.isRegion && next.isRegion) {
                    next.region = old.region.intersected(next.region);
                } else {
                    QPainterPath a = old.path, b = next.path;
                    if (old.isRegion) a.addRegion(old.region);
                    if (next.isRegion) b.addRegion(next.region);
                    next.isRegion = false;
                    next.path = a.intersected(b);
                    if (std::optional<QRegion> r = RectRegion(next.path)) {
                        next.isRegion = true;
                        next.region = *r;
                        next.path = QPainterPath();
                    }
                }
            }
        }
        want_.clip = next;
        want_.clipEnabled = next.on;
    }
    if (f & DirtyClipEnabled) want_.clipEnabled = state.isClipEnabled();
}

void RecorderEngine::SyncWorld(const QTransform& world) {
    auto same = [](qreal a, qreal b) { return float(a) == float(b); };
    const QTransform& w = dc_.world;
    if (same(w.m11(), world.m11()) && same(w.m12(), world.m12()) && same(w.m21(), world.m21()) &&
        same(w.m22(), world.m22()) && same(w.dx(), world.dx()) && same(w.dy(), world.dy()))
        return;
    if (world.isIdentity()) {
        Record r(rec::MODIFYWORLDTRANSFORM);
        r.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0).U32(MWT_IDENTITY);
        Add(r);
    } else {
        Record r(rec::SETWORLDTRANSFORM);
        r.F32(float(world.m11())).F32(float(world.m12())).F32(float(world.m21()));
        r.F32(float(world.m22())).F32(float(world.dx())).F32(float(world.dy()));
        Add(r);
    }
    dc_.world = world;
}

void RecorderEngine::SyncClip() {
    Clip target = want_.clip;
    target.on = want_.clipEnabled && want_.clip.on;
    if (target == dc_.clip) return;
    if (!target.on) {
        Record r(rec::EXTSELECTCLIPRGN);
        r.U32(0).U32(RGN_COPY);
        Add(r);
    } else if (target.isRegion) {
        // RGNDATA in reference pixels: a 32-byte header, then the rectangles.
        const QRect box = target.region.boundingRect();
        const uint32_t n = uint32_t(target.region.rectCount());
        Record r(rec::EXTSELECTCLIPRGN);
        r.U32(32 + 16 * n).U32(RGN_COPY);
        r.U32(32).U32(1).U32(n).U32(16 * n);
        r.I32(box.left()).I32(box.top()).I32(box.right() + 1).I32(box.bottom() + 1);
        for (const QRect& q : target.region)
            r.I32(q.left()).I32(q.top()).I32(q.right() + 1).I32(q.bottom() + 1);
        Add(r);
    } else {
        // A clip path is drawn in device pixels (at 1/16 pixel) and selected
        // as the new clip.
        SyncWorld(QTransform::fromScale(1.0 / 16, 1.0 / 16));
        Record begin(rec::BEGINPATH);
        Add(begin);
        EmitFigures(target.path, [](QPointF p) {
            return QPoint(Coord((long double)p.x() * 16), Coord((long double)p.y() * 16));
        });
        Record end(rec::ENDPATH);
        Add(end);
        SyncFillMode(target.path.fillRule() == Qt::WindingFill ? WINDING : ALTERNATE);
        Record select(rec::SELECTCLIPPATH);
        select.U32(RGN_COPY);
        Add(select);
    }
    dc_.clip = target;
}

void RecorderEngine::Select(Kind kind, uint32_t handle) {
    uint32_t& current = kind == kPen ? dc_.pen : kind == kBrush ? dc_.brush : dc_.font;
    if (current == handle) return;
    Record r(rec::SELECTOBJECT);
    r.U32(handle);
    Add(r);
    current = handle;
}

uint32_t RecorderEngine::Acquire(Kind kind, uint32_t type, const QByteArray& body) {
    QByteArray key = body;
    key.prepend(char(type));
    for (Object& o : objects_) {
        if (o.kind == kind && o.key == key) {
            o.lastUse = ++useClock_;
            return o.handle;
        }
    }
    const uint32_t selected = kind == kPen ? dc_.pen : kind == kBrush ? dc_.brush : dc_.font;
    if (size_t(std::count_if(objects_.begin(), objects_.end(),
                             [&](const Object& o) { return o.kind == kind; })) >= kMaxLivePerKind) {
        auto victim = objects_.end();
        for (auto it = objects_.begin(); it != objects_.end(); ++it) {
            if (it->kind != kind || it->handle == selected) continue;
            if (victim == objects_.end() || it->lastUse < victim->lastUse) victim = it;
        }
        if (victim != objects_.end()) {
            Record del(rec::DELETEOBJECT);
            del.U32(victim->handle);
            Add(del);
            if (!overflow_) {
                slots_[victim->handle] = false;
                objects_.erase(victim);
            }
        }
    }
    uint32_t handle = 1;
    while (handle < slots_.size() && slots_[handle])
        ++handle;
    if (handle == slots_.size()) slots_.push_back(false);
    Record r(type);
    r.U32(handle).Bytes(body);
    Add(r);
    if (overflow_) {
        // The metafile is full: nothing more is drawn, so a stock object
        // stands in for the one that was not written.
        return kind == kPen ? NULL_PEN : kind == kBrush ? NULL_BRUSH : SYSTEM_FONT;
    }
    slots_[handle] = true;
    maxHandle_ = std::max(maxHandle_, handle);
    objects_.push_back(Object{kind, key, handle, ++useClock_});
    return handle;
}

void RecorderEngine::ReleaseAll() {
    // Stock objects go back in before the created ones are deleted, so that
    // nothing selected is ever deleted.
    Select(kPen, BLACK_PEN);
    Select(kBrush, WHITE_BRUSH);
    Select(kFont, SYSTEM_FONT);
    for (const Object& o : objects_) {
        Record del(rec::DELETEOBJECT);
        del.U32(o.handle);
        Add(del);
        slots_[o.handle] = false;
    }
    objects_.clear();
}

qreal RecorderEngine::PenHalfWidthDevice() const {
    const QPen& pen = want_.pen;
    if (pen.style() == Qt::NoPen) return 0;
    const qreal w = pen.widthF();
    if (pen.isCosmetic() || w == 0) return std::max<qreal>(w, 1) / 2 + 1;
    return w * TransformScale() / 2 + 1;
}

QByteArray RecorderEngine::PenBody(const QPen& pen) const {
    // EXTCREATEPEN after the handle: no pattern DIB, style, width, a solid
    // brush of the pen's colour, and the dash entries.
    const qreal w = pen.widthF();
    const bool cosmetic = pen.isCosmetic() || w == 0;
    const qreal cw = w == 0 ? 1 : w;  // a cosmetic pen's width in device pixels
    uint32_t style = 0;
    int32_t width = 1;
    qreal unit = 1;  // length of one dash-pattern unit, in the pen's style units
    if (cosmetic && cw <= 1) {
        width = 1;  // PS_COSMETIC: one device pixel
    } else {
        style |= PS_GEOMETRIC;
        const qreal logical = cosmetic ? cw * k_ / std::max<qreal>(TransformScale(), 1e-9) : w * k_;
        width = std::max<int32_t>(1, Coord(logical));
        unit = width;
    }
    switch (pen.capStyle()) {
        case Qt::FlatCap:
            style |= PS_ENDCAP_FLAT;
            break;
        case Qt::SquareCap:
            style |= PS_ENDCAP_SQUARE;
            break;
        default:
            break;
    }
    switch (pen.joinStyle()) {
        case Qt::MiterJoin:
        case Qt::SvgMiterJoin:
            style |= PS_JOIN_MITER;
            break;
        case Qt::BevelJoin:
            style |= PS_JOIN_BEVEL;
            break;
        default:
            break;
    }
    std::vector<uint32_t> entries;
    if (pen.style() == Qt::SolidLine) {
        style |= PS_SOLID;
    } else {
        // Qt's own dash pattern, not GDI's named styles, so that the dashes
        // fall where Qt draws them.
        style |= PS_USERSTYLE;
        for (qreal d : pen.dashPattern())
            entries.push_back(uint32_t(std::max<int32_t>(1, Coord(d * unit))));
        if (entries.size() % 2) entries.push_back(entries.back());
        if (entries.empty()) style = (style & ~0xFu) | PS_SOLID;
    }
    Record r(0);
    r.U32(0).U32(0).U32(0).U32(0);
    r.U32(style).U32(uint32_t(width)).U32(BS_SOLID).U32(ColorRef(pen.color())).U32(0);
    r.U32(uint32_t(entries.size()));
    for (uint32_t e : entries)
        r.U32(e);
    return r.Take().mid(8);
}

QByteArray RecorderEngine::PatternBrushBody(const QBrush& brush) {
    QImage tile;
    if (brush.style() == Qt::TexturePattern) {
        tile = brush.textureImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // GDI tiles patterns in device pixels: scale the texture as the
        // painter's transform and the brush's own would.
        const QTransform t = brush.transform() * want_.transform;
        const qreal sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
        if (!tile.isNull() && (std::abs(sx - 1) > 1e-3 || std::abs(sy - 1) > 1e-3)) {
            const int w = std::max(1, int(std::lround(tile.width() * sx)));
            const int h = std::max(1, int(std::lround(tile.height() * sy)));
            if (int64_t(w) * h <= kMaxPatternPixels)
                tile = tile.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        if (tile.isNull() || int64_t(tile.width()) * tile.height() > kMaxPatternPixels) return {};
        // Patterns are opaque: transparent texels show white paper.
        QImage flat(tile.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter p(&flat);
        p.drawImage(0, 0, tile);
        p.end();
        tile = flat;
    } else {
        // Qt's dense patterns as an 8x8 tile: the brush colour where Qt sets
        // a pixel, the background colour (or white paper) elsewhere.
        QImage mask(8, 8, QImage::Format_RGB32);
        mask.fill(Qt::white);
        QPainter p(&mask);
        p.fillRect(mask.rect(), QBrush(Qt::black, brush.style()));
        p.end();
        const QColor gap =
            want_.bgMode == Qt::OpaqueMode ? want_.background.color() : QColor(Qt::white);
        tile = QImage(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                tile.setPixel(x, y, qRed(mask.pixel(x, y)) < 128 ? brush.color().rgb() : gap.rgb());
    }
    const QByteArray bits = DibBits(tile, 24);
    const QByteArray bmi = DibHeader(tile.width(), tile.height(), 24, uint32_t(bits.size()));
    // CREATEDIBPATTERNBRUSHPT after the handle: usage, then the DIB's
    // offsets and sizes (from the record's start), then the DIB itself.
    Record r(0);
    r.U32(DIB_RGB_COLORS).U32(32).U32(uint32_t(bmi.size()));
    r.U32(uint32_t(32 + bmi.size())).U32(uint32_t(bits.size()));
    r.Bytes(bmi).Bytes(bits);
    return r.Take().mid(8);
}

void RecorderEngine::SyncPen() {
    const QPen& pen = want_.pen;
    if (pen.style() == Qt::NoPen) {
        Select(kPen, NULL_PEN);
        return;
    }
    Select(kPen, Acquire(kPen, rec::EXTCREATEPEN, PenBody(pen)));
    if (pen.joinStyle() == Qt::MiterJoin || pen.joinStyle() == Qt::SvgMiterJoin) {
        // GDI's limit is the miter length over the line width, Qt's half of it.
        const uint32_t limit =
            uint32_t(std::clamp<qreal>(std::round(2 * pen.miterLimit()), 1, 1000));
        if (limit != dc_.miterLimit) {
            Record r(rec::SETMITERLIMIT);
            r.U32(limit);
            Add(r);
            dc_.miterLimit = limit;
        }
    }
}

void RecorderEngine::SyncBrush() {
    const QBrush& brush = want_.brush;
    uint32_t hatch = 0;
    switch (brush.style()) {
        case Qt::NoBrush:
            Select(kBrush, NULL_BRUSH);
            return;
        case Qt::HorPattern:
            hatch = 0;
            break;
        case Qt::VerPattern:
            hatch = 1;
            break;
        case Qt::FDiagPattern:
            hatch = 2;
            break;
        case Qt::BDiagPattern:
            hatch = 3;
            break;
        case Qt::CrossPattern:
            hatch = 4;
            break;
        case Qt::DiagCrossPattern:
            hatch = 5;
            break;
        case Qt::Dense1Pattern:
        case Qt::Dense2Pattern:
        case Qt::Dense3Pattern:
        case Qt::Dense4Pattern:
        case Qt::Dense5Pattern:
        case Qt::Dense6Pattern:
        case Qt::Dense7Pattern:
        case Qt::TexturePattern: {
            const QByteArray body = PatternBrushBody(brush);
            if (!body.isEmpty()) {
                Select(kBrush, Acquire(kBrush, rec::CREATEDIBPATTERNBRUSHPT, body));
                const QPointF o = want_.transform.map(want_.brushOrigin) +
                                  QPointF(brush.transform().dx(), brush.transform().dy());
                const QPoint org(qRound(o.x()), qRound(o.y()));
                if (org != dc_.brushOrigin) {
                    Record r(rec::SETBRUSHORGEX);
                    r.I32(org.x()).I32(org.y());
                    Add(r);
                    dc_.brushOrigin = org;
                }
                return;
            }
            [[fallthrough]];
        }
        default: {
            // Anything else Qt did not turn into an image: its colour.
            Record r(0);
            r.U32(BS_SOLID).U32(ColorRef(brush.color())).U32(0);
            Select(kBrush, Acquire(kBrush, rec::CREATEBRUSHINDIRECT, r.Take().mid(8)));
            return;
        }
    }
    Record r(0);
    r.U32(BS_HATCHED).U32(ColorRef(brush.color())).U32(hatch);
    Select(kBrush, Acquire(kBrush, rec::CREATEBRUSHINDIRECT, r.Take().mid(8)));
}

void RecorderEngine::SyncBackground() {
    const uint32_t mode = want_.bgMode == Qt::OpaqueMode ? OPAQUE : TRANSPARENT;
    if (mode != dc_.bkMode) {
        Record r(rec::SETBKMODE);
        r.U32(mode);
        Add(r);
        dc_.bkMode = mode;
    }
    const uint32_t colour = ColorRef(want_.background.color());
    if (mode == OPAQUE && colour != dc_.bkColor) {
        Record r(rec::SETBKCOLOR);
        r.U32(colour);
        Add(r);
        dc_.bkColor = colour;
    }
}

void RecorderEngine::SyncFillMode(uint32_t mode) {
    if (mode == dc_.polyFill) return;
    Record r(rec::SETPOLYFILLMODE);
    r.U32(mode);
    Add(r);
    dc_.polyFill = mode;
}

void RecorderEngine::SyncForShape(bool pen, bool brush) {
    ClearDecoration();
    SyncClip();
    SyncWorld(World());
    SyncBackground();
    if (pen) SyncPen();
    if (brush) SyncBrush();
}

void RecorderEngine::EmitFigures(const QPainterPath& path,
                                 const std::function<QPoint(QPointF)>& map) {
    const int n = path.elementCount();
    std::vector<QPoint> run;
    uint32_t runType = 0;
    QPoint start, last;
    int segments = 0;
    auto flush = [&] {
        if (run.empty()) return;
        const bool small = Fits16(run);
        uint32_t type = runType == rec::POLYLINETO
                            ? (small ? rec::POLYLINETO16 : rec::POLYLINETO)
                            : (small ? rec::POLYBEZIERTO16 : rec::POLYBEZIERTO);
        Record r(type);
        r.Rect(BoundsOf(run)).U32(uint32_t(run.size()));
        PutPoints(r, run, small);
        Add(r);
        run.clear();
    };
    auto endFigure = [&] {
        flush();
        if (segments > 1 && last == start) {
            Record r(rec::CLOSEFIGURE);
            Add(r);
        }
        segments = 0;
    };
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            endFigure();
            start = last = map(QPointF(e.x, e.y));
            Record r(rec::MOVETOEX);
            r.I32(start.x()).I32(start.y());
            Add(r);
        } else if (e.isLineTo()) {
            if (runType != rec::POLYLINETO) flush();
            runType = rec::POLYLINETO;
            last = map(QPointF(e.x, e.y));
            run.push_back(last);
            ++segments;
        } else if (e.isCurveTo() && i + 2 < n) {
            if (runType != rec::POLYBEZIERTO) flush();
            runType = rec::POLYBEZIERTO;
            for (int k = 0; k < 3; ++k) {
                const QPainterPath::Element c = path.elementAt(i + k);
                run.push_back(map(QPointF(c.x, c.y)));
            }
            last = run.back();
            i += 2;
            ++segments;
        }
    }
    endFigure();
}

void RecorderEngine::drawPath(const QPainterPath& path) {
    if (!Drawable() || path.isEmpty()) return;
    const bool pen = want_.pen.style() != Qt::NoPen;
    const bool brush = want_.brush.style() != Qt::NoBrush;
    if (!pen && !brush) return;
    SyncForShape(pen, brush);
    if (brush) SyncFillMode(path.fillRule() == Qt::WindingFill ? WINDING : ALTERNATE);
    Record begin(rec::BEGINPATH);
    Add(begin);
    EmitFigures(path, [this](QPointF p) { return L(p); });
    Record end(rec::ENDPATH);
    Add(end);
    const QRectF box = path.controlPointRect();
    Record paint(pen && brush ? rec::STROKEANDFILLPATH : brush ? rec::FILLPATH : rec::STROKEPATH);
    paint.Rect(BoundsOf({L(box.topLeft()), L(box.bottomRight())}));
    Add(paint);
    const qreal pw = PenHalfWidthDevice();
    AddBounds(want_.transform.mapRect(box).adjusted(-pw, -pw, pw, pw));
}

void RecorderEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) {
    if (!Drawable() || count <= 0) return;
    const bool line = mode == PolylineMode;
    const bool pen = want_.pen.style() != Qt::NoPen;
    const bool brush = !line && want_.brush.style() != Qt::NoBrush;
    if (!pen && !brush) return;
    // A polygon record is filled and outlined with whatever is selected.
    SyncForShape(true, !line);
    if (mode == OddEvenMode) SyncFillMode(ALTERNATE);
    if (mode == WindingMode) SyncFillMode(WINDING);
    std::vector<QPoint> pts(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        pts[size_t(i)] = L(points[i]);
    const bool small = Fits16(pts);
    Record r(line ? (small ? rec::POLYLINE16 : rec::POLYLINE)
                  : (small ? rec::POLYGON16 : rec::POLYGON));
    r.Rect(BoundsOf(pts)).U32(uint32_t(count));
    PutPoints(r, pts, small);
    Add(r);
    const qreal pw = PenHalfWidthDevice();
    AddBounds(want_.transform.map(QPolygonF(QList<QPointF>(points, points + count)))
                  .boundingRect()
                  .adjusted(-pw, -pw, pw, pw));
}

void RecorderEngine::drawRects(const QRectF* rects, int count) {
    if (!Drawable()) return;
    for (int i = 0; i < count; ++i) {
        const QRectF rect = rects[i].normalized();
        const QPoint tl = L(rect.topLeft()), br = L(rect.bottomRight());
        if (br.x() - tl.x() < 2 || br.y() - tl.y() < 2) {
            // Too thin for a box record: the outline as a path.
            QPainterPath p;
            p.addRect(rect);
            drawPath(p);
            continue;
        }
        const bool pen = want_.pen.style() != Qt::NoPen;
        const bool brush = want_.brush.style() != Qt::NoBrush;
        if (!pen && !brush) return;
        SyncForShape(true, true);  // the box is outlined and filled with both
        // The box is the painter's rectangle itself: played as GDI plays
        // boxes (right and bottom edges included, as in advanced graphics
        // mode) it covers the pixels Qt's rectangle covers, outline and fill.
        Record r(rec::RECTANGLE);
        r.Rect(RectL{tl.x(), tl.y(), br.x(), br.y()});
        Add(r);
        const qreal pw = PenHalfWidthDevice();
        AddBounds(want_.transform.mapRect(rect).adjusted(-pw, -pw, pw, pw));
    }
}

void RecorderEngine::drawEllipse(const QRectF& rect0) {
    if (!Drawable()) return;
    const QRectF rect = rect0.normalized();
    const QPoint tl = L(rect.topLeft()), br = L(rect.bottomRight());
    if (br.x() - tl.x() < 2 || br.y() - tl.y() < 2) {
        QPainterPath p;
        p.addEllipse(rect);
        drawPath(p);
        return;
    }
    const bool pen = want_.pen.style() != Qt::NoPen;
    const bool brush = want_.brush.style() != Qt::NoBrush;
    if (!pen && !brush) return;
    SyncForShape(true, true);
    Record r(rec::ELLIPSE);
    r.Rect(RectL{tl.x(), tl.y(), br.x(), br.y()});
    Add(r);
    const qreal pw = PenHalfWidthDevice();
    AddBounds(want_.transform.mapRect(rect).adjusted(-pw, -pw, pw, pw));
}

bool RecorderEngine::SwallowDecoration(const QLineF& line) {
    const PendingDecoration& d = decoration_;
    if (!d.active || d.transform != want_.transform) return false;
    if (line.y1() != line.y2()) return false;
    if (std::abs(line.x1() - d.origin.x()) > 1 ||
        std::abs(line.x2() - (d.origin.x() + d.width)) > 1.5)
        return false;
    const qreal y = line.y1(), base = d.origin.y();
    if (y >= base) return d.underline;
    if (y > base - 0.75 * d.ascent) return d.strikeOut;
    return false;  // an overline, which a font record cannot describe
}

void RecorderEngine::drawLines(const QLineF* lines, int count) {
    if (!Drawable() || count <= 0 || want_.pen.style() == Qt::NoPen) return;
    if (count == 1 && SwallowDecoration(lines[0])) return;
    SyncForShape(true, false);
    const qreal pw = PenHalfWidthDevice();
    for (int i = 0; i < count; ++i)
        AddBounds(QRectF(want_.transform.map(lines[i].p1()), want_.transform.map(lines[i].p2()))
                      .normalized()
                      .adjusted(-pw, -pw, pw, pw));
    if (count == 1) {
        const QPoint a = L(lines[0].p1()), b = L(lines[0].p2());
        Record move(rec::MOVETOEX);
        move.I32(a.x()).I32(a.y());
        Add(move);
        Record to(rec::LINETO);
        to.I32(b.x()).I32(b.y());
        Add(to);
        return;
    }
    std::vector<QPoint> pts;
    pts.reserve(size_t(count) * 2);
    for (int i = 0; i < count; ++i) {
        pts.push_back(L(lines[i].p1()));
        pts.push_back(L(lines[i].p2()));
    }
    const bool small = Fits16(pts);
    Record r(small ? rec::POLYPOLYLINE16 : rec::POLYPOLYLINE);
    r.Rect(BoundsOf(pts)).U32(uint32_t(count)).U32(uint32_t(pts.size()));
    for (int i = 0; i < count; ++i)
        r.U32(2);
    PutPoints(r, pts, small);
    Add(r);
}

QByteArray RecorderEngine::FontBody(const QFont& font) const {
    // The em height in painter units, then in logical units (negative: an
    // em height, not a cell height).
    qreal em = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * dpi_ / 72.0;
    if (!(em > 0)) em = 12;
    const int32_t height = -std::max<int32_t>(1, LLen(em));
    int32_t width = 0;
    if (font.stretch() != QFont::AnyStretch && font.stretch() != QFont::Unstretched) {
        // A condensed or expanded face: its average character width.
        QFont plain = font;
        plain.setStretch(QFont::Unstretched);
        width = LLen(QFontMetricsF(plain, device_).averageCharWidth() * font.stretch() / 100.0);
    }
    uint8_t family = 0;  // FF_DONTCARE
    switch (font.styleHint()) {
        case QFont::Serif:
            family = 0x10;
            break;  // FF_ROMAN
        case QFont::SansSerif:
            family = 0x20;
            break;  // FF_SWISS
        case QFont::TypeWriter:
        case QFont::Monospace:
            family = 0x30;
            break;  // FF_MODERN
        case QFont::Cursive:
            family = 0x40;
            break;  // FF_SCRIPT
        case QFont::Decorative:
        case QFont::Fantasy:
            family = 0x50;
            break;  // FF_DECORATIVE
        default:
            break;
    }
    const uint8_t pitch = font.fixedPitch() ? 1 : 2;  // FIXED_PITCH, VARIABLE_PITCH
    Record r(0);
    r.I32(height).I32(width).I32(0).I32(0).I32(font.weight());
    r.U8(font.italic() ? 1 : 0).U8(font.underline() ? 1 : 0).U8(font.strikeOut() ? 1 : 0);
    r.U8(1);  // DEFAULT_CHARSET: the text is Unicode
    r.U8(0).U8(0);
    r.U8(font.styleStrategy() & QFont::NoAntialias ? 3 : 0);  // NONANTIALIASED_QUALITY
    r.U8(uint8_t(family | pitch));
    QString face = font.family().left(31);
    for (int i = 0; i < 32; ++i)
        r.U16(i < face.size() ? face.at(i).unicode() : 0);
    // The rest of the 332-byte form: empty full name and style, version,
    // style size, match, reserved, vendor id, culture, and a PANOSE of
    // "no fit" throughout.
    for (int i = 0; i < 64 + 32; ++i)
        r.U16(0);
    for (int i = 0; i < 6; ++i)
        r.U32(0);
    for (int i = 0; i < 10; ++i)
        r.U8(1);
    r.U8(0).U8(0);
    return r.Take().mid(8);
}

void RecorderEngine::drawTextItem(const QPointF& p, const QTextItem& item) {
    ClearDecoration();
    const QString text = item.text();
    if (!Drawable() || text.isEmpty() || want_.pen.style() == Qt::NoPen) return;
    QFont font = item.font();
    const QTextItem::RenderFlags flags = item.renderFlags();
    font.setUnderline(font.underline() || (flags & QTextItem::Underline));
    font.setStrikeOut(font.strikeOut() || (flags & QTextItem::StrikeOut));

    // Where each character starts, from Qt's own layout of the run,
    // stretched to the item's width when the item was justified.
    QTextLayout layout(text, font, device_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(flags & QTextItem::RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) return;
    const int n = int(text.size());
    std::vector<qreal> xs(size_t(n) + 1);
    for (int i = 0; i <= n; ++i)
        xs[size_t(i)] = line.cursorToX(i);
    const qreal natural = line.naturalTextWidth();
    const qreal stretch =
        natural > 0 && std::abs(item.width() - natural) > 0.5 ? item.width() / natural : 1;

    SyncClip();
    SyncWorld(World());
    SyncBackground();
    Select(kFont, Acquire(kFont, rec::EXTCREATEFONTINDIRECTW, FontBody(font)));
    QColor colour = want_.pen.color();
    if (want_.opacity < 1) {
        // Text keeps no opacity of its own: blend it toward white paper.
        const qreal a = std::clamp<qreal>(want_.opacity, 0, 1);
        colour = QColor::fromRgbF(colour.redF() * a + (1 - a), colour.greenF() * a + (1 - a),
                                  colour.blueF() * a + (1 - a));
    }
    if (ColorRef(colour) != dc_.textColor) {
        Record r(rec::SETTEXTCOLOR);
        r.U32(ColorRef(colour));
        Add(r);
        dc_.textColor = ColorRef(colour);
    }
    if (dc_.textAlign != TA_BASELINE) {
        Record r(rec::SETTEXTALIGN);
        r.U32(TA_BASELINE);
        Add(r);
        dc_.textAlign = TA_BASELINE;
    }

    const QTransform& t = want_.transform;
    // Compatible mode scales glyphs by the height only: it fits text that is
    // upright and scaled alike on both axes.
    const bool upright = t.m12() == 0 && t.m21() == 0 && t.m11() > 0 && t.m22() > 0 &&
                         std::abs(t.m11() - t.m22()) <= 1e-9 * std::abs(t.m22());
    const QPoint ref = L(p);
    const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
    const uint32_t offDx = 76 + uint32_t((2 * n + 3) / 4 * 4);
    Record r(rec::EXTTEXTOUTW);
    r.Rect(BoundsOf({L(box.topLeft()), L(box.bottomRight())}));
    // Upright text is written in compatible mode, with the scale of a
    // logical unit in 0.01 mm; anything rotated, sheared, mirrored or
    // stretched in advanced mode, where glyphs follow the world transform.
    if (upright) {
        const float scale = float(100.0 * ref_.mmX / ref_.pxX);
        r.U32(GM_COMPATIBLE).F32(scale).F32(float(100.0 * ref_.mmY / ref_.pxY));
    } else {
        r.U32(GM_ADVANCED).F32(0).F32(0);
    }
    r.I32(ref.x()).I32(ref.y()).U32(uint32_t(n)).U32(76).U32(0);
    r.I32(0).I32(0).I32(-1).I32(-1);  // no clipping or opaque rectangle
    r.U32(offDx);
    for (QChar c : text)
        r.U16(c.unicode());
    r.Pad4();
    // Advances as differences of rounded positions, so that they add up to
    // each character's exact place.
    const qreal x0 = xs[0];
    for (int i = 0; i < n; ++i) {
        const int32_t a = LLen((xs[size_t(i)] - x0) * stretch);
        const int32_t b = LLen((xs[size_t(i) + 1] - x0) * stretch);
        r.I32(b - a);
    }
    Add(r);
    AddBounds(t.mapRect(box).adjusted(-1, -1, 1, 1));

    decoration_.active = font.underline() || font.strikeOut();
    decoration_.underline = font.underline();
    decoration_.strikeOut = font.strikeOut();
    decoration_.origin = p;
    decoration_.width = item.width();
    decoration_.ascent = item.ascent();
    decoration_.transform = t;
}

void RecorderEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) {
    if (pm.depth() == 1) {
        // A bitmap paints its set pixels in the pen's colour.
        QImage mask = pm.toImage().convertToFormat(QImage::Format_Mono);
        QImage img(mask.size(), QImage::Format_ARGB32_Premultiplied);
        const QRgb ink = qPremultiply(want_.pen.color().rgba());
        for (int y = 0; y < img.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                line[x] = mask.pixelIndex(x, y) ? ink : 0;
        }
        drawImage(r, img, sr, Qt::AutoColor);
        return;
    }
    drawImage(r, pm.toImage(), sr, Qt::AutoColor);
}

void RecorderEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                               Qt::ImageConversionFlags) {
    ClearDecoration();
    if (!Drawable() || image.isNull() || r.isEmpty()) return;
    // Only the source rectangle is written, widened to whole pixels, with
    // the destination widened to match.
    const QRect src = sr.toAlignedRect().intersected(image.rect());
    if (src.isEmpty() || sr.width() <= 0 || sr.height() <= 0) return;
    const qreal sx = r.width() / sr.width(), sy = r.height() / sr.height();
    const QRectF dest(r.left() + (src.left() - sr.left()) * sx,
                      r.top() + (src.top() - sr.top()) * sy, src.width() * sx, src.height() * sy);
    QImage part = image.copy(src);
    // Bitmaps beyond the size any reader accepts are scaled down to it.
    if (part.width() > kMaxDibSide || part.height() > kMaxDibSide ||
        int64_t(part.width()) * part.height() > kMaxDibPixels / 4)
        part = part.scaled(QSize(std::min(part.width(), 8192), std::min(part.height(), 8192)),
                           Qt::KeepAspectRatio, Qt::SmoothTransformation);
    EmitImage(dest, part);
}

void RecorderEngine::EmitImage(const QRectF& r, const QImage& image0) {
    SyncClip();
    SyncWorld(World());
    const uint32_t stretch = want_.smooth ? HALFTONE : COLORONCOLOR;
    if (stretch != dc_.stretchMode) {
        Record m(rec::SETSTRETCHBLTMODE);
        m.U32(stretch);
        Add(m);
        dc_.stretchMode = stretch;
    }
    const QImage image = image0.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    bool opaque = true;
    for (int y = 0; y < image.height() && opaque; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255) {
                opaque = false;
                break;
            }
    }
    const uint8_t constant = uint8_t(std::clamp<qreal>(std::round(want_.opacity * 255), 0, 255));
    const QPoint tl = L(r.topLeft()), br = L(r.bottomRight());
    const int32_t cx = br.x() - tl.x(), cy = br.y() - tl.y();
    if (cx == 0 || cy == 0 || constant == 0) return;
    const int w = image.width(), h = image.height();
    const RectL bounds{tl.x(), tl.y(), br.x() - 1, br.y() - 1};
    if (opaque && constant == 255) {
        const QByteArray bits = DibBits(image, 24);
        const QByteArray bmi = DibHeader(w, h, 24, uint32_t(bits.size()));
        Record s(rec::STRETCHDIBITS);
        s.Rect(bounds).I32(tl.x()).I32(tl.y()).I32(0).I32(0).I32(w).I32(h);
        s.U32(80)
            .U32(uint32_t(bmi.size()))
            .U32(uint32_t(80 + bmi.size()))
            .U32(uint32_t(bits.size()));
        s.U32(DIB_RGB_COLORS).U32(SRCCOPY).I32(cx).I32(cy);
        s.Bytes(bmi).Bytes(bits);
        Add(s);
    } else {
        // Transparent pixels: AlphaBlend with per-pixel premultiplied alpha
        // (and the painter's opacity as the constant alpha).
        const QByteArray bits = DibBits(image, 32);
        const QByteArray bmi = DibHeader(w, h, 32, uint32_t(bits.size()));
        Record a(rec::ALPHABLEND);
        a.Rect(bounds).I32(tl.x()).I32(tl.y()).I32(cx).I32(cy);
        a.U8(0).U8(0).U8(constant).U8(opaque ? 0 : 1);  // AC_SRC_OVER, flags, alpha, AC_SRC_ALPHA
        a.I32(0).I32(0);
        a.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);  // source transform
        a.U32(0).U32(DIB_RGB_COLORS);
        a.U32(108)
            .U32(uint32_t(bmi.size()))
            .U32(uint32_t(108 + bmi.size()))
            .U32(uint32_t(bits.size()));
        a.I32(w).I32(h);
        a.Bytes(bmi).Bytes(bits);
        Add(a);
    }
    AddBounds(want_.transform.mapRect(r));
}

}  // namespace emf

// The device.

namespace emf {

Recorder::Recorder(int widthPx, int heightPx)
    : width_(std::clamp(widthPx, 0, 1 << 20)),
      height_(std::clamp(heightPx, 0, 1 << 20)),
      dpi_(ScreenPixelsPerInch() > 0 ? ScreenPixelsPerInch() : 96),
      engine_(std::make_unique<RecorderEngine>(this, width_, height_, dpi_)) {}

Recorder::~Recorder() = default;

QByteArray Recorder::Finish() {
    return engine_->Finish();
}

QPaintEngine* Recorder::paintEngine() const {
    return engine_.get();
}

int Recorder::metric(PaintDeviceMetric metric) const {
    switch (metric) {
        case PdmWidth:
            return width_;
        case PdmHeight:
            return height_;
        case PdmWidthMM:
            return int(std::lround(width_ * 25.4 / dpi_));
        case PdmHeightMM:
            return int(std::lround(height_ * 25.4 / dpi_));
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return dpi_;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
    }
}

}  // namespace emf
