#include "print/printersettings.h"

#include "platform/application.h"
#include "platform/errors.h"
#include "platform/rounding.h"

#include <vector>

namespace {

// Holds a device mode locked for the length of one reading or writing, and
// points the settings' record at it.
class ModeLock {
  public:
    ModeLock(const HDEVMODE& handle, TDeviceMode*& data) : handle_(handle), data_(data) {
        data_ = LockDeviceMode(handle_);
    }
    ~ModeLock() {
        UnlockDeviceMode(handle_);
        data_ = nullptr;
    }
    ModeLock(const ModeLock&) = delete;
    ModeLock& operator=(const ModeLock&) = delete;

  private:
    HDEVMODE handle_;
    TDeviceMode*& data_;
};

// Device pixels at dpi dots per inch as tenths of a millimetre.
int32_t PixelsToTenths(int pixels, int dpi) {
    return static_cast<int32_t>(RoundTiesEven(static_cast<long double>(pixels) / dpi * 254.0L));
}

int AvailableIndex(TQRPaperSize size) {
    return Ord(size) - 1;
}

}  // namespace

TPrinterSettings::TPrinterSettings() = default;
TPrinterSettings::~TPrinterSettings() = default;

void TPrinterSettings::SetDevice(TPrinter* device) {
    device_ = device;
    if (device_ && !device_->PrinterList().isEmpty()) ReadFromDevice();
}

bool TPrinterSettings::DeviceSupports(uint32_t flags) const {
    return device_ && modeFields_ && (*modeFields_ & flags) == flags;
}

void TPrinterSettings::MarkModeFields(uint32_t flags) {
    if (modeData_) {
        modeData_->dmFields |= flags;
        modeFields_ = modeData_->dmFields;
    } else if (modeHandle_) {
        TDeviceMode* mode = LockDeviceMode(modeHandle_);
        mode->dmFields |= flags;
        modeFields_ = mode->dmFields;
        UnlockDeviceMode(modeHandle_);
    }
}

void TPrinterSettings::SetCopies(int32_t copies) {
    if (DeviceSupports(DM_COPIES)) copies_ = copies;
}

void TPrinterSettings::SetOrientation(TPrinterOrientation orientation) {
    if (DeviceSupports(DM_ORIENTATION)) orientation_ = orientation;
}

void TPrinterSettings::SetOutputBin(TQRBin bin) {
    if (DeviceSupports(DM_DEFAULTSOURCE)) outputBin_ = bin;
}

void TPrinterSettings::SetPaperSize(TQRPaperSize size) {
    if (size == TQRPaperSize::Default || PaperAvailable(size)) paperSize_ = size;
}

bool TPrinterSettings::PaperAvailable(TQRPaperSize size) const {
    if (size == TQRPaperSize::Default || Ord(size) >= kPaperSizeCount) return false;
    return paperAvailable_[AvailableIndex(size)];
}

int32_t TPrinterSettings::MediaWidth() const {
    if (IsStandardPaper(paperSize_)) return MillimetresToTenths(SheetDimensionOf(paperSize_).Width);
    return customWidth_;
}

int32_t TPrinterSettings::MediaLength() const {
    if (IsStandardPaper(paperSize_))
        return MillimetresToTenths(SheetDimensionOf(paperSize_).Length);
    return customLength_;
}

void TPrinterSettings::SetMediaWidth(int32_t width) {
    if (paperSize_ == TQRPaperSize::Custom) customWidth_ = width;
}

void TPrinterSettings::SetMediaLength(int32_t length) {
    if (paperSize_ == TQRPaperSize::Custom) customLength_ = length;
}

void TPrinterSettings::ReadFromDevice() {
    if (!device_) return;
    ProcessMessages();
    device_->GetDevice(deviceName_, driverName_, portName_, modeHandle_);
    if (!modeHandle_) device_->GetDevice(deviceName_, driverName_, portName_, modeHandle_);
    ModeLock lock(modeHandle_, modeData_);
    modeFields_.reset();
    if (modeData_) modeFields_ = modeData_->dmFields;
    const HDC dc = device_->DeviceContext();

    resolutionX_ = GetDeviceCaps(dc, LOGPIXELSX);
    resolutionY_ = GetDeviceCaps(dc, LOGPIXELSY);
    // Every length below is divided by the resolution.
    if (resolutionX_ <= 0 || resolutionY_ <= 0)
        throw EPrinter(
            QStringLiteral("Printer \"%1\" reports a resolution of %2 x %3 dots per inch")
                .arg(deviceName_)
                .arg(resolutionX_)
                .arg(resolutionY_));

    copies_ = DeviceSupports(DM_COPIES) ? modeData_->dmCopies : 1;

    outputBin_ = TQRBin::First;
    if (DeviceSupports(DM_DEFAULTSOURCE)) outputBin_ = BinFromCode(modeData_->dmDefaultSource);

    duplex_ = DeviceSupports(DM_DUPLEX) && modeData_->dmDuplex != DMDUP_SIMPLEX;

    unprintableLeft_ = PixelsToTenths(GetDeviceCaps(dc, PHYSICALOFFSETX), resolutionX_);
    unprintableTop_ = PixelsToTenths(GetDeviceCaps(dc, PHYSICALOFFSETY), resolutionY_);

    paperSize_ = TQRPaperSize::Default;
    if (DeviceSupports(DM_PAPERSIZE)) paperSize_ = PaperSizeFromCode(modeData_->dmPaperSize);

    customWidth_ = PixelsToTenths(GetDeviceCaps(dc, PHYSICALWIDTH), resolutionX_);
    customLength_ = PixelsToTenths(GetDeviceCaps(dc, PHYSICALHEIGHT), resolutionY_);

    // The papers on offer. The flags of the previous reading stay when the
    // driver cannot even say how many papers it has.
    int n = DeviceCapabilities(deviceName_, portName_, DC_PAPERS, {}, modeData_);
    if (n < 0) throw ERangeError();
    std::vector<uint16_t> codes(static_cast<size_t>(n), 0);
    paperAvailable_.fill(false);
    int m = DeviceCapabilities(deviceName_, portName_, DC_PAPERS, codes, modeData_);
    for (int i = 0; i < m && i < n; ++i) {
        if (auto size = FindPaperSize(codes[i], TQRPaperSize::Letter, TQRPaperSize::Custom))
            paperAvailable_[AvailableIndex(*size)] = true;
    }
    paperAvailable_[AvailableIndex(TQRPaperSize::Custom)] = true;
}

void TPrinterSettings::WriteToDevice() {
    if (!device_) return;
    device_->GetDevice(deviceName_, driverName_, portName_, modeHandle_);
    if (!modeHandle_) return;  // no device mode to write into
    ModeLock lock(modeHandle_, modeData_);
    TDeviceMode& m = *modeData_;
    // Device-mode fields are 16 bits wide: each value keeps its low 16 bits.
    auto low16 = [](int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); };

    if (paperSize_ == TQRPaperSize::Custom) {
        MarkModeFields(DM_PAPERLENGTH);
        m.dmPaperLength = low16(MediaLength());
        MarkModeFields(DM_PAPERWIDTH);
        m.dmPaperWidth = low16(MediaWidth());
    }
    if (duplex_) {
        MarkModeFields(DM_DUPLEX);
        m.dmDuplex = DMDUP_HORIZONTAL;
    }
    // The device mode as it stands decides whether the paper code goes in.
    modeFields_ = m.dmFields;
    if (DeviceSupports(DM_PAPERSIZE) && paperSize_ != TQRPaperSize::Default) {
        MarkModeFields(DM_PAPERSIZE);
        m.dmPaperSize = low16(PaperCodes[Ord(paperSize_)]);
    }
    MarkModeFields(DM_COPIES);
    m.dmCopies = low16(copies_);
    MarkModeFields(DM_DEFAULTSOURCE);
    m.dmDefaultSource = low16(BinCodes[Ord(outputBin_)] | (m.dmDefaultSource & 256));
    MarkModeFields(DM_ORIENTATION);
    m.dmOrientation = orientation_ == poPortrait ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
    device_->SetDevice(deviceName_, driverName_, portName_, modeHandle_);
}

void ResetDeviceMode(TPrinter& printer) {
    QString device, driver, port;
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    printer.SetDevice(device, driver, port, HDEVMODE());
}
