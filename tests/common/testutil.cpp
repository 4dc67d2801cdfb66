#include "testutil.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

QString CorpusEmfDir() {
    QByteArray env = qgetenv("VORLAXA_CORPUS_DIR");
    QString base = env.isEmpty() ? QStringLiteral(VORLAXA_CORPUS_DIR) : QString::fromLocal8Bit(env);
    QDir dir(base + QStringLiteral("/emf"));
    return dir.exists() ? dir.absolutePath() : QString();
}

QStringList CorpusEmfFiles() {
    QString dir = CorpusEmfDir();
    if (dir.isEmpty()) return {};
    QStringList out;
    for (const QString& name :
         QDir(dir).entryList({QStringLiteral("*.emf")}, QDir::Files, QDir::Name))
        out << dir + QLatin1Char('/') + name;
    return out;
}

QString SourceDir() {
    return QStringLiteral(VORLAXA_SOURCE_DIR);
}

QByteArray ReadWholeFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
    return f.readAll();
}

void WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}
