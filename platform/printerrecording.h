// A printer backend for tests: printers described in full by the test, and
// jobs that keep the exact sequence of device calls and draw each page into
// an image of the printable area at the device's resolution.
#pragma once

#include "platform/printer.h"

#include <QImage>
#include <deque>

class TRecordingPrinterBackend : public TPrinterBackend {
  public:
    struct Printer {
        TPrinterCaps caps;
        // The driver answers this many requests for its default device mode
        // with none before it gives one (a large number: never).
        int emptyModeAnswers = 0;
        // DeviceCapabilities(DC_PAPERS) answers -1, as a failing driver does.
        bool paperQueryFails = false;
    };
    enum class JobState { Open, Ended, Cancelled };
    struct Job {
        TPrintSetup setup;
        std::vector<QImage> pages;  // each page as drawn, printable area only
        JobState state = JobState::Open;
    };

    void AddPrinter(Printer printer);
    // -1: no default printer.
    void SetDefaultPrinter(int index) { default_ = index; }
    Printer& PrinterAt(int index) { return printers_.at(index); }

    // The device calls of every job in order: "StartJob <title>",
    // "StartNextPage", "StartPage", "EndJob", "CancelJob".
    const QStringList& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    const std::deque<Job>& Jobs() const { return jobs_; }

    QStringList Printers() override;
    int DefaultPrinter() override { return default_; }
    std::optional<TPrinterCaps> Capabilities(const QString& name) override;
    std::optional<TDeviceMode> DefaultDeviceMode(const QString& name) override;
    int PaperCodes(const QString& name, std::vector<uint16_t>& codes) override;
    std::unique_ptr<TPrintJob> OpenJob(const TPrintSetup& setup) override;

  private:
    friend class RecordingPrintJob;
    Printer* Find(const QString& name);

    std::vector<Printer> printers_;
    int default_ = -1;
    QStringList calls_;
    std::deque<Job> jobs_;
};
