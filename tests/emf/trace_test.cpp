// Golden lines of the trace device: what a small picture asks of an output
// device, call by call.
#include "emfbuilder.h"
#include "platform/emf/picture.h"
#include "platform/emf/tracedevice.h"

#include <gtest/gtest.h>

using emftest::EmfBuilder;
using emftest::Rec;
using namespace emf;

namespace {

QStringList Trace(const QByteArray& bytes) {
    Picture picture(bytes);
    TraceDevice trace;
    picture.Replay(trace);
    return trace.Lines();
}

TEST(Trace, GoldenLines) {
    EmfBuilder b(100, 50);
    b.Pen(1, Qt::blue, 2).Brush(2, Qt::red).Select(1).Select(2).Rectangle(1, 1, 5, 5);
    b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 80, 40});
    b.Add(Rec(EMR_EXTCREATEPEN)
              .U32(3)
              .Words({0, 0, 0, 0})
              .U32(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER)
              .U32(4)
              .U32(BS_SOLID)
              .Color(Qt::black)
              .U32(0)
              .U32(0));
    b.Select(3).Select(kStockObjectFlag | NULL_BRUSH);
    b.Simple(EMR_ELLIPSE, {10, 10, 30, 20});
    b.Simple(EMR_SETWINDOWORGEX, {-10, 0});
    b.Brush(4, Qt::green, BS_HATCHED, HS_CROSS).Select(4).Select(kStockObjectFlag | NULL_PEN);
    b.Add(Rec(EMR_POLYGON16).Words({0, 0, 0, 0}).U32(3).U16(0).U16(0).U16(10).U16(0).U16(5).U16(8));
    b.Simple(EMR_SETTEXTALIGN, {TA_BASELINE}).Simple(EMR_SETBKMODE, {BK_TRANSPARENT});
    b.Font(5, -10, QStringLiteral("Arial")).Select(5);
    b.Text(2, 30, EmfBuilder::Codes(QStringLiteral("Hi")), {6, 4});
    b.Select(3).Simple(EMR_SETROP2, {R2_XORPEN});
    b.Simple(EMR_MOVETOEX, {0, 0}).Simple(EMR_LINETO, {20, 0});
    const QStringList expected = {
        QStringLiteral("save"),
        QStringLiteral("transform [1 0 0 1 0 0]"),
        QStringLiteral("rect 1,1 4x4 pen=#0000ff w2 round/round brush=#ff0000"),
        QStringLiteral("clip rect 0,0 80x40"),
        QStringLiteral("ellipse 10,10 20x10 pen=#000000 w4 dash(3,1) flat/miter brush=none"),
        QStringLiteral("transform [1 0 0 1 10 0]"),
        QStringLiteral("polygon 0,0 10,0 5,8 pen=none brush=hatch-cross #00ff00 bg=#ffffff"),
        QStringLiteral(
            "text \"Hi\" at 12,30 font=Liberation Sans 10px color=#000000 glyphs=12,30 18,30"),
        QStringLiteral("polyline 0,0 20,0 pen=#000000 w4 dash(3,1) flat/miter brush=none rop=S^D"),
        QStringLiteral("restore"),
    };
    const QStringList lines = Trace(b.Bytes());
    EXPECT_EQ(lines, expected) << lines.join(QLatin1Char('\n')).toStdString();
}

// The records that draw from the current position leave it where their
// drawing ends; a LINETO after each shows where that is.
TEST(Trace, CurrentPositionFollowsTheToRecords) {
    auto after = [](const std::function<void(EmfBuilder&)>& record) {
        EmfBuilder b;
        b.Simple(EMR_MOVETOEX, {1, 1});
        record(b);
        b.Simple(EMR_LINETO, {9, 9});
        const QStringList lines = Trace(b.Bytes());
        return lines.size() >= 3 ? lines[lines.size() - 2] : QString();
    };
    EXPECT_EQ(
        after([](EmfBuilder& b) {
            b.Add(Rec(EMR_POLYLINETO16).Words({0, 0, 0, 0}).U32(2).U16(4).U16(1).U16(4).U16(6));
        }),
        QStringLiteral("polyline 4,6 9,9 pen=#000000 1px brush=none"));
    EXPECT_EQ(after([](EmfBuilder& b) {
                  b.Add(Rec(EMR_POLYBEZIERTO16)
                            .Words({0, 0, 0, 0})
                            .U32(3)
                            .U16(2)
                            .U16(2)
                            .U16(3)
                            .U16(3)
                            .U16(5)
                            .U16(2));
              }),
              QStringLiteral("polyline 5,2 9,9 pen=#000000 1px brush=none"));
    EXPECT_EQ(after([](EmfBuilder& b) {
                  // A quarter arc of the box 0,0-8,8 from 3 o'clock to 12 o'clock.
                  b.Simple(EMR_ARCTO, {0, 0, 8, 8, 8, 4, 4, 0});
              }),
              QStringLiteral("polyline 4,0 9,9 pen=#000000 1px brush=none"));
    EXPECT_EQ(after([](EmfBuilder& b) {
                  // PT_MOVETO 2,2; PT_LINETO 6,2; PT_LINETO | PT_CLOSEFIGURE 6,6.
                  b.Add(Rec(EMR_POLYDRAW16)
                            .Words({0, 0, 0, 0})
                            .U32(3)
                            .U16(2)
                            .U16(2)
                            .U16(6)
                            .U16(2)
                            .U16(6)
                            .U16(6)
                            .U8(6)
                            .U8(2)
                            .U8(3)
                            .U8(0));
              }),
              QStringLiteral("polyline 2,2 9,9 pen=#000000 1px brush=none"));
    EXPECT_EQ(after([](EmfBuilder& b) {
                  b.Simple(EMR_RECTANGLE, {2, 2, 5, 5});
              }),
              QStringLiteral("polyline 1,1 9,9 pen=#000000 1px brush=none"));
}

TEST(Trace, ClipChangesAreReportedOnce) {
    EmfBuilder b;
    b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 5});
    b.Fill(0, 0, 10, 10, Qt::red).Fill(0, 0, 10, 10, Qt::blue, 2);
    b.Add(Rec(EMR_EXTSELECTCLIPRGN).U32(0).U32(RGN_COPY));
    b.Fill(0, 0, 10, 10, Qt::green, 3);
    const QStringList lines = Trace(b.Bytes());
    EXPECT_EQ(lines.filter(QStringLiteral("clip ")),
              QStringList({QStringLiteral("clip rect 0,0 5x5"), QStringLiteral("clip none")}));
    EXPECT_EQ(lines.filter(QStringLiteral("rect 0,0 10x10")).size(), 3);
}

}  // namespace
