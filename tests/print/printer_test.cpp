// The printer device on the recording backend: reading a device mode against
// a printer, the device calls and their errors, selection and device modes,
// and the exact call sequence and pages of a job.
#include "platform/printer.h"
#include "platform/errors.h"
#include "recordingprinters.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

TEST(DevicePaperCode, RecognisesSheetsBySize) {
    const struct {
        int32_t width, length;
        int16_t code;
    } cases[] = {
        {21000, 29700, 9},   // A4, not A4 Small
        {21590, 27940, 1},   // Letter, not Letter Small or Note
        {27940, 43180, 3},   // 11 x 17 in upright is Tabloid
        {43180, 27940, 4},   // 17 x 11 in is Ledger
        {14852, 20990, 11},  // A5 as a driver rounds it through points
        {18203, 25718, 13},  // JIS B5
        {10478, 24130, 20},  // Envelope #10
        {12065, 27940, 22},  // Envelope #12 is 4 3/4 in wide
        {43180, 55880, 24},  // C sheet 17 x 22 in
        {21150, 29700, 0},   // 1.5 mm off A4
        {40640, 50800, 0},   // 16 x 20 in has no code
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(c.width).arg(c.length).toStdString());
        EXPECT_EQ(DevicePaperCodeForSize(c.width, c.length), c.code);
    }
}

// One device-mode variation and what a job on the office printer gets from it.
struct ResolveCase {
    const char* name;
    std::function<void(TDeviceMode&)> change;
    int16_t paperCode;
    bool landscape;
    int copies;
    int duplex;
    const char* bin;
    int dpi;
    QRect printable;  // at the resulting dpi
};

TEST(ResolveDeviceMode, ReadsTheModeAgainstThePrinter) {
    TPrinterCaps caps = OfficePrinter(QStringLiteral("Office")).caps;
    caps.customPapers = true;
    // A4 at 600 dpi: 4961 x 7016 pixels; margins of 150 (1/4 in) and 300 (1/2 in).
    const QRect a4(150, 300, 4661, 6416);
    const ResolveCase cases[] = {
        {"driver defaults", [](TDeviceMode&) {}, 9, false, 1, DMDUP_SIMPLEX, "auto", 600, a4},
        {"landscape turns sheet and margins", [](TDeviceMode& m) { m.dmOrientation = 2; }, 9, true,
         1, DMDUP_SIMPLEX, "auto", 600, QRect(300, 150, 6416, 4661)},
        {"letter", [](TDeviceMode& m) { m.dmPaperSize = 1; }, 1, false, 1, DMDUP_SIMPLEX, "auto",
         600, QRect(150, 300, 5100 - 300, 6600 - 600)},
        {"unlisted paper code falls back to the default paper",
         [](TDeviceMode& m) { m.dmPaperSize = 11; }, 9, false, 1, DMDUP_SIMPLEX, "auto", 600, a4},
        {"custom sheet",
         [](TDeviceMode& m) {
             m.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
             m.dmPaperSize = DMPAPER_USER;
             m.dmPaperWidth = 1270;   // 5 in
             m.dmPaperLength = 2540;  // 10 in
         },
         DMPAPER_USER, false, 1, DMDUP_SIMPLEX, "auto", 600,
         QRect(150, 300, 3000 - 300, 6000 - 600)},
        {"custom dimensions do not override a listed paper",
         [](TDeviceMode& m) {
             m.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
             m.dmPaperWidth = 1270;
             m.dmPaperLength = 2540;
         },
         9, false, 1, DMDUP_SIMPLEX, "auto", 600, a4},
        {"copies clamp to the driver's range", [](TDeviceMode& m) { m.dmCopies = 500; }, 9, false,
         99, DMDUP_SIMPLEX, "auto", 600, a4},
        {"no copies below one", [](TDeviceMode& m) { m.dmCopies = -3; }, 9, false, 1, DMDUP_SIMPLEX,
         "auto", 600, a4},
        {"copies count only with DM_COPIES",
         [](TDeviceMode& m) {
             m.dmCopies = 5;
             m.dmFields &= ~DM_COPIES;
         },
         9, false, 1, DMDUP_SIMPLEX, "auto", 600, a4},
        {"short-edge duplex", [](TDeviceMode& m) { m.dmDuplex = 3; }, 9, false, 1, DMDUP_HORIZONTAL,
         "auto", 600, a4},
        {"driver bin", [](TDeviceMode& m) { m.dmDefaultSource = 257; }, 9, false, 1, DMDUP_SIMPLEX,
         "tray-1", 600, a4},
        {"unknown bin leaves the choice to the printer",
         [](TDeviceMode& m) { m.dmDefaultSource = 14; }, 9, false, 1, DMDUP_SIMPLEX, "", 600, a4},
        {"listed lower resolution",
         [](TDeviceMode& m) { m.dmPrintQuality = m.dmYResolution = 300; }, 9, false, 1,
         DMDUP_SIMPLEX, "auto", 300, QRect(75, 150, 2480 - 150, 3508 - 300)},
        {"unlisted resolution keeps the default",
         [](TDeviceMode& m) { m.dmPrintQuality = m.dmYResolution = 1200; }, 9, false, 1,
         DMDUP_SIMPLEX, "auto", 600, a4},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        TDeviceMode mode = caps.defaults;
        c.change(mode);
        TPrintSetup s = ResolveDeviceMode(caps, &mode);
        EXPECT_EQ(s.paper.code, c.paperCode);
        EXPECT_EQ(s.landscape, c.landscape);
        EXPECT_EQ(s.copies, c.copies);
        EXPECT_EQ(s.duplex, c.duplex);
        EXPECT_EQ(s.bin, QString::fromLatin1(c.bin));
        EXPECT_EQ(s.dpiX, c.dpi);
        EXPECT_EQ(s.dpiY, c.dpi);
        EXPECT_EQ(s.printable, c.printable);
        EXPECT_EQ(s.printer, QStringLiteral("Office"));
    }
}

TEST(ResolveDeviceMode, PrinterWithoutCustomSizesOrDuplex) {
    TPrinterCaps caps = OfficePrinter(QStringLiteral("Office")).caps;
    caps.duplex = false;
    TDeviceMode mode = caps.defaults;
    mode.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
    mode.dmPaperSize = DMPAPER_USER;
    mode.dmPaperWidth = 1000;
    mode.dmPaperLength = 1000;
    mode.dmDuplex = DMDUP_VERTICAL;
    TPrintSetup s = ResolveDeviceMode(caps, &mode);
    EXPECT_EQ(s.paper.code, 9);
    EXPECT_EQ(s.duplex, DMDUP_SIMPLEX);
    EXPECT_EQ(s.sheet, QSize(4961, 7016));
}

using PrinterDevice = RecordingBackendTest;

TEST_F(PrinterDevice, SelectionAndItsErrors) {
    Install({OfficePrinter(QStringLiteral("A")), OfficePrinter(QStringLiteral("B"))});
    Backend().SetDefaultPrinter(1);
    TPrinter printer;
    EXPECT_EQ(printer.PrinterList(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(printer.SelectedIndex(), 1);  // the default until one is chosen
    printer.SetSelectedIndex(0);
    EXPECT_EQ(printer.SelectedIndex(), 0);
    printer.SetSelectedIndex(-1);
    EXPECT_EQ(printer.SelectedIndex(), 1);
    for (int bad : {2, -2, 100}) {
        EXPECT_EQ(ErrorOf([&] { printer.SetSelectedIndex(bad); }),
                  QStringLiteral("Printer index out of range"));
    }
    EXPECT_EQ(printer.SelectedIndex(), 1);

    printer.StartJob();
    EXPECT_EQ(ErrorOf([&] { printer.SetSelectedIndex(0); }),
              QStringLiteral("Printing in progress"));
    EXPECT_EQ(ErrorOf([&] { printer.StartJob(); }), QStringLiteral("Printing in progress"));
    printer.EndJob();
    for (auto call : {&TPrinter::StartNextPage, &TPrinter::EndJob, &TPrinter::CancelJob}) {
        EXPECT_EQ(ErrorOf([&] { (printer.*call)(); }),
                  QStringLiteral("Printer is not currently printing"));
    }
    EXPECT_EQ(StartPage(printer.DeviceContext()), SP_ERROR);
}

TEST_F(PrinterDevice, NoPrinters) {
    TPrinter printer;
    EXPECT_TRUE(printer.PrinterList().isEmpty());
    EXPECT_EQ(printer.SelectedIndex(), -1);
    QString device = QStringLiteral("x"), driver = QStringLiteral("x"), port = QStringLiteral("x");
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    EXPECT_TRUE(device.isEmpty() && driver.isEmpty() && port.isEmpty());
    EXPECT_FALSE(mode);
    for (int index : {LOGPIXELSX, PHYSICALWIDTH, HORZRES})
        EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), index), 0);
    EXPECT_EQ(ErrorOf([&] { printer.StartJob(); }),
              QStringLiteral("There is no default printer currently selected"));
    EXPECT_FALSE(printer.IsPrinting());
    EXPECT_EQ(DeviceCapabilities(QStringLiteral("A"), QString(), DC_PAPERS, {}, nullptr), -1);
}

TEST_F(PrinterDevice, DeviceModeHandles) {
    Install({OfficePrinter(QStringLiteral("A")), OfficePrinter(QStringLiteral("B"), 300)});
    TPrinter printer;
    QString device, driver, port;
    HDEVMODE first, again;
    printer.GetDevice(device, driver, port, first);
    ASSERT_TRUE(first);
    EXPECT_EQ(device, QStringLiteral("A"));
    EXPECT_EQ(driver, QStringLiteral("Office Laser"));
    EXPECT_EQ(port, QStringLiteral("socket://office"));
    EXPECT_EQ(first->mode, Backend().PrinterAt(0).caps.defaults);
    printer.GetDevice(device, driver, port, again);
    EXPECT_EQ(first, again);  // the printer keeps one device mode

    // Edits to the mode show in the device context.
    TDeviceMode* m = LockDeviceMode(first);
    m->dmOrientation = DMORIENT_LANDSCAPE;
    UnlockDeviceMode(first);
    EXPECT_EQ(first->locks, 0);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), PHYSICALWIDTH), 7016);

    // An empty handle brings the driver's defaults back.
    printer.SetDevice(device, driver, port, HDEVMODE());
    printer.GetDevice(device, driver, port, again);
    ASSERT_TRUE(again);
    EXPECT_NE(first, again);
    EXPECT_EQ(again->mode.dmOrientation, DMORIENT_PORTRAIT);

    // Naming another printer selects it.
    printer.SetDevice(QStringLiteral("B"), QString(), QString(), HDEVMODE());
    EXPECT_EQ(printer.SelectedIndex(), 1);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), LOGPIXELSX), 300);
    EXPECT_EQ(ErrorOf([&] { printer.SetDevice(QStringLiteral("C"), driver, port, again); }),
              QStringLiteral("Printer selected is not valid"));

    // A change of selection drops the device mode.
    printer.SetSelectedIndex(0);
    HDEVMODE fresh;
    printer.GetDevice(device, driver, port, fresh);
    EXPECT_EQ(device, QStringLiteral("A"));
    EXPECT_EQ(fresh->mode.dmPrintQuality, 600);
}

TEST_F(PrinterDevice, DriverWithoutDeviceModeAtFirst) {
    auto p = OfficePrinter(QStringLiteral("A"));
    p.emptyModeAnswers = 1;
    Install({p});
    TPrinter printer;
    QString device, driver, port;
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    EXPECT_EQ(device, QStringLiteral("A"));
    EXPECT_FALSE(mode);
    // The device context answers from the driver's defaults meanwhile.
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), LOGPIXELSY), 600);
    printer.GetDevice(device, driver, port, mode);
    EXPECT_TRUE(mode);
}

TEST_F(PrinterDevice, DeviceCapsAndPapers) {
    auto p = OfficePrinter(QStringLiteral("A"));
    p.caps.papers.push_back({300, 20000, 20000, {}, QStringLiteral("square")});
    p.caps.customPapers = true;
    Install({p});
    TPrinter printer;
    const HDC dc = printer.DeviceContext();
    const struct {
        int index, value;
    } caps[] = {
        {LOGPIXELSX, 600},
        {LOGPIXELSY, 600},
        {PHYSICALWIDTH, 4961},
        {PHYSICALHEIGHT, 7016},
        {PHYSICALOFFSETX, 150},
        {PHYSICALOFFSETY, 300},
        {HORZRES, 4661},
        {VERTRES, 6416},
        {HORZSIZE, 197},
        {VERTSIZE, 272},
        {12345, 0},
    };
    for (const auto& c : caps) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(GetDeviceCaps(dc, c.index), c.value);
    }
    EXPECT_EQ(printer.PrintableWidth(), 4661);
    EXPECT_EQ(printer.PrintableHeight(), 6416);

    const QString name = QStringLiteral("A");
    EXPECT_EQ(DeviceCapabilities(name, QString(), DC_PAPERS, {}, nullptr), 4);
    std::vector<uint16_t> codes(4, 0);
    EXPECT_EQ(DeviceCapabilities(name, QString(), DC_PAPERS, codes, nullptr), 4);
    EXPECT_EQ(codes, (std::vector<uint16_t>{9, 1, 300, 256}));
    std::vector<uint16_t> shortList(2, 0xFFFF);
    EXPECT_EQ(DeviceCapabilities(name, QString(), DC_PAPERS, shortList, nullptr), 4);
    EXPECT_EQ(shortList, (std::vector<uint16_t>{9, 1}));
    EXPECT_EQ(DeviceCapabilities(QStringLiteral("nobody"), QString(), DC_PAPERS, {}, nullptr), -1);
    EXPECT_EQ(DeviceCapabilities(name, QString(), 3, {}, nullptr), -1);
}

TEST_F(PrinterDevice, ZeroDotsPerInchIsADeviceFailure) {
    auto p = OfficePrinter(QStringLiteral("Broken"));
    p.caps.resolutions.clear();
    p.caps.defaults.dmPrintQuality = 0;
    p.caps.defaults.dmYResolution = 0;
    Install({p});
    TPrinter printer;
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), LOGPIXELSX), 0);
    EXPECT_EQ(GetDeviceCaps(printer.DeviceContext(), HORZSIZE), 0);
    EXPECT_EQ(ErrorOf([&] { printer.StartJob(); }),
              QStringLiteral("Printer \"Broken\" reports a resolution of 0 x 0 dots per inch"));
    EXPECT_FALSE(printer.IsPrinting());
    EXPECT_TRUE(Backend().Jobs().empty());
}

// Fills a 10-pixel square at the canvas origin in the page's own colour.
void MarkPage(QPainter& canvas, const QColor& color) {
    canvas.fillRect(0, 0, 10, 10, color);
}

TEST_F(PrinterDevice, ThreePageJob) {
    Install({OfficePrinter(QStringLiteral("Office"), 40)});
    TPrinter printer;
    QString device, driver, port;
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    mode->mode.dmOrientation = DMORIENT_LANDSCAPE;
    mode->mode.dmCopies = 2;
    mode->mode.dmDefaultSource = 257;

    printer.SetJobTitle(QStringLiteral("Quarterly"));
    printer.StartJob();
    ASSERT_TRUE(printer.IsPrinting());
    ASSERT_NE(printer.PageCanvas(), nullptr);
    EXPECT_EQ(StartPage(printer.DeviceContext()), 1);  // page 1 is already open
    const QColor colors[] = {Qt::red, Qt::green, Qt::blue};
    printer.PageCanvas()->setPen(QPen(Qt::magenta, 3));
    for (int page = 0; page < 3; ++page) {
        if (page > 0) printer.StartNextPage();
        EXPECT_EQ(printer.PageNumber(), page + 1);
        EXPECT_EQ(printer.PageCanvas()->pen().color(), QColor(Qt::magenta));  // tools carry over
        MarkPage(*printer.PageCanvas(), colors[page]);
    }
    printer.EndJob();
    EXPECT_FALSE(printer.IsPrinting());
    EXPECT_EQ(printer.PageCanvas(), nullptr);

    EXPECT_EQ(Backend().Calls(),
              QStringList({QStringLiteral("StartJob Quarterly"), QStringLiteral("StartPage"),
                           QStringLiteral("StartNextPage"), QStringLiteral("StartNextPage"),
                           QStringLiteral("EndJob")}));
    ASSERT_EQ(Backend().Jobs().size(), 1u);
    const auto& job = Backend().Jobs()[0];
    EXPECT_EQ(job.state, TRecordingPrinterBackend::JobState::Ended);
    EXPECT_EQ(job.setup.title, QStringLiteral("Quarterly"));
    EXPECT_TRUE(job.setup.landscape);
    EXPECT_EQ(job.setup.copies, 2);
    EXPECT_EQ(job.setup.bin, QStringLiteral("tray-1"));
    ASSERT_EQ(job.pages.size(), 3u);
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        const QImage& img = job.pages[page];
        // Landscape A4 at 40 dpi, less the margins.
        EXPECT_EQ(img.size(), QSize(468 - 40, 331 - 20));
        EXPECT_EQ(img.pixelColor(0, 0), colors[page]);
        EXPECT_EQ(img.pixelColor(9, 9), colors[page]);
        EXPECT_EQ(img.pixelColor(10, 10), QColor(Qt::white));
    }
}

TEST_F(PrinterDevice, CancelledJobPrintsNothing) {
    Install({OfficePrinter(QStringLiteral("Office"), 40)});
    TPrinter printer;
    printer.SetJobTitle(QStringLiteral("Draft"));
    printer.StartJob();
    MarkPage(*printer.PageCanvas(), Qt::red);
    printer.CancelJob();
    EXPECT_FALSE(printer.IsPrinting());
    EXPECT_EQ(Backend().Calls(),
              QStringList({QStringLiteral("StartJob Draft"), QStringLiteral("CancelJob")}));
    EXPECT_EQ(Backend().Jobs().at(0).state, TRecordingPrinterBackend::JobState::Cancelled);

    // A printer destroyed with a job open abandons it.
    {
        TPrinter other;
        other.StartJob();
    }
    EXPECT_EQ(Backend().Jobs().at(1).state, TRecordingPrinterBackend::JobState::Cancelled);
    EXPECT_EQ(Backend().Calls().last(), QStringLiteral("CancelJob"));
}

TEST_F(PrinterDevice, JobGeometryStaysFixedWhilePrinting) {
    Install({OfficePrinter(QStringLiteral("Office"), 40)});
    TPrinter printer;
    QString device, driver, port;
    HDEVMODE mode;
    printer.GetDevice(device, driver, port, mode);
    printer.StartJob();
    const int width = printer.PrintableWidth();
    mode->mode.dmOrientation = DMORIENT_LANDSCAPE;  // edited mid-job: for the next job
    EXPECT_EQ(printer.PrintableWidth(), width);
    EXPECT_EQ(printer.PageCanvas()->device()->width(), width);
    printer.EndJob();
    EXPECT_NE(printer.PrintableWidth(), width);
}

TEST_F(PrinterDevice, SharedPrinterFollowsTheBackend) {
    Install({OfficePrinter(QStringLiteral("Shared"))});
    EXPECT_EQ(SharedPrinter().PrinterList(), QStringList{QStringLiteral("Shared")});
    auto other = std::make_shared<TRecordingPrinterBackend>();
    SetPrinterBackend(other);
    EXPECT_TRUE(SharedPrinter().PrinterList().isEmpty());
}

}  // namespace
