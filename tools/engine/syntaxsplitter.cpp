#include "syntaxsplitter.h"

#include <cctype>
#include <utility>

#include "commandtext.h"
#include "runtime/stringutil.h"

namespace engine {
namespace {

// One line with its comments dropped; `inComment` carries a "/*" comment
// from line to line. A quote ends at the end of its line at the latest.
struct ScannedLine {
    std::string text;
    // The line, outside a quote, ends with a full stop.
    bool terminated = false;
};

ScannedLine ScanLine(std::string_view line, bool& inComment) {
    ScannedLine scanned;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const bool starts = i + 1 < line.size();
        if (inComment) {
            if (c == '*' && starts && line[i + 1] == '/') {
                inComment = false;
                ++i;
            }
            continue;
        }
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '/' && starts && line[i + 1] == '*') {
            inComment = true;
            ++i;
            scanned.text += ' ';
            continue;
        }
        scanned.text += c;
    }
    const std::string_view kept = TrimEnd(scanned.text);
    scanned.terminated = quote == 0 && !kept.empty() && kept.back() == '.';
    return scanned;
}

bool IsCommentCommand(std::string_view body) {
    if (!body.empty() && body.front() == '*') return true;
    std::size_t end = 0;
    while (end < body.size() && std::isalpha(static_cast<unsigned char>(body[end]))) ++end;
    return textutil::UpperString(body.substr(0, end)) == "COMMENT";
}

class Splitter {
  public:
    explicit Splitter(BlockLines blocks) : m_blocks(blocks) {}

    void Line(std::string_view line, int number) {
        if (m_block) {
            if (IsBlockEndLine(line)) {
                m_result.pieces.push_back(
                    {{m_blockText + std::string(line), "", m_blockLine, true}, std::move(m_block)});
                m_block.reset();
            } else {
                m_block->lines.emplace_back(line);
                m_blockText.append(line).append("\n");
            }
            return;
        }
        if (!m_open && !m_inComment && m_blocks == BlockLines::kRecognised) {
            if (auto language = BlockBeginLanguage(line)) {
                m_block = ProgramBlock{*language, {}};
                m_blockLine = number;
                m_blockText = std::string(line) + "\n";
                return;
            }
        }
        const bool wasInComment = m_inComment;
        if (!wasInComment && Trim(line).empty()) {
            if (m_open) Finish(true);
            return;
        }
        ScannedLine scanned = ScanLine(line, m_inComment);
        if (!m_open) {
            if (Trim(scanned.text).empty()) return;
            m_open = true;
            m_command = SyntaxCommand{};
            m_command.line = number;
        } else {
            m_command.text += '\n';
            m_command.body += '\n';
        }
        m_command.text += line;
        m_command.body += scanned.text;
        if (scanned.terminated) Finish(true);
    }

    SplitSyntax End() {
        if (m_open) Finish(false);
        if (m_block) m_result.unendedBlockLine = m_blockLine;
        m_result.openComment = m_inComment;
        return std::move(m_result);
    }

  private:
    void Finish(bool closed) {
        m_open = false;
        std::string_view body = TrimEnd(m_command.body);
        if (closed && !body.empty() && body.back() == '.') body.remove_suffix(1);
        body = Trim(body);
        if (body.empty() || IsCommentCommand(body)) return;
        m_command.body = std::string(body);
        m_command.closed = closed;
        m_result.pieces.push_back({std::move(m_command), std::nullopt});
    }

    BlockLines m_blocks;
    SplitSyntax m_result;
    bool m_inComment = false;
    bool m_open = false;
    SyntaxCommand m_command;
    std::optional<ProgramBlock> m_block;
    int m_blockLine = 0;
    std::string m_blockText;
};

}  // namespace

SplitSyntax SplitCommands(std::string_view text, BlockLines blocks) {
    Splitter splitter(blocks);
    int number = 0;
    while (true) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        splitter.Line(line, number);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return splitter.End();
}

}  // namespace engine
