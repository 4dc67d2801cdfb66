// Printing benchmarks: reading and writing printer settings through a device
// mode, a three-page job on the recording backend, a three-page job drawn
// into the PDF that CUPS would get (cancelled before it is sent, so no
// server is needed), and asking a CUPS server what its PDF queue offers
// (skipped without one).
#include "platform/printer.h"
#include "platform/printercups.h"
#include "platform/printerrecording.h"
#include "print/printersettings.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <memory>

namespace {

TRecordingPrinterBackend::Printer A4Printer(int dpi) {
    TRecordingPrinterBackend::Printer p;
    TPrinterCaps& c = p.caps;
    c.device = QStringLiteral("Bench");
    const TPrinterMargins margins{635, 1270, 635, 1270};
    c.papers = {{9, 21000, 29700, margins, QStringLiteral("iso_a4_210x297mm")},
                {1, 21590, 27940, margins, QStringLiteral("na_letter_8.5x11in")}};
    c.resolutions = {dpi};
    c.bins = {{DMBIN_AUTO, QStringLiteral("auto")}};
    c.maxCopies = 99;
    c.defaults.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE |
                          DM_PRINTQUALITY | DM_YRESOLUTION;
    c.defaults.dmOrientation = DMORIENT_PORTRAIT;
    c.defaults.dmPaperSize = 9;
    c.defaults.dmCopies = 1;
    c.defaults.dmDefaultSource = DMBIN_AUTO;
    c.defaults.dmPrintQuality = c.defaults.dmYResolution = static_cast<int16_t>(dpi);
    return p;
}

std::shared_ptr<TRecordingPrinterBackend> Install(int dpi) {
    auto backend = std::make_shared<TRecordingPrinterBackend>();
    backend->AddPrinter(A4Printer(dpi));
    backend->SetDefaultPrinter(0);
    SetPrinterBackend(backend);
    return backend;
}

// Text and lines over the printable area, as a report page might have.
void DrawPage(QPainter& canvas, int width, int height, int page) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, height / 60));
    canvas.setFont(font);
    for (int row = 0; row < 40; ++row) {
        const int y = height * (row + 1) / 42;
        canvas.drawText(width / 20, y,
                        QStringLiteral("Page %1, row %2: 12345.67").arg(page).arg(row));
        canvas.drawLine(width / 20, y + 2, width - width / 20, y + 2);
    }
}

void BM_SettingsReadFromDevice(benchmark::State& state) {
    Install(600);
    TPrinter printer;
    TPrinterSettings settings;
    settings.SetDevice(&printer);
    for (auto _ : state)
        settings.ReadFromDevice();
    SetPrinterBackend(nullptr);
}
BENCHMARK(BM_SettingsReadFromDevice);

void BM_SettingsWriteToDevice(benchmark::State& state) {
    Install(600);
    TPrinter printer;
    TPrinterSettings settings;
    settings.SetDevice(&printer);
    settings.SetPaperSize(TQRPaperSize::Letter);
    settings.SetOrientation(poLandscape);
    for (auto _ : state)
        settings.WriteToDevice();
    SetPrinterBackend(nullptr);
}
BENCHMARK(BM_SettingsWriteToDevice);

void BM_RecordingJobThreePages(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    Install(dpi);
    TPrinter printer;
    for (auto _ : state) {
        printer.StartJob();
        for (int page = 1; page <= 3; ++page) {
            if (page > 1) printer.StartNextPage();
            DrawPage(*printer.PageCanvas(), printer.PrintableWidth(), printer.PrintableHeight(),
                     page);
        }
        printer.CancelJob();  // keeps the recorded pages from piling up in memory
    }
    SetPrinterBackend(nullptr);
}
BENCHMARK(BM_RecordingJobThreePages)->Arg(96)->Arg(150)->Unit(benchmark::kMillisecond);

void BM_PdfJobThreePages(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    TPrinterCaps caps = A4Printer(dpi).caps;
    TPrintSetup setup = ResolveDeviceMode(caps, nullptr);
    setup.title = QStringLiteral("Bench");
    TCupsPrinterBackend backend;
    QPainter painter;
    for (auto _ : state) {
        std::unique_ptr<TPrintJob> job = backend.OpenJob(setup);
        job->Begin(painter);
        for (int page = 1; page <= 3; ++page) {
            if (page > 1) job->NextPage(painter);
            DrawPage(painter, setup.printable.width(), setup.printable.height(), page);
        }
        job->Cancel(painter);  // the PDF is complete; only the hand-over is left out
    }
}
BENCHMARK(BM_PdfJobThreePages)->Arg(300)->Arg(1200)->Unit(benchmark::kMillisecond);

void BM_CupsCapabilities(benchmark::State& state) {
    if (!TCupsPrinterBackend().Printers().contains(QStringLiteral("PDF"))) {
        state.SkipWithError("no CUPS server with a PDF queue");
        return;
    }
    for (auto _ : state) {
        TCupsPrinterBackend backend;
        benchmark::DoNotOptimize(backend.Capabilities(QStringLiteral("PDF")));
    }
}
BENCHMARK(BM_CupsCapabilities)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
