#include "cli/commands.h"

#include "platform/errors.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"
#include "storage/qrstream.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>

namespace {

struct RecordInfo {
    int32_t number = 0;
    int32_t offset = 0;
    int32_t length = 0;  // the metafile's size in bytes
    int32_t stored = 0;  // what the page's data takes in the file
    int32_t width = 0;
    int32_t height = 0;
};

// Reads every page in order; the list leaves its stream at the start of the
// next record after each page, which gives each record's offset and size.
QList<RecordInfo> DescribeRecords(TQRPageList& list) {
    QList<RecordInfo> records;
    TQRStream* stream = list.PageStream();
    int32_t offset = stream->HeaderSize();
    for (int32_t n = 1; n <= list.NumPages(); ++n) {
        std::unique_ptr<PagePicture> picture = list.ReadPage(n);
        int32_t end = stream->Position();
        RecordInfo info;
        info.offset = offset;
        {
            stream->Lock();
            int32_t keep = stream->Position();
            stream->SetPosition(offset);
            info.number = stream->ReadInt32();
            stream->SetPosition(keep);
            stream->Unlock();
        }
        info.length = picture ? static_cast<int32_t>(picture->Bytes().size()) : 0;
        info.stored = end - offset - (list.Compressed() ? 16 : 12);
        info.width = picture ? picture->Width() : 0;
        info.height = picture ? picture->Height() : 0;
        records << info;
        offset = end;
    }
    return records;
}

double ReadHeaderDate(TQRStream& stream) {
    stream.Lock();
    int32_t keep = stream.Position();
    stream.SetPosition(16);
    uint8_t b[8];
    stream.ReadBuffer(b, 8);
    stream.SetPosition(keep);
    stream.Unlock();
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | b[i];
    double days;
    std::memcpy(&days, &bits, sizeof days);
    return days;
}

}  // namespace

QString HeaderDateText(double days) {
    // Dates outside years 100..9999 are not dates any writer produced.
    if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0) return {};
    double whole = std::floor(days);
    // A negative date counts its time of day forwards from the whole day
    // before it, as the fraction's absolute value.
    double fraction = std::fabs(days - std::trunc(days));
    if (days < 0) whole = std::ceil(days);
    qint64 ms = std::llround(fraction * 86400000.0);
    QDateTime t(QDate(1899, 12, 30).addDays(static_cast<qint64>(whole)), QTime(0, 0));
    return t.addMSecs(ms).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

int ExecuteInfo(const CliRequest& r, QTextStream& out, QTextStream& err) {
    TQRPageList list;
    list.OpenFile(r.input);
    const double days = ReadHeaderDate(*list.PageStream());
    const QString date = HeaderDateText(days);
    const qint64 size = QFileInfo(r.input).size();
    const QList<RecordInfo> records = DescribeRecords(list);

    if (r.json) {
        QJsonArray recs;
        for (const RecordInfo& i : records)
            recs.append(QJsonObject{{"number", i.number},
                                    {"offset", i.offset},
                                    {"length", i.length},
                                    {"width", i.width},
                                    {"height", i.height}});
        QJsonObject o{{"pages", list.NumPages()},
                      {"compressed", list.Compressed()},
                      {"date", date.isEmpty() ? QJsonValue() : QJsonValue(date)},
                      {"size", size},
                      {"records", recs}};
        out << QJsonDocument(o).toJson(QJsonDocument::Indented);
        return 0;
    }
    out << "File:  " << r.input << "\n"
        << "Size:  " << size << " bytes\n"
        << "Pages: " << list.NumPages() << "\n"
        << "Form:  " << (list.Compressed() ? "compressed" : "plain") << "\n"
        << "Date:  " << (date.isEmpty() ? QStringLiteral("(not a date: %1)").arg(days) : date)
        << "\n";
    if (!records.isEmpty()) {
        out << "\n  Page      Offset   Metafile     Stored   Width x Height\n";
        for (const RecordInfo& i : records)
            out << QStringLiteral("%1 %2 %3 %4 %5 x %6\n")
                       .arg(i.number, 6)
                       .arg(i.offset, 11)
                       .arg(i.length, 10)
                       .arg(i.stored, 10)
                       .arg(i.width, 7)
                       .arg(i.height);
    }
    return 0;
}

int ExecutePack(const CliRequest& r, QTextStream& out, QTextStream& err) {
    TQRPageList list;
    list.SetCompressed(r.compress);
    list.SetPageStream(TQRStream::CreateInMemory(100000));
    for (const QString& name : r.pictures) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(name);
        PagePicture picture;
        bool repaired = false;
        try {
            picture.LoadFromBytes(f.readAll(), &repaired);
        } catch (const EInvalidGraphic& e) {
            // Name the page file: the report's own name says nothing here.
            throw Exception(QStringLiteral("%1: %2%3")
                                .arg(name, e.Message(),
                                     e.Detail().isEmpty() ? QString() : " (" + e.Detail() + ")"));
        }
        if (repaired)
            err << name << ": the header's size and record count were corrected to the records "
                << "present\n";
        list.AppendPage(picture);
    }
    list.CompleteList();
    list.CopyToFile(r.output);
    out << "Wrote " << r.output << ": " << list.NumPages()
        << (list.NumPages() == 1 ? " page" : " pages") << (r.compress ? ", compressed\n" : "\n");
    return 0;
}

int ExecuteUnpack(const CliRequest& r, QTextStream& out, QTextStream& err) {
    TQRPageList list;
    list.OpenFile(r.input);
    QDir dir(r.output);
    if (!dir.exists() && !QDir().mkpath(r.output))
        throw Exception(QStringLiteral("Cannot create folder %1").arg(r.output));
    for (int32_t n = 1; n <= list.NumPages(); ++n) {
        std::unique_ptr<PagePicture> picture = list.ReadPage(n);
        if (!picture) break;
        const QString name =
            dir.filePath(QStringLiteral("page-%1.emf").arg(n, 4, 10, QLatin1Char('0')));
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(picture->Bytes()) != picture->Bytes().size() || !f.flush())
            throw EFCreateError(name);
    }
    out << "Wrote " << list.NumPages() << (list.NumPages() == 1 ? " page" : " pages") << " to "
        << r.output << "\n";
    return 0;
}
