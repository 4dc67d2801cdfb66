// Page storage benchmarks: splay-tree coding throughput on the real-world EMF
// corpus (each file coded as one page, from a fresh tree), measured for
// TQRCompress and for the plain bit-at-a-time coder it must stay bit-exact
// with; and ReadPage latency in a 10 000-page saved report.
#include "bench/splay_baseline.h"
#include "platform/emf/header.h"
#include "platform/stream.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrcompress.h"
#include "storage/qrstream.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <memory>
#include <vector>

namespace {

struct CodedFile {
    QByteArray plain;
    QByteArray code;
};

QByteArray Contents(const TMemoryStream& m) {
    return QByteArray(reinterpret_cast<const char*>(m.Memory()), m.DataSize());
}

// The corpus files and their code, made once by the plain coder. Empty when
// the corpus is absent.
const std::vector<CodedFile>& Corpus() {
    static const std::vector<CodedFile> files = [] {
        std::vector<CodedFile> out;
        QDir dir(QStringLiteral(VORLAXA_CORPUS_DIR "/emf"));
        for (const QString& name :
             dir.entryList({QStringLiteral("*.emf")}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            CodedFile c;
            c.plain = f.readAll();
            TMemoryStream m;
            {
                SplayBaseline coder(m, true);
                for (char ch : c.plain)
                    coder.EncodeByte(uint8_t(ch));
            }
            c.code = Contents(m);
            out.push_back(std::move(c));
        }
        return out;
    }();
    return files;
}

int64_t CorpusBytes() {
    int64_t n = 0;
    for (const CodedFile& c : Corpus())
        n += c.plain.size();
    return n;
}

bool SkipWithoutCorpus(benchmark::State& state) {
    if (!Corpus().empty()) return false;
    state.SkipWithError("EMF corpus not found beside the project");
    return true;
}

// Codes plain into m, which is emptied first.
void EncodeInto(TMemoryStream& m, const QByteArray& plain) {
    m.Clear();
    TQRCompress coder(m, true);
    coder.EncodeBytes(reinterpret_cast<const uint8_t*>(plain.constData()), size_t(plain.size()));
    coder.Finish();
}

void BM_SplayEncode(benchmark::State& state) {
    if (SkipWithoutCorpus(state)) return;
    TMemoryStream m;
    bool exact = true;
    for (auto _ : state) {
        for (const CodedFile& c : Corpus()) {
            EncodeInto(m, c.plain);
            exact = exact && m.DataSize() == c.code.size();
        }
    }
    // Every code compared once, outside the timing.
    for (const CodedFile& c : Corpus()) {
        EncodeInto(m, c.plain);
        exact = exact && Contents(m) == c.code;
    }
    if (!exact) state.SkipWithError("code differs from the plain coder");
    state.SetBytesProcessed(state.iterations() * CorpusBytes());
}

void BM_SplayEncodeBaseline(benchmark::State& state) {
    if (SkipWithoutCorpus(state)) return;
    TMemoryStream m;
    for (auto _ : state) {
        for (const CodedFile& c : Corpus()) {
            m.Clear();
            SplayBaseline coder(m, true);
            for (char ch : c.plain)
                coder.EncodeByte(uint8_t(ch));
        }
    }
    state.SetBytesProcessed(state.iterations() * CorpusBytes());
}

// The code of each file as it lies in a page stream: in memory, followed by
// more data.
std::vector<std::unique_ptr<TMemoryStream>> CodeStreams() {
    std::vector<std::unique_ptr<TMemoryStream>> out;
    for (const CodedFile& c : Corpus()) {
        auto m = std::make_unique<TMemoryStream>();
        m->WriteBuffer(c.code.constData(), int32_t(c.code.size()));
        m->WriteBuffer("TAIL", 4);
        out.push_back(std::move(m));
    }
    return out;
}

void BM_SplayDecode(benchmark::State& state) {
    if (SkipWithoutCorpus(state)) return;
    auto streams = CodeStreams();
    std::vector<QByteArray> out(Corpus().size());
    for (size_t i = 0; i < Corpus().size(); ++i)
        out[i].resize(Corpus()[i].plain.size());
    bool exact = true;
    for (auto _ : state) {
        for (size_t i = 0; i < Corpus().size(); ++i) {
            TMemoryStream& m = *streams[i];
            m.SetPosition(0);
            TQRCompress decoder(m, false);
            decoder.DecodeBytes(reinterpret_cast<uint8_t*>(out[i].data()), size_t(out[i].size()));
            decoder.Finish();
            exact = exact && m.Position() == Corpus()[i].code.size();
        }
    }
    for (size_t i = 0; i < Corpus().size(); ++i)
        exact = exact && out[i] == Corpus()[i].plain;
    if (!exact) state.SkipWithError("decoded bytes or code consumed differ");
    state.SetBytesProcessed(state.iterations() * CorpusBytes());
}

void BM_SplayDecodeBaseline(benchmark::State& state) {
    if (SkipWithoutCorpus(state)) return;
    auto streams = CodeStreams();
    std::vector<QByteArray> out(Corpus().size());
    for (size_t i = 0; i < Corpus().size(); ++i)
        out[i].resize(Corpus()[i].plain.size());
    for (auto _ : state) {
        for (size_t i = 0; i < Corpus().size(); ++i) {
            TMemoryStream& m = *streams[i];
            m.SetPosition(0);
            SplayBaseline decoder(m, false);
            char* o = out[i].data();
            for (qsizetype k = 0; k < out[i].size(); ++k)
                o[k] = char(decoder.DecodeByte());
        }
    }
    bool exact = true;
    for (size_t i = 0; i < Corpus().size(); ++i)
        exact = exact && out[i] == Corpus()[i].plain;
    if (!exact) state.SkipWithError("the plain decoder does not round-trip");
    state.SetBytesProcessed(state.iterations() * CorpusBytes());
}

// The same decoding with the codes read from a page stream, as ReadPage
// does: a TQRStream in memory holding every file's code back to back, so
// that each read goes through the stream's lock and virtual calls.
std::unique_ptr<TQRStream> PageStreamOfCodes() {
    auto s = TQRStream::CreateInMemory(INT32_MAX);
    for (const CodedFile& c : Corpus())
        s->WriteBuffer(c.code.constData(), int32_t(c.code.size()));
    return s;
}

template <class Decode>
void DecodeFromPageStream(benchmark::State& state, Decode decode) {
    if (SkipWithoutCorpus(state)) return;
    auto s = PageStreamOfCodes();
    std::vector<QByteArray> out(Corpus().size());
    for (size_t i = 0; i < Corpus().size(); ++i)
        out[i].resize(Corpus()[i].plain.size());
    for (auto _ : state) {
        s->SetPosition(0);
        for (QByteArray& o : out)
            decode(*s, reinterpret_cast<uint8_t*>(o.data()), o.size());
    }
    bool exact = s->Position() == s->Size();
    for (size_t i = 0; i < Corpus().size(); ++i)
        exact = exact && out[i] == Corpus()[i].plain;
    if (!exact) state.SkipWithError("decoded bytes or code consumed differ");
    state.SetBytesProcessed(state.iterations() * CorpusBytes());
}

void BM_SplayDecodePageStream(benchmark::State& state) {
    DecodeFromPageStream(state, [](TQRStream& s, uint8_t* out, qsizetype n) {
        TQRCompress decoder(s, false);
        decoder.DecodeBytes(out, size_t(n));
        decoder.Finish();
    });
}

void BM_SplayDecodePageStreamBaseline(benchmark::State& state) {
    DecodeFromPageStream(state, [](TQRStream& s, uint8_t* out, qsizetype n) {
        SplayBaseline decoder(s, false);
        for (qsizetype k = 0; k < n; ++k)
            out[k] = uint8_t(decoder.DecodeByte());
    });
}

// ---------------------------------------------------------------------------
// ReadPage in a long report

constexpr int32_t kPages = 10000;

// A saved report of kPages blank pages, opened from its file.
struct LongReport {
    QTemporaryDir dir;
    TQRPageList list;
    explicit LongReport(bool compressed) {
        const QString path = dir.path() + QStringLiteral("/long.qrp");
        const emf::ReferenceDevice ref = emf::ScreenReferenceDevice(96);
        PagePicture page;
        page.LoadFromBytes(emf::MakeBlankMetafile(emf::FrameForPixels(794, 1123, ref), ref));
        TQRPageList producing;
        producing.SetPageStream(TQRStream::CreateInMemory(100000));
        producing.SetCompressed(compressed);
        for (int32_t n = 1; n <= kPages; ++n)
            producing.AppendPage(page);
        producing.CompleteList();
        producing.CopyToFile(path);
        list.OpenFile(path);
    }
};

LongReport& Report(bool compressed) {
    static LongReport plain(false), coded(true);
    return compressed ? coded : plain;
}

// Reads pages in a pattern: next(i) gives the page of the i-th read.
template <class Next>
void ReadPages(benchmark::State& state, Next next) {
    TQRPageList& list = Report(state.range(0) != 0).list;
    int64_t i = 0;
    for (auto _ : state) {
        auto page = list.ReadPage(next(i++));
        if (!page) {
            state.SkipWithError("page missing");
            break;
        }
        benchmark::DoNotOptimize(page.get());
    }
    state.SetLabel(state.range(0) ? "compressed" : "plain");
}

void BM_ReadPageFirst(benchmark::State& state) {
    ReadPages(state, [](int64_t) { return 1; });
}

void BM_ReadPageLast(benchmark::State& state) {
    ReadPages(state, [](int64_t) { return kPages; });
}

// Paging forward one page at a time through the middle of the report.
void BM_ReadPageNeighbour(benchmark::State& state) {
    ReadPages(state, [](int64_t i) { return int32_t(2 + i % (kPages - 2)); });
}

// Alternating between a quarter and three quarters: a walk of about half the
// report each time.
void BM_ReadPageFarJump(benchmark::State& state) {
    ReadPages(state, [](int64_t i) { return i % 2 ? kPages * 3 / 4 : kPages / 4; });
}

}  // namespace

BENCHMARK(BM_SplayEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplayEncodeBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplayDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplayDecodeBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplayDecodePageStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplayDecodePageStreamBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPageFirst)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadPageLast)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadPageNeighbour)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadPageFarJump)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
