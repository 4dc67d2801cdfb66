#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/request.h"
#include "platform/errors.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <exception>

#include "cli/render.h"

namespace {

int Execute(const CliRequest& r, QTextStream& out, QTextStream& err) {
    switch (r.verb) {
        case CliRequest::Verb::Help:
            out << CliUsage();
            return 0;
        case CliRequest::Verb::Version:
            out << "vorlaxa-cli " VORLAXA_VERSION "\n";
            return 0;
        case CliRequest::Verb::Info:
            return ExecuteInfo(r, out, err);
        case CliRequest::Verb::Pack:
            return ExecutePack(r, out, err);
        case CliRequest::Verb::Unpack:
            return ExecuteUnpack(r, out, err);
        case CliRequest::Verb::Render:
            return ExecuteRender(r, out, err);
        case CliRequest::Verb::Dump:
            return ExecuteDump(r, out, err);
        case CliRequest::Verb::Print:
            return ExecutePrint(r, out, err);
        default:
            break;
    }
    err << "vorlaxa-cli: this command is not available in this build\n";
    return 2;
}

// The file an error concerns, for messages that do not name it themselves.
QString Subject(const CliRequest& r) {
    return r.input.isEmpty() ? r.output : r.input;
}

}  // namespace

int RunCli(int argc, char** argv) {
    // Drawing pages needs a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; make one rather than warn about it.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/vorlaxa-runtime-" +
                               QByteArray::number(static_cast<qulonglong>(::getuid()));
        if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) qputenv("XDG_RUNTIME_DIR", dir);
    }
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QString error;
    std::optional<CliRequest> request = ParseCliArguments(app.arguments().mid(1), &error);
    if (!request) {
        err << "vorlaxa-cli: " << error << "\n";
        return 2;
    }
    try {
        return Execute(*request, out, err);
    } catch (const Exception& e) {
        QString message = e.Message();
        if (auto* g = dynamic_cast<const EInvalidGraphic*>(&e); g && !g->Detail().isEmpty())
            message += QStringLiteral(" (%1)").arg(g->Detail());
        const QString subject = Subject(*request);
        if (!subject.isEmpty() && !message.contains(subject))
            message = subject + QStringLiteral(": ") + message;
        out.flush();
        err << "vorlaxa-cli: " << message << "\n";
        return 1;
    } catch (const std::exception& e) {
        out.flush();
        err << "vorlaxa-cli: " << Subject(*request) << ": " << e.what() << "\n";
        return 1;
    }
}
