#include "platform/application.h"

#include "platform/errors.h"

#include <QAbstractEventDispatcher>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

namespace {
std::function<void(const QString&, const QString&)>& ErrorDisplay() {
    static std::function<void(const QString&, const QString&)> f;
    return f;
}

QString TextOf(const std::exception& e) {
    if (auto* x = dynamic_cast<const Exception*>(&e)) return x->Message();
    return QString::fromUtf8(e.what());
}
}  // namespace

void ProcessMessages() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void HandleMessage() {
    if (!QCoreApplication::instance()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    title_ = applicationName();
}

TApplication::~TApplication() = default;

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::Terminate() {
    terminated_ = true;
    QMetaObject::invokeMethod(this, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TApplication::ShowException(const std::exception& e) {
    ShowErrorText(TextOf(e));
}

void TApplication::ShowErrorText(const QString& message) {
    const QString text = DisplayText(message);
    // Also on the terminal, for whoever started the program from a shell.
    std::fprintf(stderr, "%s: %s\n", qPrintable(applicationName()), qPrintable(text));
    if (ErrorDisplay()) {
        ErrorDisplay()(title_, text);
        return;
    }
    QMessageBox::critical(mainForm_ && mainForm_->isVisible() ? mainForm_.data() : nullptr, title_,
                          text);
}

void TApplication::SetErrorDisplay(std::function<void(const QString&, const QString&)> f) {
    ErrorDisplay() = std::move(f);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowErrorText(QStringLiteral("Unexpected error"));
    }
    return false;
}

bool RunShowingErrors(const std::function<void()>& f) {
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        if (TApplication* app = TApplication::Instance()) {
            app->ShowException(e);
        } else if (ErrorDisplay()) {
            ErrorDisplay()(QCoreApplication::applicationName(), DisplayText(TextOf(e)));
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(DisplayText(TextOf(e))));
        }
    }
    return false;
}
