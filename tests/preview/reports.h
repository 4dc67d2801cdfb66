// Small saved reports for the widget tests, built with the page list from
// metafiles that draw a filled rectangle, so that a shown page is visible.
#pragma once

#include <QString>

// Writes a saved report of pages pages, each widthPx x heightPx reference
// pixels at 96 per inch, whose page n shows a block n/pages of the way down.
void WriteTestReport(const QString& path, int pages, int widthPx = 794, int heightPx = 1123);
