// Helpers for the recorder's tests: record a drawing, walk the records of
// the result.
#pragma once

#include "platform/emf/header.h"
#include "platform/emf/recorder.h"

#include <QByteArray>
#include <QPainter>
#include <QString>
#include <cstring>
#include <functional>
#include <vector>

namespace rt {

inline const uint8_t* Data(const QByteArray& b) {
    return reinterpret_cast<const uint8_t*>(b.constData());
}

// One record of a metafile the test holds.
struct Rec {
    uint32_t type = 0, size = 0;
    const uint8_t* p = nullptr;

    uint32_t U32(size_t off) const { return off + 4 <= size ? emf::ReadU32(p + off) : 0xDEADBEEF; }
    int32_t I32(size_t off) const { return int32_t(U32(off)); }
    float F32(size_t off) const {
        const uint32_t u = U32(off);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    // n UTF-16 units at off, stopping at a NUL.
    QString String16(size_t off, size_t n) const {
        QString s;
        for (size_t i = 0; i < n && off + 2 * i + 2 <= size; ++i) {
            const uint16_t c = emf::ReadU16(p + off + 2 * i);
            if (c == 0) break;
            s.append(QChar(c));
        }
        return s;
    }
};

// The records of a well-framed metafile, header and EOF included.
inline std::vector<Rec> Records(const QByteArray& bytes) {
    std::vector<Rec> out;
    size_t off = 0;
    const size_t n = size_t(bytes.size());
    while (n - off >= 8) {
        Rec r{emf::ReadU32(Data(bytes) + off), emf::ReadU32(Data(bytes) + off + 4),
              Data(bytes) + off};
        if (r.size < 8 || r.size > n - off) break;
        out.push_back(r);
        off += r.size;
    }
    return out;
}

inline std::vector<Rec> RecordOf(const QByteArray& bytes, uint32_t type) {
    std::vector<Rec> out;
    for (const Rec& r : Records(bytes))
        if (r.type == type) out.push_back(r);
    return out;
}

// A metafile of w x h pixels holding what draw paints.
inline QByteArray Record(int w, int h, const std::function<void(QPainter&)>& draw) {
    emf::Recorder rec(w, h);
    {
        QPainter p(&rec);
        draw(p);
    }
    return rec.Finish();
}

}  // namespace rt
