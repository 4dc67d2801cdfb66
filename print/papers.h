// Paper sizes, paper bins and page orientation of the print engine, and the
// tables that tie them to the printer's device mode (PaperCodes, BinCodes)
// and to physical sheets (SheetDimensions, PaperCaptions). The tables are
// indexed by the enumerations' ordinals.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

enum class TQRPaperSize : uint8_t {
    Default,
    Letter,
    LetterSmall,
    Tabloid,
    Ledger,
    Legal,
    Statement,
    Executive,
    A3,
    A4,
    A4Small,
    A5,
    B4,
    B5,
    Folio,
    Quarto,
    qr10X14,
    qr11X17,
    Note,
    Env9,
    Env10,
    Env11,
    Env12,
    Env14,
    CSheet,
    DSheet,
    ESheet,
    Custom,
};

enum class TQRBin : uint8_t {
    First,
    Upper,
    Lower,
    Middle,
    Manual,
    Envelope,
    EnvManual,
    Auto,
    Tractor,
    SmallFormat,
    LargeFormat,
    LargeCapacity,
    Cassette,
    Last,
};

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

inline constexpr int kPaperSizeCount = 28;
inline constexpr int kBinCount = 14;
inline constexpr int kSheetCount = 26;  // Letter to ESheet

constexpr int Ord(TQRPaperSize size) {
    return static_cast<int>(size);
}
constexpr int Ord(TQRBin bin) {
    return static_cast<int>(bin);
}

// The DMPAPER_ code of each paper size; Default is 0 (no code), Custom is
// DMPAPER_USER (256).
extern const std::array<int32_t, kPaperSizeCount> PaperCodes;
// The DMBIN_ code of each bin. First and Upper share 1, Cassette and Last 14.
extern const std::array<int32_t, kBinCount> BinCodes;

// Width and length of a sheet in millimetres.
struct TSheetDimension {
    long double Width;
    long double Length;
};
// One row per standard size, Letter (row 0) to ESheet (row 25): the row of a
// size is its ordinal - 1. Default and Custom have none.
extern const std::array<TSheetDimension, kSheetCount> SheetDimensions;

// The display text of each paper size: empty until BindPaperCaptions, which
// the print engine calls when it starts, and empty again after
// ReleasePaperCaptions.
extern std::array<QString, kPaperSizeCount> PaperCaptions;
void BindPaperCaptions();
void ReleasePaperCaptions();

// True for the sizes with a SheetDimensions row (Letter to ESheet).
constexpr bool IsStandardPaper(TQRPaperSize size) {
    return size != TQRPaperSize::Default && size != TQRPaperSize::Custom;
}
// The size's row; only for standard sizes.
const TSheetDimension& SheetDimensionOf(TQRPaperSize size);
// A length in millimetres as whole tenths of a millimetre, ties to even.
int32_t MillimetresToTenths(long double mm);

// Reverse lookups: the first value, in ordinal order from first to last,
// whose table entry equals code; nothing when none does.
std::optional<TQRPaperSize> FindPaperSize(int32_t code, TQRPaperSize first = TQRPaperSize::Default,
                                          TQRPaperSize last = TQRPaperSize::Custom);
std::optional<TQRBin> FindBin(int32_t code);

// The reverse lookups as the device mode is read: an unknown paper code is
// Default, an unknown bin code First.
TQRPaperSize PaperSizeFromCode(int32_t code);
TQRBin BinFromCode(int32_t code);
