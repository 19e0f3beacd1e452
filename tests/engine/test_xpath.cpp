// XPath documents in the engine: the store and its evaluation (results, the
// context expression, refused XPath without a word on stderr), the
// dictionary document of the bundled sample, the XPath family's replies, and
// the dictionary queried over the pipes of a real engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "codec/protocol.h"
#include "commandtable.h"
#include "csvreader.h"
#include "dictionaryreader.h"
#include "dictionaryxml.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"
#include "xpathstore.h"

namespace {

using engine::XPathStore;
using Strings = std::vector<std::string>;

constexpr const char* kCatalog =
    "<catalog owner=\"lab\">"
    "<book id=\"b1\"><title>First</title><price>10</price></book>"
    "<!-- a comment -->"
    "<book id=\"b2\"><title>Second &amp; last</title><price>2.5</price></book>"
    "</catalog>";

// Evaluates and expects success; the results, or the error text on failure.
Strings Results(const XPathStore& store, const std::string& handle, const std::string& context,
                const std::string& expression) {
    Strings results;
    std::string error;
    EXPECT_EQ(store.Evaluate(handle, context, expression, results, error), VEXA_OK)
        << expression << ": " << error;
    return results;
}

TEST(XPathStore, KeptHandlesListInCreationOrderAndAReplacementKeepsItsPlace) {
    XPathStore store;
    ASSERT_EQ(store.Keep("first", "<a>1</a>"), VEXA_OK);
    ASSERT_EQ(store.Keep("second", "<a>2</a>"), VEXA_OK);
    ASSERT_EQ(store.Keep("first", "<a>new</a>"), VEXA_OK);
    EXPECT_EQ(store.Handles(), (Strings{"first", "second"}));
    EXPECT_EQ(Results(store, "first", "", "/a"), (Strings{"new"}));

    EXPECT_TRUE(store.Remove("first"));
    EXPECT_FALSE(store.Remove("first"));
    EXPECT_EQ(store.Handles(), (Strings{"second"}));
    EXPECT_EQ(store.Find("first"), nullptr);
    EXPECT_EQ(store.Keep("", "<a/>"), engine::kEmptyHandle);
    EXPECT_EQ(store.Handles(), (Strings{"second"}));
}

TEST(XPathStore, TextThatIsNotWellFormedIsRefusedQuietlyAndKeepsTheOldDocument) {
    XPathStore store;
    ASSERT_EQ(store.Keep("doc", "<a>old</a>"), VEXA_OK);
    for (const char* bad : {"<a><b></a>", "", "plain text", "<a>1</a><b/>", "<a>&undefined;</a>"}) {
        std::string error;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(store.Keep("doc", bad, error), engine::kMalformedXml) << bad;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(Results(store, "doc", "", "string(/a)"), (Strings{"old"}));
}

// A document filed by the way to its text is rendered once, at its first
// lookup; one replaced or removed before any lookup is never rendered.
TEST(XPathStore, ARenderedDocumentIsRenderedOnceAtItsFirstLookup) {
    XPathStore store;
    int firstRenders = 0, secondRenders = 0;
    ASSERT_EQ(store.Keep("doc", [&] { return ++firstRenders, std::string("<a>first</a>"); }),
              VEXA_OK);
    ASSERT_EQ(store.Keep("other", [&] { return ++secondRenders, std::string("<b>2</b>"); }),
              VEXA_OK);
    EXPECT_EQ(store.Handles(), (Strings{"doc", "other"}));
    ASSERT_EQ(store.Keep("doc", std::string(kCatalog)), VEXA_OK);
    EXPECT_TRUE(store.Remove("other"));
    EXPECT_EQ(firstRenders + secondRenders, 0);

    int renders = 0;
    ASSERT_EQ(store.Keep("late", [&] { return ++renders, std::string(kCatalog); }), VEXA_OK);
    EXPECT_EQ(renders, 0);
    EXPECT_EQ(Results(store, "late", "", "//book/@id"), (Strings{"b1", "b2"}));
    std::string text;
    ASSERT_EQ(store.Serialize("late", text), VEXA_OK);
    EXPECT_NE(store.Find("late"), nullptr);
    EXPECT_EQ(renders, 1);

    EXPECT_EQ(store.Keep("", [] { return std::string("<a/>"); }), engine::kEmptyHandle);
    EXPECT_EQ(store.Keep("none", std::function<std::string()>()), engine::kEmptyHandle);
    EXPECT_EQ(store.Handles(), (Strings{"doc", "late"}));

    // A text that does not parse leaves the handle without a document.
    ASSERT_EQ(store.Keep("broken", [] { return std::string("<a><b></a>"); }), VEXA_OK);
    Strings results;
    std::string error;
    EXPECT_EQ(store.Evaluate("broken", "", "/a", results, error), engine::kNoSuchHandle);
    EXPECT_EQ(store.Find("broken"), nullptr);
}

TEST(XPathEvaluation, NodesGiveTheirStringValuesInDocumentOrder) {
    XPathStore store;
    ASSERT_EQ(store.Keep("c", kCatalog), VEXA_OK);
    EXPECT_EQ(Results(store, "c", "", "//title"), (Strings{"First", "Second & last"}));
    EXPECT_EQ(Results(store, "c", "", "//book/@id"), (Strings{"b1", "b2"}));
    EXPECT_EQ(Results(store, "c", "", "//book[2]/title/text()"), (Strings{"Second & last"}));
    EXPECT_EQ(Results(store, "c", "", "//book[1]"), (Strings{"First10"}));
    EXPECT_EQ(Results(store, "c", "", "//comment()"), (Strings{" a comment "}));
    // A union in reverse order still comes back in document order.
    EXPECT_EQ(Results(store, "c", "", "//price | /catalog/@owner"), (Strings{"lab", "10", "2.5"}));
    EXPECT_EQ(Results(store, "c", "", "//nothing"), Strings{});
}

TEST(XPathEvaluation, NumbersBooleansAndStringsAreOneStringEach) {
    XPathStore store;
    ASSERT_EQ(store.Keep("c", kCatalog), VEXA_OK);
    EXPECT_EQ(Results(store, "c", "", "count(//book)"), (Strings{"2"}));
    EXPECT_EQ(Results(store, "c", "", "sum(//price)"), (Strings{"12.5"}));
    EXPECT_EQ(Results(store, "c", "", "count(//book) > 1"), (Strings{"true"}));
    EXPECT_EQ(Results(store, "c", "", "boolean(//magazine)"), (Strings{"false"}));
    EXPECT_EQ(Results(store, "c", "", "concat(//book[1]/@id, '-', name(/*))"),
              (Strings{"b1-catalog"}));
    EXPECT_EQ(Results(store, "c", "", "string(//missing)"), (Strings{""}));
}

TEST(XPathEvaluation, TheExpressionRunsOnceForEachContextNode) {
    XPathStore store;
    ASSERT_EQ(store.Keep("c", kCatalog), VEXA_OK);
    EXPECT_EQ(Results(store, "c", "//book", "title"), (Strings{"First", "Second & last"}));
    EXPECT_EQ(Results(store, "c", "//book", "count(*)"), (Strings{"2", "2"}));
    EXPECT_EQ(Results(store, "c", "//book[@id='b2']", "@id | price"), (Strings{"b2", "2.5"}));
    EXPECT_EQ(Results(store, "c", "/catalog", "book[1]/title"), (Strings{"First"}));
    // An empty context set runs the expression nowhere.
    EXPECT_EQ(Results(store, "c", "//magazine", "title"), Strings{});

    Strings results;
    std::string error;
    EXPECT_EQ(store.Evaluate("c", "count(//book)", "title", results, error),
              engine::kXPathContextNotNodes);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(results.empty());
}

TEST(XPathEvaluation, RefusedXPathGivesItsCodeAndMessageAndNothingOnStderr) {
    XPathStore store;
    ASSERT_EQ(store.Keep("c", kCatalog), VEXA_OK);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"", "//book["},             // does not compile
        {"", "count("},              // does not compile
        {"", ""},                    // empty expression
        {"", "unknownfunction(1)"},  // fails while it runs
        {"", "//p:book"},            // undefined prefix
        {"//book[", "title"},        // context does not compile
        {"//book", "undefined(.)"},  // fails on a context node
        {"", std::string("//bo\0ok", 7)},
    };
    for (const auto& [context, expression] : refused) {
        Strings results{"earlier"};
        std::string error;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(store.Evaluate("c", context, expression, results, error), engine::kBadXPath)
            << expression;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << expression;
        EXPECT_FALSE(error.empty()) << expression;
        EXPECT_EQ(results, Strings{"earlier"}) << expression;
    }
    Strings results;
    std::string error;
    EXPECT_EQ(store.Evaluate("nobody", "", "/", results, error), engine::kNoSuchHandle);
}

TEST(XPathStore, SerializedTextHasNoDeclarationAndReadsBackAsTheSameDocument) {
    XPathStore store;
    ASSERT_EQ(store.Keep("c", kCatalog), VEXA_OK);
    std::string text;
    ASSERT_EQ(store.Serialize("c", text), VEXA_OK);
    EXPECT_EQ(text.find("<?xml"), std::string::npos);
    EXPECT_NE(text.find("Second &amp; last"), std::string::npos);
    ASSERT_EQ(store.Keep("copy", text), VEXA_OK);
    EXPECT_EQ(Results(store, "copy", "", "//book/@id"), (Strings{"b1", "b2"}));
    EXPECT_EQ(store.Serialize("nobody", text), engine::kNoSuchHandle);
}

TEST(Utf16Text, EveryCodePointTravelsAndBrokenBytesBecomeReplacements) {
    EXPECT_EQ(engine::Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              (std::u16string{u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    // A stray continuation byte, a truncated sequence, an overlong form and
    // an encoded surrogate.
    EXPECT_EQ(engine::Utf8ToUtf16("\x80x\xE2\x82"), (std::u16string{0xFFFD, u'x', 0xFFFD, 0xFFFD}));
    EXPECT_EQ(engine::Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));
    EXPECT_EQ(engine::Utf8ToUtf16("\xED\xA0\x80").front(), 0xFFFD);
}

engine::Dataset BundledSample() {
    engine::Dataset data;
    std::string error;
    EXPECT_TRUE(engine::ReadCsvFile(VEXA_ENGINE_DATA_FILE, data, error)) << error;
    EXPECT_TRUE(engine::ReadDictionaryFileIfPresent(VEXA_ENGINE_DICTIONARY_FILE, data, error))
        << error;
    return data;
}

class DictionaryDocument : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(store.Keep("dict", engine::BuildDictionaryDocument(BundledSample())), 0);
    }
    Strings Query(const std::string& expression) { return Results(store, "dict", "", expression); }

    XPathStore store;
};

TEST_F(DictionaryDocument, HoldsTheSampleVariablesWithTheirLabelsAndProperties) {
    EXPECT_EQ(Query("//variable/@name"),
              (Strings{"sepal_length", "sepal_width", "petal_length", "petal_width", "species",
                       "species_code", "petal_quality", "growth_index", "flower_count"}));
    EXPECT_EQ(Query("//variable[@name='species']/@label"), (Strings{"Iris species"}));
    EXPECT_EQ(Query("//variable[@name='flower_count']/@label"),
              (Strings{"Flowers on the \"sampled\" stem"}));
    EXPECT_EQ(Query("/dictionary/@variables | /dictionary/@cases"), (Strings{"9", "150"}));
    const std::string species = "//variable[@name='species']/";
    EXPECT_EQ(Query(species + "@type | " + species + "@width | " + species + "@format"),
              (Strings{"string", "10", "A10"}));
    EXPECT_EQ(Query(species + "@level | " + species + "@role | " + species + "@alignment"),
              (Strings{"nominal", "target", "left"}));
    EXPECT_EQ(Query("//variable[@name='sepal_length']/@columnWidth"), (Strings{"10"}));
    EXPECT_EQ(Query("//variable[@name='species_code']/@format"), (Strings{"F1.0"}));
    EXPECT_EQ(Query("//variable[@type='string']/@name"), (Strings{"species"}));
}

TEST_F(DictionaryDocument, HoldsValueLabelsMissingValuesAndAttributes) {
    EXPECT_EQ(Query("//variable[@name='species_code']/valueLabel[@value='2']"),
              (Strings{"versicolor"}));
    EXPECT_EQ(Query("//variable[@name='species']/valueLabel/@value"),
              (Strings{"setosa", "versicolor", "virginica"}));
    EXPECT_EQ(Query("//variable[@name='petal_quality']/missingValues/value"), (Strings{"9", "99"}));
    EXPECT_EQ(Query("//variable[@name='growth_index']/missingValues/range/@*"),
              (Strings{"-999", "-900"}));
    EXPECT_EQ(Query("//variable[@name='flower_count']/missingValues/value"), (Strings{"0"}));
    EXPECT_EQ(Query("//variable[@name='species']/missingValues/value"), (Strings{"unknown"}));
    EXPECT_EQ(Query("count(//variable[@name='sepal_width']/missingValues)"), (Strings{"0"}));
    EXPECT_EQ(Query("//variable[@name='species']/attribute[@name='Source']/value"),
              (Strings{"field notes", "herbarium sheets"}));
    EXPECT_EQ(Query("//variable[attribute/@name='Unit']/@name"),
              (Strings{"sepal_length", "petal_length"}));
    EXPECT_EQ(Query("//fileAttribute/@name"), (Strings{"Source", "Notes"}));
    EXPECT_EQ(Query("//fileAttribute[@name='Notes']/value[2]"),
              (Strings{"Codes 9 and 99 mark unrated petals"}));
}

TEST_F(DictionaryDocument, HoldsTheMultipleResponseSets) {
    EXPECT_EQ(Query("//multipleResponseSet/@name"), (Strings{"$sizes", "$codes"}));
    EXPECT_EQ(Query("//multipleResponseSet[@name='$codes']/@kind"), (Strings{"dichotomy"}));
    EXPECT_EQ(Query("//multipleResponseSet[@name='$codes']/@countedValue"), (Strings{"1"}));
    EXPECT_EQ(Query("//multipleResponseSet[@name='$codes']/member"),
              (Strings{"species_code", "petal_quality"}));
    EXPECT_EQ(Query("count(//multipleResponseSet[@name='$sizes']/member)"), (Strings{"4"}));
    EXPECT_EQ(Query("count(/dictionary/@weight | //splitVariable)"), (Strings{"0"}));
}

TEST(DictionaryDocumentText, MarkupAndBytesXmlCannotHoldArriveIntactOrReplaced) {
    engine::Dataset data("markup");
    engine::Variable variable("tricky", "<b>\"A&B\"</b>\x01 caf\xE9", 0);
    ASSERT_TRUE(data.AddVariable(variable));
    data.properties(0).numericLabels.Set(1, "]]> & <![CDATA[");
    data.file().weight = "tricky";
    data.file().split = {"tricky"};
    XPathStore store;
    ASSERT_EQ(store.Keep("d", engine::BuildDictionaryDocument(data)), VEXA_OK);
    EXPECT_EQ(Results(store, "d", "", "//variable/@label"),
              (Strings{"<b>\"A&B\"</b>\xEF\xBF\xBD caf\xEF\xBF\xBD"}));
    EXPECT_EQ(Results(store, "d", "", "//valueLabel"), (Strings{"]]> & <![CDATA["}));
    EXPECT_EQ(Results(store, "d", "", "/dictionary/@weight | //splitVariable"),
              (Strings{"tricky", "tricky"}));
    // Its text is a document any parser takes.
    std::string text;
    ASSERT_EQ(store.Serialize("d", text), VEXA_OK);
    EXPECT_EQ(store.Keep("again", text), VEXA_OK);
}

class XPathReplies : public enginetest::EngineReplies {};

TEST_F(XPathReplies, DictionaryHandleIsCreatedQueriedListedAndRemoved) {
    ASSERT_TRUE(state.active.AddVariable({"height", "Height in m", 0}));
    ASSERT_TRUE(state.active.AddVariable({"city", "City", 12}));
    ASSERT_EQ(Ask(cmd::kCreateXPathDictionary, {"dict"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "", "//variable/@label"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"Height in m", "City"}));
    ASSERT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "//variable", "@width"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"8", "12"}));

    ASSERT_EQ(state.documents.Keep("procedure-1", "<procedure/>"), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetHandleList), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"dict", "procedure-1"}));

    // A dictionary made again reflects the dataset as it is now.
    state.active.SetLabel(1, "Town");
    ASSERT_EQ(Ask(cmd::kCreateXPathDictionary, {"dict"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "", "//variable[2]/@label"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"Town"}));

    ASSERT_EQ(Ask(cmd::kRemoveXPathHandle, {"dict"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kRemoveXPathHandle, {"dict"}), engine::kNoSuchHandle);
    EXPECT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "", "/"}), engine::kNoSuchHandle);
    ASSERT_EQ(Ask(cmd::kGetHandleList), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"procedure-1"}));
    EXPECT_EQ(Ask(cmd::kCreateXPathDictionary, {""}), engine::kEmptyHandle);
}

TEST_F(XPathReplies, RefusedXPathCarriesItsMessageAndMissingArgumentsAreMalformed) {
    ASSERT_EQ(Ask(cmd::kCreateXPathDictionary, {"dict"}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "", "//variable["}), engine::kBadXPath);
    ASSERT_EQ(reply.GetStringDataRef().Size(), 1);
    EXPECT_FALSE(reply.GetSingleString().empty());
    EXPECT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "1 + 1", "."}), engine::kXPathContextNotNodes);

    EXPECT_EQ(Ask(cmd::kEvaluateXPath, {"dict", "//variable"}), VEXA_MALFORMED_MESSAGE);
    for (int code : {cmd::kCreateXPathDictionary, cmd::kRemoveXPathHandle, cmd::kEvaluateXPath,
                     cmd::kGetXmlUtf16, cmd::kGetImage}) {
        EXPECT_EQ(Ask(code), VEXA_MALFORMED_MESSAGE) << code;
    }
    EXPECT_EQ(Ask(cmd::kGetImage, {"dict"}), VEXA_MALFORMED_MESSAGE);
}

TEST_F(XPathReplies, XmlUtf16IsTheSerializedDocumentInWideCharacters) {
    ASSERT_EQ(state.documents.Keep("doc", "<a note=\"caf\xC3\xA9\">\xF0\x9F\x98\x80 &lt;x&gt;</a>"),
              VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetXmlUtf16, {"doc"}), VEXA_OK);
    ASSERT_NE(reply.GetwStringData(), nullptr);
    const std::u16string wide(reply.GetwStringData(),
                              static_cast<std::size_t>(reply.GetwStringLength()));
    std::string utf8;
    ASSERT_EQ(state.documents.Serialize("doc", utf8), VEXA_OK);
    EXPECT_EQ(wide, engine::Utf8ToUtf16(utf8));
    EXPECT_EQ(wide.rfind(u"<a note=\"caf\u00E9\">\U0001F600 &lt;x&gt;</a>", 0), 0u);
    EXPECT_EQ(Ask(cmd::kGetXmlUtf16, {"none"}), engine::kNoSuchHandle);
    EXPECT_EQ(reply.GetwStringData(), nullptr);
}

// A file in the temp directory, removed at the end of the case.
struct TempFile {
    TempFile(const std::string& name, const std::string& bytes)
        : path(std::filesystem::temp_directory_path() /
               (std::to_string(platform::CurrentProcessId()) + "-" + name)) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::filesystem::path path;
};

TEST_F(XPathReplies, ImagesAreFoundByNameOrPathAndTravelAsBytes) {
    using namespace std::string_literals;
    const std::string png = "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s;
    TempFile chart("chart.PNG", png);
    TempFile notes("notes.dat", "plain");
    const std::string chartPath = chart.path.string();
    ASSERT_EQ(state.documents.Keep(
                  "proc", "<procedure><text>t</text><group><image name=\"" +
                              chart.path.filename().string() + "\" path=\"" + chartPath +
                              "\"/></group><image name=\"notes.dat\" path=\"" +
                              notes.path.string() + "\"/><image name=\"gone.png\" " +
                              "path=\"/nonexistent/gone.png\"/><image name=\"dir.png\" " +
                              "path=\"" + chart.path.parent_path().string() + "\"/></procedure>"),
              VEXA_OK);
    for (const std::string& wanted : {chart.path.filename().string(), chartPath}) {
        ASSERT_EQ(Ask(cmd::kGetImage, {"proc", wanted}), VEXA_OK) << wanted;
        ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
        EXPECT_EQ(reply.GetLongDataRef()[0], static_cast<std::int32_t>(png.size()));
        EXPECT_EQ(reply.GetSingleString(), "PNG");
        std::int32_t length = 0;
        std::unique_ptr<char[]> bytes(reply.GetBinaryData(&length));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(std::string(bytes.get(), static_cast<std::size_t>(length)), png);
        EXPECT_EQ(bytes[static_cast<std::size_t>(length)], '\0');
    }
    ASSERT_EQ(Ask(cmd::kGetImage, {"proc", "notes.dat"}), VEXA_OK);
    EXPECT_EQ(reply.GetSingleString(), "");
    EXPECT_EQ(reply.GetBinaryLength(), 5);

    EXPECT_EQ(Ask(cmd::kGetImage, {"proc", "gone.png"}), engine::kImageUnreadable);
    EXPECT_EQ(Ask(cmd::kGetImage, {"proc", "dir.png"}), engine::kImageUnreadable);
    EXPECT_EQ(Ask(cmd::kGetImage, {"proc", "absent.png"}), engine::kNoSuchImage);
    EXPECT_EQ(Ask(cmd::kGetImage, {"proc", "t"}), engine::kNoSuchImage);
    EXPECT_EQ(Ask(cmd::kGetImage, {"nobody", "chart.png"}), engine::kNoSuchHandle);
    EXPECT_EQ(reply.GetBinaryLength(), 0);
}

TEST_F(XPathReplies, OutputTagsAreTheDistinctTableSubtypes) {
    ASSERT_EQ(Ask(cmd::kGetOMSTagList), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{});
    state.output.Open("Frequencies", "freq-1", 0);
    for (const char* subtype : {"Statistics", "Frequencies", "Statistics"}) {
        engine::PivotTable table;
        table.key.subtype = subtype;
        table.key.title = std::to_string(state.output.open()->tables.size());
        state.output.open()->tables.push_back(table);
    }
    ASSERT_EQ(Ask(cmd::kGetOMSTagList), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"Statistics", "Frequencies"}));
}

class XPathProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04xx",
                      static_cast<unsigned>(platform::CurrentProcessId()));
        std::string language = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        client = std::make_unique<enginetest::EngineClient>(pid, language.substr(0, 40));
        ASSERT_EQ(client->CreateResultPipe(), 0);
        ASSERT_EQ(client->StartEngine(), 0);
        ASSERT_EQ(client->ReceiveReady(20000), 0);
    }

    int Call(int code, std::initializer_list<std::string> strs, CleXDSmb& reply) {
        CleXDSmb request;
        request.SetCommandAction(code);
        for (const auto& value : strs) request.SetString(value);
        if (int sent = client->Send(request)) return sent;
        return client->Receive(reply);
    }

    std::unique_ptr<enginetest::EngineClient> client;
};

TEST_F(XPathProcess, TheDictionaryOfTheBundledSampleAnswersXPathOverThePipes) {
    CleXDSmb created;
    ASSERT_EQ(Call(cmd::kCreateXPathDictionary, {"dictionary"}, created), VEXA_OK);
    CleXDSmb labels;
    ASSERT_EQ(
        Call(cmd::kEvaluateXPath, {"dictionary", "//variable[@level='nominal']", "@label"}, labels),
        VEXA_OK);
    ASSERT_EQ(labels.GetStringDataRef().Size(), 2);
    EXPECT_EQ(labels.GetStringDataRef()[0], "Iris species");
    EXPECT_EQ(labels.GetStringDataRef()[1], "Species code");

    CleXDSmb refused;
    EXPECT_EQ(Call(cmd::kEvaluateXPath, {"dictionary", "", "//variable[@name="}, refused),
              engine::kBadXPath);
    CleXDSmb wide;
    ASSERT_EQ(Call(cmd::kGetXmlUtf16, {"dictionary"}, wide), VEXA_OK);
    ASSERT_NE(wide.GetwStringData(), nullptr);
    const std::u16string text(wide.GetwStringData());
    EXPECT_EQ(text.rfind(u"<dictionary", 0), 0u);
    EXPECT_NE(text.find(u"Flowers on the &quot;sampled&quot; stem"), std::u16string::npos);

    CleXDSmb handles;
    ASSERT_EQ(Call(cmd::kGetHandleList, {}, handles), VEXA_OK);
    ASSERT_EQ(handles.GetStringDataRef().Size(), 1);
    EXPECT_EQ(handles.GetStringDataRef()[0], "dictionary");
    CleXDSmb stop;
    ASSERT_EQ(Call(cmd::kStopVexa, {}, stop), VEXA_OK);
    ASSERT_TRUE(client->engine().WaitFor(20000));
    EXPECT_EQ(client->engine().ExitStatus(), 0);
}

}  // namespace
