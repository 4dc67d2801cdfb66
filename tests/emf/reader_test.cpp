// The reader and what the player does with damaged metafiles: a broken
// structure is refused with "Metafile is not valid"; a damaged record is
// skipped with a note and the rest of the picture is drawn.
#include "platform/emf/reader.h"
#include "emfbuilder.h"
#include "platform/emf/describe.h"
#include "platform/emf/picture.h"
#include "platform/emf/tracedevice.h"
#include "platform/errors.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>
#include <limits>

using emftest::EmfBuilder;
using emftest::Rec;
using namespace emf;

namespace {

void Put(QByteArray& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

TEST(Reader, BoundedReadsFailInsteadOfOverrunning) {
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    Reader r(data, sizeof data);
    EXPECT_EQ(r.U32(0), 0x04030201u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.U16(4), 0x0605);
    EXPECT_EQ(r.U32(3), 0u);
    EXPECT_FALSE(r.Ok());
    Reader s(data, sizeof data);
    EXPECT_EQ(s.Bytes(2, UINT64_MAX), nullptr);
    EXPECT_FALSE(s.Ok());
    Reader t(data, sizeof data);
    Reader sub = t.Sub(2, 3);
    EXPECT_EQ(sub.Size(), 3u);
    EXPECT_EQ(sub.U8(2), 5);
    EXPECT_EQ(sub.U8(3), 0);
    EXPECT_FALSE(sub.Ok());
    EXPECT_TRUE(t.Ok());
    EXPECT_FALSE(t.Has(UINT64_MAX - 1, 4));
}

TEST(Reader, SplitsRecordsAndIgnoresBytesAfterEof) {
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red);
    QByteArray bytes = b.Bytes() + QByteArray(12, 'x');
    Structure st;
    QString why;
    ASSERT_TRUE(SplitRecords(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             size_t(bytes.size()), st, &why))
        << why.toStdString();
    EXPECT_TRUE(st.endsWithEof);
    EXPECT_EQ(st.trailingBytes, 12u);
    EXPECT_EQ(st.records.front().type, EMR_HEADER);
    EXPECT_EQ(st.records.back().type, EMR_EOF);
    EXPECT_EQ(st.records.size(), 6u);  // header, brush, two selections, rectangle, EOF
}

TEST(Reader, PlaysAMetafileWhoseHeaderOverstatesItsSize) {
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red);
    QByteArray bytes = b.Bytes();
    Put(bytes, 48, uint32_t(bytes.size() + 4000));
    Picture picture(bytes);
    EXPECT_EQ(picture.OperationCount(), 1u);
}

// Damaged structures: the picture is refused.
TEST(Reader, RefusesBrokenStructures) {
    const QByteArray good = [] {
        EmfBuilder b;
        b.Fill(0, 0, 5, 5, Qt::red);
        return b.Bytes();
    }();
    struct Case {
        const char* name;
        std::function<QByteArray()> make;
    } cases[] = {
        {"empty", [] { return QByteArray(); }},
        {"shorter than a header", [&] { return good.left(60); }},
        {"not a header first",
         [&] {
             QByteArray b = good;
             Put(b, 0, EMR_EOF);
             return b;
         }},
        {"wrong signature",
         [&] {
             QByteArray b = good;
             Put(b, 40, 0x12345678);
             return b;
         }},
        {"header size past the data",
         [&] {
             QByteArray b = good.left(200);
             Put(b, 4, 1000);
             return b;
         }},
        {"record of size 0",
         [&] {
             QByteArray b = good;
             Put(b, 112, 0);
             return b;
         }},
        {"record size not a multiple of 4",
         [&] {
             QByteArray b = good;
             Put(b, 112, 26);
             return b;
         }},
        {"record running past the end",
         [&] {
             QByteArray b = good;
             Put(b, 112, 0x7FFFFFF0);
             return b;
         }},
        {"cut inside a record", [&] { return good.left(good.size() - 6); }},
        {"impossible reference device",
         [&] {
             QByteArray b = good;
             Put(b, 80, 0);
             return b;
         }},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = c.make();
        try {
            Picture picture(bytes);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Metafile is not valid")) << c.name;
            EXPECT_FALSE(e.Detail().isEmpty()) << c.name;
        }
    }
}

// Damaged records: each is skipped with a note, and a red square drawn
// after it still shows.
TEST(Reader, SkipsDamagedRecordsAndDrawsTheRest) {
    struct Case {
        const char* name;
        std::function<void(EmfBuilder&)> damage;
        const char* note;  // a piece of the note expected
    } cases[] = {
        {"record shorter than its fields",
         [](EmfBuilder& b) {
             b.Raw(Rec(EMR_RECTANGLE).Words({1, 2}).Encode());
         },
         "shorter"},
        {"point count beyond the record",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_POLYGON16).Words({0, 0, 1, 1}).U32(1000000).U32(0));
         },
         "do not fit"},
        {"point count beyond any record",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_POLYLINE).Words({0, 0, 1, 1}).U32(0xFFFFFFFF));
         },
         "more than a record may draw"},
        {"polygon counts that do not add up",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_POLYPOLYGON16)
                       .Words({0, 0, 1, 1})
                       .U32(2)
                       .U32(3)
                       .U32(2)
                       .U32(2)
                       .Words({0, 0, 0}));
         },
         "add up"},
        {"more polygons than points",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_POLYPOLYLINE).Words({0, 0, 1, 1}).U32(0x40000000).U32(2).U32(1));
         },
         "do not fit"},
        {"string outside the record",
         [](EmfBuilder& b) {
             Rec r(EMR_EXTTEXTOUTW);
             r.Words({0, 0, -1, -1}).U32(1).F32(0).F32(0).Words({0, 0}).U32(4).U32(4000).U32(0);
             r.Words({0, 0, -1, -1}).U32(0);
             b.Add(r);
         },
         "string does not fit"},
        {"character count beyond any run",
         [](EmfBuilder& b) {
             Rec r(EMR_EXTTEXTOUTW);
             r.Words({0, 0, -1, -1}).U32(1).F32(0).F32(0).Words({0, 0}).U32(0x7FFFFFFF).U32(76);
             r.U32(0).Words({0, 0, -1, -1}).U32(0);
             b.Add(r);
         },
         "more than a run may hold"},
        {"advance array outside the record",
         [](EmfBuilder& b) {
             Rec r(EMR_EXTTEXTOUTW);
             r.Words({0, 0, -1, -1}).U32(1).F32(0).F32(0).Words({0, 0}).U32(2).U32(76).U32(0);
             r.Words({0, 0, -1, -1}).U32(0xFFFFFF00).U16('a').U16('b');
             b.Add(r);
         },
         "advance array"},
        {"object slot 0", [](EmfBuilder& b) { b.Pen(0, Qt::blue); }, "out of range"},
        {"object slot beyond the table", [](EmfBuilder& b) { b.Brush(0x7FFFFFFF, Qt::blue); },
         "out of range"},
        {"selecting an empty slot", [](EmfBuilder& b) { b.Select(0xFFFF); }, "no object"},
        {"restoring more levels than saved",
         [](EmfBuilder& b) { b.Simple(EMR_SAVEDC, {}).Simple(EMR_RESTOREDC, {-5}); }, "restore"},
        {"a transform of NaN",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_SETWORLDTRANSFORM)
                       .F32(std::numeric_limits<float>::quiet_NaN())
                       .F32(0)
                       .F32(0)
                       .F32(1)
                       .F32(0)
                       .F32(0));
         },
         "unusable"},
        {"a singular transform",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_SETWORLDTRANSFORM).F32(0).F32(0).F32(0).F32(0).F32(0).F32(0));
         },
         "unusable"},
        {"zero extents",
         [](EmfBuilder& b) {
             b.Simple(EMR_SETMAPMODE, {MM_ANISOTROPIC}).Simple(EMR_SETWINDOWEXTEX, {0, 5});
         },
         "zero extent"},
        {"bitmap header outside the record",
         [](EmfBuilder& b) {
             Rec r(EMR_STRETCHDIBITS);
             r.Words({0, 0, -1, -1, 0, 0, 0, 0, 1, 1}).U32(0x10000).U32(40).U32(80).U32(4);
             r.U32(0).U32(SRCCOPY).Words({1, 1});
             b.Add(r);
         },
         "does not fit"},
        {"bitmap of impossible size",
         [](EmfBuilder& b) {
             Rec r(EMR_STRETCHDIBITS);
             r.Words({0, 0, -1, -1, 0, 0, 0, 0, 1, 1}).U32(80).U32(40).U32(120).U32(4);
             r.U32(0).U32(SRCCOPY).Words({1, 1});
             r.U32(40).I32(1000000).I32(1000000).U16(1).U16(24).Words({0, 0, 0, 0, 0, 0});
             r.U32(0);
             b.Add(r);
         },
         "bitmap not decoded"},
        {"region data with a bad header",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_EXTSELECTCLIPRGN).U32(32).U32(RGN_AND).Words({7, 7, 0, 0, 0, 0, 0, 0}));
         },
         "region"},
        {"region with more rectangles than data",
         [](EmfBuilder& b) {
             b.Add(Rec(EMR_EXTSELECTCLIPRGN)
                       .U32(32)
                       .U32(RGN_AND)
                       .Words({32, 1, 1000, 0, 0, 0, 0, 0}));
         },
         "do not fit"},
        {"unknown record type", [](EmfBuilder& b) { b.Add(Rec(200).U32(1)); }, "unknown"},
        {"far too many saved states",
         [](EmfBuilder& b) {
             for (int i = 0; i < 1100; ++i)
                 b.Simple(EMR_SAVEDC, {});
         },
         "saved states"},
        {"a line to the far edge of the coordinates",
         [](EmfBuilder& b) {
             b.Simple(EMR_MOVETOEX, {0, 0}).Simple(EMR_LINETO, {0x7FFFFFFF, 0x7FFFFFFF});
         },
         "far outside"},
        {"path drawn without one",
         [](EmfBuilder& b) {
             b.Simple(EMR_FILLPATH, {0, 0, 0, 0});
         },
         "no path"},
    };
    for (const auto& c : cases) {
        EmfBuilder b;
        c.damage(b);
        b.Fill(0, 0, 10, 10, Qt::red, 2);
        const QByteArray bytes = b.Bytes();
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = std::make_unique<Picture>(bytes)) << c.name;
        bool noted = false;
        for (const Note& n : picture->Notes())
            noted = noted || n.text.contains(QLatin1String(c.note));
        EXPECT_TRUE(noted) << c.name << ": notes were " << [&] {
            QStringList l;
            for (const Note& n : picture->Notes())
                l << n.text;
            return l.join(QStringLiteral(" | ")).toStdString();
        }();
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        picture->Play(painter, QRectF(0, 0, 10, 10));
        painter.end();
        EXPECT_EQ(img.pixel(5, 5), qRgb(255, 0, 0)) << c.name;
    }
}

TEST(Reader, HugeRectanglesAreHeldToTheLimitNotDropped) {
    EmfBuilder b;
    b.Fill(-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, Qt::red);
    Picture picture(b.Bytes());
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    picture.Play(painter, QRectF(0, 0, 10, 10));
    painter.end();
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 0, 0));
}

TEST(Reader, NotesSayWhichRecord) {
    EmfBuilder b;
    b.Select(1234);
    Picture picture(b.Bytes());
    ASSERT_EQ(picture.Notes().size(), 1u);
    EXPECT_EQ(picture.Notes()[0].record, 1u);
    EXPECT_EQ(picture.Notes()[0].offset, 108u);
    EXPECT_EQ(picture.Notes()[0].type, uint32_t(EMR_SELECTOBJECT));
}

TEST(Reader, DescribesRecordsForTheDump) {
    EmfBuilder b;
    b.Pen(1, QColor(0x12, 0x34, 0x56), 3).Rectangle(1, 2, 3, 4);
    const QByteArray bytes = b.Bytes();
    Structure st;
    ASSERT_TRUE(SplitRecords(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             size_t(bytes.size()), st, nullptr));
    EXPECT_EQ(DescribeRecord(st.records[1]),
              QStringLiteral("     108 CREATEPEN 28 ih 1 style 0x0 width 3 color #123456"));
    EXPECT_EQ(DescribeRecord(st.records[2]), QStringLiteral("     136 RECTANGLE 24 box 1,2 3,4"));
    // A record too short for its fields says so.
    const QByteArray shortRec = Rec(EMR_RECTANGLE).Words({1}).Encode();
    RecordView v{EMR_RECTANGLE, 0, uint32_t(shortRec.size()),
                 reinterpret_cast<const uint8_t*>(shortRec.constData())};
    EXPECT_TRUE(DescribeRecord(v).endsWith(QLatin1String("(short)")));
}

}  // namespace
