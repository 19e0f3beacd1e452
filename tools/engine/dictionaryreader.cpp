#include "dictionaryreader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

namespace engine {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Fills `tokens` with the line's words and quoted texts up to a comment; the
// failure's description, or empty.
std::string Tokenize(std::string_view line, std::vector<Token>& tokens) {
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{"", true};
            for (++i;; ++i) {
                if (i == line.size()) return "unterminated quote";
                if (line[i] != '"') {
                    token.text += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == '"') {
                    token.text += line[++i];
                } else {
                    break;
                }
            }
            ++i;
            tokens.push_back(std::move(token));
        } else {
            std::size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' &&
                   line[end] != '\r' && line[end] != '"')
                ++end;
            tokens.push_back({std::string(line.substr(i, end - i)), false});
            i = end;
        }
    }
    return {};
}

bool IsWord(const Token& token, std::string_view word) {
    if (token.quoted || token.text.size() != word.size()) return false;
    return std::equal(word.begin(), word.end(), token.text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

std::optional<double> ParseFinite(const Token& token) {
    if (token.quoted) return std::nullopt;
    double value = 0;
    const char* end = token.text.data() + token.text.size();
    auto [stop, failure] = std::from_chars(token.text.data(), end, value);
    if (failure != std::errc() || stop != end || token.text.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> ParseInt(const Token& token) {
    if (token.quoted) return std::nullopt;
    int value = 0;
    const char* end = token.text.data() + token.text.size();
    auto [stop, failure] = std::from_chars(token.text.data(), end, value);
    if (failure != std::errc() || stop != end || token.text.empty()) return std::nullopt;
    return value;
}

// Picks one of the named codes; nullopt for any other word.
std::optional<int> ParseKeyword(const Token& token,
                                std::initializer_list<std::pair<std::string_view, int>> codes) {
    for (const auto& [word, code] : codes) {
        if (IsWord(token, word)) return code;
    }
    return std::nullopt;
}

// One statement's tokens after its keyword, read front to back.
class Statement {
  public:
    Statement(const std::vector<Token>& tokens, Dataset& data) : m_tokens(tokens), m_data(data) {}

    bool AtEnd() const { return m_next == m_tokens.size(); }
    std::size_t Remaining() const { return m_tokens.size() - m_next; }
    const Token* Next() { return AtEnd() ? nullptr : &m_tokens[m_next++]; }

    // The variable the next token names; sets the error when there is none.
    std::optional<std::size_t> NextVariable(std::string& error) {
        const Token* token = Next();
        if (!token) {
            error = "variable name expected";
            return std::nullopt;
        }
        std::size_t index = m_data.FindVariable(token->text);
        if (index == m_data.VariableCount()) {
            error = "unknown variable " + token->text;
            return std::nullopt;
        }
        return index;
    }

  private:
    const std::vector<Token>& m_tokens;
    std::size_t m_next = 1;
    Dataset& m_data;
};

constexpr int kMaxColumnWidth = 255;

std::string ReadVariable(Statement& statement, Dataset& data) {
    std::string error;
    auto index = statement.NextVariable(error);
    if (!index) return error;
    const bool numeric = data.variable(*index).IsNumeric();
    VariableProperties& properties = data.properties(*index);
    while (const Token* key = statement.Next()) {
        const Token* value = statement.Next();
        if (!value) return "value expected after " + key->text;
        if (IsWord(*key, "label")) {
            data.SetLabel(*index, value->text);
        } else if (IsWord(*key, "format")) {
            auto format = ParsePrintFormat(value->text);
            if (!format) return "bad format " + value->text;
            if ((format->code == kFormatNumeric) != numeric)
                return "format " + value->text + " does not fit the type";
            properties.format = *format;
        } else if (IsWord(*key, "level")) {
            auto level = ParseKeyword(
                *value, {{"nominal", kNominal}, {"ordinal", kOrdinal}, {"scale", kScale}});
            if (!level) return "bad level " + value->text;
            properties.level = *level;
        } else if (IsWord(*key, "role")) {
            auto role = ParseKeyword(*value, {{"input", kRoleInput},
                                              {"target", kRoleTarget},
                                              {"both", kRoleBoth},
                                              {"none", kRoleNone},
                                              {"partition", kRolePartition},
                                              {"split", kRoleSplit}});
            if (!role) return "bad role " + value->text;
            properties.role = *role;
        } else if (IsWord(*key, "align")) {
            auto alignment = ParseKeyword(
                *value, {{"left", kAlignLeft}, {"right", kAlignRight}, {"center", kAlignCenter}});
            if (!alignment) return "bad alignment " + value->text;
            properties.alignment = *alignment;
        } else if (IsWord(*key, "width")) {
            auto width = ParseInt(*value);
            if (!width || *width < 1 || *width > kMaxColumnWidth)
                return "bad column width " + value->text;
            properties.columnWidth = *width;
        } else {
            return "unknown property " + key->text;
        }
    }
    return {};
}

bool NextNumber(Statement& statement, double& value) {
    const Token* token = statement.Next();
    if (!token) return false;
    auto number = ParseFinite(*token);
    if (!number) return false;
    value = *number;
    return true;
}

std::string ReadNumericMissing(Statement& statement, MissingValues& missing) {
    MissingValues result;
    const Token* first = statement.Next();
    if (IsWord(*first, "range")) {
        double low = 0;
        double high = 0;
        if (!NextNumber(statement, low) || !NextNumber(statement, high))
            return "range needs two numbers";
        if (low > high) return "range ends in the wrong order";
        result.format = kMissingRange;
        result.numbers = {low, high, 0.0};
        if (!statement.AtEnd()) {
            const Token* word = statement.Next();
            double extra = 0;
            if (!IsWord(*word, "value") || !NextNumber(statement, extra) || !statement.AtEnd())
                return "range may be followed only by value <number>";
            result.format = kMissingRangeAndValue;
            result.numbers[2] = extra;
        }
    } else {
        for (const Token* token = first; token; token = statement.Next()) {
            if (result.format == 3) return "at most 3 missing values";
            auto value = ParseFinite(*token);
            if (!value) return "missing value " + token->text + " is no number";
            result.numbers[static_cast<std::size_t>(result.format++)] = *value;
        }
    }
    missing = result;
    return {};
}

std::string ReadStringMissing(Statement& statement, MissingValues& missing) {
    MissingValues result;
    while (const Token* token = statement.Next()) {
        if (IsWord(*token, "range")) return "a string variable has no missing range";
        if (result.format == 3) return "at most 3 missing values";
        if (token->text.size() > kStringMissingWidth)
            return "string missing value longer than 8 bytes";
        result.texts[static_cast<std::size_t>(result.format++)] = token->text;
    }
    missing = result;
    return {};
}

std::string ReadMissing(Statement& statement, Dataset& data) {
    std::string error;
    auto index = statement.NextVariable(error);
    if (!index) return error;
    if (statement.AtEnd()) return "missing values expected";
    MissingValues& missing = data.properties(*index).missing;
    if (statement.Remaining() == 1) {
        Statement probe = statement;
        if (IsWord(*probe.Next(), "none")) {
            missing = MissingValues();
            return {};
        }
    }
    return data.variable(*index).IsNumeric() ? ReadNumericMissing(statement, missing)
                                             : ReadStringMissing(statement, missing);
}

std::string ReadValueLabels(Statement& statement, Dataset& data) {
    std::string error;
    auto index = statement.NextVariable(error);
    if (!index) return error;
    if (statement.AtEnd() || statement.Remaining() % 2 != 0)
        return "value and label pairs expected";
    VariableProperties& properties = data.properties(*index);
    while (const Token* value = statement.Next()) {
        const Token* label = statement.Next();
        if (data.variable(*index).IsNumeric()) {
            auto number = ParseFinite(*value);
            if (!number) return "value " + value->text + " is no number";
            properties.numericLabels.Set(*number, label->text);
        } else {
            properties.stringLabels.Set(value->text, label->text);
        }
    }
    return {};
}

std::vector<std::string> RestAsTexts(Statement& statement) {
    std::vector<std::string> texts;
    while (const Token* token = statement.Next()) texts.push_back(token->text);
    return texts;
}

std::string ReadAttribute(Statement& statement, Dataset& data) {
    std::string error;
    auto index = statement.NextVariable(error);
    if (!index) return error;
    const Token* name = statement.Next();
    if (!name || name->text.empty()) return "attribute name expected";
    if (statement.AtEnd()) return "attribute values expected";
    data.properties(*index).attributes.Set(name->text, RestAsTexts(statement));
    return {};
}

std::string ReadFileAttribute(Statement& statement, Dataset& data) {
    const Token* name = statement.Next();
    if (!name || name->text.empty()) return "attribute name expected";
    if (statement.AtEnd()) return "attribute values expected";
    data.file().attributes.Set(name->text, RestAsTexts(statement));
    return {};
}

std::string ReadMultiResponseSet(Statement& statement, Dataset& data) {
    const Token* name = statement.Next();
    if (!name || name->text.size() < 2 || name->text[0] != '$')
        return "set name starting with $ expected";
    if (data.file().FindSet(name->text)) return "repeated set " + name->text;
    MultiResponseSet set;
    set.name = name->text;
    while (const Token* key = statement.Next()) {
        if (IsWord(*key, "members")) {
            std::string error;
            while (!statement.AtEnd()) {
                auto member = statement.NextVariable(error);
                if (!member) return error;
                set.members.push_back(data.variable(*member).name);
            }
            break;
        }
        const Token* value = statement.Next();
        if (!value) return "value expected after " + key->text;
        if (IsWord(*key, "label")) {
            set.label = value->text;
        } else if (IsWord(*key, "counted")) {
            set.countedValue = value->text;
        } else if (IsWord(*key, "kind")) {
            auto kind = ParseInt(*value);
            if (!kind || (*kind != kCategorySet && *kind != kDichotomySet)) return "kind is 1 or 2";
            set.kind = *kind;
        } else if (IsWord(*key, "second")) {
            auto second = ParseInt(*value);
            if (!second) return "second is an integer";
            set.second = *second;
        } else {
            return "unknown property " + key->text;
        }
    }
    if (set.members.empty()) return "members expected";
    data.file().sets.push_back(std::move(set));
    return {};
}

std::string ReadWeight(Statement& statement, Dataset& data) {
    std::string error;
    auto index = statement.NextVariable(error);
    if (!index) return error;
    if (!statement.AtEnd()) return "one weight variable";
    if (!data.variable(*index).IsNumeric()) return "the weight variable must be numeric";
    data.file().weight = data.variable(*index).name;
    return {};
}

std::string ReadSplit(Statement& statement, Dataset& data) {
    std::vector<std::string> names;
    std::string error;
    do {
        auto index = statement.NextVariable(error);
        if (!index) return error;
        names.push_back(data.variable(*index).name);
    } while (!statement.AtEnd());
    data.file().split = std::move(names);
    return {};
}

// Read before the data file, by CsvMissingTokens; here only checked.
std::string ReadCsvMissing(Statement& statement, Dataset&) {
    const std::vector<std::string> texts = RestAsTexts(statement);
    if (texts.empty()) return "csvmissing needs at least one quoted text";
    return {};
}

std::string ReadStatement(const std::vector<Token>& tokens, Dataset& data) {
    using Reader = std::string (*)(Statement&, Dataset&);
    static constexpr std::pair<std::string_view, Reader> kReaders[] = {
        {"variable", ReadVariable},
        {"missing", ReadMissing},
        {"values", ReadValueLabels},
        {"attribute", ReadAttribute},
        {"fileattribute", ReadFileAttribute},
        {"mrset", ReadMultiResponseSet},
        {"weight", ReadWeight},
        {"split", ReadSplit},
        {"csvmissing", ReadCsvMissing},
    };
    for (const auto& [keyword, reader] : kReaders) {
        if (IsWord(tokens[0], keyword)) {
            Statement statement(tokens, data);
            return reader(statement, data);
        }
    }
    return "unknown statement " + tokens[0].text;
}

}  // namespace

bool ReadDictionary(std::istream& input, Dataset& data, std::string& error) {
    // Statements never touch cells, so the copy that keeps `data` intact on
    // failure is of the dictionary alone.
    CaseStore cases = std::move(data.cases());
    Dataset changed = data;
    changed.cases() = CaseStore();
    std::string line;
    std::vector<Token> tokens;
    for (std::size_t lineNumber = 1; std::getline(input, line); ++lineNumber) {
        std::string what = Tokenize(line, tokens);
        if (what.empty() && !tokens.empty()) what = ReadStatement(tokens, changed);
        if (!what.empty()) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            data.cases() = std::move(cases);
            return false;
        }
    }
    changed.cases() = std::move(cases);
    data = std::move(changed);
    return true;
}

std::string DictionaryPathFor(const std::string& dataPath) {
    const std::size_t slash = dataPath.find_last_of('/');
    const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = dataPath.find_last_of('.');
    if (dot == std::string::npos || dot < baseStart) return dataPath + ".dict";
    return dataPath.substr(0, dot) + ".dict";
}

bool ReadImportHints(const std::string& path, CsvImportOptions& options, std::string& error) {
    std::ifstream input(path);
    if (!input) return true;
    std::string line;
    std::vector<Token> words;
    for (std::size_t lineNumber = 1; std::getline(input, line); ++lineNumber) {
        const auto fail = [&](const std::string& what) {
            error = path + ": line " + std::to_string(lineNumber) + ": " + what;
            return false;
        };
        if (std::string what = Tokenize(line, words); !what.empty()) return fail(what);
        if (words.empty()) continue;
        if (IsWord(words[0], "csvmissing")) {
            for (std::size_t k = 1; k < words.size(); ++k) {
                if (!words[k].quoted) return fail("csvmissing takes quoted texts");
                options.missingTokens.push_back(words[k].text);
            }
        } else if (IsWord(words[0], "variable") && words.size() >= 2) {
            for (std::size_t k = 2; k + 1 < words.size(); k += 2) {
                if (!IsWord(words[k], "format")) continue;
                const auto format = ParsePrintFormat(words[k + 1].text);
                if (!format) return fail("bad format " + words[k + 1].text);
                options.declaredTypes.emplace_back(
                    words[1].text, format->code == kFormatNumeric ? 0 : format->width);
            }
        }
    }
    return true;
}

bool ReadDictionaryFileIfPresent(const std::string& path, Dataset& data, std::string& error) {
    std::ifstream input(path);
    if (!input) return true;
    if (ReadDictionary(input, data, error)) return true;
    error = path + ": " + error;
    return false;
}

}  // namespace engine
