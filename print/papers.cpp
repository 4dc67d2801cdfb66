#include "print/papers.h"

#include "platform/rounding.h"

#include <QCoreApplication>

const std::array<int32_t, kPaperSizeCount> PaperCodes = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 256,
};

const std::array<int32_t, kBinCount> BinCodes = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};

// Exactly the report library's sizes: Ledger is wider than long, Note is
// 279 mm long, and the C, D and E sheets are placeholders of 100 x 100 mm.
const std::array<TSheetDimension, kSheetCount> SheetDimensions = {{
    {215.9L, 279.4L},  // Letter
    {215.9L, 279.4L},  // LetterSmall
    {279.4L, 431.8L},  // Tabloid
    {431.8L, 279.4L},  // Ledger
    {215.9L, 355.6L},  // Legal
    {139.7L, 215.9L},  // Statement
    {190.5L, 254.0L},  // Executive
    {297.0L, 420.0L},  // A3
    {210.0L, 297.0L},  // A4
    {210.0L, 297.0L},  // A4Small
    {148.0L, 210.0L},  // A5
    {250.0L, 354.0L},  // B4
    {182.0L, 257.0L},  // B5
    {215.9L, 330.2L},  // Folio
    {215.0L, 275.0L},  // Quarto
    {254.0L, 355.6L},  // qr10X14
    {279.4L, 431.8L},  // qr11X17
    {215.9L, 279.0L},  // Note
    {98.43L, 225.4L},  // Env9
    {104.8L, 241.3L},  // Env10
    {114.3L, 263.5L},  // Env11
    {101.6L, 279.4L},  // Env12
    {127.0L, 292.1L},  // Env14
    {100.0L, 100.0L},  // CSheet
    {100.0L, 100.0L},  // DSheet
    {100.0L, 100.0L},  // ESheet
}};

std::array<QString, kPaperSizeCount> PaperCaptions;

namespace {

// The user-visible texts, as the translation system sees them. In the two
// envelope captions "\276" is four plain characters, not an escape.
const char* const kCaptionTexts[kPaperSizeCount] = {
    QT_TRANSLATE_NOOP("TQRPaperSize", "Default size"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Letter 8 1/2 x 11 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Letter Small 8 1/2 x 11 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Tabloid 11 x 17 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Ledger 17 x 11 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Legal 8 1/2 x 14 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Statement 5 1/2 x 8 1/2 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Executive7 1/2 x 10 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "A3 297 x 420 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "A4 210 x 297 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "A4 Small 210 x 297 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "A5 148 x 210 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "B4 250 x 354 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "B5 182 x 257 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Folio 8 1/2 x 13 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Quarto 215 x 275 mm"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "10x14 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "11x17 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Note 8 1/2 x 11 in"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Envelope #9 3 7/8 x 8 7/8"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Envelope #10 4 1/8 x 9 1/2"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Envelope #11 4 1/2 x 10 3/8"),
    QT_TRANSLATE_NOOP("TQRPaperSize", R"(Envelope #12 4 \276 x 11)"),
    QT_TRANSLATE_NOOP("TQRPaperSize", R"(Envelope #14 4 \276 x 11)"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "C size sheet"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "D size sheet"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "E size sheet"),
    QT_TRANSLATE_NOOP("TQRPaperSize", "Custom Size"),
};

}  // namespace

void BindPaperCaptions() {
    for (int i = 0; i < kPaperSizeCount; ++i)
        PaperCaptions[i] = QCoreApplication::translate("TQRPaperSize", kCaptionTexts[i]);
}

void ReleasePaperCaptions() {
    for (QString& caption : PaperCaptions)
        caption = QString();
}

const TSheetDimension& SheetDimensionOf(TQRPaperSize size) {
    return SheetDimensions.at(static_cast<size_t>(Ord(size) - 1));
}

int32_t MillimetresToTenths(long double mm) {
    return static_cast<int32_t>(RoundTiesEven(mm * 10.0L));
}

std::optional<TQRPaperSize> FindPaperSize(int32_t code, TQRPaperSize first, TQRPaperSize last) {
    for (int i = Ord(first); i <= Ord(last) && i < kPaperSizeCount; ++i)
        if (PaperCodes[i] == code) return static_cast<TQRPaperSize>(i);
    return std::nullopt;
}

std::optional<TQRBin> FindBin(int32_t code) {
    for (int i = 0; i < kBinCount; ++i)
        if (BinCodes[i] == code) return static_cast<TQRBin>(i);
    return std::nullopt;
}

TQRPaperSize PaperSizeFromCode(int32_t code) {
    return FindPaperSize(code).value_or(TQRPaperSize::Default);
}

TQRBin BinFromCode(int32_t code) {
    return FindBin(code).value_or(TQRBin::First);
}
