// Small saved reports for the widget tests, built with the page list from
// metafiles that draw a filled rectangle, so that a shown page is visible.
#pragma once

#include "platform/printer.h"

#include <QString>

// Writes a saved report of pages pages, each widthPx x heightPx reference
// pixels at 96 per inch, whose page n shows a block n/pages of the way down.
void WriteTestReport(const QString& path, int pages, int widthPx = 794, int heightPx = 1123);

// A system without printers, so that paper and scale do not depend on the
// machine the tests run on.
class NoPrinters : public TPrinterBackend {
  public:
    QStringList Printers() override { return {}; }
    int DefaultPrinter() override { return -1; }
    std::optional<TPrinterCaps> Capabilities(const QString&) override { return std::nullopt; }
    std::unique_ptr<TPrintJob> OpenJob(const TPrintSetup&) override { return nullptr; }
};
