#include "platform/printerrecording.h"

#include "platform/errors.h"

// Page images beyond this many pixels are refused rather than allocated.
static constexpr qint64 kMaxPagePixels = qint64(64) * 1024 * 1024;

class RecordingPrintJob : public TPrintJob {
  public:
    RecordingPrintJob(TRecordingPrinterBackend& backend, TRecordingPrinterBackend::Job& job)
        : backend_(backend), job_(job) {}

    void Begin(QPainter& painter) override {
        backend_.calls_ << QStringLiteral("StartJob %1").arg(job_.setup.title);
        OpenPage(painter);
    }
    void NextPage(QPainter& painter) override {
        backend_.calls_ << QStringLiteral("StartNextPage");
        ClosePage(painter);
        OpenPage(painter);
    }
    void StartPage() override { backend_.calls_ << QStringLiteral("StartPage"); }
    void End(QPainter& painter) override {
        backend_.calls_ << QStringLiteral("EndJob");
        ClosePage(painter);
        job_.state = TRecordingPrinterBackend::JobState::Ended;
    }
    void Cancel(QPainter& painter) override {
        backend_.calls_ << QStringLiteral("CancelJob");
        ClosePage(painter);
        job_.state = TRecordingPrinterBackend::JobState::Cancelled;
    }

  private:
    void OpenPage(QPainter& painter) {
        const QSize size = job_.setup.printable.size();
        if (qint64(size.width()) * size.height() > kMaxPagePixels)
            throw EPrinter(QStringLiteral("Page of %1 x %2 pixels is too large to record")
                               .arg(size.width())
                               .arg(size.height()));
        page_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        if (page_.isNull()) throw EPrinter(QStringLiteral("Out of memory for the page image"));
        page_.setDotsPerMeterX(qRound(job_.setup.dpiX / 0.0254));
        page_.setDotsPerMeterY(qRound(job_.setup.dpiY / 0.0254));
        page_.fill(Qt::white);
        painter.begin(&page_);
    }
    void ClosePage(QPainter& painter) {
        if (painter.isActive()) painter.end();
        if (!page_.isNull()) job_.pages.push_back(std::move(page_));
        page_ = QImage();
    }

    TRecordingPrinterBackend& backend_;
    TRecordingPrinterBackend::Job& job_;
    QImage page_;
};

void TRecordingPrinterBackend::AddPrinter(Printer printer) {
    printers_.push_back(std::move(printer));
}

TRecordingPrinterBackend::Printer* TRecordingPrinterBackend::Find(const QString& name) {
    for (Printer& p : printers_)
        if (p.caps.device == name) return &p;
    return nullptr;
}

QStringList TRecordingPrinterBackend::Printers() {
    QStringList names;
    for (const Printer& p : printers_)
        names << p.caps.device;
    return names;
}

std::optional<TPrinterCaps> TRecordingPrinterBackend::Capabilities(const QString& name) {
    if (Printer* p = Find(name)) return p->caps;
    return std::nullopt;
}

std::optional<TDeviceMode> TRecordingPrinterBackend::DefaultDeviceMode(const QString& name) {
    Printer* p = Find(name);
    if (!p) return std::nullopt;
    if (p->emptyModeAnswers > 0) {
        --p->emptyModeAnswers;
        return std::nullopt;
    }
    return p->caps.defaults;
}

int TRecordingPrinterBackend::PaperCodes(const QString& name, std::vector<uint16_t>& codes) {
    Printer* p = Find(name);
    if (p && p->paperQueryFails) return -1;
    return TPrinterBackend::PaperCodes(name, codes);
}

std::unique_ptr<TPrintJob> TRecordingPrinterBackend::OpenJob(const TPrintSetup& setup) {
    jobs_.push_back(Job{setup, {}, JobState::Open});
    return std::make_unique<RecordingPrintJob>(*this, jobs_.back());
}
