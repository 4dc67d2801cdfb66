#include "storage/qrstream.h"

#include "platform/errors.h"

#include <QFile>
#include <array>

namespace {

// The chunk CopyTo moves at a time.
constexpr int32_t kCopyChunk = 10240;

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

QString NewTempFileName() {
    return CreateUniqueFile(TempDirectory(), QStringLiteral("QRP"));
}

std::unique_ptr<TQRStream> TQRStream::CreateInMemory(int32_t memoryLimit) {
    std::unique_ptr<TQRStream> s(new TQRStream);
    s->memStream_ = std::make_unique<TMemoryStream>();
    s->inMemory_ = true;
    s->memoryLimit_ = memoryLimit;
    return s;
}

std::unique_ptr<TQRStream> TQRStream::CreateOnFile(const QString& fileName) {
    std::unique_ptr<TQRStream> s(new TQRStream);
    s->diskStream_ = std::make_unique<TFileStream>(fileName, TFileStream::Mode::OpenRead);
    s->inMemory_ = false;
    s->memoryLimit_ = 0;
    return s;
}

TQRStream::~TQRStream() {
    Guard g(lock_);
    memStream_.reset();
    diskStream_.reset();
    // Only a spill file is ever deleted; in file mode the name is empty.
    if (!tempFileName_.isEmpty()) QFile::remove(tempFileName_);
}

TStream& TQRStream::Active() {
    if (inMemory_) return *memStream_;
    return *diskStream_;
}

QString TQRStream::FileName() const {
    if (inMemory_) return {};
    return diskStream_->FileName();
}

int32_t TQRStream::MemoryInUse() const {
    return inMemory_ ? memStream_->DataSize() : 0;
}

int32_t TQRStream::Read(void* buffer, int32_t count) {
    Guard g(lock_);
    const int32_t n = Active().Read(buffer, count);
    bytesRead_ += n;
    return n;
}

int32_t TQRStream::Write(const void* buffer, int32_t count) {
    Guard g(lock_);
    if (!inMemory_) return diskStream_->Write(buffer, count);
    const int32_t written = memStream_->Write(buffer, count);
    if (int64_t(memStream_->DataSize()) > int64_t(memoryLimit_)) Spill();
    return written;
}

int32_t TQRStream::Seek(int32_t offset, uint16_t origin) {
    Guard g(lock_);
    return Active().Seek(offset, origin);
}

void TQRStream::Spill() {
    const QString name = NewTempFileName();
    // The reserved name is removed again unless the move completes.
    struct Reservation {
        QString name;
        bool keep = false;
        ~Reservation() {
            if (!keep) QFile::remove(name);
        }
    } reservation{name};

    auto disk = std::make_unique<TFileStream>(name, TFileStream::Mode::Create);
    const int32_t size = memStream_->DataSize();
    if (disk->Write(memStream_->Memory(), size) != size) throw EWriteError();
    // The write that triggered the spill normally ended at the end of the data,
    // but a retry after a failed spill may come from a write in the middle:
    // carry the position over either way.
    disk->Seek(memStream_->Seek(0, soFromCurrent), soFromBeginning);

    reservation.keep = true;
    tempFileName_ = name;
    diskStream_ = std::move(disk);
    memStream_.reset();
    inMemory_ = false;
}

void TQRStream::CopyTo(TStream& dest) {
    Guard g(lock_);
    std::array<uint8_t, kCopyChunk> buffer;
    Seek(0, soFromBeginning);
    int32_t n;
    do {
        n = Read(buffer.data(), kCopyChunk);
        // A destination that takes fewer bytes (a full disk) must not pass
        // for a complete copy.
        if (dest.Write(buffer.data(), n) != n) throw EWriteError();
    } while (n != 0);
}
