// The report printer: measurement, paper recognition, the state machine, the
// notifications, production and printing, on the recording printer backend.
#include "print/reportprinter.h"
#include "platform/emf/header.h"
#include "platform/messages.h"
#include "platform/screen.h"
#include "preview/api/exportfilter.h"
#include "preview/api/previewinterface.h"
#include "print/printersettings.h"
#include "recordingprinters.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTemporaryDir>

namespace {

// A printer that offers every standard paper.
TRecordingPrinterBackend::Printer EveryPaperPrinter() {
    TRecordingPrinterBackend::Printer p = OfficePrinter(QStringLiteral("Every paper"), 300);
    p.caps.papers.clear();
    for (int i = Ord(TQRPaperSize::Letter); i <= Ord(TQRPaperSize::ESheet); ++i) {
        const auto& d = SheetDimensionOf(static_cast<TQRPaperSize>(i));
        p.caps.papers.push_back({static_cast<int16_t>(PaperCodes[i]),
                                 static_cast<int32_t>(d.Width * 100),
                                 static_cast<int32_t>(d.Length * 100),
                                 {},
                                 QStringLiteral("paper-%1").arg(i)});
    }
    p.caps.customPapers = true;
    return p;
}

// A saved report whose pages are blank metafiles of w x h reference pixels.
void WriteBlankReport(const QString& path, int pages, int w, int h) {
    TQRPageList list;
    list.SetPageStream(TQRStream::CreateInMemory(100000));
    const emf::ReferenceDevice ref = emf::ScreenReferenceDevice(96);
    for (int n = 0; n < pages; ++n) {
        PagePicture pic;
        pic.LoadFromBytes(emf::MakeBlankMetafile(emf::FrameForPixels(w, h, ref), ref));
        list.AppendPage(pic);
    }
    list.CompleteList();
    list.CopyToFile(path);
}

// A window that keeps the messages it gets.
class Window : public QObject {
  public:
    QList<std::pair<uint32_t, intptr_t>> got;
    QList<uintptr_t> wParams;
    bool event(QEvent* e) override {
        if (e->type() != TMessageEvent::Type()) return QObject::event(e);
        auto* m = static_cast<TMessageEvent*>(e);
        got.append({m->Msg(), m->LParam()});
        wParams.append(m->WParam());
        return true;
    }
};

class ReportPrinterTest : public RecordingBackendTest {
  protected:
    void SetUp() override {
        RecordingBackendTest::SetUp();
        SetScreenPixelsPerInch(96);
        StartReportModule();
    }
    void TearDown() override {
        StopReportModule();
        RecordingBackendTest::TearDown();
    }
    QString Report(int pages, int w = 794, int h = 1123) {
        QString path = dir_.filePath(QStringLiteral("r%1.qrp").arg(++made_));
        WriteBlankReport(path, pages, w, h);
        return path;
    }
    // Produces pages into page pictures, each with its number drawn large.
    void Produce(TZEZoravoz& r, int pages) {
        r.StartReport();
        for (int n = 1; n <= pages; ++n) {
            r.AddNewPage();
            QPainter* p = r.ReportCanvas();
            ASSERT_NE(p, nullptr);
            p->fillRect(QRect(r.PositionX(100), r.PositionY(100 * n), r.ScaleX(500), r.ScaleY(100)),
                        Qt::black);
        }
    }
    QTemporaryDir dir_;
    int made_ = 0;
};

TEST_F(ReportPrinterTest, MeasuresInReportUnitsWithTiesToEven) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    EXPECT_EQ(r.ScaleX(100.0L), 100);
    EXPECT_EQ(r.ScaleX(2.5L), 2);
    EXPECT_EQ(r.ScaleX(3.5L), 4);
    EXPECT_EQ(r.PositionX(500.0L), 500 - r.MarginLeft());
    r.StartReport();
    EXPECT_EQ(r.ScaleX(2100.0L), 794);
    EXPECT_EQ(r.ScaleX(2540.0L), 960);
    EXPECT_EQ(r.PositionY(254.0L), 96);  // page pictures have no margins
}

TEST_F(ReportPrinterTest, SheetSizeFollowsPaperAndOrientation) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    struct Case {
        TQRPaperSize paper;
        TPrinterOrientation orientation;
        int width, length;
    } cases[] = {
        {TQRPaperSize::A4, poPortrait, 2100, 2970},
        {TQRPaperSize::A4, poLandscape, 2970, 2100},
        {TQRPaperSize::Letter, poPortrait, 2159, 2794},
    };
    for (const Case& c : cases) {
        r.SetPaperSize(c.paper);
        r.SetOrientation(c.orientation);
        EXPECT_EQ(r.SheetWidth(), c.width);
        EXPECT_EQ(r.SheetLength(), c.length);
    }
    r.SetPaperSize(TQRPaperSize::Custom);
    r.SetMediaWidth(1000);
    r.SetMediaLength(1500);
    r.SetOrientation(poLandscape);
    EXPECT_EQ(r.SheetWidth(), 1500);
    EXPECT_EQ(r.SheetLength(), 1000);
}

TEST_F(ReportPrinterTest, RecognisesThePaperOfTheFirstPage) {
    Install({EveryPaperPrinter(), OfficePrinter("A4 and Letter only")});
    struct Case {
        int w, h;
        TQRPaperSize paper;
        TPrinterOrientation orientation;
    } cases[] = {
        {794, 1123, TQRPaperSize::A4Small, poPortrait},
        {1123, 794, TQRPaperSize::A4Small, poLandscape},
        {816, 1056, TQRPaperSize::Note, poPortrait},
        {1632, 1056, TQRPaperSize::qr11X17, poLandscape},
        {378, 378, TQRPaperSize::ESheet, poLandscape},
        {1123, 1587, TQRPaperSize::Letter, poPortrait},  // nothing matches: unchanged
    };
    for (const Case& c : cases) {
        TZEZoravoz r;
        r.SetPaperSize(TQRPaperSize::Letter);
        r.LoadReportFile(Report(2, c.w, c.h));
        EXPECT_EQ(r.PaperSize(), c.paper) << c.w << "x" << c.h;
        EXPECT_EQ(r.Orientation(), c.orientation) << c.w << "x" << c.h;
        EXPECT_EQ(r.ReportState(), rsFinished);
        EXPECT_EQ(r.PageTotal(), 2);
        EXPECT_TRUE(r.LoadedFromFile());
    }
    // A printer without A4 Small keeps A4.
    TZEZoravoz r;
    r.SelectPrinter(1);
    r.LoadReportFile(Report(1, 794, 1123));
    EXPECT_EQ(r.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(r.Orientation(), poPortrait);
}

TEST_F(ReportPrinterTest, LoadingReplacesPagesAndClearsHooks) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    const QString first = Report(3);
    r.LoadReportFile(first);
    EXPECT_TRUE(IsFileHeldOpen(first));
    int calls = 0;
    r.OnExportHook = [&](TQRExportFilterBase*) { ++calls; };
    r.OnPrintSetupHook = [&](QObject*) { ++calls; };
    r.LoadReportFile(Report(0));
    EXPECT_FALSE(IsFileHeldOpen(first)) << "the old file is closed";
    EXPECT_EQ(r.PageTotal(), 0);
    EXPECT_EQ(r.ReportState(), rsFinished);
    TQRExportFilterBase filter("x");
    r.RunExportFilter(&filter);
    r.ShowPrinterSetup(nullptr);
    EXPECT_EQ(calls, 0);

    // A failed load leaves no pages.
    EXPECT_EQ(ErrorOf([&] { r.LoadReportFile(dir_.filePath("missing.qrp")); }),
              "Cannot open file " + dir_.filePath("missing.qrp"));
    EXPECT_EQ(r.ReportState(), rsReady);
    EXPECT_EQ(r.FetchPage(1), nullptr);
}

TEST_F(ReportPrinterTest, StateMachineRefusesCallsOutOfTurn) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    EXPECT_EQ(ErrorOf([&] { r.AddNewPage(); }), "Illegal call to NewPage");
    r.FinishReport();
    EXPECT_EQ(r.ReportState(), rsReady);
    Produce(r, 2);
    r.FinishReport();
    EXPECT_EQ(r.ReadyPageCount(), 2);
    EXPECT_EQ(ErrorOf([&] { r.StartReport(); }), "ZEZoravoz not ready");
    EXPECT_EQ(r.ReadyPageCount(), 0);
    EXPECT_EQ(r.ReportState(), rsFinished);
    EXPECT_EQ(ErrorOf([&] { r.AddNewPage(); }), "Illegal call to NewPage");
    EXPECT_EQ(r.FetchPage(0), nullptr);
    EXPECT_EQ(r.FetchPage(3), nullptr);
    EXPECT_NE(r.FetchPage(2), nullptr);
    r.DiscardPages();
    EXPECT_EQ(r.ReportState(), rsReady);
    EXPECT_EQ(r.FetchPage(1), nullptr);
    r.StartReport();  // ready again
    EXPECT_EQ(r.ReportState(), rsBusy);
}

TEST_F(ReportPrinterTest, ProductionPostsPageReadyAndBuildsASavedReport) {
    Install({EveryPaperPrinter()});
    Window w;
    TZEZoravoz r;
    r.SetNotifyWindow(&w);
    Produce(r, 3);
    r.FinishReport();
    QCoreApplication::processEvents();
    ASSERT_EQ(w.got.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(w.got[i].first, CM_PAGEREADY);
        EXPECT_EQ(w.wParams[i], uintptr_t(i + 1));
    }
    r.SetProgressPercent(40);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.got.last().first, CM_PROGRESSCHANGED);
    EXPECT_EQ(w.wParams.last(), 40u);

    const QString path = dir_.filePath("produced.qrp");
    r.SaveReportFile(path);
    TZEZoravoz loaded;
    loaded.LoadReportFile(path);
    ASSERT_EQ(loaded.PageTotal(), 3);
    EXPECT_EQ(loaded.PaperSize(), TQRPaperSize::A4Small);  // 794 x 1123 pages
    // Page 2's block is where it was drawn: 20 mm down, 10 mm in.
    std::unique_ptr<PagePicture> page = loaded.FetchPage(2);
    QImage img(794, 1123, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    page->Draw(p, QRectF(0, 0, 794, 1123));
    p.end();
    EXPECT_EQ(qGray(img.pixel(60, 85)), 0);
    EXPECT_EQ(qGray(img.pixel(60, 30)), 255);
}

TEST_F(ReportPrinterTest, AbortKeepsThePageInProductionAndTheRealCount) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    Produce(r, 4);
    r.AbortReport();
    EXPECT_EQ(r.ReportState(), rsFinished);
    const QString path = dir_.filePath("aborted.qrp");
    r.SaveReportFile(path);
    TQRPageList list;
    list.OpenFile(path);
    EXPECT_EQ(list.NumPages(), 4);
}

TEST_F(ReportPrinterTest, SavingOutsideTheFinishedStateWritesNothing) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    const QString path = dir_.filePath("never.qrp");
    r.SaveReportFile(path);
    Produce(r, 1);
    r.SaveReportFile(path);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ReportPrinterTest, PrintsEachPageStretchedToThePrintableArea) {
    Install({EveryPaperPrinter()});
    struct Case {
        int from, to;
        QStringList calls;
        int drawnPages;
    } cases[] = {
        {0, 0, {"StartJob T", "StartNextPage", "StartNextPage", "EndJob"}, 3},
        {2, 0, {"StartJob T", "StartNextPage", "EndJob"}, 2},
        {0,
         5,
         {"StartJob T", "StartNextPage", "StartNextPage", "StartNextPage", "StartNextPage",
          "EndJob"},
         5},
        {3, 2, {"StartJob T", "EndJob"}, 1},
    };
    const QString path = Report(3);
    for (const Case& c : cases) {
        Backend().ClearCalls();
        TZEZoravoz r;
        r.LoadReportFile(path);
        r.SetDocumentTitle("T");
        r.SetFromPage(c.from);
        r.SetToPage(c.to);
        r.PrintReport();
        EXPECT_EQ(Backend().Calls(), c.calls) << c.from << "-" << c.to;
        EXPECT_EQ(int(Backend().Jobs().back().pages.size()), c.drawnPages);
        EXPECT_FALSE(r.PrinterDevice().IsPrinting());
    }
    // A cancel already requested: the first page, then the job is abandoned.
    Backend().ClearCalls();
    TZEZoravoz r;
    r.LoadReportFile(path);
    r.SetDocumentTitle("T");
    r.RequestCancel();
    r.PrintReport();
    EXPECT_EQ(Backend().Calls(), QStringList({"StartJob T", "StartNextPage", "CancelJob"}));
    EXPECT_EQ(Backend().Jobs().back().state, TRecordingPrinterBackend::JobState::Cancelled);
}

TEST_F(ReportPrinterTest, PrintedPageShowsTheRecordedDrawing) {
    Install({EveryPaperPrinter()});
    TZEZoravoz producer;
    Produce(producer, 1);
    producer.FinishReport();
    const QString path = dir_.filePath("one.qrp");
    producer.SaveReportFile(path);

    TZEZoravoz r;
    r.LoadReportFile(path);
    r.PrintReport();
    const QImage& page = Backend().Jobs().back().pages.at(0);
    // The block at 10-60 mm across, 10-20 mm down, on a 300 dpi printable area
    // that starts at the sheet's margins.
    const double sx = page.width() / 2100.0, sy = page.height() / 2970.0;
    EXPECT_LT(qGray(page.pixel(int(350 * sx), int(150 * sy))), 60);
    EXPECT_GT(qGray(page.pixel(int(350 * sx), int(400 * sy))), 200);
}

TEST_F(ReportPrinterTest, ProductionToThePrinterSendsOnlyTheRange) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    r.SetOutputTarget(otPrinter);
    r.SetFromPage(2);
    r.SetToPage(3);
    r.SetDocumentTitle("Range");
    int hooked = 0;
    r.AfterPrintHook = [&](TZEZoravoz*) { ++hooked; };
    r.StartReport();
    for (int n = 1; n <= 5; ++n) {
        r.AddNewPage();
        ASSERT_NE(r.ReportCanvas(), nullptr);
        r.ReportCanvas()->drawLine(0, 0, 10, 10);
    }
    r.FinishReport();
    EXPECT_EQ(Backend().Calls(),
              QStringList({"StartJob Range", "StartNextPage", "StartPage", "EndJob"}));
    EXPECT_EQ(Backend().Jobs().back().pages.size(), 2u);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(r.ReportState(), rsFinished);
}

TEST_F(ReportPrinterTest, WithoutPrintersNothingPrints) {
    TZEZoravoz r;
    EXPECT_FALSE(r.HasPrinters());
    r.LoadReportFile(Report(2, 1123, 794));
    EXPECT_EQ(r.PaperSize(), TQRPaperSize::A4);  // no write is accepted
    EXPECT_EQ(r.Orientation(), poPortrait);
    r.PrintReport();
    EXPECT_TRUE(Backend().Calls().isEmpty());
}

TEST_F(ReportPrinterTest, MasterControlGetsPrintRequestAndPreviewClosed) {
    Install({EveryPaperPrinter()});
    Window master;
    TZEZoravoz r;
    Produce(r, 1);
    r.FinishReport();
    r.SetMasterControl(&master);
    r.PrintReport();
    EXPECT_TRUE(Backend().Calls().isEmpty());
    r.DismissPreview(nullptr);  // sent: handled before the call returns
    ASSERT_EQ(master.got.size(), 1);
    EXPECT_EQ(master.got[0], std::make_pair(CM_PREVIEWCLOSED, reinterpret_cast<intptr_t>(&r)));
    QCoreApplication::processEvents();
    EXPECT_EQ(master.got.last().first, CM_PRINTREQUEST);
}

TEST_F(ReportPrinterTest, PreviewShowingCancelsProductionAndCallsTheHook) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    int hooked = 0;
    r.AfterPreviewHook = [&](TZEZoravoz*) { ++hooked; };
    r.SetPreviewShowing(false);
    EXPECT_EQ(hooked, 0);
    Produce(r, 1);
    r.SetPreviewShowing(true);
    r.SetPreviewShowing(false);
    EXPECT_TRUE(r.CancelRequested());
    EXPECT_EQ(hooked, 1);
}

TEST_F(ReportPrinterTest, ShowPreviewUsesTheHookOrTheFactory) {
    Install({EveryPaperPrinter()});
    TZEZoravoz r;
    static int made = 0;
    struct Counting : TQRPreviewInterface {
        Counting() { ++made; }
    };
    PreviewInterfaceClass = PreviewClassOf<Counting>();
    int hooked = 0;
    r.OnPreviewHook = [&](TZEZoravoz*) { ++hooked; };
    r.ShowPreview();
    EXPECT_EQ(made, 0);
    EXPECT_EQ(hooked, 1);
    r.OnPreviewHook = nullptr;
    r.ShowPreview();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(r.PreviewWindow(), nullptr);  // the base factory opens no window
}

TEST_F(ReportPrinterTest, ModuleStartMakesAnEmptyFilterLibrary) {
    ASSERT_NE(ExportFilterLibrary, nullptr);
    EXPECT_TRUE(ExportFilterLibrary->Filters().empty());
    EXPECT_FALSE(PaperCaptions[Ord(TQRPaperSize::A4)].isEmpty());
    StopReportModule();
    EXPECT_EQ(ExportFilterLibrary, nullptr);
    StartReportModule();
}

}  // namespace
