// The splay-tree coder: fixed codes from a fresh tree, bit-exactness against
// a plain bit-at-a-time coder, round trips that consume exactly the code
// bytes, and damaged code.
#include "storage/qrcompress.h"
#include "bench/splay_baseline.h"
#include "platform/errors.h"
#include "storage_testutil.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

QByteArray Bytes(const TMemoryStream& m) {
    return QByteArray(reinterpret_cast<const char*>(m.Memory()), m.DataSize());
}

QByteArray Encode(const QByteArray& in) {
    TMemoryStream m;
    TQRCompress c(m, true);
    c.EncodeBytes(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
    c.Finish();
    return Bytes(m);
}

QByteArray EncodeWithBaseline(const QByteArray& in) {
    TMemoryStream m;
    {
        SplayBaseline c(m, true);
        for (char ch : in)
            c.EncodeByte(uint8_t(ch));
    }
    return Bytes(m);
}

// A stream that hands out at most 5 bytes per read, as a slow source might.
class TrickleStream : public TMemoryStream {
  public:
    int32_t Read(void* buffer, int32_t count) override {
        return TMemoryStream::Read(buffer, std::min(count, 5));
    }
};

TEST(SplayCoder, FreshTreeCodesMatchTheWorkedExamples) {
    struct Case {
        QByteArray input;
        QByteArray code;
    };
    const Case cases[] = {
        {"abc", QByteArray::fromHex("463D01")},
        {QByteArray("\xFF", 1), QByteArray::fromHex("0000")},  // nine 0 bits
        {QByteArray("\x00", 1), QByteArray::fromHex("80")},    // 0000000 then 1
        {QByteArray("\xFE", 1), QByteArray::fromHex("FF")},    // eight 1 bits
        {QByteArray(), QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.toHex().toStdString());
        TMemoryStream m;
        {
            // Byte by byte, and no Finish: destruction writes the last
            // partly filled byte.
            TQRCompress coder(m, true);
            for (char ch : c.input)
                coder.EncodeByte(uint8_t(ch));
        }
        EXPECT_EQ(Bytes(m).toHex(), c.code.toHex());

        m.SetPosition(0);
        TQRCompress decoder(m, false);
        for (char ch : c.input)
            EXPECT_EQ(decoder.DecodeByte(), uint8_t(ch));
        decoder.Finish();
        EXPECT_EQ(m.Position(), c.code.size());
    }
}

QByteArray AllByteValues(bool descending) {
    QByteArray b(256, 0);
    for (int i = 0; i < 256; ++i)
        b[i] = char(descending ? 255 - i : i);
    return b;
}

QByteArray RandomBytes(int count, uint32_t start, int alphabet) {
    std::mt19937 gen(start);
    std::uniform_int_distribution<int> dist(0, alphabet - 1);
    QByteArray b(count, 0);
    for (char& ch : b)
        ch = char(dist(gen));
    return b;
}

TEST(SplayCoder, RoundTripsAreBitExactAndConsumeExactlyTheCode) {
    struct Case {
        std::string name;
        QByteArray input;
    };
    QByteArray cycles;
    for (int k = 0; k < 40; ++k)
        cycles += AllByteValues(k % 2 == 1);
    const Case cases[] = {
        {"one byte", "x"},
        {"all values ascending", AllByteValues(false)},
        {"all values descending", AllByteValues(true)},
        {"all values, 40 passes", cycles},
        {"long run of 0xFF", QByteArray(70000, '\xFF')},
        {"long run of 0x00", QByteArray(70000, '\0')},
        {"runs that change value", QByteArray(3000, 'a') + QByteArray(5, 'b') +
                                       QByteArray(3000, '\x80') + QByteArray(1, '\xFF')},
        {"random bytes", RandomBytes(120000, 20240101, 256)},
        {"random over 4 values", RandomBytes(50000, 7, 4)},
        {"a blank page", BlankPage(800, 600)->Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray code = Encode(c.input);
        ASSERT_EQ(code, EncodeWithBaseline(c.input)) << "differs from the plain coder";

        // The code sits between other data; decoding must stop right after
        // it however much of what follows the decoder read ahead.
        for (const QByteArray tail : {QByteArray(), QByteArray("T"), QByteArray("TAIL")}) {
            SCOPED_TRACE(tail.size());
            const QByteArray framed = "HEAD" + code + tail;
            TMemoryStream plain;
            TrickleStream trickle;
            for (TMemoryStream* s : {&plain, static_cast<TMemoryStream*>(&trickle)}) {
                s->WriteBuffer(framed.constData(), int32_t(framed.size()));
                s->SetPosition(4);
                TQRCompress decoder(*s, false);
                QByteArray out(c.input.size(), 0);
                // A few symbols one at a time, the rest in bulk.
                const int single = int(std::min<qsizetype>(7, c.input.size()));
                for (int i = 0; i < single; ++i)
                    out[i] = char(decoder.DecodeByte());
                decoder.DecodeBytes(reinterpret_cast<uint8_t*>(out.data()) + single,
                                    size_t(out.size() - single));
                EXPECT_EQ(decoder.CodeBytes(), code.size());
                decoder.Finish();
                EXPECT_EQ(out, c.input);
                EXPECT_EQ(s->Position(), 4 + code.size());
                char rest[8];
                EXPECT_EQ(QByteArray(rest, s->Read(rest, 8)), tail);
            }
        }
    }
}

TEST(SplayCoder, DamagedCodeFailsInsteadOfInventingBytes) {
    struct Case {
        const char* name;
        QByteArray code;
        int symbols;
        const char* message;
    };
    const Case cases[] = {
        {"no code at all", QByteArray(), 1, "the coded data ends before the last symbol"},
        {"code for fewer symbols", Encode("abc"), 4, "the coded data ends before the last symbol"},
        {"a code that runs out mid-symbol", QByteArray::fromHex("00"), 1,
         "the coded data ends before the last symbol"},
        // Eight 0 bits and a 1 lead to the leaf that no encoder codes.
        {"the symbol never written", QByteArray::fromHex("0001"), 1,
         "the coded data holds a symbol that is never written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream m;
        m.WriteBuffer(c.code.constData(), int32_t(c.code.size()));
        m.SetPosition(0);
        TQRCompress decoder(m, false);
        std::vector<uint8_t> out(size_t(c.symbols));
        QString message;
        try {
            decoder.DecodeBytes(out.data(), out.size());
        } catch (const ECorruptReport& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, c.message);
    }
}

TEST(SplayCoder, EncoderReportsATargetThatTakesNothing) {
    // A file opened for reading stores nothing.
    QTemporaryDir dir;
    const QString path = dir.path() + "/ro.bin";
    WriteWholeFile(path, "x");
    TFileStream readOnly(path, TFileStream::Mode::OpenRead);
    TQRCompress coder(readOnly, true);
    coder.EncodeBytes(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(MessageOf([&] { coder.Finish(); }), "Stream write error");
}

}  // namespace
