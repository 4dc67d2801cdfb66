// Round trips: a page drawn with QPainter straight onto an image, and the
// same page recorded as a metafile and played back onto an image, must look
// the same. Also: the recorded files are read by an independent program
// (emf2svg-conv) without error, with the drawn elements in its output.
#include "platform/emf/picture.h"
#include "platform/emf/recorder.h"
#include "recorder_testutil.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>

namespace {

// 181 pixels at 96 per inch are 4788.96 hundredths of a millimetre: the
// frame is rounded, and the page must still play back 1:1 at its pixel size.
constexpr int kW = 240, kH = 181;

using Scene = std::function<void(QPainter&)>;

QImage Direct(const Scene& scene) {
    QImage img(kW, kH, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    scene(p);
    return img;
}

// Plays a metafile onto a page-sized image; every record must be one the
// player takes whole (it notes those it skips or draws in part).
QImage Played(const QByteArray& emfBytes) {
    QImage img(kW, kH, QImage::Format_RGB32);
    img.fill(Qt::white);
    emf::Picture picture(emfBytes);
    for (const emf::Note& n : picture.Notes())
        ADD_FAILURE() << "record " << n.record << " (type " << n.type
                      << "): " << n.text.toStdString();
    QPainter p(&img);
    picture.Play(p, QRectF(0, 0, kW, kH));
    return img;
}

// How far two renderings are apart: the share of "ink" pixels (not white in
// either) whose colour differs by more than a threshold in some channel, and
// the same share after forgiving a one-pixel shift (a pixel matches when any
// neighbour in the other image does).
struct Difference {
    int ink = 0;
    double exact = 0;    // share of ink pixels that differ
    double shifted = 0;  // share that differ from every neighbour too
};

Difference Compare(const QImage& a, const QImage& b, int threshold = 80) {
    auto close = [&](QRgb x, QRgb y) {
        return std::abs(qRed(x) - qRed(y)) <= threshold &&
               std::abs(qGreen(x) - qGreen(y)) <= threshold &&
               std::abs(qBlue(x) - qBlue(y)) <= threshold;
    };
    Difference d;
    int exact = 0, shifted = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            if (pa == 0xFFFFFFFF && pb == 0xFFFFFFFF) continue;
            ++d.ink;
            if (close(pa, pb)) continue;
            ++exact;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= a.width() || yy >= a.height()) continue;
                    near = close(pa, b.pixel(xx, yy)) && close(a.pixel(xx, yy), pb);
                }
            if (!near) ++shifted;
        }
    }
    if (d.ink) {
        d.exact = double(exact) / d.ink;
        d.shifted = double(shifted) / d.ink;
    }
    return d;
}

void SaveForInspection(const QString& name, const QImage& direct, const QImage& played) {
    const QString dir = QDir::tempPath() + QStringLiteral("/vorlaxa-roundtrip");
    QDir().mkpath(dir);
    direct.save(dir + QStringLiteral("/%1-direct.png").arg(name));
    played.save(dir + QStringLiteral("/%1-played.png").arg(name));
}

QFont Font(const char* family, int px, bool bold = false, bool italic = false) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QImage Checker() {
    QImage img(8, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            img.setPixel(x, y, (x + y) % 2 ? qRgb(200, 30, 30) : qRgb(30, 30, 200));
    return img;
}

struct Case {
    const char* name;
    Scene scene;
    // Share of ink pixels allowed to differ beyond a one-pixel shift. Text
    // is rasterised from glyph runs at 1/16-pixel sizes and positions by
    // the player, by Qt's layout directly: edges differ a little (about 3%
    // of its ink), where a line of text three pixels off differs in 10%.
    double maxShifted;
};

std::vector<Case> Cases() {
    std::vector<Case> v;
    v.push_back({"text",
                 [](QPainter& p) {
                     p.setFont(Font("Liberation Sans", 13));
                     p.drawText(QPointF(6, 18), QStringLiteral("Invoice 2024-117, net 1 234,50"));
                     p.setFont(Font("Liberation Serif", 18, true));
                     p.setPen(QColor(0, 90, 160));
                     p.drawText(QRectF(0, 25, kW - 6, 24), Qt::AlignRight,
                                QStringLiteral("Total due"));
                     p.setFont(Font("DejaVu Sans Mono", 11, false, true));
                     p.setPen(Qt::black);
                     p.drawText(QRectF(0, 55, kW, 20), Qt::AlignHCenter,
                                QStringLiteral("centred mono italic"));
                     QFont u = Font("Liberation Sans", 15);
                     u.setUnderline(true);
                     u.setStrikeOut(true);
                     p.setFont(u);
                     p.drawText(QPointF(10, 100), QStringLiteral("struck and underlined"));
                     QFont pt(QStringLiteral("DejaVu Serif"));
                     pt.setPointSizeF(9.5);
                     p.setFont(pt);
                     p.drawText(QRectF(6, 110, kW - 12, 60), Qt::TextWordWrap,
                                QStringLiteral("A paragraph in points that wraps over "
                                               "several lines of the page."));
                 },
                 0.05});
    v.push_back({"lines",
                 [](QPainter& p) {
                     const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                                    Qt::DashDotLine, Qt::DashDotDotLine};
                     int y = 8;
                     for (qreal w : {0.0, 1.0, 3.0})
                         for (Qt::PenStyle s : styles) {
                             p.setPen(QPen(Qt::black, w, s, Qt::FlatCap));
                             p.drawLine(QPointF(10, y), QPointF(230, y));
                             y += 8;
                         }
                     QPen thick(QColor(0, 128, 0), 8, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
                     p.setPen(thick);
                     const QPointF zig[] = {{20, 140}, {60, 170}, {100, 135}, {140, 170}};
                     p.drawPolyline(zig, 4);
                     p.setPen(QPen(Qt::red, 5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
                     const QPointF zag[] = {{160, 140}, {190, 170}, {220, 135}};
                     p.drawPolyline(zag, 3);
                 },
                 0.005});
    v.push_back(
        {"shapes and brushes",
         [](QPainter& p) {
             const Qt::BrushStyle styles[] = {
                 Qt::SolidPattern,     Qt::HorPattern,    Qt::VerPattern,
                 Qt::CrossPattern,     Qt::BDiagPattern,  Qt::FDiagPattern,
                 Qt::DiagCrossPattern, Qt::Dense4Pattern, Qt::NoBrush};
             int i = 0;
             for (Qt::BrushStyle s : styles) {
                 p.setBrush(QBrush(QColor(40, 80, 200), s));
                 p.setPen(i % 2 ? QPen(Qt::black, 2) : QPen(Qt::NoPen));
                 const QRectF box(8 + (i % 5) * 46, 8 + (i / 5) * 46, 38, 38);
                 if (i % 3 == 0)
                     p.drawRect(box);
                 else if (i % 3 == 1)
                     p.drawEllipse(box);
                 else
                     p.drawRoundedRect(box, 8, 8);
                 ++i;
             }
             p.setPen(Qt::black);
             p.setBrush(QColor(250, 200, 0));
             const QPointF star[] = {{60, 100}, {80, 170}, {20, 125}, {100, 125}, {40, 170}};
             p.drawPolygon(star, 5, Qt::OddEvenFill);
             p.translate(90, 0);
             p.drawPolygon(star, 5, Qt::WindingFill);
             p.resetTransform();
             p.setBrush(QBrush(Checker()));
             p.drawRect(200, 110, 30, 50);
             p.setBackgroundMode(Qt::OpaqueMode);
             p.setBackground(QColor(255, 220, 220));
             p.setBrush(QBrush(Qt::darkGreen, Qt::CrossPattern));
             p.drawRect(190, 60, 40, 40);
         },
         0.01});
    v.push_back({"images",
                 [](QPainter& p) {
                     p.drawImage(QRectF(10, 10, 80, 60), Checker());
                     p.drawImage(QPointF(100, 10), Checker());
                     QImage alpha(30, 30, QImage::Format_ARGB32);
                     alpha.fill(Qt::transparent);
                     {
                         QPainter a(&alpha);
                         a.setBrush(QColor(0, 160, 0));
                         a.setPen(Qt::NoPen);
                         a.drawEllipse(0, 0, 30, 30);
                     }
                     p.fillRect(120, 60, 60, 60, QColor(255, 230, 0));
                     p.drawImage(QPointF(135, 75), alpha);
                     p.drawImage(QRectF(20, 100, 60, 40), Checker(), QRectF(2, 1, 4, 3));
                     QLinearGradient g(0, 0, 200, 0);
                     g.setColorAt(0, Qt::red);
                     g.setColorAt(1, Qt::blue);
                     p.fillRect(QRectF(10, 150, 220, 20), g);
                     p.setOpacity(0.5);
                     p.fillRect(QRectF(200, 100, 30, 30), Qt::black);
                 },
                 0.005});
    v.push_back({"clipping",
                 [](QPainter& p) {
                     p.setClipRect(QRect(20, 20, 100, 60));
                     p.fillRect(0, 0, kW, kH, QColor(255, 0, 0));
                     QPainterPath round;
                     round.addEllipse(110, 60, 110, 100);
                     p.setClipPath(round);
                     p.fillRect(0, 0, kW, kH, QColor(0, 0, 255));
                     p.setClipRect(QRect(150, 0, 40, kH), Qt::IntersectClip);
                     p.fillRect(0, 0, kW, kH, QColor(0, 200, 0));
                     p.setClipping(false);
                     p.setPen(Qt::black);
                     p.drawLine(0, 170, kW, 170);
                     p.save();
                     p.setClipRect(QRect(0, 100, 60, 40));
                     p.setFont(Font("Liberation Sans", 30, true));
                     p.drawText(QPointF(5, 135), QStringLiteral("CLIPPED"));
                     p.restore();
                     p.fillRect(70, 100, 20, 20, Qt::magenta);
                 },
                 0.01});
    v.push_back({"transforms",
                 [](QPainter& p) {
                     p.translate(60, 60);
                     p.rotate(30);
                     p.setPen(QPen(Qt::black, 2));
                     p.setBrush(QColor(0, 150, 150));
                     p.drawRect(-30, -20, 60, 40);
                     p.setFont(Font("Liberation Sans", 14));
                     p.drawText(QPointF(-30, 40), QStringLiteral("turned"));
                     p.resetTransform();
                     p.translate(130, 20);
                     p.scale(2.5, 1.5);
                     p.setPen(QPen(Qt::red, 1));
                     p.setBrush(Qt::NoBrush);
                     p.drawEllipse(0, 0, 30, 30);
                     p.drawText(QPointF(0, 50), QStringLiteral("wide"));
                     p.resetTransform();
                     p.scale(0.1, 0.1);  // drawing in tenths of a pixel
                     p.setPen(QPen(Qt::blue, 20));
                     p.drawLine(1000, 1500, 2300, 1700);
                     p.setPen(QPen(Qt::darkMagenta, 0));
                     p.drawLine(1000, 1600, 2300, 1800);
                 },
                 0.01});
    return v;
}

// The player draws shapes aliased, as crisp report rules want, and a
// metafile has no way to ask for anything else: the pages are drawn aliased
// here too (text keeps Qt's default antialiasing on both sides).
TEST(RecorderRoundTrip, PlayedBackPagesMatchDirectDrawing) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const QImage direct = Direct(c.scene);
        const QByteArray bytes = rt::Record(kW, kH, c.scene);
        const QImage played = Played(bytes);
        const Difference d = Compare(direct, played);
        EXPECT_GT(d.ink, 500);
        EXPECT_LE(d.shifted, c.maxShifted)
            << "ink " << d.ink << ", differing " << d.exact << ", beyond a pixel " << d.shifted;
        if (HasFailure()) SaveForInspection(QString::fromLatin1(c.name), direct, played);
    }
}

// The comparison itself must see a fault: a text line moved by three
// pixels, a missing rectangle.
TEST(RecorderRoundTrip, ComparisonCatchesMisplacedDrawing) {
    const QImage a = Direct([](QPainter& p) {
        p.setFont(Font("Liberation Sans", 14));
        p.drawText(QPointF(10, 30), QStringLiteral("A line of text"));
        p.fillRect(50, 60, 40, 40, Qt::blue);
    });
    const QImage moved = Direct([](QPainter& p) {
        p.setFont(Font("Liberation Sans", 14));
        p.drawText(QPointF(13, 30), QStringLiteral("A line of text"));
        p.fillRect(50, 60, 40, 40, Qt::blue);
    });
    const QImage missing = Direct([](QPainter& p) {
        p.setFont(Font("Liberation Sans", 14));
        p.drawText(QPointF(10, 30), QStringLiteral("A line of text"));
    });
    EXPECT_GT(Compare(a, moved).shifted, 0.03);
    EXPECT_GT(Compare(a, missing).shifted, 0.5);
    EXPECT_EQ(Compare(a, a).exact, 0);
}

TEST(RecorderRoundTrip, IndependentReaderConvertsRecordedPages) {
    const QString conv = QStandardPaths::findExecutable(QStringLiteral("emf2svg-conv"));
    if (conv.isEmpty()) GTEST_SKIP() << "emf2svg-conv is not installed (package emf2svg); skipping";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray bytes = rt::Record(kW, kH, [](QPainter& p) {
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(QColor(255, 255, 0));
        p.drawRect(10, 10, 60, 40);
        p.setBrush(QColor(0, 0, 255));
        p.drawEllipse(100, 10, 60, 40);
        p.setFont(Font("Liberation Sans", 16));
        p.drawText(QPointF(10, 90), QStringLiteral("Quarterly summary"));
        p.drawImage(QRectF(10, 110, 40, 30), Checker());
        QPainterPath path;
        path.moveTo(120, 120);
        path.cubicTo(150, 90, 180, 150, 210, 120);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.drawLine(0, 170, kW, 170);
    });
    const QString emfPath = dir.filePath(QStringLiteral("page.emf"));
    const QString svgPath = dir.filePath(QStringLiteral("page.svg"));
    WriteWholeFile(emfPath, bytes);
    QProcess proc;
    proc.start(conv, {QStringLiteral("-i"), emfPath, QStringLiteral("-o"), svgPath});
    ASSERT_TRUE(proc.waitForFinished(30000));
    ASSERT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0) << proc.readAllStandardError().toStdString();
    const QString svg = QString::fromUtf8(ReadWholeFile(svgPath));
    EXPECT_TRUE(svg.contains(QStringLiteral("<rect"))) << svg.toStdString();
    EXPECT_TRUE(svg.contains(QStringLiteral("fill=\"#FFFF00\"")));
    EXPECT_TRUE(svg.contains(QStringLiteral("<ellipse")));
    EXPECT_TRUE(svg.contains(QStringLiteral("Quarterly summary")));
    EXPECT_TRUE(svg.contains(QStringLiteral("font-family=\"Liberation Sans\"")));
    EXPECT_TRUE(svg.contains(QStringLiteral("<image")));
    EXPECT_TRUE(svg.contains(QStringLiteral("<path")));
    EXPECT_TRUE(svg.contains(QStringLiteral(" C ")) || svg.contains(QStringLiteral(" C")));
}

}  // namespace
