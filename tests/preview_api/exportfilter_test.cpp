#include "preview/api/exportfilter.h"
#include "preview/api/previewinterface.h"

#include <gtest/gtest.h>

namespace {

struct CsvFilter : TQRExportFilterBase {
    using TQRExportFilterBase::TQRExportFilterBase;
};

TEST(ExportFilterLibrary, DialogTextListsTheSavedReportTypeThenEachFilterInOrder) {
    TQRExportFilterLibrary lib;
    EXPECT_EQ(lib.DialogFilterText(), "VazarArezav file(*.QRP)|*.QRP");

    lib.Register([](const QString& f) { return std::make_unique<CsvFilter>(f); }, "Comma separated",
                 "csv");
    lib.Register([](const QString& f) { return std::make_unique<TQRExportFilterBase>(f); },
                 "Plain text", "txt");
    EXPECT_EQ(
        lib.DialogFilterText(),
        "VazarArezav file(*.QRP)|*.QRP|Comma separated (*.csv)|*.csv|Plain text (*.txt)|*.txt");
    // File type 2 in the dialog is the first entry.
    auto filter = lib.Filters()[2 - 2]->FilterClass("out.csv");
    EXPECT_NE(dynamic_cast<CsvFilter*>(filter.get()), nullptr);
    EXPECT_EQ(filter->FileName(), "out.csv");
    EXPECT_FALSE(filter->Active());
    EXPECT_EQ(filter->Page(), 0);

    EXPECT_EQ(
        DialogFiltersForQt(lib.DialogFilterText()),
        QStringList({"VazarArezav file(*.QRP)", "Comma separated (*.csv)", "Plain text (*.txt)"}));
}

TEST(PreviewInterface, TheBaseOpensNoWindowAndARegisteredTypeBecomesTheInitialOne) {
    auto base = InitialPreviewInterfaceClass()();
    EXPECT_EQ(base->OpenPreview(nullptr), nullptr);
    EXPECT_EQ(base->OpenPreviewModal(nullptr), nullptr);

    static int made = 0;
    struct Counting : TQRPreviewInterface {
        Counting() { ++made; }
    };
    RegisterInitialPreviewInterfaceClass(PreviewClassOf<Counting>());
    auto a = InitialPreviewInterfaceClass()();
    auto b = InitialPreviewInterfaceClass()();
    EXPECT_EQ(made, 2) << "each request makes a fresh factory object";
    RegisterInitialPreviewInterfaceClass({});
}

}  // namespace
