#include "vantorel/reports/text_table.hpp"

#include <unicode/uchar.h>

#include <algorithm>

#include "deririrore/value/utf8.hpp"

namespace vantorel::reports {
namespace {

using deririrore::value::read_utf8_sequence;

bool is_control(char32_t c) noexcept { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

// Directional formatting characters reorder what follows them on screen, so a name holding one
// could make a report line read as something it is not.
bool is_bidi_control(char32_t c) noexcept {
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the ANSI CSI sequence at text[i] (ESC "[", parameter and intermediate bytes, one
// final byte), or 0 when none starts there.
std::size_t csi_length(std::string_view text, std::size_t i) noexcept {
    if (i + 1 >= text.size() || text[i] != '\x1b' || text[i + 1] != '[') return 0;
    std::size_t j = i + 2;
    while (j < text.size() && static_cast<unsigned char>(text[j]) >= 0x30 &&
           static_cast<unsigned char>(text[j]) <= 0x3f)
        ++j;
    while (j < text.size() && static_cast<unsigned char>(text[j]) >= 0x20 &&
           static_cast<unsigned char>(text[j]) <= 0x2f)
        ++j;
    if (j < text.size() && static_cast<unsigned char>(text[j]) >= 0x40 && static_cast<unsigned char>(text[j]) <= 0x7e)
        return j + 1 - i;
    return 0;
}

struct Step {
    std::size_t length;  // bytes
    std::size_t width;   // columns
};

Step step_at(std::string_view text, std::size_t i) noexcept {
    if (const std::size_t csi = csi_length(text, i)) return {csi, 0};
    char32_t c = 0;
    const std::size_t length = deririrore::value::decode_utf8_sequence(text, i, c);
    if (length == 0) return {read_utf8_sequence(text, i).length, 1};
    return {length, char_display_width(c)};
}

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

std::size_t char_display_width(char32_t c) noexcept {
    if (c >= 0x20 && c < 0x7f) return 1;
    if (is_control(c)) return 0;
    const auto uc = static_cast<UChar32>(c);
    const auto category = static_cast<UCharCategory>(u_charType(uc));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK) return 0;
    if (u_hasBinaryProperty(uc, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) return 0;
    if (c >= 0x1160 && c <= 0x11ff) return 0;  // Hangul medial vowels and final consonants join the syllable
    const auto east_asian = u_getIntPropertyValue(uc, UCHAR_EAST_ASIAN_WIDTH);
    if (east_asian == U_EA_WIDE || east_asian == U_EA_FULLWIDTH) return 2;
    return 1;
}

std::size_t display_width(std::string_view text) noexcept {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Step step = step_at(text, i);
        width += step.width;
        i += step.length;
    }
    return width;
}

std::string terminal_safe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = deririrore::value::decode_utf8_sequence(text, i, c);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            i += read_utf8_sequence(text, i).length;
            continue;
        }
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        } else if ((c >= 0x80 && c <= 0x9f) || is_bidi_control(c)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xf];
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string paint_text(std::string_view text, std::uint8_t colour) {
    if (colour == 0) return std::string(text);
    std::string out = "\x1b[";
    out += std::to_string(colour);
    out += 'm';
    out.append(text);
    out += "\x1b[0m";
    return out;
}

std::string_view prefix_within(std::string_view text, std::size_t columns) noexcept {
    std::size_t width = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const Step step = step_at(text, i);
        if (width + step.width > columns) break;
        width += step.width;
        i += step.length;
    }
    return text.substr(0, i);
}

std::string_view suffix_within(std::string_view text, std::size_t columns) noexcept {
    // Character boundaries are found forwards (UTF-8 and escape sequences read left to right),
    // then the suffix is grown from the end.
    std::vector<Step> steps;
    for (std::size_t i = 0; i < text.size();) {
        const Step step = step_at(text, i);
        steps.push_back(step);
        i += step.length;
    }
    std::size_t width = 0;
    std::size_t start = text.size();
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        if (width + it->width > columns) break;
        width += it->width;
        start -= it->length;
    }
    return text.substr(start);
}

std::string shorten_operation_label(std::string_view label, std::size_t columns) {
    const std::size_t room = columns > 3 ? columns - 3 : 0;
    std::size_t path_room = room;
    if (const std::size_t blank = label.find(' '); blank != std::string_view::npos) {
        path_room = room > blank + 1 ? room - (blank + 1) : 0;
    }
    // The leftmost "/" from which the rest fits in path_room.
    std::string_view tail;
    bool found = false;
    std::size_t rest = display_width(label);
    for (std::size_t i = 0; i < label.size();) {
        char32_t c = 0;
        std::size_t length = deririrore::value::decode_utf8_sequence(label, i, c);
        std::size_t width = 1;
        if (length == 0) {
            length = deririrore::value::read_utf8_sequence(label, i).length;
        } else {
            width = char_display_width(c);
        }
        if (c == '/' && rest <= path_room) {
            tail = label.substr(i);
            found = true;
            break;
        }
        rest -= std::min(rest, width);
        i += length;
    }
    if (!found) tail = suffix_within(label, (room + 1) / 2);
    const std::size_t tail_width = display_width(tail);
    const std::string_view head = prefix_within(label, room > tail_width ? room - tail_width : 0);
    std::string out(head);
    out += "...";
    out += tail;
    return out;
}

std::string pad_right(std::string_view text, std::size_t columns) {
    std::string out(text);
    const std::size_t width = display_width(text);
    if (width < columns) out.append(columns - width, ' ');
    return out;
}

std::string pad_left(std::string_view text, std::size_t columns) {
    const std::size_t width = display_width(text);
    std::string out;
    if (width < columns) out.append(columns - width, ' ');
    out.append(text);
    return out;
}

TextTable::TextTable(std::vector<TableColumn> columns) : columns_(std::move(columns)) {}

void TextTable::set_header(std::vector<std::string> cells) { header_ = std::move(cells); }

void TextTable::add_row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

void TextTable::add_rule_before(std::size_t row) {
    if (std::find(rules_.begin(), rules_.end(), row) == rules_.end()) rules_.push_back(row);
}

std::size_t TextTable::column_width(std::size_t column) const {
    std::size_t widest = 0;
    if (column < header_.size()) widest = display_width(header_[column]);
    for (const auto& row : rows_) {
        if (column < row.size()) widest = std::max(widest, display_width(row[column]));
    }
    return widest + columns_[column].left_padding;
}

std::size_t TextTable::width() const {
    std::size_t total = 0;
    for (std::size_t c = 0; c < columns_.size(); ++c) total += column_width(c);
    return total;
}

void TextTable::render_line(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths,
                            std::string& out) const {
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const std::string_view cell = c < cells.size() ? std::string_view(cells[c]) : std::string_view();
        const std::size_t room = widths[c] - columns_[c].left_padding;
        out.append(columns_[c].left_padding, ' ');
        if (columns_[c].align == Align::Left) {
            out += pad_right(cell, room);
        } else {
            out += pad_left(cell, room);
        }
    }
}

std::string TextTable::render() const {
    std::vector<std::size_t> widths(columns_.size());
    std::size_t total = 0;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        widths[c] = column_width(c);
        total += widths[c];
    }
    std::vector<bool> rule_before(rows_.size() + 1, false);
    for (std::size_t r : rules_) {
        if (r <= rows_.size()) rule_before[r] = true;
    }
    std::string out;
    render_line(header_, widths, out);
    for (std::size_t r = 0; r <= rows_.size(); ++r) {
        if (rule_before[r]) {
            out += '\n';
            out.append(total, '-');
        }
        if (r == rows_.size()) break;
        out += '\n';
        render_line(rows_[r], widths, out);
    }
    return out;
}

}  // namespace vantorel::reports
