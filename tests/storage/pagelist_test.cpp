// The page list and the saved-report file: the byte layout of header and
// records (checked against the layout, not against the writer), the walk
// along the record chain, saving and opening, large reports, damaged files,
// and the real-world metafiles in both record forms.
#include "storage/pagelist.h"
#include "bench/splay_baseline.h"
#include "platform/errors.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"
#include "storage_testutil.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <bit>
#include <string>

namespace {

constexpr int32_t kLimit = 100000;

// Page n is a blank page 100 + n pixels wide, so a page read back tells
// which page it is.
int32_t WidthOfPage(int32_t n) {
    return 100 + n % 1000;
}
std::unique_ptr<PagePicture> Page(int32_t n) {
    return BlankPage(WidthOfPage(n), 60);
}

// A list producing into a fresh memory stream, as the report printer does.
std::unique_ptr<TQRPageList> ProducingList(bool compressed) {
    auto list = std::make_unique<TQRPageList>();
    list->SetPageStream(TQRStream::CreateInMemory(kLimit));
    list->SetCompressed(compressed);
    return list;
}

QByteArray MakeReport(int32_t pages, bool compressed) {
    auto list = ProducingList(compressed);
    for (int32_t n = 1; n <= pages; ++n)
        list->AppendPage(*Page(n));
    list->CompleteList();
    return AllBytes(*list->PageStream());
}

QByteArray Splay(const QByteArray& in) {
    TMemoryStream m;
    {
        SplayBaseline c(m, true);
        for (char ch : in)
            c.EncodeByte(uint8_t(ch));
    }
    return QByteArray(reinterpret_cast<const char*>(m.Memory()), m.DataSize());
}

double DoubleAt(const QByteArray& b, int offset) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | uint8_t(b[offset + i]);
    return std::bit_cast<double>(v);
}

// ---------------------------------------------------------------------------
// Layout

TEST(ReportFormat, HeaderDateIsDaysSince18991230WithTheTimeAsAFraction) {
    struct Case {
        QDateTime when;
        const char* bytes;
    };
    const Case cases[] = {
        {QDateTime(QDate(2024, 1, 1), QTime(12, 0)), "00000000901de640"},
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), "0000000000000000"},
        {QDateTime(QDate(1900, 1, 1), QTime(6, 0)), "0000000000000240"},  // 2.25
    };
    for (const Case& c : cases) {
        const uint64_t v = std::bit_cast<uint64_t>(ReportDateTime(c.when));
        QByteArray le(8, 0);
        for (int i = 0; i < 8; ++i)
            le[i] = char(v >> (8 * i));
        EXPECT_EQ(le.toHex().toStdString(), c.bytes) << c.when.toString().toStdString();
    }
}

TEST(ReportFormat, HeaderHoldsMarkersCountDateAndForm) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        auto list = ProducingList(compressed);
        const double before = ReportDateTime(QDateTime::currentDateTime());
        list->AppendPage(*Page(1));
        list->AppendPage(*Page(2));
        list->CompleteList();
        const double after = ReportDateTime(QDateTime::currentDateTime());
        EXPECT_EQ(list->PageStream()->Position(), 128);
        const QByteArray b = AllBytes(*list->PageStream());
        EXPECT_EQ(b.left(4).toHex(), "03005e01");
        EXPECT_EQ(I32At(b, 8), 2);
        EXPECT_GE(DoubleAt(b, 16), before);
        EXPECT_LE(DoubleAt(b, 16), after);
        EXPECT_EQ(uint8_t(b[25]), compressed ? 1 : 0);
        // Reserved bytes are zeros.
        QByteArray reserved = b.mid(4, 4) + b.mid(12, 4) + b.mid(24, 1) + b.mid(26, 102);
        EXPECT_EQ(reserved, QByteArray(reserved.size(), '\0'));
    }
}

TEST(ReportFormat, OnePlainPageRecord) {
    auto list = ProducingList(false);
    auto page = Page(1);
    const QByteArray emf = page->Bytes();
    const int32_t L = int32_t(emf.size());
    list->AppendPage(*page);
    EXPECT_EQ(list->NumPages(), 1);
    EXPECT_EQ(list->PageStream()->Position(), 140 + L);
    const QByteArray b = AllBytes(*list->PageStream());
    ASSERT_EQ(b.size(), 140 + L);
    EXPECT_EQ(I32At(b, 8), 1) << "the header counts the first page before CompleteList";
    EXPECT_EQ(I32At(b, 128), 1);
    EXPECT_EQ(I32At(b, 132), 140 + L);
    EXPECT_EQ(b.mid(136, L), emf);
    EXPECT_EQ(b.mid(136, 4).toHex(), "01000000");
    EXPECT_EQ(I32At(b, b.size() - 4), 128);
}

TEST(ReportFormat, TwoPlainPagesChainForwardAndBack) {
    auto list = ProducingList(false);
    auto p1 = BlankPage(300, 200);
    auto p2 = Page(2);
    const int32_t L1 = int32_t(p1->Bytes().size()), L2 = int32_t(p2->Bytes().size());
    list->AppendPage(*p1);
    list->AppendPage(*p2);
    const QByteArray b = AllBytes(*list->PageStream());
    ASSERT_EQ(b.size(), 152 + L1 + L2);
    EXPECT_EQ(I32At(b, 8), 1) << "the count is only final after CompleteList";
    const int32_t R2 = 140 + L1;
    EXPECT_EQ(I32At(b, 128), 1);
    EXPECT_EQ(I32At(b, 132), R2);
    EXPECT_EQ(b.mid(136, L1), p1->Bytes());
    EXPECT_EQ(I32At(b, 136 + L1), 128);
    EXPECT_EQ(I32At(b, R2), 2);
    EXPECT_EQ(I32At(b, R2 + 4), R2 + 12 + L2);
    EXPECT_EQ(b.mid(R2 + 8, L2), p2->Bytes());
    EXPECT_EQ(I32At(b, R2 + 8 + L2), R2);
    list->CompleteList();
    EXPECT_EQ(I32At(AllBytes(*list->PageStream()), 8), 2);
}

TEST(ReportFormat, CompressedRecordsHoldLengthAndIndependentCode) {
    auto list = ProducingList(true);
    auto p1 = BlankPage(300, 200);
    auto p2 = Page(2);
    list->AppendPage(*p1);
    list->AppendPage(*p2);
    const QByteArray b = AllBytes(*list->PageStream());

    const QByteArray c1 = Splay(p1->Bytes()), c2 = Splay(p2->Bytes());
    const int32_t C1 = int32_t(c1.size()), C2 = int32_t(c2.size());
    const int32_t R2 = 144 + C1;
    ASSERT_EQ(b.size(), R2 + 16 + C2);
    EXPECT_EQ(I32At(b, 128), 1);
    EXPECT_EQ(I32At(b, 132), R2);
    EXPECT_EQ(I32At(b, 136), p1->Bytes().size());
    EXPECT_EQ(b.mid(140, C1), c1);
    EXPECT_EQ(I32At(b, 140 + C1), 128);
    // Page 2's code starts from a fresh tree: it is the code of page 2 alone.
    EXPECT_EQ(I32At(b, R2), 2);
    EXPECT_EQ(I32At(b, R2 + 4), R2 + 16 + C2);
    EXPECT_EQ(I32At(b, R2 + 8), p2->Bytes().size());
    EXPECT_EQ(b.mid(R2 + 12, C2), c2);
    EXPECT_EQ(I32At(b, b.size() - 4), R2);

    auto back = list->ReadPage(1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Bytes(), p1->Bytes());
}

TEST(PageList, OwnsItsStreamAndFreesItWhenReplacedOrDestroyed) {
    ScopedTempDir tmp;
    auto list = std::make_unique<TQRPageList>();
    auto spilled = TQRStream::CreateInMemory(10);
    spilled->WriteBuffer("more than ten bytes", 19);
    const QString first = spilled->TempFileName();
    ASSERT_TRUE(QFile::exists(first));
    list->SetPageStream(std::move(spilled));
    list->SetPageStream(nullptr);
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_EQ(list->PageStream(), nullptr);
    EXPECT_EQ(list->ReadPage(1), nullptr);

    list->SetPageStream(TQRStream::CreateInMemory(10));
    list->AppendPage(*Page(1));
    const QString second = list->PageStream()->TempFileName();
    ASSERT_TRUE(QFile::exists(second));
    list->ResetCount();
    EXPECT_EQ(list->NumPages(), 0);
    EXPECT_NE(list->PageStream(), nullptr) << "ResetCount leaves the stream to the owner";
    list.reset();
    EXPECT_FALSE(QFile::exists(second));
}

// ---------------------------------------------------------------------------
// The walk

TEST(PageList, ReadPageJumpsToTheEndsAndWalksFromWhereTheStreamStands) {
    using S = TQRPageList::WalkTrace::Start;
    struct Step {
        const char* what;
        int32_t page;
        S start;
        int32_t hops;
    };
    // Five pages; the stream stands after the record last read.
    const Step steps[] = {
        {"forward from record 1 after opening", 2, S::Here, 1},
        {"the last page by a direct jump", 5, S::LastRecord, 0},
        {"from the end: last record, then back", 3, S::EndThenLast, -2},
        {"the same middle page again: one back", 3, S::Here, -1},
        {"page 1 by a direct jump", 1, S::FirstRecord, 0},
        {"a longer walk forward", 4, S::Here, 2},
        {"the next page costs nothing", 5, S::LastRecord, 0},
        {"page 1 from the end", 1, S::FirstRecord, 0},
        {"the neighbour of page 1", 2, S::Here, 0},
    };
    QTemporaryDir dir;
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const QString path = dir.path() + (compressed ? "/c.qrp" : "/p.qrp");
        WriteWholeFile(path, MakeReport(5, compressed));
        TQRPageList list;
        list.OpenFile(path);
        ASSERT_EQ(list.NumPages(), 5);
        EXPECT_EQ(list.Compressed(), compressed);
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            auto page = list.ReadPage(s.page);
            ASSERT_TRUE(page);
            EXPECT_EQ(page->Width(), WidthOfPage(s.page));
            EXPECT_EQ(list.LastWalk().start, s.start);
            EXPECT_EQ(list.LastWalk().hops, s.hops);
        }

        // After saving, the stream stands at its end: a middle page starts
        // from the last record and walks back.
        list.CopyToFile(dir.path() + "/copy.qrp");
        EXPECT_EQ(list.PageStream()->Position(), list.PageStream()->Size());
        auto three = list.ReadPage(3);
        ASSERT_TRUE(three);
        EXPECT_EQ(three->Width(), WidthOfPage(3));
        EXPECT_EQ(list.LastWalk().start, S::EndThenLast);
        EXPECT_EQ(list.LastWalk().hops, -2);

        // Pages outside 1..NumPages are none, and the stream does not move.
        const int32_t at = list.PageStream()->Position();
        EXPECT_EQ(list.ReadPage(6), nullptr);
        EXPECT_EQ(list.ReadPage(0), nullptr);
        EXPECT_EQ(list.ReadPage(-1), nullptr);
        EXPECT_EQ(list.PageStream()->Position(), at);
    }
}

TEST(PageList, APageCountOfZeroOrLessGivesNoPages) {
    QTemporaryDir dir;
    for (int32_t count : {0, -5}) {
        QByteArray b = MakeReport(2, false);
        PutI32(b, 8, count);
        const QString path = dir.path() + QString("/n%1.qrp").arg(count);
        WriteWholeFile(path, b);
        TQRPageList list;
        list.OpenFile(path);
        EXPECT_EQ(list.NumPages(), count);
        for (int32_t n : {1, 2, 3})
            EXPECT_EQ(list.ReadPage(n), nullptr) << count << " " << n;
    }
}

// ---------------------------------------------------------------------------
// Saving and opening

TEST(PageList, OpeningAndSavingAgainGivesAByteIdenticalFile) {
    QTemporaryDir dir;
    for (bool compressed : {false, true}) {
        const QString a = dir.path() + "/a.qrp", b = dir.path() + "/b.qrp";
        {
            auto producing = ProducingList(compressed);
            for (int n = 1; n <= 4; ++n)
                producing->AppendPage(*Page(n));
            producing->CompleteList();
            producing->CopyToFile(a);
        }
        TQRPageList list;
        list.OpenFile(a);
        list.CopyToFile(b);
        EXPECT_EQ(ReadWholeFile(b), ReadWholeFile(a)) << compressed;
    }
}

TEST(PageList, SavingOntoTheOpenFileFailsAndLeavesItIntact) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/open.qrp";
    const QByteArray original = MakeReport(3, false);
    WriteWholeFile(path, original);
    ASSERT_TRUE(QFile::link(path, dir.path() + "/link.qrp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));

    TQRPageList list;
    list.OpenFile(path);
    const QString spellings[] = {path, QDir::current().relativeFilePath(path),
                                 dir.path() + "/link.qrp", dir.path() + "/sub/../open.qrp"};
    for (const QString& name : spellings) {
        EXPECT_EQ(MessageOf([&] { list.CopyToFile(name); }), "Cannot create file " + name)
            << name.toStdString();
    }
    EXPECT_EQ(ReadWholeFile(path), original);
    auto page = list.ReadPage(2);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Width(), WidthOfPage(2));
}

TEST(PageList, OpeningAMissingFileLeavesNoStreamAndKeepsTheCount) {
    QTemporaryDir dir;
    const QString good = dir.path() + "/good.qrp";
    WriteWholeFile(good, MakeReport(3, false));
    TQRPageList list;
    list.OpenFile(good);
    const QString missing = dir.path() + "/missing.qrp";
    EXPECT_EQ(MessageOf([&] { list.OpenFile(missing); }), "Cannot open file " + missing);
    EXPECT_EQ(list.PageStream(), nullptr);
    EXPECT_EQ(list.NumPages(), 3);
    EXPECT_EQ(list.ReadPage(1), nullptr);
}

TEST(PageList, AppendingToAnOpenedFileFailsAndChangesNothing) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/r.qrp";
    const QByteArray original = MakeReport(2, false);
    WriteWholeFile(path, original);
    TQRPageList list;
    list.OpenFile(path);
    EXPECT_EQ(MessageOf([&] { list.AppendPage(*Page(3)); }), "Stream write error");
    EXPECT_EQ(ReadWholeFile(path), original);
}

// ---------------------------------------------------------------------------
// A long report

TEST(PageList, TenThousandPagesSpillOpenWithoutReadingPagesAndReadAnyPage) {
    ScopedTempDir tmp;
    QTemporaryDir dir;
    const QString path = dir.path() + "/long.qrp";
    constexpr int32_t kPages = 10000;
    {
        auto producing = ProducingList(false);
        for (int32_t n = 1; n <= kPages; ++n)
            producing->AppendPage(*Page(n));
        producing->CompleteList();
        // The pages went to a file; memory holds none of them.
        EXPECT_FALSE(producing->PageStream()->InMemory());
        EXPECT_EQ(producing->PageStream()->MemoryInUse(), 0);
        producing->CopyToFile(path);
    }

    TQRPageList list;
    list.OpenFile(path);
    TQRStream& s = *list.PageStream();
    EXPECT_EQ(list.NumPages(), kPages);
    EXPECT_LE(s.BytesRead(), 2 * s.HeaderSize()) << "opening reads the header only";
    EXPECT_EQ(s.MemoryInUse(), 0);

    using S = TQRPageList::WalkTrace::Start;
    struct Step {
        int32_t page;
        S start;
        int32_t hops;
    };
    const Step steps[] = {{1, S::FirstRecord, 0},
                          {kPages, S::LastRecord, 0},
                          {kPages - 1, S::EndThenLast, -1},
                          {kPages / 2, S::Here, -(kPages - kPages / 2)},
                          {kPages / 2 + 1, S::Here, 0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.page);
        const int64_t before = s.BytesRead();
        auto page = list.ReadPage(step.page);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->Width(), WidthOfPage(step.page));
        EXPECT_EQ(list.LastWalk().start, step.start);
        EXPECT_EQ(list.LastWalk().hops, step.hops);
        // One record (140 bytes, and a look at its metafile header before
        // loading it), plus 8 bytes for each record passed.
        EXPECT_LE(s.BytesRead() - before, 256 + 8 * std::abs(step.hops));
    }
}

// ---------------------------------------------------------------------------
// Damaged files

struct Damage {
    std::string name;
    bool compressed;
    std::function<void(QByteArray&)> damage;
    int32_t page;       // the page read; 0: the open itself fails; -n: page n, read
                        // right after the last page
    QString fault;      // the message after "Damaged report file <name>: ", a prefix
    bool pageOneAfter;  // page 1 still reads after the failure
};

// Offsets in the plain three-page report: every page is a 128-byte metafile,
// so record k starts at 128 + 140 (k - 1) and the file is 548 bytes long.
constexpr int32_t R(int k) {
    return 128 + 140 * (k - 1);
}

TEST(PageList, DamagedFilesFailWithAClearMessage) {
    const QString invalid = QStringLiteral("Metafile is not valid");
    const Damage cases[] = {
        {"shorter than the header", false, [](QByteArray& b) { b.truncate(100); }, 0,
         "it is 100 bytes long, shorter than the 128-byte header", false},
        {"a header and no records", false, [](QByteArray& b) { b.truncate(128); }, 1,
         "no page record follows the header", false},
        {"count above the records, last page", false, [](QByteArray& b) { PutI32(b, 8, 5); }, 5,
         "the record at offset 408 holds page 3 where page 5 belongs", true},
        {"count above the records, missing middle page", false,
         [](QByteArray& b) { PutI32(b, 8, 5); }, 4,
         "page 4 is missing; the record chain ends before it", true},
        {"truncated inside record 2", false, [](QByteArray& b) { b.truncate(300); }, 2,
         "the record of page 2 runs past the end of the file", true},
        {"truncated inside the last record", false, [](QByteArray& b) { b.chop(10); }, 3,
         "the link to the last record", true},
        {"a wrong page number", false, [](QByteArray& b) { PutI32(b, R(2), 7); }, 2,
         "page 2 is missing; the record chain ends before it", true},
        {"a page number before the start", false, [](QByteArray& b) { PutI32(b, R(1), 9); }, 2,
         "page 2 is missing; the record chain begins after it", false},
        {"a link past the end", false, [](QByteArray& b) { PutI32(b, R(1) + 4, 999999); }, 2,
         "the record at offset 128 links to offset 999999, outside the file", true},
        {"a link into the header", false, [](QByteArray& b) { PutI32(b, R(1) + 4, -8); }, 2,
         "the record at offset 128 links to offset -8, outside the file", true},
        {"a link to itself", false, [](QByteArray& b) { PutI32(b, R(1) + 4, R(1)); }, 2,
         "the record at offset 128 links forward to offset 128, which is not after it", true},
        {"a link back to itself", false, [](QByteArray& b) { PutI32(b, R(3) - 4, R(3)); }, -2,
         "the record at offset 408 links back to offset 408, which is not before it", true},
        {"page numbers the walk never meets", false,
         [](QByteArray& b) {
             // Four records, a count of 3 and record 2 numbered 7: the walk
             // for page 2 passes three records and stops.
             b = MakeReport(4, false);
             PutI32(b, 8, 3);
             PutI32(b, R(2), 7);
         },
         2, "page 2 is not found within 3 records", true},
        {"a last-record link outside", false, [](QByteArray& b) { PutI32(b, b.size() - 4, 5); }, 3,
         "the link to the last record (offset 5) points outside the file", true},
        {"a metafile past the end", false, [](QByteArray& b) { PutI32(b, R(3) + 8 + 48, 1024); }, 3,
         "the record of page 3 runs past the end of the file: its metafile claims 1024 bytes, "
         "128 remain",
         true},
        {"a metafile over the trailing offset", false,
         [](QByteArray& b) { PutI32(b, R(3) + 8 + 48, 132); }, 3,
         "the record of page 3 runs past the end of the file: its metafile claims 132 bytes", true},
        {"a record that is not a metafile", false, [](QByteArray& b) { PutI32(b, R(1) + 8, 77); },
         1, invalid, false},
        {"plain records flagged compressed", false, [](QByteArray& b) { b[25] = 1; }, 1, invalid,
         false},
        {"compressed records flagged plain", true, [](QByteArray& b) { b[25] = 0; }, 1, invalid,
         false},
        {"an absurd compressed length", true, [](QByteArray& b) { PutI32(b, 136, 0x7FFFFFFF); }, 1,
         "page 1 claims 2147483647 bytes, more than its", false},
        {"a negative compressed length", true, [](QByteArray& b) { PutI32(b, 136, -1); }, 1,
         "page 1 gives a negative length (-1)", false},
        {"a length one more than the code can hold", true,
         [](QByteArray& b) {
             const int32_t r3 = I32At(b, I32At(b, 128 + 4) + 4);
             PutI32(b, r3 + 8, 8 * (int32_t(b.size()) - r3 - 16) + 1);
         },
         3, "page 3 claims", true},
        {"code that runs out", true,
         [](QByteArray& b) {
             const int32_t r3 = I32At(b, I32At(b, 128 + 4) + 4);
             PutI32(b, r3 + 8, 8 * (int32_t(b.size()) - r3 - 16));
         },
         3, "page 3: the coded data", true},
    };
    QTemporaryDir dir;
    const QByteArray plain = MakeReport(3, false), compressed = MakeReport(3, true);
    ASSERT_EQ(plain.size(), R(4));
    int index = 0;
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = c.compressed ? compressed : plain;
        c.damage(bytes);
        const QString path = dir.path() + QString("/damaged%1.qrp").arg(index++);
        WriteWholeFile(path, bytes);

        TQRPageList list;
        QString message = MessageOf([&] { list.OpenFile(path); });
        if (c.page != 0) {
            ASSERT_EQ(message, QString());
            if (c.page < 0) ASSERT_TRUE(list.ReadPage(list.NumPages()));
            message = MessageOf([&] { list.ReadPage(std::abs(c.page)); });
        }
        if (c.fault == invalid)
            EXPECT_EQ(message, invalid);
        else
            EXPECT_TRUE(message.startsWith("Damaged report file " + path + ": " + c.fault))
                << message.toStdString();
        if (c.page == 0) EXPECT_EQ(list.PageStream(), nullptr);
        if (c.pageOneAfter) {
            auto one = list.ReadPage(1);
            ASSERT_TRUE(one);
            EXPECT_EQ(one->Width(), WidthOfPage(1));
        }
    }
}

// A failure halfway through a record leaves the stream where the next walk
// can start from: the first record.
TEST(PageList, AFailedReadLeavesTheListUsable) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/r.qrp";
    QByteArray b = MakeReport(5, false);
    PutI32(b, R(4) + 8 + 40, 0);  // page 4's metafile loses its signature
    WriteWholeFile(path, b);
    TQRPageList list;
    list.OpenFile(path);
    EXPECT_EQ(MessageOf([&] { list.ReadPage(4); }), "Metafile is not valid");
    auto two = list.ReadPage(2);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->Width(), WidthOfPage(2));
    EXPECT_EQ(list.LastWalk().start, TQRPageList::WalkTrace::Start::Here);
    EXPECT_EQ(list.LastWalk().hops, 1);
}

// ---------------------------------------------------------------------------
// Real-world metafiles

TEST(PageList, EveryCorpusMetafileSurvivesSaveAndOpenInBothForms) {
    REQUIRE_CORPUS();
    ScopedTempDir tmp;
    QTemporaryDir dir;
    std::vector<std::unique_ptr<PagePicture>> pictures;
    for (const QString& file : CorpusEmfFiles()) {
        auto p = std::make_unique<PagePicture>();
        try {
            p->LoadFromBytes(ReadWholeFile(file));
        } catch (const Exception& e) {
            ADD_FAILURE() << file.toStdString() << ": " << e.what();
            continue;
        }
        pictures.push_back(std::move(p));
    }
    ASSERT_FALSE(pictures.empty());
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const QString path = dir.path() + (compressed ? "/c.qrp" : "/p.qrp");
        {
            auto producing = ProducingList(compressed);
            for (const auto& p : pictures)
                producing->AppendPage(*p);
            producing->CompleteList();
            producing->CopyToFile(path);
        }
        TQRPageList list;
        list.OpenFile(path);
        ASSERT_EQ(list.NumPages(), int32_t(pictures.size()));
        // Backwards, so that every page is a walk of one record from the last.
        for (int32_t n = list.NumPages(); n >= 1; --n) {
            auto page = list.ReadPage(n);
            ASSERT_TRUE(page) << n;
            EXPECT_EQ(page->Bytes(), pictures[size_t(n - 1)]->Bytes()) << "page " << n;
        }
    }
}

}  // namespace
