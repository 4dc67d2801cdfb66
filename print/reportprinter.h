// TZEZoravoz, the report printer: one report's pages with everything needed
// to produce, measure, show and print them. It owns its printer object, its
// printer settings and its page list; it talks to windows only through four
// window messages.
#pragma once

#include "platform/messages.h"
#include "print/papers.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class PagePicture;
class QPainter;
class TMetafileCanvas;
class TPrinter;
class TPrinterSettings;
class TQRExportFilterBase;
class TQRPageList;
class TQRStream;
class TZEZoravoz;

enum TReportState : uint8_t { rsReady = 0, rsBusy = 1, rsFinished = 2 };
enum TOutputTarget : uint8_t { otPagePictures = 0, otPrinter = 1 };

// The report printer's notifications.
constexpr uint32_t CM_PROGRESSCHANGED = WM_USER + 0;  // posted to NotifyWindow
constexpr uint32_t CM_PAGEREADY = WM_USER + 1;        // posted to NotifyWindow
constexpr uint32_t CM_PRINTREQUEST = WM_USER + 2;     // posted to MasterControl
constexpr uint32_t CM_PREVIEWCLOSED = WM_USER + 4;    // sent to MasterControl

using TQRAfterPrintEvent = std::function<void(TZEZoravoz* sender)>;
using TQRAfterPreviewEvent = std::function<void(TZEZoravoz* sender)>;
using TQRExportEvent = std::function<void(TQRExportFilterBase* filter)>;
using TQRPreviewEvent = std::function<void(TZEZoravoz* printer)>;
using TQRPrintSetupEvent = std::function<void(QObject* sender)>;

// A window that binds itself to a report printer (the preview control). A
// printer destroyed while such a window is its NotifyWindow lets it go.
class TQRPrinterClient {
  public:
    virtual ~TQRPrinterClient() = default;
    virtual void ReportPrinterDestroyed(TZEZoravoz* printer) = 0;
};

// Module start and stop of the report printer: binds the paper captions,
// sets PreviewInterfaceClass to its initial type and creates the export
// filter library; stop destroys the library and releases the captions.
void StartReportModule();
void StopReportModule();

class TZEZoravoz {
  public:
    TZEZoravoz();
    ~TZEZoravoz();
    TZEZoravoz(const TZEZoravoz&) = delete;
    TZEZoravoz& operator=(const TZEZoravoz&) = delete;

    // --- Measurement: report units (0.1 mm) to device pixels, ties to even.
    int32_t PositionX(long double x) const;
    int32_t PositionY(long double y) const;
    int32_t ScaleX(long double w) const;
    int32_t ScaleY(long double h) const;
    // The sheet in report units for the current paper and orientation.
    int32_t SheetWidth() const;
    int32_t SheetLength() const;

    // --- Settings passed through to the printer settings.
    TQRPaperSize PaperSize() const;
    void SetPaperSize(TQRPaperSize v);
    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation v);
    int32_t MediaWidth() const;
    void SetMediaWidth(int32_t v);
    int32_t MediaLength() const;
    void SetMediaLength(int32_t v);
    void SetCopies(int32_t v);
    void SetOutputBin(TQRBin v);

    void SelectPrinter(int32_t index);
    void CompressPages(bool flag);

    // A new picture of page n, owned by the caller, or none when the page is
    // not available (state rsReady, or n outside 1..PageTotal).
    std::unique_ptr<PagePicture> FetchPage(int32_t n);
    void RequestCancel() { cancelRequested_ = true; }
    void DiscardPages();

    // --- Production.
    void StartReport();
    void AddNewPage();
    void FinishReport();
    void AbortReport();
    // The surface of the page in production, or null.
    QPainter* ReportCanvas() const { return reportCanvas_; }

    // --- Loading, saving, printing, preview.
    void LoadReportFile(const QString& fileName);
    void SaveReportFile(const QString& fileName);
    void RunExportFilter(TQRExportFilterBase* filter);
    void ShowPreview();
    void PrintReport();
    void ShowPrinterSetup(QObject* sender);
    void DismissPreview(QWidget* window);

    // --- Fields.
    int32_t ReadyPageCount() const { return readyPageCount_; }
    void SetReadyPageCount(int32_t count);
    int32_t ProgressPercent() const { return progressPercent_; }
    void SetProgressPercent(int32_t value);
    bool PreviewShowing() const { return previewShowing_; }
    void SetPreviewShowing(bool v);

    bool CancelRequested() const { return cancelRequested_; }
    TOutputTarget OutputTarget() const { return outputTarget_; }
    void SetOutputTarget(TOutputTarget v) { outputTarget_ = v; }
    int32_t FromPage() const { return fromPage_; }
    void SetFromPage(int32_t v) { fromPage_ = v; }
    int32_t ToPage() const { return toPage_; }
    void SetToPage(int32_t v) { toPage_ = v; }
    int32_t MarginLeft() const { return marginLeft_; }
    int32_t MarginTop() const { return marginTop_; }
    QObject* NotifyWindow() const { return notifyWindow_; }
    void SetNotifyWindow(QObject* w) { notifyWindow_ = w; }
    QObject* MasterControl() const { return masterControl_; }
    void SetMasterControl(QObject* w) { masterControl_ = w; }
    int32_t PageTotal() const { return pageTotal_; }
    int32_t ProducingPage() const { return producingPage_; }
    bool HasPrinters() const { return hasPrinters_; }
    QString DocumentTitle() const { return documentTitle_; }
    void SetDocumentTitle(const QString& t) { documentTitle_ = t; }
    TReportState ReportState() const { return reportState_; }
    long double PixelsPerUnitX() const { return pixelsPerUnitX_; }
    long double PixelsPerUnitY() const { return pixelsPerUnitY_; }
    QWidget* PreviewWindow() const { return previewWindow_; }
    bool LoadedFromFile() const { return loadedFromFile_; }

    TPrinter& PrinterDevice() { return *printerDevice_; }
    TPrinterSettings& DeviceSettings() { return *deviceSettings_; }
    TQRPageList& Pages() { return *pages_; }
    TQRStream* PageStream() const { return pageStream_; }
    PagePicture* RecordingPicture() const { return recordingPicture_.get(); }

    // Hooks; an empty one is not called.
    TQRAfterPrintEvent AfterPrintHook;
    TQRAfterPreviewEvent AfterPreviewHook;
    TQRExportEvent OnExportHook;
    TQRPreviewEvent OnPreviewHook;
    TQRPrintSetupEvent OnPrintSetupHook;

  private:
    // The sheet held upright, width and length in report units.
    std::pair<int32_t, int32_t> UprightSheet() const;
    bool PageInRange() const;
    void BeginRecordedPage();
    void EndRecordedPage();
    void BeginDevicePage();
    void EndDevicePage();
    void RecognisePaper();
    void UseScreenScale();
    void UseDeviceScale();

    std::unique_ptr<TPrinter> printerDevice_;
    std::unique_ptr<TPrinterSettings> deviceSettings_;
    TQRStream* pageStream_ = nullptr;  // owned through pages_
    int32_t readyPageCount_ = 0;
    bool cancelRequested_ = false;
    QPainter* reportCanvas_ = nullptr;
    TOutputTarget outputTarget_ = otPagePictures;
    int32_t fromPage_ = 0;
    int32_t toPage_ = 0;
    int32_t marginLeft_ = 0;
    QPointer<QObject> notifyWindow_;
    QPointer<QObject> masterControl_;
    std::unique_ptr<PagePicture> recordingPicture_;
    std::unique_ptr<TMetafileCanvas> recordingCanvas_;
    int32_t pageTotal_ = 0;
    int32_t producingPage_ = 0;
    bool hasPrinters_ = false;
    int32_t progressPercent_ = 0;
    QString documentTitle_;
    int32_t marginTop_ = 0;
    bool previewShowing_ = false;
    TReportState reportState_ = rsReady;
    long double pixelsPerUnitX_ = 1.0L;
    long double pixelsPerUnitY_ = 1.0L;
    std::unique_ptr<TQRPageList> pages_;
    QPointer<QWidget> previewWindow_;
    bool loadedFromFile_ = false;
};
