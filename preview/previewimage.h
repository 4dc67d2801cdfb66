// TQRPreviewImage: the control that shows one page of a report printer as a
// white sheet with a thin black frame and a black drop shadow, the page's
// picture stretched over the whole control.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>

class PagePicture;
class TZEZoravoz;

class TQRPreviewImage : public QWidget {
    Q_OBJECT
  public:
    explicit TQRPreviewImage(QWidget* owner);
    ~TQRPreviewImage() override;

    TZEZoravoz* ReportPrinter() const { return reportPrinter_; }
    // Set only by the preview control.
    void SetReportPrinter(TZEZoravoz* printer) { reportPrinter_ = printer; }

    int32_t PageNumber() const { return pageNumber_; }
    // Stores n, drops the picture held and fetches page n from the printer
    // (none when it is not available), then redraws. Errors of the read
    // reach the caller; the image is then left without a picture.
    void SetPageNumber(int32_t n);

    bool HasPicture() const { return currentPicture_ != nullptr; }
    const PagePicture* CurrentPicture() const { return currentPicture_.get(); }

    int32_t Zoom() const { return zoom_; }
    void SetZoom(int32_t z) { zoom_ = z; }

    // Draws the control's content now: the sheet, the picture, the frame and
    // the shadow. Without a picture nothing is drawn.
    void RenderPage(QPainter& painter, const QSize& size) const;

    // How many times the page was played since the picture or the size last
    // changed; repaints reuse the played page.
    int PlayCount() const { return playCount_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The page played at the control's size in device pixels, kept until
    // the picture or the size changes.
    const QImage& PlayedPage(qreal devicePixelRatio);

    TZEZoravoz* reportPrinter_ = nullptr;
    int32_t pageNumber_ = 1;
    std::unique_ptr<PagePicture> currentPicture_;
    int32_t zoom_ = 100;
    QImage played_;
    int playCount_ = 0;
};
