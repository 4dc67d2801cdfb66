#include "platform/printer.h"

#include "platform/errors.h"
#include "platform/printercups.h"
#include "platform/rounding.h"

#include <algorithm>
#include <cstdlib>

HDEVMODE NewDeviceMode(const TDeviceMode& mode) {
    auto block = std::make_shared<TDeviceModeBlock>();
    block->mode = mode;
    return block;
}

TDeviceMode* LockDeviceMode(const HDEVMODE& handle) {
    if (!handle) return nullptr;
    ++handle->locks;
    return &handle->mode;
}

void UnlockDeviceMode(const HDEVMODE& handle) {
    if (handle && handle->locks > 0) --handle->locks;
}

// ---- Paper codes by size ----------------------------------------------------

namespace {

struct DevicePaper {
    int16_t code;
    int32_t width, length;  // hundredths of a millimetre
};

// The papers of the device-mode world with their sheet sizes (inch sizes
// times 2540, rounded). In code order, so a search finds the lowest code.
constexpr DevicePaper kDevicePapers[] = {
    {1, 21590, 27940},    // Letter 8 1/2 x 11 in
    {2, 21590, 27940},    // Letter Small
    {3, 27940, 43180},    // Tabloid 11 x 17 in
    {4, 43180, 27940},    // Ledger 17 x 11 in
    {5, 21590, 35560},    // Legal 8 1/2 x 14 in
    {6, 13970, 21590},    // Statement 5 1/2 x 8 1/2 in
    {7, 18415, 26670},    // Executive 7 1/4 x 10 1/2 in
    {8, 29700, 42000},    // A3
    {9, 21000, 29700},    // A4
    {10, 21000, 29700},   // A4 Small
    {11, 14800, 21000},   // A5
    {12, 25700, 36400},   // B4 (JIS)
    {13, 18200, 25700},   // B5 (JIS)
    {14, 21590, 33020},   // Folio 8 1/2 x 13 in
    {15, 21500, 27500},   // Quarto
    {16, 25400, 35560},   // 10 x 14 in
    {17, 27940, 43180},   // 11 x 17 in
    {18, 21590, 27940},   // Note 8 1/2 x 11 in
    {19, 9843, 22543},    // Envelope #9 3 7/8 x 8 7/8 in
    {20, 10478, 24130},   // Envelope #10 4 1/8 x 9 1/2 in
    {21, 11430, 26353},   // Envelope #11 4 1/2 x 10 3/8 in
    {22, 12065, 27940},   // Envelope #12 4 3/4 x 11 in
    {23, 12700, 29210},   // Envelope #14 5 x 11 1/2 in
    {24, 43180, 55880},   // C sheet 17 x 22 in
    {25, 55880, 86360},   // D sheet 22 x 34 in
    {26, 86360, 111760},  // E sheet 34 x 44 in
    {27, 11000, 22000},   // Envelope DL
    {28, 16200, 22900},   // Envelope C5
    {29, 32400, 45800},   // Envelope C3
    {30, 22900, 32400},   // Envelope C4
    {31, 11400, 16200},   // Envelope C6
    {32, 11400, 22900},   // Envelope C65
    {33, 25000, 35300},   // Envelope B4
    {34, 17600, 25000},   // Envelope B5
    {35, 17600, 12500},   // Envelope B6
    {36, 11000, 23000},   // Envelope Italy
    {37, 9843, 19050},    // Envelope Monarch 3 7/8 x 7 1/2 in
    {38, 9208, 16510},    // Envelope 6 3/4 3 5/8 x 6 1/2 in
    {39, 37783, 27940},   // US Std Fanfold 14 7/8 x 11 in
    {40, 21590, 30480},   // German Std Fanfold 8 1/2 x 12 in
    {41, 21590, 33020},   // German Legal Fanfold 8 1/2 x 13 in
    {42, 25000, 35300},   // B4 (ISO)
    {43, 10000, 14800},   // Japanese postcard
    {66, 42000, 59400},   // A2
    {70, 10500, 14800},   // A6
};

// Sizes that a driver rounds through points still match: one millimetre.
constexpr int32_t kSizeTolerance = 100;

}  // namespace

int16_t DevicePaperCodeForSize(int32_t width, int32_t length) {
    for (const DevicePaper& p : kDevicePapers) {
        if (std::abs(p.width - width) <= kSizeTolerance &&
            std::abs(p.length - length) <= kSizeTolerance)
            return p.code;
    }
    return 0;
}

// ---- Reading a device mode --------------------------------------------------

namespace {

int32_t ToPixels(int32_t hundredthsMm, int dpi) {
    return static_cast<int32_t>(
        RoundTiesEven(static_cast<long double>(hundredthsMm) * dpi / 2540.0L));
}

const TPrinterPaper* FindPaper(const TPrinterCaps& caps, int16_t code) {
    for (const TPrinterPaper& p : caps.papers)
        if (p.code == code) return &p;
    return nullptr;
}

bool Listed(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

TPrintSetup ResolveDeviceMode(const TPrinterCaps& caps, const TDeviceMode* mode) {
    const TDeviceMode& m = mode ? *mode : caps.defaults;
    const TDeviceMode& d = caps.defaults;
    auto has = [&m](uint32_t bits) { return (m.dmFields & bits) == bits; };
    TPrintSetup s;
    s.printer = caps.device;

    // The sheet.
    const TPrinterPaper* fallback = FindPaper(caps, d.dmPaperSize);
    if (!fallback && !caps.papers.empty()) fallback = &caps.papers.front();
    bool customCode = !has(DM_PAPERSIZE) || m.dmPaperSize == DMPAPER_USER;
    if (customCode && caps.customPapers && has(DM_PAPERWIDTH | DM_PAPERLENGTH) &&
        m.dmPaperWidth > 0 && m.dmPaperLength > 0) {
        s.paper.code = DMPAPER_USER;
        s.paper.width = m.dmPaperWidth * 10;
        s.paper.length = m.dmPaperLength * 10;
        if (fallback) s.paper.margins = fallback->margins;
    } else if (const TPrinterPaper* p =
                   has(DM_PAPERSIZE) ? FindPaper(caps, m.dmPaperSize) : nullptr) {
        s.paper = *p;
    } else if (fallback) {
        s.paper = *fallback;
    }

    s.landscape = has(DM_ORIENTATION) ? m.dmOrientation == DMORIENT_LANDSCAPE
                                      : d.dmOrientation == DMORIENT_LANDSCAPE;
    int copies = has(DM_COPIES) ? m.dmCopies : 1;
    s.copies = std::clamp(copies, 1, std::max(1, caps.maxCopies));
    if (caps.duplex) {
        int16_t dup = has(DM_DUPLEX) ? m.dmDuplex : d.dmDuplex;
        if (dup == DMDUP_VERTICAL || dup == DMDUP_HORIZONTAL) s.duplex = dup;
    }
    int16_t source = has(DM_DEFAULTSOURCE) ? m.dmDefaultSource : d.dmDefaultSource;
    for (const TPrinterBin& b : caps.bins)
        if (b.code == source) s.bin = b.name;

    // Resolution: a listed one, else the driver's default (which may be 0 for
    // a broken device; the caller refuses to print then).
    int dpiX = d.dmPrintQuality, dpiY = d.dmYResolution > 0 ? d.dmYResolution : d.dmPrintQuality;
    if (has(DM_PRINTQUALITY) && m.dmPrintQuality > 0 &&
        Listed(caps.resolutions, m.dmPrintQuality)) {
        dpiX = m.dmPrintQuality;
        dpiY = (has(DM_YRESOLUTION) && m.dmYResolution > 0) ? m.dmYResolution : dpiX;
    }
    s.dpiX = std::max(0, dpiX);
    s.dpiY = std::max(0, dpiY);

    // Geometry in the page's orientation.
    int32_t w = s.paper.width, l = s.paper.length;
    TPrinterMargins mg = s.paper.margins;
    if (s.landscape) {
        std::swap(w, l);
        mg = TPrinterMargins{mg.bottom, mg.left, mg.top, mg.right};
    }
    s.sheet = QSize(ToPixels(w, s.dpiX), ToPixels(l, s.dpiY));
    int left = ToPixels(mg.left, s.dpiX), top = ToPixels(mg.top, s.dpiY);
    int width = std::max(0, s.sheet.width() - left - ToPixels(mg.right, s.dpiX));
    int height = std::max(0, s.sheet.height() - top - ToPixels(mg.bottom, s.dpiY));
    s.printable = QRect(left, top, width, height);
    return s;
}

// ---- Backend ----------------------------------------------------------------

std::optional<TDeviceMode> TPrinterBackend::DefaultDeviceMode(const QString& name) {
    std::optional<TPrinterCaps> caps = Capabilities(name);
    if (!caps) return std::nullopt;
    return caps->defaults;
}

int TPrinterBackend::PaperCodes(const QString& name, std::vector<uint16_t>& codes) {
    std::optional<TPrinterCaps> caps = Capabilities(name);
    if (!caps) return -1;
    codes.clear();
    for (const TPrinterPaper& p : caps->papers)
        codes.push_back(static_cast<uint16_t>(p.code));
    if (caps->customPapers) codes.push_back(static_cast<uint16_t>(DMPAPER_USER));
    return static_cast<int>(codes.size());
}

namespace {

std::shared_ptr<TPrinterBackend>& BackendSlot() {
    static std::shared_ptr<TPrinterBackend> backend;
    return backend;
}

std::unique_ptr<TPrinter>& SharedSlot() {
    static std::unique_ptr<TPrinter> printer;
    return printer;
}

}  // namespace

std::shared_ptr<TPrinterBackend> PrinterBackend() {
    auto& slot = BackendSlot();
    if (!slot) slot = std::make_shared<TCupsPrinterBackend>();
    return slot;
}

void SetPrinterBackend(std::shared_ptr<TPrinterBackend> backend) {
    SharedSlot().reset();
    BackendSlot() = std::move(backend);
}

TPrinter& SharedPrinter() {
    auto& slot = SharedSlot();
    if (!slot) slot = std::make_unique<TPrinter>();
    return *slot;
}

int DeviceCapabilities(const QString& device, const QString& port, uint16_t capability,
                       std::span<uint16_t> output, const TDeviceMode* mode) {
    if (capability != DC_PAPERS) return -1;
    std::vector<uint16_t> codes;
    int n = PrinterBackend()->PaperCodes(device, codes);
    if (n < 0) return -1;
    size_t copy = std::min({output.size(), codes.size(), static_cast<size_t>(n)});
    std::copy_n(codes.begin(), copy, output.begin());
    return n;
}

int GetDeviceCaps(HDC dc, int index) {
    return dc.printer ? dc.printer->DeviceCaps(index) : 0;
}

int StartPage(HDC dc) {
    return dc.printer ? dc.printer->StartPageOnContext() : SP_ERROR;
}

// ---- TPrinter ---------------------------------------------------------------

namespace {
constexpr int kMaxNameLength = 127;
}

TPrinter::TPrinter() : TPrinter(PrinterBackend()) {}

TPrinter::TPrinter(std::shared_ptr<TPrinterBackend> backend) : backend_(std::move(backend)) {}

TPrinter::~TPrinter() {
    if (!job_) return;
    try {
        job_->Cancel(painter_);
    } catch (...) {
        // Nothing of an abandoned job is kept; a failure to discard it has no one to tell.
    }
}

const QStringList& TPrinter::PrinterList() {
    if (!printers_) {
        printers_ = backend_->Printers();
        defaultIndex_ = backend_->DefaultPrinter();
        if (defaultIndex_ >= printers_->size()) defaultIndex_ = -1;
    }
    return *printers_;
}

void TPrinter::Refresh() {
    CheckPrinting(false);
    backend_->Refresh();
    printers_.reset();
    selected_ = -1;
    DropDeviceMode();
}

void TPrinter::CheckPrinting(bool printing) const {
    if (printing && !job_) throw EPrinter(QStringLiteral("Printer is not currently printing"));
    if (!printing && job_) throw EPrinter(QStringLiteral("Printing in progress"));
}

int TPrinter::EffectiveIndex() {
    const QStringList& list = PrinterList();
    if (list.isEmpty()) return -1;
    if (selected_ >= 0) return selected_;
    return defaultIndex_ >= 0 ? defaultIndex_ : 0;
}

int TPrinter::SelectedIndex() {
    return EffectiveIndex();
}

void TPrinter::SetSelectedIndex(int index) {
    CheckPrinting(false);
    if (index != -1 && (index < 0 || index >= PrinterList().size()))
        throw EPrinter(QStringLiteral("Printer index out of range"));
    int before = EffectiveIndex();
    selected_ = index;
    if (EffectiveIndex() != before) DropDeviceMode();
}

void TPrinter::DropDeviceMode() {
    mode_.reset();
    caps_.reset();
}

const TPrinterCaps* TPrinter::SelectedCaps() {
    int index = EffectiveIndex();
    if (index < 0) return nullptr;
    const QString& name = (*printers_)[index];
    if (!caps_ || caps_->device != name) {
        caps_ = backend_->Capabilities(name);
        if (caps_) caps_->device = name;
    }
    return caps_ ? &*caps_ : nullptr;
}

void TPrinter::GetDevice(QString& device, QString& driver, QString& port, HDEVMODE& mode) {
    device.clear();
    driver.clear();
    port.clear();
    mode.reset();
    const TPrinterCaps* caps = SelectedCaps();
    if (!caps) return;
    device = caps->device.left(kMaxNameLength);
    driver = caps->driver.left(kMaxNameLength);
    port = caps->port.left(kMaxNameLength);
    if (!mode_) {
        if (std::optional<TDeviceMode> defaults = backend_->DefaultDeviceMode(caps->device))
            mode_ = NewDeviceMode(*defaults);
    }
    mode = mode_;
}

void TPrinter::SetDevice(const QString& device, const QString& driver, const QString& port,
                         HDEVMODE mode) {
    CheckPrinting(false);
    const QStringList& list = PrinterList();
    int index = -1;
    for (int i = 0; i < list.size(); ++i)
        if (list[i].left(kMaxNameLength) == device) index = i;
    if (index < 0) throw EPrinter(QStringLiteral("Printer selected is not valid"));
    if (index != EffectiveIndex()) {
        selected_ = index;
        DropDeviceMode();
    }
    mode_ = std::move(mode);
    if (!mode_) {
        const TPrinterCaps* caps = SelectedCaps();
        if (!caps) return;
        if (std::optional<TDeviceMode> defaults = backend_->DefaultDeviceMode(caps->device))
            mode_ = NewDeviceMode(*defaults);
    }
}

TPrintSetup TPrinter::CurrentSetup() {
    if (job_) return jobSetup_;
    const TPrinterCaps* caps = SelectedCaps();
    if (!caps) return TPrintSetup{};
    return ResolveDeviceMode(*caps, mode_ ? &mode_->mode : nullptr);
}

int TPrinter::DeviceCaps(int index) {
    TPrintSetup s = CurrentSetup();
    switch (index) {
        case LOGPIXELSX:
            return s.dpiX;
        case LOGPIXELSY:
            return s.dpiY;
        case PHYSICALWIDTH:
            return s.sheet.width();
        case PHYSICALHEIGHT:
            return s.sheet.height();
        case PHYSICALOFFSETX:
            return s.printable.x();
        case PHYSICALOFFSETY:
            return s.printable.y();
        case HORZRES:
            return s.printable.width();
        case VERTRES:
            return s.printable.height();
        case HORZSIZE:
            return s.dpiX > 0
                       ? static_cast<int>(RoundTiesEven(s.printable.width() * 25.4L / s.dpiX))
                       : 0;
        case VERTSIZE:
            return s.dpiY > 0
                       ? static_cast<int>(RoundTiesEven(s.printable.height() * 25.4L / s.dpiY))
                       : 0;
        default:
            return 0;
    }
}

void TPrinter::StartJob() {
    CheckPrinting(false);
    const TPrinterCaps* caps = SelectedCaps();
    if (!caps) throw EPrinter(QStringLiteral("There is no default printer currently selected"));
    TPrintSetup setup = ResolveDeviceMode(*caps, mode_ ? &mode_->mode : nullptr);
    setup.title = jobTitle_;
    if (setup.dpiX <= 0 || setup.dpiY <= 0)
        throw EPrinter(
            QStringLiteral("Printer \"%1\" reports a resolution of %2 x %3 dots per inch")
                .arg(setup.printer)
                .arg(setup.dpiX)
                .arg(setup.dpiY));
    if (setup.printable.isEmpty())
        throw EPrinter(QStringLiteral("Printer \"%1\" has no printable area").arg(setup.printer));
    std::unique_ptr<TPrintJob> job = backend_->OpenJob(setup);
    job->Begin(painter_);
    job_ = std::move(job);
    jobSetup_ = std::move(setup);
    pageNumber_ = 1;
}

void TPrinter::StartNextPage() {
    CheckPrinting(true);
    // The page's drawing tools carry over to the next page.
    QPen pen = painter_.pen();
    QBrush brush = painter_.brush();
    QFont font = painter_.font();
    job_->NextPage(painter_);
    ++pageNumber_;
    painter_.setPen(pen);
    painter_.setBrush(brush);
    painter_.setFont(font);
}

int TPrinter::StartPageOnContext() {
    if (!job_) return SP_ERROR;
    job_->StartPage();
    return 1;
}

void TPrinter::EndJob() {
    CheckPrinting(true);
    // The job is closed whatever happens while it is handed over.
    std::unique_ptr<TPrintJob> job = std::move(job_);
    pageNumber_ = 0;
    job->End(painter_);
}

void TPrinter::CancelJob() {
    CheckPrinting(true);
    std::unique_ptr<TPrintJob> job = std::move(job_);
    pageNumber_ = 0;
    job->Cancel(painter_);
}
