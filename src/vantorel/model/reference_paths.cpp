#include "vantorel/model/reference_paths.hpp"

#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/percent.hpp"

namespace vantorel::model {

using deririrore::referencing::Utf8Error;

namespace {

bool is_ascii_letter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The last component of a normalised result, empty when it has none (empty, or only the root).
std::string_view last_component(const std::string& result) noexcept {
    if (result.empty() || result == "/") return {};
    const auto slash = result.rfind('/');
    return slash == std::string::npos ? std::string_view(result) : std::string_view(result).substr(slash + 1);
}

void append_component(std::string& result, std::string_view name) {
    if (!result.empty() && result.back() != '/') result += '/';
    result += name;
}

}  // namespace

bool has_uri_scheme(std::string_view text) noexcept {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    if (!is_ascii_letter(text[0])) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string normalize_reference_path(std::string_view path) {
    std::string result;
    std::size_t pos = 0;
    if (!path.empty() && path.front() == '/') {
        // Not `result = "/"`: GCC 12 warns about that assignment (a false -Wrestrict) under the sanitizers.
        result.push_back('/');
        pos = 1;
    }
    while (pos <= path.size()) {
        auto slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        const auto component = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            const auto last = last_component(result);
            if (!last.empty() && last != "..") {
                result.resize(result.size() - last.size());
                // Drop the separator before the removed name, unless it is the root itself.
                if (result.size() > 1 && result.back() == '/') result.pop_back();
                continue;
            }
        }
        append_component(result, component);
    }
    return result;
}

std::string parent_directory(std::string_view path) {
    const bool rooted = !path.empty() && path.front() == '/';
    std::vector<std::string_view> components;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        auto slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        const auto component = path.substr(pos, slash - pos);
        pos = slash + 1;
        // A leading "." names the current directory and stays; elsewhere "." is no component.
        if (component.empty() || (component == "." && !(components.empty() && !rooted && slash == 1))) continue;
        components.push_back(component);
    }
    if (components.empty() || (components.size() == 1 && components[0] == ".")) return "";
    components.pop_back();
    std::string out = rooted ? "/" : "";
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) out += '/';
        out += components[i];
    }
    return out;
}

std::string join_reference_path(std::string_view base, std::string_view path) {
    if (path.empty()) return std::string(base);
    if (path.front() == '/' || base.empty()) return std::string(path);
    std::string out(base);
    if (out.back() != '/') out += '/';
    out += path;
    return out;
}

std::optional<Utf8Error> check_utf8(std::string_view s) noexcept { return deririrore::referencing::check_utf8(s); }

deririrore::Result<std::string, Utf8Error> percent_decode_utf8(std::string_view text) {
    std::string out = deririrore::value::percent_decode(text);
    if (auto bad = check_utf8(out)) return deririrore::make_unexpected(*bad);
    return out;
}

std::string pointer_from_steps(std::span<const PathStep> steps, std::size_t n) {
    if (n >= steps.size()) throw deririrore::InternalError("path step index beyond the step list");
    std::vector<std::size_t> chain;
    std::size_t current = n;
    while (!std::holds_alternative<path_steps::Root>(steps[current])) {
        chain.push_back(current);
        const std::size_t parent = std::holds_alternative<path_steps::Member>(steps[current])
                                       ? std::get<path_steps::Member>(steps[current]).parent
                                       : std::get<path_steps::Item>(steps[current]).parent;
        // A parent must come before its step; this also rules out cycles.
        if (parent >= current) throw deririrore::InternalError("path step parent beyond the step list");
        current = parent;
    }
    std::string pointer = std::get<path_steps::Root>(steps[current]).prefix;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        pointer += '/';
        if (const auto* member = std::get_if<path_steps::Member>(&steps[*it])) {
            deririrore::referencing::push_pointer_segment(pointer, member->key);
        } else {
            pointer += std::to_string(std::get<path_steps::Item>(steps[*it]).index);
        }
    }
    return pointer;
}

}  // namespace vantorel::model
