#include "print/reportprinter.h"

#include "platform/application.h"
#include "platform/errors.h"
#include "platform/printer.h"
#include "platform/rounding.h"
#include "platform/screen.h"
#include "preview/api/exportfilter.h"
#include "preview/api/previewinterface.h"
#include "print/printersettings.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"

#include <QPainter>
#include <cmath>

namespace {

constexpr int32_t kPageStreamMemoryLimit = 100000;

int32_t Low32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

}  // namespace

void StartReportModule() {
    BindPaperCaptions();
    PreviewInterfaceClass = InitialPreviewInterfaceClass();
    ExportFilterLibrary = std::make_unique<TQRExportFilterLibrary>();
}

void StopReportModule() {
    ExportFilterLibrary.reset();
    ReleasePaperCaptions();
}

// ---------------------------------------------------------------------------
// Construction and destruction

TZEZoravoz::TZEZoravoz() {
    hasPrinters_ = !SharedPrinter().PrinterList().isEmpty();
    printerDevice_ = std::make_unique<TPrinter>();
    deviceSettings_ = std::make_unique<TPrinterSettings>();
    if (hasPrinters_) {
        deviceSettings_->SetDevice(printerDevice_.get());
        ProcessMessages();
    }
    marginTop_ = deviceSettings_->UnprintableTop();
    marginLeft_ = deviceSettings_->UnprintableLeft();
    pages_ = std::make_unique<TQRPageList>();
}

TZEZoravoz::~TZEZoravoz() {
    if (reportState_ != rsReady) {
        try {
            DiscardPages();
        } catch (...) {
            // A destructor must not throw; the pages go with the page list.
        }
    }
    // A page still being recorded belongs to this printer.
    recordingCanvas_.reset();
    recordingPicture_.reset();
    printerDevice_.reset();
    deviceSettings_.reset();
    pages_.reset();
    if (auto* client = dynamic_cast<TQRPrinterClient*>(notifyWindow_.data()))
        client->ReportPrinterDestroyed(this);
}

// ---------------------------------------------------------------------------
// Measurement

int32_t TZEZoravoz::PositionX(long double x) const {
    return Low32(RoundTiesEven((x - marginLeft_) * pixelsPerUnitX_));
}
int32_t TZEZoravoz::PositionY(long double y) const {
    return Low32(RoundTiesEven((y - marginTop_) * pixelsPerUnitY_));
}
int32_t TZEZoravoz::ScaleX(long double w) const {
    return Low32(RoundTiesEven(w * pixelsPerUnitX_));
}
int32_t TZEZoravoz::ScaleY(long double h) const {
    return Low32(RoundTiesEven(h * pixelsPerUnitY_));
}

std::pair<int32_t, int32_t> TZEZoravoz::UprightSheet() const {
    const TQRPaperSize p = PaperSize();
    if (!IsStandardPaper(p)) return {MediaWidth(), MediaLength()};
    return {MillimetresToTenths(SheetDimensionOf(p).Width),
            MillimetresToTenths(SheetDimensionOf(p).Length)};
}

int32_t TZEZoravoz::SheetWidth() const {
    const auto [width, length] = UprightSheet();
    return Orientation() == poPortrait ? width : length;
}

int32_t TZEZoravoz::SheetLength() const {
    const auto [width, length] = UprightSheet();
    return Orientation() == poPortrait ? length : width;
}

// ---------------------------------------------------------------------------
// Settings

TQRPaperSize TZEZoravoz::PaperSize() const {
    return deviceSettings_->PaperSize();
}
void TZEZoravoz::SetPaperSize(TQRPaperSize v) {
    deviceSettings_->SetPaperSize(v);
}
TPrinterOrientation TZEZoravoz::Orientation() const {
    return deviceSettings_->Orientation();
}
void TZEZoravoz::SetOrientation(TPrinterOrientation v) {
    deviceSettings_->SetOrientation(v);
}
int32_t TZEZoravoz::MediaWidth() const {
    return deviceSettings_->MediaWidth();
}
void TZEZoravoz::SetMediaWidth(int32_t v) {
    deviceSettings_->SetMediaWidth(v);
}
int32_t TZEZoravoz::MediaLength() const {
    return deviceSettings_->MediaLength();
}
void TZEZoravoz::SetMediaLength(int32_t v) {
    deviceSettings_->SetMediaLength(v);
}
void TZEZoravoz::SetCopies(int32_t v) {
    deviceSettings_->SetCopies(v);
}
void TZEZoravoz::SetOutputBin(TQRBin v) {
    deviceSettings_->SetOutputBin(v);
}

void TZEZoravoz::SelectPrinter(int32_t index) {
    if (!hasPrinters_) return;
    printerDevice_->SetSelectedIndex(index);
    ResetDeviceMode(*printerDevice_);
    deviceSettings_->ReadFromDevice();
}

void TZEZoravoz::CompressPages(bool flag) {
    pages_->SetCompressed(flag);
}

// ---------------------------------------------------------------------------
// Pages and notifications

std::unique_ptr<PagePicture> TZEZoravoz::FetchPage(int32_t n) {
    if ((reportState_ == rsBusy || reportState_ == rsFinished) && n >= 1 && n <= pageTotal_)
        return pages_->ReadPage(n);
    return nullptr;
}

void TZEZoravoz::DiscardPages() {
    if (reportState_ == rsBusy) RequestCancel();
    if (pageStream_) {
        // The page list holds the stream; dropping it there destroys it.
        pages_->SetPageStream(nullptr);
        pageStream_ = nullptr;
    }
    pages_->ResetCount();
    reportState_ = rsReady;
}

void TZEZoravoz::SetReadyPageCount(int32_t count) {
    readyPageCount_ = count;
    if (notifyWindow_)
        PostMessage(notifyWindow_, CM_PAGEREADY,
                    static_cast<uintptr_t>(static_cast<uint32_t>(count)), 0);
}

void TZEZoravoz::SetProgressPercent(int32_t value) {
    progressPercent_ = value;
    if (notifyWindow_)
        PostMessage(notifyWindow_, CM_PROGRESSCHANGED,
                    static_cast<uintptr_t>(static_cast<uint32_t>(value)), 0);
}

void TZEZoravoz::SetPreviewShowing(bool v) {
    // The flag is stored even when the hook fails.
    struct Store {
        bool& flag;
        bool value;
        ~Store() { flag = value; }
    } store{previewShowing_, v};
    if (previewShowing_ && !v) {
        if (reportState_ == rsBusy) RequestCancel();
        if (AfterPreviewHook) AfterPreviewHook(this);
    }
}

// ---------------------------------------------------------------------------
// Loading, saving, printing, preview

void TZEZoravoz::UseScreenScale() {
    pixelsPerUnitY_ = static_cast<long double>(ScreenPixelsPerInch()) / 254.0L;
    pixelsPerUnitX_ = pixelsPerUnitY_;
}

void TZEZoravoz::UseDeviceScale() {
    const int dpiX = GetDeviceCaps(printerDevice_->DeviceContext(), LOGPIXELSX);
    const int dpiY = GetDeviceCaps(printerDevice_->DeviceContext(), LOGPIXELSY);
    // A device without a resolution cannot be measured against.
    if (dpiX <= 0 || dpiY <= 0)
        throw EPrinter(QStringLiteral("The printer reports no resolution (%1 x %2 dots per inch)")
                           .arg(dpiX)
                           .arg(dpiY));
    pixelsPerUnitX_ = static_cast<long double>(dpiX) / 254.0L;
    pixelsPerUnitY_ = static_cast<long double>(dpiY) / 254.0L;
}

void TZEZoravoz::LoadReportFile(const QString& fileName) {
    if (reportState_ != rsReady) DiscardPages();
    pages_->OpenFile(fileName);
    pageTotal_ = pages_->NumPages();
    UseScreenScale();
    if (pageTotal_ > 0) RecognisePaper();
    pageStream_ = pages_->PageStream();
    reportState_ = rsFinished;
    OnPrintSetupHook = nullptr;
    OnExportHook = nullptr;
    loadedFromFile_ = true;
}

void TZEZoravoz::RecognisePaper() {
    int32_t w = 0, h = 0;
    {
        std::unique_ptr<PagePicture> first = pages_->ReadPage(1);
        if (!first) return;
        w = first->Width();
        h = first->Height();
    }
    // Whole 4 mm steps of the page's size in report units.
    const int64_t wu = static_cast<int64_t>(std::trunc(w / pixelsPerUnitX_ / 40.0L));
    const int64_t hu = static_cast<int64_t>(std::trunc(h / pixelsPerUnitX_ / 40.0L));
    for (int i = Ord(TQRPaperSize::Letter); i <= Ord(TQRPaperSize::ESheet); ++i) {
        const auto size = static_cast<TQRPaperSize>(i);
        const int64_t tw = static_cast<int64_t>(std::trunc(SheetDimensionOf(size).Width / 4.0L));
        const int64_t tl = static_cast<int64_t>(std::trunc(SheetDimensionOf(size).Length / 4.0L));
        // Every match is written; the printer settings accept only the sizes
        // the printer offers, so the last offered match wins.
        if (tw == wu && tl == hu) {
            SetPaperSize(size);
            SetOrientation(poPortrait);
        }
        if (tw == hu && tl == wu) {
            SetPaperSize(size);
            SetOrientation(poLandscape);
        }
    }
}

void TZEZoravoz::SaveReportFile(const QString& fileName) {
    if (reportState_ != rsFinished) return;
    pages_->CopyToFile(fileName);
}

void TZEZoravoz::RunExportFilter(TQRExportFilterBase* filter) {
    if (OnExportHook) OnExportHook(filter);
}

void TZEZoravoz::ShowPreview() {
    if (OnPreviewHook) {
        OnPreviewHook(this);
        return;
    }
    if (!PreviewInterfaceClass) PreviewInterfaceClass = InitialPreviewInterfaceClass();
    std::unique_ptr<TQRPreviewInterface> factory = PreviewInterfaceClass();
    previewWindow_ = factory->OpenPreview(this);
}

void TZEZoravoz::ShowPrinterSetup(QObject* sender) {
    if (OnPrintSetupHook) OnPrintSetupHook(sender);
}

void TZEZoravoz::DismissPreview(QWidget*) {
    if (masterControl_)
        SendMessage(masterControl_, CM_PREVIEWCLOSED, 0, reinterpret_cast<intptr_t>(this));
}

void TZEZoravoz::PrintReport() {
    if (masterControl_ && !loadedFromFile_) {
        PostMessage(masterControl_, CM_PRINTREQUEST, 0, 0);
        return;
    }
    if (reportState_ != rsFinished || !hasPrinters_) return;
    printerDevice_->SetJobTitle(documentTitle_);
    if (printerDevice_->IsPrinting()) printerDevice_->CancelJob();
    deviceSettings_->WriteToDevice();

    // Whatever happens below, an open job is ended.
    struct EndOpenJob {
        TPrinter& device;
        ~EndOpenJob() {
            if (device.IsPrinting()) {
                try {
                    device.EndJob();
                } catch (...) {
                    // The failure that brought us here is the one to report.
                }
            }
        }
    } endJob{*printerDevice_};

    printerDevice_->StartJob();
    const int32_t first = fromPage_ != 0 ? fromPage_ : 1;
    const int32_t last = toPage_ != 0 ? toPage_ : pageTotal_;
    for (int32_t i = first; i <= last; ++i) {
        ProcessMessages();
        if (std::unique_ptr<PagePicture> pic = FetchPage(i)) {
            QPainter* canvas = printerDevice_->PageCanvas();
            pic->Draw(*canvas, QRectF(0, 0, printerDevice_->PrintableWidth(),
                                      printerDevice_->PrintableHeight()));
        }
        if (i < last) printerDevice_->StartNextPage();
        if (cancelRequested_) {
            printerDevice_->CancelJob();
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Production

bool TZEZoravoz::PageInRange() const {
    if (fromPage_ > 0 && pageTotal_ < fromPage_) return false;
    if (toPage_ > 0 && pageTotal_ > toPage_) return false;
    return true;
}

void TZEZoravoz::StartReport() {
    readyPageCount_ = 0;
    cancelRequested_ = false;
    if (outputTarget_ == otPrinter) deviceSettings_->WriteToDevice();
    marginTop_ = outputTarget_ == otPrinter ? deviceSettings_->UnprintableTop() : 0;
    marginLeft_ = outputTarget_ == otPrinter ? deviceSettings_->UnprintableLeft() : 0;
    if (reportState_ != rsReady) throw EQRError(QStringLiteral("ZEZoravoz not ready"));
    recordingCanvas_.reset();
    recordingPicture_.reset();
    reportCanvas_ = nullptr;
    producingPage_ = 0;
    pageTotal_ = 0;
    reportState_ = rsBusy;
    if (outputTarget_ == otPagePictures) {
        pages_->SetPageStream(TQRStream::CreateInMemory(kPageStreamMemoryLimit));
        pageStream_ = pages_->PageStream();
        UseScreenScale();
    } else {
        UseDeviceScale();
    }
}

void TZEZoravoz::BeginRecordedPage() {
    recordingPicture_ = std::make_unique<PagePicture>();
    recordingPicture_->SetWidth(ScaleX(SheetWidth()));
    recordingPicture_->SetHeight(ScaleY(SheetLength()));
    recordingCanvas_ = recordingPicture_->OpenCanvas();
    reportCanvas_ = &recordingCanvas_->Painter();
    UseScreenScale();
}

void TZEZoravoz::EndRecordedPage() {
    reportCanvas_ = nullptr;
    recordingCanvas_.reset();
}

void TZEZoravoz::BeginDevicePage() {
    if (!printerDevice_->IsPrinting()) {
        printerDevice_->SetJobTitle(documentTitle_);
        printerDevice_->StartJob();
    } else {
        StartPage(printerDevice_->DeviceContext());
    }
    reportCanvas_ = printerDevice_->PageCanvas();
    UseDeviceScale();
}

void TZEZoravoz::EndDevicePage() {
    if (printerDevice_->IsPrinting() && pageTotal_ != toPage_) printerDevice_->StartNextPage();
}

void TZEZoravoz::AddNewPage() {
    if (reportState_ != rsBusy) throw EQRError(QStringLiteral("Illegal call to NewPage"));
    if (producingPage_ > 0) {
        if (outputTarget_ == otPagePictures) {
            EndRecordedPage();
            pages_->AppendPage(*recordingPicture_);
            recordingPicture_.reset();
        } else if (PageInRange()) {
            EndDevicePage();
        } else {
            EndRecordedPage();
            recordingPicture_.reset();
        }
        SetReadyPageCount(readyPageCount_ + 1);
    }
    ++pageTotal_;
    ++producingPage_;
    if (outputTarget_ == otPagePictures || !PageInRange())
        BeginRecordedPage();
    else
        BeginDevicePage();
}

void TZEZoravoz::FinishReport() {
    if (reportState_ != rsBusy) return;
    if (outputTarget_ == otPrinter) {
        if (printerDevice_->IsPrinting()) printerDevice_->EndJob();
        // A last page outside the range was recorded for nothing.
        EndRecordedPage();
        recordingPicture_.reset();
    } else if (pageTotal_ > 0) {
        EndRecordedPage();
        pages_->AppendPage(*recordingPicture_);
        recordingPicture_.reset();
    }
    reportCanvas_ = nullptr;
    reportState_ = rsFinished;
    ProcessMessages();
    SetReadyPageCount(readyPageCount_ + 1);
    if (outputTarget_ == otPagePictures)
        pages_->CompleteList();
    else if (AfterPrintHook)
        AfterPrintHook(this);
}

void TZEZoravoz::AbortReport() {
    if (outputTarget_ == otPrinter) {
        if (printerDevice_->IsPrinting()) printerDevice_->CancelJob();
        EndRecordedPage();
        recordingPicture_.reset();
    } else if (recordingPicture_) {
        EndRecordedPage();
        pages_->AppendPage(*recordingPicture_);
        recordingPicture_.reset();
        // The header still carries the count written with the first page;
        // bring it up to date so that a saved copy reads as every page.
        pages_->WriteHeader();
    }
    reportCanvas_ = nullptr;
    reportState_ = rsFinished;
}
