// Fuzz target for the splay-tree decoder. Input: a 16-bit little-endian count
// of symbols, then the code. The decoder must agree symbol for symbol with
// the plain bit-at-a-time coder, fail exactly where that one runs out or meets
// the symbol that is never coded, stop right after the code it used, and the
// symbols must encode back to that code.
#include "bench/splay_baseline.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "storage/qrcompress.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t count = size_t(data[0]) | size_t(data[1]) << 8;
    const int32_t codeSize = static_cast<int32_t>(size - 2);

    // The plain coder's answer: the symbols, up to where it cannot go on.
    std::vector<uint8_t> expected;
    bool expectFailure = false;
    {
        TMemoryStream code;
        code.WriteBuffer(data + 2, codeSize);
        code.SetPosition(0);
        SplayBaseline plain(code, false);
        for (size_t i = 0; i < count; ++i) {
            const int s = plain.DecodeByte();
            if (s < 0 || s > 255) {
                expectFailure = true;
                break;
            }
            expected.push_back(static_cast<uint8_t>(s));
        }
    }

    // Symbol by symbol, then in bulk: the same outcome both ways.
    for (bool bulk : {false, true}) {
        TMemoryStream code;
        code.WriteBuffer(data + 2, codeSize);
        code.SetPosition(0);
        TQRCompress decoder(code, false);
        std::vector<uint8_t> out(count);
        size_t done = 0;
        bool failed = false;
        try {
            if (bulk) {
                decoder.DecodeBytes(out.data(), count);
                done = count;
            } else {
                for (; done < count; ++done)
                    out[done] = decoder.DecodeByte();
            }
        } catch (const ECorruptReport&) {
            failed = true;
        }
        if (failed != expectFailure) std::abort();
        if (failed) {
            if (!bulk && done != expected.size()) std::abort();
            continue;
        }
        if (out != expected) std::abort();
        decoder.Finish();
        const int64_t used = decoder.CodeBytes();
        if (code.Position() != used || used > codeSize) std::abort();

        // Encoding the symbols gives back the code used; in its last byte only
        // the bits that were used, the rest 0.
        TMemoryStream again;
        {
            TQRCompress encoder(again, true);
            encoder.EncodeBytes(out.data(), out.size());
            encoder.Finish();
        }
        if (again.DataSize() != used) std::abort();
        for (int64_t i = 0; i + 1 < used; ++i)
            if (again.Memory()[i] != data[2 + i]) std::abort();
        if (used > 0) {
            const uint8_t mine = again.Memory()[used - 1], theirs = data[2 + used - 1];
            bool prefix = false;
            for (int bits = 1; bits <= 8; ++bits)
                prefix = prefix || mine == (theirs & ((1u << bits) - 1u));
            if (!prefix) std::abort();
        }
    }
    return 0;
}
