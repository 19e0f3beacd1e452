// The engine's procedures and pivot tables: the codes for calls out of
// order or naming what does not exist, the output model the calls build,
// and the XML and HTML the output becomes, read back with libxml2.
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "commandtable.h"
#include "csvreader.h"
#include "dictionaryreader.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "outputhtml.h"
#include "outputxml.h"
#include "runtime/statuscodes.h"

namespace {

using enginetest::Values;

// The table key and dimension keys the calls below repeat.
const std::vector<std::string> kTable = {"Outline", "Statistics", "Descriptives"};
const std::vector<std::int32_t> kRowKey = {0, 0, 0, 0};
const std::vector<std::int32_t> kColumnKey = {1, 0, 0, 0};

Values TableCall(std::vector<std::string> more = {}, std::vector<std::int32_t> ints = {}) {
    Values values{kTable, {0}, {}};
    values.strings.insert(values.strings.end(), more.begin(), more.end());
    values.ints.insert(values.ints.end(), ints.begin(), ints.end());
    return values;
}

// A dimension call: `dimension` is "Variables" (rows) or "Statistics" (columns).
Values DimensionCall(const std::string& dimension, std::vector<std::string> more = {},
                     std::vector<std::int32_t> ints = {}, std::vector<double> doubles = {}) {
    Values values = TableCall({dimension});
    const auto& key = dimension == "Variables" ? kRowKey : kColumnKey;
    values.ints.insert(values.ints.end(), key.begin(), key.end());
    values.strings.insert(values.strings.end(), more.begin(), more.end());
    values.ints.insert(values.ints.end(), ints.begin(), ints.end());
    values.doubles = std::move(doubles);
    return values;
}

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, FreeDoc>;

// Every string value the expression selects, in document order.
std::vector<std::string> Select(xmlDoc* doc, const std::string& expression) {
    std::vector<std::string> found;
    xmlXPathContext* context = xmlXPathNewContext(doc);
    xmlXPathObject* result =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context);
    EXPECT_NE(result, nullptr) << expression;
    if (result && result->type == XPATH_STRING) {
        found.emplace_back(reinterpret_cast<const char*>(result->stringval));
    } else if (result && result->nodesetval) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
            found.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            xmlFree(text);
        }
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return found;
}

Doc ParseXml(const std::string& text) {
    return Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "output.xml", "UTF-8",
                             XML_PARSE_NONET));
}

class PivotCommands : public enginetest::EngineReplies {
  protected:
    void SetUp() override {
        std::istringstream csv("height,rating,city\n1.5,1,Bern\n2.25,9,Genf\n");
        std::istringstream dictionary(
            "variable height label \"Height\" format F6.3\n"
            "variable rating format F2.0\n"
            "values rating 1 \"low\" 9 \"high\"\n");
        std::string error;
        ASSERT_TRUE(engine::ReadCsvDataset(csv, "test", state.active, error)) << error;
        ASSERT_TRUE(engine::ReadDictionary(dictionary, state.active, error)) << error;
    }

    // A procedure with one two-dimensional table, ready for categories.
    void OpenTable() {
        ASSERT_EQ(Ask(cmd::kStartProcedure, {"Descriptives", "descr"}), 0);
        ASSERT_EQ(Ask(cmd::kStartPivotTable, TableCall()), 0);
        ASSERT_EQ(Ask(cmd::kAddDimension, DimensionCall("Variables")), 0);
        ASSERT_EQ(Ask(cmd::kAddDimension, DimensionCall("Statistics")), 0);
    }
};

TEST_F(PivotCommands, CallsOutOfOrderOrNamingNothingGetTheEngineCodes) {
    EXPECT_EQ(Ask(cmd::kStartPivotTable, TableCall()), engine::kNoProcedureOpen);
    EXPECT_EQ(Ask(cmd::kAddTextBlock, Values({"a", "b", "c"}, {0})), engine::kNoProcedureOpen);
    EXPECT_EQ(Ask(cmd::kSplitChange, {"city"}), engine::kNoProcedureOpen);
    EXPECT_EQ(Ask(cmd::kEndProcedure), engine::kNoProcedureOpen);

    OpenTable();
    EXPECT_EQ(Ask(cmd::kStartProcedure, {"again"}), engine::kProcedureAlreadyOpen);
    EXPECT_EQ(Ask(cmd::kStartPivotTable, TableCall()), engine::kPivotTableExists);
    // The flag is part of the key: true names another table.
    Values otherFlag = TableCall({"caption"});
    otherFlag.ints[0] = 1;
    EXPECT_EQ(Ask(cmd::kPivotTableCaption, otherFlag), engine::kNoSuchPivotTable);
    EXPECT_EQ(Ask(cmd::kAddDimension, DimensionCall("Variables")), engine::kDimensionExists);
    Values layerThree = DimensionCall("Layer");
    layerThree.ints[1] = 3;
    EXPECT_EQ(Ask(cmd::kAddDimension, layerThree), engine::kBadDimensionPlace);
    EXPECT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Nowhere", {"x"})),
              engine::kNoSuchDimension);
    EXPECT_EQ(Ask(cmd::kAddVarNameCategory, DimensionCall("Variables", {}, {3})),
              engine::kNoSuchItem);
    EXPECT_EQ(Ask(cmd::kAddVarNameCategory, DimensionCall("Variables", {}, {-1})),
              engine::kNoSuchItem);
    EXPECT_EQ(Ask(cmd::kSetFormatSpecMean, Values({}, {7})), engine::kNoSuchItem);
    // Cells need a current category on every dimension.
    ASSERT_EQ(Ask(cmd::kAddVarNameCategory, DimensionCall("Variables", {}, {0})), 0);
    EXPECT_EQ(Ask(cmd::kSetNumberCell, DimensionCall("Variables", {}, {}, {1.0})),
              engine::kNoCurrentCategory);
    EXPECT_EQ(Ask(cmd::kAddCategoryFootnotes, DimensionCall("Statistics", {"note"})),
              engine::kNoCurrentCategory);
    ASSERT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Statistics", {"N"})), 0);
    EXPECT_EQ(Ask(cmd::kAddCellFootnotes, DimensionCall("Statistics", {"note"})),
              engine::kNoSuchCell);
    ASSERT_EQ(Ask(cmd::kSetNumberCell, DimensionCall("Statistics", {}, {}, {2.0})), 0);
    EXPECT_EQ(Ask(cmd::kAddDimension, DimensionCall("Late")), engine::kTableHasCells);
    EXPECT_EQ(Ask(cmd::kMinDataColumnWidth, TableCall({}, {-1})), engine::kBadColumnWidth);
    ASSERT_EQ(Ask(cmd::kMaxDataColumnWidth, TableCall({}, {10})), 0);
    EXPECT_EQ(Ask(cmd::kMinDataColumnWidth, TableCall({}, {11})), engine::kBadColumnWidth);
    // A request short of its key or its value is malformed, not a crash.
    EXPECT_EQ(Ask(cmd::kStartPivotTable, Values({"only", "two"}, {0})), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Ask(cmd::kSetNumberCell, DimensionCall("Statistics")), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Ask(cmd::kAddProcFootnotes), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Ask(cmd::kEndProcedure), 0);
    EXPECT_EQ(state.output.procedures().size(), 1u);
}

TEST_F(PivotCommands, ProcedureDocumentHoldsEverythingTheCallsSet) {
    OpenTable();
    ASSERT_EQ(Ask(cmd::kAddProcFootnotes, {"procedure note"}), 0);
    ASSERT_EQ(Ask(cmd::kHidePivotTableTitle, TableCall()), 0);
    ASSERT_EQ(Ask(cmd::kPivotTableCaption, TableCall({"first caption"})), 0);
    ASSERT_EQ(Ask(cmd::kAddCaptionFootnotes, TableCall({"Caption", "caption note"})), 0);
    ASSERT_EQ(Ask(cmd::kAddOutlineFootnotes, TableCall({"outline note"})), 0);
    ASSERT_EQ(Ask(cmd::kAddTitleFootnotes, TableCall({"title note"})), 0);
    ASSERT_EQ(Ask(cmd::kMinDataColumnWidth, TableCall({}, {6})), 0);
    ASSERT_EQ(Ask(cmd::kMaxDataColumnWidth, TableCall({}, {20})), 0);
    ASSERT_EQ(Ask(cmd::kAddDimFootnotes, DimensionCall("Statistics", {"dimension note"})), 0);

    // Row: height; columns N and Mean; the Mean follows height's F6.3 plus two.
    ASSERT_EQ(Ask(cmd::kAddVarNameCategory, DimensionCall("Variables", {}, {0})), 0);
    ASSERT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Statistics", {"N"})), 0);
    ASSERT_EQ(Ask(cmd::kSetFormatSpecCount), 0);
    ASSERT_EQ(Ask(cmd::kSetNumberCell, DimensionCall("Statistics", {}, {}, {2.0})), 0);
    ASSERT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Statistics", {"Mean"})), 0);
    ASSERT_EQ(Ask(cmd::kAddCategoryFootnotes, DimensionCall("Statistics", {"category note"})), 0);
    ASSERT_EQ(Ask(cmd::kSetFormatSpecMean, Values({}, {0})), 0);
    ASSERT_EQ(Ask(cmd::kSetNumberCell, DimensionCall("Statistics", {}, {}, {1.875})), 0);
    ASSERT_EQ(Ask(cmd::kAddCellFootnotes, DimensionCall("Statistics", {"cell note"})), 0);
    // Second row: a value of rating with its label, and string, variable and date cells.
    ASSERT_EQ(Ask(cmd::kAddVarValueDoubleCategory, DimensionCall("Variables", {}, {1}, {9.0})), 0);
    ASSERT_EQ(Ask(cmd::kSetStringCell, DimensionCall("Statistics", {"text & <more>"})), 0);
    ASSERT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Statistics", {"N"})),
              0);  // selects N again
    ASSERT_EQ(Ask(cmd::kSetVarNameCell, DimensionCall("Variables", {}, {2})), 0);
    ASSERT_EQ(Ask(cmd::kAddNumberCategory, DimensionCall("Statistics", {}, {}, {0.1})), 0);
    ASSERT_EQ(Ask(cmd::kSetDateCell, DimensionCall("Statistics", {"2026-12-07"})), 0);
    ASSERT_EQ(Ask(cmd::kAddTextBlock, Values({"Notes", "About", "two cases"}, {1})), 0);
    ASSERT_EQ(Ask(cmd::kSplitChange, {"city"}), 0);
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);

    ASSERT_EQ(state.output.procedures().size(), 1u);
    Doc doc = ParseXml(engine::ProcedureXml(state.output.procedures()[0], state.log));
    ASSERT_TRUE(doc);
    xmlDoc* d = doc.get();
    EXPECT_EQ(Select(d, "/procedure/@identifier"), std::vector<std::string>{"descr"});
    EXPECT_EQ(Select(d, "/procedure/footnote"), std::vector<std::string>{"procedure note"});
    EXPECT_EQ(Select(d, "//pivotTable/@titleHidden"), std::vector<std::string>{"true"});
    EXPECT_EQ(Select(d, "//pivotTable/caption/@text"), std::vector<std::string>{"Caption"});
    EXPECT_EQ(Select(d, "//caption/footnote"), std::vector<std::string>{"caption note"});
    EXPECT_EQ(Select(d, "//pivotTable/footnote[@level='outline']"),
              std::vector<std::string>{"outline note"});
    EXPECT_EQ(Select(d, "//pivotTable/footnote[@level='title']"),
              std::vector<std::string>{"title note"});
    EXPECT_EQ(Select(d, "//pivotTable/@minColumnWidth"), std::vector<std::string>{"6"});
    EXPECT_EQ(Select(d, "//pivotTable/@maxColumnWidth"), std::vector<std::string>{"20"});
    EXPECT_EQ(Select(d, "//dimension[@name='Statistics']/footnote"),
              std::vector<std::string>{"dimension note"});
    EXPECT_EQ(Select(d, "//dimension[@name='Statistics']/category/@text"),
              (std::vector<std::string>{"N", "Mean", "0.1"}));
    EXPECT_EQ(Select(d, "//dimension[@name='Variables']/category/@text"),
              (std::vector<std::string>{"Height", "high"}));
    EXPECT_EQ(Select(d, "//category[@text='Mean']/footnote"),
              std::vector<std::string>{"category note"});
    EXPECT_EQ(Select(d, "//cell[at[@text='Height'] and at[@text='N']]/@text"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(Select(d, "//cell[at[@text='Height'] and at[@text='Mean']]/@text"),
              std::vector<std::string>{"1.87500"});
    EXPECT_EQ(Select(d, "//cell[at[@text='Height'] and at[@text='Mean']]/@number"),
              std::vector<std::string>{"1.875"});
    EXPECT_EQ(Select(d, "//cell[at[@text='Height'] and at[@text='Mean']]/@format"),
              std::vector<std::string>{"Mean"});
    EXPECT_EQ(Select(d, "//cell[at[@text='Height'] and at[@text='Mean']]/footnote"),
              std::vector<std::string>{"cell note"});
    EXPECT_EQ(Select(d, "//cell[at[@text='high'] and at[@text='Mean']]/@text"),
              std::vector<std::string>{"text & <more>"});
    EXPECT_EQ(Select(d, "//cell[at[@text='high'] and at[@text='N']]/@variable"),
              std::vector<std::string>{"city"});
    EXPECT_EQ(Select(d, "//cell[@kind='date']/@text"), std::vector<std::string>{"2026-12-07"});
    EXPECT_EQ(Select(d, "//cell/@kind"),
              (std::vector<std::string>{"number", "number", "string", "variable", "date"}));
    // Items in the order they were made.
    EXPECT_EQ(Select(d, "name(/procedure/*[2])"), std::vector<std::string>{"pivotTable"});
    EXPECT_EQ(Select(d, "/procedure/textBlock"), std::vector<std::string>{"two cases"});
    EXPECT_EQ(Select(d, "/procedure/textBlock/preceding-sibling::pivotTable/@subtype"),
              std::vector<std::string>{"Descriptives"});
    EXPECT_EQ(Select(d, "/procedure/split/preceding-sibling::textBlock/@title"),
              std::vector<std::string>{"About"});
    EXPECT_EQ(state.output.Tags(), std::vector<std::string>{"Descriptives"});
}

// A procedure's document is rendered at its first query, after later
// procedures and log entries: it must still hold that procedure as it ended.
TEST_F(PivotCommands, AProcedureQueriedLaterHoldsWhatItHeldWhenItEnded) {
    OpenTable();
    state.log.Add(engine::OutputLog::Kind::kCommand, "DESCRIPTIVES height.");
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);
    const std::string atEnd = engine::ProcedureXml(state.output.procedures()[0], state.log);
    state.log.Add(engine::OutputLog::Kind::kOutput, "printed after the end");
    ASSERT_EQ(Ask(cmd::kStartProcedure, {"Later", "later"}), 0);
    ASSERT_EQ(Ask(cmd::kAddTextBlock, Values({"o", "t", "later text"}, {0})), 0);
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);

    std::string filed;
    ASSERT_EQ(state.documents.Serialize("descr", filed), VEXA_OK);
    engine::XPathStore reference;
    ASSERT_EQ(reference.Keep("descr", atEnd), VEXA_OK);
    std::string expectedText;
    ASSERT_EQ(reference.Serialize("descr", expectedText), VEXA_OK);
    EXPECT_EQ(filed, expectedText);
    EXPECT_NE(filed.find("DESCRIPTIVES height."), std::string::npos);
    EXPECT_EQ(filed.find("printed after the end"), std::string::npos);
    EXPECT_EQ(filed.find("later text"), std::string::npos);
}

TEST_F(PivotCommands, LogEntriesLandInTheProcedureOpenWhenTheyWereMade) {
    state.log.Add(engine::OutputLog::Kind::kCommand, "FREQUENCIES rating.");
    ASSERT_EQ(Ask(cmd::kStartProcedure, {"Charts"}), 0);
    ASSERT_EQ(Ask(cmd::kStartPivotTable, TableCall()), 0);
    state.log.Add(engine::OutputLog::Kind::kGraphic, "/tmp/plots/bars.png");
    ASSERT_EQ(Ask(cmd::kAddTextBlock, Values({"o", "t", "after the graphic"}, {0})), 0);
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);
    state.log.Add(engine::OutputLog::Kind::kOutput, "bad \x01 byte \xff end");

    Doc procedure = ParseXml(engine::ProcedureXml(state.output.procedures()[0], state.log));
    ASSERT_TRUE(procedure);
    // A missing identifier is the name.
    EXPECT_EQ(Select(procedure.get(), "/procedure/@identifier"),
              std::vector<std::string>{"Charts"});
    EXPECT_EQ(Select(procedure.get(), "name(/procedure/*[1])"),
              std::vector<std::string>{"pivotTable"});
    EXPECT_EQ(Select(procedure.get(), "/procedure/*[2]/@name"),
              std::vector<std::string>{"bars.png"});
    EXPECT_EQ(Select(procedure.get(), "/procedure/image/@path"),
              std::vector<std::string>{"/tmp/plots/bars.png"});
    EXPECT_TRUE(Select(procedure.get(), "//command").empty());

    // The whole output keeps the order, and bytes XML cannot hold still parse.
    Doc whole = ParseXml(engine::OutputXml(state.output, state.log));
    ASSERT_TRUE(whole);
    EXPECT_EQ(Select(whole.get(), "/output/command"),
              std::vector<std::string>{"FREQUENCIES rating."});
    EXPECT_EQ(Select(whole.get(), "/output/command/following-sibling::procedure/@name"),
              std::vector<std::string>{"Charts"});
    EXPECT_EQ(Select(whole.get(), "/output/procedure/following-sibling::text"),
              std::vector<std::string>{"bad \xEF\xBF\xBD byte \xEF\xBF\xBD end"});
}

TEST_F(PivotCommands, HtmlPageShowsEachCellAtItsRowAndColumn) {
    OpenTable();
    for (int variable : {0, 1}) {
        ASSERT_EQ(Ask(cmd::kAddVarNameCategory, DimensionCall("Variables", {}, {variable})), 0);
        for (const char* statistic : {"N", "Mean"}) {
            ASSERT_EQ(Ask(cmd::kAddStringCategory, DimensionCall("Statistics", {statistic})), 0);
            std::string text = std::string(statistic) + " of " + std::to_string(variable);
            ASSERT_EQ(Ask(cmd::kSetStringCell, DimensionCall("Statistics", {text})), 0);
        }
    }
    ASSERT_EQ(Ask(cmd::kAddCellFootnotes, DimensionCall("Statistics", {"last cell"})), 0);
    // Still open: the page shows the open procedure too.
    std::string html = engine::OutputHtml(state.output, state.log);
    Doc page(htmlReadMemory(html.data(), static_cast<int>(html.size()), "output.html", "UTF-8",
                            HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
    ASSERT_TRUE(page);
    xmlDoc* p = page.get();
    EXPECT_EQ(Select(p, "//table/tr[1]/th"), (std::vector<std::string>{"Variables", "Statistics"}));
    EXPECT_EQ(Select(p, "//table/tr[2]/th"), (std::vector<std::string>{"N", "Mean"}));
    EXPECT_EQ(Select(p, "//table/tr[3]/th"), std::vector<std::string>{"Height"});
    EXPECT_EQ(Select(p, "//table/tr[3]/td"), (std::vector<std::string>{"N of 0", "Mean of 0"}));
    EXPECT_EQ(Select(p, "//table/tr[4]/th"), std::vector<std::string>{"rating"});
    EXPECT_EQ(Select(p, "//table/tr[4]/td"), (std::vector<std::string>{"N of 1", "Mean of 1a"}));
    EXPECT_EQ(Select(p, "//div[@class='notes']/div"), std::vector<std::string>{"a. last cell"});
    EXPECT_EQ(Select(p, "//section/h2"), std::vector<std::string>{"Descriptives"});
}

}  // namespace
