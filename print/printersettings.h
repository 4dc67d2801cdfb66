// Printer settings: TPrinterSettings mirrors the device mode of one printer
// object as typed settings in the print engine's units (tenths of a
// millimetre, dots per inch), reads them from the selected printer, accepts
// changes only where that printer supports them, and writes them back into
// its device mode before a job. TZEZoravozSettings is a passive holder of a
// report definition's printer preferences.
#pragma once

#include "platform/printer.h"
#include "print/papers.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

class TPrinterSettings {
  public:
    TPrinterSettings();
    ~TPrinterSettings();
    TPrinterSettings(const TPrinterSettings&) = delete;
    TPrinterSettings& operator=(const TPrinterSettings&) = delete;

    // The printer object the settings belong to (not owned). Binding one that
    // lists at least one printer reads its settings at once.
    TPrinter* Device() const { return device_; }
    void SetDevice(TPrinter* device);

    // Accepted only when the device mode has DM_COPIES.
    int32_t Copies() const { return copies_; }
    void SetCopies(int32_t copies);
    // Read from the device only.
    bool Duplex() const { return duplex_; }
    // Accepted only when the device mode has DM_ORIENTATION; never read back
    // from the device.
    TPrinterOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPrinterOrientation orientation);
    // Accepted only when the device mode has DM_DEFAULTSOURCE.
    TQRBin OutputBin() const { return outputBin_; }
    void SetOutputBin(TQRBin bin);
    // Default is always accepted; another size only when the printer offers it.
    TQRPaperSize PaperSize() const { return paperSize_; }
    void SetPaperSize(TQRPaperSize size);
    // The sheet in tenths of a millimetre: the standard size's dimensions, or
    // for Default and Custom the measured (or set) sheet. Written only while
    // the paper size is Custom.
    int32_t MediaWidth() const;
    int32_t MediaLength() const;
    void SetMediaWidth(int32_t width);
    void SetMediaLength(int32_t length);

    int32_t ResolutionX() const { return resolutionX_; }
    int32_t ResolutionY() const { return resolutionY_; }
    int32_t UnprintableTop() const { return unprintableTop_; }
    int32_t UnprintableLeft() const { return unprintableLeft_; }
    int32_t CustomWidth() const { return customWidth_; }
    int32_t CustomLength() const { return customLength_; }
    // Whether the printer offers a size, Letter to Custom; false for Default.
    bool PaperAvailable(TQRPaperSize size) const;

    // The names and device mode last taken from the printer.
    const QString& DeviceName() const { return deviceName_; }
    const QString& DriverName() const { return driverName_; }
    const QString& PortName() const { return portName_; }
    const HDEVMODE& ModeHandle() const { return modeHandle_; }

    // True when a device is bound, a device mode has been reached and its
    // dmFields contain every bit of flags.
    bool DeviceSupports(uint32_t flags) const;
    // Sets bits in the device mode's dmFields.
    void MarkModeFields(uint32_t flags);

    // Reads every setting from the selected printer; nothing without a
    // device. A printer that reports no resolution fails with a device error;
    // a failing paper list with "Range check error".
    void ReadFromDevice();
    // Writes the settings into the printer's device mode and hands it back to
    // the printer for its next job.
    void WriteToDevice();

  private:
    QString deviceName_;
    QString driverName_;
    QString portName_;
    HDEVMODE modeHandle_;
    TDeviceMode* modeData_ = nullptr;  // the record while it is locked
    int32_t copies_ = 0;
    bool duplex_ = false;
    TPrinterOrientation orientation_ = poPortrait;
    TQRBin outputBin_ = TQRBin::First;
    TQRPaperSize paperSize_ = TQRPaperSize::A4;
    std::array<bool, kPaperSizeCount - 1> paperAvailable_{};  // Letter to Custom
    int32_t customWidth_ = 0;
    int32_t customLength_ = 0;
    int32_t resolutionX_ = 0;
    int32_t resolutionY_ = 0;
    int32_t unprintableTop_ = 0;
    int32_t unprintableLeft_ = 0;
    TPrinter* device_ = nullptr;
    // dmFields of the device mode last read or written; nothing when none
    // was reached.
    std::optional<uint32_t> modeFields_;
};

// Replaces the printer's device mode by the driver defaults of its selected
// printer.
void ResetDeviceMode(TPrinter& printer);

// A report definition's printer preferences. Plain storage: no checks.
class TZEZoravozSettings {
  public:
    int32_t Copies() const { return copies_; }
    void SetCopies(int32_t v) { copies_ = v; }
    bool Duplex() const { return duplex_; }
    void SetDuplex(bool v) { duplex_ = v; }
    TPrinterOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPrinterOrientation v) { orientation_ = v; }
    TQRBin OutputBin() const { return outputBin_; }
    void SetOutputBin(TQRBin v) { outputBin_ = v; }
    TQRPaperSize PaperSize() const { return paperSize_; }
    void SetPaperSize(TQRPaperSize v) { paperSize_ = v; }
    int32_t SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int32_t v) { selectedIndex_ = v; }
    const QString& DocumentTitle() const { return documentTitle_; }
    void SetDocumentTitle(const QString& v) { documentTitle_ = v; }
    int32_t FirstPage() const { return firstPage_; }
    void SetFirstPage(int32_t v) { firstPage_ = v; }
    int32_t LastPage() const { return lastPage_; }
    void SetLastPage(int32_t v) { lastPage_ = v; }

  private:
    int32_t copies_ = 1;
    bool duplex_ = false;
    TPrinterOrientation orientation_ = poPortrait;
    TQRBin outputBin_ = TQRBin::Auto;
    TQRPaperSize paperSize_ = TQRPaperSize::Letter;
    int32_t selectedIndex_ = -1;  // the system default printer
    QString documentTitle_;
    int32_t firstPage_ = 0;  // from the first page
    int32_t lastPage_ = 0;   // to the last page
};
