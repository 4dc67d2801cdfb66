// The EMF player: pages per second playing the corpus onto an image at 96
// and at 300 dpi, parsing alone, and a report-like page drawn directly with
// QPainter against the same page recorded as a metafile and played.
#include "platform/emf/picture.h"
#include "platform/emf/recorder.h"
#include "platform/screen.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Page {
    QByteArray bytes;
    std::unique_ptr<emf::Picture> picture;
    QSizeF mm;  // physical size
};

// The corpus pages of at most A3 size: report pages, not posters.
std::vector<Page>& CorpusPages() {
    static std::vector<Page> pages = [] {
        std::vector<Page> out;
        QDir dir(QStringLiteral(VORLAXA_CORPUS_DIR "/emf"));
        for (const QString& name : dir.entryList({QStringLiteral("*.emf")}, QDir::Files)) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            Page p;
            p.bytes = f.readAll();
            try {
                p.picture = std::make_unique<emf::Picture>(p.bytes);
            } catch (...) {
                continue;
            }
            const emf::Header& h = p.picture->GetHeader();
            const QRectF frame = p.picture->Frame();
            p.mm = QSizeF(frame.width() * h.deviceMmX / h.devicePxX,
                          frame.height() * h.deviceMmY / h.devicePxY);
            if (p.mm.width() > 0 && p.mm.height() > 0 && p.mm.width() <= 420 &&
                p.mm.height() <= 420)
                out.push_back(std::move(p));
        }
        return out;
    }();
    return pages;
}

QSize PixelsAt(const QSizeF& mm, int dpi) {
    return QSize(std::max(1, int(std::lround(mm.width() / 25.4 * dpi))),
                 std::max(1, int(std::lround(mm.height() / 25.4 * dpi))));
}

void BM_PlayCorpus(benchmark::State& state) {
    const int dpi = int(state.range(0));
    std::vector<Page>& pages = CorpusPages();
    if (pages.empty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    std::vector<QImage> images;
    // The images are made and touched once before timing: only drawing
    // (clearing included) is measured, not the memory's first use.
    for (const Page& p : pages) {
        images.emplace_back(PixelsAt(p.mm, dpi), QImage::Format_RGB32);
        images.back().fill(Qt::white);
    }
    int64_t played = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < pages.size(); ++i) {
            QImage& img = images[i];
            img.fill(Qt::white);
            QPainter painter(&img);
            pages[i].picture->Play(painter, QRectF(QPointF(0, 0), QSizeF(img.size())));
        }
        played += int64_t(pages.size());
    }
    state.SetItemsProcessed(played);
    state.counters["pages"] = double(pages.size());
    state.counters["pages_per_s"] = benchmark::Counter(double(played), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayCorpus)->Arg(96)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_ParseCorpus(benchmark::State& state) {
    std::vector<Page>& pages = CorpusPages();
    int64_t parsed = 0;
    for (auto _ : state) {
        for (const Page& p : pages) {
            emf::Picture picture(p.bytes);
            benchmark::DoNotOptimize(picture.OperationCount());
        }
        parsed += int64_t(pages.size());
    }
    state.SetItemsProcessed(parsed);
}
BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMillisecond);

// A report page at 96 dpi (A4): a title band, a table of 40 rows by 5
// ruled cells with text, a logo, totals.
constexpr int kPageW = 794, kPageH = 1123;

void DrawReportPage(QPainter& p) {
    static const QImage logo = [] {
        QImage img(64, 32, QImage::Format_RGB32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                img.setPixel(x, y, qRgb(x * 4, y * 8, 128));
        return img;
    }();
    p.fillRect(QRect(40, 40, 714, 50), QColor(230, 236, 245));
    p.drawImage(QRect(50, 49, 64, 32), logo);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::black);
    p.drawText(QPointF(130, 74), QStringLiteral("Quarterly sales by region"));
    QFont body(QStringLiteral("Arial"));
    body.setPixelSize(12);
    p.setFont(body);
    const int colW[] = {200, 120, 120, 120, 154};
    for (int row = 0; row < 40; ++row) {
        int x = 40;
        const int y = 110 + row * 24;
        for (int c = 0; c < 5; ++c) {
            p.setPen(QPen(QColor(120, 120, 120), 1));
            p.setBrush(row % 2 ? QBrush(QColor(248, 248, 248)) : QBrush(Qt::NoBrush));
            p.drawRect(QRect(x, y, colW[c], 24));
            p.setPen(Qt::black);
            const QString text = c == 0 ? QStringLiteral("Region %1 north-east").arg(row + 1)
                                        : QString::number((row + 1) * 1234.5 * (c + 1), 'f', 2);
            p.drawText(QPointF(x + 6, y + 16), text);
            x += colW[c];
        }
    }
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(QPointF(40, 1080), QPointF(754, 1080));
    p.drawText(QPointF(40, 1100), QStringLiteral("Total: 1,234,567.89"));
}

void BM_DirectDraw(benchmark::State& state) {
    QImage img(kPageW, kPageH, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        DrawReportPage(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectDraw)->Unit(benchmark::kMicrosecond);

const emf::Picture& RecordedReportPage() {
    static std::unique_ptr<emf::Picture> picture = [] {
        emf::Recorder recorder(kPageW, kPageH);
        {
            QPainter p(&recorder);
            DrawReportPage(p);
        }
        return std::make_unique<emf::Picture>(recorder.Finish());
    }();
    return *picture;
}

void BM_PlayRecorded(benchmark::State& state) {
    const emf::Picture& picture = RecordedReportPage();
    QImage img(kPageW, kPageH, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        picture.Play(p, QRectF(0, 0, kPageW, kPageH));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["operations"] = double(picture.OperationCount());
}
BENCHMARK(BM_PlayRecorded)->Unit(benchmark::kMicrosecond);

void BM_ParseRecorded(benchmark::State& state) {
    emf::Recorder recorder(kPageW, kPageH);
    {
        QPainter p(&recorder);
        DrawReportPage(p);
    }
    const QByteArray bytes = recorder.Finish();
    for (auto _ : state) {
        emf::Picture picture(bytes);
        benchmark::DoNotOptimize(picture.OperationCount());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseRecorded)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SetScreenPixelsPerInch(96);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
