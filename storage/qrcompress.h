// TQRCompress: the adaptive splay-tree prefix code (D. W. Jones's
// semi-splaying code, 1988) that compressed page records are stored in.
//
// The tree lives in arrays with the root at node 0: nodes 0..255 are internal,
// node 256 + s is the leaf of symbol s (0..255 are byte values; leaf 512,
// symbol 256, takes part in the rotations but is never coded). Every coder
// starts from the same complete tree, so the code of each page stands alone.
// Code bits fill each byte from its least significant bit up.
//
// Output is bit-exact with a plain bit-at-a-time coder, but the work is done
// in bulk: the decoder walks the tree from a 64-bit bit buffer that it refills
// from a block read of the target, records the path as it descends and splays
// along that record without chasing parent links; the encoder gathers code
// bytes in a block before writing them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class TStream;

class TQRCompress {
  public:
    // A coder that writes code bytes to target (encoding) or reads them from
    // target (decoding). The target is used, not owned.
    TQRCompress(TStream& target, bool encoding);
    // Calls Finish, swallowing any error; call Finish yourself to see errors.
    ~TQRCompress();
    TQRCompress(const TQRCompress&) = delete;
    TQRCompress& operator=(const TQRCompress&) = delete;

    bool Encoding() const { return encoding_; }
    TStream& Target() const { return target_; }

    // Encoding: appends the code of s and adapts the tree.
    void EncodeByte(uint8_t s);
    void EncodeBytes(const uint8_t* data, size_t count);

    // Decoding: takes the next code, adapts the tree and returns its symbol.
    // Fails with ECorruptReport when the target has no more code bytes.
    uint8_t DecodeByte();
    void DecodeBytes(uint8_t* out, size_t count);

    // Ends the coder's use of the target. Encoding: writes the code bytes
    // still held, the last partly filled one included (its unused high bits
    // are 0); "Stream write error" if the target takes fewer. Decoding: seeks
    // the target back over code bytes read ahead but not used, so that it
    // stands right after the last code byte a symbol needed. Later calls do
    // nothing.
    void Finish();

    // Code bytes written or used so far (a partly used byte counts as used).
    int64_t CodeBytes() const;

  private:
    void ResetTree();
    // Semi-splays the path recorded in path_[0..depth) (slot indices, root
    // first) that leads to the leaf `leaf`. Parent links are kept only when
    // encoding, which is the only mode that reads them.
    template <bool kKeepParents>
    void SplayPath(unsigned leaf, int depth);
    // Tops up bits_ from the block buffer, reading a new block from the target
    // when it is empty. Returns false when no code byte is left at all.
    bool Refill();
    void FlushOutput();

    TStream& target_;
    bool encoding_;
    bool finished_ = false;

    // child_[2 * n + 0] is the left child of internal node n, child_[2 * n + 1]
    // the right one; a child may be a leaf (256..512).
    std::array<uint16_t, 512> child_;
    // Parent of each node (encoding only): parents are internal, so 8 bits do.
    std::array<uint8_t, 513> up_;
    // The slots (2 * node + bit) that the current symbol's path takes from
    // the root down; a path is at most 256 steps long.
    std::array<uint16_t, 257> path_;

    // Bit buffer: the next code bit is bit 0 of bits_; nbits_ bits are valid.
    // Encoding collects bits the same way, from bit 0 up.
    uint64_t bits_ = 0;
    int nbits_ = 0;

    // Block of code bytes: read ahead (decoding) or waiting to be written
    // (encoding).
    static constexpr int kBlock = 4096;
    std::array<uint8_t, kBlock + 8> block_;
    int blockPos_ = 0;
    int blockEnd_ = 0;
    bool targetEnded_ = false;
    // Decoding: bytes taken from the target so far and bytes moved from the
    // block into bits_. Encoding: bytes handed to the target so far.
    int64_t fetched_ = 0;
    int64_t taken_ = 0;
};
