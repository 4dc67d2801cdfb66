#include "platform/stream.h"
#include "platform/errors.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

TEST(MemoryStream, GrowsSeeksAndReadsGapsAsZeros) {
    TMemoryStream s;
    s.WriteBuffer("abcd", 4);
    EXPECT_EQ(s.Size(), 4);
    EXPECT_EQ(s.Seek(10, soFromBeginning), 10);
    s.WriteBuffer("z", 1);
    EXPECT_EQ(s.Size(), 11);
    s.SetPosition(2);
    char buf[16] = {};
    EXPECT_EQ(s.Read(buf, 16), 9);
    EXPECT_EQ(QByteArray(buf, 9), QByteArray("cd\0\0\0\0\0\0z", 9));
    EXPECT_EQ(s.Read(buf, 1), 0);
    // A seek before the start is not taken.
    EXPECT_EQ(s.Seek(-100, soFromCurrent), 11);
    EXPECT_EQ(s.Seek(-1, soFromEnd), 10);
    EXPECT_EQ(MessageOf([&] {
                  s.SetPosition(11);
                  s.ReadInt32();
              }),
              "Stream read error");
}

TEST(FileStream, OpenMissingAndCreateInMissingFolderFail) {
    EXPECT_EQ(MessageOf([] { TFileStream("/nonexistent/x.qrp", TFileStream::Mode::OpenRead); }),
              "Cannot open file /nonexistent/x.qrp");
    EXPECT_EQ(MessageOf([] { TFileStream("/nonexistent/x.qrp", TFileStream::Mode::Create); }),
              "Cannot create file /nonexistent/x.qrp");
    QTemporaryDir dir;
    EXPECT_EQ(MessageOf([&] { TFileStream(dir.path(), TFileStream::Mode::OpenRead); }),
              "Cannot open file " + dir.path());
}

// Creating a file that a stream of this process holds fails whatever the
// spelling of its path, and leaves the file intact.
TEST(FileStream, CreateOverAHeldFileFailsForEverySpelling) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/report.qrp";
    WriteWholeFile(path, "original bytes");
    ASSERT_TRUE(QFile::link(path, dir.path() + "/link.qrp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));

    TFileStream held(path, TFileStream::Mode::OpenRead);
    const QString spellings[] = {path, dir.path() + "/link.qrp", dir.path() + "/sub/../report.qrp",
                                 QDir::current().relativeFilePath(path)};
    for (const QString& name : spellings) {
        EXPECT_EQ(MessageOf([&] { TFileStream(name, TFileStream::Mode::Create); }),
                  "Cannot create file " + name)
            << name.toStdString();
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("original bytes"));
    EXPECT_TRUE(IsFileHeldOpen(dir.path() + "/link.qrp"));
}

TEST(FileStream, ReadersShareButAnExclusiveCreateSharesWithNobody) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/f.bin";
    {
        TFileStream created(path, TFileStream::Mode::Create);
        created.WriteBuffer("12345678", 8);
        EXPECT_EQ(MessageOf([&] { TFileStream(path, TFileStream::Mode::OpenRead); }),
                  "Cannot open file " + path);
    }
    TFileStream a(path, TFileStream::Mode::OpenRead);
    TFileStream b(path, TFileStream::Mode::OpenRead);
    EXPECT_EQ(a.Size(), 8);
    EXPECT_EQ(b.ReadInt32(), 0x34333231);
    // A read-only stream stores nothing.
    EXPECT_EQ(a.Write("xx", 2), 0);
    EXPECT_EQ(ReadWholeFile(path), QByteArray("12345678"));
}

TEST(FileStream, CreateTruncatesAnUnheldFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/f.bin";
    WriteWholeFile(path, "old contents");
    {
        TFileStream s(path, TFileStream::Mode::Create);
        EXPECT_EQ(s.Size(), 0);
        s.WriteInt32(-2);
        s.SetPosition(0);
        EXPECT_EQ(s.ReadInt32(), -2);
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("\xFE\xFF\xFF\xFF", 4));
    EXPECT_FALSE(IsFileHeldOpen(path));
}

TEST(TempFiles, UniqueOwnerOnlyNamesWithPrefix) {
    QTemporaryDir dir;
    QString a = CreateUniqueFile(dir.path(), "QRP");
    QString b = CreateUniqueFile(dir.path(), "QRP");
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(a).fileName().startsWith("QRP"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(a).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(MessageOf([] { CreateUniqueFile("/nonexistent", "QRP"); }).left(18),
              "Cannot create file");
}

TEST(Errors, DisplayTextAppendsAFullStopAfterLettersOnly) {
    EXPECT_EQ(DisplayText("Cannot open file missing.qrp"), "Cannot open file missing.qrp.");
    EXPECT_EQ(DisplayText("Done."), "Done.");
    EXPECT_EQ(DisplayText("Really?"), "Really?.");                   // '?' sorts after '.'
    EXPECT_EQ(DisplayText("Ends with comma,"), "Ends with comma,");  // ',' sorts before '.'
    EXPECT_EQ(DisplayText(""), "");
}

}  // namespace
