// Fuzz target for the metafile reader and player: the input is a whole
// metafile. It is split into records (each described as the dump would),
// parsed into a picture and played onto a small image, through the trace
// device as well.
#include "platform/emf/describe.h"
#include "platform/emf/picture.h"
#include "platform/emf/reader.h"
#include "platform/emf/tracedevice.h"
#include "platform/errors.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>

namespace {

// Fonts and images need an application object, made once.
void EnsureApplication() {
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_emf_player";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureApplication();
    emf::Structure st;
    if (!emf::SplitRecords(data, size, st, nullptr)) return 0;
    for (const emf::RecordView& rec : st.records)
        (void)emf::DescribeRecord(rec);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        emf::Picture picture(bytes);
        QImage image(48, 32, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        picture.Play(painter, QRectF(0, 0, 48, 32));
        painter.end();
        emf::TraceDevice trace;
        picture.Replay(trace);
    } catch (const EInvalidGraphic&) {
        // Refused as a whole: fine, as long as it does not crash.
    }
    return 0;
}
