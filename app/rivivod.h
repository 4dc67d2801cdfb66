// TRivivodF: the program's own window, a single button that opens a saved
// report in a preview. Started with a file name, the program shows only that
// file's preview and ends when it is closed.
#pragma once

#include <QStringList>
#include <QWidget>

class QFileDialog;
class QPushButton;

class TRivivodF : public QWidget {
    Q_OBJECT
  public:
    // arguments: the command line's arguments after the program name.
    explicit TRivivodF(const QStringList& arguments, QWidget* parent = nullptr);

    QPushButton* OpenButton() const { return bOpen_; }
    QFileDialog* OpenDialog1() const { return openDialog_; }

    // Runs the command-line mode: the first argument's preview, then the
    // request to end. Errors reach the caller.
    void FormCreate();
    // The open button: a file chosen in the dialog is previewed; the click
    // returns once that preview has closed.
    void bOpenClick();

  private:
    QStringList arguments_;
    QPushButton* bOpen_ = nullptr;
    QFileDialog* openDialog_ = nullptr;
};
