#include "syntaxlexer.h"

#include <cctype>
#include <cstdlib>

#include "commandtext.h"
#include "runtime/stringutil.h"

namespace engine {

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '@' || c == '#' || c == '$';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool SyntaxToken::IsKeyword(std::string_view keyword) const {
    return kind == Kind::kName && textutil::UpperString(text) == keyword;
}

SyntaxToken SyntaxLexer::Take() {
    SyntaxToken taken = std::move(m_current);
    Advance();
    return taken;
}

bool SyntaxLexer::TakeKeyword(std::string_view keyword) {
    if (!m_current.IsKeyword(keyword)) return false;
    Advance();
    return true;
}

bool SyntaxLexer::TakeSymbol(std::string_view symbol) {
    if (!m_current.IsSymbol(symbol)) return false;
    Advance();
    return true;
}

void SyntaxLexer::Advance() {
    using Kind = SyntaxToken::Kind;
    while (m_at < m_text.size() && IsBlank(m_text[m_at])) ++m_at;
    m_current = SyntaxToken{};
    if (m_at >= m_text.size()) return;
    const std::size_t start = m_at;
    const char c = m_text[m_at];
    const auto digitAt = [this](std::size_t at) {
        return at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[at]));
    };
    if (IsNameStart(c)) {
        while (m_at < m_text.size() && IsNameChar(m_text[m_at])) ++m_at;
        // A name does not end with a full stop: that one closes a sentence.
        while (m_at > start + 1 && m_text[m_at - 1] == '.') --m_at;
        m_current = {Kind::kName, std::string(m_text.substr(start, m_at - start)), 0};
        return;
    }
    if (digitAt(m_at) || (c == '.' && digitAt(m_at + 1))) {
        while (digitAt(m_at)) ++m_at;
        if (m_at < m_text.size() && m_text[m_at] == '.' && digitAt(m_at + 1)) {
            ++m_at;
            while (digitAt(m_at)) ++m_at;
        } else if (m_at < m_text.size() && m_text[m_at] == '.' && m_at > start) {
            ++m_at;  // "5." is five
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            std::size_t exponent = m_at + 1;
            if (exponent < m_text.size() && (m_text[exponent] == '+' || m_text[exponent] == '-'))
                ++exponent;
            if (digitAt(exponent)) {
                m_at = exponent;
                while (digitAt(m_at)) ++m_at;
            }
        }
        const std::string text(m_text.substr(start, m_at - start));
        m_current = {Kind::kNumber, text, std::strtod(text.c_str(), nullptr)};
        return;
    }
    if (c == '\'' || c == '"') {
        std::string value;
        ++m_at;
        while (true) {
            if (m_at >= m_text.size()) {
                m_current = {Kind::kBad, std::string(m_text.substr(start)), 0};
                return;
            }
            if (m_text[m_at] == c) {
                if (m_at + 1 < m_text.size() && m_text[m_at + 1] == c) {
                    value += c;
                    m_at += 2;
                    continue;
                }
                ++m_at;
                break;
            }
            value += m_text[m_at++];
        }
        m_current = {Kind::kString, std::move(value), 0};
        return;
    }
    static constexpr std::string_view kTwoCharacter[] = {"**", "<=", ">=", "<>", "~="};
    for (std::string_view symbol : kTwoCharacter) {
        if (m_text.substr(m_at, 2) == symbol) {
            m_at += 2;
            m_current = {Kind::kSymbol, std::string(symbol), 0};
            return;
        }
    }
    static constexpr std::string_view kOneCharacter = "=/(),+-*<>~&|";
    ++m_at;
    if (kOneCharacter.find(c) != std::string_view::npos) {
        m_current = {Kind::kSymbol, std::string(1, c), 0};
    } else {
        m_current = {Kind::kBad, std::string(1, c), 0};
    }
}

}  // namespace engine
