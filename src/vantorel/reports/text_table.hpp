#pragma once
// Terminal text: display widths in columns, texts made safe for a terminal, ANSI colours, and a
// borderless table renderer with horizontal rules.
//
//   TextTable table({{Align::Left, 0}, {Align::Right, 3}});
//   table.set_header({"Operation", "Params"});
//   table.add_row({"GET /pets", "2"});
//   table.add_rule_before(1);  // a rule between the header and the first row
//   std::string text = table.render();
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::reports {

// Columns one character occupies: printable ASCII 1; controls (below U+0020, U+007F to U+009F)
// 0; otherwise by East Asian width (wide and fullwidth 2, combining and other zero-width marks
// 0, the rest 1).
std::size_t char_display_width(char32_t c) noexcept;

// Columns a UTF-8 text occupies. ANSI escape sequences (ESC "[" ... final byte) count zero; a
// byte that is not part of valid UTF-8 counts as one column (it shows as a replacement mark).
std::size_t display_width(std::string_view text) noexcept;

// The text with every control character written out as visible escapes ("\x1b", "\x0a",
// "\u009b"), directional formatting characters likewise ("\u202e"), and every byte of invalid
// UTF-8 as U+FFFD, so that nothing taken from a document or from traffic can move the cursor,
// recolour or retitle the terminal, or reorder what a line shows.
std::string terminal_safe(std::string_view text);

// "\x1b[{code}m{text}\x1b[0m"; code 0 gives the text alone.
std::string paint_text(std::string_view text, std::uint8_t colour);

// ANSI foreground codes of coverage figures.
inline constexpr std::uint8_t kGreen = 32;
inline constexpr std::uint8_t kYellow = 33;
inline constexpr std::uint8_t kRed = 31;

// The longest prefix, and the longest suffix, of a text that fits in `columns`, cut only at
// character boundaries.
std::string_view prefix_within(std::string_view text, std::size_t columns) noexcept;
std::string_view suffix_within(std::string_view text, std::size_t columns) noexcept;

// An operation label fitted to `columns` (at least 4): a head, "..." and the tail that starts at
// the leftmost "/" from which the rest fits beside the method, else the last half.
std::string shorten_operation_label(std::string_view label, std::size_t columns);

// The text padded with blanks on the right (or left) to `columns`; a wider text is unchanged.
std::string pad_right(std::string_view text, std::size_t columns);
std::string pad_left(std::string_view text, std::size_t columns);

enum class Align : std::uint8_t { Left, Right };

struct TableColumn {
    Align align = Align::Left;
    std::size_t left_padding = 0;
};

// Cells are single-line texts (callers pass terminal-safe texts, possibly painted). Each column
// is as wide as its widest cell plus its left padding; no borders, no vertical separators; rules
// of "-" span the whole width.
class TextTable {
public:
    explicit TextTable(std::vector<TableColumn> columns);

    void set_header(std::vector<std::string> cells);
    void add_row(std::vector<std::string> cells);
    // A rule drawn before the row with this index (0 is the first row after the header; the row
    // count draws it at the end). Asking twice for one place draws one rule.
    void add_rule_before(std::size_t row);

    std::size_t column_width(std::size_t column) const;  // padding included
    std::size_t width() const;
    // The lines joined by "\n", no newline after the last.
    std::string render() const;

    std::vector<std::string>& row_cells(std::size_t row) { return rows_[row]; }
    std::vector<std::string>& header_cells() { return header_; }
    std::size_t row_count() const noexcept { return rows_.size(); }

private:
    void render_line(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths,
                     std::string& out) const;

    std::vector<TableColumn> columns_;
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<std::size_t> rules_;
};

}  // namespace vantorel::reports
