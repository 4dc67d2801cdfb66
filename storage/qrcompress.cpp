#include "storage/qrcompress.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void StoreLE64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

}  // namespace

TQRCompress::TQRCompress(TStream& target, bool encoding) : target_(target), encoding_(encoding) {
    ResetTree();
}

TQRCompress::~TQRCompress() {
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; callers that care call Finish first.
    }
}

void TQRCompress::ResetTree() {
    // A complete binary tree: symbols 0..254 sit at depth 8 with the code
    // s + 1, symbols 255 and 256 at depth 9 below node 255.
    for (unsigned j = 0; j < 256; ++j) {
        child_[2 * j] = static_cast<uint16_t>(2 * j + 1);
        child_[2 * j + 1] = static_cast<uint16_t>(2 * j + 2);
    }
    up_[0] = 0;
    for (unsigned i = 1; i <= 512; ++i)
        up_[i] = static_cast<uint8_t>((i - 1) / 2);
}

// The semi-splay, walking up from the leaf two nodes at a time: a's
// grandparent d takes a in place of c's sibling b, and b takes a's place below
// c; then the walk goes on from d. The pairs come from the recorded path,
// which stays valid above d because each step only changes c and d.
template <bool kKeepParents>
inline void TQRCompress::SplayPath(unsigned leaf, int depth) {
    const uint16_t* const path = path_.data();
    unsigned a = leaf;
    for (int i = depth - 1; i >= 1; i -= 2) {
        const unsigned slotC = path[i];      // where a hangs below c
        const unsigned slotD = path[i - 1];  // where c hangs below d
        const unsigned sibling = slotD ^ 1u;
        const unsigned b = child_[sibling];
        child_[sibling] = static_cast<uint16_t>(a);
        child_[slotC] = static_cast<uint16_t>(b);
        if constexpr (kKeepParents) {
            up_[a] = static_cast<uint8_t>(slotD >> 1);
            up_[b] = static_cast<uint8_t>(slotC >> 1);
        }
        a = slotD >> 1;
    }
}

// ---------------------------------------------------------------------------
// Encoding

void TQRCompress::EncodeByte(uint8_t s) {
    EncodeBytes(&s, 1);
}

void TQRCompress::EncodeBytes(const uint8_t* data, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const unsigned leaf = 256u + data[k];
        // Walk up to the root, recording the slots from the leaf end, then
        // turn the record around so that it reads from the root.
        uint16_t* const path = path_.data();
        int depth = 0;
        for (unsigned a = leaf; a != 0;) {
            const unsigned p = up_[a];
            path[depth++] = static_cast<uint16_t>(2 * p + (child_[2 * p + 1] == a ? 1 : 0));
            a = p;
        }
        std::reverse(path, path + depth);
        // Emit the bits root end first into bits_, eight bytes at a time into
        // the block.
        for (int j = 0; j < depth; ++j) {
            bits_ |= uint64_t(path[j] & 1u) << nbits_;
            if (++nbits_ == 64) {
                if (blockPos_ + 8 > kBlock) FlushOutput();
                StoreLE64(block_.data() + blockPos_, bits_);
                blockPos_ += 8;
                bits_ = 0;
                nbits_ = 0;
            }
        }
        SplayPath<true>(leaf, depth);
    }
}

void TQRCompress::FlushOutput() {
    if (blockPos_ == 0) return;
    const int n = blockPos_;
    blockPos_ = 0;
    target_.WriteBuffer(block_.data(), n);
    fetched_ += n;
}

// ---------------------------------------------------------------------------
// Decoding

bool TQRCompress::Refill() {
    while (nbits_ < 56) {
        if (blockPos_ == blockEnd_) {
            if (targetEnded_) break;
            const int32_t n = target_.Read(block_.data(), kBlock);
            if (n <= 0) {
                targetEnded_ = true;
                break;
            }
            fetched_ += n;
            blockPos_ = 0;
            blockEnd_ = n;
        }
        if (blockEnd_ - blockPos_ >= 8) {
            // Take as many whole bytes as fit. The bits loaded beyond them
            // are the bytes that come next, in the places they will take, so
            // OR-ing them in again later changes nothing.
            bits_ |= LoadLE64(block_.data() + blockPos_) << nbits_;
            const int take = (63 - nbits_) >> 3;
            blockPos_ += take;
            taken_ += take;
            nbits_ += take * 8;
        } else {
            bits_ |= uint64_t(block_[blockPos_++]) << nbits_;
            taken_ += 1;
            nbits_ += 8;
        }
    }
    return nbits_ > 0;
}

// Decoding keeps the bit buffer in locals for the whole run and hands it back
// to the members only to refill it, to fail, or at the end.
void TQRCompress::DecodeBytes(uint8_t* out, size_t count) {
    uint16_t* const path = path_.data();
    const uint16_t* const child = child_.data();
    uint64_t bits = bits_;
    int nbits = nbits_;
    for (size_t k = 0; k < count; ++k) {
        unsigned a = 0;
        int depth = 0;
        for (;;) {
            if (nbits < 56) {
                bits_ = bits;
                nbits_ = nbits;
                Refill();
                bits = bits_;
                nbits = nbits_;
                if (nbits == 0)
                    throw ECorruptReport(
                        QStringLiteral("the coded data ends before the last symbol"));
            }
            // Walk down while bits last; one symbol may need more than the
            // buffer holds (a path has up to 256 steps).
            const int limit = depth + nbits;
            do {
                const unsigned slot = 2 * a + unsigned(bits & 1u);
                path[depth++] = static_cast<uint16_t>(slot);
                a = child[slot];
                bits >>= 1;
            } while (a < 256 && depth < limit);
            nbits = limit - depth;
            if (a >= 256) break;
        }
        // Leaf 512 stands for a symbol that no encoder ever writes: only
        // damaged data leads there.
        if (a == 512) {
            bits_ = bits;
            nbits_ = nbits;
            throw ECorruptReport(
                QStringLiteral("the coded data holds a symbol that is never written"));
        }
        SplayPath<false>(a, depth);
        out[k] = static_cast<uint8_t>(a - 256);
    }
    bits_ = bits;
    nbits_ = nbits;
}

uint8_t TQRCompress::DecodeByte() {
    uint8_t s;
    DecodeBytes(&s, 1);
    return s;
}

// ---------------------------------------------------------------------------

int64_t TQRCompress::CodeBytes() const {
    if (encoding_) return fetched_ + blockPos_ + (nbits_ + 7) / 8;
    // A byte counts as used once its first bit was needed.
    return taken_ - nbits_ / 8;
}

void TQRCompress::Finish() {
    if (finished_) return;
    finished_ = true;
    if (encoding_) {
        // The bytes still in bits_, the last one partly filled; its unused
        // high bits are 0.
        if (nbits_ > 0) {
            if (blockPos_ + 8 > kBlock) FlushOutput();
            StoreLE64(block_.data() + blockPos_, bits_);
            blockPos_ += (nbits_ + 7) / 8;
            bits_ = 0;
            nbits_ = 0;
        }
        FlushOutput();
        return;
    }
    const int64_t unused = fetched_ - CodeBytes();
    if (unused > 0) target_.Seek(static_cast<int32_t>(-unused), soFromCurrent);
}
