// TQRPageList: the pages of one report in a single TQRStream laid out exactly
// as a saved-report file (.qrp), so that saving is a byte copy of the stream
// and opening is reading the file in place.
//
// File layout (little-endian; int32 signed; offsets absolute):
//   header, 128 bytes: uint16 3 at 0, uint16 350 at 2, int32 page count at 8,
//     float64 local date and time at 16 (days since 1899-12-30 plus the time
//     of day as a fraction), byte 25 = 1 for compressed records; the rest 0.
//   page records back to back from offset 128, page 1 first:
//     plain:      int32 page, int32 next (= R + 12 + L), L bytes of EMF, int32 R
//     compressed: int32 page, int32 next (= R + 16 + C), int32 L,
//                 C bytes of splay-tree code for the L bytes of EMF, int32 R
//   so the last 4 bytes of the file hold the offset of the last record.
//
// Reading trusts nothing in the file: the walk along the chain refuses links
// outside the file and gives up after NumPages hops (fewer when fewer records
// fit in the file), every record is checked to lie inside the file before it
// is read, and each fault ends in an ECorruptReport naming the file, the page
// and what is wrong.
#pragma once

#include "storage/qrstream.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class PagePicture;

// The header's date: days since 1899-12-30 plus the time of day as a fraction
// of a day, from the local date and time given.
double ReportDateTime(const QDateTime& local);

class TQRPageList {
  public:
    TQRPageList();
    ~TQRPageList();
    TQRPageList(const TQRPageList&) = delete;
    TQRPageList& operator=(const TQRPageList&) = delete;

    int32_t NumPages() const { return numPages_; }
    // Records are written and read in the compressed form. Set by the owner,
    // and by OpenFile from the file's header.
    bool Compressed() const { return compressed_; }
    void SetCompressed(bool compressed) { compressed_ = compressed; }

    // The stream that holds header and records; the list owns it. Setting a
    // new one (or nullptr) frees the one held before.
    TQRStream* PageStream() const { return pageStream_.get(); }
    void SetPageStream(std::unique_ptr<TQRStream> stream);

    // NumPages := 0; the stream is left alone.
    void ResetCount() { numPages_ = 0; }

    // The list's re-entrant lock, held by AppendPage and ReadPage for their
    // whole run; taken before the stream's own lock.
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    // Writes the header at offset 0 with the current count, local time and
    // form, and leaves the position at 128.
    void WriteHeader();
    // End of production: the header gets the final count and time.
    void CompleteList();
    // Reads the header and takes NumPages from it; leaves the position at 128.
    // A stream shorter than the header fails with ECorruptReport.
    void ReadHeader();

    // Frees the stream held, opens the file read-only in place (others may
    // still read and write it) and reads its header; Compressed follows the
    // header's flag. "Cannot open file %s" when it cannot be opened; on any
    // failure the list holds no stream and NumPages keeps its value.
    void OpenFile(const QString& fileName);
    // Creates the file (truncating, shared with nobody) and copies the whole
    // stream into it. "Cannot create file %s" when that fails, which includes
    // the file the stream itself has open. Leaves the stream at its end.
    void CopyToFile(const QString& fileName);

    // Adds the picture as page NumPages + 1 at the end of the stream; the
    // caller keeps the picture. The first page also writes the header.
    void AppendPage(const PagePicture& picture);
    // A new picture holding page n (1-based), or none when n is outside
    // 1..NumPages or there is no stream.
    std::unique_ptr<PagePicture> ReadPage(int32_t n);

    // How the last ReadPage found its record: a direct jump to the first or
    // the last record, or a walk from the record the stream stood at (after
    // a jump to the last record when it stood at the end). Hops counts the
    // records passed, negative when walking back. For tests and diagnostics.
    struct WalkTrace {
        enum class Start { None, FirstRecord, LastRecord, Here, EndThenLast };
        Start start = Start::None;
        int32_t hops = 0;
    };
    const WalkTrace& LastWalk() const { return lastWalk_; }

  private:
    void GoToFirstRecord();
    void GoToLastRecord();
    void GoToPage(int32_t n);
    void BeginRecord();
    void EndRecord();
    std::unique_ptr<PagePicture> ReadRecordAtPosition(int32_t n);

    // Helpers for reading a chain that may be damaged.
    int32_t ReadInt32At(int32_t offset);
    bool IsRecordStart(int64_t offset) const;
    [[noreturn]] void Corrupt(const QString& fault) const;

    std::recursive_mutex lock_;
    bool compressed_ = false;
    int32_t numPages_ = 0;
    std::unique_ptr<TQRStream> pageStream_;
    // The form byte of the header ReadHeader read last.
    bool headerCompressed_ = false;
    // The stream's size while one page operation runs.
    int32_t streamSize_ = 0;
    // The record being written: its start and the offset of its next-record
    // field, which EndRecord patches.
    int32_t recordStart_ = 0;
    int32_t nextLinkAt_ = 0;
    WalkTrace lastWalk_;
};
