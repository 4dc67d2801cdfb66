// The dump command: every record of a page, one line each (offset, name,
// size, key fields), the records the player skips or draws only in part
// with the reason under them, and the drawing operations the page makes,
// one line each, as the trace device writes them.
#include "cli/render.h"

#include "platform/emf/describe.h"
#include "platform/emf/picture.h"
#include "platform/emf/tracedevice.h"
#include "platform/errors.h"
#include "storage/pagepicture.h"

#include <QFile>
#include <map>

namespace {

// Lists the records of a metafile whose structure is broken, up to the
// fault.
void ListBroken(const QByteArray& bytes, QTextStream& out) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t size = size_t(bytes.size());
    size_t off = 0;
    while (off + 8 <= size) {
        const uint32_t recSize = emf::ReadU32(data + off + 4);
        if (recSize < 8 || recSize % 4 || recSize > size - off) break;
        emf::RecordView rec{emf::ReadU32(data + off), uint32_t(off), recSize, data + off};
        out << emf::DescribeRecord(rec) << "\n";
        off += recSize;
        if (rec.type == emf::EMR_EOF) break;
    }
}

// Dumps one page; false when its structure is broken.
bool DumpPage(const QByteArray& bytes, int n, QTextStream& out, QString* why) {
    emf::Structure st;
    if (!emf::SplitRecords(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           size_t(bytes.size()), st, why)) {
        out << "page " << n << ": metafile not valid: " << *why << "\n";
        ListBroken(bytes, out);
        return false;
    }
    emf::Picture picture(bytes);
    out << "page " << n << ": " << emf::DescribeHeader(st.header) << "\n";
    if (st.sizeRepaired)
        out << "  the header claims " << st.header.bytes << " bytes; the records end earlier\n";
    if (st.trailingBytes) out << "  " << st.trailingBytes << " bytes after EMR_EOF ignored\n";
    if (picture.EmfPlusOnly())
        out << "  EMF+ only: the GDI records drawn are the producer's fallback\n";
    std::multimap<uint32_t, const emf::Note*> notes;
    for (const emf::Note& note : picture.Notes())
        notes.emplace(note.record, &note);
    for (size_t i = 0; i < st.records.size(); ++i) {
        out << emf::DescribeRecord(st.records[i]) << "\n";
        auto range = notes.equal_range(uint32_t(i));
        for (auto it = range.first; it != range.second; ++it)
            out << "         ! " << it->second->text << "\n";
    }
    for (auto it = notes.lower_bound(uint32_t(st.records.size())); it != notes.end(); ++it)
        out << "! " << it->second->text << "\n";
    emf::TraceDevice trace;
    picture.Replay(trace);
    out << "drawing: " << picture.OperationCount() << " operations\n";
    for (const QString& line : trace.Lines())
        out << "  " << line << "\n";
    return true;
}

}  // namespace

int ExecuteDump(const CliRequest& r, QTextStream& out, QTextStream& err) {
    // A single metafile is read as it is, so that a broken one can still be
    // listed up to its fault.
    QFile f(r.input);
    if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(r.input);
    const QByteArray head = f.peek(44);
    const bool single =
        head.size() == 44 && emf::ReadU32(reinterpret_cast<const uint8_t*>(head.data())) == 1 &&
        emf::ReadU32(reinterpret_cast<const uint8_t*>(head.data()) + 40) == emf::ENHMETA_SIGNATURE;
    int status = 0;
    if (single) {
        QString why;
        const std::optional<QList<int>> pages = ParsePageRange(r.pages, 1, &why);
        if (!pages) {
            err << "vorlaxa-cli: " << r.input << ": " << why << "\n";
            return 2;
        }
        if (!DumpPage(f.readAll(), 1, out, &why)) {
            out.flush();
            err << "vorlaxa-cli: " << r.input << ": Metafile is not valid (" << why << ")\n";
            status = 1;
        }
        return status;
    }
    f.close();
    PageInput input(r.input);
    QString why;
    const std::optional<QList<int>> pages = ParsePageRange(r.pages, input.Count(), &why);
    if (!pages) {
        err << "vorlaxa-cli: " << r.input << ": " << why << "\n";
        return 2;
    }
    for (int n : *pages) {
        std::unique_ptr<PagePicture> page = input.Page(n);
        if (!page) throw ECorruptReport(QStringLiteral("page %1 cannot be read").arg(n));
        if (!DumpPage(page->Bytes(), n, out, &why)) {
            out.flush();
            err << "vorlaxa-cli: " << r.input << ": page " << n << ": Metafile is not valid ("
                << why << ")\n";
            status = 1;
        }
    }
    return status;
}
