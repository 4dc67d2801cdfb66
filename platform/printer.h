// The printer device: the printer object TPrinter with its device mode, the
// spooler and device calls the print engine uses (DeviceCapabilities,
// GetDeviceCaps, StartPage), and the backend interface behind them. The
// default backend talks to CUPS (printercups.h); tests put a recording
// backend in its place (printerrecording.h). Names and numbers of the
// DM_, DMPAPER_, DMBIN_, DMORIENT_, DMDUP_, DC_ and device-capability
// constants are the published ones of the device-mode world.
#pragma once

#include <QPainter>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QPaintDevice;

// dmFields bits.
enum : uint32_t {
    DM_ORIENTATION = 0x00000001,
    DM_PAPERSIZE = 0x00000002,
    DM_PAPERLENGTH = 0x00000004,
    DM_PAPERWIDTH = 0x00000008,
    DM_COPIES = 0x00000100,
    DM_DEFAULTSOURCE = 0x00000200,
    DM_PRINTQUALITY = 0x00000400,
    DM_DUPLEX = 0x00001000,
    DM_YRESOLUTION = 0x00002000,
};

enum : int16_t { DMORIENT_PORTRAIT = 1, DMORIENT_LANDSCAPE = 2 };
enum : int16_t { DMDUP_SIMPLEX = 1, DMDUP_VERTICAL = 2, DMDUP_HORIZONTAL = 3 };
enum : int16_t { DMPAPER_USER = 256 };
enum : int16_t {
    DMBIN_UPPER = 1,
    DMBIN_LOWER = 2,
    DMBIN_MIDDLE = 3,
    DMBIN_MANUAL = 4,
    DMBIN_ENVELOPE = 5,
    DMBIN_ENVMANUAL = 6,
    DMBIN_AUTO = 7,
    DMBIN_TRACTOR = 8,
    DMBIN_SMALLFMT = 9,
    DMBIN_LARGEFMT = 10,
    DMBIN_LARGECAPACITY = 11,
    DMBIN_CASSETTE = 14,
    DMBIN_USER = 256,
};

// DeviceCapabilities questions.
enum : uint16_t { DC_PAPERS = 2 };

// GetDeviceCaps indexes.
enum : int {
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,
    PHYSICALHEIGHT = 111,
    PHYSICALOFFSETX = 112,
    PHYSICALOFFSETY = 113,
};

// StartPage's answer when no job is open.
enum : int { SP_ERROR = -1 };

// The device-mode record: the fields the print engine reads and writes. Paper
// lengths are in tenths of a millimetre; dmPrintQuality and dmYResolution are
// dots per inch. A field counts only when its bit is set in dmFields.
struct TDeviceMode {
    uint32_t dmFields = 0;
    int16_t dmOrientation = 0;
    int16_t dmPaperSize = 0;
    int16_t dmPaperLength = 0;
    int16_t dmPaperWidth = 0;
    int16_t dmCopies = 0;
    int16_t dmDefaultSource = 0;
    int16_t dmPrintQuality = 0;
    int16_t dmDuplex = 0;
    int16_t dmYResolution = 0;

    bool operator==(const TDeviceMode&) const = default;
};

// A device mode as it is handed around: a block reached through a handle and
// locked while it is read or written. An empty handle means no device mode.
struct TDeviceModeBlock {
    TDeviceMode mode;
    int locks = 0;
};
using HDEVMODE = std::shared_ptr<TDeviceModeBlock>;

HDEVMODE NewDeviceMode(const TDeviceMode& mode);
// The record behind the handle, counted as locked; null for an empty handle.
TDeviceMode* LockDeviceMode(const HDEVMODE& handle);
void UnlockDeviceMode(const HDEVMODE& handle);

// Margins in hundredths of a millimetre, for the sheet held upright.
struct TPrinterMargins {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const TPrinterMargins&) const = default;
};

// One paper a printer offers.
struct TPrinterPaper {
    int16_t code = 0;   // DMPAPER_ code; driver papers have codes above DMPAPER_USER
    int32_t width = 0;  // hundredths of a millimetre, upright
    int32_t length = 0;
    TPrinterMargins margins;  // what the printer cannot print on
    QString media;            // the backend's name for it; empty for a custom size
};

// One input slot (paper bin).
struct TPrinterBin {
    int16_t code = 0;  // DMBIN_ code; driver bins have codes from DMBIN_USER
    QString name;      // the backend's name for it
};

// What one printer offers, as its driver describes it.
struct TPrinterCaps {
    QString device;  // the printer's name
    QString driver;  // make and model
    QString port;    // where it is attached
    std::vector<TPrinterPaper> papers;
    bool customPapers = false;     // takes any sheet size (dmPaperWidth, dmPaperLength)
    std::vector<int> resolutions;  // dots per inch, both directions
    std::vector<TPrinterBin> bins;
    bool duplex = false;
    int maxCopies = 1;
    TDeviceMode defaults;  // the driver's default device mode
};

// Maps a sheet size (hundredths of a millimetre, upright) to the DMPAPER_ code
// of the device-mode world that has that size, within half a millimetre; 0
// when none has it. Where codes share a size the lowest wins (Letter, not
// Note; A4, not A4 Small). A size given wider than long matches a code of
// that shape only (17 x 11 in is Ledger, 11 x 17 in is Tabloid).
int16_t DevicePaperCodeForSize(int32_t width, int32_t length);

// A device mode read against what the printer offers: the sheet, the
// orientation and the rest of a job, and the device's geometry in pixels.
struct TPrintSetup {
    QString printer;
    QString title;
    TPrinterPaper paper;  // the sheet, upright; media empty for a custom size
    bool landscape = false;
    int copies = 1;
    int duplex = DMDUP_SIMPLEX;
    QString bin;  // input slot; empty leaves the choice to the printer
    int dpiX = 0, dpiY = 0;
    QSize sheet{0, 0};  // PHYSICALWIDTH x PHYSICALHEIGHT, in the page's orientation
    QRect printable;    // PHYSICALOFFSETX/Y and HORZRES x VERTRES
};

// Reads a device mode (null: the driver defaults) against a printer:
//   paper: a custom size when dmPaperSize is DMPAPER_USER (or DM_PAPERSIZE is
//     absent) and both dmPaperWidth and dmPaperLength are set and the printer
//     takes custom sizes; else the listed paper with dmPaperSize; else the
//     printer's default paper; else its first one.
//   orientation, copies (1 to maxCopies), duplex (only on a duplex printer),
//   bin (only a listed one) and resolution (only a listed one; the default
//   otherwise) likewise fall back to the driver's choice.
// In landscape the sheet is turned a quarter to the left: its left margin is
// the upright sheet's bottom margin, its top margin the upright left one.
TPrintSetup ResolveDeviceMode(const TPrinterCaps& caps, const TDeviceMode* mode);

// An open print job on a backend. Pages are drawn with the printer's painter,
// whose origin is the corner of the printable area.
class TPrintJob {
  public:
    virtual ~TPrintJob() = default;  // a job neither ended nor cancelled is discarded
    // Opens the first page and begins the painter on it.
    virtual void Begin(QPainter& painter) = 0;
    // Ends the current page and opens the next; the painter may be begun anew.
    virtual void NextPage(QPainter& painter) = 0;
    // StartPage on the device context while a page is open: nothing to do for
    // a real device; the recording backend notes the call.
    virtual void StartPage() {}
    // Ends the painter and hands the job to the printer.
    virtual void End(QPainter& painter) = 0;
    // Ends the painter and discards the job: nothing is printed.
    virtual void Cancel(QPainter& painter) = 0;
};

// Where printers come from.
class TPrinterBackend {
  public:
    virtual ~TPrinterBackend() = default;
    // The installed printers' names, in a stable order; empty when none.
    virtual QStringList Printers() = 0;
    // The index of the system's default printer in Printers(); -1 when none.
    virtual int DefaultPrinter() = 0;
    // What the named printer offers; nothing when it is not known.
    virtual std::optional<TPrinterCaps> Capabilities(const QString& name) = 0;
    // The driver's default device mode; nothing when the driver gives none.
    virtual std::optional<TDeviceMode> DefaultDeviceMode(const QString& name);
    // The DMPAPER_ codes of the papers offered (with DMPAPER_USER when any
    // size is taken); -1 when the printer is not known.
    virtual int PaperCodes(const QString& name, std::vector<uint16_t>& codes);
    // Opens a job; the setup comes from ResolveDeviceMode.
    virtual std::unique_ptr<TPrintJob> OpenJob(const TPrintSetup& setup) = 0;
    // Forgets what was learned about the printers, so they are asked again.
    virtual void Refresh() {}
};

// The backend that new printer objects and the device calls use: CUPS, unless
// replaced. Replacing it (null restores CUPS) also replaces SharedPrinter.
std::shared_ptr<TPrinterBackend> PrinterBackend();
void SetPrinterBackend(std::shared_ptr<TPrinterBackend> backend);

class TPrinter;

// The device context of a printer object, as GetDeviceCaps and StartPage take it.
struct HDC {
    TPrinter* printer = nullptr;
};

// Answers a device capability for the printer's current device mode, or for
// the job while one is open; 0 for an unknown index or when there is no printer.
int GetDeviceCaps(HDC dc, int index);
// Begins a page in the open job; a page that is already open (the usual case
// after StartJob or StartNextPage) stays as it is. Returns a positive number,
// or SP_ERROR when no job is open.
int StartPage(HDC dc);

// DC_PAPERS: the number of paper codes the named printer offers, written into
// output as far as it reaches; -1 for an unknown printer or question.
int DeviceCapabilities(const QString& device, const QString& port, uint16_t capability,
                       std::span<uint16_t> output, const TDeviceMode* mode);

// The printer object: one selected printer, its device mode, and at most one
// open job. Failures raise EPrinter with the platform's texts.
class TPrinter {
  public:
    // On the current backend, with the system default printer selected.
    TPrinter();
    explicit TPrinter(std::shared_ptr<TPrinterBackend> backend);
    ~TPrinter();  // an open job is abandoned
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // The installed printers (asked once, kept until Refresh).
    const QStringList& PrinterList();
    // Asks the backend again for the printers; the selection goes back to the
    // default printer.
    void Refresh();

    // The selected printer's index; the system default's when none was
    // chosen; -1 when there are no printers. Writing -1 selects the default;
    // another index outside PrinterList fails with "Printer index out of
    // range"; writing while a job is open fails with "Printing in progress".
    // A change of printer drops the device mode.
    int SelectedIndex();
    void SetSelectedIndex(int index);

    // The selected printer's device, driver and port names (at most 127
    // characters each) and its device-mode handle, built from the driver's
    // defaults when there is none yet; the handle stays empty when the driver
    // gives no device mode. All empty without printers.
    void GetDevice(QString& device, QString& driver, QString& port, HDEVMODE& mode);
    // Selects the printer named device and adopts mode as its device mode; an
    // empty mode makes it build the driver's default one. An unknown name
    // fails with "Printer selected is not valid".
    void SetDevice(const QString& device, const QString& driver, const QString& port,
                   HDEVMODE mode);

    HDC DeviceContext() { return HDC{this}; }

    QString JobTitle() const { return jobTitle_; }
    void SetJobTitle(const QString& title) { jobTitle_ = title; }

    // Opens a job on the selected printer with its device mode and begins the
    // first page. Fails with "Printing in progress" while a job is open, with
    // "There is no default printer currently selected" without printers, and
    // with a device error for a printer that reports no resolution.
    void StartJob();
    // Ends the page and begins the next one; the canvas keeps its pen, brush
    // and font.
    void StartNextPage();
    // Ends the job and hands it to the printer.
    void EndJob();
    // Abandons the job: nothing of it is printed.
    void CancelJob();
    bool IsPrinting() const { return job_ != nullptr; }

    // The canvas of the page being printed; null outside a job.
    QPainter* PageCanvas() { return job_ ? &painter_ : nullptr; }
    // The current page's number in the job, from 1; 0 outside a job.
    int PageNumber() const { return pageNumber_; }

    // The printable area in device pixels (HORZRES, VERTRES).
    int PrintableWidth() { return GetDeviceCaps(DeviceContext(), HORZRES); }
    int PrintableHeight() { return GetDeviceCaps(DeviceContext(), VERTRES); }

  private:
    friend int GetDeviceCaps(HDC dc, int index);
    friend int StartPage(HDC dc);

    int EffectiveIndex();
    const TPrinterCaps* SelectedCaps();
    void DropDeviceMode();
    void CheckPrinting(bool printing) const;
    TPrintSetup CurrentSetup();
    int DeviceCaps(int index);
    int StartPageOnContext();

    std::shared_ptr<TPrinterBackend> backend_;
    std::optional<QStringList> printers_;
    int defaultIndex_ = -1;
    int selected_ = -1;  // -1: the system default
    std::optional<TPrinterCaps> caps_;
    HDEVMODE mode_;
    QString jobTitle_;
    std::unique_ptr<TPrintJob> job_;
    TPrintSetup jobSetup_;
    QPainter painter_;
    int pageNumber_ = 0;
};

// The application's printer object.
TPrinter& SharedPrinter();
