// The application object: a thin layer over QApplication that gives the
// program its message-loop steps, its title and main window, and the
// standard error display. No exception crosses Qt's event dispatch: one that
// escapes an event handler is shown in the standard error display and the
// program goes on.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

// Handles pending messages of the running application, without waiting.
// Safe to call without an application (does nothing then).
void ProcessMessages();

// One wait-and-dispatch round: waits until at least one message arrives and
// handles what is pending.
void HandleMessage();

class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The running application object, or null.
    static TApplication* Instance();

    // Asks the main loop to end; queued, so the current handler finishes first.
    void Terminate();
    bool Terminated() const { return terminated_; }

    QWidget* MainForm() const { return mainForm_; }
    void SetMainForm(QWidget* form) { mainForm_ = form; }

    // The caption of the standard error display and of dialogs.
    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

    // The standard error display: a critical message box with the title as
    // caption and the error's text as message, a full stop appended when the
    // text's last character sorts after '.'.
    void ShowException(const std::exception& e);
    void ShowErrorText(const QString& message);

    // Replaces the message box, for tests and for programs without a screen;
    // an empty function restores it. The function gets the text as shown.
    static void SetErrorDisplay(std::function<void(const QString& caption, const QString& text)> f);

    // Dispatches an event; an exception that escapes the handler is shown
    // and swallowed.
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    QPointer<QWidget> mainForm_;
    QString title_;
    bool terminated_ = false;
};

// Runs f; an exception it throws goes to the standard error display (or to
// stderr when there is no application object). Returns whether f completed.
bool RunShowingErrors(const std::function<void()>& f);
