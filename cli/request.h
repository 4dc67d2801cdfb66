// The command line of vorlaxa-cli as a request: parsing is a pure function
// from the arguments to what is asked for, tested without files or windows.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct CliRequest {
    enum class Verb { Help, Version, Info, Pack, Unpack, Render, Dump, Print };
    Verb verb = Verb::Help;

    QString input;         // info, unpack, render, dump, print: the file read
    QString output;        // pack: the report written; unpack: the folder; render: the output name
    QStringList pictures;  // pack: the page EMFs in order

    bool json = false;      // info --json
    bool compress = false;  // pack --compress

    // render
    int dpi = 96;    // --dpi N
    int width = 0;   // --width N (pixels; overrides dpi when set)
    QString format;  // --format png|pdf|svg; empty: taken from the output's suffix, else png
    QString pages;   // --pages RANGE (render, dump, print): empty means all pages

    // print
    QString printer;  // --printer NAME; empty: the default printer
    int copies = 1;   // --copies N
};

// Parses the arguments after the program name. On a fault returns nothing and
// sets *error to one line saying what is wrong.
std::optional<CliRequest> ParseCliArguments(const QStringList& args, QString* error);

// Parses a page range such as "1-3,7" against a report of numPages pages:
// the pages in the order given, each between 1 and numPages. An empty text
// means every page. Returns nothing and sets *error on a fault.
std::optional<QList<int>> ParsePageRange(const QString& text, int numPages, QString* error);

// The text of --help.
QString CliUsage();
