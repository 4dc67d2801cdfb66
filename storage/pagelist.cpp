#include "storage/pagelist.h"

#include <QFile>

#include "platform/emf/header.h"
#include "platform/errors.h"
#include "storage/pagepicture.h"
#include "storage/qrcompress.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr int kHeaderSize = 128;
// The smallest record: page number, next-record link and trailing offset.
constexpr int kMinRecord = 12;
// Decoded pages grow in steps of this size rather than by the stored length,
// so that a damaged length cannot reserve memory before data backs it.
constexpr int32_t kDecodeChunk = 64 * 1024;

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

double ReportDateTime(const QDateTime& local) {
    static const QDate kEpoch(1899, 12, 30);
    return double(kEpoch.daysTo(local.date())) +
           double(local.time().msecsSinceStartOfDay()) / 86400000.0;
}

TQRPageList::TQRPageList() = default;
TQRPageList::~TQRPageList() = default;

void TQRPageList::SetPageStream(std::unique_ptr<TQRStream> stream) {
    pageStream_ = std::move(stream);
}

[[noreturn]] void TQRPageList::Corrupt(const QString& fault) const {
    // Name the file when the stream reads one; a production stream (in memory
    // or spilled) is the report itself.
    if (pageStream_ && !pageStream_->InMemory() && pageStream_->TempFileName().isEmpty())
        throw ECorruptReport(
            QStringLiteral("Damaged report file %1: %2").arg(pageStream_->FileName(), fault));
    throw ECorruptReport(QStringLiteral("Damaged report: %1").arg(fault));
}

// ---------------------------------------------------------------------------
// Header

void TQRPageList::WriteHeader() {
    if (!pageStream_) return;
    uint8_t h[kHeaderSize] = {};
    PutU16(h + 0, 3);
    PutU16(h + 2, 350);
    PutU32(h + 8, static_cast<uint32_t>(numPages_));
    const uint64_t date = std::bit_cast<uint64_t>(ReportDateTime(QDateTime::currentDateTime()));
    PutU32(h + 16, uint32_t(date));
    PutU32(h + 20, uint32_t(date >> 32));
    h[25] = compressed_ ? 1 : 0;
    pageStream_->SetPosition(0);
    pageStream_->WriteBuffer(h, kHeaderSize);
}

void TQRPageList::CompleteList() {
    WriteHeader();
}

void TQRPageList::ReadHeader() {
    if (!pageStream_) return;
    TQRStream& s = *pageStream_;
    s.SetPosition(0);
    uint8_t h[kHeaderSize];
    const int32_t got = s.Read(h, s.HeaderSize());
    if (got < s.HeaderSize())
        Corrupt(QStringLiteral("it is %1 bytes long, shorter than the %2-byte header")
                    .arg(got)
                    .arg(s.HeaderSize()));
    numPages_ = emf::ReadI32(h + 8);
    // Every writer stores the form of its records in byte 25.
    headerCompressed_ = h[25] != 0;
}

void TQRPageList::OpenFile(const QString& fileName) {
    pageStream_.reset();
    pageStream_ = TQRStream::CreateOnFile(fileName);
    const int32_t previousCount = numPages_;
    try {
        ReadHeader();
        compressed_ = headerCompressed_;
    } catch (...) {
        numPages_ = previousCount;
        pageStream_.reset();
        throw;
    }
}

void TQRPageList::CopyToFile(const QString& fileName) {
    if (!pageStream_) return;
    auto file = std::make_unique<TFileStream>(fileName, TFileStream::Mode::Create);
    try {
        pageStream_->CopyTo(*file);
    } catch (...) {
        // A half-written copy is not a report: remove it rather than leave
        // a damaged file under the name the user chose.
        file.reset();
        QFile::remove(fileName);
        throw;
    }
}

// ---------------------------------------------------------------------------
// Writing

void TQRPageList::BeginRecord() {
    TQRStream& s = *pageStream_;
    recordStart_ = s.Seek(0, soFromEnd);
    s.WriteInt32(numPages_);
    nextLinkAt_ = s.Position();
    // A placeholder until EndRecord knows where the record ends.
    s.WriteInt32(nextLinkAt_);
}

void TQRPageList::EndRecord() {
    TQRStream& s = *pageStream_;
    s.WriteInt32(recordStart_);
    const int32_t end = s.Position();
    s.SetPosition(nextLinkAt_);
    s.WriteInt32(end);
    s.SetPosition(end);
}

void TQRPageList::AppendPage(const PagePicture& picture) {
    if (!pageStream_) throw Exception(QStringLiteral("No page stream to add the page to"));
    Guard g(lock_);
    TQRStream& s = *pageStream_;
    ++numPages_;
    if (numPages_ == 1) WriteHeader();
    if (compressed_) {
        TMemoryStream metafile;
        picture.SaveToStream(metafile);
        BeginRecord();
        TQRCompress codec(s, true);
        s.WriteInt32(metafile.DataSize());
        codec.EncodeBytes(metafile.Memory(), static_cast<size_t>(metafile.DataSize()));
        codec.Finish();
    } else {
        BeginRecord();
        picture.SaveToStream(s);
    }
    EndRecord();
}

// ---------------------------------------------------------------------------
// Reading

int32_t TQRPageList::ReadInt32At(int32_t offset) {
    pageStream_->SetPosition(offset);
    return pageStream_->ReadInt32();
}

bool TQRPageList::IsRecordStart(int64_t offset) const {
    return offset >= kHeaderSize && offset + kMinRecord <= streamSize_;
}

void TQRPageList::GoToFirstRecord() {
    if (!IsRecordStart(kHeaderSize)) Corrupt(QStringLiteral("no page record follows the header"));
    pageStream_->SetPosition(kHeaderSize);
}

void TQRPageList::GoToLastRecord() {
    if (!IsRecordStart(kHeaderSize)) Corrupt(QStringLiteral("no page record follows the header"));
    const int32_t last = ReadInt32At(streamSize_ - 4);
    if (!IsRecordStart(last))
        Corrupt(QStringLiteral("the link to the last record (offset %1) points outside the file")
                    .arg(last));
    pageStream_->SetPosition(last);
}

// Page 1 and the last page are reached by a direct jump; any other page by
// walking the chain from the record the stream stands at, forward along the
// next-record links or back along the trailing offsets, so paging to a
// neighbour costs one hop. The walk ends on the page sought, at the end of
// the chain, at a link outside the file, or after NumPages hops or as many
// hops as records fit in the stream, whichever is fewer (page numbers that
// never match); a link that does not move past the record is refused.
void TQRPageList::GoToPage(int32_t n) {
    TQRStream& s = *pageStream_;
    lastWalk_ = {};
    if (n == 1) {
        lastWalk_.start = WalkTrace::Start::FirstRecord;
        GoToFirstRecord();
        return;
    }
    if (n == numPages_) {
        lastWalk_.start = WalkTrace::Start::LastRecord;
        GoToLastRecord();
        return;
    }
    lastWalk_.start = WalkTrace::Start::Here;
    if (s.Position() == streamSize_) {
        lastWalk_.start = WalkTrace::Start::EndThenLast;
        GoToLastRecord();
    }
    int32_t r = s.Position();
    if (!IsRecordStart(r))
        Corrupt(QStringLiteral("looking for page %1 from offset %2, which is not a record")
                    .arg(n)
                    .arg(r));
    int32_t c = ReadInt32At(r);
    const bool forward = n > c;
    // A sound chain reaches any page in fewer hops than there are pages, and
    // than there are records that fit in the stream.
    const int32_t maxHops = std::min<int32_t>(numPages_, (streamSize_ - kHeaderSize) / kMinRecord);
    int32_t hops = 0;
    while (c != n) {
        if (hops == maxHops)
            Corrupt(QStringLiteral("page %1 is not found within %2 records; the record chain "
                                   "loops or its page numbers are wrong")
                        .arg(n)
                        .arg(maxHops));
        ++hops;
        int32_t to;
        if (forward) {
            to = ReadInt32At(r + 4);
            if (to == streamSize_)
                Corrupt(
                    QStringLiteral("page %1 is missing; the record chain ends before it").arg(n));
        } else {
            if (r <= kHeaderSize)
                Corrupt(
                    QStringLiteral("page %1 is missing; the record chain begins after it").arg(n));
            to = ReadInt32At(r - 4);
        }
        if (!IsRecordStart(to))
            Corrupt(QStringLiteral("the record at offset %1 links to offset %2, outside the file")
                        .arg(r)
                        .arg(to));
        // Records follow each other in the file, so every hop moves the same
        // way: a walk can neither loop nor take longer than the file is long.
        if (forward && int64_t(to) < int64_t(r) + kMinRecord)
            Corrupt(QStringLiteral("the record at offset %1 links forward to offset %2, "
                                   "which is not after it")
                        .arg(r)
                        .arg(to));
        if (!forward && int64_t(to) + kMinRecord > int64_t(r))
            Corrupt(QStringLiteral("the record at offset %1 links back to offset %2, "
                                   "which is not before it")
                        .arg(r)
                        .arg(to));
        r = to;
        c = ReadInt32At(r);
    }
    lastWalk_.hops = forward ? hops : -hops;
    s.SetPosition(r);
}

std::unique_ptr<PagePicture> TQRPageList::ReadRecordAtPosition(int32_t n) {
    TQRStream& s = *pageStream_;
    const int32_t r = s.Position();
    const int32_t page = s.ReadInt32();
    if (page != n)
        Corrupt(QStringLiteral("the record at offset %1 holds page %2 where page %3 belongs")
                    .arg(r)
                    .arg(page)
                    .arg(n));
    s.ReadInt32();  // the next-record link; the walk already used it

    auto picture = std::make_unique<PagePicture>();
    if (compressed_) {
        if (streamSize_ - s.Position() < 8)
            Corrupt(QStringLiteral("the record of page %1 runs past the end of the file").arg(n));
        const int32_t length = s.ReadInt32();
        // Each symbol costs at least one bit of code, and the code must leave
        // room for the trailing offset.
        const int64_t codeRoom = int64_t(streamSize_) - s.Position() - 4;
        if (length < 0)
            Corrupt(QStringLiteral("page %1 gives a negative length (%2)").arg(n).arg(length));
        if (int64_t(length) > 8 * codeRoom)
            Corrupt(QStringLiteral("page %1 claims %2 bytes, more than its %3 bytes of code "
                                   "can hold")
                        .arg(n)
                        .arg(length)
                        .arg(codeRoom));
        if (uint32_t(length) > emf::kMaxMetafileBytes)
            Corrupt(QStringLiteral("page %1 claims %2 bytes, more than any page may hold")
                        .arg(n)
                        .arg(length));
        TMemoryStream metafile;
        metafile.Reserve(std::min(length, 16 * kDecodeChunk));
        try {
            TQRCompress codec(s, false);
            std::vector<uint8_t> chunk(static_cast<size_t>(std::min(length, kDecodeChunk)));
            for (int32_t left = length; left > 0;) {
                const int32_t k = std::min(left, kDecodeChunk);
                codec.DecodeBytes(chunk.data(), static_cast<size_t>(k));
                metafile.WriteBuffer(chunk.data(), k);
                left -= k;
            }
            codec.Finish();
        } catch (const ECorruptReport& e) {
            Corrupt(QStringLiteral("page %1: %2").arg(n).arg(e.Message()));
        }
        metafile.SetPosition(0);
        picture->LoadFromStream(metafile);
    } else {
        // A metafile that would run into the trailing offset or past the end
        // is a damaged record; data that is no metafile at all is left to the
        // picture, which says so.
        const int64_t room = int64_t(streamSize_) - s.Position();
        if (room < int64_t(emf::kMinHeaderSize) + 4)
            Corrupt(QStringLiteral("the record of page %1 runs past the end of the file").arg(n));
        {
            uint8_t head[emf::kMinHeaderSize];
            s.ReadBuffer(head, sizeof head);
            s.Seek(-int32_t(sizeof head), soFromCurrent);
            emf::Header header;
            if (emf::ParseHeader(head, sizeof head, header, nullptr) &&
                int64_t(header.bytes) + 4 > room)
                Corrupt(QStringLiteral("the record of page %1 runs past the end of the file: "
                                       "its metafile claims %2 bytes, %3 remain")
                            .arg(n)
                            .arg(header.bytes)
                            .arg(room - 4));
        }
        picture->LoadFromStream(s);
    }
    if (streamSize_ - s.Position() < 4)
        Corrupt(QStringLiteral("the record of page %1 runs past the end of the file").arg(n));
    s.ReadInt32();  // the trailing offset; the stream now stands at the next record
    return picture;
}

std::unique_ptr<PagePicture> TQRPageList::ReadPage(int32_t n) {
    if (n < 1 || n > numPages_ || !pageStream_) return nullptr;
    Guard g(lock_);
    TQRStream& s = *pageStream_;
    streamSize_ = s.Size();
    try {
        GoToPage(n);
        return ReadRecordAtPosition(n);
    } catch (...) {
        // Leave the stream where a later walk can start from.
        s.SetPosition(s.HeaderSize());
        throw;
    }
}
