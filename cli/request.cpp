#include "cli/request.h"

#include <QSet>

namespace {

bool ParsePositive(const QString& text, int max, int* out) {
    bool ok = false;
    int v = text.toInt(&ok);
    if (!ok || v < 1 || v > max) return false;
    *out = v;
    return true;
}

// The options each verb takes; a flag takes no value.
struct VerbInfo {
    const char* name;
    CliRequest::Verb verb;
    int minPositional;
    int maxPositional;  // -1: any number
    QStringList options;
    QStringList flags;
};

const QList<VerbInfo>& Verbs() {
    static const QList<VerbInfo> verbs = {
        {"info", CliRequest::Verb::Info, 1, 1, {}, {"--json"}},
        {"pack", CliRequest::Verb::Pack, 2, -1, {}, {"--compress"}},
        {"unpack", CliRequest::Verb::Unpack, 2, 2, {}, {}},
        {"render", CliRequest::Verb::Render, 2, 2, {"--dpi", "--width", "--pages", "--format"}, {}},
        {"dump", CliRequest::Verb::Dump, 1, 1, {"--pages"}, {}},
        {"print", CliRequest::Verb::Print, 1, 1, {"--printer", "--pages", "--copies"}, {}},
    };
    return verbs;
}

}  // namespace

std::optional<CliRequest> ParseCliArguments(const QStringList& args, QString* error) {
    CliRequest r;
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) ||
        args.contains(QStringLiteral("-h")) || args.first() == QStringLiteral("help")) {
        r.verb = CliRequest::Verb::Help;
        return r;
    }
    if (args.first() == QStringLiteral("--version")) {
        r.verb = CliRequest::Verb::Version;
        return r;
    }
    const VerbInfo* info = nullptr;
    for (const VerbInfo& v : Verbs())
        if (args.first() == QLatin1String(v.name)) info = &v;
    if (!info) {
        *error = QStringLiteral("unknown command '%1' (try --help)").arg(args.first());
        return std::nullopt;
    }
    r.verb = info->verb;

    QStringList positional;
    QSet<QString> seen;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--")) {
            positional += args.mid(i + 1);
            break;
        }
        if (!a.startsWith(QStringLiteral("--")) || a.size() == 2) {
            positional << a;
            continue;
        }
        // Options take their value either as the next argument or after '='.
        QString name = a, value;
        bool inlineValue = false;
        if (int eq = a.indexOf(QLatin1Char('=')); eq > 0) {
            name = a.left(eq);
            value = a.mid(eq + 1);
            inlineValue = true;
        }
        if (info->flags.contains(name) && !inlineValue) {
            if (name == QStringLiteral("--json")) r.json = true;
            if (name == QStringLiteral("--compress")) r.compress = true;
            continue;
        }
        if (!info->options.contains(name)) {
            *error = QStringLiteral("%1 does not take the option %2").arg(info->name, name);
            return std::nullopt;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return std::nullopt;
            }
            value = args[++i];
        }
        if (seen.contains(name)) {
            *error = QStringLiteral("%1 is given twice").arg(name);
            return std::nullopt;
        }
        seen.insert(name);
        if (name == QStringLiteral("--dpi")) {
            if (!ParsePositive(value, 4800, &r.dpi)) {
                *error = QStringLiteral("--dpi wants a whole number from 1 to 4800, not '%1'")
                             .arg(value);
                return std::nullopt;
            }
        } else if (name == QStringLiteral("--width")) {
            if (!ParsePositive(value, 32768, &r.width)) {
                *error = QStringLiteral(
                             "--width wants a whole number of pixels from 1 to 32768, not '%1'")
                             .arg(value);
                return std::nullopt;
            }
        } else if (name == QStringLiteral("--copies")) {
            if (!ParsePositive(value, 999, &r.copies)) {
                *error = QStringLiteral("--copies wants a whole number from 1 to 999, not '%1'")
                             .arg(value);
                return std::nullopt;
            }
        } else if (name == QStringLiteral("--format")) {
            r.format = value.toLower();
            if (r.format != QStringLiteral("png") && r.format != QStringLiteral("pdf") &&
                r.format != QStringLiteral("svg")) {
                *error = QStringLiteral("--format wants png, pdf or svg, not '%1'").arg(value);
                return std::nullopt;
            }
        } else if (name == QStringLiteral("--pages")) {
            QString why;
            // The range is checked against the report later; here only its form.
            if (!ParsePageRange(value, INT32_MAX, &why)) {
                *error = QStringLiteral("--pages: %1").arg(why);
                return std::nullopt;
            }
            r.pages = value;
        } else if (name == QStringLiteral("--printer")) {
            r.printer = value;
        }
    }
    if (seen.contains(QStringLiteral("--dpi")) && seen.contains(QStringLiteral("--width"))) {
        *error = QStringLiteral("render takes --dpi or --width, not both");
        return std::nullopt;
    }
    if (positional.size() < info->minPositional ||
        (info->maxPositional >= 0 && positional.size() > info->maxPositional)) {
        *error = QStringLiteral("wrong number of arguments for %1 (try --help)").arg(info->name);
        return std::nullopt;
    }
    switch (r.verb) {
        case CliRequest::Verb::Pack:
            r.output = positional.first();
            r.pictures = positional.mid(1);
            break;
        case CliRequest::Verb::Unpack:
        case CliRequest::Verb::Render:
            r.input = positional[0];
            r.output = positional[1];
            break;
        default:
            r.input = positional[0];
            break;
    }
    return r;
}

std::optional<QList<int>> ParsePageRange(const QString& text, int numPages, QString* error) {
    QList<int> pages;
    if (text.trimmed().isEmpty()) {
        for (int i = 1; i <= numPages; ++i)
            pages << i;
        return pages;
    }
    auto number = [&](const QString& s, int* out) {
        bool ok = false;
        qlonglong v = s.trimmed().toLongLong(&ok);
        if (!ok || v < 1) {
            *error = QStringLiteral("'%1' is not a page number").arg(s.trimmed());
            return false;
        }
        if (v > numPages) {
            *error = QStringLiteral("page %1 is past the last page, %2").arg(v).arg(numPages);
            return false;
        }
        *out = static_cast<int>(v);
        return true;
    };
    for (const QString& part : text.split(QLatin1Char(','))) {
        int dash = part.indexOf(QLatin1Char('-'));
        if (dash < 0) {
            int p = 0;
            if (!number(part, &p)) return std::nullopt;
            pages << p;
            continue;
        }
        int first = 0, last = 0;
        if (!number(part.left(dash), &first) || !number(part.mid(dash + 1), &last))
            return std::nullopt;
        if (last < first) {
            *error = QStringLiteral("'%1' runs backwards").arg(part.trimmed());
            return std::nullopt;
        }
        // A syntax check against an open-ended report must not build a huge list.
        if (int64_t(last) - first > 1000000) {
            *error = QStringLiteral("'%1' spans too many pages").arg(part.trimmed());
            return std::nullopt;
        }
        for (int p = first; p <= last; ++p)
            pages << p;
    }
    return pages;
}

QString CliUsage() {
    return QStringLiteral(
        "Usage: vorlaxa-cli COMMAND [OPTIONS] ...\n"
        "\n"
        "Commands on saved reports (.qrp):\n"
        "  info [--json] FILE.qrp\n"
        "      Page count, form (plain or compressed), date, file size and the page records.\n"
        "  unpack FILE.qrp DIR\n"
        "      Writes each page's metafile as DIR/page-0001.emf, DIR/page-0002.emf, ...\n"
        "  pack OUT.qrp [--compress] PAGE.emf...\n"
        "      Builds a saved report from metafiles, one page each, in the order given.\n"
        "  render INPUT OUTPUT [--dpi N | --width N] [--pages RANGE] [--format png|pdf|svg]\n"
        "      Draws pages of a report or of one .emf to PNG (default, 96 dpi), SVG or PDF.\n"
        "      Several pages to PNG or SVG need a page number in OUTPUT, e.g. out-%04d.png.\n"
        "  dump INPUT [--pages RANGE]\n"
        "      Lists the records of each page, and says which the player skips and why.\n"
        "  print FILE.qrp [--printer NAME] [--pages FIRST-LAST] [--copies N]\n"
        "      Prints the report (on the default printer unless one is named).\n"
        "\n"
        "A page RANGE is written like 1-3,7.\n"
        "  --help       this text\n"
        "  --version    the program's version\n");
}
