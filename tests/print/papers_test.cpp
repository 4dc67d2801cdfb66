// Paper, bin and orientation tables: the codes and sizes that matter to the
// device mode and to paper recognition, and the reverse lookups' edge cases.
#include "print/papers.h"

#include <gtest/gtest.h>

namespace {

struct PaperRow {
    TQRPaperSize size;
    int32_t code;
    int32_t widthTenths;  // -1: no sheet row
    int32_t lengthTenths;
};

TEST(Papers, CodesAndSheetsOfNotableSizes) {
    const PaperRow rows[] = {
        {TQRPaperSize::Default, 0, -1, -1},       {TQRPaperSize::Letter, 1, 2159, 2794},
        {TQRPaperSize::Ledger, 4, 4318, 2794},  // wider than long
        {TQRPaperSize::Executive, 7, 1905, 2540}, {TQRPaperSize::A4, 9, 2100, 2970},
        {TQRPaperSize::A4Small, 10, 2100, 2970},  {TQRPaperSize::B4, 12, 2500, 3540},
        {TQRPaperSize::qr10X14, 16, 2540, 3556},  {TQRPaperSize::qr11X17, 17, 2794, 4318},
        {TQRPaperSize::Note, 18, 2159, 2790},  // 279 mm, not 279.4
        {TQRPaperSize::Env9, 19, 984, 2254},      {TQRPaperSize::Env12, 22, 1016, 2794},
        {TQRPaperSize::CSheet, 24, 1000, 1000},   {TQRPaperSize::ESheet, 26, 1000, 1000},
        {TQRPaperSize::Custom, 256, -1, -1},
    };
    for (const PaperRow& r : rows) {
        SCOPED_TRACE(Ord(r.size));
        EXPECT_EQ(PaperCodes[Ord(r.size)], r.code);
        EXPECT_EQ(IsStandardPaper(r.size), r.widthTenths >= 0);
        if (r.widthTenths < 0) continue;
        EXPECT_EQ(MillimetresToTenths(SheetDimensionOf(r.size).Width), r.widthTenths);
        EXPECT_EQ(MillimetresToTenths(SheetDimensionOf(r.size).Length), r.lengthTenths);
    }
    // Rows 1 to 26 carry their own DMPAPER code; only Custom breaks the pattern.
    for (int i = 1; i <= 26; ++i)
        EXPECT_EQ(PaperCodes[i], i);
}

TEST(Papers, DeviceCodesReadBack) {
    const struct {
        int32_t code;
        TQRPaperSize size;
    } paperCases[] = {
        {0, TQRPaperSize::Default},   {256, TQRPaperSize::Custom},  {9, TQRPaperSize::A4},
        {10, TQRPaperSize::A4Small},  {17, TQRPaperSize::qr11X17},  {26, TQRPaperSize::ESheet},
        {27, TQRPaperSize::Default},  {257, TQRPaperSize::Default}, {-1, TQRPaperSize::Default},
        {118, TQRPaperSize::Default},
    };
    for (const auto& c : paperCases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(PaperSizeFromCode(c.code), c.size);
    }
    const struct {
        int32_t code;
        TQRBin bin;
    } binCases[] = {
        {1, TQRBin::First},          {2, TQRBin::Lower},     {7, TQRBin::Auto},
        {11, TQRBin::LargeCapacity}, {14, TQRBin::Cassette}, {12, TQRBin::First},
        {13, TQRBin::First},         {15, TQRBin::First},    {256, TQRBin::First},
        {257, TQRBin::First},        {0, TQRBin::First},
    };
    for (const auto& c : binCases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(BinFromCode(c.code), c.bin);
    }
    // The search range matters: searched from Letter, code 0 finds nothing.
    EXPECT_FALSE(FindPaperSize(0, TQRPaperSize::Letter, TQRPaperSize::Custom).has_value());
    EXPECT_FALSE(FindBin(15).has_value());
}

TEST(Papers, SharedBinCodes) {
    EXPECT_EQ(BinCodes[Ord(TQRBin::First)], 1);
    EXPECT_EQ(BinCodes[Ord(TQRBin::Upper)], 1);
    EXPECT_EQ(BinCodes[Ord(TQRBin::Cassette)], 14);
    EXPECT_EQ(BinCodes[Ord(TQRBin::Last)], 14);
    EXPECT_EQ(BinCodes[Ord(TQRBin::Auto)], 7);
}

TEST(Papers, CaptionsAreBoundAndReleased) {
    ReleasePaperCaptions();
    EXPECT_TRUE(PaperCaptions[Ord(TQRPaperSize::A4)].isEmpty());
    BindPaperCaptions();
    EXPECT_EQ(PaperCaptions[Ord(TQRPaperSize::Default)], QStringLiteral("Default size"));
    EXPECT_EQ(PaperCaptions[Ord(TQRPaperSize::Executive)],
              QStringLiteral("Executive7 1/2 x 10 in"));
    EXPECT_EQ(PaperCaptions[Ord(TQRPaperSize::qr10X14)], QStringLiteral("10x14 in"));
    // Backslash, 2, 7, 6 stand in the text as four characters.
    const QString env12 = PaperCaptions[Ord(TQRPaperSize::Env12)];
    EXPECT_EQ(env12,
              QStringLiteral("Envelope #12 4 ") + QLatin1Char('\\') + QStringLiteral("276 x 11"));
    EXPECT_EQ(PaperCaptions[Ord(TQRPaperSize::Env14)],
              QString(env12).replace(QStringLiteral("#12"), QStringLiteral("#14")));
    EXPECT_EQ(PaperCaptions[Ord(TQRPaperSize::Custom)], QStringLiteral("Custom Size"));
    for (const QString& c : PaperCaptions)
        EXPECT_FALSE(c.isEmpty());
    ReleasePaperCaptions();
    EXPECT_TRUE(PaperCaptions[Ord(TQRPaperSize::Custom)].isEmpty());
}

}  // namespace
