#include "cli/request.h"

#include <gtest/gtest.h>

namespace {

std::optional<CliRequest> Parse(const QStringList& args, QString* error = nullptr) {
    QString e;
    auto r = ParseCliArguments(args, &e);
    if (error) *error = e;
    return r;
}

TEST(CliArguments, VerbsTakeTheirOperandsAndOptions) {
    auto info = Parse({"info", "--json", "r.qrp"});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->verb, CliRequest::Verb::Info);
    EXPECT_TRUE(info->json);
    EXPECT_EQ(info->input, "r.qrp");

    auto pack = Parse({"pack", "out.qrp", "--compress", "a.emf", "b.emf"});
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->output, "out.qrp");
    EXPECT_TRUE(pack->compress);
    EXPECT_EQ(pack->pictures, QStringList({"a.emf", "b.emf"}));

    auto render = Parse(
        {"render", "r.qrp", "out-%04d.png", "--width=800", "--pages", "1-3,7", "--format", "SVG"});
    ASSERT_TRUE(render);
    EXPECT_EQ(render->input, "r.qrp");
    EXPECT_EQ(render->output, "out-%04d.png");
    EXPECT_EQ(render->width, 800);
    EXPECT_EQ(render->pages, "1-3,7");
    EXPECT_EQ(render->format, "svg");

    auto print = Parse({"print", "r.qrp", "--printer", "PDF", "--copies", "2"});
    ASSERT_TRUE(print);
    EXPECT_EQ(print->printer, "PDF");
    EXPECT_EQ(print->copies, 2);

    // An operand that starts with dashes after "--".
    auto odd = Parse({"info", "--", "--odd.qrp"});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->input, "--odd.qrp");

    EXPECT_EQ(Parse({})->verb, CliRequest::Verb::Help);
    EXPECT_EQ(Parse({"info", "--help"})->verb, CliRequest::Verb::Help);
    EXPECT_EQ(Parse({"--version"})->verb, CliRequest::Verb::Version);
}

TEST(CliArguments, FaultsAreRefusedWithAReason) {
    struct Case {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"info"}, "wrong number of arguments for info"},
        {{"info", "a.qrp", "b.qrp"}, "wrong number of arguments for info"},
        {{"pack", "out.qrp"}, "wrong number of arguments for pack"},
        {{"unpack", "a.qrp", "--json", "dir"}, "unpack does not take the option --json"},
        {{"render", "a.qrp", "o.png", "--dpi"}, "--dpi needs a value"},
        {{"render", "a.qrp", "o.png", "--dpi", "0"}, "--dpi wants a whole number"},
        {{"render", "a.qrp", "o.png", "--dpi", "96", "--width", "10"}, "not both"},
        {{"render", "a.qrp", "o.png", "--format", "bmp"}, "--format wants png, pdf or svg"},
        {{"render", "a.qrp", "o.png", "--pages", "3-1"}, "runs backwards"},
        {{"render", "a.qrp", "o.png", "--pages", "x"}, "'x' is not a page number"},
        {{"print", "a.qrp", "--copies", "-1"}, "--copies wants a whole number"},
        {{"dump", "a.emf", "--pages", "1", "--pages", "2"}, "--pages is given twice"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(Parse(c.args, &error)) << c.args.join(' ').toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.says)))
            << c.args.join(' ').toStdString() << " -> " << error.toStdString();
    }
}

TEST(PageRange, ListsPagesInTheOrderGivenWithinTheReport) {
    QString error;
    EXPECT_EQ(*ParsePageRange("1-3,7", 10, &error), QList<int>({1, 2, 3, 7}));
    EXPECT_EQ(*ParsePageRange(" 5 , 2-2 ", 10, &error), QList<int>({5, 2}));
    EXPECT_EQ(*ParsePageRange("", 3, &error), QList<int>({1, 2, 3}));
    EXPECT_FALSE(ParsePageRange("1-11", 10, &error));
    EXPECT_EQ(error, "page 11 is past the last page, 10");
    EXPECT_FALSE(ParsePageRange("0", 10, &error));
    EXPECT_FALSE(ParsePageRange("1,", 10, &error));
    EXPECT_FALSE(ParsePageRange("1-2-3", 10, &error));
}

}  // namespace
