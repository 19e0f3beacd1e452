// The engine's HTML page read back with libxml2's HTML parser: where the
// dimension names stand, how nested row categories are grouped, how
// footnotes are lettered, and the pieces the notebook kernel takes apart.
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <memory>
#include <string>
#include <vector>

#include "outputhtml.h"
#include "outputxml.h"

namespace {

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, FreeDoc>;

Doc ParseHtml(const std::string& html) {
    return Doc(htmlReadMemory(html.data(), static_cast<int>(html.size()), "output.html", "UTF-8",
                              HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
}

// The string value of every node the expression selects, or the one value
// of an expression that gives a number or a string.
std::vector<std::string> Select(xmlDoc* doc, const std::string& expression) {
    std::vector<std::string> found;
    xmlXPathContext* context = xmlXPathNewContext(doc);
    xmlXPathObject* result =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context);
    EXPECT_NE(result, nullptr) << expression;
    if (result && result->type == XPATH_NODESET) {
        for (int i = 0; result->nodesetval && i < result->nodesetval->nodeNr; ++i) {
            xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
            found.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            xmlFree(text);
        }
    } else if (result) {
        xmlChar* text = xmlXPathCastToString(result);
        found.emplace_back(reinterpret_cast<const char*>(text));
        xmlFree(text);
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return found;
}

using Strings = std::vector<std::string>;

engine::Dimension MakeDimension(const std::string& name, int place, const Strings& categories) {
    engine::Dimension dimension;
    dimension.key.name = name;
    dimension.key.place = place;
    for (const std::string& text : categories) {
        engine::Category category;
        category.value.text = text;
        dimension.categories.push_back(category);
    }
    return dimension;
}

// Species (2) within Site (2) down the side, Statistics (2) across; each
// cell reads "<site>/<species>/<statistic>".
engine::PivotTable TwoRowDimensionTable() {
    engine::PivotTable table;
    table.key = {"Outline", "Petal sizes", "Sizes", false};
    table.dimensions.push_back(MakeDimension("Site", 0, {"North", "South"}));
    table.dimensions.push_back(MakeDimension("Species", 0, {"setosa", "virginica"}));
    table.dimensions.push_back(MakeDimension("Statistics", 1, {"N", "Mean"}));
    for (std::size_t site = 0; site < 2; ++site) {
        for (std::size_t species = 0; species < 2; ++species) {
            for (std::size_t statistic = 0; statistic < 2; ++statistic) {
                engine::Cell& cell = table.CellAt({site, species, statistic});
                cell.value.text = table.dimensions[0].categories[site].value.text + "/" +
                                  table.dimensions[1].categories[species].value.text + "/" +
                                  table.dimensions[2].categories[statistic].value.text;
            }
        }
    }
    return table;
}

class OutputPage : public ::testing::Test {
  protected:
    void File(engine::PivotTable table) {
        engine::Procedure* procedure = Opened();
        procedure->items.push_back({engine::Procedure::Item::Kind::kTable, procedure->tables.size(),
                                    log.entries().size()});
        procedure->tables.push_back(std::move(table));
    }
    void FileText(const std::string& text) {
        engine::Procedure* procedure = Opened();
        procedure->items.push_back({engine::Procedure::Item::Kind::kTextBlock,
                                    procedure->textBlocks.size(), log.entries().size()});
        procedure->textBlocks.push_back({"", "Listing", text, 0});
    }
    void Close() { document.Close(log.entries().size()); }
    void EmptyProcedure(const std::string& name) {
        document.Open(name, name, log.entries().size());
        Close();
    }
    std::string Page() const { return engine::OutputHtml(document, log); }
    Doc Parsed() const {
        Doc page = ParseHtml(Page());
        EXPECT_TRUE(page);
        return page;
    }

    engine::OutputDocument document;
    engine::OutputLog log;

  private:
    engine::Procedure* Opened() {
        if (!document.IsOpen()) document.Open("Sizes", "sizes", log.entries().size());
        return document.open();
    }
};

TEST_F(OutputPage, DimensionNamesHeadTheRowLabelsAndSpanTheColumnHeaders) {
    File(TwoRowDimensionTable());
    Close();
    Doc page = Parsed();
    xmlDoc* p = page.get();
    EXPECT_EQ(Select(p, "//table/tr[1]/th"), (Strings{"Site", "Species", "Statistics"}));
    EXPECT_EQ(Select(p, "//table/tr[1]/th/@rowspan"), (Strings{"2", "2"}));
    EXPECT_EQ(Select(p, "//table/tr[1]/th[3]/@colspan"), Strings{"2"});
    EXPECT_EQ(Select(p, "//table/tr[2]/th"), (Strings{"N", "Mean"}));
    EXPECT_EQ(Select(p, "count(//table/tr)"), Strings{"6"});
}

TEST_F(OutputPage, NestedRowCategoriesAreGroupedNotRepeated) {
    File(TwoRowDimensionTable());
    Close();
    Doc page = Parsed();
    xmlDoc* p = page.get();
    // Body rows 3..6: the outer category opens its group of two rows once.
    EXPECT_EQ(Select(p, "//table/tr[position() > 2]/th[@rowspan='2']"),
              (Strings{"North", "South"}));
    EXPECT_EQ(Select(p, "//table/tr[3]/th"), (Strings{"North", "setosa"}));
    EXPECT_EQ(Select(p, "//table/tr[4]/th"), Strings{"virginica"});
    EXPECT_EQ(Select(p, "//table/tr[5]/th"), (Strings{"South", "setosa"}));
    EXPECT_EQ(Select(p, "//table/tr[4]/td"),
              (Strings{"North/virginica/N", "North/virginica/Mean"}));
    EXPECT_EQ(Select(p, "//table/tr[6]/td"),
              (Strings{"South/virginica/N", "South/virginica/Mean"}));
}

TEST_F(OutputPage, IdenticalFootnotesShareOneLetter) {
    engine::PivotTable table = TwoRowDimensionTable();
    table.CellAt({0, 0, 1}).footnotes = {"Fewer than ten cases"};
    table.CellAt({1, 1, 1}).footnotes = {"Fewer than ten cases"};
    table.dimensions[1].categories[1].footnotes = {"Introduced species"};
    table.titleFootnotes = {"Fewer than ten cases"};
    File(std::move(table));
    Close();
    Doc page = Parsed();
    xmlDoc* p = page.get();
    EXPECT_EQ(Select(p, "//div[@class='notes']/div"),
              (Strings{"a. Fewer than ten cases", "b. Introduced species"}));
    EXPECT_EQ(Select(p, "//caption/sup"), Strings{"a"});
    EXPECT_EQ(Select(p, "//td/sup"), (Strings{"a", "a"}));
    // The footnoted category is marked wherever it is shown.
    EXPECT_EQ(Select(p, "//th[sup]"), (Strings{"virginicab", "virginicab"}));
}

TEST_F(OutputPage, TablesWithoutColumnOrRowDimensionsKeepARectangularGrid) {
    engine::PivotTable rowsOnly;
    rowsOnly.key = {"", "Counts", "Counts", false};
    rowsOnly.dimensions.push_back(MakeDimension("Species", 0, {"setosa", "virginica"}));
    rowsOnly.CellAt({0}).value.text = "50";
    engine::PivotTable columnsOnly;
    columnsOnly.key = {"", "Totals", "Totals", false};
    columnsOnly.dimensions.push_back(MakeDimension("Statistics", 1, {"N", "Sum"}));
    columnsOnly.CellAt({1}).value.text = "876.5";
    File(std::move(rowsOnly));
    File(std::move(columnsOnly));
    Close();
    Doc page = Parsed();
    xmlDoc* p = page.get();
    EXPECT_EQ(Select(p, "(//table)[1]/tr[1]/th"), (Strings{"Species", ""}));
    EXPECT_EQ(Select(p, "(//table)[1]/tr[2]/td"), Strings{"50"});
    EXPECT_EQ(Select(p, "(//table)[2]/tr[1]/th"), (Strings{"", "Statistics"}));
    EXPECT_EQ(Select(p, "(//table)[2]/tr[1]/th[1]/@rowspan"), Strings{"2"});
    EXPECT_EQ(Select(p, "(//table)[2]/tr[3]/td"), (Strings{"", "876.5"}));
}

TEST_F(OutputPage, AProcedureThatFiledNothingLeavesNoHeading) {
    EmptyProcedure("Nothing filed");
    FileText("1 2 3");
    Close();
    EmptyProcedure("Nothing either");
    Doc page = Parsed();
    EXPECT_EQ(Select(page.get(), "//h2"), Strings{"Sizes"});
    EXPECT_EQ(Select(page.get(), "count(//section)"), Strings{"1"});
}

TEST_F(OutputPage, PrintedLinesInARowStayOnePreformattedBlock) {
    log.Add(engine::OutputLog::Kind::kCommand, "BEGIN PROGRAM R.");
    for (const char* line : {"  x  y", "1 1  2", "2 3  4"})
        log.Add(engine::OutputLog::Kind::kOutput, line);
    log.Add(engine::OutputLog::Kind::kCommand, "DESCRIBE VARIABLES=x.");
    log.Add(engine::OutputLog::Kind::kOutput, "after");
    Doc page = Parsed();
    EXPECT_EQ(Select(page.get(), "//pre[@class='printed']"),
              (Strings{"  x  y\n1 1  2\n2 3  4", "after"}));
}

// The kernel counts the pieces a run added: every piece is marked once, in
// the order shown, the heading with the procedure's first piece.
TEST_F(OutputPage, EachPieceIsMarkedWithItsKindInOrder) {
    log.Add(engine::OutputLog::Kind::kCommand, "TALLY VARIABLES=x.");
    EmptyProcedure("Nothing filed");
    File(TwoRowDimensionTable());
    log.Add(engine::OutputLog::Kind::kOutput, "printed in the procedure");
    FileText("listing");
    Close();
    log.Add(engine::OutputLog::Kind::kError, "TALLY (line 1): unknown variable 'x'");
    std::string page = Page();
    Strings kinds;
    for (std::size_t at = page.find("<!--piece "); at != std::string::npos;
         at = page.find("<!--piece ", at + 1)) {
        kinds.push_back(page.substr(at + 10, page.find("-->", at) - at - 10));
    }
    EXPECT_EQ(kinds, (Strings{"command", "heading", "table", "output", "text", "error"}));
    EXPECT_NE(page.find("<!--end-->"), std::string::npos);
}

}  // namespace

// The files are saved after each procedure with every finished procedure
// rendered once: the page and the XML document must still be, byte for
// byte, what rendering the whole output gives, whatever lies between and
// inside the procedures (printed lines on both sides of a procedure's
// start, a procedure that filed nothing, an open one, bytes XML cannot hold).
TEST_F(OutputPage, SavesThatReuseFinishedProceduresGiveTheWholeRenderings) {
    engine::ProcedurePieces xmlPieces, htmlPieces;
    auto expectWhole = [&](const std::string& step) {
        EXPECT_EQ(engine::OutputXml(document, log, xmlPieces), engine::OutputXml(document, log))
            << step;
        EXPECT_EQ(engine::OutputHtml(document, log, htmlPieces), Page()) << step;
    };
    expectWhole("empty");
    log.Add(engine::OutputLog::Kind::kOutput, "printed first");
    expectWhole("only loose output");
    log.Add(engine::OutputLog::Kind::kCommand, "DESCRIBE x.");
    File(TwoRowDimensionTable());
    log.Add(engine::OutputLog::Kind::kOutput, "inside \xC3\xA9 \x01 \xFF");
    expectWhole("open procedure");
    FileText("first listing");
    Close();
    expectWhole("one finished");
    log.Add(engine::OutputLog::Kind::kOutput, "between");
    EmptyProcedure("Nothing filed");
    log.Add(engine::OutputLog::Kind::kError, "an error <b>");
    expectWhole("two finished");
    document.Open("Third", "third", log.entries().size());
    document.open()->footnotes.push_back("note & more");
    FileText("third listing");
    expectWhole("third open");
    Close();
    log.Add(engine::OutputLog::Kind::kOutput, "last");
    expectWhole("three finished");
    for (const auto* pieces : {&xmlPieces, &htmlPieces}) {
        ASSERT_EQ(pieces->size(), 3u);
        for (const auto& piece : *pieces) EXPECT_TRUE(piece.has_value());
    }
    // The kept pieces are what is written: a changed piece shows on the page.
    *htmlPieces[0] = "<!--kept-->\n";
    EXPECT_NE(engine::OutputHtml(document, log, htmlPieces).find("<!--kept-->"), std::string::npos);
    *xmlPieces[1] = "<kept/>";
    EXPECT_NE(engine::OutputXml(document, log, xmlPieces).find("\n  <kept/>\n"), std::string::npos);
}
