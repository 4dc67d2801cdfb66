// The bounded reader of enhanced metafiles: one reader over the whole data
// that splits it into records, and a sub-reader per record limited to the
// record's declared size. Every fixed-width read checks the bytes that
// remain; a read that falls outside returns zero and marks the reader failed,
// so a record handler reads its fields and then asks Ok() once.
#pragma once

#include "platform/emf/header.h"

#include <QPoint>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace emf {

class Reader {
  public:
    Reader() = default;
    Reader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }
    // True while no read has fallen outside the bytes.
    bool Ok() const { return ok_; }
    // Whether [off, off + len) lies inside, computed without overflow.
    bool Has(uint64_t off, uint64_t len) const {
        return off <= size_ && len <= uint64_t(size_) - off;
    }

    uint8_t U8(uint64_t off) { return Has(off, 1) ? data_[off] : Miss<uint8_t>(); }
    uint16_t U16(uint64_t off) { return Has(off, 2) ? ReadU16(data_ + off) : Miss<uint16_t>(); }
    int16_t I16(uint64_t off) { return static_cast<int16_t>(U16(off)); }
    uint32_t U32(uint64_t off) { return Has(off, 4) ? ReadU32(data_ + off) : Miss<uint32_t>(); }
    int32_t I32(uint64_t off) { return static_cast<int32_t>(U32(off)); }
    float F32(uint64_t off);
    QPoint PointL(uint64_t off) { return QPoint(I32(off), I32(off + 4)); }
    QPoint PointS(uint64_t off) { return QPoint(I16(off), I16(off + 2)); }
    RectL Rect(uint64_t off) { return RectL{I32(off), I32(off + 4), I32(off + 8), I32(off + 12)}; }

    // The bytes [off, off + len), or nullptr (and the reader failed) when
    // they do not all lie inside.
    const uint8_t* Bytes(uint64_t off, uint64_t len) {
        if (Has(off, len)) return data_ + off;
        ok_ = false;
        return nullptr;
    }
    // A reader limited to [off, off + len); a failed, empty one (and this
    // reader failed) when that range does not lie inside.
    Reader Sub(uint64_t off, uint64_t len);

  private:
    template <typename T>
    T Miss() {
        ok_ = false;
        return T{};
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool ok_ = true;
};

// One record of a metafile: where it starts in the data and what it holds.
struct RecordView {
    uint32_t type = 0;
    uint32_t offset = 0;  // from the start of the metafile
    uint32_t size = 0;    // the declared nSize, header included
    const uint8_t* data = nullptr;

    // A reader over exactly the record's declared bytes.
    Reader Read() const { return Reader(data, size); }
};

// The records of a metafile, as far as its structure is sound.
struct Structure {
    Header header;
    std::vector<RecordView> records;  // header first, EMR_EOF last when present
    bool endsWithEof = false;         // the records end in EMR_EOF
    size_t trailingBytes = 0;         // bytes after EMR_EOF, ignored
    bool sizeRepaired = false;        // the header claimed more bytes than the data holds
};

// A ceiling on the records of one picture: far above any real page, low
// enough that a picture's bookkeeping stays bounded.
constexpr size_t kMaxRecords = 16u * 1024u * 1024u;

// Splits the metafile in data into records. The picture is refused (false,
// with the reason in *why) when its header is not valid or when a record
// before EMR_EOF has a size below 8, not a multiple of 4, or running past
// the data. Bytes after EMR_EOF are ignored. A header whose nBytes overstates
// the data is accepted when the records still end in EMR_EOF at the end of
// the data (standalone files cut from a longer original do that); a
// metafile whose data ends at a record boundary without EMR_EOF is accepted
// too (what it holds can still be drawn).
bool SplitRecords(const uint8_t* data, size_t size, Structure& out, QString* why);

}  // namespace emf
