// The render and dump commands of vorlaxa-cli, driven without a process.
#include "cli/render.h"
#include "emfbuilder.h"
#include "platform/errors.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using emftest::EmfBuilder;
using emftest::Rec;

namespace {

// One inch by half an inch: the frame is 2540 x 1270 hundredths of a
// millimetre.
QByteArray InchPage(QColor c) {
    EmfBuilder b(254, 127);
    b.Fill(0, 0, 127, 127, c);
    return b.Bytes();
}

struct CliRun {
    int status;
    QString out, err;
};

CliRun Execute(CliRequest::Verb verb, const QString& input, const QString& output,
               std::function<void(CliRequest&)> more = {}) {
    CliRequest r;
    r.verb = verb;
    r.input = input;
    r.output = output;
    if (more) more(r);
    CliRun run;
    QTextStream out(&run.out), err(&run.err);
    run.status =
        verb == CliRequest::Verb::Render ? ExecuteRender(r, out, err) : ExecuteDump(r, out, err);
    out.flush();
    err.flush();
    return run;
}

TEST(CliRender, PngAtTheAskedResolution) {
    QTemporaryDir dir;
    const QString emfPath = dir.filePath(QStringLiteral("page.emf"));
    WriteWholeFile(emfPath, InchPage(Qt::red));
    struct Case {
        int dpi, width;
        QSize size;
    } cases[] = {{96, 0, {96, 48}}, {300, 0, {300, 150}}, {96, 50, {50, 25}}};
    for (const auto& c : cases) {
        const QString png = dir.filePath(QStringLiteral("out.png"));
        const CliRun run = Execute(CliRequest::Verb::Render, emfPath, png, [&](CliRequest& r) {
            r.dpi = c.dpi;
            r.width = c.width;
        });
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QImage img(png);
        EXPECT_EQ(img.size(), c.size);
        EXPECT_EQ(img.pixel(c.size.width() / 4, c.size.height() / 2), qRgb(255, 0, 0));
        EXPECT_EQ(img.pixel(c.size.width() * 3 / 4, c.size.height() / 2), qRgb(255, 255, 255));
    }
}

TEST(CliRender, SvgAndPdfStayVector) {
    QTemporaryDir dir;
    const QString emfPath = dir.filePath(QStringLiteral("page.emf"));
    WriteWholeFile(emfPath, InchPage(Qt::blue));
    ASSERT_EQ(
        Execute(CliRequest::Verb::Render, emfPath, dir.filePath(QStringLiteral("p.svg"))).status,
        0);
    const QByteArray svg = ReadWholeFile(dir.filePath(QStringLiteral("p.svg")));
    EXPECT_TRUE(svg.contains("<svg"));
    EXPECT_TRUE(svg.contains("#0000ff"));
    EXPECT_FALSE(svg.contains("<image"));
    const QString pdfPath = dir.filePath(QStringLiteral("p.out"));
    ASSERT_EQ(Execute(CliRequest::Verb::Render, emfPath, pdfPath,
                      [](CliRequest& r) { r.format = QStringLiteral("pdf"); })
                  .status,
              0);
    const QByteArray pdf = ReadWholeFile(pdfPath);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // The sheet is the frame's physical size: 72 x 36 points.
    EXPECT_TRUE(QString::fromLatin1(pdf).contains(
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 72(\\.0*)? 36(\\.0*)?\\]"))));
}

TEST(CliRender, ReportPagesGetNumberedFiles) {
    QTemporaryDir dir;
    const QString qrp = dir.filePath(QStringLiteral("r.qrp"));
    {
        TQRPageList list;
        list.SetPageStream(TQRStream::CreateInMemory(1 << 20));
        for (QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
            PagePicture page;
            page.LoadFromBytes(InchPage(c));
            list.AppendPage(page);
        }
        list.CompleteList();
        list.CopyToFile(qrp);
    }
    const CliRun run =
        Execute(CliRequest::Verb::Render, qrp, dir.filePath(QStringLiteral("p-%02d.png")),
                [](CliRequest& r) { r.pages = QStringLiteral("3,1"); });
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("p-03.png"))).pixel(10, 10), qRgb(0, 0, 255));
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("p-01.png"))).pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("p-02.png"))));

    // Several pages into one PDF.
    const QString pdf = dir.filePath(QStringLiteral("all.pdf"));
    ASSERT_EQ(Execute(CliRequest::Verb::Render, qrp, pdf).status, 0);
    EXPECT_EQ(ReadWholeFile(pdf).count("/Type /Page\n") +
                  ReadWholeFile(pdf).count("/Type /Page>>") +
                  ReadWholeFile(pdf).count("/Type /Page "),
              3);

    // Several pages need a number field.
    const CliRun bad =
        Execute(CliRequest::Verb::Render, qrp, dir.filePath(QStringLiteral("p.png")));
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(bad.err.contains(QLatin1String("page number"))) << bad.err.toStdString();
}

TEST(CliRender, PageFileNames) {
    bool has = false;
    EXPECT_EQ(PageFileName(QStringLiteral("out-%04d.png"), 7, &has),
              QStringLiteral("out-0007.png"));
    EXPECT_TRUE(has);
    EXPECT_EQ(PageFileName(QStringLiteral("p%d-100%%.svg"), 12, &has),
              QStringLiteral("p12-100%.svg"));
    EXPECT_TRUE(has);
    EXPECT_EQ(PageFileName(QStringLiteral("plain.png"), 3, &has), QStringLiteral("plain.png"));
    EXPECT_FALSE(has);
    EXPECT_EQ(PageFileName(QStringLiteral("x%s%n.png"), 3, &has), QStringLiteral("x%s%n.png"));
    EXPECT_FALSE(has);
}

TEST(CliRender, ErrorsNameTheFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.emf"));
    try {
        Execute(CliRequest::Verb::Render, missing, dir.filePath(QStringLiteral("o.png")));
        ADD_FAILURE() << "no error for a missing file";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(missing));
    }
    const QString broken = dir.filePath(QStringLiteral("broken.emf"));
    QByteArray bytes = InchPage(Qt::red);
    bytes.chop(8);
    WriteWholeFile(broken, bytes);
    EXPECT_THROW(Execute(CliRequest::Verb::Render, broken, dir.filePath(QStringLiteral("o.png"))),
                 EInvalidGraphic);
    const QString good = dir.filePath(QStringLiteral("good.emf"));
    WriteWholeFile(good, InchPage(Qt::red));
    const CliRun run = Execute(CliRequest::Verb::Render, good,
                               dir.filePath(QStringLiteral("no/such/folder/o.png")));
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.err.contains(QLatin1String("no/such/folder/o.png"))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1);
}

TEST(CliDump, ListsRecordsSkipsAndDrawing) {
    QTemporaryDir dir;
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red).Select(77);
    const QString path = dir.filePath(QStringLiteral("d.emf"));
    WriteWholeFile(path, b.Bytes());
    const CliRun run = Execute(CliRequest::Verb::Dump, path, QString());
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(
        QLatin1String("     108 CREATEBRUSHINDIRECT 24 ih 1 style 0 color #ff0000")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("RECTANGLE 24 box 0,0 5,5")));
    EXPECT_TRUE(run.out.contains(QLatin1String("SELECTOBJECT 12 ih 77\n         ! no object 77")));
    EXPECT_TRUE(run.out.contains(QLatin1String("drawing: 1 operations")));
    EXPECT_TRUE(run.out.contains(QLatin1String("  rect 0,0 5x5 pen=none brush=#ff0000")));
}

TEST(CliDump, ListsABrokenFileUpToItsFault) {
    QTemporaryDir dir;
    EmfBuilder b;
    b.Fill(0, 0, 5, 5, Qt::red);
    QByteArray bytes = b.Bytes();
    bytes.chop(8);
    const QString path = dir.filePath(QStringLiteral("d.emf"));
    WriteWholeFile(path, bytes);
    const CliRun run = Execute(CliRequest::Verb::Dump, path, QString());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains(QLatin1String("RECTANGLE")));
    EXPECT_TRUE(run.err.contains(path));
    EXPECT_TRUE(run.err.contains(QLatin1String("Metafile is not valid")));
}

}  // namespace
