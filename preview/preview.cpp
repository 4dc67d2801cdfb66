#include "preview/preview.h"

#include "platform/messages.h"
#include "platform/rounding.h"
#include "preview/previewimage.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>

namespace {

// Without a printer the sheet is Letter at one pixel per millimetre.
constexpr long double kLetterWidthMm = 215.9L;
constexpr long double kLetterLengthMm = 279.4L;

int32_t Nearest(long double x) {
    return static_cast<int32_t>(RoundTiesEven(x));
}

}  // namespace

TQRPreview::TQRPreview(QWidget* owner) : QScrollArea(owner) {
    content_ = new QWidget;
    content_->setAutoFillBackground(false);
    pageImage_ = new TQRPreviewImage(content_);
    pageImage_->move(0, 0);
    setWidget(content_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The view follows the thumb while it is dragged.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    zoom_ = 100;
    reportPrinter_ = nullptr;
    zoomMode_ = pzFree;
    resize(250, 250);
    SetPageNumber(1);
    UpdateContentExtent();
}

TQRPreview::~TQRPreview() {
    if (reportPrinter_) SetReportPrinter(nullptr);
}

void TQRPreview::SetReportPrinter(TZEZoravoz* p) {
    if (reportPrinter_ && reportPrinter_->NotifyWindow() == this) {
        // Lower the flag first; the window reference goes even if a hook fails.
        struct Clear {
            TZEZoravoz* printer;
            ~Clear() { printer->SetNotifyWindow(nullptr); }
        } clear{reportPrinter_};
        reportPrinter_->SetPreviewShowing(false);
    }
    reportPrinter_ = p;
    pageImage_->SetReportPrinter(p);
    if (p) {
        p->SetNotifyWindow(this);
        p->SetPreviewShowing(true);
    }
    SetPageNumber(1);
    pageImage_->SetPageNumber(1);
    update();
}

void TQRPreview::ReportPrinterDestroyed(TZEZoravoz* printer) {
    if (reportPrinter_ != printer) return;
    // The printer is going away: nothing may be asked of it any more.
    reportPrinter_ = nullptr;
    pageImage_->SetReportPrinter(nullptr);
    pageImage_->SetPageNumber(pageImage_->PageNumber());
    update();
}

void TQRPreview::SetPageNumber(int32_t n) {
    if (n == pageNumber_ && pageImage_->HasPicture()) return;
    if (n <= 0 || !reportPrinter_ || n > reportPrinter_->PageTotal()) return;
    pageImage_->SetPageNumber(n);
    pageNumber_ = n;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void TQRPreview::SetZoom(int32_t z) {
    if (z < 2 || z > 2000) return;
    zoomMode_ = pzFree;
    zoom_ = z;
    ApplyZoom();
}

void TQRPreview::ApplyZoom() {
    int w, h;
    if (reportPrinter_) {
        w = reportPrinter_->ScaleX(static_cast<long double>(reportPrinter_->SheetWidth()) / 100.0L *
                                   zoom_) +
            4;
        h = reportPrinter_->ScaleY(static_cast<long double>(reportPrinter_->SheetLength()) /
                                   100.0L * zoom_) +
            4;
    } else {
        w = Nearest(kLetterWidthMm / 100.0L * zoom_) + 4;
        h = Nearest(kLetterLengthMm / 100.0L * zoom_) + 4;
    }
    w = std::max(w, 0);
    h = std::max(h, 0);
    // Centred within the control's outer size when smaller than it.
    const int left = w < width() ? (width() - w) / 2 : 0;
    const int top = h < height() ? (height() - h) / 2 : 0;
    pageImage_->setGeometry(left, top, w, h);
    UpdateContentExtent();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    pageImage_->SetZoom(zoom_);
}

void TQRPreview::UpdateContentExtent() {
    const QRect g = pageImage_->geometry();
    content_->resize(std::max(g.right() + 1, 0), std::max(g.bottom() + 1, 0));
}

void TQRPreview::FitWholePage() {
    long double zw, zh;
    if (reportPrinter_) {
        const long double pw = reportPrinter_->ScaleX(reportPrinter_->SheetWidth());
        const long double ph = reportPrinter_->ScaleY(reportPrinter_->SheetLength());
        // A sheet of no size cannot be fitted; the zoom stays.
        if (pw > 0 && ph > 0) {
            zw = Nearest(width() / pw * 95.0L);
            zh = Nearest(height() / ph * 95.0L);
            SetZoom(static_cast<int32_t>(std::min(zw, zh)));
        }
    } else {
        zw = Nearest(width() / kLetterWidthMm * 95.0L);
        zh = Nearest(height() / kLetterLengthMm * 95.0L);
        SetZoom(static_cast<int32_t>(std::min(zw, zh)));
    }
    zoomMode_ = pzFitPage;
}

void TQRPreview::FitPageWidth() {
    if (reportPrinter_) {
        const long double pw = reportPrinter_->ScaleX(reportPrinter_->SheetWidth());
        if (pw > 0) SetZoom(Nearest(width() / pw * 90.0L));
    } else {
        SetZoom(Nearest(width() / kLetterWidthMm * 95.0L));
    }
    ApplyZoom();
    zoomMode_ = pzFitWidth;
}

void TQRPreview::RefitOnResize() {
    if (zoomMode_ == pzFitPage)
        FitWholePage();
    else if (zoomMode_ == pzFitWidth)
        FitPageWidth();
    ApplyZoom();
}

void TQRPreview::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    RefitOnResize();
}

void TQRPreview::HandlePageReady(uintptr_t wParam) {
    const int32_t n = static_cast<int32_t>(wParam & 0xFFFF);
    if (n == pageNumber_) RefreshMissingPage();
    if (OnPageAvailable) OnPageAvailable(this, n);
}

void TQRPreview::RefreshMissingPage() {
    if (!reportPrinter_) return;
    if (!pageImage_->HasPicture() && pageImage_->PageNumber() <= reportPrinter_->ReadyPageCount()) {
        FitPageWidth();
        pageImage_->SetPageNumber(pageImage_->PageNumber());
    }
}

void TQRPreview::HandleProgressChanged(uintptr_t wParam) {
    const int32_t p = static_cast<int32_t>(wParam & 0xFFFF);
    if (OnProgressUpdate) OnProgressUpdate(this, p);
}

bool TQRPreview::event(QEvent* e) {
    if (e->type() == TMessageEvent::Type()) {
        auto* m = static_cast<TMessageEvent*>(e);
        if (m->Msg() == CM_PAGEREADY) {
            HandlePageReady(m->WParam());
            return true;
        }
        if (m->Msg() == CM_PROGRESSCHANGED) {
            HandleProgressChanged(m->WParam());
            return true;
        }
    }
    return QScrollArea::event(e);
}
