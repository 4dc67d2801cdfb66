#include "platform/stream.h"

#include "platform/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

// ---------------------------------------------------------------------------
// TStream

int32_t TStream::Size() {
    int32_t pos = Seek(0, soFromCurrent);
    int32_t size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int32_t TStream::ReadInt32() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                                uint32_t(b[3]) << 24);
}

void TStream::WriteInt32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteBuffer(b, 4);
}

// ---------------------------------------------------------------------------
// TMemoryStream

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || position_ < 0) return 0;
    int64_t avail = static_cast<int64_t>(data_.size()) - position_;
    if (avail <= 0) return 0;
    int32_t n = static_cast<int32_t>(std::min<int64_t>(avail, count));
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0 || position_ < 0) return 0;
    int64_t end = static_cast<int64_t>(position_) + count;
    if (end > INT32_MAX) throw EOutOfMemory();
    try {
        if (static_cast<size_t>(end) > data_.size()) {
            if (static_cast<size_t>(end) > data_.capacity()) {
                // Grow geometrically so that a stream written in small pieces
                // costs amortised constant time per byte.
                size_t want = std::max<size_t>(static_cast<size_t>(end), data_.capacity() * 3 / 2);
                data_.reserve(std::min<size_t>(want, static_cast<size_t>(INT32_MAX)));
            }
            data_.resize(static_cast<size_t>(end));
        }
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = static_cast<int32_t>(end);
    return count;
}

int32_t TMemoryStream::Seek(int32_t offset, uint16_t origin) {
    int64_t base = 0;
    switch (origin) {
        case soFromBeginning:
            base = 0;
            break;
        case soFromCurrent:
            base = position_;
            break;
        case soFromEnd:
            base = static_cast<int64_t>(data_.size());
            break;
        default:
            return position_;
    }
    int64_t p = base + offset;
    // A position before the start or beyond the 32-bit range is not taken.
    if (p >= 0 && p <= INT32_MAX) position_ = static_cast<int32_t>(p);
    return position_;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::Reserve(int32_t bytes) {
    if (bytes <= 0) return;
    try {
        data_.reserve(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
}

std::vector<uint8_t> TMemoryStream::Release() {
    std::vector<uint8_t> out;
    out.swap(data_);
    position_ = 0;
    return out;
}

// ---------------------------------------------------------------------------
// The process's table of open files, keyed by device and inode, which carries
// the share rules: a Create handle is exclusive, OpenRead handles share.

namespace {

struct Holders {
    int readers = 0;
    bool exclusive = false;
};

std::mutex& TableLock() {
    static std::mutex m;
    return m;
}

std::map<std::pair<uint64_t, uint64_t>, Holders>& Table() {
    static std::map<std::pair<uint64_t, uint64_t>, Holders> t;
    return t;
}

QByteArray NativePath(const QString& name) {
    return QFile::encodeName(name);
}

}  // namespace

bool IsFileHeldOpen(const QString& path) {
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0) return false;
    std::lock_guard<std::mutex> g(TableLock());
    auto it = Table().find({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
    return it != Table().end() && (it->second.readers > 0 || it->second.exclusive);
}

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const QString& fileName, Mode mode) : fileName_(fileName), mode_(mode) {
    const QByteArray path = NativePath(fileName);
    if (fileName.isEmpty()) {
        if (mode == Mode::OpenRead) throw EFOpenError(fileName);
        throw EFCreateError(fileName);
    }
    if (mode == Mode::OpenRead) {
        int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw EFOpenError(fileName);
        struct stat st {};
        // Only regular files hold saved reports; a directory or a device is
        // refused here rather than failing in some odd way later. A file past
        // the 32-bit range cannot be addressed by the stream's positions.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > INT32_MAX) {
            ::close(fd);
            throw EFOpenError(fileName);
        }
        std::lock_guard<std::mutex> g(TableLock());
        auto& h = Table()[{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}];
        if (h.exclusive) {
            ::close(fd);
            throw EFOpenError(fileName);
        }
        ++h.readers;
        fd_ = fd;
        device_ = st.st_dev;
        inode_ = st.st_ino;
        return;
    }

    // Create: open without truncating first, so that a file that another
    // stream holds is left intact when the share check refuses it.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw EFCreateError(fileName);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFCreateError(fileName);
    }
    {
        std::lock_guard<std::mutex> g(TableLock());
        auto key =
            std::make_pair(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
        auto& h = Table()[key];
        if (h.exclusive || h.readers > 0) {
            ::close(fd);
            throw EFCreateError(fileName);
        }
        h.exclusive = true;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    fd_ = fd;
    if (::ftruncate(fd, 0) != 0) {
        Close();
        throw EFCreateError(fileName);
    }
}

TFileStream::~TFileStream() {
    Close();
}

void TFileStream::Close() {
    if (fd_ < 0) return;
    {
        std::lock_guard<std::mutex> g(TableLock());
        auto it = Table().find({device_, inode_});
        if (it != Table().end()) {
            if (mode_ == Mode::Create)
                it->second.exclusive = false;
            else
                --it->second.readers;
            if (!it->second.exclusive && it->second.readers <= 0) Table().erase(it);
        }
    }
    ::close(fd_);
    fd_ = -1;
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    int32_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd_, out + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0 || mode_ == Mode::OpenRead) return 0;
    // Keep every file within what a 32-bit position can address.
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0 || pos + static_cast<off_t>(count) > INT32_MAX) return 0;
    int32_t done = 0;
    auto* in = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(fd_, in + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t TFileStream::Seek(int32_t offset, uint16_t origin) {
    int whence = origin == soFromBeginning ? SEEK_SET
                 : origin == soFromCurrent ? SEEK_CUR
                                           : SEEK_END;
    if (origin > soFromEnd) return static_cast<int32_t>(::lseek(fd_, 0, SEEK_CUR));
    off_t cur = ::lseek(fd_, 0, SEEK_CUR);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? cur : ::lseek(fd_, 0, SEEK_END);
    off_t target = base + offset;
    if (target < 0 || target > INT32_MAX) {
        ::lseek(fd_, cur, SEEK_SET);
        return static_cast<int32_t>(cur);
    }
    return static_cast<int32_t>(::lseek(fd_, target, SEEK_SET));
}

// ---------------------------------------------------------------------------
// Temporary files

QString TempDirectory() {
    QByteArray env = qgetenv("TMPDIR");
    if (!env.isEmpty()) {
        QString dir = QFile::decodeName(env);
        struct stat st {};
        if (::stat(env.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return QDir::cleanPath(dir);
    }
    return QStringLiteral("/tmp");
}

QString CreateUniqueFile(const QString& dir, const QString& prefix) {
    QByteArray pattern = NativePath(dir + QLatin1Char('/') + prefix) + "XXXXXX";
    // mkstemp creates the file exclusively with mode 0600.
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw EFCreateError(QFile::decodeName(pattern));
    ::close(fd);
    return QFile::decodeName(pattern);
}
