// Metafile recorder: the structure of what it writes (header, framing,
// object table discipline, save levels, records for each kind of drawing)
// and the page picture's recording canvas.
#include "platform/emf/recorder.h"
#include "platform/emf/dib.h"
#include "platform/emf/header.h"
#include "platform/screen.h"
#include "recorder_testutil.h"
#include "storage/pagepicture.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <QPainterPath>
#include <map>
#include <set>

namespace {

using rt::RecordOf;
using rt::Records;

constexpr uint32_t kStock = 0x80000000u;

TEST(RecorderHeader, FrameGivesBackThePixelSizeAtEveryResolution) {
    struct Case {
        int dpi, w, h;
    };
    const Case cases[] = {{96, 794, 1123}, {96, 1, 1},     {96, 0, 0},     {96, 4961, 7016},
                          {120, 333, 777}, {144, 1000, 3}, {72, 595, 842}, {300, 2480, 3508}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi " << c.w << "x" << c.h);
        SetScreenPixelsPerInch(c.dpi);
        emf::Recorder rec(c.w, c.h);
        EXPECT_EQ(rec.width(), c.w);
        EXPECT_EQ(rec.height(), c.h);
        EXPECT_EQ(rec.logicalDpiX(), c.dpi);
        EXPECT_EQ(rec.logicalDpiY(), c.dpi);
        EXPECT_EQ(rec.physicalDpiX(), c.dpi);
        EXPECT_EQ(rec.devicePixelRatio(), 1);
        const QByteArray bytes = rec.Finish();
        emf::Header h;
        QString why;
        ASSERT_TRUE(emf::ParseHeader(rt::Data(bytes), size_t(bytes.size()), h, &why))
            << why.toStdString();
        EXPECT_EQ(h.WidthPx(), c.w);
        EXPECT_EQ(h.HeightPx(), c.h);
        const emf::ReferenceDevice ref = emf::ScreenReferenceDevice(c.dpi);
        EXPECT_EQ(h.devicePxX, ref.pxX);
        EXPECT_EQ(h.deviceMmY, ref.mmY);
        EXPECT_EQ(h.frame.left, 0);
        EXPECT_EQ(h.frame.top, 0);
        // Nothing drawn: empty bounds.
        EXPECT_EQ(h.bounds.right, -1);
        EXPECT_EQ(h.bounds.bottom, -1);
    }
    SetScreenPixelsPerInch(96);
}

TEST(RecorderHeader, CountsAndFramingMatchTheRecords) {
    const QByteArray bytes = rt::Record(120, 80, [](QPainter& p) {
        p.setPen(QPen(Qt::red, 2));
        p.setBrush(Qt::blue);
        p.drawRect(10, 10, 30, 20);
        p.drawText(QPointF(20, 60), QStringLiteral("Total"));
    });
    emf::Header h;
    QString why;
    ASSERT_TRUE(emf::ParseHeader(rt::Data(bytes), size_t(bytes.size()), h, &why));
    ASSERT_TRUE(emf::CheckRecordFraming(rt::Data(bytes), size_t(bytes.size()), &why))
        << why.toStdString();
    const auto recs = Records(bytes);
    EXPECT_EQ(h.bytes, uint32_t(bytes.size()));
    EXPECT_EQ(h.records, uint32_t(recs.size()));
    EXPECT_EQ(h.version, 0x10000u);
    EXPECT_EQ(recs.front().type, emf::EMR_HEADER);
    ASSERT_EQ(recs.back().type, emf::EMR_EOF);
    EXPECT_EQ(recs.back().size, 20u);
    EXPECT_EQ(recs.back().U32(16), 20u);  // nSizeLast
    for (const auto& r : recs)
        EXPECT_EQ(r.size % 4, 0u) << "record type " << r.type;
    // The bounds hold the rectangle and the text, in reference pixels.
    EXPECT_LE(h.bounds.left, 10);
    EXPECT_LE(h.bounds.top, 10);
    EXPECT_GE(h.bounds.right, 40);
    EXPECT_GE(h.bounds.bottom, 60);
    EXPECT_LE(h.bounds.right, 80);
    EXPECT_LE(h.bounds.bottom, 70);
}

// Plays the object table as a GDI player would, checking that every
// selection and deletion names a live object, nothing selected is deleted,
// every handle is inside the table and nothing is left at the end; also
// that save levels balance.
void CheckObjectDiscipline(const QByteArray& bytes) {
    emf::Header h;
    ASSERT_TRUE(emf::ParseHeader(rt::Data(bytes), size_t(bytes.size()), h, nullptr));
    std::map<uint32_t, uint32_t> live;      // handle -> creating record type
    std::map<uint32_t, uint32_t> selected;  // kind (record type of creation) -> handle
    int depth = 0;
    for (const auto& r : Records(bytes)) {
        switch (r.type) {
            case 95:    // EXTCREATEPEN
            case 39:    // CREATEBRUSHINDIRECT
            case 94:    // CREATEDIBPATTERNBRUSHPT
            case 82: {  // EXTCREATEFONTINDIRECTW
                const uint32_t ih = r.U32(8);
                EXPECT_GE(ih, 1u);
                EXPECT_LT(ih, h.handles);
                EXPECT_EQ(live.count(ih), 0u) << "handle " << ih << " created twice";
                live[ih] = r.type;
                break;
            }
            case 37: {  // SELECTOBJECT
                const uint32_t ih = r.U32(8);
                if (ih & kStock) {
                    const uint32_t n = ih & ~kStock;
                    const uint32_t kind = n <= 5 ? 39 : n <= 8 ? 95 : 82;
                    selected[kind] = ih;
                } else {
                    ASSERT_EQ(live.count(ih), 1u) << "select of dead handle " << ih;
                    selected[live[ih] == 94 ? 39 : live[ih]] = ih;
                }
                break;
            }
            case 40: {  // DELETEOBJECT
                const uint32_t ih = r.U32(8);
                ASSERT_EQ(live.count(ih), 1u) << "delete of dead handle " << ih;
                for (const auto& [kind, sel] : selected)
                    EXPECT_NE(sel, ih) << "deleted while selected";
                live.erase(ih);
                break;
            }
            case 33:
                ++depth;
                break;
            case 34:
                EXPECT_EQ(int32_t(r.U32(8)), -1);
                --depth;
                EXPECT_GE(depth, 0);
                break;
            default:
                break;
        }
    }
    EXPECT_TRUE(live.empty()) << live.size() << " objects never deleted";
    EXPECT_EQ(depth, 0);
}

TEST(RecorderObjects, HandleTableStaysConsistentUnderManyPensBrushesAndFonts) {
    const QByteArray bytes = rt::Record(300, 300, [](QPainter& p) {
        for (int i = 0; i < 60; ++i) {
            p.setPen(QPen(QColor::fromHsv(i * 6, 255, 200), 1 + i % 5));
            p.setBrush(QColor::fromHsv((i * 37) % 360, 200, 255));
            p.drawRect(i * 4, i * 4, 20, 20);
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(8 + i % 20);
            p.setFont(f);
            p.drawText(QPointF(5, 5 + i * 4), QStringLiteral("x"));
            // Go back to an early pen now and then: it is reused while live.
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(0, i, 10, i);
        }
    });
    CheckObjectDiscipline(bytes);
    emf::Header h;
    ASSERT_TRUE(emf::ParseHeader(rt::Data(bytes), size_t(bytes.size()), h, nullptr));
    // Live objects are capped, so the table stays small.
    EXPECT_LE(h.handles, 1 + 3 * 16);
    // The black pen is created once and reused.
    int blackPens = 0;
    for (const auto& r : Records(bytes))
        if (r.type == 95 && r.U32(40) == 0 && r.U32(32) == uint32_t(16)) ++blackPens;
    EXPECT_EQ(blackPens, 1);
}

TEST(RecorderObjects, SeveralPainterSessionsAreSeparateSaveLevels) {
    emf::Recorder rec(50, 50);
    for (int i = 0; i < 3; ++i) {
        QPainter p(&rec);
        p.setBrush(Qt::green);
        p.drawEllipse(5, 5, 20 + i, 20);
    }
    const QByteArray bytes = rec.Finish();
    CheckObjectDiscipline(bytes);
    int saves = 0, ellipses = 0;
    for (const auto& r : Records(bytes)) {
        saves += r.type == 33;
        ellipses += r.type == 42;
    }
    EXPECT_EQ(saves, 3);
    EXPECT_EQ(ellipses, 3);
}

TEST(RecorderFinish, EndsPaintingAndIgnoresLaterDrawing) {
    emf::Recorder rec(40, 40);
    QPainter p(&rec);
    p.setBrush(Qt::red);
    p.drawRect(1, 1, 10, 10);
    const QByteArray first = rec.Finish();
    p.drawRect(20, 20, 10, 10);  // after the end: not recorded
    p.end();
    EXPECT_EQ(rec.Finish(), first);
    CheckObjectDiscipline(first);
    EXPECT_EQ(RecordOf(first, 43).size(), 1u);
    QPainter again;
    EXPECT_FALSE(again.begin(&rec));
}

// The world transform in force when each record is played.
QTransform WorldAt(const std::vector<rt::Rec>& recs, size_t index) {
    QTransform w;
    for (size_t i = 0; i < index; ++i) {
        const rt::Rec& r = recs[i];
        if (r.type == 35)
            w = QTransform(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
        if (r.type == 36 && r.U32(32) == 1) w = QTransform();
        if (r.type == 34) w = QTransform();
    }
    return w;
}

TEST(RecorderShapes, BoxesAreThePaintersRectanglesInLogicalUnits) {
    const QByteArray bytes = rt::Record(100, 100, [](QPainter& p) {
        p.setBrush(Qt::yellow);
        p.drawRect(QRectF(10.5, 20, 30, 40));
        p.drawEllipse(QRectF(50, 50, 20, 10));
    });
    const auto recs = Records(bytes);
    for (uint32_t type : {43u, 42u}) {
        auto it = std::find_if(recs.begin(), recs.end(),
                               [&](const rt::Rec& r) { return r.type == type; });
        ASSERT_NE(it, recs.end());
        const QTransform w = WorldAt(recs, size_t(it - recs.begin()));
        const QPointF tl = w.map(QPointF(it->I32(8), it->I32(12)));
        const QPointF br = w.map(QPointF(it->I32(16), it->I32(20)));
        const QRectF want = type == 43 ? QRectF(10.5, 20, 30, 40) : QRectF(50, 50, 20, 10);
        EXPECT_NEAR(tl.x(), want.left(), 1e-3);
        EXPECT_NEAR(tl.y(), want.top(), 1e-3);
        EXPECT_NEAR(br.x(), want.right(), 1e-3);
        EXPECT_NEAR(br.y(), want.bottom(), 1e-3);
    }
}

TEST(RecorderShapes, PathsPolygonsAndLinesUseTheirRecords) {
    const QByteArray bytes = rt::Record(200, 200, [](QPainter& p) {
        QPainterPath path;
        path.moveTo(10, 10);
        path.lineTo(50, 10);
        path.cubicTo(60, 20, 60, 40, 50, 50);
        path.closeSubpath();
        path.setFillRule(Qt::WindingFill);
        p.setBrush(Qt::cyan);
        p.drawPath(path);
        const QPointF star[] = {{100, 10}, {120, 60}, {70, 30}, {130, 30}, {80, 60}};
        p.drawPolygon(star, 5, Qt::OddEvenFill);
        p.drawPolyline(star, 5);
        p.drawLine(0, 190, 190, 190);
        const QLineF two[] = {QLineF(0, 100, 10, 100), QLineF(0, 110, 10, 120)};
        p.drawLines(two, 2);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    });
    std::vector<uint32_t> types;
    for (const auto& r : Records(bytes))
        types.push_back(r.type);
    auto has = [&](std::initializer_list<uint32_t> seq) {
        return std::search(types.begin(), types.end(), seq.begin(), seq.end()) != types.end();
    };
    // The path: fill mode, a figure of a line, a curve and the line back to
    // the start, closed, then filled and stroked.
    EXPECT_TRUE(has({19, 59, 27, 89, 88, 89, 61, 60, 63}));
    EXPECT_TRUE(has({59, 27, 89, 88, 89, 61, 60, 64}));            // stroked only
    EXPECT_TRUE(has({19, 86}));                                    // ALTERNATE, POLYGON16
    EXPECT_TRUE(std::count(types.begin(), types.end(), 87) == 1);  // POLYLINE16
    EXPECT_TRUE(has({27, 54}));                                    // MOVETOEX, LINETO
    EXPECT_TRUE(std::count(types.begin(), types.end(), 90) == 1);  // POLYPOLYLINE16
    const auto fills = RecordOf(bytes, 19);
    ASSERT_GE(fills.size(), 2u);
    EXPECT_EQ(fills[0].U32(8), 2u);  // WINDING for the path
    EXPECT_EQ(fills[1].U32(8), 1u);  // ALTERNATE for the odd-even polygon
    const auto poly = RecordOf(bytes, 86).at(0);
    EXPECT_EQ(poly.U32(24), 5u);
    // Points are in 1/16 pixel: (100,10) is (1600,160).
    EXPECT_EQ(int16_t(poly.U32(28) & 0xFFFF), 1600);
    EXPECT_EQ(int16_t(poly.U32(28) >> 16), 160);
}

TEST(RecorderShapes, LargeCoordinatesUse32BitPoints) {
    const QByteArray bytes = rt::Record(100, 100, [](QPainter& p) {
        const QPointF pts[] = {{0, 0}, {5000, 0}, {0, 10}};
        p.drawPolygon(pts, 3);
    });
    EXPECT_EQ(RecordOf(bytes, 86).size(), 0u);
    ASSERT_EQ(RecordOf(bytes, 3).size(), 1u);
    EXPECT_EQ(RecordOf(bytes, 3)[0].I32(28 + 8), 5000 * 16);
}

TEST(RecorderPens, StylesCapsJoinsAndWidths) {
    struct Case {
        const char* name;
        QPen pen;
        uint32_t style;  // expected elpPenStyle
        uint32_t width;  // expected elpWidth
        std::vector<uint32_t> dashes;
    };
    QPen cosmetic(Qt::red, 0);
    QPen flat(Qt::black, 3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    QPen dashed(Qt::black, 2, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    QPen cosmeticDot(Qt::black, 1, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin);
    cosmeticDot.setCosmetic(true);
    QPen custom(Qt::black, 1, Qt::CustomDashLine, Qt::FlatCap, Qt::BevelJoin);
    custom.setDashPattern({5, 3, 1, 3});
    const Case cases[] = {
        {"cosmetic", cosmetic, 0x1000 | 0x100, 1, {}},
        {"flat miter", flat, 0x10000 | 0x200 | 0x2000, 48, {}},
        {"dashed round", dashed, 0x10000 | 7, 32, {4 * 32, 2 * 32}},
        {"cosmetic dots", cosmeticDot, 0x100 | 0x1000 | 7, 1, {1, 2}},
        {"custom", custom, 0x10000 | 0x200 | 0x1000 | 7, 16, {80, 48, 16, 48}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = rt::Record(50, 50, [&](QPainter& p) {
            p.setPen(c.pen);
            p.drawLine(1, 1, 40, 30);
        });
        const auto pens = RecordOf(bytes, 95);
        ASSERT_EQ(pens.size(), 1u);
        const rt::Rec& r = pens[0];
        EXPECT_EQ(r.U32(28), c.style);
        EXPECT_EQ(r.U32(32), c.width);
        EXPECT_EQ(r.U32(36), 0u);  // BS_SOLID
        EXPECT_EQ(r.U32(40), uint32_t(c.pen.color().red() | c.pen.color().green() << 8 |
                                      c.pen.color().blue() << 16));
        ASSERT_EQ(r.U32(48), uint32_t(c.dashes.size()));
        for (size_t i = 0; i < c.dashes.size(); ++i)
            EXPECT_EQ(r.U32(52 + 4 * i), c.dashes[i]);
        if (c.pen.joinStyle() == Qt::MiterJoin) {
            ASSERT_EQ(RecordOf(bytes, 58).size(), 1u);
            EXPECT_EQ(RecordOf(bytes, 58)[0].U32(8), 4u);  // Qt's 2 half-widths
        }
    }
    // No pen: the stock null pen, nothing created.
    const QByteArray none = rt::Record(50, 50, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::red);
        p.drawRect(1, 1, 10, 10);
    });
    EXPECT_EQ(RecordOf(none, 95).size(), 0u);
    bool nullPen = false;
    for (const auto& r : RecordOf(none, 37))
        nullPen |= r.U32(8) == (kStock | 8);
    EXPECT_TRUE(nullPen);
}

TEST(RecorderBrushes, SolidHatchedPatternAndNull) {
    struct Case {
        Qt::BrushStyle style;
        uint32_t record;  // creating record, or 0 for a stock brush
        uint32_t bs, hatch;
    };
    const Case cases[] = {
        {Qt::SolidPattern, 39, 0, 0},     {Qt::HorPattern, 39, 2, 0},
        {Qt::VerPattern, 39, 2, 1},       {Qt::FDiagPattern, 39, 2, 2},
        {Qt::BDiagPattern, 39, 2, 3},     {Qt::CrossPattern, 39, 2, 4},
        {Qt::DiagCrossPattern, 39, 2, 5}, {Qt::Dense4Pattern, 94, 0, 0},
        {Qt::NoBrush, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "brush style " << int(c.style));
        const QByteArray bytes = rt::Record(50, 50, [&](QPainter& p) {
            p.setBrush(QBrush(QColor(10, 20, 30), c.style));
            p.drawRect(1, 1, 30, 30);
        });
        if (c.record == 0) {
            EXPECT_EQ(RecordOf(bytes, 39).size() + RecordOf(bytes, 94).size(), 0u);
            bool nullBrush = false;
            for (const auto& r : RecordOf(bytes, 37))
                nullBrush |= r.U32(8) == (kStock | 5);
            EXPECT_TRUE(nullBrush);
            continue;
        }
        const auto made = RecordOf(bytes, c.record);
        ASSERT_EQ(made.size(), 1u);
        if (c.record == 39) {
            EXPECT_EQ(made[0].U32(12), c.bs);
            EXPECT_EQ(made[0].U32(16), 10u | 20u << 8 | 30u << 16);
            EXPECT_EQ(made[0].U32(20), c.hatch);
        } else {
            // Qt's 8x8 dense pattern as a DIB: half the pixels in the colour.
            const rt::Rec& r = made[0];
            QString why;
            QImage tile = emf::DecodeDib(r.p + r.U32(16), r.U32(20), r.p + r.U32(24), r.U32(28),
                                         r.U32(12), &why);
            ASSERT_FALSE(tile.isNull()) << why.toStdString();
            EXPECT_EQ(tile.size(), QSize(8, 8));
            int ink = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    ink += tile.pixel(x, y) == qRgb(10, 20, 30);
            EXPECT_EQ(ink, 32);
        }
    }
}

TEST(RecorderText, RunWithAdvancesFontAndNoExtraDecorationLines) {
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(20);
    font.setBold(true);
    font.setItalic(true);
    font.setUnderline(true);
    font.setStrikeOut(true);
    const QString text = QStringLiteral("Sum: 1 234,50");
    const QByteArray bytes = rt::Record(300, 60, [&](QPainter& p) {
        p.setFont(font);
        p.setPen(QColor(200, 0, 0));
        p.drawText(QPointF(10, 40), text);
    });
    const auto recs = Records(bytes);
    auto it = std::find_if(recs.begin(), recs.end(), [](const rt::Rec& r) { return r.type == 84; });
    ASSERT_NE(it, recs.end());
    const rt::Rec& t = *it;
    const QTransform w = WorldAt(recs, size_t(it - recs.begin()));
    EXPECT_EQ(t.U32(24), 1u);  // GM_COMPATIBLE for upright text
    const uint32_t n = t.U32(44);
    ASSERT_EQ(n, uint32_t(text.size()));
    EXPECT_EQ(t.U32(48), 76u);
    EXPECT_EQ(t.String16(t.U32(48), n), text);
    EXPECT_EQ(w.map(QPointF(t.I32(36), t.I32(40))), QPointF(10, 40));
    // The advances add up to Qt's width of the run, and each character
    // starts where Qt's layout puts it.
    const QFontMetricsF fm(font);
    qreal x = 0;
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_NEAR(x, fm.horizontalAdvance(text.left(int(i))), 0.1) << "character " << i;
        x += t.I32(t.U32(72) + 4 * i) * w.m11();
    }
    EXPECT_NEAR(x, fm.horizontalAdvance(text), 0.1);
    EXPECT_EQ(RecordOf(bytes, 24).at(0).U32(8), 200u);  // text colour
    EXPECT_EQ(RecordOf(bytes, 22).at(0).U32(8), 24u);   // TA_BASELINE

    const auto fonts = RecordOf(bytes, 82);
    ASSERT_EQ(fonts.size(), 1u);
    const rt::Rec& f = fonts[0];
    EXPECT_EQ(f.size, 332u);
    EXPECT_NEAR(-f.I32(12) * w.m22(), 20, 0.1);  // em height in pixels
    EXPECT_EQ(f.I32(28), 700);
    EXPECT_EQ(f.p[32], 1);  // italic
    EXPECT_EQ(f.p[33], 1);  // underline
    EXPECT_EQ(f.p[34], 1);  // strike-out
    EXPECT_EQ(f.String16(40, 16), QStringLiteral("Liberation Serif"));
    // Qt's painter draws the underline and strike-out as lines of its own;
    // the font record carries them, so those lines are not recorded.
    EXPECT_EQ(RecordOf(bytes, 54).size(), 0u);
    EXPECT_EQ(RecordOf(bytes, 90).size(), 0u);
}

TEST(RecorderText, RotatedTextIsWrittenInAdvancedMode) {
    const QByteArray bytes = rt::Record(200, 200, [](QPainter& p) {
        p.translate(100, 100);
        p.rotate(-30);
        p.drawText(QPointF(0, 0), QStringLiteral("up"));
    });
    const auto recs = Records(bytes);
    auto it = std::find_if(recs.begin(), recs.end(), [](const rt::Rec& r) { return r.type == 84; });
    ASSERT_NE(it, recs.end());
    EXPECT_EQ(it->U32(24), 2u);  // GM_ADVANCED
    const QTransform w = WorldAt(recs, size_t(it - recs.begin()));
    const QPointF origin = w.map(QPointF(it->I32(36), it->I32(40)));
    EXPECT_NEAR(origin.x(), 100, 1e-3);
    EXPECT_NEAR(origin.y(), 100, 1e-3);
    // The world transform carries the rotation.
    EXPECT_NEAR(std::atan2(w.m12(), w.m11()) * 180 / M_PI, -30, 1e-3);
}

TEST(RecorderImages, OpaqueAndTransparentImagesKeepTheirPixels) {
    QImage opaque(3, 2, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    opaque.setPixel(0, 0, qRgb(255, 0, 0));
    opaque.setPixel(2, 1, qRgb(0, 0, 255));
    QImage alpha(2, 2, QImage::Format_ARGB32);
    alpha.fill(qRgba(0, 255, 0, 255));
    alpha.setPixel(1, 1, qRgba(0, 0, 0, 0));
    alpha.setPixel(0, 1, qRgba(255, 0, 0, 128));
    const QByteArray bytes = rt::Record(100, 100, [&](QPainter& p) {
        p.drawImage(QRectF(10, 10, 30, 20), opaque);
        p.drawImage(QPointF(50, 50), alpha);
    });
    const auto stretch = RecordOf(bytes, 81);
    ASSERT_EQ(stretch.size(), 1u);
    const rt::Rec& s = stretch[0];
    EXPECT_EQ(s.U32(68), 0x00CC0020u);  // SRCCOPY
    EXPECT_EQ(s.U32(40), 3u);
    EXPECT_EQ(s.U32(44), 2u);
    QString why;
    QImage back = emf::DecodeDib(s.p + s.U32(48), s.U32(52), s.p + s.U32(56), s.U32(60), 0, &why);
    ASSERT_FALSE(back.isNull()) << why.toStdString();
    EXPECT_EQ(back.format(), QImage::Format_RGB32);
    EXPECT_EQ(back, opaque);
    emf::DibInfo info;
    ASSERT_TRUE(emf::ReadDibInfo(s.p + s.U32(48), s.U32(52), info, &why));
    EXPECT_EQ(info.bitCount, 24);

    const auto blend = RecordOf(bytes, 114);
    ASSERT_EQ(blend.size(), 1u);
    const rt::Rec& a = blend[0];
    EXPECT_EQ(a.p[42], 255);  // constant alpha
    EXPECT_EQ(a.p[43], 1);    // AC_SRC_ALPHA
    back = emf::DecodeDib(a.p + a.U32(84), a.U32(88), a.p + a.U32(92), a.U32(96), 0, &why);
    ASSERT_FALSE(back.isNull()) << why.toStdString();
    EXPECT_EQ(back.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(back, alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(RecorderClip, RectanglesAsRegionsInDevicePixelsPathsAsClipPaths) {
    const QByteArray bytes = rt::Record(200, 200, [](QPainter& p) {
        p.translate(10, 5);
        p.setClipRect(QRect(0, 0, 50, 40));
        p.fillRect(0, 0, 100, 100, Qt::red);
        QPainterPath round;
        round.addEllipse(0, 0, 80, 80);
        p.setClipPath(round);
        p.fillRect(0, 0, 100, 100, Qt::blue);
        p.setClipping(false);
        p.fillRect(0, 0, 10, 10, Qt::green);
    });
    const auto regions = RecordOf(bytes, 75);
    ASSERT_EQ(regions.size(), 2u);
    const rt::Rec& set = regions[0];
    EXPECT_EQ(set.U32(12), 5u);   // RGN_COPY
    EXPECT_EQ(set.U32(16), 32u);  // RGNDATA header
    EXPECT_EQ(set.U32(24), 1u);   // one rectangle
    EXPECT_EQ(set.I32(48), 10);   // in device pixels, translation applied
    EXPECT_EQ(set.I32(52), 5);
    EXPECT_EQ(set.I32(56), 60);
    EXPECT_EQ(set.I32(60), 45);
    EXPECT_EQ(regions[1].U32(8), 0u);  // no data: clip removed
    const auto paths = RecordOf(bytes, 67);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].U32(8), 5u);
    // The clip path is drawn between BEGINPATH and ENDPATH right before.
    std::vector<uint32_t> types;
    for (const auto& r : Records(bytes))
        types.push_back(r.type);
    auto sel = std::find(types.begin(), types.end(), 67u);
    auto begin = std::find(std::make_reverse_iterator(sel), types.rend(), 59u);
    ASSERT_NE(begin, types.rend());
    EXPECT_NE(std::find(begin.base(), sel, 88u), sel);  // curves of the ellipse
}

TEST(RecorderCanvas, PagePictureRecordsAtItsSize) {
    PagePicture picture;
    picture.SetWidth(321);
    picture.SetHeight(123);
    {
        std::unique_ptr<TMetafileCanvas> canvas = picture.OpenCanvas();
        canvas->Painter().fillRect(10, 10, 50, 50, Qt::black);
        EXPECT_TRUE(picture.Empty());  // not before the canvas is done
    }
    ASSERT_FALSE(picture.Empty());
    EXPECT_EQ(picture.Width(), 321);
    EXPECT_EQ(picture.Height(), 123);
    EXPECT_EQ(picture.Header().bytes, uint32_t(picture.Bytes().size()));
    EXPECT_EQ(RecordOf(picture.Bytes(), 43).size(), 1u);

    auto canvas = picture.OpenCanvas();
    canvas->Painter().drawEllipse(1, 1, 5, 5);
    picture.CloseCanvas(std::move(canvas));
    EXPECT_EQ(RecordOf(picture.Bytes(), 43).size(), 0u);
    EXPECT_EQ(RecordOf(picture.Bytes(), 42).size(), 1u);
}

}  // namespace
