// The record interpreter: plays the records of a metafile against a model of
// a GDI device context (mapping mode, transforms, selected objects, colours,
// clip, path, current position) and turns every drawing record into
// operations in reference pixels. Not for use outside platform/emf/.
//
// What is refused and what is skipped: the structure (header, record
// framing) is checked before the interpreter runs and a broken one refuses
// the picture. Inside, a record whose fields do not fit its declared size,
// whose counts or offsets point outside it, or whose values are unusable
// (a singular transform, a bitmap that does not decode, an object index out
// of range) is skipped and noted, and the records after it are drawn.
#pragma once

#include "platform/emf/fonts.h"
#include "platform/emf/picture_p.h"
#include "platform/emf/records.h"
#include "platform/emf/region.h"

#include <QImage>
#include <QPainterPath>
#include <QTransform>
#include <memory>
#include <vector>

namespace emf {

struct PenSpec {
    uint32_t style = PS_SOLID;  // the whole PS_ value (style, cap, join, type)
    double width = 0;           // logical units; 0: one device pixel
    QColor color = Qt::black;
    bool extended = false;  // made by EXTCREATEPEN (geometric widths and styles apply)
    QList<qreal> userStyle;
};

struct BrushSpec {
    uint32_t style = 0;  // BS_
    QColor color = Qt::white;
    uint32_t hatch = 0;
    QImage pattern;       // pattern brushes; Format_Indexed8 with two entries when mono
    bool mono = false;    // 0 bits take the text colour, 1 bits the background colour
    uint64_t serial = 0;  // tells pattern brushes apart for the brush cache
};

struct GdiObject {
    enum Kind { Pen, Brush, Font, Palette, Other };
    Kind kind = Other;
    PenSpec pen;
    BrushSpec brush;
    LogFont font;
};

struct DcState {
    uint32_t mapMode = MM_TEXT;
    QPointF windowOrg, viewportOrg;
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    QTransform world;

    PenSpec pen;
    BrushSpec brush;
    LogFont font;

    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    uint32_t bkMode = BK_OPAQUE;
    uint32_t polyFillMode = ALTERNATE;
    uint32_t rop2 = R2_COPYPEN;
    uint32_t stretchMode = 1;
    uint32_t textAlign = 0;
    uint32_t arcDirection = AD_COUNTERCLOCKWISE;
    double miterLimit = 10.0;
    QPointF position;     // current position, logical units
    QPointF brushOrigin;  // where pattern tiles start, reference pixels

    Region clip;
    Region meta;

    // The path under construction (BEGINPATH..ENDPATH) or finished, in
    // reference pixels.
    bool pathOpen = false;
    bool pathReady = false;
    QPainterPath path;
    bool figureOpen = false;  // kept here only while saved
};

class Interpreter {
  public:
    explicit Interpreter(PictureData& d);
    void Run();

  private:
    // Records, by group.
    void Dispatch(const RecordView& rec, Reader& r);
    void MapRecord(uint32_t type, Reader& r);
    void ObjectRecord(uint32_t type, Reader& r);
    void ShapeRecord(uint32_t type, Reader& r);
    void PolyRecord(uint32_t type, Reader& r);
    void PathRecord(uint32_t type, Reader& r);
    void ClipRecord(uint32_t type, Reader& r);
    void RegionRecord(uint32_t type, Reader& r);
    void TextRecord(uint32_t type, Reader& r);
    void BitmapRecord(uint32_t type, Reader& r);
    void GradientFill(Reader& r);
    void Comment(Reader& r);

    // Text (text.cpp).
    void TextOut(Reader& r, uint64_t emrText, uint32_t graphicsMode, bool wide);
    void SmallTextOut(Reader& r);
    void DrawTextRun(const QPointF& reference, const std::vector<char32_t>& chars,
                     const std::vector<QPointF>& advances, bool haveAdvances, uint32_t options,
                     const QRectF* rect, uint32_t graphicsMode);

    // Bitmaps (bitmaps.cpp).
    QImage Dib(Reader& r, uint64_t offBmi, uint64_t cbBmi, uint64_t offBits, uint64_t cbBits,
               uint32_t usage, bool indices, bool* bottomUp, int* bitCount);
    void PatBlt(const QRectF& dest, uint32_t rop);
    void DrawImage(QImage image, const QRectF& dest, QRectF source, uint32_t rop,
                   qreal opacity = 1.0);

    // State.
    void SetMapMode(uint32_t mode);
    void FixIsotropic();
    void TransformChanged() { xformDirty_ = true; }
    // The transform from logical units to reference pixels; false (and a
    // note) when it cannot be used for drawing.
    bool Xform(QTransform& out);
    const QTransform& XformUnchecked();
    void ClipChanged() { clipIndex_ = -2; }
    QPen ResolvePen(const PenSpec& p);
    QBrush ResolveBrush(const BrushSpec& b);
    QPainter::CompositionMode Rop2Mode(bool* skip, bool* black, bool* white) const;

    // The area "no clip" stands for when a clip operation needs a shape.
    QRectF Universe() const;

    // Emission.
    uint32_t CurrentXformIndex();
    int32_t CurrentClipIndex();
    void Emit(Op::Kind kind, uint32_t index, uint32_t xform);
    // Whether the picture may take another operation (noted once when not).
    bool Room();
    // Draws a shape with the current pen and/or brush, or adds it to the
    // open path.
    void DrawShape(Shape shape, bool stroke, bool fill);
    void EmitShape(Shape shape, const Paint& paint, uint32_t xform);
    // Fills a shape given in reference pixels with one colour.
    void FillReference(const QPolygonF& polygon, const QColor& color);
    void AddToPath(const QPainterPath& logical);
    static QPainterPath ShapePath(const Shape& s);
    QRectF Box(Reader& r, uint64_t off);
    QPainterPath ArcPath(const QRectF& box, QPointF start, QPointF end, int kind);

    // Points of the poly records, checked against the record and the budget.
    bool ReadPoints(Reader& r, uint64_t off, uint64_t count, bool small, QPolygonF& out);

    void Note(const QString& text);

    PictureData& d_;
    const Header& h_;
    DcState s_;
    std::vector<DcState> saved_;
    std::vector<std::unique_ptr<GdiObject>> objects_;
    FontCache fonts_;

    uint32_t recordIndex_ = 0;
    const RecordView* record_ = nullptr;

    QTransform xform_;
    bool xformDirty_ = true;
    bool xformUsable_ = true;
    int64_t xformIndex_ = -1;  // index of xform_ in the table; -1: not pushed
    int32_t clipIndex_ = -2;   // -2: to compute; -1: none
    Region lastClip_;
    int32_t lastClipIndex_ = -1;

    uint64_t pointsUsed_ = 0;
    uint64_t pixelsUsed_ = 0;
    uint64_t brushSerial_ = 0;
    size_t notesDropped_ = 0;
    int glyphVotes_ = 0;  // > 0: this producer's flagged runs were glyph indices
    bool seenEmfPlus_ = false;
    bool full_ = false;
    // The open path's last figure is still open at the current position.
    bool figureOpen_ = false;

    // The last pen resolved, reused while the selected pen stays the same.
    bool penCacheValid_ = false;
    PenSpec penCacheSpec_;
    double penCacheMiter_ = 0;
    QPen penCache_;

    struct BrushCacheEntry {
        uint64_t serial;
        uint32_t xform;
        QRgb text, back;
        QPointF origin;
        QBrush brush;
    };
    std::vector<BrushCacheEntry> brushCache_;
};

// The composition mode for a binary raster operation (R2_); *skip when it
// leaves the destination alone, *black / *white when it paints that colour
// whatever the source.
QPainter::CompositionMode Rop2Composition(uint32_t rop2, bool* skip, bool* black, bool* white);
// The binary operation a ternary one amounts to when it does not use the
// source (source false: brush against destination) or the brush (source
// true: source against destination).
uint32_t Rop3AsRop2(uint32_t rop, bool source);

// Limits on what one picture may make the player hold.
constexpr uint64_t kMaxPointsPerRecord = 1u << 21;
constexpr uint64_t kMaxPointsPerPicture = 1u << 24;
constexpr uint64_t kMaxPixelsPerPicture = uint64_t(1) << 28;
constexpr size_t kMaxSaveDepth = 1024;
constexpr uint32_t kMaxObjectIndex = 65535;
constexpr uint32_t kMaxTextChars = 1u << 16;
constexpr size_t kMaxNotes = 2000;
// Far more than any page draws; it bounds what a hostile file can make the
// player hold (some hundred bytes an operation).
constexpr size_t kMaxOperations = 2u * 1024u * 1024u;

}  // namespace emf
