#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/printer.h"
#include "print/reportprinter.h"

#include <QFileInfo>
#include <QTimer>

int ExecutePrint(const CliRequest& r, QTextStream& out, QTextStream& err) {
    StartReportModule();
    struct StopModule {
        ~StopModule() { StopReportModule(); }
    } stop;

    TZEZoravoz printer;
    if (!printer.HasPrinters()) {
        err << "vorlaxa-cli: no printers are installed (is a CUPS server running?)\n";
        return 1;
    }
    if (!r.printer.isEmpty()) {
        const int index = printer.PrinterDevice().PrinterList().indexOf(r.printer);
        if (index < 0) {
            err << "vorlaxa-cli: there is no printer named '" << r.printer << "'; printers: "
                << printer.PrinterDevice().PrinterList().join(QStringLiteral(", ")) << "\n";
            return 1;
        }
        printer.SelectPrinter(index);
    }
    printer.LoadReportFile(r.input);

    int first = 0, last = 0;
    if (!r.pages.isEmpty()) {
        // One run of pages: FIRST-LAST, or a single page.
        QString why;
        std::optional<QList<int>> pages = ParsePageRange(r.pages, printer.PageTotal(), &why);
        if (!pages || pages->isEmpty() || r.pages.contains(QLatin1Char(',')) ||
            pages->last() - pages->first() + 1 != pages->size()) {
            err << "vorlaxa-cli: " << r.input << ": --pages wants FIRST-LAST within 1-"
                << printer.PageTotal() << (why.isEmpty() ? QString() : "; " + why) << "\n";
            return 2;
        }
        first = pages->first();
        last = pages->last();
    }
    printer.SetFromPage(first);
    printer.SetToPage(last);
    printer.SetCopies(r.copies);
    printer.SetDocumentTitle(QFileInfo(r.input).fileName());

    const int from = first ? first : 1, to = last ? last : printer.PageTotal();
    const QString queue =
        printer.PrinterDevice().PrinterList().value(printer.PrinterDevice().SelectedIndex());
    // The printer handles pending messages before each page; a timer that
    // fires then reports how far the job has come.
    QTimer progress;
    progress.setInterval(0);
    int shown = 0;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        const int page = printer.PrinterDevice().PageNumber();
        if (page > 0 && page != shown) {
            shown = page;
            err << "\rPrinting page " << (from + page - 1) << " (" << page << " of "
                << (to - from + 1) << ") on " << queue;
            err.flush();
        }
    });
    progress.start();
    printer.PrintReport();
    progress.stop();
    if (shown) err << "\n";
    out << "Printed " << r.input << ": " << std::max(0, to - from + 1) << " page(s), " << r.copies
        << (r.copies == 1 ? " copy" : " copies") << ", on " << queue << "\n";
    return 0;
}
