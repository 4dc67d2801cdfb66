// Round trips: a page drawn with QPainter into the recorder and played back
// matches the same drawing made directly on an image.
#include "platform/emf/picture.h"
#include "platform/emf/recorder.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

namespace {

// A report-like page: ruled boxes, filled bands, an ellipse, a polyline and
// an image.
void DrawPage(QPainter& p) {
    p.fillRect(QRect(0, 0, 200, 20), QColor(200, 220, 255));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i)
        p.drawRect(QRect(10, 30 + i * 20, 180, 20));
    p.setBrush(QColor(255, 200, 0));
    p.drawEllipse(QRect(120, 140, 60, 40));
    p.setPen(QPen(Qt::darkGreen, 3));
    p.drawPolyline(QPolygon({QPoint(10, 190), QPoint(60, 150), QPoint(100, 185)}));
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(Qt::magenta);
    tile.setPixel(0, 0, qRgb(0, 0, 255));
    p.drawImage(QRect(20, 140, 40, 40), tile);
}

// The share of pixels that differ by more than a small amount.
double Differs(const QImage& a, const QImage& b) {
    int64_t n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                    std::abs(qBlue(p) - qBlue(q)) >
                48)
                ++n;
        }
    return double(n) / (double(a.width()) * a.height());
}

TEST(RoundTrip, RecordedPagePlaysLikeTheDirectDrawing) {
    emf::Recorder recorder(200, 200);
    {
        QPainter p(&recorder);
        DrawPage(p);
    }
    const QByteArray bytes = recorder.Finish();
    emf::Picture picture(bytes);

    QImage direct(200, 200, QImage::Format_RGB32);
    direct.fill(Qt::white);
    {
        QPainter p(&direct);
        DrawPage(p);
    }
    QImage played(200, 200, QImage::Format_RGB32);
    played.fill(Qt::white);
    {
        QPainter p(&played);
        picture.Play(p, QRectF(0, 0, 200, 200));
    }
    EXPECT_LT(Differs(direct, played), 0.01);
    // The parts that must be exact.
    EXPECT_EQ(played.pixel(100, 10), qRgb(200, 220, 255));
    EXPECT_EQ(played.pixel(10, 50), qRgb(0, 0, 0));
    EXPECT_EQ(played.pixel(150, 160), qRgb(255, 200, 0));
    EXPECT_EQ(played.pixel(50, 170), qRgb(255, 0, 255));
}

}  // namespace
