// The words of a command's body: names (keywords and variable names),
// numbers, quoted strings and symbols, read from a bounded view that never
// reads past its end. A character no token starts with, or a quote left
// open, gives a kBad token. One command at a time; no shared state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

struct SyntaxToken {
    enum class Kind { kName, kNumber, kString, kSymbol, kEnd, kBad };
    Kind kind = Kind::kEnd;
    // Names as written; strings without their quotes; symbols as written.
    std::string text;
    double number = 0;

    bool IsSymbol(std::string_view symbol) const { return kind == Kind::kSymbol && text == symbol; }
    // A name equal to `keyword` ignoring case; `keyword` is upper case.
    bool IsKeyword(std::string_view keyword) const;
};

class SyntaxLexer {
  public:
    explicit SyntaxLexer(std::string_view text) : m_text(text) { Advance(); }

    const SyntaxToken& Peek() const { return m_current; }
    SyntaxToken Take();
    // Takes the next token when it is this keyword or symbol.
    bool TakeKeyword(std::string_view keyword);
    bool TakeSymbol(std::string_view symbol);
    bool AtEnd() const { return m_current.kind == SyntaxToken::Kind::kEnd; }

  private:
    void Advance();

    std::string_view m_text;
    std::size_t m_at = 0;
    SyntaxToken m_current;
};

// The words of a name ("sepal_length", "$set", "#x", "@a.b"): its first
// character and those that may follow.
bool IsNameStart(char c);
bool IsNameChar(char c);

}  // namespace engine
