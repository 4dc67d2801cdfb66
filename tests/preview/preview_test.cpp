// The page image, the preview control and the standard preview window.
#include "preview/preview.h"
#include "platform/application.h"
#include "platform/printer.h"
#include "platform/screen.h"
#include "preview/api/exportfilter.h"
#include "preview/previewimage.h"
#include "preview/qrprev.h"
#include "print/reportprinter.h"
#include "reports.h"
#include "storage/pagepicture.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

namespace {

bool IsBlack(QRgb c) {
    return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40;
}
bool IsWhite(QRgb c) {
    return qRed(c) > 215 && qGreen(c) > 215 && qBlue(c) > 215;
}

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString report3_, report17_;

    std::unique_ptr<TZEZoravoz> Loaded(const QString& path) {
        auto p = std::make_unique<TZEZoravoz>();
        p->LoadReportFile(path);
        return p;
    }

  private Q_SLOTS:
    void initTestCase() {
        SetScreenPixelsPerInch(96);
        SetPrinterBackend(std::make_shared<NoPrinters>());
        RegisterStandardPreview();
        StartReportModule();
        report3_ = dir_.filePath("three.qrp");
        report17_ = dir_.filePath("seventeen.qrp");
        WriteTestReport(report3_, 3);
        WriteTestReport(report17_, 17);
    }
    void cleanupTestCase() {
        StopReportModule();
        SetPrinterBackend(nullptr);
    }

    // The sheet, the picture over the whole control, the frame and the
    // shadow, at the exact pixels.
    void imageDrawsFramedSheetWithShadow() {
        auto printer = Loaded(report3_);
        TQRPreviewImage image(nullptr);
        image.SetReportPrinter(printer.get());
        image.SetPageNumber(1);
        QVERIFY(image.HasPicture());
        QImage canvas(104, 54, QImage::Format_RGB32);
        canvas.fill(QColor(0, 128, 0));
        QPainter p(&canvas);
        image.RenderPage(p, QSize(104, 54));
        p.end();
        // Frame lines through (0,0), (0,51), (101,51), (101,0).
        for (QPoint pt : {QPoint(0, 0), QPoint(0, 51), QPoint(101, 51), QPoint(101, 0),
                          QPoint(50, 0), QPoint(0, 25), QPoint(101, 25), QPoint(50, 51)})
            QVERIFY2(IsBlack(canvas.pixel(pt)),
                     qPrintable(QString("frame at %1,%2").arg(pt.x()).arg(pt.y())));
        // Shadows (102,2)-(104,54) and (2,52)-(104,54); the corners they leave out.
        for (QPoint pt : {QPoint(102, 2), QPoint(103, 53), QPoint(2, 52), QPoint(50, 53)})
            QVERIFY(IsBlack(canvas.pixel(pt)));
        QCOMPARE(canvas.pixel(103, 0), QColor(0, 128, 0).rgb());
        QCOMPARE(canvas.pixel(0, 53), QColor(0, 128, 0).rgb());
        // Inside: white sheet, with page 1's block in its upper third.
        QVERIFY(IsWhite(canvas.pixel(10, 40)));
        QVERIFY(IsBlack(canvas.pixel(52, 8)));

        // Page 6 of a 3-page report: stored, nothing drawn.
        image.SetPageNumber(6);
        QCOMPARE(image.PageNumber(), 6);
        QVERIFY(!image.HasPicture());
        canvas.fill(QColor(0, 128, 0));
        QPainter q(&canvas);
        image.RenderPage(q, QSize(104, 54));
        q.end();
        QCOMPARE(canvas.pixel(0, 0), QColor(0, 128, 0).rgb());
    }

    void imagePlaysOncePerSize() {
        auto printer = Loaded(report3_);
        TQRPreview preview;
        preview.SetReportPrinter(printer.get());
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.PageImage()->repaint();
        const int played = preview.PageImage()->PlayCount();
        preview.PageImage()->repaint();
        preview.verticalScrollBar()->setValue(50);
        preview.PageImage()->repaint();
        QCOMPARE(preview.PageImage()->PlayCount(), played);
        preview.SetZoom(150);
        preview.PageImage()->repaint();
        QCOMPARE(preview.PageImage()->PlayCount(), played + 1);
    }

    void bindingRaisesAndUnbindingLowersPreviewShowing() {
        auto printer = Loaded(report3_);
        int hookCalls = 0;
        printer->AfterPreviewHook = [&](TZEZoravoz*) { ++hookCalls; };
        {
            TQRPreview preview;
            preview.SetReportPrinter(printer.get());
            QVERIFY(printer->PreviewShowing());
            QCOMPARE(printer->NotifyWindow(), &preview);
            QVERIFY(preview.PageImage()->HasPicture());
            // A second preview takes over; the first then leaves the printer alone.
            {
                TQRPreview second;
                second.SetReportPrinter(printer.get());
                preview.SetReportPrinter(nullptr);
                QVERIFY(printer->PreviewShowing());
                QCOMPARE(hookCalls, 0);
            }
            QVERIFY(!printer->PreviewShowing());
            QCOMPARE(hookCalls, 1);
            preview.SetReportPrinter(printer.get());
            QVERIFY(printer->PreviewShowing());
        }
        QVERIFY(!printer->PreviewShowing());
        QCOMPARE(printer->NotifyWindow(), nullptr);
        QCOMPARE(hookCalls, 2);

        // A printer destroyed under a bound control leaves it without one.
        TQRPreview preview;
        auto doomed = Loaded(report3_);
        preview.SetReportPrinter(doomed.get());
        doomed.reset();
        QCOMPARE(preview.ReportPrinter(), nullptr);
        QVERIFY(!preview.PageImage()->HasPicture());
    }

    void pageAndZoomSettersAreBounded() {
        auto printer = Loaded(report3_);
        TQRPreview preview;
        preview.resize(200, 200);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.SetReportPrinter(printer.get());
        for (int bad : {0, -1, 4}) {
            preview.SetPageNumber(bad);
            QCOMPARE(preview.PageNumber(), 1);
        }
        preview.SetZoom(300);
        preview.SetPageNumber(3);
        QCOMPARE(preview.PageNumber(), 3);
        QCOMPARE(preview.PageImage()->PageNumber(), 3);
        QCOMPARE(preview.verticalScrollBar()->value(), 0);
        // The same page again while shown: no scroll reset.
        preview.verticalScrollBar()->setValue(40);
        preview.SetPageNumber(3);
        QCOMPARE(preview.verticalScrollBar()->value(), 40);

        for (int bad : {1, 2001}) {
            preview.SetZoom(bad);
            QCOMPARE(preview.Zoom(), 300);
        }
        preview.FitWholePage();
        QCOMPARE(preview.ZoomMode(), pzFitPage);
        preview.SetZoom(2);
        QCOMPARE(preview.Zoom(), 2);
        QCOMPARE(preview.ZoomMode(), pzFree);
        preview.SetZoom(2000);
        QCOMPARE(preview.Zoom(), 2000);
    }

    void fitsAndCentringWithoutAndWithAPrinter() {
        TQRPreview preview;
        preview.resize(250, 250);
        preview.ApplyZoom();
        QCOMPARE(preview.PageImage()->size(), QSize(220, 283));
        preview.FitWholePage();
        QCOMPARE(preview.Zoom(), 85);
        preview.FitPageWidth();
        QCOMPARE(preview.Zoom(), 110);
        QCOMPARE(preview.ZoomMode(), pzFitWidth);

        // Zoom 50: 112 x 144 image centred in the 250 x 250 control.
        preview.SetZoom(50);
        QCOMPARE(preview.PageImage()->geometry(),
                 QRect((250 - 112) / 2, (250 - 144) / 2, 112, 144));

        // Too small to fit: the zoom stays, the mode changes.
        preview.resize(3, 3);
        preview.SetZoom(100);
        preview.FitWholePage();
        QCOMPARE(preview.Zoom(), 100);
        QCOMPARE(preview.ZoomMode(), pzFitPage);

        // With an A4 report at 96 pixels per inch the sheet is 794 x 1123.
        auto printer = Loaded(report3_);
        TQRPreview bound;
        bound.resize(500, 600);
        bound.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bound));
        bound.SetReportPrinter(printer.get());
        bound.SetZoom(100);
        QCOMPARE(bound.PageImage()->size(), QSize(798, 1127));
        QCOMPARE(bound.PageImage()->pos(), QPoint(0, 0));
        bound.FitPageWidth();
        QCOMPARE(bound.Zoom(), 57);  // Nearest(500 / 794 * 90)
        bound.FitWholePage();
        QCOMPARE(bound.Zoom(), 51);  // min(Nearest(500/794*95), Nearest(600/1123*95))
        // A resize refits in the fit modes.
        bound.resize(1000, 1200);
        QTRY_COMPARE(bound.Zoom(), 102);  // min(Nearest(1000/794*95), Nearest(1200/1123*95))
    }

    void notificationsBecomeEvents() {
        auto printer = Loaded(report3_);
        TQRPreview preview;
        preview.SetReportPrinter(printer.get());
        QList<int> pages, progress;
        preview.OnPageAvailable = [&](TQRPreview*, int32_t n) { pages << n; };
        preview.OnProgressUpdate = [&](TQRPreview*, int32_t p) { progress << p; };
        printer->SetReadyPageCount(2);
        printer->SetProgressPercent(40);
        printer->SetReadyPageCount(65536 + 3);
        QVERIFY(pages.isEmpty());  // posted: handled by the message loop
        ProcessMessages();
        QCOMPARE(pages, QList<int>({2, 3}));
        QCOMPARE(progress, QList<int>({40}));
    }

    void windowStatusKeysAndButtons() {
        auto printer = Loaded(report17_);
        printer->ShowPreview();
        auto* window = qobject_cast<TQRStandardPreview*>(printer->PreviewWindow());
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        QCOMPARE(window->windowTitle(), QString("Print Preview"));
        QVERIFY(printer->PreviewShowing());
        QCOMPARE(window->StatusPanel(1)->text(), QString("Page 1 of 17"));
        QVERIFY(window->Action("Print")->isEnabled());
        QVERIFY(!window->Action("PrintSetup")->isEnabled());
        QVERIFY(window->Action("ZoomToWidth")->isChecked());
        QCOMPARE(window->QRPreview()->Zoom(), 100);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QWindow* handle = window->windowHandle();

        struct Key {
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            int page;
        } keys[] = {
            {Qt::Key_PageDown, Qt::NoModifier, 2},
            {Qt::Key_PageDown, Qt::ControlModifier, 17},
            {Qt::Key_PageDown, Qt::NoModifier, 17},  // stays on the last page
            {Qt::Key_PageUp, Qt::NoModifier, 16},
            {Qt::Key_Home, Qt::NoModifier, 1},
            {Qt::Key_PageUp, Qt::NoModifier, 1},
            {Qt::Key_End, Qt::ShiftModifier, 17},
            {Qt::Key_PageUp, Qt::ControlModifier, 1},
            {Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier, 2},
            {Qt::Key_A, Qt::NoModifier, 2},
        };
        // Every key still reaches the focused control after the window saw it.
        int reached = 0;
        struct Counter : QObject {
            int* count;
            explicit Counter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::KeyPress) ++*count;
                return false;
            }
        } counter(&reached);
        window->QRPreview()->setFocus();
        QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        focused->installEventFilter(&counter);
        for (const Key& k : keys) {
            QTest::keyClick(handle, k.key, k.mods);
            QCOMPARE(window->QRPreview()->PageNumber(), k.page);
            QCOMPARE(window->StatusPanel(1)->text(), QString("Page %1 of 17").arg(k.page));
        }
        QVERIFY2(reached >= int(std::size(keys)), "a key did not reach the focused control");
        focused->removeEventFilter(&counter);

        // Progress panel: 3, 5, 8, 10, 100, then 50.
        QStringList shown;
        for (int p : {3, 5, 8, 10, 100, 50}) {
            window->QRPreviewProgressUpdate(window->QRPreview(), p);
            shown << window->StatusPanel(0)->text();
        }
        QCOMPARE(shown, QStringList({"0%", "5%", "5%", "10%", "", ""}));

        QPointer<TQRStandardPreview> guard(window);
        QTest::keyClick(handle, Qt::Key_Escape);
        QVERIFY(!printer->PreviewShowing());
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(printer->PageTotal(), 17);
    }

    void saveAndLoadThroughTheDialogs() {
        auto printer = Loaded(report3_);
        printer->ShowPreview();
        auto* window = qobject_cast<TQRStandardPreview*>(printer->PreviewWindow());
        QVERIFY(window);

        // Save: the saved-report type is the only one; the suffix is added.
        QStringList filters;
        const QString target = dir_.filePath("copy");
        TQRStandardPreview::DialogRunner = [&](QFileDialog& d) {
            filters = d.nameFilters();
            d.selectFile(target);
            return true;
        };
        window->SaveClick();
        QCOMPARE(filters, QStringList({"VazarArezav file(*.QRP)"}));
        QFile saved(target + ".QRP");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QFile original(report3_);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), original.readAll());

        // Load a missing file: the message, nothing changed.
        QString message;
        TQRStandardPreview::MessageRunner = [&](const QString& m) { message = m; };
        TQRStandardPreview::DialogRunner = [&](QFileDialog& d) {
            d.selectFile(dir_.filePath("missing.qrp"));
            return true;
        };
        window->LoadClick();
        QCOMPARE(message, QString("File does not exist"));
        QCOMPARE(printer->PageTotal(), 3);

        // Load another report: its page 1 is shown.
        TQRStandardPreview::DialogRunner = [&](QFileDialog& d) {
            d.selectFile(report17_);
            return true;
        };
        window->LoadClick();
        QCOMPARE(printer->PageTotal(), 17);
        QCOMPARE(window->StatusPanel(1)->text(), QString("Page 1 of 17"));
        QVERIFY(window->QRPreview()->PageImage()->HasPicture());
        QVERIFY(!window->Action("PrintSetup")->isEnabled());
        QVERIFY(window->Action("Print")->isEnabled());

        // Cancelling changes nothing.
        TQRStandardPreview::DialogRunner = [](QFileDialog&) { return false; };
        window->LoadClick();
        QCOMPARE(printer->PageTotal(), 17);

        TQRStandardPreview::DialogRunner = nullptr;
        TQRStandardPreview::MessageRunner = nullptr;
        window->ExitClick();
        QVERIFY(!printer->PreviewShowing());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    PreviewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "preview_test.moc"
