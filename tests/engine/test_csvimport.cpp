// The CSV importer and the data-file commands: records as they stream in,
// typing and missing tokens, files R writes itself checked value by value
// against R's own values, refusals naming file and line, and a save that
// loads back the same dataset.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "codec/protocol.h"
#include "csvreader.h"
#include "csvrecords.h"
#include "datafile.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"

namespace {

namespace fs = std::filesystem;
using engine::CsvField;
using engine::CsvImportOptions;
using engine::CsvImportReport;
using engine::Dataset;
using engine::kSystemMissing;

// A directory of the test's own, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() /
                 ("csvimport-" + std::to_string(platform::CurrentProcessId()) + "-" + info->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempDir() { fs::remove_all(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name, const std::string& content) const {
        const std::string path = (m_path / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string Path(const std::string& name) const { return (m_path / name).string(); }

  private:
    fs::path m_path;
};

std::vector<std::vector<std::string>> Records(const std::string& text, std::size_t window,
                                              std::string& error,
                                              std::vector<std::size_t>* lines = nullptr) {
    std::istringstream input(text);
    engine::CsvRecordReader reader(input, window);
    std::vector<CsvField> fields;
    std::vector<std::vector<std::string>> records;
    while (reader.Next(fields)) {
        records.emplace_back();
        for (const auto& field : fields) records.back().emplace_back(field.text);
        if (lines) lines->push_back(reader.Line());
    }
    error = reader.error().empty()
                ? ""
                : "line " + std::to_string(reader.Line()) + ": " + reader.error();
    return records;
}

bool Import(const std::string& text, Dataset& out, CsvImportReport& report,
            CsvImportOptions options = {}) {
    std::istringstream input(text);
    return engine::ImportCsv(input, "in.csv", "in", options, out, report);
}

double Number(const Dataset& data, std::size_t c, std::size_t v) {
    return std::get<double>(data.cell(c, v));
}
std::string Text(const Dataset& data, std::size_t c, std::size_t v) {
    return std::get<std::string>(data.cell(c, v));
}

TEST(CsvRecords, QuotesHoldSeparatorsQuotesAndLineBreaksAtAnyWindowSize) {
    const std::string text =
        "\xEF\xBB\xBFid,note\r\n1,\"a, b\"\r\n2,\"say \"\"hi\"\"\"\r\n\r\n3,\"two\nlines\"\r\n4,";
    for (std::size_t window : {64u, 1u << 20}) {
        std::string error;
        std::vector<std::size_t> lines;
        const auto records = Records(text + std::string(100, 'x') + "\n", window, error, &lines);
        ASSERT_EQ(error, "");
        ASSERT_EQ(records.size(), 5u) << window;
        // The byte-order mark is not part of the first name.
        EXPECT_EQ(records[0], (std::vector<std::string>{"id", "note"}));
        EXPECT_EQ(records[1], (std::vector<std::string>{"1", "a, b"}));
        EXPECT_EQ(records[2], (std::vector<std::string>{"2", "say \"hi\""}));
        EXPECT_EQ(records[3], (std::vector<std::string>{"3", "two\nlines"}));
        EXPECT_EQ(records[4][1], std::string(100, 'x'));
        // Blank lines and line breaks inside quotes count.
        EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2, 3, 5, 7})) << window;
    }
}

TEST(CsvRecords, UnclosedQuoteAndTextAfterAClosingQuoteNameTheirLine) {
    std::string error;
    Records("a,b\n1,2\n3,\"open\nstill open\n", 64, error);
    EXPECT_EQ(error, "line 3: a quoted field is not closed");
    Records("a,b\n1,\"x\"y\n", 64, error);
    EXPECT_EQ(error, "line 2: text after the closing quote of field 2");
    // A quote inside an unquoted field is a character like any other.
    const auto records = Records("a\nab\"c\n", 64, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(records.at(1).at(0), "ab\"c");
}

TEST(CsvImportTyping, MissingTokensAreSystemMissingInNumericColumnsOnly) {
    Dataset data;
    CsvImportReport report;
    CsvImportOptions options;
    options.missingTokens = {"n/a"};
    ASSERT_TRUE(Import("x,s\n1,NA\nNA,\"NA\"\n.,b\n,\n\"\",c\nn/a,d\n", data, report, options))
        << report.error;
    ASSERT_TRUE(data.variable(0).IsNumeric());
    EXPECT_EQ(Number(data, 0, 0), 1.0);
    for (std::size_t c = 1; c < 6; ++c) EXPECT_EQ(Number(data, c, 0), kSystemMissing) << c;
    // In text an unquoted NA is empty; a quoted one is the text "NA".
    EXPECT_EQ(Text(data, 0, 1), "");
    EXPECT_EQ(Text(data, 1, 1), "NA");
    EXPECT_TRUE(report.notes.empty());
}

TEST(CsvImportTyping, NonFiniteAndOverflowingNumbersMakeTextAndSaySo) {
    for (const char* token : {"nan", "inf", "-Infinity", "1e999"}) {
        Dataset data;
        CsvImportReport report;
        ASSERT_TRUE(Import(std::string("x\n1.50\n") + token + "\n2\n", data, report))
            << report.error;
        ASSERT_FALSE(data.variable(0).IsNumeric()) << token;
        // Read a second time, so the earlier numbers stay as written.
        EXPECT_EQ(Text(data, 0, 0), "1.50");
        EXPECT_EQ(Text(data, 1, 0), token);
        ASSERT_EQ(report.notes.size(), 1u) << token;
        EXPECT_EQ(report.notes[0], "in.csv: line 3: \"" + std::string(token) +
                                       "\" is not a finite number, so column \"x\" is text");
    }
    // Named as a missing token, the same text keeps the column numeric.
    Dataset data;
    CsvImportReport report;
    CsvImportOptions options;
    options.missingTokens = {"nan"};
    ASSERT_TRUE(Import("x\n1\nnan\n", data, report, options));
    EXPECT_EQ(Number(data, 1, 0), kSystemMissing);
}

TEST(CsvImportTyping, FormatsFollowTheWidestIntegerPartAndTheMostDecimals) {
    Dataset data;
    CsvImportReport report;
    ASSERT_TRUE(Import("price,count,tiny,big,none\n1.5,3,2.5e-3,-12345.6,\n10.25,12,1e-2,7,\n",
                       data, report));
    EXPECT_EQ(data.properties(0).format.Text(), "F5.2");
    EXPECT_EQ(data.properties(1).format.Text(), "F2.0");
    EXPECT_EQ(data.properties(2).format.Text(), "F6.4");
    EXPECT_EQ(data.properties(3).format.Text(), "F8.1");
    // No number at all: the default.
    EXPECT_EQ(data.properties(4).format.Text(), "F8.2");
    EXPECT_DOUBLE_EQ(Number(data, 0, 2), 0.0025);
    ASSERT_TRUE(Import("x\n0.1234567890123456789\n", data, report));
    EXPECT_EQ(data.properties(0).format.decimals, engine::kMaxInferredDecimals);
}

// Every field converted as std::from_chars converts it, bit for bit, and
// its decimals counted, over plain decimals of every length the quick path
// takes, those just past it (more than 2^53, 20 digits, 23 decimals) and the
// forms it leaves to the full conversion.
TEST(CsvImportTyping, NumbersAreTheValuesFromCharsGivesBitForBit) {
    std::vector<std::string> fields = {"0",
                                       "-0",
                                       "-0.0",
                                       "007.50",
                                       "+3.25",
                                       "1.",
                                       ".5",
                                       "-.5",
                                       "1e3",
                                       "2.5E-3",
                                       "9007199254740993",
                                       "9007199254740992.5",
                                       "12345678901234567890",
                                       "0.12345678901234567890123",
                                       "1.7976931348623157e308",
                                       "0.30000000000000004"};
    std::uint64_t state = 88172645463325252ull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int k = 0; k < 20000; ++k) {
        std::string text = next() % 4 == 0 ? "-" : "";
        const int integerDigits = 1 + static_cast<int>(next() % 17);
        const int decimals = static_cast<int>(next() % 24);
        for (int d = 0; d < integerDigits; ++d) text += static_cast<char>('0' + next() % 10);
        if (decimals > 0) text += '.';
        for (int d = 0; d < decimals; ++d) text += static_cast<char>('0' + next() % 10);
        fields.push_back(text);
    }
    std::string csv = "x\n";
    for (const std::string& field : fields) csv += field + "\n";
    Dataset data;
    CsvImportReport report;
    ASSERT_TRUE(Import(csv, data, report)) << report.error;
    ASSERT_TRUE(data.variable(0).IsNumeric());
    ASSERT_EQ(data.CaseCount(), fields.size());
    int mostDecimals = 0;
    for (std::size_t c = 0; c < fields.size(); ++c) {
        std::string_view text = fields[c];
        if (text.front() == '+') text.remove_prefix(1);
        double expected = 0;
        const auto [stop, failure] =
            std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_TRUE(failure == std::errc() && stop == text.data() + text.size()) << text;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(Number(data, c, 0)),
                  std::bit_cast<std::uint64_t>(expected))
            << fields[c];
        const auto dot = text.find('.');
        if (dot != std::string_view::npos && text.find_first_of("eE") == std::string_view::npos)
            mostDecimals = std::max(mostDecimals, static_cast<int>(text.size() - dot - 1));
    }
    EXPECT_EQ(data.properties(0).format.decimals,
              std::min(mostDecimals, engine::kMaxInferredDecimals));
}

TEST(CsvImportRefusals, EachNamesTheFileTheLineAndWhat) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"my var,b\n1,2\n", "in.csv: line 1: \"my var\" is not a valid variable name"},
        {"a,AND\n1,2\n", "in.csv: line 1: \"AND\" is not a valid variable name"},
        {"a,,c\n1,2,3\n", "in.csv: line 1: column 2 has no name"},
        {"a,a\n1,2\n", "in.csv: line 1: \"a\" names two columns"},
        {"a,b\n1,2\n\n3\n", "in.csv: line 4: 1 fields where the header has 2"},
        {"a,b\n1,2,3\n", "in.csv: line 2: 3 fields where the header has 2"},
        {"a,b\n1,\"2\n", "in.csv: line 2: a quoted field is not closed"},
        {"", "in.csv: line 1: no header of variable names"},
    };
    for (const auto& [text, error] : cases) {
        Dataset data("before");
        data.AddVariable({"keep", "", 0});
        CsvImportReport report;
        EXPECT_FALSE(Import(text, data, report)) << text;
        EXPECT_EQ(report.error, error);
        // A refused file leaves the dataset as it was.
        EXPECT_EQ(data.name(), "before");
        EXPECT_EQ(data.VariableCount(), 1u);
    }
}

TEST(CsvImportRefusals, DeclaredTypesRefuseFieldsThatDoNotFit) {
    Dataset data;
    CsvImportReport report;
    CsvImportOptions options;
    options.declaredTypes = {{"x", 0}, {"s", 3}};
    EXPECT_FALSE(Import("x,s\n1,ab\nz,ab\n", data, report, options));
    EXPECT_EQ(
        report.error,
        "in.csv: line 3: \"z\" in \"x\", which the dictionary declares numeric, is not a number");
    EXPECT_FALSE(Import("x,s\n1,abcd\n", data, report, options));
    EXPECT_EQ(
        report.error,
        "in.csv: line 2: a value of \"s\" is longer than the width 3 the dictionary declares");
    // Digits in a column declared text stay text, at the declared width.
    options.declaredTypes = {{"s", 6}};
    ASSERT_TRUE(Import("x,s\n1,12\n", data, report, options));
    EXPECT_EQ(data.variable(1).type, 6);
    EXPECT_EQ(Text(data, 0, 1), "12");
}

// R's own write.csv output, against the values R itself reports for every
// cell ("N <%.17g>", "M" for a numeric NA, "S <hex bytes>", "E" for a text NA).
class RWrittenFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v Rscript >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "Rscript is not installed";
        const std::string script = dir.File("write.R", R"(
dir <- commandArgs(TRUE)[1]
ref <- function(d, f) {
  con <- file(f, "wb")
  for (i in seq_len(nrow(d))) for (j in seq_len(ncol(d))) {
    v <- d[[j]][i]
    if (is.numeric(v)) line <- if (is.na(v)) "M" else paste("N", sprintf("%.17g", v))
    else { v <- as.character(v); line <- if (is.na(v)) "E" else paste("S", paste(charToRaw(v), collapse="")) }
    writeLines(line, con, sep="\n")
  }
  close(con)
}
write.csv(airquality, file.path(dir, "airquality.csv"), row.names=FALSE)
ref(airquality, file.path(dir, "airquality.ref"))
d <- data.frame(price=c(1.5, 10.25, NA, 3), name=c("plain", "with, comma", "say \"hi\"", "two\nlines"),
                kind=factor(c("a", NA, "b", "a")), stringsAsFactors=FALSE)
write.csv(d, file.path(dir, "mixed.csv"), row.names=FALSE)
ref(d, file.path(dir, "mixed.ref"))
write.csv(iris, file.path(dir, "iris.csv"))
)");
        ASSERT_EQ(
            std::system(("Rscript " + script + " " + dir.Path("") + " >/dev/null 2>&1").c_str()),
            0);
    }

    static std::string FromHex(const std::string& hex) {
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return bytes;
    }

    // Every cell of `data` against R's reference, in case-major order.
    void ExpectValues(const Dataset& data, const std::string& refPath) {
        std::ifstream ref(refPath);
        std::string line;
        std::size_t cells = 0;
        for (std::size_t c = 0; c < data.CaseCount(); ++c) {
            for (std::size_t v = 0; v < data.VariableCount(); ++v, ++cells) {
                ASSERT_TRUE(std::getline(ref, line)) << "reference ends at case " << c;
                const auto value = data.cell(c, v);
                if (line == "M") {
                    EXPECT_EQ(std::get<double>(value), kSystemMissing) << c << "," << v;
                } else if (line[0] == 'N') {
                    EXPECT_EQ(std::get<double>(value), std::strtod(line.c_str() + 2, nullptr))
                        << c << "," << v;
                } else if (line == "E") {
                    EXPECT_EQ(std::get<std::string>(value), "") << c << "," << v;
                } else {
                    EXPECT_EQ(std::get<std::string>(value), FromHex(line.substr(2)))
                        << c << "," << v;
                }
            }
        }
        EXPECT_FALSE(std::getline(ref, line)) << "reference has more than " << cells << " cells";
    }

    TempDir dir;
};

TEST_F(RWrittenFiles, NumbersWithNaLoadExactlyWithFormatsFromTheData) {
    Dataset data;
    CsvImportReport report;
    ASSERT_TRUE(engine::ImportCsvFile(dir.Path("airquality.csv"), {}, data, report))
        << report.error;
    ASSERT_EQ(data.VariableCount(), 6u);
    ASSERT_EQ(data.CaseCount(), 153u);
    EXPECT_EQ(data.variable(1).name, "Solar.R");
    for (std::size_t v = 0; v < 6; ++v) EXPECT_TRUE(data.variable(v).IsNumeric()) << v;
    EXPECT_EQ(data.properties(0).format.Text(), "F3.0");  // Ozone up to 168
    EXPECT_EQ(data.properties(2).format.Text(), "F4.1");  // Wind up to 20.7
    ExpectValues(data, dir.Path("airquality.ref"));
}

TEST_F(RWrittenFiles, FactorsQuotesAndLineBreaksLoadExactly) {
    Dataset data;
    CsvImportReport report;
    ASSERT_TRUE(engine::ImportCsvFile(dir.Path("mixed.csv"), {}, data, report)) << report.error;
    ASSERT_EQ(data.VariableCount(), 3u);
    EXPECT_TRUE(data.variable(0).IsNumeric());
    EXPECT_EQ(data.variable(1).type, 11);  // "with, comma"
    EXPECT_EQ(data.variable(2).type, 1);
    ExpectValues(data, dir.Path("mixed.ref"));
}

TEST_F(RWrittenFiles, RowNamesColumnWithoutANameIsRefused) {
    Dataset data;
    CsvImportReport report;
    EXPECT_FALSE(engine::ImportCsvFile(dir.Path("iris.csv"), {}, data, report));
    EXPECT_EQ(report.error, dir.Path("iris.csv") + ": line 1: column 1 has no name");
}

constexpr const char* kRichDictionary =
    "variable price label \"Unit \"\"list\"\" price\" format F9.3 level ordinal role target align "
    "center width 12\n"
    "variable name format A20 level nominal\n"
    "missing price range -99 -90 value 999\n"
    "missing name \"n/a\" \"-\"\n"
    "values price 1.5 \"cheap\" 10.25 \"dear\"\n"
    "values name \"plain\" \"Plain text\"\n"
    "attribute price Source \"R\" \"hand\"\n"
    "fileattribute Origin \"test\"\n"
    "mrset $both label \"Both\" kind 2 counted \"1\" second 1 members price code\n"
    "weight code\n"
    "split name\n"
    "csvmissing \"??\"\n";

void ExpectSameDataset(const Dataset& a, const Dataset& b) {
    ASSERT_EQ(a.VariableCount(), b.VariableCount());
    ASSERT_EQ(a.CaseCount(), b.CaseCount());
    for (std::size_t v = 0; v < a.VariableCount(); ++v) {
        const auto& x = a.variable(v);
        const auto& y = b.variable(v);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.label, y.label);
        EXPECT_EQ(x.type, y.type);
        EXPECT_EQ(x.properties.format, y.properties.format) << x.name;
        EXPECT_EQ(x.properties.level, y.properties.level);
        EXPECT_EQ(x.properties.role, y.properties.role);
        EXPECT_EQ(x.properties.alignment, y.properties.alignment);
        EXPECT_EQ(x.properties.columnWidth, y.properties.columnWidth);
        EXPECT_EQ(x.properties.missing.format, y.properties.missing.format);
        EXPECT_EQ(x.properties.missing.numbers, y.properties.missing.numbers);
        EXPECT_EQ(x.properties.missing.texts, y.properties.missing.texts);
        EXPECT_EQ(x.properties.numericLabels.entries(), y.properties.numericLabels.entries());
        EXPECT_EQ(x.properties.stringLabels.entries(), y.properties.stringLabels.entries());
        EXPECT_EQ(x.properties.attributes.Names(), y.properties.attributes.Names());
    }
    EXPECT_EQ(a.file().attributes.Names(), b.file().attributes.Names());
    ASSERT_EQ(a.file().sets.size(), b.file().sets.size());
    for (std::size_t k = 0; k < a.file().sets.size(); ++k) {
        EXPECT_EQ(a.file().sets[k].members, b.file().sets[k].members);
        EXPECT_EQ(a.file().sets[k].countedValue, b.file().sets[k].countedValue);
    }
    EXPECT_EQ(a.file().weight, b.file().weight);
    EXPECT_EQ(a.file().split, b.file().split);
    // Byte for byte, so -0.0, the last bit of a double and padding all count.
    const auto cellsA = a.cases().Cases(0, a.CaseCount());
    const auto cellsB = b.cases().Cases(0, b.CaseCount());
    ASSERT_EQ(cellsA.size(), cellsB.size());
    EXPECT_EQ(std::memcmp(cellsA.data(), cellsB.data(), cellsA.size_bytes()), 0);
}

TEST(DataFileRoundTrip, SaveThenLoadGivesTheSameDictionaryAndEveryValue) {
    TempDir dir;
    const std::string csv =
        dir.File("in.csv",
                 "price,name,code\n1.5,plain,1\n??,\"with, comma\",0\n0.1,\"12\",-0\n"
                 "1e300,\"two\nlines\",1\n,NA,\n");
    dir.File("in.dict", kRichDictionary);
    Dataset first;
    CsvImportReport report;
    ASSERT_TRUE(engine::LoadDataFile(csv, first, report)) << report.error;
    ASSERT_EQ(first.CaseCount(), 5u);
    EXPECT_EQ(Number(first, 1, 0), kSystemMissing);
    EXPECT_EQ(first.variable(1).type, 20);
    EXPECT_EQ(Text(first, 2, 1), "12");

    std::string error;
    const std::string saved = dir.Path("out.csv");
    ASSERT_TRUE(engine::SaveDataFile(saved, first, error)) << error;
    Dataset second;
    ASSERT_TRUE(engine::LoadDataFile(saved, second, report)) << report.error;
    ExpectSameDataset(first, second);
    // Saved again, the files are the same bytes: nothing drifts.
    const std::string again = dir.Path("again.csv");
    ASSERT_TRUE(engine::SaveDataFile(again, second, error)) << error;
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(slurp(saved), slurp(again));
    EXPECT_EQ(slurp(dir.Path("out.dict")), slurp(dir.Path("again.dict")));
}

TEST(DataFileRoundTrip, UnwritableAndUnsavableLeaveNoFiles) {
    TempDir dir;
    Dataset data("d");
    data.AddVariable({"x", "a label\nwith a break", 0});
    data.AddCase({1.0});
    std::string error;
    EXPECT_FALSE(engine::SaveDataFile(dir.Path("none/x.csv"), data, error));
    EXPECT_EQ(error, dir.Path("none/x.csv") + ": cannot be opened for writing");
    EXPECT_FALSE(engine::SaveDataFile(dir.Path("x.csv"), data, error));
    EXPECT_EQ(error, dir.Path("x.dict") + ": \"a label\nwith a break\" holds a line break");
    data.SetLabel(0, "");
    data.SetCell(0, 0, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(engine::SaveDataFile(dir.Path("x.csv"), data, error));
    EXPECT_EQ(error, dir.Path("x.csv") +
                         ": case 1 of x is not a finite number, which a CSV file cannot hold");
    EXPECT_TRUE(fs::is_empty(dir.Path("")));
}

class DataFileCommands : public enginetest::EngineReplies {
  protected:
    int Submit(const std::string& command) { return Ask(cmd::kSubmit, {command}); }
    std::string LastOutput() const {
        const auto& entries = state.log.entries();
        return entries.empty() ? "" : entries.back().text;
    }
    TempDir dir;
};

TEST_F(DataFileCommands, GetDataReplacesTheActiveDatasetAndSaveWritesItBack) {
    state.active = Dataset("active");
    dir.File("a b.csv", "x,s\n1,p\n2.5,q\n");
    ASSERT_EQ(Submit("get data /type=csv /file='" + dir.Path("a b.csv") + "'."), VEXA_OK)
        << LastOutput();
    EXPECT_EQ(state.active.name(), "active");
    ASSERT_EQ(state.active.CaseCount(), 2u);
    EXPECT_EQ(Number(state.active, 1, 0), 2.5);

    ASSERT_EQ(Submit("SAVE /TYPE=CSV /FILE=\"" + dir.Path("it's.csv") + "\"."), VEXA_OK)
        << LastOutput();
    const Dataset before = state.active;
    state.active = Dataset("active");
    ASSERT_EQ(Submit("GET DATA /TYPE=CSV /FILE='" + dir.Path("it''s.csv") + "'."), VEXA_OK)
        << LastOutput();
    ExpectSameDataset(before, state.active);
}

TEST_F(DataFileCommands, FailuresHaveCodesAndTheirTextInTheOutput) {
    const Dataset before = state.active;
    EXPECT_EQ(Submit("GET DATA /TYPE=CSV /FILE='" + dir.Path("none.csv") + "'."),
              engine::kDataFileUnreadable);
    EXPECT_EQ(LastOutput(),
              "GET DATA (line 1): " + dir.Path("none.csv") + ": cannot be opened for reading");
    dir.File("bad.csv", "a,b\n1\n");
    EXPECT_EQ(Submit("GET DATA /TYPE=CSV /FILE='" + dir.Path("bad.csv") + "'."),
              engine::kDataFileUnreadable);
    EXPECT_EQ(LastOutput(), "GET DATA (line 1): " + dir.Path("bad.csv") +
                                ": line 2: 1 fields where the header has 2");
    EXPECT_EQ(Submit("SAVE /TYPE=CSV /FILE='" + dir.Path("no/such/dir.csv") + "'."),
              engine::kDataFileUnwritable);
    EXPECT_EQ(LastOutput(),
              "SAVE (line 1): " + dir.Path("no/such/dir.csv") + ": cannot be opened for writing");
    EXPECT_EQ(Submit("SAVE /TYPE=CSV."), engine::kBadDataFileCommand);
    EXPECT_EQ(Submit("GET DATA /TYPE=CSV /FILE='open."), engine::kBadDataFileCommand);
    EXPECT_EQ(Submit("GET DATA /TYPE=CSV /FILE='x.csv' /SHEET=1."), engine::kBadDataFileCommand);
    EXPECT_EQ(state.active.VariableCount(), before.VariableCount());
}

}  // namespace
