// TQRStandardPreview: the print-preview window. A tool bar with zoom, page,
// print, save, load and close commands, the preview control in the middle,
// and a status bar with the production progress and the page shown. The
// standard factory TQRStandardPreviewInterface opens it for a report
// printer.
#pragma once

#include "preview/api/previewinterface.h"

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>

class QActionGroup;
class QAction;
class QFileDialog;
class QLabel;
class QPushButton;
class QToolBar;
class TQRPreview;
class TZEZoravoz;

class TQRStandardPreview : public QMainWindow {
    Q_OBJECT
  public:
    TQRStandardPreview(QWidget* owner, TZEZoravoz* printer);
    ~TQRStandardPreview() override;

    TZEZoravoz* ReportPrinter() const { return reportPrinter_; }
    TQRPreview* QRPreview() const { return preview_; }
    int32_t ShownProgress() const { return shownProgress_; }

    // Shows the window modelessly, then writes the page status.
    void PresentWindow();
    void ShowPageStatus();

    // The window's commands.
    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintClick();
    void PrintSetupClick();
    void SaveClick();
    void LoadClick();
    void ExitClick();
    void QRPreviewPageAvailable(TQRPreview* sender, int32_t pageNum);
    void QRPreviewProgressUpdate(TQRPreview* sender, int32_t progress);
    // Handles a key the way the window's key preview does; the key still
    // goes on to the focused control.
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    // The components, by their layout names, for tests and accessibility.
    QAction* Action(const char* name) const;
    QLabel* StatusPanel(int index) const;
    QPushButton* ExitButton() const { return exitButton_; }

    // Runs a file dialog and says whether the user accepted it. Replaceable
    // so that tests can answer the dialog; empty means exec().
    static std::function<bool(QFileDialog&)> DialogRunner;
    // Shows a plain message; replaceable for tests; empty means a box.
    static std::function<void(const QString&)> MessageRunner;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* AddTool(QToolBar* bar, const char* name, int glyph, const QString& tip,
                     void (TQRStandardPreview::*handler)());
    static bool RunDialog(QFileDialog& dialog);

    TZEZoravoz* reportPrinter_ = nullptr;
    TQRPreview* preview_ = nullptr;
    QLabel* panel0_ = nullptr;
    QLabel* panel1_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QActionGroup* zoomGroup_ = nullptr;
    QPointer<QObject> keyWindow_;
    int32_t shownProgress_ = 0;
    bool closing_ = false;
};

class TQRStandardPreviewInterface : public TQRPreviewInterface {
  public:
    QWidget* OpenPreview(TZEZoravoz* printer) override;
    QWidget* OpenPreviewModal(TZEZoravoz* printer) override;
};

// Registers the standard window as the factory type the report module starts with.
void RegisterStandardPreview();
