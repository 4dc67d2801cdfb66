// Vorlaxa: a viewer for saved-report files. Started with a file name it shows
// only that report's preview and ends when the preview closes; started
// without one it shows its main window with the open button.
#include "app/rivivod.h"
#include "platform/application.h"
#include "preview/qrprev.h"
#include "print/reportprinter.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Vorlaxa"));
    TApplication::setApplicationVersion(QStringLiteral(VORLAXA_VERSION));
    TApplication::setDesktopFileName(QStringLiteral("vorlaxa"));
    app.SetTitle(QStringLiteral("Vorlaxa"));

    RegisterStandardPreview();
    StartReportModule();
    int status = 0;
    {
        TRivivodF form(app.arguments().mid(1));
        app.SetMainForm(&form);
        // An error of the command-line mode is shown, and the program then
        // goes on as if it had been started without a file.
        RunShowingErrors([&] { form.FormCreate(); });
        if (!app.Terminated()) form.show();
        status = app.exec();
    }
    StopReportModule();
    return status;
}
