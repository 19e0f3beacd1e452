// An external program acting as a procedure of the real engine: it builds a
// pivot table and a text block through the library, then finds what it set
// with XPath over the procedure's document and the dictionary's, fetches a
// graphic back as an image, and checks the files the engine writes at its end.
//   integration_output <engine home> <scratch directory>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

std::vector<std::string> ListItems(void* list) {
    std::vector<std::string> items;
    for (int i = 0; i < GetStringListLength(list); ++i)
        items.emplace_back(GetStringFromList(list, i));
    RemoveStringList(list);
    return items;
}

std::vector<std::string> XPath(const char* handle, const char* expression,
                               const char* context = "") {
    int err = -1;
    void* list = EvaluateXPath(handle, context, expression, &err);
    if (err != 0) std::printf("     EvaluateXPath(%s, %s) gave %d\n", handle, expression, err);
    return list ? ListItems(list) : std::vector<std::string>{};
}

std::string FileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// The table key and the dimension keys every call repeats.
constexpr const char* kOutline = "Flower measures";
constexpr const char* kTitle = "Measures by species";
constexpr const char* kSubtype = "Species Summary";
constexpr const char* kRows = "Measures";
constexpr const char* kColumns = "Species";

#define ROWS kOutline, kTitle, kSubtype, false, kRows, 0, 0, false, false
#define COLUMNS kOutline, kTitle, kSubtype, false, kColumns, 1, 0, false, false

void BuildProcedure(const std::string& graphic) {
    Check(StartProcedure("Flower summary", "flowers") == 0, "StartProcedure");
    Check(HasProcedure(), "HasProcedure while open");
    Check(StartProcedure("Again", nullptr) != 0,
          "a second StartProcedure is refused by the engine");
    Check(StartPivotTable(kOutline, kTitle, kSubtype, false) == 0, "StartPivotTable");
    Check(AddDimension(ROWS) == 0 && AddDimension(COLUMNS) == 0, "two dimensions");
    Check(PivotTableCaption(kOutline, kTitle, kSubtype, false, "From the bundled sample") == 0,
          "caption");
    Check(AddTitleFootnotes(kOutline, kTitle, kSubtype, "title note", false) == 0,
          "title footnote");
    Check(AddDimFootnotes(COLUMNS, "species note") == 0, "dimension footnote");

    // Columns: a species value with its label, a species code with its
    // label, a number and a string category.
    Check(AddVarValueStringCategory(COLUMNS, 4, "setosa") == 0, "variable value (string) category");
    Check(AddVarNameCategory(ROWS, 0) == 0, "variable name category");
    Check(SetFormatSpecMean(0) == 0, "mean format of sepal_length");
    Check(SetNumberCell(COLUMNS, 5.006) == 0, "number cell");
    Check(AddCellFootnotes(COLUMNS, "cell note") == 0, "cell footnote");
    Check(AddVarValueDoubleCategory(COLUMNS, 5, 2) == 0, "variable value (number) category");
    Check(SetFormatSpecCount() == 0 && SetNumberCell(COLUMNS, 50) == 0, "count cell");
    Check(AddNumberCategory(COLUMNS, 3.5) == 0, "number category");
    Check(SetVarNameCell(COLUMNS, 1) == 0, "variable cell");
    Check(AddStringCategory(COLUMNS, "all") == 0, "string category");
    Check(AddCategoryFootnotes(COLUMNS, "category note") == 0, "category footnote");
    Check(SetStringCell(COLUMNS, "150 flowers") == 0, "string cell");
    Check(SetNumberCell(COLUMNS, 1) == 0 && SetStringCell(COLUMNS, "150 flowers") == 0,
          "a cell set again keeps one cell");
    Check(SetNumberCell(kOutline, kTitle, "other", false, kColumns, 1, 0, false, false, 1) != 0,
          "a table key that names no table is refused");
    GetGraphic(graphic.c_str());
    Check(AddTextBlock("Flower measures", "Notes", "Means in centimetres.", 0) == 0, "text block");
    Check(AddProcFootnotes("procedure note") == 0, "procedure footnote");
    Check(EndProcedure() == 0, "EndProcedure");
    Check(!HasProcedure(), "HasProcedure after the end");
    Check(EndProcedure() != 0, "EndProcedure without a procedure is refused");
}

void CheckProcedureDocument(const std::string& graphic) {
    const char* cell = "//cell[at[@text='Sepal length (cm)'] and at[@text='Iris setosa']]/@text";
    Check(XPath("flowers", cell) == std::vector<std::string>{"5.006"},
          "the mean cell, in its format");
    Check(
        XPath("flowers", "//cell[at[@text='versicolor']]/@text") == std::vector<std::string>{"50"},
        "the count cell under the code's value label");
    Check(XPath("flowers", "//cell[@kind='variable']/@variable") ==
              std::vector<std::string>{"sepal_width"},
          "the variable cell");
    Check(XPath("flowers", "//cell[at[@text='all']]/@text") ==
              std::vector<std::string>{"150 flowers"},
          "the string cell under the string category");
    Check(XPath("flowers", "count(//cell)") == std::vector<std::string>{"4"}, "four cells");
    Check(XPath("flowers", "//dimension[@name='Species']/category/@kind") ==
              std::vector<std::string>{"value", "value", "number", "string"},
          "categories of every kind in order");
    Check(XPath("flowers", "//footnote") == std::vector<std::string>{"procedure note", "title note",
                                                                     "species note",
                                                                     "category note", "cell note"},
          "footnotes at every level");
    Check(
        XPath("flowers", "//caption/@text") == std::vector<std::string>{"From the bundled sample"},
        "caption");
    Check(XPath("flowers", "@title", "//textBlock") == std::vector<std::string>{"Notes"},
          "the text block, with a context");

    std::string name = graphic.substr(graphic.find_last_of('/') + 1);
    int size = -1;
    char* type = nullptr;
    int err = -1;
    char* image = GetImage("flowers", name.c_str(), &size, &type, &err);
    const std::string expected = FileContent(graphic);
    Check(err == 0 && image && size == static_cast<int>(expected.size()) &&
              std::memcmp(image, expected.data(), expected.size()) == 0,
          "GetImage gives the graphic's bytes");
    Check(type && std::string(type) == "PNG", "GetImage gives the type");
    FreeString(image);
    FreeString(type);

    Check(ListItems(GetOMSTagList(&err)) == std::vector<std::string>{kSubtype}, "the tag list");
    const std::uint16_t* wide = GetXmlUtf16("flowers", &err);
    Check(err == 0 && wide && wide[0] == '<', "the document as UTF-16");
}

void CheckDictionaryDocument() {
    Check(CreateXPathDictionary("dict") == 0, "CreateXPathDictionary");
    std::vector<std::string> names = XPath("dict", "/dictionary/variable/@name");
    Check(names.size() == 9 && names[0] == "sepal_length" && names[4] == "species",
          "the sample's names");
    Check(XPath("dict", "//variable[@name='species']/@label") ==
              std::vector<std::string>{"Iris species"},
          "a label");
    int err = -1;
    std::vector<std::string> handles = ListItems(GetHandleList(&err));
    Check(handles == std::vector<std::string>{"flowers", "dict"}, "both handles listed");
    Check(RemoveXPathHandle("dict") == 0 && RemoveXPathHandle("dict") != 0,
          "a handle removed once");
    void* gone = EvaluateXPath("dict", "", "/dictionary", &err);
    Check(gone == nullptr && err != 0, "a removed handle is refused");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <engine home> <scratch directory>\n", argv[0]);
        return 2;
    }
    const std::string scratch = argv[2];
    const std::string xmlPath = scratch + "/output.xml";
    const std::string htmlPath = scratch + "/output.html";
    const std::string graphic = scratch + "/bars.png";
    std::remove(xmlPath.c_str());
    std::remove(htmlPath.c_str());
    std::ofstream(graphic, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0bytes", 15);

    const std::string arguments = std::string("-vexahome=") + argv[1] + ", -outputxml=" + xmlPath +
                                  " -outputhtml=" + htmlPath;
    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL StartVexa\n");
        return 1;
    }
    BuildProcedure(graphic);
    // On disk as soon as the procedure has ended, not only once the engine stops.
    Check(FileContent(xmlPath).find("text=\"5.006\"") != std::string::npos &&
              FileContent(htmlPath).find("Iris setosa") != std::string::npos,
          "the documents hold the procedure once it has ended");
    CheckProcedureDocument(graphic);
    CheckDictionaryDocument();
    StopVexa();

    const std::string xml = FileContent(xmlPath);
    Check(xml.find("<output>") != std::string::npos &&
              xml.find("text=\"5.006\"") != std::string::npos,
          "the output document written at the end");
    const std::string html = FileContent(htmlPath);
    Check(html.find("<table class=\"pivot\">") != std::string::npos &&
              html.find("150 flowers") != std::string::npos &&
              html.find("Iris setosa") != std::string::npos,
          "the HTML page written at the end");
    return g_failures == 0 ? 0 : 1;
}
