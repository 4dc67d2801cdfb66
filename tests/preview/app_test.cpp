// The saved-report handler and the main window's command-line mode.
#include "app/qrextra.h"
#include "app/rivivod.h"
#include "platform/application.h"
#include "platform/errors.h"
#include "platform/printer.h"
#include "platform/screen.h"
#include "platform/stream.h"
#include "preview/qrprev.h"
#include "print/reportprinter.h"
#include "reports.h"

#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Closes the preview window as soon as one is shown.
void CloseThePreviewSoon() {
    QTimer::singleShot(50, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<TQRStandardPreview*>(w); p && p->isVisible()) p->ExitClick();
    });
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString report_;

  private Q_SLOTS:
    void initTestCase() {
        SetScreenPixelsPerInch(96);
        SetPrinterBackend(std::make_shared<NoPrinters>());
        RegisterStandardPreview();
        StartReportModule();
        report_ = dir_.filePath("r.qrp");
        WriteTestReport(report_, 2);
    }
    void cleanupTestCase() { StopReportModule(); }

    void handlerLoadsOnceAndWaitsForThePreview() {
        TQRPHandler empty;
        empty.SetFileName(QString());
        QCOMPARE(empty.ReportPrinter(), nullptr);
        empty.RunPreview();  // returns at once

        auto handler = std::make_unique<TQRPHandler>();
        handler->SetFileName(report_);
        TZEZoravoz* first = handler->ReportPrinter();
        QVERIFY(first);
        QCOMPARE(first->PageTotal(), 2);
        handler->SetFileName(report_);
        QCOMPARE(handler->ReportPrinter(), first);  // no reload
        QVERIFY(IsFileHeldOpen(report_));

        CloseThePreviewSoon();
        handler->RunPreview();
        QVERIFY(!handler->ReportPrinter()->PreviewShowing());
        handler.reset();
        QVERIFY(!IsFileHeldOpen(report_));
    }

    void handlerPassesLoadErrorsOn() {
        TQRPHandler handler;
        const QString missing = dir_.filePath("missing.qrp");
        try {
            handler.SetFileName(missing);
            QFAIL("a missing file loads");
        } catch (const Exception& e) {
            QCOMPARE(e.Message(), "Cannot open file " + missing);
        }
        QCOMPARE(handler.FileName(), missing);
        QVERIFY(handler.ReportPrinter());
    }

    void commandLineModeShowsThePreviewThenAsksToEnd() {
        auto* app = TApplication::Instance();
        TRivivodF form({report_, "ignored.qrp"});
        CloseThePreviewSoon();
        form.FormCreate();
        QVERIFY(app->Terminated());
        QVERIFY(!IsFileHeldOpen(report_));
    }

    void commandLineErrorReachesTheStandardDisplay() {
        QStringList shown;
        TApplication::SetErrorDisplay([&](const QString&, const QString& text) { shown << text; });
        TRivivodF form({"missing.qrp"});
        QVERIFY(!RunShowingErrors([&] { form.FormCreate(); }));
        QCOMPARE(shown, QStringList({"Cannot open file missing.qrp."}));
        TApplication::SetErrorDisplay(nullptr);
        QCOMPARE(form.OpenButton()->text(), QString("Odpri"));
        QCOMPARE(form.OpenDialog1()->nameFilters(),
                 QStringList({"QR Poročila (*.qrp)", "Vse datoteke (*)"}));
    }

    void anExceptionInAnEventHandlerIsShownNotPropagated() {
        QStringList shown;
        TApplication::SetErrorDisplay([&](const QString&, const QString& text) { shown << text; });
        QObject target;
        QTimer::singleShot(0, &target, [] { throw EQRError("ZEZoravoz not ready"); });
        QTRY_COMPARE(shown, QStringList({"ZEZoravoz not ready."}));
        TApplication::SetErrorDisplay(nullptr);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    AppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "app_test.moc"
