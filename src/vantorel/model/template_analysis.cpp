#include "vantorel/model/template_analysis.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorel::model {

namespace {

struct EnumeratedParameter {
    std::string name;
    std::vector<std::string> values;  // longest first
};

void replace_all(std::string& text, std::string_view what, std::string_view with) {
    std::size_t pos = 0;
    while ((pos = text.find(what, pos)) != std::string::npos) {
        text.replace(pos, what.size(), with);
        pos += with.size();
    }
}

// The texts of an `enum` of strings, longest first (stable among equal lengths), or nothing.
std::optional<std::vector<std::string>> enumerated_texts(const ParameterTarget& target) {
    if (!target.schema || !target.schema->is_object()) return std::nullopt;
    const Value* values = target.schema->find("enum");
    if (values == nullptr || !values->is_array() || values->as_array().empty()) return std::nullopt;
    const auto& items = values->as_array();
    if (!items.front().is_string()) return std::nullopt;
    std::vector<std::string> out;
    out.reserve(items.size());
    for (const Value& item : items) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(item.as_string());
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return out;
}

std::optional<std::vector<PathSegment>> parse_without_trailing_slash(std::string_view text) {
    if (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
    return parse_path_template(text);
}

// The template with each run of back-to-back parameters that holds exactly one enumerated
// parameter (and at least two parameters) written as that parameter alone.
std::string reduced_template(std::string_view text, const std::vector<EnumeratedParameter>& enumerated) {
    auto is_enumerated = [&](std::string_view name) {
        return std::any_of(enumerated.begin(), enumerated.end(), [&](const auto& e) { return e.name == name; });
    };
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '{') {
            out.push_back(text[i++]);
            continue;
        }
        // A group: "{name}" tokens back to back.
        const std::size_t group_start = i;
        std::size_t count = 0;
        std::size_t found = 0;
        std::string_view only;
        while (i < text.size() && text[i] == '{') {
            const std::size_t close = text.find('}', i + 1);
            if (close == std::string_view::npos) break;
            const std::string_view name = text.substr(i + 1, close - i - 1);
            ++count;
            if (is_enumerated(name)) {
                ++found;
                only = name;
            }
            i = close + 1;
        }
        if (i == group_start) {  // an unclosed "{": copied as text
            out.append(text.substr(i));
            break;
        }
        if (count >= 2 && found == 1) {
            out.push_back('{');
            out.append(only);
            out.push_back('}');
        } else {
            out.append(text.substr(group_start, i - group_start));
        }
    }
    return out;
}

// The entries replacing template `t`, or nothing when it stays as it is.
std::optional<std::vector<SegmentTemplate>> expand_template(const std::string& t, const MethodMap& methods) {
    std::string working = t;
    std::vector<EnumeratedParameter> enumerated;
    for (const auto& entry : methods) {
        for (const ParameterTarget& target : entry.record.parameters) {
            if (target.location != ParameterLocation::Path) continue;
            auto values = enumerated_texts(target);
            if (!values) continue;
            const std::string placeholder = "{" + target.name + "}";
            if (working.find(placeholder) == std::string::npos) continue;
            replace_all(working, placeholder, values->front());
            enumerated.push_back({target.name, std::move(*values)});
        }
    }
    if (enumerated.empty() || working.find("}{") != std::string::npos) return std::nullopt;
    std::size_t product = 1;
    for (const auto& e : enumerated) {
        product *= e.values.size();
        if (product > kMaxTemplateExpansions) return std::nullopt;
    }

    struct Combination {
        std::string text;
        std::vector<std::pair<std::string, std::string>> fixed;
    };
    std::vector<Combination> combinations{{t, {}}};
    for (const auto& e : enumerated) {
        const std::string placeholder = "{" + e.name + "}";
        std::vector<Combination> next;
        next.reserve(combinations.size() * e.values.size());
        for (const Combination& c : combinations) {
            for (const std::string& value : e.values) {
                Combination n = c;
                replace_all(n.text, placeholder, value);
                n.fixed.emplace_back(e.name, value);
                next.push_back(std::move(n));
            }
        }
        combinations = std::move(next);
    }

    std::vector<SegmentTemplate> out;
    out.reserve(combinations.size() + 1);
    for (Combination& c : combinations) {
        auto segments = parse_without_trailing_slash(c.text);
        if (!segments) return std::nullopt;
        out.push_back(SegmentTemplate{std::move(*segments), std::move(c.fixed), t});
    }
    auto reduced = parse_without_trailing_slash(reduced_template(t, enumerated));
    if (!reduced) return std::nullopt;
    out.push_back(SegmentTemplate{std::move(*reduced), {}, t});
    return out;
}

}  // namespace

void analyse_path_templates(RouteIndex& index) {
    std::vector<std::string> work;
    for (const SegmentTemplate& s : index.segment_templates) {
        if (s.template_text.find("}{") != std::string::npos) work.push_back(s.template_text);
    }
    if (work.empty()) return;
    TextMap<std::vector<SegmentTemplate>> expansions;
    for (const std::string& t : work) {
        if (expansions.contains(t)) continue;
        const MethodMap* methods = index.paths.find(t);
        if (methods == nullptr) continue;
        if (auto expansion = expand_template(t, *methods)) expansions.emplace(t, std::move(*expansion));
    }
    if (expansions.empty()) return;
    // One pass, so that many expanded templates do not move the list once each.
    std::vector<SegmentTemplate> rewritten;
    rewritten.reserve(index.segment_templates.size());
    for (SegmentTemplate& s : index.segment_templates) {
        auto it = expansions.find(s.template_text);
        if (it == expansions.end()) {
            rewritten.push_back(std::move(s));
            continue;
        }
        for (SegmentTemplate& e : it->second) rewritten.push_back(std::move(e));
        expansions.erase(it);  // only the first entry of the template is replaced
    }
    index.segment_templates = std::move(rewritten);
}

}  // namespace vantorel::model
