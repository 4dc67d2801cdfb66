// vorlaxa-cli's storage commands on real files: pack, unpack and info.
#include "cli/commands.h"
#include "storage/pagepicture.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

struct CliRun {
    int status = 0;
    QString out, err;
};

CliRun Execute(int (*command)(const CliRequest&, QTextStream&, QTextStream&),
               const QStringList& args) {
    QString error;
    std::optional<CliRequest> r = ParseCliArguments(args, &error);
    EXPECT_TRUE(r) << error.toStdString();
    CliRun run;
    QTextStream out(&run.out), err(&run.err);
    run.status = command(*r, out, err);
    return run;
}

// Every corpus metafile comes back byte for byte from a packed report, in
// both forms; a metafile whose header overstated its size comes back with
// the header corrected.
TEST(CliCommands, PackThenUnpackGivesBackEveryPage) {
    REQUIRE_CORPUS();
    const QStringList files = CorpusEmfFiles();
    QTemporaryDir dir;
    for (const char* form : {"plain", "compressed"}) {
        const QString report = dir.filePath(QStringLiteral("%1.qrp").arg(form));
        QStringList args{"pack", report};
        if (QLatin1String(form) == QLatin1String("compressed")) args << "--compress";
        CliRun packed = Execute(ExecutePack, args + files);
        ASSERT_EQ(packed.status, 0) << packed.err.toStdString();
        const QString out = dir.filePath(form);
        ASSERT_EQ(Execute(ExecuteUnpack, {"unpack", report, out}).status, 0);
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray original = ReadWholeFile(files[i]);
            PagePicture expected;
            bool repaired = false;
            expected.LoadFromBytes(original, &repaired);
            const QByteArray back = ReadWholeFile(
                QStringLiteral("%1/page-%2.emf").arg(out).arg(i + 1, 4, 10, QChar('0')));
            EXPECT_EQ(back, expected.Bytes()) << files[i].toStdString();
            if (!repaired)
                EXPECT_EQ(back, original) << files[i].toStdString();
            else
                EXPECT_TRUE(packed.err.contains(files[i])) << "a repaired page is reported";
        }
    }
}

TEST(CliCommands, InfoDescribesTheReportAsJson) {
    REQUIRE_CORPUS();
    QTemporaryDir dir;
    const QStringList files = CorpusEmfFiles().mid(0, 3);
    const QString report = dir.filePath("r.qrp");
    ASSERT_EQ(Execute(ExecutePack, QStringList{"pack", report, "--compress"} + files).status, 0);
    CliRun info = Execute(ExecuteInfo, {"info", "--json", report});
    ASSERT_EQ(info.status, 0);
    const QJsonObject o = QJsonDocument::fromJson(info.out.toUtf8()).object();
    EXPECT_EQ(QStringList(o.keys()),
              QStringList({"compressed", "date", "pages", "records", "size"}));
    EXPECT_EQ(o["pages"].toInt(), 3);
    EXPECT_TRUE(o["compressed"].toBool());
    EXPECT_EQ(o["size"].toInteger(), QFileInfo(report).size());
    EXPECT_TRUE(QDateTime::fromString(o["date"].toString(), Qt::ISODate).isValid());
    const QJsonArray records = o["records"].toArray();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[0].toObject()["offset"].toInt(), 128);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject rec = records[i].toObject();
        EXPECT_EQ(QStringList(rec.keys()),
                  QStringList({"height", "length", "number", "offset", "width"}));
        PagePicture p;
        p.LoadFromBytes(ReadWholeFile(files[i]));
        EXPECT_EQ(rec["number"].toInt(), i + 1);
        EXPECT_EQ(rec["length"].toInt(), p.Bytes().size());
        EXPECT_EQ(rec["width"].toInt(), p.Width());
        EXPECT_EQ(rec["height"].toInt(), p.Height());
    }
}

TEST(CliCommands, HeaderDatesReadAsLocalIsoTimes) {
    EXPECT_EQ(HeaderDateText(45292.5), "2024-01-01T12:00:00");
    EXPECT_EQ(HeaderDateText(0.0), "1899-12-30T00:00:00");
    EXPECT_EQ(HeaderDateText(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(HeaderDateText(1e300), "");
}

}  // namespace
