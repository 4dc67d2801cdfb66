#include "app/qrextra.h"

#include "platform/application.h"
#include "print/reportprinter.h"

TQRPHandler::TQRPHandler() = default;
TQRPHandler::~TQRPHandler() = default;

void TQRPHandler::SetFileName(const QString& name) {
    if (name == fileName_) return;
    reportPrinter_.reset();
    reportPrinter_ = std::make_unique<TZEZoravoz>();
    fileName_ = name;
    reportPrinter_->LoadReportFile(fileName_);
}

void TQRPHandler::RunPreview() {
    if (!reportPrinter_) return;
    reportPrinter_->ShowPreview();
    // A nested message loop: every window keeps working while it waits.
    do {
        HandleMessage();
    } while (reportPrinter_->PreviewShowing());
}
