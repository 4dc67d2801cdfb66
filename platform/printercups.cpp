#include "platform/printercups.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <cups/cups.h>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kUnstatedResolution = 300;

QString FromUtf8(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

// The destinations as libcups gives them, freed on every exit.
struct Destinations {
    cups_dest_t* list = nullptr;
    int count = 0;
    Destinations() { count = cupsGetDests2(CUPS_HTTP_DEFAULT, &list); }
    ~Destinations() {
        if (list) cupsFreeDests(count, list);
    }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;
};

QString DestName(const cups_dest_t& d) {
    QString name = FromUtf8(d.name);
    if (d.instance) name += QLatin1Char('/') + FromUtf8(d.instance);
    return name;
}

// What a destination answers about one attribute.
struct DestQuery {
    cups_dest_t* dest;
    cups_dinfo_t* info;
    ipp_attribute_t* Supported(const char* name) const {
        return cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, name);
    }
    ipp_attribute_t* Default(const char* name) const {
        return cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, name);
    }
    QStringList Keywords(const char* name) const {
        QStringList out;
        if (ipp_attribute_t* a = Supported(name)) {
            for (int i = 0; i < ippGetCount(a); ++i) {
                if (const char* s = ippGetString(a, i, nullptr)) out << QString::fromUtf8(s);
            }
        }
        return out;
    }
    QString DefaultKeyword(const char* name) const {
        if (const char* s = cupsGetOption(name, dest->num_options, dest->options))
            return QString::fromUtf8(s);
        ipp_attribute_t* a = Default(name);
        const char* s = a ? ippGetString(a, 0, nullptr) : nullptr;
        return FromUtf8(s);
    }
};

int Dpi(ipp_attribute_t* a, int index) {
    ipp_res_t units;
    int y = 0;
    int x = ippGetResolution(a, index, &y, &units);
    if (units == IPP_RES_PER_CM) x = static_cast<int>(std::lround(x * 2.54));
    return x;
}

void ReadPapers(const DestQuery& q, TPrinterCaps& caps) {
    int16_t nextDriverCode = DMPAPER_USER + 1;
    for (const QString& keyword : q.Keywords("media")) {
        QByteArray key = keyword.toUtf8();
        if (keyword.startsWith(QLatin1String("custom_min_")) ||
            keyword.startsWith(QLatin1String("custom_max_"))) {
            caps.customPapers = true;
            continue;
        }
        pwg_media_t* pwg = pwgMediaForPWG(key.constData());
        if (!pwg || pwg->width <= 0 || pwg->length <= 0) continue;
        TPrinterPaper p;
        p.media = keyword;
        p.width = pwg->width;
        p.length = pwg->length;
        cups_size_t size;
        if (cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, q.dest, q.info, key.constData(),
                                   CUPS_MEDIA_FLAGS_DEFAULT, &size)) {
            p.margins = TPrinterMargins{size.left, size.top, size.right, size.bottom};
        }
        int16_t code = DevicePaperCodeForSize(p.width, p.length);
        bool taken = std::any_of(caps.papers.begin(), caps.papers.end(),
                                 [code](const TPrinterPaper& o) { return o.code == code; });
        if (code == 0 || taken) {
            if (nextDriverCode == INT16_MAX) continue;
            code = nextDriverCode++;
        }
        p.code = code;
        caps.papers.push_back(p);
    }
}

void ReadBins(const DestQuery& q, TPrinterCaps& caps) {
    int16_t nextDriverCode = DMBIN_USER + 1;
    for (const QString& keyword : q.Keywords("media-source")) {
        int16_t code = TCupsPrinterBackend::BinCodeForSource(keyword);
        bool taken = std::any_of(caps.bins.begin(), caps.bins.end(),
                                 [code](const TPrinterBin& o) { return o.code == code; });
        if (code == 0 || taken) {
            if (nextDriverCode == INT16_MAX) continue;
            code = nextDriverCode++;
        }
        caps.bins.push_back(TPrinterBin{code, keyword});
    }
}

TPrinterCaps ReadCapabilities(cups_dest_t* dest, cups_dinfo_t* info) {
    DestQuery q{dest, info};
    TPrinterCaps caps;
    caps.device = DestName(*dest);
    caps.driver =
        FromUtf8(cupsGetOption("printer-make-and-model", dest->num_options, dest->options));
    caps.port = FromUtf8(cupsGetOption("device-uri", dest->num_options, dest->options));
    TDeviceMode& d = caps.defaults;
    d.dmFields = DM_ORIENTATION;
    d.dmOrientation = DMORIENT_PORTRAIT;

    ReadPapers(q, caps);
    if (!caps.papers.empty()) {
        d.dmFields |= DM_PAPERSIZE;
        const QString media = q.DefaultKeyword("media");
        const TPrinterPaper* def = &caps.papers.front();
        for (const TPrinterPaper& p : caps.papers)
            if (p.media == media) def = &p;
        d.dmPaperSize = def->code;
        d.dmPaperWidth = static_cast<int16_t>(def->width / 10);
        d.dmPaperLength = static_cast<int16_t>(def->length / 10);
    }
    if (caps.customPapers) d.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;

    if (ipp_attribute_t* a = q.Supported("printer-resolution")) {
        for (int i = 0; i < ippGetCount(a); ++i) {
            int dpi = Dpi(a, i);
            if (dpi > 0 && dpi <= INT16_MAX) caps.resolutions.push_back(dpi);
        }
    }
    // The job is a vector PDF, so its resolution only sets the drawing
    // units: a destination that names none gets 300 dots per inch.
    if (caps.resolutions.empty()) caps.resolutions.push_back(kUnstatedResolution);
    int dpi = caps.resolutions.front();
    if (ipp_attribute_t* a = q.Default("printer-resolution")) {
        int v = Dpi(a, 0);
        if (std::find(caps.resolutions.begin(), caps.resolutions.end(), v) !=
            caps.resolutions.end())
            dpi = v;
    }
    d.dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    d.dmPrintQuality = static_cast<int16_t>(dpi);
    d.dmYResolution = static_cast<int16_t>(dpi);

    if (ipp_attribute_t* a = q.Supported("copies")) {
        int upper = 1;
        if (ippGetValueTag(a) == IPP_TAG_RANGE)
            ippGetRange(a, 0, &upper);
        else if (ippGetValueTag(a) == IPP_TAG_INTEGER)
            upper = ippGetInteger(a, 0);
        caps.maxCopies = std::clamp(upper, 1, static_cast<int>(INT16_MAX));
    }
    if (caps.maxCopies > 1) {
        d.dmFields |= DM_COPIES;
        d.dmCopies = 1;
    }

    QStringList sides = q.Keywords("sides");
    caps.duplex = sides.contains(QLatin1String("two-sided-long-edge"));
    if (caps.duplex) {
        d.dmFields |= DM_DUPLEX;
        QString side = q.DefaultKeyword("sides");
        d.dmDuplex = side == QLatin1String("two-sided-long-edge")    ? DMDUP_VERTICAL
                     : side == QLatin1String("two-sided-short-edge") ? DMDUP_HORIZONTAL
                                                                     : DMDUP_SIMPLEX;
    }

    ReadBins(q, caps);
    if (!caps.bins.empty()) {
        d.dmFields |= DM_DEFAULTSOURCE;
        QString source = q.DefaultKeyword("media-source");
        if (source.isEmpty()) source = QStringLiteral("auto");
        d.dmDefaultSource = caps.bins.front().code;
        for (const TPrinterBin& b : caps.bins)
            if (b.name == source) d.dmDefaultSource = b.code;
    }
    return caps;
}

// A job drawn into a temporary PDF, handed to CUPS at its end.
class CupsPrintJob : public TPrintJob {
  public:
    explicit CupsPrintJob(const TPrintSetup& setup) : setup_(setup) {
        file_.setFileTemplate(TempDirectory() + QStringLiteral("/vorlaxa-job-XXXXXX.pdf"));
        if (!file_.open())
            throw EPrinter(
                QStringLiteral("Cannot create the print file in %1").arg(TempDirectory()));
        writer_ = std::make_unique<QPdfWriter>(&file_);
        writer_->setTitle(setup.title);
        writer_->setCreator(QStringLiteral("Vorlaxa"));
        writer_->setResolution(setup.dpiX);
        const QRect& r = setup.printable;
        auto mmX = [&](int px) { return px * 25.4 / setup.dpiX; };
        auto mmY = [&](int px) { return px * 25.4 / setup.dpiY; };
        QMarginsF margins(mmX(r.left()), mmY(r.top()),
                          mmX(setup.sheet.width() - r.left() - r.width()),
                          mmY(setup.sheet.height() - r.top() - r.height()));
        QPageSize size(QSizeF(setup.paper.width / 100.0, setup.paper.length / 100.0),
                       QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
        QPageLayout layout(size, setup.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                           margins, QPageLayout::Millimeter, QMarginsF());
        writer_->setPageLayout(layout);
    }

    void Begin(QPainter& painter) override {
        if (!painter.begin(writer_.get()))
            throw EPrinter(QStringLiteral("Cannot start the print job on %1").arg(setup_.printer));
    }

    void NextPage(QPainter&) override { writer_->newPage(); }

    void End(QPainter& painter) override {
        painter.end();
        writer_.reset();
        file_.close();
        Submit();
    }

    void Cancel(QPainter& painter) override {
        painter.end();
        writer_.reset();
    }

  private:
    void Submit() {
        cups_option_t* options = nullptr;
        int n = 0;
        auto add = [&](const char* name, const QString& value) {
            n = cupsAddOption(name, value.toUtf8().constData(), n, &options);
        };
        add("copies", QString::number(setup_.copies));
        QString media = setup_.paper.media;
        if (media.isEmpty()) {
            char name[128];
            if (pwgFormatSizeName(name, sizeof name, "custom", nullptr, setup_.paper.width,
                                  setup_.paper.length, nullptr))
                media = QString::fromUtf8(name);
        }
        if (!media.isEmpty()) add("media", media);
        if (setup_.duplex != DMDUP_SIMPLEX) {
            add("sides", setup_.duplex == DMDUP_VERTICAL ? QStringLiteral("two-sided-long-edge")
                                                         : QStringLiteral("two-sided-short-edge"));
        }
        // 3 portrait, 4 landscape. The PDF pages already have the page's
        // shape; CUPS lays them on the sheet a quarter turn to the left,
        // the same way with or without this option.
        add("orientation-requested", setup_.landscape ? QStringLiteral("4") : QStringLiteral("3"));
        if (!setup_.bin.isEmpty()) add("media-source", setup_.bin);

        // An instance ("name/instance") prints on its destination.
        QByteArray printer = setup_.printer.section(QLatin1Char('/'), 0, 0).toUtf8();
        QByteArray path = file_.fileName().toUtf8();
        QByteArray title = setup_.title.toUtf8();
        int id = cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.constData(), path.constData(),
                                title.constData(), n, options);
        cupsFreeOptions(n, options);
        if (id == 0)
            throw EPrinter(QStringLiteral("Printer \"%1\" refused the job: %2")
                               .arg(setup_.printer, FromUtf8(cupsLastErrorString())));
    }

    TPrintSetup setup_;
    QTemporaryFile file_;
    std::unique_ptr<QPdfWriter> writer_;
};

}  // namespace

TCupsPrinterBackend::TCupsPrinterBackend() = default;
TCupsPrinterBackend::~TCupsPrinterBackend() = default;

int16_t TCupsPrinterBackend::BinCodeForSource(const QString& keyword) {
    static const struct {
        const char* name;
        int16_t code;
    } kBins[] = {
        {"auto", DMBIN_AUTO},
        {"top", DMBIN_UPPER},
        {"bottom", DMBIN_LOWER},
        {"middle", DMBIN_MIDDLE},
        {"manual", DMBIN_MANUAL},
        {"envelope", DMBIN_ENVELOPE},
        {"large-capacity", DMBIN_LARGECAPACITY},
    };
    for (const auto& b : kBins)
        if (keyword == QLatin1String(b.name)) return b.code;
    return 0;
}

void TCupsPrinterBackend::LoadDestinations() {
    if (loaded_) return;
    Destinations dests;
    for (int i = 0; i < dests.count; ++i) {
        names_ << DestName(dests.list[i]);
        if (dests.list[i].is_default) default_ = i;
    }
    loaded_ = true;
}

QStringList TCupsPrinterBackend::Printers() {
    LoadDestinations();
    return names_;
}

int TCupsPrinterBackend::DefaultPrinter() {
    LoadDestinations();
    return default_;
}

std::optional<TPrinterCaps> TCupsPrinterBackend::Capabilities(const QString& name) {
    LoadDestinations();
    auto it = caps_.find(name);
    if (it != caps_.end()) return *it;
    std::optional<TPrinterCaps> result;
    Destinations dests;
    for (int i = 0; i < dests.count && !result; ++i) {
        cups_dest_t* dest = &dests.list[i];
        if (DestName(*dest) != name) continue;
        cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
        if (!info) break;
        result = ReadCapabilities(dest, info);
        cupsFreeDestInfo(info);
    }
    if (result) caps_.insert(name, result);  // a failed question is asked again next time
    return result;
}

std::unique_ptr<TPrintJob> TCupsPrinterBackend::OpenJob(const TPrintSetup& setup) {
    return std::make_unique<CupsPrintJob>(setup);
}

void TCupsPrinterBackend::Refresh() {
    loaded_ = false;
    names_.clear();
    default_ = -1;
    caps_.clear();
}
