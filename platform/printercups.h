// The printer backend on CUPS. The printers are the CUPS destinations; what
// each offers is read from its IPP attributes (media with their margins,
// resolutions, sides, copies, media sources). A job is drawn with Qt's PDF
// engine into a temporary PDF at the device's resolution, one PDF page per
// page in the page's orientation, and handed to CUPS with cupsPrintFile when
// it ends, with the job's title, copies, media, sides, orientation and input
// slot as job options. A cancelled job is never handed over, so it prints
// nothing. Without a CUPS server, or without destinations, there are no
// printers.
#pragma once

#include "platform/printer.h"

#include <QHash>

class TCupsPrinterBackend : public TPrinterBackend {
  public:
    TCupsPrinterBackend();
    ~TCupsPrinterBackend() override;

    QStringList Printers() override;
    int DefaultPrinter() override;
    std::optional<TPrinterCaps> Capabilities(const QString& name) override;
    std::unique_ptr<TPrintJob> OpenJob(const TPrintSetup& setup) override;
    void Refresh() override;

    // The DMBIN_ code for a media-source keyword: the standard bins by their
    // names, 0 for the others (they get driver codes from DMBIN_USER + 1).
    static int16_t BinCodeForSource(const QString& keyword);

  private:
    void LoadDestinations();

    bool loaded_ = false;
    QStringList names_;
    int default_ = -1;
    QHash<QString, std::optional<TPrinterCaps>> caps_;
};
