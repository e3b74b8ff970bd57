#include "vantorel/model/base_paths.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"
#include "http/url.hpp"

namespace vantorel::model {
namespace {

bool starts_with_http_scheme(std::string_view text) noexcept {
    auto lower_prefix = [&](std::string_view prefix) {
        if (text.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return lower_prefix("http:") || lower_prefix("https:");
}

// Fills "{name}" placeholders; "{{" and "}}" stand for braces. None when a placeholder names no
// collected variable or a brace is unmatched.
std::optional<std::string> fill_template(std::string_view url,
                                         const std::vector<std::pair<std::string_view, std::string_view>>& values) {
    std::string out;
    out.reserve(url.size());
    for (std::size_t i = 0; i < url.size();) {
        const char c = url[i];
        if (c == '{') {
            if (i + 1 < url.size() && url[i + 1] == '{') {
                out.push_back('{');
                i += 2;
                continue;
            }
            const auto close = url.find('}', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            std::string_view name = url.substr(i + 1, close - i - 1);
            if (const auto colon = name.find(':'); colon != std::string_view::npos) name = name.substr(0, colon);
            const auto found =
                std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
            if (found == values.end()) return std::nullopt;
            out.append(found->second);
            i = close + 1;
        } else if (c == '}') {
            if (i + 1 < url.size() && url[i + 1] == '}') {
                out.push_back('}');
                i += 2;
                continue;
            }
            return std::nullopt;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

struct ServerSource {
    const Value* server;
    std::optional<std::string_view> path_key;
    std::string pointer;
};

std::string escape_pointer_token(std::string_view token) {
    std::string out;
    for (char c : token) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out.push_back(c);
    }
    return out;
}

void gather_servers(const Value& holder, std::optional<std::string_view> key, const std::string& pointer,
                    std::vector<ServerSource>& out) {
    const Value* servers = holder.find("servers");
    if (servers == nullptr || !servers->is_array()) return;
    std::size_t i = 0;
    for (const Value& server : servers->as_array())
        out.push_back({&server, key, pointer + "/servers/" + std::to_string(i++)});
}

}  // namespace

std::optional<std::string> decode_non_ascii_escapes(std::string_view text) {
    auto high_escape_at = [&](std::size_t i) {
        if (text[i] != '%' || i + 2 >= text.size()) return -1;
        const int hi = deririrore::value::hex_digit_value(text[i + 1]);
        const int lo = deririrore::value::hex_digit_value(text[i + 2]);
        if (hi < 0 || lo < 0) return -1;
        const int byte = hi * 16 + lo;
        return byte >= 0x80 ? byte : -1;
    };
    bool any = false;
    for (std::size_t i = 0; i < text.size() && !any; ++i) any = high_escape_at(i) >= 0;
    if (!any) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const int byte = high_escape_at(i);
        if (byte >= 0) {
            out.push_back(static_cast<char>(byte));
            i += 3;
        } else {
            out.push_back(text[i++]);
        }
    }
    if (!deririrore::value::is_valid_utf8(out)) return std::nullopt;
    return out;
}

std::optional<std::string> derive_base_path(std::string_view text) {
    if (text.empty()) return std::nullopt;
    if (text.starts_with("//")) {
        const auto slash = text.find('/', 2);
        if (slash == std::string_view::npos) return std::nullopt;
        return std::string(text.substr(slash));
    }
    if (text.front() == '/') return std::string(text);
    if (starts_with_http_scheme(text)) {
        if (auto url = http::parse_url(text); url.has_value()) {
            const std::string_view path = url.value().path();
            if (path.empty()) return std::string("/");
            if (auto decoded = decode_non_ascii_escapes(path)) return decoded;
            return std::string(path);
        }
    }
    std::string_view rest = text;
    bool stripped = false;
    while (rest.size() >= 2) {
        if (rest.starts_with("./")) {
            rest.remove_prefix(2);
        } else if (rest.starts_with("../")) {
            rest.remove_prefix(3);
        } else {
            break;
        }
        stripped = true;
    }
    if (stripped) return "/" + std::string(rest);
    const auto slash = text.find('/');
    const std::string_view first = text.substr(0, slash);
    const bool names_host = first.find_first_of(".:") != std::string_view::npos || first == "localhost";
    if (names_host) {
        if (slash == std::string_view::npos) return std::nullopt;
        return std::string(text.substr(slash));
    }
    return "/" + std::string(text);
}

std::optional<std::string> normalise_base_path(std::string_view text) {
    auto derived = derive_base_path(text);
    if (!derived) return std::nullopt;
    while (!derived->empty() && derived->back() == '/') derived->pop_back();
    return derived;
}

std::vector<std::string> resolve_server_urls(const Value& server) {
    std::vector<std::string> urls;
    if (!server.is_object()) return urls;
    const Value* url = server.find("url");
    if (url == nullptr || !url->is_string()) return urls;

    struct Variable {
        std::string_view name;
        std::vector<std::string_view> values;
    };
    std::vector<Variable> variables;
    if (const Value* defined = server.find("variables"); defined != nullptr && defined->is_object()) {
        for (const auto& member : defined->as_object()) {
            if (!member.value.is_object()) continue;
            Variable variable{member.key, {}};
            if (const Value* d = member.value.find("default"); d != nullptr && d->is_string())
                variable.values.push_back(d->as_string());
            if (const Value* e = member.value.find("enum"); e != nullptr && e->is_array()) {
                for (const Value& item : e->as_array()) {
                    if (!item.is_string()) continue;
                    const std::string_view text = item.as_string();
                    if (std::find(variable.values.begin(), variable.values.end(), text) == variable.values.end())
                        variable.values.push_back(text);
                }
            }
            if (!variable.values.empty()) variables.push_back(std::move(variable));
        }
    }

    std::vector<std::size_t> indexes(variables.size(), 0);
    std::vector<std::pair<std::string_view, std::string_view>> values(variables.size());
    for (std::size_t combination = 0; combination < kMaxServerUrlCombinations; ++combination) {
        for (std::size_t v = 0; v < variables.size(); ++v)
            values[v] = {variables[v].name, variables[v].values[indexes[v]]};
        if (auto filled = fill_template(url->as_string(), values)) urls.push_back(std::move(*filled));
        std::size_t v = 0;
        for (; v < variables.size(); ++v) {
            if (++indexes[v] < variables[v].values.size()) break;
            indexes[v] = 0;
        }
        if (v == variables.size()) break;
    }
    return urls;
}

std::vector<ServerBase> collect_server_bases(const Value& document, const std::optional<std::string>& primary,
                                             std::vector<RefusedServerUrl>* refused) {
    std::vector<ServerSource> sources;
    gather_servers(document, std::nullopt, "", sources);
    if (const Value* paths = document.find("paths"); paths != nullptr && paths->is_object()) {
        for (const auto& [key, item] : paths->as_object()) {
            if (!item.is_object()) continue;
            const std::string item_pointer = "/paths/" + escape_pointer_token(key);
            gather_servers(item, key, item_pointer, sources);
            for (const auto& [name, member] : item.as_object()) {
                if (member.is_object())
                    gather_servers(member, key, item_pointer + "/" + escape_pointer_token(name), sources);
            }
        }
    }

    const std::string_view primary_text = primary ? std::string_view(*primary) : std::string_view();
    std::vector<ServerBase> bases;
    for (const ServerSource& source : sources) {
        for (const std::string& url : resolve_server_urls(*source.server)) {
            if (refused != nullptr && starts_with_http_scheme(url)) {
                if (auto parsed = http::parse_url(url); !parsed.has_value())
                    refused->push_back({url, source.pointer, http::url_error_text(parsed.error())});
            }
            std::string base = derive_base_path(url).value_or(std::string());
            while (!base.empty() && base.back() == '/') base.pop_back();
            if (base == primary_text) continue;
            auto found = std::find_if(bases.begin(), bases.end(), [&](const ServerBase& b) { return b.base == base; });
            if (found == bases.end()) {
                ServerBase added{std::move(base), std::nullopt};
                if (source.path_key) added.path_keys.emplace().emplace_back(*source.path_key);
                bases.push_back(std::move(added));
            } else if (!source.path_key || !found->path_keys) {
                found->path_keys.reset();
            } else if (std::find(found->path_keys->begin(), found->path_keys->end(), *source.path_key) ==
                       found->path_keys->end()) {
                found->path_keys->emplace_back(*source.path_key);
            }
        }
    }
    std::stable_sort(bases.begin(), bases.end(), [](const ServerBase& a, const ServerBase& b) {
        if (a.base.size() != b.base.size()) return a.base.size() > b.base.size();
        return a.base < b.base;
    });
    return bases;
}

}  // namespace vantorel::model
