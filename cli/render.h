// The drawing commands of vorlaxa-cli: render (pages to PNG, SVG or PDF, by
// the same player the viewer uses) and dump (a page's records, one line
// each, with what the player skips and why, and the drawing it makes).
#pragma once

#include "cli/request.h"

#include <QSize>
#include <QString>
#include <QTextStream>
#include <memory>

class PagePicture;
class TQRPageList;

int ExecuteRender(const CliRequest& r, QTextStream& out, QTextStream& err);
int ExecuteDump(const CliRequest& r, QTextStream& out, QTextStream& err);

// The pages of a render or dump input: a saved report (.qrp), or a single
// metafile (told apart by its first bytes, whatever its name).
class PageInput {
  public:
    // Opens the file; fails with the platform's file and metafile errors.
    explicit PageInput(const QString& path);
    ~PageInput();
    int Count() const;
    // Page n (1-based).
    std::unique_ptr<PagePicture> Page(int n);
    bool IsMetafile() const { return single_ != nullptr; }

  private:
    std::unique_ptr<PagePicture> single_;
    std::unique_ptr<TQRPageList> list_;
};

// The size in pixels of a page drawn at dpi, or at width pixels wide when
// width > 0, from the physical size of its frame.
QSize PagePixelSize(const PagePicture& page, int dpi, int width);

// OUTPUT with its printf-style page field ("%d", "%04d") filled with page;
// "%%" is a percent sign. hasField tells whether there was a field.
QString PageFileName(const QString& pattern, int page, bool* hasField);
