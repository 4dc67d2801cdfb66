// Helpers shared by the tests: the real-world corpus, temporary folders,
// small file utilities.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The folder of real-world EMF files, or an empty string when it is absent
// (a fresh clone without the shared folder beside it).
QString CorpusEmfDir();
// Every .emf file in the corpus, sorted by name; empty when it is absent.
QStringList CorpusEmfFiles();
// The project's source folder.
QString SourceDir();

QByteArray ReadWholeFile(const QString& path);
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// Skips the current test with a visible message when the corpus is absent.
#define REQUIRE_CORPUS()                                                         \
    do {                                                                         \
        if (CorpusEmfDir().isEmpty())                                            \
            GTEST_SKIP() << "EMF corpus not found beside the project; skipping"; \
    } while (0)
