// vorlaxa-samples: produces the sample saved reports through the report
// printer, page by page, as a report generator does:
//   invoice.qrp           a few A4 portrait pages: tables, text in several
//                         fonts, lines and a logo image
//   landscape-letter.qrp  Letter landscape pages
//   long.qrp              several hundred pages, past the memory limit of the
//                         page stream, so production spills to a file
//   compressed.qrp        the invoice in the compressed form
#include "platform/application.h"
#include "platform/printer.h"
#include "platform/printerrecording.h"
#include "platform/screen.h"
#include "print/papers.h"
#include "print/reportprinter.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// A printer that offers every standard paper, so that production may choose
// any of them whatever printers this machine has.
std::shared_ptr<TRecordingPrinterBackend> EveryPaperPrinter() {
    TPrinterCaps caps;
    caps.device = QStringLiteral("Sample printer");
    caps.driver = QStringLiteral("Every paper");
    caps.port = QStringLiteral("none");
    for (int i = Ord(TQRPaperSize::Letter); i <= Ord(TQRPaperSize::ESheet); ++i) {
        const auto size = static_cast<TQRPaperSize>(i);
        TPrinterPaper paper;
        paper.code = static_cast<int16_t>(PaperCodes[i]);
        paper.width = static_cast<int32_t>(SheetDimensionOf(size).Width * 100);
        paper.length = static_cast<int32_t>(SheetDimensionOf(size).Length * 100);
        paper.media = PaperCaptions[i].isEmpty() ? QStringLiteral("p%1").arg(i) : PaperCaptions[i];
        caps.papers.push_back(paper);
    }
    caps.customPapers = true;
    caps.resolutions = {300};
    caps.maxCopies = 99;
    caps.defaults.dmFields =
        DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION;
    caps.defaults.dmPrintQuality = 300;
    caps.defaults.dmYResolution = 300;
    caps.defaults.dmOrientation = DMORIENT_PORTRAIT;
    caps.defaults.dmPaperSize = static_cast<int16_t>(PaperCodes[Ord(TQRPaperSize::A4)]);
    caps.defaults.dmCopies = 1;
    auto backend = std::make_shared<TRecordingPrinterBackend>();
    backend->AddPrinter({caps});
    backend->SetDefaultPrinter(0);
    return backend;
}

QImage Logo() {
    QImage img(120, 120, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 120, 120);
    g.setColorAt(0, QColor(20, 90, 170));
    g.setColorAt(1, QColor(90, 190, 220));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawEllipse(4, 4, 112, 112);
    p.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygon({QPoint(32, 40), QPoint(60, 88), QPoint(88, 40)}));
    return img;
}

// Report units (0.1 mm from the sheet's corner) to the canvas.
struct Sheet {
    TZEZoravoz& r;
    QRect Box(double x, double y, double w, double h) const {
        return QRect(r.PositionX(x), r.PositionY(y), r.ScaleX(w), r.ScaleY(h));
    }
    QFont Font(const char* family, double heightMm, int weight = QFont::Normal,
               bool italic = false) const {
        QFont f(QString::fromLatin1(family));
        f.setPixelSize(std::max(1, r.ScaleY(heightMm * 10)));
        f.setWeight(static_cast<QFont::Weight>(weight));
        f.setItalic(italic);
        return f;
    }
};

void InvoicePage(TZEZoravoz& r, int page, int pages) {
    QPainter& p = *r.ReportCanvas();
    Sheet s{r};
    p.setRenderHint(QPainter::Antialiasing, false);
    if (page == 1) {
        p.drawImage(s.Box(150, 120, 250, 250), Logo());
        p.setFont(s.Font("Liberation Sans", 7, QFont::Bold));
        p.drawText(s.Box(450, 130, 1000, 120), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Vorlaxa Trading d.o.o."));
        p.setFont(s.Font("Liberation Serif", 3.5, QFont::Normal, true));
        p.drawText(s.Box(450, 260, 1000, 80), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Reports that outlast their software"));
        p.setFont(s.Font("Liberation Sans", 9, QFont::Bold));
        p.drawText(s.Box(1150, 150, 800, 150), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("INVOICE"));
        p.setFont(s.Font("Liberation Mono", 3.2));
        p.drawText(s.Box(1150, 300, 800, 60), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("No. 2026-0417   Date 2026-12-11"));
    }
    p.setPen(QPen(QColor(20, 90, 170), s.r.ScaleX(5)));
    p.drawLine(r.PositionX(150), r.PositionY(420), r.PositionX(1950), r.PositionY(420));

    // The item table: header row, then rows with alternating shading.
    const double left = 150, top = 480, rowH = 70;
    const double cols[] = {120, 880, 200, 300, 300};
    const char* heads[] = {"#", "Description", "Qty", "Price", "Amount"};
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 90, 170));
    p.drawRect(s.Box(left, top, 1800 - 1, rowH));
    p.setPen(Qt::white);
    p.setFont(s.Font("Liberation Sans", 3.2, QFont::Bold));
    double x = left;
    for (int c = 0; c < 5; ++c) {
        p.drawText(s.Box(x + 20, top, cols[c] - 40, rowH),
                   (c >= 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                   QString::fromLatin1(heads[c]));
        x += cols[c];
    }
    const int rows = 30;
    p.setFont(s.Font("Liberation Sans", 3));
    for (int i = 0; i < rows; ++i) {
        const double y = top + rowH * (i + 1);
        const int item = (page - 1) * rows + i + 1;
        if (i % 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(232, 240, 250));
            p.drawRect(s.Box(left, y, 1800 - 1, rowH));
        }
        p.setPen(Qt::black);
        const int qty = 1 + (item * 7) % 12;
        const double price = 3.5 + (item * 13 % 97) * 1.25;
        const QString cells[] = {QString::number(item),
                                 QStringLiteral("Archive box, acid-free, model %1").arg(100 + item),
                                 QString::number(qty), QString::number(price, 'f', 2),
                                 QString::number(qty * price, 'f', 2)};
        x = left;
        for (int c = 0; c < 5; ++c) {
            p.drawText(s.Box(x + 20, y, cols[c] - 40, rowH),
                       (c >= 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, cells[c]);
            x += cols[c];
        }
    }
    // Grid lines: dotted between rows, solid around the table.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DotLine));
    for (int i = 1; i <= rows; ++i)
        p.drawLine(r.PositionX(left), r.PositionY(top + rowH * (i + 1)), r.PositionX(left + 1800),
                   r.PositionY(top + rowH * (i + 1)));
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(s.Box(left, top, 1800, rowH * (rows + 1)));

    // Footer.
    p.setFont(s.Font("Liberation Serif", 3, QFont::Normal, true));
    p.setPen(QColor(80, 80, 80));
    p.drawText(s.Box(150, 2800, 1800, 60), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Page %1 of %2").arg(page).arg(pages));
    if (page == pages) {
        p.setFont(s.Font("Liberation Sans", 4.5, QFont::Bold));
        p.setPen(Qt::black);
        p.drawText(s.Box(1150, 2700, 800, 80), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Total due: 12 345.67 EUR"));
    }
}

void LandscapePage(TZEZoravoz& r, int page) {
    QPainter& p = *r.ReportCanvas();
    Sheet s{r};
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setFont(s.Font("Liberation Sans", 6, QFont::Bold));
    p.drawText(s.Box(150, 100, 2400, 100), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Monthly volumes, sheet %1").arg(page));
    // A bar chart with axes.
    const double x0 = 250, y0 = 1900, w = 2200, h = 1500;
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(r.PositionX(x0), r.PositionY(y0), r.PositionX(x0 + w), r.PositionY(y0));
    p.drawLine(r.PositionX(x0), r.PositionY(y0), r.PositionX(x0), r.PositionY(y0 - h));
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    p.setFont(s.Font("Liberation Sans", 3));
    for (int m = 0; m < 12; ++m) {
        const double v = 0.2 + 0.75 * ((m * 37 + page * 11) % 100) / 100.0;
        QRect bar = s.Box(x0 + 40 + m * 180, y0 - h * v, 120, h * v);
        p.fillRect(bar, QColor::fromHsv((m * 30 + page * 50) % 360, 160, 210));
        p.drawText(s.Box(x0 + 20 + m * 180, y0 + 20, 160, 60), Qt::AlignCenter,
                   QString::fromLatin1(months[m]));
    }
    QPainterPath trend;
    for (int m = 0; m < 12; ++m) {
        QPointF pt(r.PositionX(x0 + 100 + m * 180),
                   r.PositionY(y0 - h * (0.3 + 0.04 * m + 0.05 * (m % 3))));
        m ? trend.lineTo(pt) : trend.moveTo(pt);
    }
    p.setPen(QPen(QColor(200, 30, 30), r.ScaleX(8), Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trend);
}

void LongPage(TZEZoravoz& r, int page, int pages) {
    QPainter& p = *r.ReportCanvas();
    Sheet s{r};
    p.setFont(s.Font("Liberation Sans", 5, QFont::Bold));
    p.drawText(s.Box(150, 100, 1800, 100), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Ledger extract"));
    p.setFont(s.Font("Liberation Mono", 3));
    for (int line = 0; line < 40; ++line) {
        const int entry = (page - 1) * 40 + line + 1;
        p.drawText(s.Box(150, 260 + line * 60, 1800, 60), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1  %2  account %3  %4")
                       .arg(entry, 6)
                       .arg(QStringLiteral("2026-%1-%2")
                                .arg(1 + entry % 12, 2, 10, QLatin1Char('0'))
                                .arg(1 + entry % 28, 2, 10, QLatin1Char('0')))
                       .arg(1000 + entry * 7 % 900)
                       .arg((entry * 7919 % 100000) / 100.0, 10, 'f', 2));
    }
    p.setFont(s.Font("Liberation Serif", 3));
    p.drawText(s.Box(150, 2800, 1800, 60), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("%1 / %2").arg(page).arg(pages));
}

bool Produce(const QString& path, TQRPaperSize paper, TPrinterOrientation orientation, int pages,
             bool compressed, void (*draw)(TZEZoravoz&, int, int), const QString& title) {
    TZEZoravoz r;
    r.SetPaperSize(paper);
    r.SetOrientation(orientation);
    r.CompressPages(compressed);
    r.SetDocumentTitle(title);
    r.StartReport();
    for (int page = 1; page <= pages; ++page) {
        r.AddNewPage();
        draw(r, page, pages);
    }
    r.FinishReport();
    r.SaveReportFile(path);
    std::printf("%s: %d pages\n", qPrintable(path), r.PageTotal());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    // Pages are recorded for a 96 pixels-per-inch screen, as a desktop writes them.
    SetScreenPixelsPerInch(96);
    SetPrinterBackend(EveryPaperPrinter());
    StartReportModule();
    bool ok = RunShowingErrors([&] {
        Produce(
            out + "/invoice.qrp", TQRPaperSize::A4, poPortrait, 3, false,
            [](TZEZoravoz& r, int p, int n) { InvoicePage(r, p, n); }, "Invoice 2026-0417");
        Produce(
            out + "/landscape-letter.qrp", TQRPaperSize::Letter, poLandscape, 2, false,
            [](TZEZoravoz& r, int p, int) { LandscapePage(r, p); }, "Monthly volumes");
        Produce(
            out + "/long.qrp", TQRPaperSize::A4, poPortrait, 400, false,
            [](TZEZoravoz& r, int p, int n) { LongPage(r, p, n); }, "Ledger extract");
        Produce(
            out + "/compressed.qrp", TQRPaperSize::A4, poPortrait, 3, true,
            [](TZEZoravoz& r, int p, int n) { InvoicePage(r, p, n); }, "Invoice 2026-0417");
    });
    StopReportModule();
    SetPrinterBackend(nullptr);
    return ok ? 0 : 1;
}
