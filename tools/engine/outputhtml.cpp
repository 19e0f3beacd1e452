#include "outputhtml.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "outputxml.h"

namespace engine {
namespace {

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
h2 { border-bottom: 1px solid #999; }
table.pivot { border-collapse: collapse; margin: 0.5em 0; }
table.pivot caption { font-weight: bold; text-align: left; padding: 0.3em 0; }
table.pivot th, table.pivot td { border: 1px solid #bbb; padding: 0.2em 0.6em; }
table.pivot th { background: #eef; font-weight: normal; text-align: left; }
table.pivot th.dimension { font-weight: bold; }
table.pivot th[rowspan] { vertical-align: top; }
table.pivot td { text-align: right; }
.outline { color: #555; font-style: italic; margin-bottom: 0; }
.layer, .caption, .notes { font-size: 0.9em; color: #444; }
pre { background: #f6f6f6; padding: 0.4em; }
pre.command { color: #036; }
p.error { color: #a00; font-weight: bold; }
.split { font-weight: bold; }
)";

std::string Escaped(std::string_view text) {
    std::string escaped;
    for (char c : XmlSafeText(text)) {
        switch (c) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// Footnotes of one table, lettered a, b, c ... in the order they are first
// shown; a text shown again, anywhere in the table, keeps its letter.
class FootnoteMarks {
  public:
    std::string Mark(const std::vector<std::string>& footnotes) {
        std::string marks;
        for (const std::string& footnote : footnotes) {
            auto [known, added] = m_index.try_emplace(footnote, m_notes.size());
            if (added) m_notes.push_back(footnote);
            marks += "<sup>" + Letter(known->second) + "</sup>";
        }
        return marks;
    }

    std::string List() const {
        if (m_notes.empty()) return {};
        std::string html = "<div class=\"notes\">";
        for (std::size_t i = 0; i < m_notes.size(); ++i) {
            html += "<div>" + Letter(i) + ". " + Escaped(m_notes[i]) + "</div>";
        }
        return html + "</div>\n";
    }

  private:
    static std::string Letter(std::size_t index) {
        std::string letters;
        do {
            letters.insert(letters.begin(), static_cast<char>('a' + index % 26));
            index /= 26;
        } while (index-- > 0);
        return letters;
    }

    std::vector<std::string> m_notes;
    // A table may carry a note on each of thousands of cells.
    std::unordered_map<std::string, std::size_t> m_index;
};

// The dimensions of one place, and walking every combination of their
// categories (the last dimension varying fastest).
struct Axis {
    std::vector<std::size_t> dimensions;

    std::size_t Combinations(const PivotTable& table) const {
        std::size_t count = 1;
        for (std::size_t d : dimensions) count *= table.dimensions[d].categories.size();
        return count;
    }
    // How many combinations one category of the dimension at `level` covers.
    std::size_t Span(const PivotTable& table, std::size_t level) const {
        std::size_t span = 1;
        for (std::size_t i = level + 1; i < dimensions.size(); ++i) {
            span *= table.dimensions[dimensions[i]].categories.size();
        }
        return span;
    }
    // The category of each of this axis's dimensions in combination `index`.
    void Place(const PivotTable& table, std::size_t index, std::vector<std::size_t>& at) const {
        for (std::size_t level = dimensions.size(); level-- > 0;) {
            std::size_t size = table.dimensions[dimensions[level]].categories.size();
            at[dimensions[level]] = index % size;
            index /= size;
        }
    }
};

std::string SpanAttribute(const char* name, std::size_t span) {
    return span > 1 ? std::string(" ") + name + "=\"" + std::to_string(span) + "\"" : std::string();
}

// One table: the row dimensions' names head the row-label columns, each
// column dimension's name spans the columns it labels, an outer row
// category spans the rows nested in it.
class TableRenderer {
  public:
    explicit TableRenderer(const PivotTable& table) : m_table(table) {
        for (std::size_t d = 0; d < table.dimensions.size(); ++d) {
            m_axes[table.dimensions[d].key.place].dimensions.push_back(d);
        }
        for (const Cell& cell : table.cells) m_cells[cell.at] = &cell;
    }

    std::string Render() {
        std::string html = "<div class=\"table\">\n";
        if (!m_table.key.outline.empty()) {
            html += "<p class=\"outline\">" + Escaped(m_table.key.outline) +
                    m_marks.Mark(m_table.outlineFootnotes) + "</p>\n";
        }
        const Axis& layers = m_axes[static_cast<int>(Place::kLayer)];
        std::size_t layerCount = layers.Combinations(m_table);
        std::vector<std::size_t> at(m_table.dimensions.size(), 0);
        for (std::size_t layer = 0; layer < layerCount; ++layer) {
            layers.Place(m_table, layer, at);
            html += LayerLine(layers, at) + Grid(at);
        }
        if (m_table.caption) {
            html += "<p class=\"caption\">" + Escaped(*m_table.caption) +
                    m_marks.Mark(m_table.captionFootnotes) + "</p>\n";
        }
        return html + m_marks.List() + "</div>\n";
    }

  private:
    const Axis& Rows() const { return m_axes[static_cast<int>(Place::kRow)]; }
    const Axis& Columns() const { return m_axes[static_cast<int>(Place::kColumn)]; }

    std::string LayerLine(const Axis& layers, const std::vector<std::size_t>& at) {
        if (layers.dimensions.empty()) return {};
        std::string line = "<p class=\"layer\">";
        for (std::size_t d : layers.dimensions) {
            line += DimensionName(d) + ": " + CategoryText(d, at[d]) + " ";
        }
        return line + "</p>\n";
    }

    std::string CategoryText(std::size_t d, std::size_t c) {
        const Dimension& dimension = m_table.dimensions[d];
        if (dimension.key.hideLabels) return {};
        const Category& category = dimension.categories[c];
        return Escaped(category.value.text) + m_marks.Mark(category.footnotes);
    }

    std::string DimensionName(std::size_t d) {
        const Dimension& dimension = m_table.dimensions[d];
        if (dimension.key.hideName) return {};
        return Escaped(dimension.key.name) + m_marks.Mark(dimension.footnotes);
    }

    // Two header rows per column dimension (its name, then its categories),
    // one for a dimension whose name is hidden; one row when there is none.
    std::size_t HeaderRows() const {
        std::size_t rows = 0;
        for (std::size_t d : Columns().dimensions)
            rows += m_table.dimensions[d].key.hideName ? 1 : 2;
        return std::max<std::size_t>(rows, 1);
    }

    std::string Corner() {
        std::string rowspan = SpanAttribute("rowspan", HeaderRows());
        if (Rows().dimensions.empty()) return "<th class=\"corner\"" + rowspan + "></th>";
        std::string html;
        for (std::size_t d : Rows().dimensions) {
            html += "<th class=\"dimension\"" + rowspan + ">" + DimensionName(d) + "</th>";
        }
        return html;
    }

    std::string ColumnHeaders() {
        const Axis& columns = Columns();
        std::string html = "<tr>" + Corner();
        if (columns.dimensions.empty()) return html + "<th></th></tr>\n";
        std::size_t columnCount = columns.Combinations(m_table);
        bool rowOpen = true;
        for (std::size_t level = 0; level < columns.dimensions.size(); ++level) {
            std::size_t d = columns.dimensions[level];
            std::size_t span = columns.Span(m_table, level);
            std::size_t size = m_table.dimensions[d].categories.size();
            std::size_t group = span * size;
            if (!m_table.dimensions[d].key.hideName) {
                if (!rowOpen) html += "<tr>";
                for (std::size_t column = 0; column < columnCount; column += group) {
                    html += "<th class=\"dimension\"" + SpanAttribute("colspan", group) + ">" +
                            DimensionName(d) + "</th>";
                }
                html += "</tr>\n";
                rowOpen = false;
            }
            if (!rowOpen) html += "<tr>";
            for (std::size_t column = 0; column < columnCount; column += span) {
                html += "<th" + SpanAttribute("colspan", span) + ">" +
                        CategoryText(d, (column / span) % size) + "</th>";
            }
            html += "</tr>\n";
            rowOpen = false;
        }
        return html;
    }

    std::string Grid(std::vector<std::size_t>& at) {
        const Axis& rows = Rows();
        const Axis& columns = Columns();
        std::string html = "<table class=\"pivot\">";
        if (!m_table.titleHidden) {
            html += "<caption>" + Escaped(m_table.key.title) +
                    m_marks.Mark(m_table.titleFootnotes) + "</caption>";
        }
        html += "\n" + ColumnHeaders();
        std::size_t columnCount = columns.Combinations(m_table);
        std::size_t rowCount = rows.Combinations(m_table);
        for (std::size_t row = 0; row < rowCount; ++row) {
            rows.Place(m_table, row, at);
            html += "<tr>";
            for (std::size_t level = 0; level < rows.dimensions.size(); ++level) {
                std::size_t span = rows.Span(m_table, level);
                if (row % span != 0) continue;
                std::size_t d = rows.dimensions[level];
                html +=
                    "<th" + SpanAttribute("rowspan", span) + ">" + CategoryText(d, at[d]) + "</th>";
            }
            if (rows.dimensions.empty()) html += "<th></th>";
            for (std::size_t column = 0; column < columnCount; ++column) {
                columns.Place(m_table, column, at);
                html += "<td" + WidthStyle() + ">" + CellText(at) + "</td>";
            }
            html += "</tr>\n";
        }
        return html + "</table>\n";
    }

    std::string WidthStyle() const {
        std::string style;
        if (m_table.minColumnWidth)
            style += "min-width:" + std::to_string(*m_table.minColumnWidth) + "ch;";
        if (m_table.maxColumnWidth)
            style += "max-width:" + std::to_string(*m_table.maxColumnWidth) + "ch;";
        return style.empty() ? style : " style=\"" + style + "\"";
    }

    std::string CellText(const std::vector<std::size_t>& at) {
        auto found = m_cells.find(at);
        if (found == m_cells.end()) return {};
        return Escaped(found->second->value.text) + m_marks.Mark(found->second->footnotes);
    }

    const PivotTable& m_table;
    Axis m_axes[3];
    std::map<std::vector<std::size_t>, const Cell*> m_cells;
    FootnoteMarks m_marks;
};

// Builds the page. Each piece of output is preceded by a comment naming its
// kind (<!--piece table-->), so that a reader can take the pieces a run
// added by counting them. A procedure's heading is written with its first
// piece, so one that filed nothing leaves none; consecutive printed lines
// make one preformatted piece.
class HtmlBuilder final : public OutputVisitor {
  public:
    HtmlBuilder() {
        m_html =
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>StartXD "
            "output</title><style>";
        m_html += kStyle;
        m_html += "</style></head>\n<body>\n<h1>Output</h1>\n";
    }

    // Finished procedures of `document` come from and go to `pieces`.
    void ReusePieces(const OutputDocument& document, ProcedurePieces& pieces) {
        m_finished = &document.procedures();
        m_pieces = &pieces;
        m_pieces->resize(m_finished->size());
    }

    std::string Finish() {
        FlushPrinted();
        return m_html + "<!--end-->\n</body></html>\n";
    }

    void LogEntry(const OutputLog::Entry& entry) override {
        if (m_skipping) return;
        if (entry.kind == OutputLog::Kind::kOutput) {
            if (m_printed)
                *m_printed += "\n" + entry.text;
            else
                m_printed = entry.text;
            return;
        }
        switch (entry.kind) {
            case OutputLog::Kind::kOutput:
                break;
            case OutputLog::Kind::kCommand:
                Piece("command", "<pre class=\"command\">" + Escaped(entry.text) + "</pre>\n");
                break;
            case OutputLog::Kind::kLanguage:
                Piece("language", "<p>Output language: " + Escaped(entry.text) + "</p>\n");
                break;
            case OutputLog::Kind::kError:
                Piece("error", "<p class=\"error\">" + Escaped(entry.text) + "</p>\n");
                break;
            case OutputLog::Kind::kGraphic:
                Piece("graphic", "<figure><img src=\"" + Escaped(entry.text) + "\" alt=\"" +
                                     Escaped(entry.text) + "\"><figcaption>" + Escaped(entry.text) +
                                     "</figcaption></figure>\n");
                break;
            case OutputLog::Kind::kLabels:
                Piece("labels", "<p class=\"caption\">" + Escaped(entry.text) + " " +
                                    Escaped(entry.second) + "</p>\n");
                break;
        }
    }

    void BeginProcedure(const Procedure& procedure) override {
        FlushPrinted();
        // A procedure's part of the page starts here and ends with it: lines
        // printed before it are out, and its own are flushed at its end.
        if (const std::optional<std::size_t> index = FinishedIndex(procedure)) {
            if (const std::optional<std::string>& kept = (*m_pieces)[*index]) {
                m_html += *kept;
                m_skipping = true;
                return;
            }
            m_rendering = {*index, m_html.size()};
        }
        m_heading = "<section class=\"procedure\">\n<h2>" + Escaped(procedure.name) + "</h2>\n";
        for (const std::string& footnote : procedure.footnotes) {
            *m_heading += "<p class=\"notes\">" + Escaped(footnote) + "</p>\n";
        }
    }

    void EndProcedure(const Procedure&) override {
        if (std::exchange(m_skipping, false)) return;
        FlushPrinted();
        if (m_heading)
            m_heading.reset();
        else
            m_html += "</section>\n";
        if (m_rendering) {
            (*m_pieces)[m_rendering->first] = m_html.substr(m_rendering->second);
            m_rendering.reset();
        }
    }

    void Table(const PivotTable& table) override {
        if (!m_skipping) Piece("table", TableRenderer(table).Render());
    }

    void Text(const TextBlock& block) override {
        if (m_skipping) return;
        std::string html = "<div class=\"textblock\">";
        if (!block.title.empty()) html += "<h3>" + Escaped(block.title) + "</h3>";
        Piece("text", html + "<pre>" + Escaped(block.text) + "</pre></div>\n");
    }

    void Split(const SplitMark& mark) override {
        if (m_skipping) return;
        Piece("split", "<p class=\"split\">Split group: " + Escaped(mark.name) + "</p>\n");
    }

  private:
    // The position of a finished procedure whose piece is wanted.
    std::optional<std::size_t> FinishedIndex(const Procedure& procedure) const {
        return m_pieces ? FinishedPosition(*m_finished, procedure) : std::nullopt;
    }

    void FlushPrinted() {
        if (!m_printed) return;
        std::string text = std::move(*m_printed);
        m_printed.reset();
        Piece("output", "<pre class=\"printed\">" + Escaped(text) + "</pre>\n");
    }

    void Piece(const char* kind, const std::string& html) {
        if (std::string_view(kind) != "output") FlushPrinted();
        if (m_heading) {
            m_html += "<!--piece heading-->\n" + *m_heading;
            m_heading.reset();
        }
        m_html += "<!--piece " + std::string(kind) + "-->\n" + html;
    }

    std::string m_html;
    // The open procedure's heading, until it files something.
    std::optional<std::string> m_heading;
    // Printed lines not yet written, joined by line ends.
    std::optional<std::string> m_printed;
    const std::vector<Procedure>* m_finished = nullptr;
    ProcedurePieces* m_pieces = nullptr;
    // The finished procedure being rendered and where its part began.
    std::optional<std::pair<std::size_t, std::size_t>> m_rendering;
    // Inside a finished procedure whose part is already rendered.
    bool m_skipping = false;
};

}  // namespace

std::string OutputHtml(const OutputDocument& document, const OutputLog& log) {
    HtmlBuilder builder;
    VisitOutput(document, log, builder);
    return builder.Finish();
}

std::string OutputHtml(const OutputDocument& document, const OutputLog& log,
                       ProcedurePieces& pieces) {
    HtmlBuilder builder;
    builder.ReusePieces(document, pieces);
    VisitOutput(document, log, builder);
    return builder.Finish();
}

}  // namespace engine
