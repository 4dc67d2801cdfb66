// Fuzz target for the DIB decoder. Input: one byte of iUsage, a 16-bit
// little-endian length of the BITMAPINFO part, that many bytes, and the bits
// (the rest). Both the colour and the index decoding run on it.
#include "platform/emf/dib.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Qt's image readers for the JPEG/PNG payloads need an application object.
void EnsureApplication() {
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_dib";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    EnsureApplication();
    const uint32_t usage = data[0] % 4;
    const size_t bmiSize = std::min<size_t>(size - 3, size_t(data[1]) | size_t(data[2]) << 8);
    const uint8_t* bmi = data + 3;
    const uint8_t* bits = bmi + bmiSize;
    const size_t bitsSize = size - 3 - bmiSize;
    QString why;
    QImage image = emf::DecodeDib(bmi, bmiSize, bits, bitsSize, usage, &why);
    if (!image.isNull() && image.width() > 0)
        (void)image.pixel(image.width() - 1, image.height() - 1);
    QImage indices = emf::DecodeDibIndices(bmi, bmiSize, bits, bitsSize, usage, &why);
    if (!indices.isNull()) (void)indices.pixelIndex(0, 0);
    return 0;
}
