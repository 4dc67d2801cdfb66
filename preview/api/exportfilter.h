// The export filter library: the process-wide list of filters that write a
// report's pages to a file of another format. The preview's Save command
// offers the saved-report type first, then one file type per filter.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// Base of export filters, constructed with the target file name.
class TQRExportFilterBase {
  public:
    explicit TQRExportFilterBase(QString fileName) : fileName_(std::move(fileName)) {}
    virtual ~TQRExportFilterBase() = default;

    const QString& FileName() const { return fileName_; }
    bool Active() const { return active_; }
    void SetActive(bool v) { active_ = v; }
    int32_t Page() const { return page_; }
    void SetPage(int32_t v) { page_ = v; }

  private:
    bool active_ = false;
    QString fileName_;
    int32_t page_ = 0;
};

// A filter type: constructs a filter for a file name.
using TQRExportFilterClass =
    std::function<std::unique_ptr<TQRExportFilterBase>(const QString& fileName)>;

struct TQRExportFilterItem {
    TQRExportFilterClass FilterClass;
    QString FilterCaption;
    QString FileExtension;  // without the dot
};

class TQRExportFilterLibrary {
  public:
    // The filter string of a save-file dialog, pairs of caption and pattern
    // separated by '|': the saved-report type first, then each filter's.
    QString DialogFilterText() const;

    const std::vector<std::unique_ptr<TQRExportFilterItem>>& Filters() const { return filters_; }

    // Appends a filter; the order of registration is the order in the dialog.
    void Register(TQRExportFilterClass filterClass, const QString& caption,
                  const QString& extension);

  private:
    std::vector<std::unique_ptr<TQRExportFilterItem>> filters_;
};

// The single library, from the report module's start to its stop; null
// outside that time.
extern std::unique_ptr<TQRExportFilterLibrary> ExportFilterLibrary;

// Turns a '|'-separated filter text into the list a Qt file dialog takes:
// "Caption (*.ext)" entries, one per caption/pattern pair.
QStringList DialogFiltersForQt(const QString& filterText);
