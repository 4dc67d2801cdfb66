// A plain, bit-at-a-time splay-tree coder written line by line from the
// algorithm as published for the saved-report format: one code byte per
// stream call, one bit per loop step, parent links chased during the splay.
// The benchmark measures TQRCompress against it, and the tests use it as an
// independent oracle for the bit-exact output of TQRCompress.
#pragma once

#include "platform/stream.h"

#include <cstdint>

class SplayBaseline {
  public:
    SplayBaseline(TStream& target, bool encoding) : target_(target), encoding_(encoding) {
        for (int i = 1; i <= 512; ++i)
            up_[i] = static_cast<uint8_t>((i - 1) / 2);
        for (int j = 0; j <= 255; ++j) {
            left_[j] = static_cast<uint16_t>(2 * j + 1);
            right_[j] = static_cast<uint16_t>(2 * j + 2);
        }
        bitIndex_ = encoding ? 0 : 7;
        pendingByte_ = 0;
    }

    ~SplayBaseline() {
        if (encoding_ && bitIndex_ != 0) {
            uint8_t b = static_cast<uint8_t>(pendingByte_);
            target_.Write(&b, 1);
        }
    }

    SplayBaseline(const SplayBaseline&) = delete;
    SplayBaseline& operator=(const SplayBaseline&) = delete;

    void EncodeByte(uint8_t s) {
        uint8_t stack[257];
        int sp = 0;
        int a = s + 256;
        do {
            int p = up_[a];
            stack[sp++] = right_[p] == a ? 1 : 0;
            a = p;
        } while (a != 0);
        while (sp > 0) {
            if (stack[--sp] == 1) pendingByte_ |= uint16_t(1u << bitIndex_);
            if (bitIndex_ == 7) {
                uint8_t b = static_cast<uint8_t>(pendingByte_);
                target_.Write(&b, 1);
                bitIndex_ = 0;
                pendingByte_ = 0;
            } else {
                ++bitIndex_;
            }
        }
        SplayUp(s);
    }

    // Returns -1 when the target runs out of code bytes (where the original
    // would read on regardless).
    int DecodeByte() {
        int a = 0;
        do {
            if (bitIndex_ == 7) {
                uint8_t b;
                if (target_.Read(&b, 1) != 1) return -1;
                currentByte_ = b;
                bitIndex_ = 0;
            } else {
                ++bitIndex_;
            }
            if ((currentByte_ & (1u << bitIndex_)) == 0)
                a = left_[a];
            else
                a = right_[a];
        } while (a <= 255);
        int s = a - 256;
        SplayUp(s);
        return s;
    }

  private:
    void SplayUp(int s) {
        int a = s + 256;
        do {
            int c = up_[a];
            if (c != 0) {
                int d = up_[c];
                int b = left_[d];
                if (b == c) {
                    b = right_[d];
                    right_[d] = static_cast<uint16_t>(a);
                } else {
                    left_[d] = static_cast<uint16_t>(a);
                }
                if (left_[c] == a)
                    left_[c] = static_cast<uint16_t>(b);
                else
                    right_[c] = static_cast<uint16_t>(b);
                up_[a] = static_cast<uint8_t>(d);
                up_[b] = static_cast<uint8_t>(c);
                a = d;
            } else {
                a = c;
            }
        } while (a != 0);
    }

    TStream& target_;
    bool encoding_;
    uint8_t bitIndex_ = 0;
    uint16_t currentByte_ = 0;
    uint16_t pendingByte_ = 0;
    uint16_t left_[256];
    uint16_t right_[256];
    uint8_t up_[513] = {};
};
