// The report printer at work: pages produced into a page list per second,
// with the memory they take once the page stream has spilled to its file;
// and a saved report printed to a CUPS queue, pages per second.
#include "platform/printer.h"
#include "platform/printercups.h"
#include "platform/printerrecording.h"
#include "platform/screen.h"
#include "print/papers.h"
#include "print/reportprinter.h"
#include "storage/pagelist.h"
#include "storage/qrstream.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace {

// Resident memory of this process in kB.
long ResidentKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

std::shared_ptr<TRecordingPrinterBackend> A4Printer() {
    TRecordingPrinterBackend::Printer p;
    p.caps.device = "Bench";
    p.caps.papers = {{9, 21000, 29700, {}, "iso_a4_210x297mm"}};
    p.caps.resolutions = {300};
    p.caps.defaults.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_PRINTQUALITY | DM_YRESOLUTION;
    p.caps.defaults.dmPaperSize = 9;
    p.caps.defaults.dmOrientation = DMORIENT_PORTRAIT;
    p.caps.defaults.dmPrintQuality = 300;
    p.caps.defaults.dmYResolution = 300;
    auto b = std::make_shared<TRecordingPrinterBackend>();
    b->AddPrinter(p);
    b->SetDefaultPrinter(0);
    return b;
}

// A page like a list report: a title, 40 lines of text, rules.
void DrawListPage(TZEZoravoz& r, int page) {
    QPainter& p = *r.ReportCanvas();
    QFont f("Liberation Sans");
    f.setPixelSize(r.ScaleY(35));
    p.setFont(f);
    p.drawText(r.PositionX(150), r.PositionY(150), QStringLiteral("Ledger, page %1").arg(page));
    f.setPixelSize(r.ScaleY(28));
    p.setFont(f);
    for (int line = 0; line < 40; ++line) {
        const int y = r.PositionY(300 + line * 60);
        p.drawText(r.PositionX(150), y,
                   QStringLiteral("%1  entry %2  account %3  %4")
                       .arg(page * 40 + line, 6)
                       .arg(line)
                       .arg(1000 + line * 7)
                       .arg((page * 7919 + line) % 100000 / 100.0, 0, 'f', 2));
        p.drawLine(r.PositionX(150), y + 4, r.PositionX(1950), y + 4);
    }
}

// Pages produced per second; the counters give the memory after the run
// against the memory after its first 50 pages, and whether it spilled.
void BM_ProducePages(benchmark::State& state) {
    const int pages = static_cast<int>(state.range(0));
    long rssAt50 = 0, rssAtEnd = 0;
    bool spilled = false;
    for (auto _ : state) {
        TZEZoravoz r;
        r.StartReport();
        for (int n = 1; n <= pages; ++n) {
            r.AddNewPage();
            DrawListPage(r, n);
            if (n == 50) rssAt50 = ResidentKb();
        }
        r.FinishReport();
        rssAtEnd = ResidentKb();
        spilled = !r.PageStream()->InMemory();
        state.counters["page_stream_memory_bytes"] = r.PageStream()->MemoryInUse();
    }
    state.SetItemsProcessed(state.iterations() * pages);
    state.counters["pages_per_s"] =
        benchmark::Counter(double(pages) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["rss_kb_after_50_pages"] = rssAt50;
    state.counters["rss_kb_at_end"] = rssAtEnd;
    state.counters["spilled"] = spilled;
}
BENCHMARK(BM_ProducePages)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A saved report of 20 list pages printed to the CUPS queue named by
// VORLAXA_BENCH_QUEUE (default PDF): until the job is handed to CUPS.
void BM_PrintToCups(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.qrp");
    {
        SetPrinterBackend(A4Printer());
        TZEZoravoz r;
        r.StartReport();
        for (int n = 1; n <= 20; ++n) {
            r.AddNewPage();
            DrawListPage(r, n);
        }
        r.FinishReport();
        r.SaveReportFile(path);
    }
    SetPrinterBackend(std::make_shared<TCupsPrinterBackend>());
    const QString queue = qEnvironmentVariableIsSet("VORLAXA_BENCH_QUEUE")
                              ? qEnvironmentVariable("VORLAXA_BENCH_QUEUE")
                              : QStringLiteral("PDF");
    TZEZoravoz r;
    const int index = r.PrinterDevice().PrinterList().indexOf(queue);
    if (index < 0) {
        state.SkipWithError("no such CUPS queue (run tools/cups-setup.sh)");
        SetPrinterBackend(A4Printer());
        return;
    }
    r.SelectPrinter(index);
    r.LoadReportFile(path);
    int job = 0;
    for (auto _ : state) {
        r.SetDocumentTitle(QStringLiteral("VorlaxaBench%1").arg(++job));
        r.PrintReport();
    }
    state.counters["pages_per_s"] =
        benchmark::Counter(20.0 * state.iterations(), benchmark::Counter::kIsRate);
    SetPrinterBackend(A4Printer());
}
BENCHMARK(BM_PrintToCups)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SetScreenPixelsPerInch(96);
    SetPrinterBackend(A4Printer());
    StartReportModule();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    StopReportModule();
    SetPrinterBackend(nullptr);
    return 0;
}
