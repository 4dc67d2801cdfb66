// TQRStream: the page stream that holds a report's header and page records.
// It lives in memory until a write takes it past its memory limit, then moves
// once into a temporary file ("spills") and stays there; or it reads a saved
// report file in place. Every operation runs under a re-entrant lock so that
// the position cannot move between the steps of one operation.
#pragma once

#include "platform/stream.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class TQRStream : public TStream {
  public:
    // A stream in memory that spills to a temporary file as soon as a write
    // makes it larger than memoryLimit bytes (a stream of exactly memoryLimit
    // bytes stays in memory).
    static std::unique_ptr<TQRStream> CreateInMemory(int32_t memoryLimit);
    // A stream on an existing file, opened for reading only while others may
    // still read and write it. Fails with "Cannot open file %s".
    static std::unique_ptr<TQRStream> CreateOnFile(const QString& fileName);

    // Frees the active store; a spill file is closed and deleted, an opened
    // file is only closed.
    ~TQRStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    // In memory, a write that takes the size past MemoryLimit moves the data
    // into a new temporary file. If that fails ("Cannot create file %s" or
    // "Stream write error") the data stays in memory and the next write tries
    // again. On a file opened for reading a write stores nothing and returns 0.
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    // Brackets a sequence of operations that must stay together. Re-entrant.
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    // Copies the whole content, from offset 0, into dest through one fixed
    // buffer; each chunk goes out with dest's own Write, the last with 0 bytes.
    // Leaves the position at the end of the data.
    void CopyTo(TStream& dest);

    // The size of the saved-report header that precedes the page records.
    int32_t HeaderSize() const { return 128; }

    bool InMemory() const { return inMemory_; }
    // The temporary file this stream spilled into; empty before a spill and in
    // file mode.
    const QString& TempFileName() const { return tempFileName_; }
    // The spill threshold in bytes; 0 in file mode.
    int32_t MemoryLimit() const { return memoryLimit_; }
    // The file the data lives in: the opened file, or the spill file; empty
    // while in memory. Error messages name it.
    QString FileName() const;

    // Bytes of data held in memory: the memory store's size, 0 once spilled.
    int32_t MemoryInUse() const;
    // Total bytes returned by Read since creation, for tests and diagnostics
    // that need to show how much of a file an operation touched.
    int64_t BytesRead() const { return bytesRead_; }

  private:
    TQRStream() = default;
    TStream& Active();
    // Moves the memory store into a new temporary file; on failure removes the
    // file it reserved and leaves the memory store active.
    void Spill();

    std::recursive_mutex lock_;
    std::unique_ptr<TMemoryStream> memStream_;
    QString tempFileName_;
    std::unique_ptr<TFileStream> diskStream_;
    bool inMemory_ = false;
    int32_t memoryLimit_ = 0;
    int64_t bytesRead_ = 0;
};

// Reserves a new, empty, uniquely named file beginning with "QRP" in the
// user's temporary directory and returns its full name.
QString NewTempFileName();
