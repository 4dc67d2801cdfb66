// Small helpers for the page storage tests.
#pragma once

#include "platform/emf/header.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "storage/pagepicture.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>

// The message of the Exception f throws, or an empty string.
inline QString MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

// count bytes of a pattern in which the byte at absolute offset i depends on
// i, so that misplaced or shifted data shows.
inline QByteArray Pattern(int32_t from, int32_t count) {
    QByteArray b(count, Qt::Uninitialized);
    for (int32_t k = 0; k < count; ++k) {
        const uint32_t i = uint32_t(from + k);
        b[k] = char((i * 131u + i / 251u) & 0xFF);
    }
    return b;
}

// Sets an environment variable for the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// A fresh folder that serves as the temporary directory for the scope, so a
// test sees exactly the spill files it caused.
class ScopedTempDir {
  public:
    ScopedTempDir() : env_("TMPDIR", QFile::encodeName(dir_.path())) {}
    QString Path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    ScopedEnv env_;
};

// A picture that draws nothing, widthPx by heightPx pixels at 96 pixels per
// inch: the smallest real page (128 bytes of metafile).
inline std::unique_ptr<PagePicture> BlankPage(int32_t widthPx, int32_t heightPx) {
    const emf::ReferenceDevice ref = emf::ScreenReferenceDevice(96);
    auto p = std::make_unique<PagePicture>();
    p->LoadFromBytes(emf::MakeBlankMetafile(emf::FrameForPixels(widthPx, heightPx, ref), ref));
    return p;
}

inline int32_t I32At(const QByteArray& b, int64_t offset) {
    return emf::ReadI32(reinterpret_cast<const uint8_t*>(b.constData()) + offset);
}

inline void PutI32(QByteArray& b, int64_t offset, int32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + i] = char((uint32_t(v) >> (8 * i)) & 0xFF);
}

// Everything a stream holds, read through CopyTo.
template <class Stream>
QByteArray AllBytes(Stream& s) {
    TMemoryStream m;
    s.CopyTo(m);
    return QByteArray(reinterpret_cast<const char*>(m.Memory()), m.DataSize());
}
