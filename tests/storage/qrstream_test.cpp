// The page stream: memory mode and the spill into a temporary file, file
// mode, CopyTo, and the failures of a spill.
#include "storage/qrstream.h"
#include "platform/errors.h"
#include "storage/pagelist.h"
#include "storage_testutil.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>

namespace {

constexpr int32_t kLimit = 100000;

// Writes count bytes of a pattern that differs from offset to offset, in
// pieces, the way pages arrive.
void WritePattern(TStream& s, int32_t from, int32_t count) {
    QByteArray bytes = Pattern(from, count);
    for (int32_t off = 0; off < count; off += 7000) {
        const int32_t n = std::min(7000, count - off);
        ASSERT_EQ(s.Write(bytes.constData() + off, n), n);
    }
}

TEST(SpillStream, ExactlyTheLimitStaysInMemoryAndOneByteMoreSpills) {
    ScopedTempDir tmp;
    auto s = TQRStream::CreateInMemory(kLimit);
    EXPECT_EQ(s->MemoryLimit(), kLimit);
    EXPECT_EQ(s->HeaderSize(), 128);
    WritePattern(*s, 0, kLimit);
    EXPECT_TRUE(s->InMemory());
    EXPECT_TRUE(s->TempFileName().isEmpty());
    EXPECT_EQ(s->MemoryInUse(), kLimit);
    EXPECT_TRUE(QDir(tmp.Path()).isEmpty());

    WritePattern(*s, kLimit, 1);
    ASSERT_FALSE(s->InMemory());
    const QString name = s->TempFileName();
    EXPECT_EQ(QFileInfo(name).absolutePath(), tmp.Path());
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith("QRP")) << name.toStdString();
    EXPECT_EQ(s->MemoryInUse(), 0);
    EXPECT_EQ(s->Position(), kLimit + 1);
    EXPECT_EQ(ReadWholeFile(name), Pattern(0, kLimit + 1));

    // Later writes go to the file, in place: overwrite 4 bytes in the middle.
    EXPECT_EQ(s->Seek(50000, soFromBeginning), 50000);
    EXPECT_EQ(s->Write("WXYZ", 4), 4);
    QByteArray expected = Pattern(0, kLimit + 1);
    expected.replace(50000, 4, "WXYZ");
    EXPECT_EQ(ReadWholeFile(name), expected);
    EXPECT_EQ(s->Size(), kLimit + 1);

    // Reads see the same bytes through the stream.
    s->SetPosition(49998);
    char buf[8] = {};
    EXPECT_EQ(s->Read(buf, 8), 8);
    EXPECT_EQ(QByteArray(buf, 8), expected.mid(49998, 8));

    s.reset();
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_TRUE(QDir(tmp.Path()).isEmpty());
}

TEST(SpillStream, OneLargeWriteSpillsAtOnceAndKeepsThePosition) {
    ScopedTempDir tmp;
    auto s = TQRStream::CreateInMemory(kLimit);
    WritePattern(*s, 0, 10);
    const QByteArray big = Pattern(10, 2 * kLimit);
    EXPECT_EQ(s->Write(big.constData(), big.size()), big.size());
    ASSERT_FALSE(s->InMemory());
    EXPECT_EQ(s->Position(), 10 + 2 * kLimit);
    EXPECT_EQ(ReadWholeFile(s->TempFileName()), Pattern(0, 10 + 2 * kLimit));
}

TEST(FileModeStream, ReadsInPlaceRefusesWritesAndLeavesTheFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/saved.qrp";
    WriteWholeFile(path, "0123456789");
    {
        auto s = TQRStream::CreateOnFile(path);
        EXPECT_FALSE(s->InMemory());
        EXPECT_EQ(s->MemoryLimit(), 0);
        EXPECT_TRUE(s->TempFileName().isEmpty());
        EXPECT_EQ(s->FileName(), path);
        EXPECT_EQ(s->Position(), 0);
        EXPECT_EQ(s->Size(), 10);
        s->SetPosition(3);
        EXPECT_EQ(s->Write("zz", 2), 0);
        char buf[16] = {};
        EXPECT_EQ(s->Read(buf, 16), 7);
        EXPECT_EQ(QByteArray(buf, 7), QByteArray("3456789"));
        EXPECT_EQ(s->Read(buf, 16), 0);
        EXPECT_EQ(s->BytesRead(), 7);
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("0123456789"));

    const QString missing = dir.path() + "/missing.qrp";
    EXPECT_EQ(MessageOf([&] { TQRStream::CreateOnFile(missing); }), "Cannot open file " + missing);
}

// A destination that records the size of every write it gets.
class RecordingStream : public TMemoryStream {
  public:
    int32_t Write(const void* buffer, int32_t count) override {
        writes.push_back(count);
        return TMemoryStream::Write(buffer, count);
    }
    std::vector<int32_t> writes;
};

TEST(SpillStream, CopyToCopiesEverythingFromTheStartInFixedChunks) {
    struct Case {
        const char* name;
        int32_t size;
        int32_t startAt;
        std::vector<int32_t> writes;
    };
    const Case cases[] = {
        {"empty", 0, 0, {0}},
        {"one chunk, positioned in the middle", 5000, 2500, {5000, 0}},
        {"exactly one chunk", 10240, 10240, {10240, 0}},
        {"several chunks", 25000, 100, {10240, 10240, 4520, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = TQRStream::CreateInMemory(kLimit);
        WritePattern(*s, 0, c.size);
        s->SetPosition(c.startAt);
        RecordingStream dest;
        s->CopyTo(dest);
        EXPECT_EQ(dest.writes, c.writes);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(dest.Memory()), dest.DataSize()),
                  Pattern(0, c.size));
        EXPECT_EQ(s->Position(), c.size);
    }
}

TEST(SpillStream, CopyToFromASpilledStreamCopiesTheFile) {
    ScopedTempDir tmp;
    auto s = TQRStream::CreateInMemory(1000);
    WritePattern(*s, 0, 30000);
    ASSERT_FALSE(s->InMemory());
    TMemoryStream dest;
    s->CopyTo(dest);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(dest.Memory()), dest.DataSize()),
              Pattern(0, 30000));
}

// Lowers the largest file this process may write, so that the spill's write
// comes up short, and restores it afterwards.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(SpillStream, AFailedSpillKeepsTheDataInMemoryRemovesItsFileAndRetries) {
    ScopedTempDir tmp;
    auto s = TQRStream::CreateInMemory(kLimit);
    WritePattern(*s, 0, kLimit);
    {
        FileSizeLimit small(4096);
        EXPECT_EQ(MessageOf([&] { WritePattern(*s, kLimit, 10); }), "Stream write error");
    }
    EXPECT_TRUE(s->InMemory());
    EXPECT_TRUE(s->TempFileName().isEmpty());
    EXPECT_TRUE(QDir(tmp.Path()).isEmpty()) << "the half-written spill file is removed";

    // The next write that finds the stream over the limit spills again, here
    // one in the middle of the data, whose position the file takes over.
    s->SetPosition(1000);
    ASSERT_EQ(s->Write("12345", 5), 5);
    ASSERT_FALSE(s->InMemory());
    QByteArray expected = Pattern(0, kLimit + 10);
    expected.replace(1000, 5, "12345");
    EXPECT_EQ(ReadWholeFile(s->TempFileName()), expected);
    EXPECT_EQ(s->Position(), 1005);
    ASSERT_EQ(s->Write("6", 1), 1);
    expected[1005] = '6';
    EXPECT_EQ(ReadWholeFile(s->TempFileName()), expected);
}

TEST(SpillStream, ASpillThatCannotCreateItsFileFailsAndKeepsTheData) {
    // A folder in which no file can be created, whoever runs the test.
    ScopedEnv env("TMPDIR", "/proc");
    auto s = TQRStream::CreateInMemory(10);
    WritePattern(*s, 0, 10);
    const QString message = MessageOf([&] { WritePattern(*s, 10, 1); });
    EXPECT_TRUE(message.startsWith("Cannot create file /proc/QRP")) << message.toStdString();
    EXPECT_TRUE(s->InMemory());
    EXPECT_EQ(s->MemoryInUse(), 11);
    s->SetPosition(0);
    char buf[16];
    EXPECT_EQ(s->Read(buf, 16), 11);
    EXPECT_EQ(QByteArray(buf, 11), Pattern(0, 11));
}

// A save that the disk cuts short is an error, and leaves no damaged copy.
TEST(SpillStream, ACopyCutShortFailsAndTheCopyIsRemoved) {
    ScopedTempDir tmp;
    auto s = TQRStream::CreateInMemory(kLimit);
    WritePattern(*s, 0, 30000);
    const QString target = tmp.Path() + "/copy.qrp";
    TQRPageList list;
    list.SetPageStream(std::move(s));
    {
        FileSizeLimit small(8192);
        EXPECT_EQ(MessageOf([&] { list.CopyToFile(target); }), "Stream write error");
    }
    EXPECT_FALSE(QFile::exists(target));
    list.CopyToFile(target);
    EXPECT_EQ(ReadWholeFile(target), Pattern(0, 30000));
}

TEST(TempNames, NewTempFileNameReservesAUniqueQrpFile) {
    ScopedTempDir tmp;
    const QString a = NewTempFileName();
    const QString b = NewTempFileName();
    EXPECT_NE(a, b);
    for (const QString& name : {a, b}) {
        QFileInfo info(name);
        EXPECT_TRUE(info.exists());
        EXPECT_EQ(info.size(), 0);
        EXPECT_EQ(info.absolutePath(), tmp.Path());
        EXPECT_TRUE(info.fileName().startsWith("QRP"));
        EXPECT_EQ(info.permissions() &
                      (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                  QFile::Permissions());
    }
}

}  // namespace
