// The player on tiny metafiles built here: a few exact pixels per case for
// mapping modes, transforms, saved states, clipping, objects, raster
// operations, bitmaps, fills and paths.
#include "emfbuilder.h"
#include "platform/emf/picture.h"
#include "storage/pagepicture.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

using emftest::EmfBuilder;
using emftest::Rec;
using namespace emf;

namespace {

QImage Render(const QByteArray& bytes, int w = 10, int h = 10, QColor background = Qt::white) {
    Picture picture(bytes);
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(background);
    QPainter painter(&img);
    picture.Play(painter, QRectF(0, 0, w, h));
    return img;
}

struct Pixel {
    int x, y;
    QRgb rgb;
};

struct Case {
    const char* name;
    std::function<void(EmfBuilder&)> build;
    std::vector<Pixel> expect;
};

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);

EmfBuilder& Blit(EmfBuilder& b, int x, int y, int w, int h, uint32_t rop) {
    Rec r(EMR_BITBLT);
    r.Words({0, 0, -1, -1, x, y, w, h}).U32(rop).Words({0, 0});
    r.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);
    r.U32(0xFFFFFF).U32(0).Words({0, 0, 0, 0});
    return b.Add(r);
}

// STRETCHDIBITS of a 2x2 picture: red, green on top; blue, white below.
EmfBuilder& Quad(EmfBuilder& b, int x, int y, int w, int h, uint32_t rop = SRCCOPY,
                 QRect src = QRect(0, 0, 2, 2)) {
    QByteArray bits;
    const QByteArray bmi = emftest::Dib24({{kRed, kGreen}, {kBlue, kWhite}}, &bits);
    Rec r(EMR_STRETCHDIBITS);
    r.Words({0, 0, -1, -1, x, y, src.x(), src.y(), src.width(), src.height()});
    r.U32(80).U32(uint32_t(bmi.size())).U32(uint32_t(80 + bmi.size())).U32(uint32_t(bits.size()));
    r.U32(0).U32(rop).I32(w).I32(h).Bytes(bmi).Bytes(bits);
    return b.Add(r);
}

// A blit record carrying the 2x2 picture Quad draws: BITBLT, STRETCHBLT,
// ALPHABLEND, TRANSPARENTBLT or MASKBLT (with a 2x2 mask whose top row is
// on, bottom row off).
Rec BlitQuad(uint32_t type, QRect dest, uint32_t ropOrArgument, QSize srcSize = QSize(2, 2)) {
    QByteArray bits;
    const QByteArray bmi = emftest::Dib24({{kRed, kGreen}, {kBlue, kWhite}}, &bits);
    const uint32_t fixed = type == EMR_BITBLT ? 100 : type == EMR_MASKBLT ? 128 : 108;
    Rec r(type);
    r.Words({0, 0, -1, -1, dest.x(), dest.y(), dest.width(), dest.height()});
    r.U32(ropOrArgument).Words({0, 0});
    r.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);
    r.U32(0xFFFFFF).U32(0);
    r.U32(fixed).U32(uint32_t(bmi.size())).U32(uint32_t(fixed + bmi.size()));
    r.U32(uint32_t(bits.size()));
    if (type == EMR_MASKBLT) {
        // Mask: 1 bit per pixel, bottom-up, no colour table (DIB_PAL_INDICES).
        const uint32_t maskAt = uint32_t(fixed + bmi.size() + bits.size());
        r.Words({0, 0}).U32(2).U32(maskAt).U32(40).U32(maskAt + 40).U32(8);
    } else if (type != EMR_BITBLT) {
        r.I32(srcSize.width()).I32(srcSize.height());
    }
    r.Bytes(bmi).Bytes(bits);
    if (type == EMR_MASKBLT) {
        r.U32(40).I32(2).I32(2).U16(1).U16(1).Words({0, 0, 0, 0, 0, 0});
        r.U32(0x00000000).U32(0x000000C0);  // bottom row off, top row on
    }
    return r;
}

// CREATEMONOBRUSH of an 8x8 bitmap whose every byte is fill.
Rec MonoBrush(uint32_t ih, uint8_t fill) {
    Rec r(EMR_CREATEMONOBRUSH);
    r.U32(ih).U32(2).U32(32).U32(40).U32(72).U32(32);
    r.U32(40).I32(8).I32(8).U16(1).U16(1).Words({0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 32; ++i)
        r.U8(fill);
    return r;
}

// CREATEDIBPATTERNBRUSHPT of the 2x2 picture Quad draws.
Rec QuadBrush(uint32_t ih) {
    QByteArray bits;
    const QByteArray bmi = emftest::Dib24({{kRed, kGreen}, {kBlue, kWhite}}, &bits);
    Rec r(EMR_CREATEDIBPATTERNBRUSHPT);
    r.U32(ih).U32(0).U32(32).U32(uint32_t(bmi.size())).U32(uint32_t(32 + bmi.size()));
    r.U32(uint32_t(bits.size())).Bytes(bmi).Bytes(bits);
    return r;
}

EmfBuilder& Region(EmfBuilder& b, uint32_t mode, std::initializer_list<QRect> rects) {
    Rec r(EMR_EXTSELECTCLIPRGN);
    r.U32(uint32_t(32 + 16 * rects.size())).U32(mode);
    r.U32(32).U32(1).U32(uint32_t(rects.size())).U32(uint32_t(16 * rects.size()));
    r.Words({0, 0, 10, 10});
    for (const QRect& q : rects)
        r.Words({q.left(), q.top(), q.right() + 1, q.bottom() + 1});
    return b.Add(r);
}

EmfBuilder& Xform(EmfBuilder& b, uint32_t type, std::initializer_list<float> m, uint32_t mode = 0) {
    Rec r(type);
    for (float v : m)
        r.F32(v);
    if (type == EMR_MODIFYWORLDTRANSFORM) r.U32(mode);
    return b.Add(r);
}

const Case kCases[] = {
    {"solid fill covers left..right-1",
     [](EmfBuilder& b) { b.Fill(0, 0, 5, 5, Qt::red); },
     {{0, 0, kRed}, {4, 4, kRed}, {5, 5, kWhite}, {7, 7, kWhite}}},
    {"outline on the inclusive box, fill inside",
     [](EmfBuilder& b) {
         b.Pen(2, Qt::blue).Brush(1, Qt::red).Select(1).Select(2).Rectangle(1, 1, 8, 8);
     },
     {{1, 1, kBlue}, {8, 8, kBlue}, {8, 4, kBlue}, {4, 4, kRed}, {9, 9, kWhite}, {0, 0, kWhite}}},
    {"anisotropic extents scale",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETMAPMODE, {MM_ANISOTROPIC})
             .Simple(EMR_SETWINDOWEXTEX, {100, 100})
             .Simple(EMR_SETVIEWPORTEXTEX, {10, 10})
             .Fill(0, 0, 50, 50, Qt::red);
     },
     {{4, 4, kRed}, {6, 6, kWhite}}},
    {"extents are ignored in MM_TEXT",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETWINDOWEXTEX, {100, 100})
             .Simple(EMR_SETVIEWPORTEXTEX, {10, 10})
             .Fill(0, 0, 5, 5, Qt::red);
     },
     {{4, 4, kRed}, {6, 6, kWhite}}},
    {"window origin shifts back",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETWINDOWORGEX, {5, 5}).Fill(5, 5, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kWhite}}},
    {"viewport origin shifts on",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETVIEWPORTORGEX, {5, 5}).Fill(0, 0, 5, 5, Qt::red);
     },
     {{7, 7, kRed}, {2, 2, kWhite}}},
    {"MM_HIMETRIC counts 0.01 mm with y up",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETMAPMODE, {MM_HIMETRIC})
             .Simple(EMR_SETVIEWPORTORGEX, {0, 10})
             .Fill(0, 0, 50, 50, Qt::red);
     },
     {{2, 7, kRed}, {2, 2, kWhite}, {7, 7, kWhite}}},
    {"MM_ISOTROPIC keeps units square",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETMAPMODE, {MM_ISOTROPIC})
             .Simple(EMR_SETWINDOWEXTEX, {100, 100})
             .Simple(EMR_SETVIEWPORTEXTEX, {10, 20})
             .Fill(0, 0, 50, 50, Qt::red);
     },
     {{2, 2, kRed}, {2, 7, kWhite}}},
    {"SCALEVIEWPORTEXTEX halves",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETMAPMODE, {MM_ANISOTROPIC})
             .Simple(EMR_SETWINDOWEXTEX, {10, 10})
             .Simple(EMR_SETVIEWPORTEXTEX, {10, 10})
             .Simple(EMR_SCALEVIEWPORTEXTEX, {1, 2, 1, 2})
             .Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kWhite}}},
    {"world transform scales",
     [](EmfBuilder& b) {
         Xform(b, EMR_SETWORLDTRANSFORM, {2, 0, 0, 2, 0, 0});
         b.Fill(0, 0, 2, 2, Qt::red);
     },
     {{3, 3, kRed}, {5, 5, kWhite}}},
    {"left multiply applies the new transform first",
     [](EmfBuilder& b) {
         Xform(b, EMR_SETWORLDTRANSFORM, {1, 0, 0, 1, 5, 0});
         Xform(b, EMR_MODIFYWORLDTRANSFORM, {0.5f, 0, 0, 1, 0, 0}, MWT_LEFTMULTIPLY);
         b.Fill(0, 0, 10, 5, Qt::red);
     },
     {{7, 2, kRed}, {2, 2, kWhite}}},
    {"right multiply applies it last",
     [](EmfBuilder& b) {
         Xform(b, EMR_SETWORLDTRANSFORM, {1, 0, 0, 1, 5, 0});
         Xform(b, EMR_MODIFYWORLDTRANSFORM, {0.5f, 0, 0, 1, 0, 0}, MWT_RIGHTMULTIPLY);
         b.Fill(0, 0, 10, 5, Qt::red);
     },
     {{3, 2, kRed}, {1, 2, kWhite}, {8, 2, kWhite}}},
    {"identity mode resets the world transform",
     [](EmfBuilder& b) {
         Xform(b, EMR_SETWORLDTRANSFORM, {3, 0, 0, 3, 1, 1});
         Xform(b, EMR_MODIFYWORLDTRANSFORM, {9, 9, 9, 9, 9, 9}, MWT_IDENTITY);
         b.Fill(0, 0, 2, 2, Qt::red);
     },
     {{1, 1, kRed}, {3, 3, kWhite}}},
    {"RESTOREDC -1 brings the transform back",
     [](EmfBuilder& b) {
         b.Simple(EMR_SAVEDC, {});
         Xform(b, EMR_SETWORLDTRANSFORM, {4, 0, 0, 4, 0, 0});
         b.Simple(EMR_RESTOREDC, {-1}).Fill(0, 0, 2, 2, Qt::red);
     },
     {{1, 1, kRed}, {3, 3, kWhite}}},
    {"RESTOREDC with a positive level is absolute",
     [](EmfBuilder& b) {
         b.Simple(EMR_SAVEDC, {})
             .Simple(EMR_SETVIEWPORTORGEX, {5, 5})
             .Simple(EMR_SAVEDC, {})
             .Simple(EMR_SETVIEWPORTORGEX, {7, 7})
             .Simple(EMR_RESTOREDC, {1})
             .Fill(0, 0, 2, 2, Qt::red);
     },
     {{1, 1, kRed}, {6, 6, kWhite}, {8, 8, kWhite}}},
    {"RESTOREDC beyond the saved levels is ignored",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETVIEWPORTORGEX, {5, 5})
             .Simple(EMR_SAVEDC, {})
             .Simple(EMR_RESTOREDC, {-3})
             .Fill(0, 0, 2, 2, Qt::red);
     },
     {{6, 6, kRed}, {1, 1, kWhite}}},
    {"INTERSECTCLIPRECT",
     [](EmfBuilder& b) {
         b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 5}).Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kWhite}, {2, 7, kWhite}}},
    {"EXCLUDECLIPRECT",
     [](EmfBuilder& b) {
         b.Simple(EMR_EXCLUDECLIPRECT, {0, 0, 5, 5}).Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kWhite}, {7, 7, kRed}, {2, 7, kRed}}},
    {"clip regions are in device units",
     [](EmfBuilder& b) {
         Xform(b, EMR_SETWORLDTRANSFORM, {2, 0, 0, 2, 0, 0});
         Region(b, RGN_COPY, {QRect(0, 0, 4, 4)});
         b.Fill(0, 0, 5, 5, Qt::red);
     },
     {{3, 3, kRed}, {6, 6, kWhite}}},
    {"RGN_COPY without data removes the clip",
     [](EmfBuilder& b) {
         b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 5});
         b.Add(Rec(EMR_EXTSELECTCLIPRGN).U32(0).U32(RGN_COPY));
         b.Fill(0, 0, 10, 10, Qt::red);
     },
     {{7, 7, kRed}}},
    {"RGN_OR adds, RGN_DIFF takes away",
     [](EmfBuilder& b) {
         Region(b, RGN_COPY, {QRect(0, 0, 3, 3)});
         Region(b, RGN_OR, {QRect(6, 6, 3, 3)});
         Region(b, RGN_DIFF, {QRect(0, 0, 1, 1)});
         b.Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kRed}, {0, 0, kWhite}, {4, 4, kWhite}}},
    {"RGN_XOR keeps what only one has",
     [](EmfBuilder& b) {
         Region(b, RGN_COPY, {QRect(0, 0, 6, 6)});
         Region(b, RGN_XOR, {QRect(3, 3, 6, 6)});
         b.Fill(0, 0, 10, 10, Qt::red);
     },
     {{1, 1, kRed}, {4, 4, kWhite}, {7, 7, kRed}, {9, 9, kWhite}}},
    {"the clip stays put when the transform changes",
     [](EmfBuilder& b) {
         b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 5})
             .Simple(EMR_SETVIEWPORTORGEX, {3, 3})
             .Fill(0, 0, 10, 10, Qt::red);
     },
     {{4, 4, kRed}, {6, 6, kWhite}, {1, 1, kWhite}}},
    {"OFFSETCLIPRGN moves the clip",
     [](EmfBuilder& b) {
         b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 3, 3})
             .Simple(EMR_OFFSETCLIPRGN, {5, 5})
             .Fill(0, 0, 10, 10, Qt::red);
     },
     {{6, 6, kRed}, {1, 1, kWhite}}},
    {"SETMETARGN keeps the clip under a new one",
     [](EmfBuilder& b) {
         b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 10}).Simple(EMR_SETMETARGN, {});
         b.Add(Rec(EMR_EXTSELECTCLIPRGN).U32(0).U32(RGN_COPY));
         b.Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kWhite}}},
    {"RESTOREDC brings the clip back",
     [](EmfBuilder& b) {
         b.Simple(EMR_SAVEDC, {})
             .Simple(EMR_INTERSECTCLIPRECT, {0, 0, 2, 2})
             .Simple(EMR_RESTOREDC, {-1})
             .Fill(0, 0, 10, 10, Qt::red);
     },
     {{7, 7, kRed}}},
    {"clip path",
     [](EmfBuilder& b) {
         b.Simple(EMR_BEGINPATH, {})
             .Simple(EMR_RECTANGLE, {0, 0, 5, 5})
             .Simple(EMR_ENDPATH, {})
             .Simple(EMR_SELECTCLIPPATH, {RGN_COPY})
             .Fill(0, 0, 10, 10, Qt::red);
     },
     {{2, 2, kRed}, {7, 7, kWhite}}},
    {"path fill",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Simple(EMR_BEGINPATH, {})
             .Simple(EMR_MOVETOEX, {0, 0})
             .Simple(EMR_LINETO, {10, 0})
             .Simple(EMR_LINETO, {10, 5})
             .Simple(EMR_LINETO, {0, 5})
             .Simple(EMR_CLOSEFIGURE, {})
             .Simple(EMR_ENDPATH, {})
             .Simple(EMR_FILLPATH, {0, 0, 10, 5});
     },
     {{2, 2, kRed}, {8, 3, kRed}, {2, 7, kWhite}}},
    {"stock objects",
     [](EmfBuilder& b) {
         b.Select(kStockObjectFlag | BLACK_BRUSH)
             .Select(kStockObjectFlag | NULL_PEN)
             .Rectangle(0, 0, 5, 5);
     },
     {{2, 2, kBlack}, {7, 7, kWhite}}},
    {"a deleted selected brush stays in use",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Simple(EMR_DELETEOBJECT, {1}).Rectangle(0, 0, 5, 5);
     },
     {{2, 2, kRed}}},
    {"selecting a missing object changes nothing",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN).Select(9);
         b.Select(kStockObjectFlag | 9).Rectangle(0, 0, 5, 5);
     },
     {{2, 2, kRed}}},
    {"PATCOPY blit fills with the brush",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1);
         Blit(b, 0, 0, 5, 5, PATCOPY);
     },
     {{2, 2, kRed}, {4, 4, kRed}, {5, 5, kWhite}}},
    {"BLACKNESS and WHITENESS",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         Blit(b, 0, 0, 5, 5, BLACKNESS);
         Blit(b, 5, 5, 5, 5, WHITENESS);
     },
     {{2, 2, kBlack}, {7, 7, kWhite}, {7, 2, kRed}}},
    {"DSTINVERT",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         Blit(b, 0, 0, 5, 5, DSTINVERT);
     },
     {{2, 2, qRgb(0, 255, 255)}, {7, 7, kRed}}},
    {"PATINVERT",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         b.Brush(2, Qt::blue).Select(2);
         Blit(b, 0, 0, 5, 5, PATINVERT);
     },
     {{2, 2, qRgb(255, 0, 255)}, {7, 7, kRed}}},
    {"brush AND destination, by the operation's truth table",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, QColor(255, 255, 0));
         b.Brush(2, QColor(0, 255, 255)).Select(2);
         Blit(b, 0, 0, 5, 5, 0x00A000C9);
     },
     {{2, 2, kGreen}, {7, 7, qRgb(255, 255, 0)}}},
    {"inverted brush copy",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1);
         Blit(b, 0, 0, 5, 5, 0x000F0001);
     },
     {{2, 2, qRgb(0, 255, 255)}, {7, 7, kWhite}}},
    {"mono brush paints 0 bits in the text colour",
     [](EmfBuilder& b) {
         b.Add(Rec(EMR_SETTEXTCOLOR).Color(Qt::red)).Add(Rec(EMR_SETBKCOLOR).Color(Qt::blue));
         b.Add(MonoBrush(1, 0x00)).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Rectangle(0, 0, 10, 10);
     },
     {{2, 2, kRed}, {7, 7, kRed}}},
    {"mono brush paints 1 bits in the background colour",
     [](EmfBuilder& b) {
         b.Add(Rec(EMR_SETTEXTCOLOR).Color(Qt::red)).Add(Rec(EMR_SETBKCOLOR).Color(Qt::blue));
         b.Add(MonoBrush(1, 0xFF)).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Rectangle(0, 0, 10, 10);
     },
     {{2, 2, kBlue}, {7, 7, kBlue}}},
    {"pattern brush tiles from the page origin",
     [](EmfBuilder& b) {
         b.Add(QuadBrush(1)).Select(1).Select(kStockObjectFlag | NULL_PEN).Rectangle(0, 0, 10, 10);
     },
     {{0, 0, kRed}, {1, 0, kGreen}, {2, 0, kRed}, {0, 1, kBlue}, {3, 3, kWhite}}},
    {"pattern brush tiles from the brush origin",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETBRUSHORGEX, {1, 0});
         b.Add(QuadBrush(1)).Select(1).Select(kStockObjectFlag | NULL_PEN).Rectangle(0, 0, 10, 10);
     },
     {{1, 0, kRed}, {2, 0, kGreen}, {0, 0, kGreen}}},
    {"R2_NOT inverts what is below",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::black);
         b.Simple(EMR_SETROP2, {R2_NOT}).Fill(0, 0, 5, 5, Qt::green, 2);
     },
     {{2, 2, kWhite}, {7, 7, kBlack}}},
    {"R2_XORPEN",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         b.Simple(EMR_SETROP2, {R2_XORPEN}).Fill(0, 0, 5, 5, QColor(255, 255, 0), 2);
     },
     {{2, 2, kGreen}, {7, 7, kRed}}},
    {"R2_MASKPEN",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, QColor(255, 255, 0));
         b.Simple(EMR_SETROP2, {R2_MASKPEN}).Fill(0, 0, 5, 5, QColor(0, 255, 255), 2);
     },
     {{2, 2, kGreen}, {7, 7, qRgb(255, 255, 0)}}},
    {"R2_NOP draws nothing",
     [](EmfBuilder& b) { b.Simple(EMR_SETROP2, {R2_NOP}).Fill(0, 0, 10, 10, Qt::red); },
     {{5, 5, kWhite}}},
    {"R2_BLACK draws black whatever the brush",
     [](EmfBuilder& b) { b.Simple(EMR_SETROP2, {R2_BLACK}).Fill(0, 0, 10, 10, Qt::red); },
     {{5, 5, kBlack}}},
    {"STRETCHDIBITS stretches a bottom-up DIB",
     [](EmfBuilder& b) { Quad(b, 0, 0, 10, 10); },
     {{2, 2, kRed}, {7, 2, kGreen}, {2, 7, kBlue}, {7, 7, kWhite}}},
    {"source rows of a bottom-up DIB count from the bottom",
     [](EmfBuilder& b) { Quad(b, 0, 0, 10, 10, SRCCOPY, QRect(0, 0, 1, 1)); },
     {{2, 2, kBlue}, {7, 7, kBlue}}},
    {"a negative width mirrors",
     [](EmfBuilder& b) { Quad(b, 10, 0, -10, 10); },
     {{2, 2, kGreen}, {7, 2, kRed}, {2, 7, kWhite}}},
    {"NOTSRCCOPY inverts the bitmap",
     [](EmfBuilder& b) { Quad(b, 0, 0, 10, 10, NOTSRCCOPY); },
     {{2, 2, qRgb(0, 255, 255)}, {7, 7, kBlack}}},
    {"SRCAND keeps what is below under white",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         Quad(b, 0, 0, 10, 10, SRCAND);
     },
     {{2, 2, kRed}, {7, 2, kBlack}, {7, 7, kRed}}},
    {"SRCPAINT",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::blue);
         Quad(b, 0, 0, 10, 10, SRCPAINT);
     },
     {{2, 2, qRgb(255, 0, 255)}, {2, 7, kBlue}}},
    {"SRCINVERT",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::red);
         Quad(b, 0, 0, 10, 10, SRCINVERT);
     },
     {{2, 2, kBlack}, {7, 2, qRgb(255, 255, 0)}, {7, 7, qRgb(0, 255, 255)}}},
    {"BITBLT copies the bitmap one to one",
     [](EmfBuilder& b) { b.Add(BlitQuad(EMR_BITBLT, QRect(3, 3, 2, 2), SRCCOPY)); },
     {{3, 3, kRed}, {4, 3, kGreen}, {3, 4, kBlue}, {4, 4, kWhite}, {2, 2, kWhite}}},
    {"STRETCHBLT stretches",
     [](EmfBuilder& b) { b.Add(BlitQuad(EMR_STRETCHBLT, QRect(0, 0, 10, 10), SRCCOPY)); },
     {{2, 2, kRed}, {7, 2, kGreen}, {2, 7, kBlue}}},
    {"SETDIBITSTODEVICE copies without scaling",
     [](EmfBuilder& b) {
         QByteArray bits;
         const QByteArray bmi = emftest::Dib24({{kRed, kGreen}, {kBlue, kWhite}}, &bits);
         Rec r(EMR_SETDIBITSTODEVICE);
         r.Words({0, 0, -1, -1, 6, 1, 0, 0, 2, 2}).U32(76).U32(uint32_t(bmi.size()));
         r.U32(uint32_t(76 + bmi.size())).U32(uint32_t(bits.size())).U32(0).U32(0).U32(2);
         r.Bytes(bmi).Bytes(bits);
         b.Add(r);
     },
     {{6, 1, kRed}, {7, 1, kGreen}, {6, 2, kBlue}, {8, 1, kWhite}}},
    {"TRANSPARENTBLT leaves out its key colour",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::black);
         b.Add(BlitQuad(EMR_TRANSPARENTBLT, QRect(0, 0, 10, 10), 0x0000FF00));
     },
     {{2, 2, kRed}, {7, 2, kBlack}, {2, 7, kBlue}}},
    {"ALPHABLEND with a constant alpha",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::black);
         b.Add(BlitQuad(EMR_ALPHABLEND, QRect(0, 0, 10, 10), 0x00FF0000));  // alpha 255
         b.Add(BlitQuad(EMR_ALPHABLEND, QRect(0, 0, 10, 10), 0x00000000));  // alpha 0
     },
     {{2, 2, kRed}, {7, 7, kWhite}}},
    {"MASKBLT draws the source where the mask is on",
     [](EmfBuilder& b) {
         b.Fill(0, 0, 10, 10, Qt::black);
         b.Add(BlitQuad(EMR_MASKBLT, QRect(0, 0, 2, 2), 0xAACC0020));
     },
     {{0, 0, kRed}, {1, 0, kGreen}, {0, 1, kBlack}, {1, 1, kBlack}}},
    {"alternate fill leaves the hole, winding fills it",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         Rec r(EMR_POLYPOLYGON16);
         r.Words({0, 0, 10, 10}).U32(2).U32(8).U32(4).U32(4);
         for (int v : {0, 0, 10, 0, 10, 10, 0, 10, 3, 3, 7, 3, 7, 7, 3, 7})
             r.U16(uint16_t(v));
         b.Add(r);
     },
     {{1, 1, kRed}, {5, 5, kWhite}}},
    {"winding fills nested rings of one direction",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETPOLYFILLMODE, {WINDING});
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         Rec r(EMR_POLYPOLYGON16);
         r.Words({0, 0, 10, 10}).U32(2).U32(8).U32(4).U32(4);
         for (int v : {0, 0, 10, 0, 10, 10, 0, 10, 3, 3, 7, 3, 7, 7, 3, 7})
             r.U16(uint16_t(v));
         b.Add(r);
     },
     {{1, 1, kRed}, {5, 5, kRed}}},
    {"SETPIXELV",
     [](EmfBuilder& b) {
         b.Add(Rec(EMR_SETPIXELV).Words({3, 4}).Color(Qt::blue));
     },
     {{3, 4, kBlue}, {4, 4, kWhite}, {3, 3, kWhite}}},
    {"pie runs counter-clockwise by default",
     [](EmfBuilder& b) {
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Simple(EMR_PIE, {0, 0, 10, 10, 10, 5, 5, 0});
     },
     {{7, 2, kRed}, {2, 2, kWhite}, {2, 7, kWhite}, {7, 7, kWhite}}},
    {"pie runs clockwise when asked",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETARCDIRECTION, {AD_CLOCKWISE});
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         b.Simple(EMR_PIE, {0, 0, 10, 10, 10, 5, 5, 0});
     },
     {{7, 2, kWhite}, {2, 2, kRed}, {2, 7, kRed}, {7, 7, kRed}}},
    {"a mirroring page transform turns the arc direction round",
     [](EmfBuilder& b) {
         b.Simple(EMR_SETMAPMODE, {MM_ANISOTROPIC})
             .Simple(EMR_SETWINDOWEXTEX, {10, 10})
             .Simple(EMR_SETVIEWPORTEXTEX, {10, -10})
             .Simple(EMR_SETVIEWPORTORGEX, {0, 10});
         b.Brush(1, Qt::red).Select(1).Select(kStockObjectFlag | NULL_PEN);
         // Logical y up: start at 3 o'clock, end at 12 o'clock (y = 10).
         b.Simple(EMR_PIE, {0, 0, 10, 10, 10, 5, 5, 10});
     },
     {{7, 2, kRed}, {2, 2, kWhite}, {7, 7, kWhite}}},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class PlayerPixels : public testing::TestWithParam<Case> {};

TEST_P(PlayerPixels, DrawsTheExpectedPixels) {
    const Case& c = GetParam();
    EmfBuilder b;
    c.build(b);
    const QImage img = Render(b.Bytes());
    for (const Pixel& p : c.expect)
        EXPECT_EQ(QColor(img.pixel(p.x, p.y)).name(), QColor(p.rgb).name())
            << c.name << " at " << p.x << "," << p.y;
}

INSTANTIATE_TEST_SUITE_P(Cases, PlayerPixels, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p)
                                 n += std::isalnum(uchar(*p)) ? *p : '_';
                             return n;
                         });

TEST(Player, HatchGapsTakeTheBackgroundOnlyWhenOpaque) {
    for (bool opaque : {true, false}) {
        EmfBuilder b;
        if (!opaque) b.Simple(EMR_SETBKMODE, {BK_TRANSPARENT});
        b.Brush(1, Qt::black, BS_HATCHED, HS_VERTICAL)
            .Select(1)
            .Select(kStockObjectFlag | NULL_PEN);
        b.Add(Rec(EMR_SETBKCOLOR).Color(Qt::red)).Rectangle(0, 0, 10, 10);
        const QImage img = Render(b.Bytes());
        int black = 0, gap = 0, other = 0;
        for (int x = 0; x < 10; ++x) {
            const QRgb p = img.pixel(x, 5);
            if (p == kBlack)
                ++black;
            else if (p == (opaque ? kRed : kWhite))
                ++gap;
            else
                ++other;
        }
        EXPECT_GT(black, 0) << opaque;
        EXPECT_GT(gap, black) << opaque;
        EXPECT_EQ(other, 0) << opaque;
    }
}

TEST(Player, TellsEmfPlusOnlyPicturesFromDualOnes) {
    for (uint16_t flags : {0, 1}) {
        EmfBuilder b;
        // An EMF+ header record inside a comment: type 0x4001, the flags,
        // its size, its data size, then version, flags, dpi.
        b.Add(Rec(EMR_COMMENT)
                  .U32(32)
                  .U32(kCommentEmfPlus)
                  .U16(0x4001)
                  .U16(flags)
                  .U32(28)
                  .U32(16)
                  .Words({0, 0, 96, 96}));
        b.Fill(0, 0, 5, 5, Qt::red);
        Picture picture(b.Bytes());
        EXPECT_EQ(picture.EmfPlusOnly(), flags == 0);
        EXPECT_EQ(picture.Notes().size(), flags == 0 ? 1u : 0u);
        EXPECT_EQ(picture.OperationCount(), 1u);  // the GDI records are drawn either way
    }
}

TEST(Player, AlphaBlendMixesWithWhatIsBelow) {
    EmfBuilder b;
    b.Fill(0, 0, 10, 10, Qt::black);
    b.Add(BlitQuad(EMR_ALPHABLEND, QRect(0, 0, 10, 10), 0x00800000));  // alpha 128
    const QColor c = QColor(Render(b.Bytes()).pixel(2, 2));
    EXPECT_NEAR(c.red(), 128, 2);
    EXPECT_EQ(c.green(), 0);
}

TEST(Player, WidenedPathsFillTheirStroke) {
    EmfBuilder b;
    b.Pen(1, Qt::black, 4).Select(1).Brush(2, Qt::red).Select(2);
    b.Simple(EMR_BEGINPATH, {})
        .Simple(EMR_MOVETOEX, {0, 5})
        .Simple(EMR_LINETO, {10, 5})
        .Simple(EMR_ENDPATH, {})
        .Simple(EMR_WIDENPATH, {})
        .Select(kStockObjectFlag | NULL_PEN)
        .Simple(EMR_FILLPATH, {0, 0, 10, 10});
    const QImage img = Render(b.Bytes());
    EXPECT_EQ(img.pixel(5, 4), kRed);
    EXPECT_EQ(img.pixel(5, 5), kRed);
    EXPECT_EQ(img.pixel(5, 1), kWhite);
    EXPECT_EQ(img.pixel(5, 8), kWhite);
}

TEST(Player, FrameMovesToADrawingBesideIt) {
    // The frame says 0,0 10x10; everything drawn lies at -20,-20 10x10, as
    // the header's bounds say too: the page shows the drawing.
    EmfBuilder b;
    b.Bounds(-20, -20, -11, -11).Fill(-20, -20, -15, -15, Qt::red);
    Picture picture(b.Bytes());
    EXPECT_EQ(picture.Frame(), QRectF(-20, -20, 10, 10));
    const QImage img = Render(b.Bytes());
    EXPECT_EQ(img.pixel(2, 2), kRed);
    EXPECT_EQ(img.pixel(7, 7), kWhite);
    // Bounds that overlap the frame leave it where it is.
    EmfBuilder c;
    c.Bounds(2, 2, 20, 20);
    EXPECT_EQ(Picture(c.Bytes()).Frame(), QRectF(0, 0, 10, 10));
}

TEST(Player, PagePictureDrawsAndForgetsOldBytes) {
    PagePicture page;
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        page.Draw(painter, QRectF(0, 0, 10, 10));  // empty: draws nothing
    }
    EXPECT_EQ(img.pixel(5, 5), kWhite);
    for (QColor c : {QColor(Qt::red), QColor(Qt::blue)}) {
        EmfBuilder b;
        b.Fill(0, 0, 10, 10, c);
        page.LoadFromBytes(b.Bytes());
        QPainter painter(&img);
        page.Draw(painter, QRectF(0, 0, 10, 10));
        painter.end();
        EXPECT_EQ(img.pixel(5, 5), c.rgb());
    }
}

TEST(Player, DrawsIntoTheTargetRectangleOnly) {
    EmfBuilder b;
    b.Fill(-100, -100, 100, 100, Qt::red);
    Picture picture(b.Bytes());
    QImage img(30, 30, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    picture.Play(painter, QRectF(10, 10, 10, 10));
    painter.end();
    EXPECT_EQ(img.pixel(15, 15), kRed);
    EXPECT_EQ(img.pixel(5, 5), kWhite);
    EXPECT_EQ(img.pixel(25, 25), kWhite);
}

TEST(Player, StretchesTheFrameOnEachAxis) {
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red);
    Picture picture(b.Bytes());
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    picture.Play(painter, QRectF(0, 0, 40, 20));
    painter.end();
    EXPECT_EQ(img.pixel(19, 9), kRed);
    EXPECT_EQ(img.pixel(21, 9), kWhite);
    EXPECT_EQ(img.pixel(19, 11), kWhite);
}

TEST(Player, LeavesThePainterAsItWas) {
    EmfBuilder b;
    b.Simple(EMR_INTERSECTCLIPRECT, {0, 0, 5, 5});
    b.Simple(EMR_SETROP2, {R2_XORPEN}).Fill(0, 0, 10, 10, Qt::red);
    Picture picture(b.Bytes());
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    painter.setPen(QPen(Qt::green, 3));
    painter.translate(1, 2);
    picture.Play(painter, QRectF(0, 0, 10, 10));
    EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
    EXPECT_EQ(painter.transform(), QTransform::fromTranslate(1, 2));
    EXPECT_FALSE(painter.hasClipping());
    EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
}

TEST(Player, PlaysTheSameOperationsEveryTime) {
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red);
    Quad(b, 5, 5, 5, 5);
    Picture picture(b.Bytes());
    const QImage first = [&] {
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        picture.Play(p, QRectF(0, 0, 10, 10));
        return img;
    }();
    QImage again(10, 10, QImage::Format_RGB32);
    again.fill(Qt::white);
    QPainter p(&again);
    picture.Play(p, QRectF(0, 0, 10, 10));
    p.end();
    EXPECT_EQ(first, again);
    EXPECT_EQ(picture.OperationCount(), 2u);
}

}  // namespace
