// Byte streams: the abstract stream with virtual Read, Write and Seek on signed
// 32-bit positions, a growable memory stream, and a file stream that carries
// over the share rules of the original platform.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
  public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes at the position; returns how many were read
    // (fewer at the end of the data, 0 there).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes count bytes at the position; returns how many were written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position and returns the new one. Origin is soFromBeginning,
    // soFromCurrent or soFromEnd.
    virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;

    int32_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int32_t pos) { Seek(pos, soFromBeginning); }
    // Size through Seek: remember the position, seek to the end, seek back.
    int32_t Size();

    // Fixed-size transfers: a short read fails with "Stream read error", a short
    // write with "Stream write error".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    int32_t ReadInt32();
    void WriteInt32(int32_t value);
};

// A growable stream in memory. Writing past the end grows it; a gap left by a
// seek past the end reads as zeros.
class TMemoryStream : public TStream {
  public:
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    const uint8_t* Memory() const { return data_.data(); }
    int32_t DataSize() const { return static_cast<int32_t>(data_.size()); }
    // Empties the stream and returns the position to 0.
    void Clear();
    // Reserves room for bytes that are about to arrive, without changing the size.
    void Reserve(int32_t bytes);
    // Hands the bytes over and leaves the stream empty.
    std::vector<uint8_t> Release();

  private:
    std::vector<uint8_t> data_;
    int32_t position_ = 0;
};

// A stream over a file.
//   OpenRead: an existing file, read only; others may still read and write it.
//   Create:   create or truncate, read and write; shared with nobody.
// Within this process the share rules are enforced by the file's identity
// (device and inode), so no spelling of a path gets around them: a file that
// any stream holds cannot be created anew, and a file held by Create cannot
// be opened again.
class TFileStream : public TStream {
  public:
    enum class Mode { OpenRead, Create };

    // Fails with "Cannot open file %s" (OpenRead) or "Cannot create file %s"
    // (Create), the name as given.
    TFileStream(const QString& fileName, Mode mode);
    ~TFileStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    // On a read-only stream nothing is stored and 0 is returned.
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    const QString& FileName() const { return fileName_; }

  private:
    // Closes the descriptor and drops this stream's entry in the share table.
    void Close();

    QString fileName_;
    int fd_ = -1;
    Mode mode_;
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
};

// True when a stream of this process holds the file that path names (through
// any spelling of it).
bool IsFileHeldOpen(const QString& path);

// The user's temporary directory: TMPDIR when set and usable, else /tmp.
QString TempDirectory();

// Creates a new, empty file with a unique name beginning with prefix in dir,
// exclusively and readable and writable by the owner only, and returns its
// full name. Fails with "Cannot create file %s" naming the pattern it tried.
QString CreateUniqueFile(const QString& dir, const QString& prefix);
