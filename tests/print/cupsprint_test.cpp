// Real printing through the CUPS server that tools/cups-setup.sh starts: a
// PDF queue (cups-pdf) and a stopped queue on a driver that lists input
// slots. Jobs are checked where they land: the PDF file and the job's IPP
// attributes. Without a server that has these queues the tests skip.
#include "platform/errors.h"
#include "platform/printer.h"
#include "platform/printercups.h"
#include "print/printersettings.h"
#include "print/reportprinter.h"
#include "storage/pagepicture.h"

#include <QPainter>
#include <QTemporaryDir>
#include <cmath>

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

namespace {

const QString kPdfQueue = QStringLiteral("PDF");
const QString kSlotQueue = QStringLiteral("LaserJet");

// A title made of letters and digits only, so cups-pdf names the file after
// it unchanged.
QString UniqueTitle(const char* what) {
    static int counter = 0;
    return QStringLiteral("Vorlaxa%1%2x%3")
               .arg(QLatin1String(what))
               .arg(QDateTime::currentMSecsSinceEpoch() % 100000000)
               .arg(++counter) +
           QString::number(getpid());
}

class CupsPrinting : public ::testing::Test {
  protected:
    void SetUp() override {
        backend_ = std::make_shared<TCupsPrinterBackend>();
        SetPrinterBackend(backend_);
        const QStringList printers = backend_->Printers();
        if (!printers.contains(kPdfQueue) || !printers.contains(kSlotQueue))
            GTEST_SKIP() << "no CUPS server with the PDF and LaserJet queues answers "
                            "(tools/cups-setup.sh starts one); skipping";
    }
    void TearDown() override { SetPrinterBackend(nullptr); }

    // A printer object with the named queue selected.
    static void Select(TPrinter& printer, const QString& queue) {
        int index = printer.PrinterList().indexOf(queue);
        ASSERT_GE(index, 0);
        printer.SetSelectedIndex(index);
    }

    std::shared_ptr<TCupsPrinterBackend> backend_;
};

// The CUPS job with this title on the queue: its id and state; id 0 when none.
std::pair<int, ipp_jstate_t> FindJob(const QString& queue, const QString& title) {
    cups_job_t* jobs = nullptr;
    int n =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    std::pair<int, ipp_jstate_t> found{0, IPP_JSTATE_PENDING};
    for (int i = 0; i < n; ++i)
        if (jobs[i].title && QString::fromUtf8(jobs[i].title) == title)
            found = {jobs[i].id, jobs[i].state};
    cupsFreeJobs(n, jobs);
    return found;
}

// The job's attributes as text, by name.
QMap<QString, QString> JobAttributes(int id) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(id).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    QMap<QString, QString> out;
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (!ippGetName(a)) continue;
        char value[1024];
        ippAttributeString(a, value, sizeof value);
        out.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(value));
    }
    ippDelete(response);
    return out;
}

QString SpoolDir() {
    const passwd* pw = getpwuid(getuid());
    return QStringLiteral("/var/spool/cups-pdf/%1")
        .arg(QString::fromLocal8Bit(pw ? pw->pw_name : ""));
}

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Waits until the job has completed and its PDF can be parsed; returns the
// file, or an empty string after a minute.
QString WaitForPdf(const QString& title) {
    for (int i = 0; i < 300; ++i) {
        auto [id, state] = FindJob(kPdfQueue, title);
        if (id != 0 && state >= IPP_JSTATE_CANCELED) {
            const QString file = QStringLiteral("%1/%2-job_%3.pdf").arg(SpoolDir(), title).arg(id);
            if (QFileInfo::exists(file) &&
                RunTool(QStringLiteral("pdfinfo"), {file}).contains(QLatin1String("Pages:")))
                return file;
        }
        QThread::msleep(200);
    }
    return QString();
}

void DrawPage(TPrinter& printer, int page) {
    QPainter& canvas = *printer.PageCanvas();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(printer.PrintableHeight() / 30);
    canvas.setFont(font);
    canvas.drawText(QPointF(printer.PrintableWidth() / 10.0, printer.PrintableHeight() / 5.0),
                    QStringLiteral("Vorlaxa page %1").arg(page));
    canvas.drawRect(0, 0, printer.PrintableWidth() - 1, printer.PrintableHeight() - 1);
}

TEST_F(CupsPrinting, DestinationsAndWhatTheyOffer) {
    std::optional<TPrinterCaps> pdf = backend_->Capabilities(kPdfQueue);
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->defaults.dmPaperSize, 9);  // the queue was set up with A4
    EXPECT_TRUE(pdf->customPapers);
    EXPECT_GT(pdf->maxCopies, 1);
    EXPECT_NE(std::find(pdf->resolutions.begin(), pdf->resolutions.end(), 300),
              pdf->resolutions.end());
    const int index = backend_->Printers().indexOf(kPdfQueue);
    EXPECT_EQ(backend_->DefaultPrinter(), index);

    std::optional<TPrinterCaps> lj = backend_->Capabilities(kSlotQueue);
    ASSERT_TRUE(lj);
    EXPECT_EQ(lj->defaults.dmPaperSize, 1);  // the driver's Letter
    EXPECT_EQ(lj->defaults.dmDefaultSource, DMBIN_AUTO);
    QStringList slots;
    for (const TPrinterBin& b : lj->bins)
        slots << QStringLiteral("%1=%2").arg(b.name).arg(b.code);
    EXPECT_EQ(slots, QStringList({"auto=7", "tray-1=257", "tray-2=258", "tray-3=259", "tray-4=260",
                                  "manual=4", "envelope=5"}));
    // The driver cannot print the outer quarter and half inch.
    TPrinter printer;
    Select(printer, kSlotQueue);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), LOGPIXELSX), 300);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), PHYSICALOFFSETX), 75);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), PHYSICALOFFSETY), 150);
    std::vector<uint16_t> codes(64, 0);
    int n = DeviceCapabilities(kSlotQueue, QString(), DC_PAPERS, codes, nullptr);
    ASSERT_GT(n, 0);
    codes.resize(std::min<size_t>(n, codes.size()));
    for (uint16_t code : {1, 5, 7, 8, 9, 11}) {  // Letter, Legal, Executive, A3, A4, A5
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
    }
}

TEST_F(CupsPrinting, ThreePagesBecomeAPdfUnderTheTitle) {
    TPrinter printer;
    Select(printer, kPdfQueue);
    TPrinterSettings settings;
    settings.SetDevice(&printer);
    settings.SetPaperSize(TQRPaperSize::Letter);
    settings.SetCopies(2);
    ASSERT_EQ(settings.PaperSize(), TQRPaperSize::Letter);
    ASSERT_EQ(settings.Copies(), 2);
    settings.WriteToDevice();

    const QString title = UniqueTitle("Pdf");
    printer.SetJobTitle(title);
    printer.StartJob();
    EXPECT_EQ(printer.PageCanvas()->device()->width(), printer.PrintableWidth());
    EXPECT_EQ(printer.PageCanvas()->device()->height(), printer.PrintableHeight());
    for (int page = 1; page <= 3; ++page) {
        if (page > 1) printer.StartNextPage();
        DrawPage(printer, page);
    }
    printer.EndJob();

    auto [id, state] = FindJob(kPdfQueue, title);
    ASSERT_NE(id, 0) << "no CUPS job titled " << title.toStdString();
    const QMap<QString, QString> attributes = JobAttributes(id);
    EXPECT_EQ(attributes.value(QStringLiteral("copies")), QStringLiteral("2"));
    EXPECT_EQ(attributes.value(QStringLiteral("media")), QStringLiteral("na_letter_8.5x11in"));
    EXPECT_EQ(attributes.value(QStringLiteral("orientation-requested")),
              QStringLiteral("portrait"));

    const QString pdf = WaitForPdf(title);
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF for " << title.toStdString() << " in "
                                << SpoolDir().toStdString();
    const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QLatin1String("612 x 792 pts"))) << info.toStdString();
    for (int page = 1; page <= 3; ++page) {
        const QString n = QString::number(page);
        const QString text =
            RunTool(QStringLiteral("pdftotext"),
                    {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(QStringLiteral("Vorlaxa page %1").arg(page)))
            << text.toStdString();
    }
    QFile::remove(pdf);
}

TEST_F(CupsPrinting, InputSlotAndOrientationTravelWithTheJob) {
    TPrinter printer;
    Select(printer, kSlotQueue);
    TPrinterSettings settings;
    settings.SetDevice(&printer);
    settings.SetOrientation(poLandscape);
    settings.WriteToDevice();
    // Tray 2 is a driver's own bin: set in the device mode as the driver names it.
    QString device, driver, port;
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    mode->mode.dmDefaultSource = DMBIN_USER + 2;

    const QString title = UniqueTitle("Slot");
    printer.SetJobTitle(title);
    printer.StartJob();
    // Landscape Letter at 300 dpi, less the driver's margins.
    EXPECT_EQ(printer.PrintableWidth(), 3300 - 150 - 150);
    EXPECT_EQ(printer.PrintableHeight(), 2550 - 75 - 75);
    EXPECT_EQ(printer.PageCanvas()->device()->width(), printer.PrintableWidth());
    EXPECT_EQ(printer.PageCanvas()->device()->height(), printer.PrintableHeight());
    DrawPage(printer, 1);
    printer.EndJob();

    auto [id, state] = FindJob(kSlotQueue, title);
    ASSERT_NE(id, 0);
    const QMap<QString, QString> attributes = JobAttributes(id);
    cupsCancelJob2(CUPS_HTTP_DEFAULT, kSlotQueue.toUtf8().constData(), id, 0);
    EXPECT_EQ(attributes.value(QStringLiteral("media-source")), QStringLiteral("tray-2"));
    EXPECT_EQ(attributes.value(QStringLiteral("orientation-requested")),
              QStringLiteral("landscape"));
    EXPECT_EQ(attributes.value(QStringLiteral("media")), QStringLiteral("na_letter_8.5x11in"));
    EXPECT_EQ(attributes.value(QStringLiteral("copies")), QStringLiteral("1"));
}

TEST_F(CupsPrinting, CancelledJobLeavesNoPdf) {
    TPrinter printer;
    Select(printer, kPdfQueue);
    const QString cancelled = UniqueTitle("Cancelled");
    printer.SetJobTitle(cancelled);
    printer.StartJob();
    DrawPage(printer, 1);
    printer.StartNextPage();
    printer.CancelJob();
    EXPECT_FALSE(printer.IsPrinting());

    // A job sent after it has gone through the queue, so anything sent before
    // would have landed too.
    const QString after = UniqueTitle("After");
    printer.SetJobTitle(after);
    printer.StartJob();
    DrawPage(printer, 1);
    printer.EndJob();
    const QString pdf = WaitForPdf(after);
    ASSERT_FALSE(pdf.isEmpty());
    QFile::remove(pdf);

    EXPECT_EQ(FindJob(kPdfQueue, cancelled).first, 0);
    EXPECT_TRUE(QDir(SpoolDir()).entryList({cancelled + QLatin1Char('*')}).isEmpty());
}

// How alike two pictures of a page are: the correlation of their grey
// levels on a coarse grid, 1 for the same picture. Unlike a plain difference
// it does not mind that two renderers shade text and edges differently.
double Likeness(const QImage& a, const QImage& b) {
    const QSize grid(60, 85);
    const QImage sa = a.convertToFormat(QImage::Format_Grayscale8)
                          .scaled(grid, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage sb = b.convertToFormat(QImage::Format_Grayscale8)
                          .scaled(grid, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double ma = 0, mb = 0;
    const int n = grid.width() * grid.height();
    for (int y = 0; y < grid.height(); ++y)
        for (int x = 0; x < grid.width(); ++x) {
            ma += qGray(sa.pixel(x, y));
            mb += qGray(sb.pixel(x, y));
        }
    ma /= n;
    mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (int y = 0; y < grid.height(); ++y)
        for (int x = 0; x < grid.width(); ++x) {
            const double da = qGray(sa.pixel(x, y)) - ma, db = qGray(sb.pixel(x, y)) - mb;
            sab += da * db;
            saa += da * da;
            sbb += db * db;
        }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

// The sample invoice printed by the report printer: one PDF page per report
// page under the document title, each page like the report's own, with the
// copies and media the settings asked for; a cancel leaves nothing.
TEST_F(CupsPrinting, SampleReportPrintsThroughTheReportPrinter) {
    const QString sample = QStringLiteral(VORLAXA_SAMPLES_DIR "/invoice.qrp");
    ASSERT_TRUE(QFileInfo::exists(sample)) << sample.toStdString();
    StartReportModule();
    TZEZoravoz r;
    r.SelectPrinter(r.PrinterDevice().PrinterList().indexOf(kPdfQueue));
    r.LoadReportFile(sample);
    ASSERT_EQ(r.PageTotal(), 3);
    ASSERT_EQ(r.PaperSize(), TQRPaperSize::A4);  // A4 Small is not offered
    r.SetCopies(2);
    const QString title = UniqueTitle("Invoice");
    r.SetDocumentTitle(title);
    r.PrintReport();

    auto [id, state] = FindJob(kPdfQueue, title);
    ASSERT_NE(id, 0) << "no CUPS job titled " << title.toStdString();
    const QMap<QString, QString> attributes = JobAttributes(id);
    EXPECT_EQ(attributes.value(QStringLiteral("copies")), QStringLiteral("2"));
    EXPECT_EQ(attributes.value(QStringLiteral("media")), QStringLiteral("iso_a4_210x297mm"));
    const QString pdf = WaitForPdf(title);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_TRUE(
        RunTool(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression("Pages:\\s+3\\n")));

    // Each printed page against the report's page drawn into the printable
    // area of a sheet of the same size.
    HDC dc = r.PrinterDevice().DeviceContext();
    const double physW = GetDeviceCaps(dc, PHYSICALWIDTH),
                 physH = GetDeviceCaps(dc, PHYSICALHEIGHT);
    const QRectF area(GetDeviceCaps(dc, PHYSICALOFFSETX) / physW,
                      GetDeviceCaps(dc, PHYSICALOFFSETY) / physH,
                      GetDeviceCaps(dc, HORZRES) / physW, GetDeviceCaps(dc, VERTRES) / physH);
    QTemporaryDir pngs;
    RunTool(QStringLiteral("pdftoppm"), {"-r", "72", "-png", pdf, pngs.filePath("p")});
    double worstSame = 1, bestOther = -1;
    for (int page = 1; page <= 3; ++page) {
        QImage printed(pngs.filePath(QStringLiteral("p-%1.png").arg(page)));
        ASSERT_FALSE(printed.isNull()) << page;
        const QRectF target(area.x() * printed.width(), area.y() * printed.height(),
                            area.width() * printed.width(), area.height() * printed.height());
        QImage expected(printed.size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter p(&expected);
            r.FetchPage(page)->Draw(p, target);
        }
        worstSame = std::min(worstSame, Likeness(printed, expected));
        QImage other(printed.size(), QImage::Format_RGB32);
        other.fill(Qt::white);
        {
            QPainter p(&other);
            r.FetchPage(page == 1 ? 2 : 1)->Draw(p, target);
        }
        bestOther = std::max(bestOther, Likeness(printed, other));
    }
    EXPECT_GT(worstSame, 0.9) << "a printed page does not look like its report page";
    EXPECT_LT(bestOther, worstSame - 0.1) << "the comparison cannot tell pages apart";
    std::printf("likeness of printed pages: own page at least %.3f, another page at most %.3f\n",
                worstSame, bestOther);
    const QString text = RunTool(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", pdf, "-"});
    EXPECT_TRUE(text.contains(QLatin1String("INVOICE"))) << text.toStdString();
    QFile::remove(pdf);

    // Cancelled after the first page: nothing reaches the queue.
    const QString cancelled = UniqueTitle("InvoiceCancelled");
    r.SetDocumentTitle(cancelled);
    r.RequestCancel();
    r.PrintReport();
    EXPECT_FALSE(r.PrinterDevice().IsPrinting());
    EXPECT_EQ(FindJob(kPdfQueue, cancelled).first, 0);
    StopReportModule();
}

// The bin chosen in the settings reaches a queue whose driver lists slots.
TEST_F(CupsPrinting, ReportPrinterSendsTheChosenBin) {
    StartReportModule();
    TZEZoravoz r;
    r.SelectPrinter(r.PrinterDevice().PrinterList().indexOf(kSlotQueue));
    r.LoadReportFile(QStringLiteral(VORLAXA_SAMPLES_DIR "/landscape-letter.qrp"));
    EXPECT_EQ(r.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(r.Orientation(), poLandscape);
    r.SetOutputBin(TQRBin::Manual);
    const QString title = UniqueTitle("Bin");
    r.SetDocumentTitle(title);
    r.PrintReport();
    auto [id, state] = FindJob(kSlotQueue, title);
    ASSERT_NE(id, 0);
    const QMap<QString, QString> attributes = JobAttributes(id);
    cupsCancelJob2(CUPS_HTTP_DEFAULT, kSlotQueue.toUtf8().constData(), id, 0);
    EXPECT_EQ(attributes.value(QStringLiteral("media-source")), QStringLiteral("manual"));
    EXPECT_EQ(attributes.value(QStringLiteral("orientation-requested")),
              QStringLiteral("landscape"));
    EXPECT_EQ(attributes.value(QStringLiteral("media")), QStringLiteral("na_letter_8.5x11in"));
    StopReportModule();
}

TEST(CupsWithoutServer, HasNoPrinters) {
    cupsSetServer("/nonexistent/vorlaxa/cups.sock");
    auto backend = std::make_shared<TCupsPrinterBackend>();
    const QStringList printers = backend->Printers();
    const int defaultPrinter = backend->DefaultPrinter();
    TPrinter printer(backend);
    QString error;
    try {
        printer.StartJob();
    } catch (const EPrinter& e) {
        error = e.Message();
    }
    cupsSetServer(nullptr);
    EXPECT_TRUE(printers.isEmpty());
    EXPECT_EQ(defaultPrinter, -1);
    EXPECT_EQ(printer.SelectedIndex(), -1);
    EXPECT_EQ(error, QStringLiteral("There is no default printer currently selected"));
}

}  // namespace
