#include "platform/errors.h"

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toUtf8().toStdString()) {}

EFOpenError::EFOpenError(const QString& fileName)
    : Exception(QStringLiteral("Cannot open file %1").arg(fileName)) {}

EFCreateError::EFCreateError(const QString& fileName)
    : Exception(QStringLiteral("Cannot create file %1").arg(fileName)) {}

EWriteError::EWriteError() : Exception(QStringLiteral("Stream write error")) {}

EReadError::EReadError() : Exception(QStringLiteral("Stream read error")) {}

EOutOfMemory::EOutOfMemory()
    : Exception(QStringLiteral("Out of memory while expanding memory stream")) {}

EInvalidGraphic::EInvalidGraphic() : Exception(QStringLiteral("Metafile is not valid")) {}

EInvalidGraphic::EInvalidGraphic(QString detail)
    : Exception(QStringLiteral("Metafile is not valid")), detail_(std::move(detail)) {}

ECorruptReport::ECorruptReport(const QString& what) : Exception(what) {}

EPrinter::EPrinter(const QString& message) : Exception(message) {}

ERangeError::ERangeError() : Exception(QStringLiteral("Range check error")) {}

EQRError::EQRError(const QString& message) : Exception(message) {}

QString DisplayText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
    return message;
}
