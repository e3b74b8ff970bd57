#include "http/archives.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

#include "deririrore/formats/content.hpp"
#include "http/url.hpp"

namespace http {

namespace {

using deririrore::value::Value;

// The first problem met, with its place; every read after it is skipped by the callers.
class Reader {
public:
    explicit Reader(ArchiveFormat format) : format_(format) {}

    bool fail(std::string place, std::string problem) {
        if (!error_) error_ = ArchiveError{format_, std::move(place), std::move(problem)};
        return false;
    }
    ArchiveError take_error() { return error_ ? std::move(*error_) : ArchiveError{format_, "", "unreadable"}; }

private:
    ArchiveFormat format_;
    std::optional<ArchiveError> error_;
};

std::string join_place(std::string_view place, std::string_view key) {
    if (place.empty()) return std::string(key);
    std::string out(place);
    out += '.';
    out += key;
    return out;
}

std::string index_place(std::string_view place, std::size_t i) {
    std::string out(place);
    out += '[';
    out += std::to_string(i);
    out += ']';
    return out;
}

std::string_view kind_name(const Value& v) noexcept {
    switch (v.kind()) {
        case deririrore::value::ValueKind::Null:
            return "null";
        case deririrore::value::ValueKind::Boolean:
            return "a boolean";
        case deririrore::value::ValueKind::Number:
            return "a number";
        case deririrore::value::ValueKind::String:
            return "a string";
        case deririrore::value::ValueKind::Array:
            return "an array";
        case deririrore::value::ValueKind::Object:
            return "an object";
    }
    return "a value";
}

std::string expected(std::string_view what, const Value& found) {
    return "expected " + std::string(what) + ", found " + std::string(kind_name(found));
}

// The member as an object/array/string; a missing member is none without failing unless required.
const Value* typed_member(Reader& r, const Value& object, std::string_view key, std::string_view place,
                          deririrore::value::ValueKind kind, std::string_view what, bool required, bool& ok) {
    const Value* v = object.find(key);
    if (v == nullptr || (!required && v->is_null())) {
        if (required) ok = r.fail(join_place(place, key), "missing");
        return nullptr;
    }
    if (v->kind() != kind) {
        ok = r.fail(join_place(place, key), expected(what, *v));
        return nullptr;
    }
    return v;
}

const Value* object_member(Reader& r, const Value& o, std::string_view key, std::string_view place, bool required,
                           bool& ok) {
    return typed_member(r, o, key, place, deririrore::value::ValueKind::Object, "an object", required, ok);
}
const Value* array_member(Reader& r, const Value& o, std::string_view key, std::string_view place, bool required,
                          bool& ok) {
    return typed_member(r, o, key, place, deririrore::value::ValueKind::Array, "an array", required, ok);
}
const Value* string_member(Reader& r, const Value& o, std::string_view key, std::string_view place, bool required,
                           bool& ok) {
    return typed_member(r, o, key, place, deririrore::value::ValueKind::String, "a string", required, ok);
}

std::optional<double> number_value(const Value& v) {
    if (!v.is_number()) return std::nullopt;
    const std::string_view text = v.number_text();
    double out = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(out)) return std::nullopt;
    return out;
}

// A status code: an integer number (or, in Postman, digits in a string is not accepted).
bool read_status(Reader& r, const Value& v, std::string_view place, std::int64_t& out) {
    std::int64_t status = -1;
    if (v.is_number()) {
        const std::string_view text = v.number_text();
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), status);
        if (ec != std::errc() || end != text.data() + text.size()) status = -1;
    }
    if (!v.is_number() || status < 0) return r.fail(std::string(place), "expected an integer status code");
    out = status;
    return true;
}

bool check_status(Reader& r, std::int64_t status, std::string_view place) {
    if (status < 100 || status > 999)
        return r.fail(std::string(place), "status " + std::to_string(status) + " is outside 100..999");
    return true;
}

// Repeated fields are combined as one list (RFC 9110), cookies with "; ".
void add_header(HeaderMap& headers, std::string_view name, std::string_view value) {
    if (const std::string* existing = headers.find(name)) {
        std::string combined = *existing;
        combined += fold_header_name(name) == "cookie" ? "; " : ", ";
        combined += value;
        headers.set(std::string(name), std::move(combined));
        return;
    }
    headers.set(std::string(name), std::string(value));
}

bool method_of(Reader& r, std::string_view text, std::string_view place, HttpMethod& out) {
    out = parse_method_name(text);
    if (out == HttpMethod::None) return r.fail(std::string(place), "unknown HTTP method '" + std::string(text) + "'");
    return true;
}

enum class Built { Ok, OtherScheme, Failed };

Built build_request(Reader& r, HttpMethod method, std::string_view url, std::optional<std::string> body,
                    HeaderMap headers, std::string_view place, Interaction& out) {
    auto record = build_request_record(method, url, std::move(body), std::move(headers));
    if (!record) {
        if (record.error() == UrlError::UnsupportedScheme) return Built::OtherScheme;
        r.fail(std::string(place),
               "invalid URL `" + std::string(url) + "`: " + std::string(url_error_text(record.error())));
        return Built::Failed;
    }
    out.request = std::move(*record);
    return Built::Ok;
}

// application/x-www-form-urlencoded bytes of one name or value.
void append_form_encoded(std::string& out, std::string_view text);

// HAR: {"log": {"entries": [{"startedDateTime", "time", "request", "response"}]}}.
bool har_headers(Reader& r, const Value& owner, std::string_view place, HeaderMap& out) {
    bool ok = true;
    const Value* list = array_member(r, owner, "headers", place, false, ok);
    if (!ok) return false;
    if (list == nullptr) return true;
    const std::string list_place = join_place(place, "headers");
    for (std::size_t i = 0; i < list->as_array().size(); ++i) {
        const Value& field = list->as_array()[i];
        const std::string field_place = index_place(list_place, i);
        if (!field.is_object()) return r.fail(field_place, expected("an object", field));
        const Value* name = string_member(r, field, "name", field_place, true, ok);
        const Value* value = ok ? string_member(r, field, "value", field_place, true, ok) : nullptr;
        if (!ok) return false;
        // HTTP/2 pseudo-headers (":authority") are no header fields.
        if (name->as_string().starts_with(':')) continue;
        add_header(out, name->as_string(), value->as_string());
    }
    return true;
}

bool read_har_entry(Reader& r, const Value& entry, std::string_view place, ArchiveExchanges& out) {
    if (!entry.is_object()) return r.fail(std::string(place), expected("an object", entry));
    bool ok = true;
    const Value* request = object_member(r, entry, "request", place, true, ok);
    if (!ok) return false;
    const std::string request_place = join_place(place, "request");
    const Value* method_text = string_member(r, *request, "method", request_place, true, ok);
    const Value* url = ok ? string_member(r, *request, "url", request_place, true, ok) : nullptr;
    if (!ok) return false;
    HttpMethod method = HttpMethod::None;
    if (!method_of(r, method_text->as_string(), join_place(request_place, "method"), method)) return false;
    HeaderMap headers;
    if (!har_headers(r, *request, request_place, headers)) return false;
    std::optional<std::string> body;
    if (const Value* post = object_member(r, *request, "postData", request_place, false, ok)) {
        const std::string post_place = join_place(request_place, "postData");
        if (const Value* text = string_member(r, *post, "text", post_place, false, ok)) {
            body = text->as_string();
        } else if (ok) {
            // Without its text, a form body is given by its fields.
            if (const Value* params = array_member(r, *post, "params", post_place, false, ok)) {
                std::string encoded;
                const std::string params_place = join_place(post_place, "params");
                for (std::size_t i = 0; i < params->as_array().size() && ok; ++i) {
                    const Value& param = params->as_array()[i];
                    const std::string param_place = index_place(params_place, i);
                    if (!param.is_object()) return r.fail(param_place, expected("an object", param));
                    const Value* name = string_member(r, param, "name", param_place, true, ok);
                    const Value* value = ok ? string_member(r, param, "value", param_place, false, ok) : nullptr;
                    if (!ok) break;
                    if (!encoded.empty()) encoded += '&';
                    append_form_encoded(encoded, name->as_string());
                    encoded += '=';
                    if (value != nullptr) append_form_encoded(encoded, value->as_string());
                }
                body = std::move(encoded);
            }
        }
    }
    if (!ok) return false;

    const Value* started = string_member(r, entry, "startedDateTime", place, true, ok);
    if (!ok) return false;
    const auto time = parse_iso8601_time(started->as_string());
    if (!time) return r.fail(join_place(place, "startedDateTime"), "expected an ISO 8601 date and time");
    float elapsed = 0;
    if (const Value* ms = entry.find("time"); ms != nullptr && !ms->is_null()) {
        const auto value = number_value(*ms);
        if (!value) return r.fail(join_place(place, "time"), "expected a number of milliseconds");
        // -1 stands for an unknown time.
        if (*value > 0) elapsed = static_cast<float>(*value / 1000.0);
    }

    Interaction interaction;
    interaction.timestamp = *time;
    switch (build_request(r, method, url->as_string(), std::move(body), std::move(headers),
                          join_place(request_place, "url"), interaction)) {
        case Built::Failed:
            return false;
        case Built::OtherScheme:
            ++out.skipped;
            return true;
        case Built::Ok:
            break;
    }

    const Value* response = object_member(r, entry, "response", place, false, ok);
    if (!ok) return false;
    if (response != nullptr) {
        const std::string response_place = join_place(place, "response");
        const Value* status_value = response->find("status");
        if (status_value == nullptr) return r.fail(join_place(response_place, "status"), "missing");
        std::int64_t status = 0;
        if (!read_status(r, *status_value, join_place(response_place, "status"), status)) return false;
        // Status 0: the browser got no answer (blocked, aborted, failed).
        if (status != 0) {
            if (!check_status(r, status, join_place(response_place, "status"))) return false;
            ResponseRecord record;
            record.status = static_cast<std::uint16_t>(status);
            record.elapsed = elapsed;
            if (!har_headers(r, *response, response_place, record.headers)) return false;
            const std::string content_place = join_place(response_place, "content");
            if (const Value* content = object_member(r, *response, "content", response_place, false, ok)) {
                const Value* text = string_member(r, *content, "text", content_place, false, ok);
                const Value* encoding = ok ? string_member(r, *content, "encoding", content_place, false, ok) : nullptr;
                if (!ok) return false;
                if (text != nullptr && encoding != nullptr && encoding->as_string() == "base64") {
                    auto decoded = deririrore::formats::decode_base64(text->as_string());
                    if (decoded.status == deririrore::formats::DecodeStatus::Undecodable)
                        return r.fail(join_place(content_place, "text"), "not valid base64");
                    record.body = std::move(decoded.bytes);
                } else if (text != nullptr) {
                    record.body = text->as_string();
                }
            }
            if (!ok) return false;
            interaction.response = std::move(record);
        }
    }
    out.interactions.push_back(std::move(interaction));
    return true;
}

bool read_har(Reader& r, const Value& doc, ArchiveExchanges& out) {
    if (!doc.is_object()) return r.fail("", expected("an object", doc));
    bool ok = true;
    const Value* log = object_member(r, doc, "log", "", true, ok);
    const Value* entries = ok ? array_member(r, *log, "entries", "log", true, ok) : nullptr;
    if (!ok) return false;
    out.interactions.reserve(entries->as_array().size());
    for (std::size_t i = 0; i < entries->as_array().size(); ++i) {
        if (!read_har_entry(r, entries->as_array()[i], index_place("log.entries", i), out)) return false;
    }
    return true;
}

// VCR: {"interactions": [{"request": {"method", "uri", "body", "headers"}, "response": {"status":
// {"code"}, "headers", "body": {"string"}}}], "version": 1}; header values are lists of strings.
bool vcr_headers(Reader& r, const Value& owner, std::string_view place, HeaderMap& out) {
    bool ok = true;
    const Value* map = object_member(r, owner, "headers", place, false, ok);
    if (!ok) return false;
    if (map == nullptr) return true;
    const std::string map_place = join_place(place, "headers");
    for (const auto& member : map->as_object()) {
        const std::string field_place = join_place(map_place, member.key);
        if (member.value.is_string()) {
            add_header(out, member.key, member.value.as_string());
            continue;
        }
        if (!member.value.is_array()) return r.fail(field_place, expected("a list of strings", member.value));
        for (std::size_t i = 0; i < member.value.as_array().size(); ++i) {
            const Value& item = member.value.as_array()[i];
            if (!item.is_string()) return r.fail(index_place(field_place, i), expected("a string", item));
            add_header(out, member.key, item.as_string());
        }
    }
    return true;
}

// A body: null, a string, or {"string": text or null}.
bool vcr_body(Reader& r, const Value& owner, std::string_view place, std::optional<std::string>& out) {
    const Value* body = owner.find("body");
    if (body == nullptr || body->is_null()) return true;
    const std::string body_place = join_place(place, "body");
    if (body->is_string()) {
        out = body->as_string();
        return true;
    }
    if (!body->is_object()) return r.fail(body_place, expected("a string or an object", *body));
    const Value* text = body->find("string");
    if (text == nullptr || text->is_null()) return true;
    if (!text->is_string()) return r.fail(join_place(body_place, "string"), expected("a string", *text));
    out = text->as_string();
    return true;
}

bool read_vcr(Reader& r, const Value& doc, double now, ArchiveExchanges& out) {
    if (!doc.is_object()) return r.fail("", expected("an object", doc));
    const Value* version = doc.find("version");
    if (version == nullptr) return r.fail("version", "missing");
    if (!version->is_number() || version->number_text() != "1") return r.fail("version", "only version 1 is read");
    bool ok = true;
    const Value* list = array_member(r, doc, "interactions", "", true, ok);
    if (!ok) return false;
    out.interactions.reserve(list->as_array().size());
    for (std::size_t i = 0; i < list->as_array().size(); ++i) {
        const Value& item = list->as_array()[i];
        const std::string place = index_place("interactions", i);
        if (!item.is_object()) return r.fail(place, expected("an object", item));
        const Value* request = object_member(r, item, "request", place, true, ok);
        if (!ok) return false;
        const std::string request_place = join_place(place, "request");
        const Value* method_text = string_member(r, *request, "method", request_place, true, ok);
        const Value* uri = ok ? string_member(r, *request, "uri", request_place, true, ok) : nullptr;
        if (!ok) return false;
        HttpMethod method = HttpMethod::None;
        if (!method_of(r, method_text->as_string(), join_place(request_place, "method"), method)) return false;
        HeaderMap headers;
        std::optional<std::string> body;
        if (!vcr_headers(r, *request, request_place, headers) || !vcr_body(r, *request, request_place, body))
            return false;
        Interaction interaction;
        interaction.timestamp = now;
        switch (build_request(r, method, uri->as_string(), std::move(body), std::move(headers),
                              join_place(request_place, "uri"), interaction)) {
            case Built::Failed:
                return false;
            case Built::OtherScheme:
                ++out.skipped;
                continue;
            case Built::Ok:
                break;
        }
        const Value* response = object_member(r, item, "response", place, false, ok);
        if (!ok) return false;
        if (response != nullptr) {
            const std::string response_place = join_place(place, "response");
            const Value* status = object_member(r, *response, "status", response_place, true, ok);
            if (!ok) return false;
            const Value* code = status->find("code");
            const std::string code_place = join_place(join_place(response_place, "status"), "code");
            if (code == nullptr) return r.fail(code_place, "missing");
            std::int64_t status_code = 0;
            if (!read_status(r, *code, code_place, status_code) || !check_status(r, status_code, code_place))
                return false;
            ResponseRecord record;
            record.status = static_cast<std::uint16_t>(status_code);
            if (!vcr_headers(r, *response, response_place, record.headers) ||
                !vcr_body(r, *response, response_place, record.body))
                return false;
            interaction.response = std::move(record);
        }
        out.interactions.push_back(std::move(interaction));
    }
    return true;
}

// Postman v2.1: folders ("item" lists) hold requests; each saved response with its original
// request is one exchange. Collection variables ("{{name}}") are filled in.
using Variables = std::vector<std::pair<std::string, std::string>>;

std::optional<std::string> scalar_text(const Value& v) {
    if (v.is_string()) return v.as_string();
    if (v.is_number()) return std::string(v.number_text());
    if (v.is_bool()) return v.as_bool() ? "true" : "false";
    return std::nullopt;
}

// One pass: the values put in are not searched again, so no variable can expand without end.
std::string substitute(std::string_view text, const Variables& variables) {
    if (text.find("{{") == std::string_view::npos) return std::string(text);
    std::string out;
    std::size_t at = 0;
    while (true) {
        const std::size_t open = text.find("{{", at);
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find("}}", open + 2);
        if (close == std::string_view::npos) break;
        out.append(text.substr(at, open - at));
        const std::string_view name = text.substr(open + 2, close - open - 2);
        const std::string* value = nullptr;
        for (const auto& [key, v] : variables) {
            if (key == name) value = &v;
        }
        if (value != nullptr)
            out += *value;
        else
            out.append(text.substr(open, close + 2 - open));
        at = close + 2;
    }
    out.append(text.substr(at));
    return out;
}

bool disabled(const Value& field) {
    const Value* d = field.find("disabled");
    return d != nullptr && d->is_bool() && d->as_bool();
}

// A list of {"key", "value", "disabled"}; disabled ones are left out.
bool key_values(Reader& r, const Value& list, std::string_view place,
                std::vector<std::pair<std::string, std::string>>& out) {
    if (!list.is_array()) return r.fail(std::string(place), expected("an array", list));
    for (std::size_t i = 0; i < list.as_array().size(); ++i) {
        const Value& field = list.as_array()[i];
        const std::string field_place = index_place(place, i);
        if (!field.is_object()) return r.fail(field_place, expected("an object", field));
        if (disabled(field)) continue;
        const Value* key = field.find("key");
        if (key == nullptr || !key->is_string())
            return r.fail(join_place(field_place, "key"), key == nullptr ? "missing" : expected("a string", *key));
        std::string value;
        if (const Value* v = field.find("value"); v != nullptr && !v->is_null()) {
            auto text = scalar_text(*v);
            if (!text) return r.fail(join_place(field_place, "value"), expected("a string", *v));
            value = std::move(*text);
        }
        out.emplace_back(key->as_string(), std::move(value));
    }
    return true;
}

void append_form_encoded(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '*') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

bool postman_url(Reader& r, const Value& url, std::string_view place, const Variables& variables, std::string& out) {
    if (url.is_string()) {
        out = url.as_string();
        return true;
    }
    if (!url.is_object()) return r.fail(std::string(place), expected("a string or an object", url));
    if (const Value* raw = url.find("raw"); raw != nullptr && raw->is_string()) {
        out = raw->as_string();
        return true;
    }
    // No raw text: the URL from its parts.
    const auto joined = [&](const char* key, char separator, std::string& text) {
        const Value* part = url.find(key);
        if (part == nullptr || part->is_null()) return true;
        if (part->is_string()) {
            text = part->as_string();
            return true;
        }
        if (!part->is_array()) return r.fail(join_place(place, key), expected("a string or an array", *part));
        for (std::size_t i = 0; i < part->as_array().size(); ++i) {
            const Value& item = part->as_array()[i];
            if (!item.is_string()) return r.fail(index_place(join_place(place, key), i), expected("a string", item));
            if (i > 0) text += separator;
            text += item.as_string();
        }
        return true;
    };
    std::string host, path;
    if (!joined("host", '.', host) || !joined("path", '/', path)) return false;
    // A host variable often holds the scheme too ("{{baseUrl}}" as "https://api.example.com").
    host = substitute(host, variables);
    if (const Value* p = url.find("protocol"); p != nullptr && p->is_string()) {
        out = p->as_string() + "://" + host;
    } else if (host.find("://") != std::string::npos) {
        out = host;
    } else {
        out = "http://" + host;
    }
    if (const Value* port = url.find("port"); port != nullptr && !port->is_null()) {
        auto text = scalar_text(*port);
        if (!text) return r.fail(join_place(place, "port"), expected("a string", *port));
        out += ':';
        out += *text;
    }
    if (!path.empty() && path.front() != '/') out += '/';
    out += path;
    if (const Value* query = url.find("query"); query != nullptr && !query->is_null()) {
        std::vector<std::pair<std::string, std::string>> pairs;
        if (!key_values(r, *query, join_place(place, "query"), pairs)) return false;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            out += i == 0 ? '?' : '&';
            out += pairs[i].first;
            out += '=';
            out += pairs[i].second;
        }
    }
    return true;
}

bool postman_request(Reader& r, const Value& request, std::string_view place, const Variables& variables, double now,
                     Interaction& out, bool& other_scheme) {
    std::string method_text = "GET";
    std::string url;
    HeaderMap headers;
    std::optional<std::string> body;
    if (request.is_string()) {
        url = request.as_string();
    } else if (request.is_object()) {
        if (const Value* m = request.find("method"); m != nullptr && !m->is_null()) {
            if (!m->is_string()) return r.fail(join_place(place, "method"), expected("a string", *m));
            method_text = m->as_string();
        }
        const Value* url_value = request.find("url");
        if (url_value == nullptr) return r.fail(join_place(place, "url"), "missing");
        if (!postman_url(r, *url_value, join_place(place, "url"), variables, url)) return false;
        if (const Value* header = request.find("header"); header != nullptr && !header->is_null()) {
            std::vector<std::pair<std::string, std::string>> fields;
            if (!key_values(r, *header, join_place(place, "header"), fields)) return false;
            for (const auto& [name, value] : fields)
                add_header(headers, substitute(name, variables), substitute(value, variables));
        }
        if (const Value* b = request.find("body"); b != nullptr && !b->is_null()) {
            const std::string body_place = join_place(place, "body");
            if (!b->is_object()) return r.fail(body_place, expected("an object", *b));
            const Value* mode = b->find("mode");
            const std::string_view mode_text =
                mode != nullptr && mode->is_string() ? std::string_view(mode->as_string()) : "";
            if (mode_text == "raw") {
                const Value* raw = b->find("raw");
                if (raw != nullptr && !raw->is_null()) {
                    if (!raw->is_string()) return r.fail(join_place(body_place, "raw"), expected("a string", *raw));
                    body = substitute(raw->as_string(), variables);
                }
            } else if (mode_text == "urlencoded") {
                std::vector<std::pair<std::string, std::string>> fields;
                if (const Value* list = b->find("urlencoded"); list != nullptr && !list->is_null()) {
                    if (!key_values(r, *list, join_place(body_place, "urlencoded"), fields)) return false;
                }
                std::string encoded;
                for (const auto& [name, value] : fields) {
                    if (!encoded.empty()) encoded += '&';
                    append_form_encoded(encoded, substitute(name, variables));
                    encoded += '=';
                    append_form_encoded(encoded, substitute(value, variables));
                }
                body = std::move(encoded);
                if (!headers.find("content-type")) headers.set("Content-Type", "application/x-www-form-urlencoded");
            }
            // Other modes (formdata, file, graphql) name files or editors' state, not the bytes sent.
        }
    } else {
        return r.fail(std::string(place), expected("a string or an object", request));
    }
    HttpMethod method = HttpMethod::None;
    if (!method_of(r, method_text, join_place(place, "method"), method)) return false;
    url = substitute(url, variables);
    if (const std::size_t open = url.find("{{"); open != std::string::npos && url.find("}}", open) != std::string::npos)
        return r.fail(join_place(place, "url"), "the variable in `" + url + "` is not defined by the collection");
    out.timestamp = now;
    switch (build_request(r, method, url, std::move(body), std::move(headers), join_place(place, "url"), out)) {
        case Built::Failed:
            return false;
        case Built::OtherScheme:
            other_scheme = true;
            return true;
        case Built::Ok:
            return true;
    }
    return true;
}

bool postman_response(Reader& r, const Value& item, const Value& response, std::string_view place,
                      const Variables& variables, double now, ArchiveExchanges& out) {
    if (!response.is_object()) return r.fail(std::string(place), expected("an object", response));
    const Value* request = response.find("originalRequest");
    std::string request_place = join_place(place, "originalRequest");
    if (request == nullptr || request->is_null()) {
        request = item.find("request");
        request_place = "request";
    }
    Interaction interaction;
    bool other_scheme = false;
    if (!postman_request(r, *request, request_place, variables, now, interaction, other_scheme)) return false;
    if (other_scheme) {
        ++out.skipped;
        return true;
    }
    const Value* code = response.find("code");
    if (code == nullptr) return r.fail(join_place(place, "code"), "missing");
    std::int64_t status = 0;
    if (!read_status(r, *code, join_place(place, "code"), status) ||
        !check_status(r, status, join_place(place, "code")))
        return false;
    ResponseRecord record;
    record.status = static_cast<std::uint16_t>(status);
    if (const Value* header = response.find("header"); header != nullptr && !header->is_null()) {
        std::vector<std::pair<std::string, std::string>> fields;
        if (!key_values(r, *header, join_place(place, "header"), fields)) return false;
        for (const auto& [name, value] : fields) add_header(record.headers, name, value);
    }
    if (const Value* body = response.find("body"); body != nullptr && !body->is_null()) {
        if (!body->is_string()) return r.fail(join_place(place, "body"), expected("a string", *body));
        record.body = body->as_string();
    }
    if (const Value* ms = response.find("responseTime"); ms != nullptr && !ms->is_null()) {
        const auto value = number_value(*ms);
        if (value && *value > 0) record.elapsed = static_cast<float>(*value / 1000.0);
    }
    interaction.response = std::move(record);
    out.interactions.push_back(std::move(interaction));
    return true;
}

bool read_postman(Reader& r, const Value& doc, double now, ArchiveExchanges& out) {
    if (!doc.is_object()) return r.fail("", expected("an object", doc));
    bool ok = true;
    const Value* info = object_member(r, doc, "info", "", true, ok);
    const Value* schema = ok ? string_member(r, *info, "schema", "info", true, ok) : nullptr;
    if (!ok) return false;
    if (schema->as_string().find("/collection/v2.1") == std::string::npos)
        return r.fail("info.schema", "only collections of format v2.1 are read, not `" + schema->as_string() + "`");
    Variables variables;
    if (const Value* list = doc.find("variable"); list != nullptr && !list->is_null()) {
        if (!key_values(r, *list, "variable", variables)) return false;
    }
    const Value* items = array_member(r, doc, "item", "", true, ok);
    if (!ok) return false;
    // Folders nest as deep as the document does: an explicit stack of (list, next index, place).
    struct Frame {
        const Value* list;
        std::size_t next;
        std::string place;
    };
    std::vector<Frame> stack{{items, 0, "item"}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.list->as_array().size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t i = frame.next++;
        const Value& item = frame.list->as_array()[i];
        const std::string place = index_place(frame.place, i);
        if (!item.is_object()) return r.fail(place, expected("an object", item));
        if (const Value* children = item.find("item"); children != nullptr) {
            if (!children->is_array()) return r.fail(join_place(place, "item"), expected("an array", *children));
            stack.push_back({children, 0, join_place(place, "item")});
            continue;
        }
        const Value* responses = item.find("response");
        if (responses == nullptr || responses->is_null() || (responses->is_array() && responses->empty())) {
            // A request without a saved response was never shown to have been sent.
            ++out.skipped;
            continue;
        }
        if (!responses->is_array()) return r.fail(join_place(place, "response"), expected("an array", *responses));
        if (item.find("request") == nullptr) return r.fail(join_place(place, "request"), "missing");
        for (std::size_t k = 0; k < responses->as_array().size(); ++k) {
            const std::string response_place = index_place(join_place(place, "response"), k);
            // The item's own request is named by its place when a response has no original.
            const Value& response = responses->as_array()[k];
            if (!postman_response(r, item, response, response_place, variables, now, out)) {
                return false;
            }
        }
    }
    return true;
}

int days_from_civil(int y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
}

}  // namespace

std::string_view archive_format_name(ArchiveFormat format) noexcept {
    switch (format) {
        case ArchiveFormat::Har:
            return "HAR archive";
        case ArchiveFormat::Vcr:
            return "VCR cassette";
        case ArchiveFormat::Postman:
            return "Postman collection";
    }
    return "archive";
}

std::string ArchiveError::message() const {
    std::string out = "Invalid ";
    out += archive_format_name(format);
    if (!place.empty()) {
        out += " at ";
        out += place;
    }
    out += ": ";
    out += problem;
    return out;
}

std::optional<double> parse_iso8601_time(std::string_view text) {
    std::size_t at = 0;
    const auto digits = [&](std::size_t n, int& value) {
        if (at + n > text.size()) return false;
        value = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const char c = text[at + i];
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        at += n;
        return true;
    };
    const auto literal = [&](char c) {
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(4, year) || !literal('-') || !digits(2, month) || !literal('-') || !digits(2, day)) return std::nullopt;
    if (at >= text.size() || (text[at] != 'T' && text[at] != 't' && text[at] != ' ')) return std::nullopt;
    ++at;
    if (!digits(2, hour) || !literal(':') || !digits(2, minute) || !literal(':') || !digits(2, second))
        return std::nullopt;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || (month == 2 && day == 29 && !leap) ||
        hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    double fraction = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        double scale = 0.1;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            fraction += (text[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
        if (at == start) return std::nullopt;
    }
    int offset = 0;
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at] == '-' ? -1 : 1;
        ++at;
        int oh = 0, om = 0;
        if (!digits(2, oh) || !literal(':') || !digits(2, om) || oh > 23 || om > 59) return std::nullopt;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    const double days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return days * 86400.0 + hour * 3600.0 + minute * 60.0 + second + fraction - offset;
}

deririrore::Result<ArchiveExchanges, ArchiveError> read_archive(ArchiveFormat format, const Value& document,
                                                                double now) {
    Reader reader(format);
    ArchiveExchanges out;
    bool ok = false;
    switch (format) {
        case ArchiveFormat::Har:
            ok = read_har(reader, document, out);
            break;
        case ArchiveFormat::Vcr:
            ok = read_vcr(reader, document, now, out);
            break;
        case ArchiveFormat::Postman:
            ok = read_postman(reader, document, now, out);
            break;
    }
    if (!ok) return deririrore::make_unexpected(reader.take_error());
    return out;
}

}  // namespace http
