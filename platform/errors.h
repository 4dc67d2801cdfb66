// Failures of the platform layer and of the report library, as exceptions that
// carry the message text shown to the user. The texts are fixed: callers and
// tests compare them exactly.
#pragma once

#include <QString>
#include <exception>
#include <string>

// Root of every error this program raises on purpose. The message is what the
// standard error display shows.
class Exception : public std::exception {
  public:
    explicit Exception(QString message);
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    QString message_;
    std::string utf8_;
};

// A file could not be opened: "Cannot open file %s".
class EFOpenError : public Exception {
  public:
    explicit EFOpenError(const QString& fileName);
};

// A file could not be created or truncated: "Cannot create file %s".
class EFCreateError : public Exception {
  public:
    explicit EFCreateError(const QString& fileName);
};

// A stream could not take all the bytes it was given: "Stream write error".
class EWriteError : public Exception {
  public:
    EWriteError();
};

// A stream ran out before a fixed-size read: "Stream read error".
class EReadError : public Exception {
  public:
    EReadError();
};

// A memory stream could not grow: "Out of memory while expanding memory stream".
class EOutOfMemory : public Exception {
  public:
    EOutOfMemory();
};

// Data that should be an enhanced metafile is not one: "Metafile is not valid".
class EInvalidGraphic : public Exception {
  public:
    EInvalidGraphic();
    // A more precise reason for logs and the command-line tool; the message
    // the user sees stays the fixed text.
    explicit EInvalidGraphic(QString detail);
    const QString& Detail() const noexcept { return detail_; }

  private:
    QString detail_;
};

// A saved-report file whose structure is damaged (a broken record chain, a
// record that runs past the end). The message names the file's fault.
class ECorruptReport : public Exception {
  public:
    explicit ECorruptReport(const QString& what);
};

// Printer device failures: "Printing in progress", "Printer is not currently
// printing", and device failures with a message of their own.
class EPrinter : public Exception {
  public:
    explicit EPrinter(const QString& message);
};

// A count or index outside its range where the platform checks ranges:
// "Range check error".
class ERangeError : public Exception {
  public:
    ERangeError();
};

// The report library's own failures: "ZEZoravoz not ready", "Illegal call to NewPage".
class EQRError : public Exception {
  public:
    explicit EQRError(const QString& message);
};

// The text the standard error display shows for a message: a full stop is
// appended when the last character sorts after '.'.
QString DisplayText(const QString& message);
