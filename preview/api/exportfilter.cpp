#include "preview/api/exportfilter.h"

#include <QStringList>

std::unique_ptr<TQRExportFilterLibrary> ExportFilterLibrary;

QString TQRExportFilterLibrary::DialogFilterText() const {
    // The saved-report caption has no blank before its pattern; the
    // filters' captions do.
    QString text = QStringLiteral("VazarArezav file(*.QRP)|*.QRP");
    for (const auto& item : filters_)
        text += QStringLiteral("|%1 (*.%2)|*.%2").arg(item->FilterCaption, item->FileExtension);
    return text;
}

void TQRExportFilterLibrary::Register(TQRExportFilterClass filterClass, const QString& caption,
                                      const QString& extension) {
    filters_.push_back(std::make_unique<TQRExportFilterItem>(
        TQRExportFilterItem{std::move(filterClass), caption, extension}));
}

QStringList DialogFiltersForQt(const QString& filterText) {
    QStringList parts = filterText.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString caption = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file; on this platform names need no dot.
        if (patterns == QStringLiteral("*.*")) patterns = QStringLiteral("*");
        // Qt reads the patterns from the parentheses of the entry, so a
        // caption that already shows them is kept as it is.
        if (caption.contains(QLatin1Char('(')) && caption.endsWith(QLatin1Char(')')))
            out << caption;
        else
            out << QStringLiteral("%1 (%2)").arg(caption, patterns);
    }
    return out;
}
