// Fuzz target for opening saved-report files: the input is written to a file,
// opened, and its pages read in both record forms, in an order that makes the
// page list jump and walk both ways. Saving it again must reproduce the input.
#include "platform/errors.h"
#include "platform/stream.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"

#include <QFile>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Two scratch files in the temporary directory for the whole run.
struct Scratch {
    QString input = CreateUniqueFile(TempDirectory(), QStringLiteral("QRPfuzz"));
    QString copy = CreateUniqueFile(TempDirectory(), QStringLiteral("QRPfuzz"));
    ~Scratch() {
        QFile::remove(input);
        QFile::remove(copy);
    }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(scratch.input);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            std::abort();
    }
    for (bool compressed : {false, true}) {
        TQRPageList list;
        try {
            list.OpenFile(scratch.input);
        } catch (const Exception&) {
            continue;
        }
        list.SetCompressed(compressed);
        const int32_t count = list.NumPages();
        // Forward from page 1, then the last pages backwards and a far jump.
        std::vector<int32_t> order;
        for (int32_t n = 1; n <= std::min(count, 24); ++n)
            order.push_back(n);
        for (int32_t n = count; n >= 1 && n > count - 8; --n)
            order.push_back(n);
        order.push_back(count / 2);
        order.push_back(0);
        for (int32_t n : order) {
            try {
                std::unique_ptr<PagePicture> page = list.ReadPage(n);
                if (page && page->Bytes().isEmpty()) std::abort();
            } catch (const Exception&) {
            }
        }
        // Saving is a byte copy, whatever the pages hold.
        list.CopyToFile(scratch.copy);
        if (ReadAll(scratch.copy) != bytes) std::abort();
    }
    return 0;
}
