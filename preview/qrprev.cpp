#include "preview/qrprev.h"

#include "platform/application.h"
#include "preview/api/exportfilter.h"
#include "preview/preview.h"
#include "preview/previewimage.h"
#include "print/reportprinter.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>

std::function<bool(QFileDialog&)> TQRStandardPreview::DialogRunner;
std::function<void(const QString&)> TQRStandardPreview::MessageRunner;

namespace {

// The eleven glyphs, by index.
const char* const kGlyphs[] = {
    "zoom-fit",  "zoom-100",    "zoom-width", "first-page", "previous-page", "next-page",
    "last-page", "print-setup", "print",      "load",       "save",
};

QIcon Glyph(int index) {
    return QIcon(QStringLiteral(":/vorlaxa/glyphs/%1.svg").arg(QLatin1String(kGlyphs[index])));
}

QString TitleForDialogs() {
    if (auto* app = TApplication::Instance()) return app->Title();
    return QCoreApplication::applicationName();
}

}  // namespace

TQRStandardPreview::TQRStandardPreview(QWidget* owner, TZEZoravoz* printer) : QMainWindow(owner) {
    // The layout: caption, design size, tool bar, preview, status bar.
    setObjectName(QStringLiteral("QRStandardPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(652, 579);

    auto* bar = new QToolBar(QStringLiteral("ToolBar1"), this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, bar);

    zoomGroup_ = new QActionGroup(this);
    zoomGroup_->setExclusive(true);
    bar->addSeparator();
    QAction* fit = AddTool(bar, "ZoomFit", 0, QStringLiteral("Zoom to fit"),
                           &TQRStandardPreview::ZoomToFitClick);
    QAction* hundred =
        AddTool(bar, "Zoom100", 1, QStringLiteral("100%"), &TQRStandardPreview::ZoomTo100Click);
    QAction* width = AddTool(bar, "ZoomToWidth", 2, QStringLiteral("Zoom to width"),
                             &TQRStandardPreview::ZoomToWidthClick);
    for (QAction* a : {fit, hundred, width}) {
        a->setCheckable(true);
        zoomGroup_->addAction(a);
    }
    bar->addSeparator();
    AddTool(bar, "FirstPage", 3, QStringLiteral("First page"), &TQRStandardPreview::FirstPageClick);
    AddTool(bar, "PreviousPage", 4, QStringLiteral("Previous page"),
            &TQRStandardPreview::PrevPageClick);
    AddTool(bar, "ToolButton2", 5, QStringLiteral("Next page"), &TQRStandardPreview::NextPageClick);
    AddTool(bar, "LastPage", 6, QStringLiteral("Last page"), &TQRStandardPreview::LastPageClick);
    bar->addSeparator();
    AddTool(bar, "PrintSetup", 7, QStringLiteral("Printer setup"),
            &TQRStandardPreview::PrintSetupClick)
        ->setEnabled(false);
    AddTool(bar, "Print", 8, QStringLiteral("Print"), &TQRStandardPreview::PrintClick)
        ->setEnabled(false);
    bar->addSeparator();
    AddTool(bar, "SaveReport", 10, QStringLiteral("Save Report"), &TQRStandardPreview::SaveClick);
    AddTool(bar, "LoadReport", 9, QStringLiteral("Load Report"), &TQRStandardPreview::LoadClick);
    bar->addSeparator();
    exitButton_ = new QPushButton(QStringLiteral("&Close"), bar);
    exitButton_->setObjectName(QStringLiteral("ExitButton"));
    exitButton_->setFocusPolicy(Qt::NoFocus);
    exitButton_->setFixedSize(40, 22);
    connect(exitButton_, &QPushButton::clicked, this, [this] { ExitClick(); });
    bar->addWidget(exitButton_);

    preview_ = new TQRPreview(this);
    preview_->setObjectName(QStringLiteral("QRPreview"));
    preview_->OnPageAvailable = [this](TQRPreview* s, int32_t n) { QRPreviewPageAvailable(s, n); };
    preview_->OnProgressUpdate = [this](TQRPreview* s, int32_t p) {
        QRPreviewProgressUpdate(s, p);
    };
    setCentralWidget(preview_);
    // The stored page and zoom of the layout, applied while no printer is bound.
    preview_->SetPageNumber(1);
    preview_->SetZoom(100);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    panel0_ = new QLabel(QStringLiteral("0%"), status);
    panel0_->setMinimumWidth(40);
    panel0_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    panel1_ = new QLabel(QStringLiteral("Page"), status);
    panel1_->setMinimumWidth(50);
    status->addWidget(panel0_);
    status->addWidget(panel1_);
    setStatusBar(status);

    reportPrinter_ = printer;
    setWindowState(Qt::WindowMaximized);
    preview_->SetReportPrinter(printer);
    if (printer && !printer->DocumentTitle().isEmpty()) setWindowTitle(printer->DocumentTitle());
    shownProgress_ = 0;
    width->setChecked(true);
    if (printer && printer->ReportState() == rsFinished) Action("Print")->setEnabled(true);
}

TQRStandardPreview::~TQRStandardPreview() {
    if (keyWindow_) keyWindow_->removeEventFilter(this);
}

QAction* TQRStandardPreview::AddTool(QToolBar* bar, const char* name, int glyph, const QString& tip,
                                     void (TQRStandardPreview::*handler)()) {
    QAction* a = bar->addAction(Glyph(glyph), tip);
    a->setObjectName(QLatin1String(name));
    a->setToolTip(tip);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
}

QAction* TQRStandardPreview::Action(const char* name) const {
    return findChild<QAction*>(QLatin1String(name));
}

QLabel* TQRStandardPreview::StatusPanel(int index) const {
    return index == 0 ? panel0_ : panel1_;
}

void TQRStandardPreview::PresentWindow() {
    show();
    activateWindow();
    ShowPageStatus();
}

void TQRStandardPreview::ShowPageStatus() {
    TZEZoravoz* p = preview_->ReportPrinter();
    panel1_->setText(
        QStringLiteral("Page %1 of %2").arg(preview_->PageNumber()).arg(p ? p->PageTotal() : 0));
}

void TQRStandardPreview::ZoomToFitClick() {
    ProcessMessages();
    preview_->FitWholePage();
}

void TQRStandardPreview::ZoomTo100Click() {
    ProcessMessages();
    preview_->SetZoom(100);
}

void TQRStandardPreview::ZoomToWidthClick() {
    ProcessMessages();
    preview_->FitPageWidth();
}

void TQRStandardPreview::FirstPageClick() {
    preview_->SetPageNumber(1);
    ShowPageStatus();
}

void TQRStandardPreview::PrevPageClick() {
    preview_->SetPageNumber(preview_->PageNumber() - 1);
    ShowPageStatus();
}

void TQRStandardPreview::NextPageClick() {
    preview_->SetPageNumber(preview_->PageNumber() + 1);
    ShowPageStatus();
}

void TQRStandardPreview::LastPageClick() {
    if (TZEZoravoz* p = preview_->ReportPrinter()) preview_->SetPageNumber(p->PageTotal());
    ShowPageStatus();
}

void TQRStandardPreview::PrintClick() {
    TZEZoravoz* p = preview_->ReportPrinter();
    if (!p) return;
    // A report still produced by its generator's window is printed by it.
    if (p->MasterControl() && !p->LoadedFromFile() && p->ReportState() == rsBusy) return;
    p->PrintReport();
}

void TQRStandardPreview::PrintSetupClick() {
    if (TZEZoravoz* p = preview_->ReportPrinter()) p->ShowPrinterSetup(Action("PrintSetup"));
}

bool TQRStandardPreview::RunDialog(QFileDialog& dialog) {
    if (DialogRunner) return DialogRunner(dialog);
    return dialog.exec() == QDialog::Accepted;
}

void TQRStandardPreview::SaveClick() {
    TZEZoravoz* p = preview_->ReportPrinter();
    if (!p) return;
    const QString filterText = ExportFilterLibrary ? ExportFilterLibrary->DialogFilterText()
                                                   : TQRExportFilterLibrary().DialogFilterText();
    QFileDialog dialog(nullptr, QStringLiteral("Save report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = DialogFiltersForQt(filterText);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("QRP"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!RunDialog(dialog) || dialog.selectedFiles().isEmpty()) return;
    const QString fileName = dialog.selectedFiles().first();
    const int index = filters.indexOf(dialog.selectedNameFilter()) + 1;
    if (index <= 1) {
        p->SaveReportFile(fileName);
        return;
    }
    const auto& entries = ExportFilterLibrary->Filters();
    if (index - 2 >= static_cast<int>(entries.size())) return;
    std::unique_ptr<TQRExportFilterBase> filter = entries[index - 2]->FilterClass(fileName);
    p->RunExportFilter(filter.get());
}

void TQRStandardPreview::LoadClick() {
    TZEZoravoz* p = preview_->ReportPrinter();
    if (!p) return;
    QFileDialog dialog(nullptr, QStringLiteral("Load report"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(DialogFiltersForQt(QStringLiteral("VazarArezav file (*.QRP)|*.QRP")));
    if (!RunDialog(dialog) || dialog.selectedFiles().isEmpty()) return;
    const QString name = dialog.selectedFiles().first();
    if (!QFileInfo(name).isFile()) {
        if (MessageRunner) {
            MessageRunner(QStringLiteral("File does not exist"));
        } else {
            QMessageBox box(QMessageBox::NoIcon, TitleForDialogs(),
                            QStringLiteral("File does not exist"), QMessageBox::Ok);
            box.exec();
        }
        return;
    }
    p->LoadReportFile(name);
    preview_->SetPageNumber(1);
    // Fetches the new first page even when page 1 was already shown.
    preview_->PageImage()->SetPageNumber(1);
    ShowPageStatus();
    Action("PrintSetup")->setEnabled(false);
    Action("Print")->setEnabled(true);
}

void TQRStandardPreview::ExitClick() {
    close();
}

void TQRStandardPreview::QRPreviewPageAvailable(TQRPreview*, int32_t) {
    ShowPageStatus();
    TZEZoravoz* p = preview_->ReportPrinter();
    if (p && p->ReportState() == rsFinished) {
        Action("PrintSetup")->setEnabled(true);
        Action("Print")->setEnabled(true);
    }
}

void TQRStandardPreview::QRPreviewProgressUpdate(TQRPreview*, int32_t progress) {
    if (progress >= shownProgress_ + 5) {
        panel0_->setText(QStringLiteral("%1%").arg(progress));
        shownProgress_ = progress;
    }
    if (progress == 0 || progress == 100) panel0_->clear();
}

void TQRStandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const bool ctrlAlone = (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier &&
                           QGuiApplication::mouseButtons() == Qt::NoButton;
    switch (key) {
        case Qt::Key_Escape:
            ExitClick();
            break;
        case Qt::Key_PageUp:
            ctrlAlone ? FirstPageClick() : PrevPageClick();
            break;
        case Qt::Key_PageDown:
            ctrlAlone ? LastPageClick() : NextPageClick();
            break;
        case Qt::Key_End:
            LastPageClick();
            break;
        case Qt::Key_Home:
            FirstPageClick();
            break;
        default:
            break;
    }
}

void TQRStandardPreview::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Key preview: the window's native window sees every key before the
    // focused control does.
    if (!keyWindow_ && windowHandle()) {
        keyWindow_ = windowHandle();
        keyWindow_->installEventFilter(this);
    }
}

bool TQRStandardPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == keyWindow_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        RunShowingErrors([&] { FormKeyDown(k->key(), k->modifiers()); });
    }
    // Not consumed: the key goes on to the focused control.
    return QMainWindow::eventFilter(watched, event);
}

void TQRStandardPreview::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    if (TZEZoravoz* p = preview_->ReportPrinter()) p->DismissPreview(this);
    event->accept();
    QMainWindow::closeEvent(event);
    // The window frees itself once closed (WA_DeleteOnClose). Its preview
    // lets go of the printer now, so whoever waits for the preview to close
    // sees it at once, even from a nested message loop in which the
    // deferred deletion has not run yet.
    preview_->SetReportPrinter(nullptr);
}

void TQRStandardPreview::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    preview_->ApplyZoom();
}

QWidget* TQRStandardPreviewInterface::OpenPreview(TZEZoravoz* printer) {
    auto* window = new TQRStandardPreview(nullptr, printer);
    window->PresentWindow();
    return window;
}

QWidget* TQRStandardPreviewInterface::OpenPreviewModal(TZEZoravoz* printer) {
    auto* window = new TQRStandardPreview(nullptr, printer);
    QPointer<TQRStandardPreview> guard(window);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    return guard.data();
}

// The glyphs live in the preview library's resources.
static void InitGlyphResources() {
    Q_INIT_RESOURCE(preview);
}

void RegisterStandardPreview() {
    InitGlyphResources();
    RegisterInitialPreviewInterfaceClass(PreviewClassOf<TQRStandardPreviewInterface>());
}
