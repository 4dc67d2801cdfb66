// Every metafile of the real-world corpus parses, plays without error and
// draws something; no record type it uses is left to the "not drawn" path.
#include "platform/emf/picture.h"
#include "platform/emf/reader.h"
#include "platform/emf/records.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

using namespace emf;

namespace {

// The share of pixels that are not the background.
double Inked(const QImage& img) {
    int64_t n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            n += (line[x] & 0xFFFFFF) != 0xFFFFFF;
    }
    return double(n) / (double(img.width()) * img.height());
}

TEST(Corpus, EveryFilePlaysAndDrawsSomething) {
    REQUIRE_CORPUS();
    const QStringList files = CorpusEmfFiles();
    ASSERT_FALSE(files.isEmpty());
    for (const QString& path : files) {
        SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
        const QByteArray bytes = ReadWholeFile(path);
        std::unique_ptr<Picture> picture;
        try {
            picture = std::make_unique<Picture>(bytes);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "refused: " << e.what();
            continue;
        }
        for (const Note& n : picture->Notes()) {
            EXPECT_FALSE(n.text == QLatin1String("not drawn") ||
                         n.text == QLatin1String("unknown record type"))
                << RecordName(n.type) << " at " << n.offset;
        }
        // At most 400 pixels on the longer side, keeping the aspect.
        const QRectF frame = picture->Frame();
        const double k = 400.0 / std::max(frame.width(), frame.height());
        const QSize size(std::max(1, int(frame.width() * k)), std::max(1, int(frame.height() * k)));
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        picture->Play(painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        // A header whose bounds are empty says nothing was drawn.
        const RectL& b = picture->GetHeader().bounds;
        if (b.right >= b.left && b.bottom >= b.top)
            EXPECT_GT(Inked(img), 0.0005) << "blank at " << size.width() << "x" << size.height();
    }
}

TEST(Corpus, StandaloneFileWithOverstatedSizePlays) {
    REQUIRE_CORPUS();
    const QString path =
        CorpusEmfDir() + QStringLiteral("/emfreader__LibreOffice_37281_reduced.emf");
    if (!QFileInfo::exists(path)) GTEST_SKIP() << "file not in the corpus";
    const QByteArray bytes = ReadWholeFile(path);
    Structure st;
    QString why;
    ASSERT_TRUE(SplitRecords(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             size_t(bytes.size()), st, &why))
        << why.toStdString();
    EXPECT_TRUE(st.sizeRepaired);
    EXPECT_TRUE(st.endsWithEof);
    Picture picture(bytes);
    EXPECT_GT(picture.OperationCount(), 0u);
}

// Print-spool pages carry their text as glyph indices; played, they give
// back the words.
TEST(Corpus, SpoolPagesReadAsText) {
    REQUIRE_CORPUS();
    const QString path =
        CorpusEmfDir() + QStringLiteral("/emfspoolreader__EMFSpoolfileReader_00004.SPL_page1.emf");
    if (!QFileInfo::exists(path)) GTEST_SKIP() << "file not in the corpus";
    Picture picture(ReadWholeFile(path));
    struct Texts : Device {
        void SetTransform(const QTransform&) override {}
        void SetClip(const Clip*) override {}
        void DrawShape(const Shape&, const Paint&) override {}
        void DrawText(const TextRun& run) override { all += run.text + QLatin1Char('\n'); }
        void DrawImage(const ImageDraw&) override {}
        void Save() override {}
        void Restore() override {}
        QString all;
    } texts;
    picture.Replay(texts);
    EXPECT_TRUE(texts.all.contains(QLatin1String("Imports"))) << texts.all.left(300).toStdString();
    EXPECT_TRUE(texts.all.contains(QLatin1String("ShadowFileReader")));
}

}  // namespace
