// Printers for the tests: recording-backend printers described in a few
// lines, and a fixture that installs a recording backend for one test.
#pragma once

#include "platform/errors.h"
#include "platform/printer.h"
#include "platform/printerrecording.h"

#include <gtest/gtest.h>
#include <memory>

// An A4 (code 9) and Letter (code 1) printer at dpi dots per inch, with
// quarter-inch side margins and half-inch top and bottom margins, three bins
// (auto 7, top 1, a driver's tray 257) and every DM_ field its features need.
inline TRecordingPrinterBackend::Printer OfficePrinter(const QString& name, int dpi = 600) {
    TRecordingPrinterBackend::Printer p;
    TPrinterCaps& c = p.caps;
    c.device = name;
    c.driver = QStringLiteral("Office Laser");
    c.port = QStringLiteral("socket://office");
    const TPrinterMargins margins{635, 1270, 635, 1270};
    c.papers = {{9, 21000, 29700, margins, QStringLiteral("iso_a4_210x297mm")},
                {1, 21590, 27940, margins, QStringLiteral("na_letter_8.5x11in")}};
    c.resolutions = {dpi, dpi / 2};
    c.bins = {{DMBIN_AUTO, QStringLiteral("auto")},
              {DMBIN_UPPER, QStringLiteral("top")},
              {DMBIN_USER + 1, QStringLiteral("tray-1")}};
    c.duplex = true;
    c.maxCopies = 99;
    TDeviceMode& d = c.defaults;
    d.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_DUPLEX |
                 DM_PRINTQUALITY | DM_YRESOLUTION;
    d.dmOrientation = DMORIENT_PORTRAIT;
    d.dmPaperSize = 9;
    d.dmCopies = 1;
    d.dmDefaultSource = DMBIN_AUTO;
    d.dmDuplex = DMDUP_SIMPLEX;
    d.dmPrintQuality = static_cast<int16_t>(dpi);
    d.dmYResolution = static_cast<int16_t>(dpi);
    return p;
}

// Installs a fresh recording backend for the length of a test and puts the
// CUPS backend back afterwards.
class RecordingBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backend_ = std::make_shared<TRecordingPrinterBackend>();
        SetPrinterBackend(backend_);
    }
    void TearDown() override { SetPrinterBackend(nullptr); }

    TRecordingPrinterBackend& Backend() { return *backend_; }
    // Adds printers and makes the first the default.
    void Install(std::initializer_list<TRecordingPrinterBackend::Printer> printers) {
        for (const auto& p : printers)
            backend_->AddPrinter(p);
        backend_->SetDefaultPrinter(0);
    }

    std::shared_ptr<TRecordingPrinterBackend> backend_;
};

// Runs f and returns the message of the Exception it throws ("" when none).
template <typename F>
QString ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}
