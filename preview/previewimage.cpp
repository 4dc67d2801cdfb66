#include "preview/previewimage.h"

#include "print/reportprinter.h"
#include "storage/pagepicture.h"

#include <QPaintEvent>
#include <QPainter>

namespace {
// The largest page kept played in memory: 32 million pixels, 128 MB.
constexpr qreal kMaxKeptPixels = 32.0 * 1024 * 1024;
}  // namespace

TQRPreviewImage::TQRPreviewImage(QWidget* owner) : QWidget(owner) {
    // A control without a window of its own: it paints on its parent, and
    // pointer actions on the page reach the parent's handlers.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(100, 50);
}

TQRPreviewImage::~TQRPreviewImage() = default;

void TQRPreviewImage::SetPageNumber(int32_t n) {
    pageNumber_ = n;
    currentPicture_.reset();
    played_ = QImage();
    if (reportPrinter_) currentPicture_ = reportPrinter_->FetchPage(n);
    update();
}

void TQRPreviewImage::RenderPage(QPainter& painter, const QSize& size) const {
    if (!currentPicture_) return;
    const int w = size.width(), h = size.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The sheet: white over (1,1)-(W-3,H-3).
    painter.fillRect(QRect(1, 1, w - 4, h - 4), Qt::white);
    // The page, stretched over the whole control.
    currentPicture_->Draw(painter, QRectF(0, 0, w, h));
    // The frame through (0,0), (0,H-3), (W-3,H-3), (W-3,0).
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.setClipping(false);
    painter.resetTransform();
    painter.drawLine(0, 0, 0, h - 3);
    painter.drawLine(0, h - 3, w - 3, h - 3);
    painter.drawLine(w - 3, h - 3, w - 3, 0);
    painter.drawLine(w - 3, 0, 0, 0);
    // The shadow: 2 pixels right and below.
    painter.fillRect(QRect(w - 2, 2, 2, h - 2), Qt::black);
    painter.fillRect(QRect(2, h - 2, w - 2, 2), Qt::black);
    painter.restore();
}

const QImage& TQRPreviewImage::PlayedPage(qreal dpr) {
    const QSize devicePixels = (QSizeF(size()) * dpr).toSize();
    if (played_.isNull() || played_.size() != devicePixels) {
        played_ = QImage(devicePixels, QImage::Format_ARGB32_Premultiplied);
        played_.setDevicePixelRatio(dpr);
        played_.fill(Qt::transparent);
        QPainter p(&played_);
        RenderPage(p, size());
        ++playCount_;
    }
    return played_;
}

void TQRPreviewImage::paintEvent(QPaintEvent* event) {
    if (!currentPicture_ || width() <= 0 || height() <= 0) return;
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    const qreal devicePixels = qreal(width()) * height() * dpr * dpr;
    if (devicePixels <= kMaxKeptPixels) {
        // Played once per size at device pixels, so a high-density screen
        // gets a crisp page and scrolling only copies it.
        p.drawImage(QPointF(0, 0), PlayedPage(dpr));
        return;
    }
    // A page zoomed beyond what is worth keeping is played for the exposed
    // part only, each time.
    played_ = QImage();
    p.setClipRegion(event->region());
    RenderPage(p, size());
}
