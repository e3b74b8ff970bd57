#pragma once
// Text helpers of the HTML report: escaping for element content and for double-quoted attribute
// values, code spans in diagnostic sentences, path templates with their variables marked, and
// the ids that operations and groups are linked by.
//
//   escape_html_text(out, title);                  // <h1>...</h1>
//   escape_html_attribute(out, path);              // title="..."
//   std::string id = unique_id(operation_anchor_id(HttpMethod::Get, "/users/{id}"), taken);
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "http/method.hpp"

namespace vantorel::reports {

// "&", "<", ">" and U+00A0 as entities; quotes unchanged.
void escape_html_text(std::string& out, std::string_view text);
// The double quote, "&", "<" and ">" as entities; the single quote and U+00A0 unchanged.
void escape_html_attribute(std::string& out, std::string_view text);
// Text in which each pair of backticks encloses a <code> span; an unpaired backtick and the rest
// are written as escaped text.
void write_inline_code(std::string& out, std::string_view text);
// A path template, each "{...}" segment in <span class="var">; an unclosed "{" stays plain.
void write_path_html(std::string& out, std::string_view path);

// "op-" + the method's lower-case name + "-" + the path, every character that is no letter or
// digit (Unicode) a hyphen and the rest in full lower case: GET /users/{id} is op-get--users--id-.
std::string operation_anchor_id(http::HttpMethod method, std::string_view path);
// A group name made of ASCII digits and lower-case letters is its own slug; otherwise its runs
// of letters and digits, lower-cased, joined by single hyphens; "group" when that leaves nothing.
std::string group_slug(std::string_view name);

using IdSet = std::unordered_set<std::string>;
// The id when `taken` does not hold it, else the id with "-2", "-3", ... appended, the first
// free one; the result is added to `taken`.
std::string unique_id(std::string id, IdSet& taken);

// The shortest decimal text that reads back as the same number (33.333333333333336, 0, 100).
void append_shortest(std::string& out, double value);
void append_shortest(std::string& out, float value);
void append_decimal(std::string& out, std::uint64_t value);

// Each byte below 0x20, 0x7F, 0x80 and above, and each of blank " # % < > ` { } as "%XX", so
// that the text can stand in an address fragment.
std::string percent_encode_fragment(std::string_view text);

}  // namespace vantorel::reports
