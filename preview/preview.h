// TQRPreview: the scrolling, zoomable view of one report printer's pages. It
// owns the page image, keeps it sized and placed for the zoom, moves between
// pages within the report, refits on resize, and turns the printer's posted
// notifications into OnPageAvailable and OnProgressUpdate.
#pragma once

#include "print/reportprinter.h"

#include <QScrollArea>
#include <cstdint>
#include <functional>

class TQRPreviewImage;
class TQRPreview;

enum TPreviewZoomMode : uint8_t { pzFitPage = 0, pzFitWidth = 1, pzFree = 2 };

using TQRPageAvailableEvent = std::function<void(TQRPreview* sender, int32_t PageNum)>;
using TQRProgressUpdateEvent = std::function<void(TQRPreview* sender, int32_t Progress)>;

class TQRPreview : public QScrollArea, public TQRPrinterClient {
    Q_OBJECT
  public:
    explicit TQRPreview(QWidget* owner = nullptr);
    ~TQRPreview() override;

    TQRPageAvailableEvent OnPageAvailable;
    TQRProgressUpdateEvent OnProgressUpdate;

    TQRPreviewImage* PageImage() const { return pageImage_; }

    TZEZoravoz* ReportPrinter() const { return reportPrinter_; }
    // Binds the printer (none unbinds): the control becomes its NotifyWindow
    // and raises its PreviewShowing; page 1 is fetched.
    void SetReportPrinter(TZEZoravoz* printer);

    int32_t PageNumber() const { return pageNumber_; }
    // Selects a page within 1..PageTotal; anything else is ignored.
    void SetPageNumber(int32_t n);

    int32_t Zoom() const { return zoom_; }
    // An explicit zoom from 2 to 2000 percent; anything else is ignored.
    void SetZoom(int32_t z);
    TPreviewZoomMode ZoomMode() const { return zoomMode_; }

    void FitWholePage();
    void FitPageWidth();
    // Sizes and places the page image for the zoom and scrolls to the origin.
    void ApplyZoom();
    void RefitOnResize();

    // The printer's notifications.
    void HandlePageReady(uintptr_t wParam);
    void HandleProgressChanged(uintptr_t wParam);

    void ReportPrinterDestroyed(TZEZoravoz* printer) override;

  protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void RefreshMissingPage();
    // The content widget, sized to the extent of the page image.
    void UpdateContentExtent();

    TQRPreviewImage* pageImage_ = nullptr;  // owned as a child
    QWidget* content_ = nullptr;
    int32_t pageNumber_ = 1;
    TZEZoravoz* reportPrinter_ = nullptr;
    int32_t zoom_ = 100;
    TPreviewZoomMode zoomMode_ = pzFree;
};
