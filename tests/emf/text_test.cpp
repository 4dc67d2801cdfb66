// Text records: where runs land (alignment, advance arrays, rotation),
// which characters they draw (glyph indices, Symbol codes, code pages) and
// the rectangles and backgrounds that go with them.
#include "emfbuilder.h"
#include "platform/emf/fonts.h"
#include "platform/emf/picture.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

using emftest::EmfBuilder;
using emftest::Rec;
using namespace emf;

namespace {

// Keeps the text runs a picture replays.
class Capture : public Device {
  public:
    void SetTransform(const QTransform&) override {}
    void SetClip(const Clip*) override {}
    void DrawShape(const Shape& s, const Paint& p) override { shapes.push_back({s, p}); }
    void DrawText(const TextRun& run) override { runs.push_back(run); }
    void DrawImage(const ImageDraw&) override {}
    void Save() override {}
    void Restore() override {}
    std::vector<TextRun> runs;
    std::vector<std::pair<Shape, Paint>> shapes;
};

Capture Replay(const QByteArray& bytes) {
    Picture picture(bytes);
    Capture c;
    picture.Replay(c);
    return c;
}

// The box of the pixels that are not white.
QRect Ink(const QImage& img) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Render(const QByteArray& bytes, int w, int h) {
    Picture picture(bytes);
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    picture.Play(painter, QRectF(0, 0, w, h));
    return img;
}

QByteArray OneRun(uint32_t align, const QString& text, const QList<int32_t>& dx = {},
                  int32_t escapement = 0) {
    EmfBuilder b(200, 100);
    b.Simple(EMR_SETBKMODE, {BK_TRANSPARENT}).Simple(EMR_SETTEXTALIGN, {int32_t(align)});
    b.Font(1, -40, QStringLiteral("Arial"), 400, escapement).Select(1);
    b.Text(100, 50, EmfBuilder::Codes(text), dx);
    return b.Bytes();
}

TEST(Text, AlignmentPlacesTheRunAroundTheReferencePoint) {
    struct Case {
        uint32_t align;
        std::function<void(const QRect&)> check;
    } cases[] = {
        {0,  // left, top
         [](const QRect& r) {
             EXPECT_GE(r.left(), 100);
             EXPECT_GE(r.top(), 50);
             EXPECT_LE(r.top(), 62);
         }},
        {TA_BASELINE,
         [](const QRect& r) {
             EXPECT_GE(r.left(), 100);
             EXPECT_NEAR(r.bottom(), 49, 1);
         }},
        {TA_BOTTOM,
         [](const QRect& r) {
             EXPECT_LT(r.bottom(), 50 - 4);  // the descent lies below the ink of "H"
             EXPECT_GT(r.bottom(), 50 - 14);
         }},
        {TA_RIGHT | TA_BASELINE,
         [](const QRect& r) {
             EXPECT_LE(r.right(), 100);
             EXPECT_GT(r.right(), 90);
         }},
        {TA_CENTER | TA_BASELINE, [](const QRect& r) { EXPECT_NEAR(r.center().x(), 100, 3); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.align);
        const QRect ink = Ink(Render(OneRun(c.align, QStringLiteral("HH")), 200, 100));
        ASSERT_FALSE(ink.isEmpty());
        c.check(ink);
    }
}

TEST(Text, GlyphsSitWhereTheAdvanceArraySays) {
    const Capture c = Replay(OneRun(TA_BASELINE, QStringLiteral("ABC"), {30, 45, 10}));
    ASSERT_EQ(c.runs.size(), 1u);
    const TextRun& run = c.runs[0];
    ASSERT_EQ(run.glyphs.size(), 1);
    QList<double> xs;
    for (const QPointF& p : run.glyphs[0].positions())
        xs << run.toReference.map(p).x();
    ASSERT_EQ(xs.size(), 3);
    EXPECT_NEAR(xs[0], 100, 1e-6);
    EXPECT_NEAR(xs[1], 130, 1e-6);
    EXPECT_NEAR(xs[2], 175, 1e-6);
    EXPECT_NEAR(run.toReference.map(run.glyphs[0].positions()[0]).y(), 50, 1e-6);
}

TEST(Text, RightAlignmentUsesTheSumOfTheAdvances) {
    const Capture c = Replay(OneRun(TA_RIGHT | TA_BASELINE, QStringLiteral("AB"), {30, 20}));
    ASSERT_EQ(c.runs.size(), 1u);
    const TextRun& run = c.runs[0];
    EXPECT_NEAR(run.toReference.map(run.glyphs[0].positions()[0]).x(), 50, 1e-6);
}

TEST(Text, UpdateCpMovesTheCurrentPosition) {
    EmfBuilder b(200, 100);
    b.Simple(EMR_SETTEXTALIGN, {TA_UPDATECP | TA_BASELINE}).Simple(EMR_MOVETOEX, {10, 40});
    b.Font(1, -20, QStringLiteral("Arial")).Select(1);
    b.Text(0, 0, EmfBuilder::Codes(QStringLiteral("AB")), {25, 25});
    b.Text(0, 0, EmfBuilder::Codes(QStringLiteral("C")), {10});
    const Capture c = Replay(b.Bytes());
    ASSERT_EQ(c.runs.size(), 2u);
    EXPECT_NEAR(c.runs[0].toReference.map(c.runs[0].glyphs[0].positions()[0]).x(), 10, 1e-6);
    EXPECT_NEAR(c.runs[1].toReference.map(c.runs[1].glyphs[0].positions()[0]).x(), 60, 1e-6);
    EXPECT_NEAR(c.runs[1].toReference.map(c.runs[1].glyphs[0].positions()[0]).y(), 40, 1e-6);
}

TEST(Text, EscapementTurnsTheBaseline) {
    const QRect flat = Ink(Render(OneRun(TA_BASELINE, QStringLiteral("HHHH")), 200, 100));
    const QRect up = Ink(Render(OneRun(TA_BASELINE, QStringLiteral("HHHH"), {}, 900), 200, 100));
    EXPECT_GT(flat.width(), flat.height());
    EXPECT_GT(up.height(), up.width());
    EXPECT_LE(up.bottom(), 52);  // it rises from the reference point
}

TEST(Text, GlyphsStayUprightWhenTheMappingFlips) {
    // MM_HIMETRIC: y grows upwards, 1 unit is 0.01 mm = 0.1 reference pixel
    // here. In the compatible graphics mode only the point and the size go
    // through the transform.
    EmfBuilder b(200, 100);
    b.Simple(EMR_SETMAPMODE, {MM_HIMETRIC}).Simple(EMR_SETVIEWPORTORGEX, {0, 100});
    b.Simple(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Font(1, -200, QStringLiteral("Arial")).Select(1);
    b.Text(500, 300, EmfBuilder::Codes(QStringLiteral("Hi")), {100, 100});
    const Capture c = Replay(b.Bytes());
    ASSERT_EQ(c.runs.size(), 1u);
    const TextRun& run = c.runs[0];
    EXPECT_NEAR(run.glyphs[0].rawFont().pixelSize(), 20, 0.05);
    const QPointF first = run.toReference.map(run.glyphs[0].positions()[0]);
    const QPointF second = run.toReference.map(run.glyphs[0].positions()[1]);
    EXPECT_NEAR(first.x(), 50, 1e-6);
    EXPECT_NEAR(first.y(), 70, 1e-6);
    EXPECT_NEAR(second.x(), 60, 1e-6);
    // Run y (down) stays down on the page.
    EXPECT_GT(run.toReference.map(QPointF(0, 1)).y(), run.toReference.map(QPointF(0, 0)).y());
}

TEST(Text, AdvancedModeTextFollowsTheWorldTransform) {
    EmfBuilder b(200, 100);
    b.Simple(EMR_SETTEXTALIGN, {TA_BASELINE});
    // A quarter turn: x goes down the page.
    b.Add(Rec(EMR_SETWORLDTRANSFORM).F32(0).F32(1).F32(-1).F32(0).F32(100).F32(10));
    b.Font(1, -20, QStringLiteral("Arial")).Select(1);
    b.Text(0, 0, EmfBuilder::Codes(QStringLiteral("AB")), {30, 30}, 0, GM_ADVANCED);
    const Capture c = Replay(b.Bytes());
    ASSERT_EQ(c.runs.size(), 1u);
    const TextRun& run = c.runs[0];
    const QPointF a = run.toReference.map(run.glyphs[0].positions()[0]);
    const QPointF bpos = run.toReference.map(run.glyphs[0].positions()[1]);
    EXPECT_NEAR(a.x(), 100, 1e-6);
    EXPECT_NEAR(a.y(), 10, 1e-6);
    EXPECT_NEAR(bpos.x(), 100, 1e-6);
    EXPECT_NEAR(bpos.y(), 40, 1e-6);
}

TEST(Text, HeightSignChoosesCharacterOrCellHeight) {
    auto em = [](int32_t height) {
        EmfBuilder b(200, 100);
        b.Font(1, height, QStringLiteral("Arial")).Select(1);
        b.Text(10, 10, EmfBuilder::Codes(QStringLiteral("x")));
        const Capture c = Replay(b.Bytes());
        return c.runs.at(0).glyphs.at(0).rawFont().pixelSize();
    };
    EXPECT_NEAR(em(-30), 30, 0.05);
    // A cell of 30 holds ascent and descent: the em is smaller.
    EXPECT_LT(em(30), 29);
    EXPECT_GT(em(30), 22);
}

TEST(Text, CharactersComeFromCodesOfEveryKind) {
    struct Case {
        const char* name;
        QString face;
        uint8_t charset;
        QList<uint16_t> codes;
        uint32_t options;
        QString expected;
    } cases[] = {
        {"plain", QStringLiteral("Arial"), 0, EmfBuilder::Codes(QStringLiteral("Hi")), 0,
         QStringLiteral("Hi")},
        {"glyph indices",
         QStringLiteral("Arial"),
         0,
         {43, 76, 3, 20},
         ETO_GLYPH_INDEX,
         QStringLiteral("Hi 1")},
        {"glyph indices beyond ASCII",
         QStringLiteral("Arial"),
         0,
         {98, 137, 178},
         ETO_GLYPH_INDEX,
         QStringLiteral("\u00c4\u00df\u2013")},
        {"flag set on plain characters", QStringLiteral("Arial"), 0,
         EmfBuilder::Codes(QStringLiteral("Hi you")), ETO_GLYPH_INDEX, QStringLiteral("Hi you")},
        {"Symbol codes",
         QStringLiteral("Symbol"),
         2,
         {0x61, 0xF062, 0x57},
         0,
         QStringLiteral("\u03b1\u03b2\u03a9")},
        {"a character the face lacks",
         QStringLiteral("Arial"),
         0,
         {'A', 0x4E2D},
         0,
         QStringLiteral("A\u4e2d")},
    };
    for (const auto& c : cases) {
        EmfBuilder b(200, 100);
        b.Font(1, -20, c.face, 400, 0, c.charset).Select(1);
        b.Text(10, 10, c.codes, {}, c.options);
        const Capture cap = Replay(b.Bytes());
        ASSERT_EQ(cap.runs.size(), 1u) << c.name;
        EXPECT_EQ(cap.runs[0].text, c.expected) << c.name;
        int glyphs = 0;
        for (const QGlyphRun& g : cap.runs[0].glyphs)
            glyphs += int(g.glyphIndexes().size());
        EXPECT_EQ(glyphs, int(QString(c.expected).remove(QLatin1Char(' ')).size())) << c.name;
    }
}

TEST(Text, AnsiTextUsesTheCodePageOfTheCharset) {
    EmfBuilder b(200, 100);
    b.Font(1, -20, QStringLiteral("Arial"), 400, 0, RUSSIAN_CHARSET).Select(1);
    Rec r(EMR_EXTTEXTOUTA);
    r.Words({0, 0, -1, -1}).U32(GM_COMPATIBLE).F32(0).F32(0);
    r.Words({10, 10}).U32(3).U32(76).U32(0).Words({0, 0, -1, -1}).U32(80);
    r.U8(0xCF).U8(0xE8).U8(0x80).U8(0).Words({10, 10, 10});
    b.Add(r);
    const Capture c = Replay(b.Bytes());
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].text, QStringLiteral("\u041f\u0438\u0402"));
}

TEST(Text, OpaqueRectangleAndBackground) {
    // ETO_OPAQUE fills its rectangle with the background colour; an opaque
    // background mode fills the run's cell.
    for (bool etoOpaque : {true, false}) {
        EmfBuilder b(200, 100);
        b.Add(Rec(EMR_SETBKCOLOR).Color(Qt::red));
        b.Simple(EMR_SETBKMODE, {int32_t(etoOpaque ? BK_TRANSPARENT : BK_OPAQUE)});
        b.Font(1, -20, QStringLiteral("Arial")).Select(1);
        Rec r(EMR_EXTTEXTOUTW);
        r.Words({0, 0, -1, -1}).U32(GM_COMPATIBLE).F32(0).F32(0);
        r.Words({50, 20}).U32(1).U32(76).U32(etoOpaque ? ETO_OPAQUE : 0);
        r.Words({0, 0, 40, 30}).U32(80).U16('.').U16(0).I32(15);
        b.Add(r);
        const QImage img = Render(b.Bytes(), 200, 100);
        if (etoOpaque) {
            EXPECT_EQ(img.pixel(5, 5), qRgb(255, 0, 0));
            EXPECT_EQ(img.pixel(45, 35), qRgb(255, 255, 255));
        } else {
            EXPECT_EQ(img.pixel(5, 5), qRgb(255, 255, 255));
            EXPECT_EQ(img.pixel(52, 22), qRgb(255, 0, 0));
            EXPECT_EQ(img.pixel(70, 22), qRgb(255, 255, 255));
        }
    }
}

TEST(Text, ClippedRunsStayInTheirRectangle) {
    EmfBuilder b(200, 100);
    b.Simple(EMR_SETBKMODE, {BK_TRANSPARENT});
    b.Font(1, -40, QStringLiteral("Arial")).Select(1);
    Rec r(EMR_EXTTEXTOUTW);
    r.Words({0, 0, -1, -1}).U32(GM_COMPATIBLE).F32(0).F32(0);
    r.Words({10, 10}).U32(4).U32(76).U32(ETO_CLIPPED).Words({0, 0, 40, 100}).U32(84);
    for (char c : {'W', 'W', 'W', 'W'})
        r.U16(uint16_t(c));
    r.Words({30, 30, 30, 30});
    b.Add(r);
    const QRect ink = Ink(Render(b.Bytes(), 200, 100));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LT(ink.right(), 40);
}

TEST(Text, UnderlineAndStrikeOutAreBars) {
    EmfBuilder b(200, 100);
    Rec f(EMR_EXTCREATEFONTINDIRECTW);
    f.U32(1).I32(-20).I32(0).I32(0).I32(0).I32(400).U8(0).U8(1).U8(1).U8(0).U32(0);
    for (int i = 0; i < 32; ++i)
        f.U16(i < 5 ? QStringLiteral("Arial")[i].unicode() : 0);
    b.Add(f).Select(1).Text(10, 10, EmfBuilder::Codes(QStringLiteral("ab")), {10, 10});
    const Capture c = Replay(b.Bytes());
    ASSERT_EQ(c.runs.size(), 1u);
    ASSERT_EQ(c.runs[0].decorations.size(), 2);
    EXPECT_NEAR(c.runs[0].toReference.mapRect(c.runs[0].decorations[0]).width(), 20, 1e-6);
}

TEST(Text, SubstitutesStandInForWindowsFaces) {
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Arial"), 0, 0), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Times New Roman"), 0, 0),
              QStringLiteral("Liberation Serif"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Courier New"), 0, 0),
              QStringLiteral("Liberation Mono"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Calibri"), 0, 0), QStringLiteral("Carlito"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("\uff2d\uff33 \u660e\u671d"), 128, 0),
              QStringLiteral("Noto Serif CJK JP"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Some Face"), SHIFTJIS_CHARSET, 0),
              QStringLiteral("Noto Sans CJK JP"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Unknown Face"), 0, 0x31),
              QStringLiteral("Liberation Mono"));
    EXPECT_EQ(SubstituteFamily(QStringLiteral("Unknown Face"), 0, 0x12),
              QStringLiteral("Liberation Serif"));
}

TEST(Text, GlyphIndexTable) {
    EXPECT_EQ(MacGlyphToUnicode(3), U' ');
    EXPECT_EQ(MacGlyphToUnicode(36), U'A');
    EXPECT_EQ(MacGlyphToUnicode(97), U'~');
    EXPECT_EQ(MacGlyphToUnicode(179), U'\u2014');
    EXPECT_EQ(MacGlyphToUnicode(257), U'\u0111');
    EXPECT_EQ(MacGlyphToUnicode(258), 0u);
    EXPECT_EQ(MacGlyphToUnicode(0), 0u);
    EXPECT_EQ(SymbolToUnicode(0xF0E5), U'\u2211');
    EXPECT_EQ(SymbolToUnicode(0x20), U' ');
}

}  // namespace
