#include "cli/render.h"

#include "platform/emf/picture.h"
#include "platform/errors.h"
#include "storage/pagelist.h"
#include "storage/pagepicture.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <cmath>

namespace {

// Pixel counts beyond this are refused before an image is made for them.
constexpr int64_t kMaxRenderPixels = int64_t(1) << 28;

bool LooksLikeMetafile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(path);
    const QByteArray head = f.read(44);
    return head.size() == 44 && emf::ReadU32(reinterpret_cast<const uint8_t*>(head.data())) == 1 &&
           emf::ReadU32(reinterpret_cast<const uint8_t*>(head.data()) + 40) ==
               emf::ENHMETA_SIGNATURE;
}

// The page's physical size in millimetres: its frame, or its reference
// pixels at the reference device's resolution when the frame is empty.
QSizeF PageMillimetres(const PagePicture& page) {
    const emf::Header& h = page.Header();
    double w = (double(h.frame.right) - h.frame.left) / 100.0;
    double hh = (double(h.frame.bottom) - h.frame.top) / 100.0;
    if (w > 0 && hh > 0) return QSizeF(w, hh);
    if (const emf::Picture* p = page.Parsed()) {
        const QRectF f = p->Frame();
        return QSizeF(f.width() * h.deviceMmX / h.devicePxX,
                      f.height() * h.deviceMmY / h.devicePxY);
    }
    return QSizeF(1, 1);
}

QString FormatOf(const CliRequest& r) {
    if (!r.format.isEmpty()) return r.format;
    const QString suffix = QFileInfo(r.output).suffix().toLower();
    if (suffix == QLatin1String("pdf") || suffix == QLatin1String("svg")) return suffix;
    return QStringLiteral("png");
}

}  // namespace

PageInput::PageInput(const QString& path) {
    if (LooksLikeMetafile(path)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(path);
        single_ = std::make_unique<PagePicture>();
        single_->LoadFromBytes(f.readAll());
    } else {
        list_ = std::make_unique<TQRPageList>();
        list_->OpenFile(path);
    }
}

PageInput::~PageInput() = default;

int PageInput::Count() const {
    return single_ ? 1 : list_->NumPages();
}

std::unique_ptr<PagePicture> PageInput::Page(int n) {
    if (single_) {
        auto copy = std::make_unique<PagePicture>();
        copy->LoadFromBytes(single_->Bytes());
        return copy;
    }
    return list_->ReadPage(n);
}

QSize PagePixelSize(const PagePicture& page, int dpi, int width) {
    const QSizeF mm = PageMillimetres(page);
    if (width > 0)
        return QSize(width, std::max(1, int(std::lround(width * mm.height() / mm.width()))));
    return QSize(std::max(1, int(std::lround(mm.width() / 25.4 * dpi))),
                 std::max(1, int(std::lround(mm.height() / 25.4 * dpi))));
}

QString PageFileName(const QString& pattern, int page, bool* hasField) {
    static const QRegularExpression field(QStringLiteral("%(%|0?[0-9]{0,2}d)"));
    QString out;
    bool found = false;
    qsizetype at = 0;
    for (auto it = field.globalMatch(pattern); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += pattern.mid(at, m.capturedStart() - at);
        const QString spec = m.captured(1);
        if (spec == QLatin1String("%")) {
            out += QLatin1Char('%');
        } else {
            const bool zero = spec.startsWith(QLatin1Char('0'));
            const int digits = spec.mid(zero ? 1 : 0).chopped(1).toInt();
            out += QStringLiteral("%1").arg(page, digits, 10, QLatin1Char(zero ? '0' : ' '));
            found = true;
        }
        at = m.capturedEnd();
    }
    out += pattern.mid(at);
    if (hasField) *hasField = found;
    return out;
}

int ExecuteRender(const CliRequest& r, QTextStream& out, QTextStream& err) {
    PageInput input(r.input);
    QString why;
    const std::optional<QList<int>> pages = ParsePageRange(r.pages, input.Count(), &why);
    if (!pages) {
        err << "vorlaxa-cli: " << r.input << ": " << why << "\n";
        return 2;
    }
    if (pages->isEmpty()) {
        err << "vorlaxa-cli: " << r.input << ": no pages to render\n";
        return 1;
    }
    const QString format = FormatOf(r);
    bool hasField = false;
    PageFileName(r.output, 1, &hasField);
    if (format != QLatin1String("pdf") && pages->size() > 1 && !hasField) {
        err << "vorlaxa-cli: " << r.output
            << ": several pages need a page number in the output name, e.g. page-%04d." << format
            << "\n";
        return 2;
    }

    if (format == QLatin1String("pdf")) {
        // One PDF page per report page, at the sheet's physical size; the
        // drawing stays vector.
        QPdfWriter writer(r.output);
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("vorlaxa-cli"));
        QPainter painter;
        bool first = true;
        for (int n : *pages) {
            std::unique_ptr<PagePicture> page = input.Page(n);
            if (!page) throw ECorruptReport(QStringLiteral("page %1 cannot be read").arg(n));
            const QSizeF mm = PageMillimetres(*page);
            writer.setPageSize(
                QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            if (first) {
                if (!painter.begin(&writer)) {
                    err << "vorlaxa-cli: " << r.output << ": cannot write the PDF\n";
                    return 1;
                }
                first = false;
            } else if (!writer.newPage()) {
                err << "vorlaxa-cli: " << r.output << ": cannot add a page\n";
                return 1;
            }
            page->Draw(painter, QRectF(0, 0, writer.width(), writer.height()));
        }
        if (!painter.end()) {
            err << "vorlaxa-cli: " << r.output << ": cannot write the PDF\n";
            return 1;
        }
        out << "wrote " << r.output << " (" << pages->size() << " pages)\n";
        return 0;
    }

    for (int n : *pages) {
        std::unique_ptr<PagePicture> page = input.Page(n);
        if (!page) throw ECorruptReport(QStringLiteral("page %1 cannot be read").arg(n));
        const QSize px = PagePixelSize(*page, r.dpi, r.width);
        if (int64_t(px.width()) * px.height() > kMaxRenderPixels) {
            err << "vorlaxa-cli: " << r.input << ": page " << n << " would be " << px.width() << "x"
                << px.height() << " pixels, too large\n";
            return 1;
        }
        const QString name = PageFileName(r.output, n, nullptr);
        if (format == QLatin1String("svg")) {
            QSvgGenerator svg;
            svg.setFileName(name);
            svg.setSize(px);
            svg.setViewBox(QRect(QPoint(0, 0), px));
            svg.setResolution(r.width > 0 ? 96 : r.dpi);
            svg.setTitle(QFileInfo(r.input).fileName());
            QPainter painter;
            if (!painter.begin(&svg)) {
                err << "vorlaxa-cli: " << name << ": cannot write the SVG\n";
                return 1;
            }
            page->Draw(painter, QRectF(QPointF(0, 0), QSizeF(px)));
            painter.end();
            if (!QFileInfo::exists(name)) {
                err << "vorlaxa-cli: " << name << ": cannot write the SVG\n";
                return 1;
            }
        } else {
            QImage image(px, QImage::Format_RGB32);
            if (image.isNull()) {
                err << "vorlaxa-cli: " << r.input << ": no memory for page " << n << "\n";
                return 1;
            }
            image.fill(Qt::white);
            const double dpm = (r.width > 0 ? 96 : r.dpi) / 0.0254;
            image.setDotsPerMeterX(int(std::lround(dpm)));
            image.setDotsPerMeterY(int(std::lround(dpm)));
            {
                QPainter painter(&image);
                page->Draw(painter, QRectF(QPointF(0, 0), QSizeF(px)));
            }
            if (!image.save(name, "PNG")) {
                err << "vorlaxa-cli: " << name << ": cannot write the PNG\n";
                return 1;
            }
        }
        out << "wrote " << name << "\n";
    }
    return 0;
}
