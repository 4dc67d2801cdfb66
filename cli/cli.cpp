#include "cli/cli.h"

#if __has_include("storage/pagelist.h")
#include "cli/commands.h"
#define VORLAXA_HAVE_STORAGE 1
#endif
#include "cli/request.h"
#include "platform/errors.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <exception>

#if __has_include("cli/render.h")
#include "cli/render.h"
#define VORLAXA_HAVE_RENDER 1
#endif

namespace {

int Execute(const CliRequest& r, QTextStream& out, QTextStream& err) {
    switch (r.verb) {
        case CliRequest::Verb::Help: out << CliUsage(); return 0;
        case CliRequest::Verb::Version: out << "vorlaxa-cli " VORLAXA_VERSION "\n"; return 0;
#ifdef VORLAXA_HAVE_STORAGE
        case CliRequest::Verb::Info: return ExecuteInfo(r, out, err);
        case CliRequest::Verb::Pack: return ExecutePack(r, out, err);
        case CliRequest::Verb::Unpack: return ExecuteUnpack(r, out, err);
#endif
#ifdef VORLAXA_HAVE_RENDER
        case CliRequest::Verb::Render: return ExecuteRender(r, out, err);
        case CliRequest::Verb::Dump: return ExecuteDump(r, out, err);
#endif
        default: break;
    }
    err << "vorlaxa-cli: this command is not available in this build\n";
    return 2;
}

// The file an error concerns, for messages that do not name it themselves.
QString Subject(const CliRequest& r) { return r.input.isEmpty() ? r.output : r.input; }

}  // namespace

int RunCli(int argc, char** argv) {
    // Drawing pages needs a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
