// TQRPHandler: shows one saved-report file. It loads the file into a report
// printer of its own and keeps the window messages flowing until the preview
// of that report has closed.
#pragma once

#include <QString>
#include <memory>

class TZEZoravoz;

class TQRPHandler {
  public:
    TQRPHandler();
    ~TQRPHandler();
    TQRPHandler(const TQRPHandler&) = delete;
    TQRPHandler& operator=(const TQRPHandler&) = delete;

    const QString& FileName() const { return fileName_; }
    // A different name replaces the report printer with a new one and loads
    // the file into it; the same name again does nothing. Load errors reach
    // the caller, with the new name and printer already in place.
    void SetFileName(const QString& name);

    TZEZoravoz* ReportPrinter() const { return reportPrinter_.get(); }

    // Opens the preview and handles window messages until it has closed.
    void RunPreview();

  private:
    QString fileName_;
    std::unique_ptr<TZEZoravoz> reportPrinter_;
};
