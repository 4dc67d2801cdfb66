// Replays inputs through a fuzz target without libFuzzer: every file named on
// the command line, and every file inside each folder named, in name order.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int Replay(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    QByteArray bytes = f.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()));
    return 0;
}

int main(int argc, char** argv) {
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        QFileInfo info(QString::fromLocal8Bit(argv[i]));
        if (info.isDir()) {
            QDir dir(info.absoluteFilePath());
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                failures += Replay(dir.filePath(name));
                ++files;
            }
        } else if (info.exists()) {
            failures += Replay(info.absoluteFilePath());
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return failures == 0 ? 0 : 1;
}
