#include "vantorel/reports/json_report.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "deririrore/core/internal_error.hpp"

namespace vantorel::reports {

namespace {

// Writes "{", "[", "," and keys; one first-member flag per open container.
class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void open_object() { open('{'); }
    void open_array() { open('['); }
    void close_object() { close('}'); }
    void close_array() { close(']'); }

    // A key of an open object; the value follows.
    void key(std::string_view name) {
        separate();
        append_json_string(out_, name);
        out_.push_back(':');
        pending_value_ = true;
    }

    void string(std::string_view text) {
        separate();
        append_json_string(out_, text);
    }
    void unsigned_integer(std::uint64_t value) {
        separate();
        char buffer[24];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        if (result.ec != std::errc()) throw deririrore::InternalError("JSON serialization should not fail");
        out_.append(buffer, result.ptr);
    }
    void double_value(double value) {
        separate();
        append_json_double(out_, value);
    }
    void float_value(float value) {
        separate();
        append_json_float(out_, value);
    }
    void null() {
        separate();
        out_.append("null");
    }
    void raw(std::string_view text) {
        separate();
        out_.append(text);
    }

    void member(std::string_view name, std::string_view text) {
        key(name);
        string(text);
    }
    void member(std::string_view name, std::uint64_t value) {
        key(name);
        unsigned_integer(value);
    }

    bool balanced() const noexcept { return first_.empty(); }

private:
    void open(char c) {
        separate();
        out_.push_back(c);
        first_.push_back(true);
    }
    void close(char c) {
        out_.push_back(c);
        first_.pop_back();
    }
    void separate() {
        if (pending_value_) {
            pending_value_ = false;
            return;
        }
        if (first_.empty()) return;
        if (first_.back()) {
            first_.back() = false;
        } else {
            out_.push_back(',');
        }
    }

    std::string& out_;
    std::vector<bool> first_;
    bool pending_value_ = false;
};

void write_percent(Writer& w, const std::optional<double>& percent) {
    w.key("percent");
    if (percent) {
        w.double_value(*percent);
    } else {
        w.null();
    }
}

void write_ratio(Writer& w, std::string_view name, const CoverageRatio& r) {
    w.key(name);
    w.open_object();
    w.member("covered", r.covered);
    w.member("total", r.total);
    write_percent(w, r.percent);
    w.close_object();
}

void write_ratio(Writer& w, std::string_view name, const PartialCoverageRatio& r) {
    w.key(name);
    w.open_object();
    w.member("covered", r.covered);
    w.member("partial", r.partial);
    w.member("total", r.total);
    write_percent(w, r.percent);
    w.close_object();
}

void write_ratio(Writer& w, std::string_view name, const ReachRatio& r) {
    w.key(name);
    w.open_object();
    w.member("reached", r.reached);
    w.member("violated", r.violated);
    w.member("total", r.total);
    write_percent(w, r.percent);
    w.close_object();
}

void write_summary(Writer& w, const ReportSummary& s) {
    w.open_object();
    write_ratio(w, "operations", s.operations);
    write_ratio(w, "parameters", s.parameters);
    write_ratio(w, "keywords", s.keywords);
    write_ratio(w, "examples", s.examples);
    write_ratio(w, "responses", s.responses);
    write_ratio(w, "response_keywords", s.response_keywords);
    if (s.suggestions) {
        w.key("suggestions");
        w.open_object();
        w.member("requests", s.suggestions->requests);
        w.member("covered", s.suggestions->covered);
        w.member("uncovered", s.suggestions->uncovered);
        w.close_object();
    }
    w.close_object();
}

void write_position(Writer& w, const DiagnosticPosition& at) {
    w.open_object();
    if (at.place == PositionPlace::Document) {
        w.member("in", "document");
        w.close_object();
        return;
    }
    w.member("path", at.path);
    w.member("in", position_place_name(at.place));
    if (at.place == PositionPlace::PathItem) {
        w.close_object();
        return;
    }
    w.member("method", http::method_name(at.method));
    switch (at.place) {
        case PositionPlace::Parameter:
            w.member("location", location_name(at.location));
            w.member("name", at.name_or_status);
            break;
        case PositionPlace::Response:
            w.member("status", at.name_or_status);
            break;
        case PositionPlace::ResponseBody:
            w.member("status", at.name_or_status);
            w.member("media_type", at.media_type);
            break;
        default:
            break;
    }
    w.close_object();
}

void write_diagnostic(Writer& w, const Diagnostic& d) {
    w.open_object();
    w.member("severity", severity_name(d.severity));
    w.member("kind", diagnostic_kind_name(d.kind()));
    if (const auto* unsatisfiable = d.get_if<diagnostic_kinds::Unsatisfiable>()) {
        if (unsatisfiable->causes) {
            w.key("causes");
            w.open_array();
            for (const zavova::DescribedCause& cause : *unsatisfiable->causes) {
                w.open_object();
                w.member("pointer", cause.location);
                w.key("keywords");
                w.open_array();
                for (const zavova::KeywordPreview& keyword : cause.keywords) w.string(keyword.keyword);
                w.close_array();
                w.close_object();
            }
            w.close_array();
        }
    } else if (const auto* too_many = d.get_if<diagnostic_kinds::TooManyRouteParameters>()) {
        w.member("count", too_many->count);
        w.member("limit", too_many->limit);
    } else {
        for_each_diagnostic_field(d, [&](std::string_view name, std::string_view text) { w.member(name, text); });
    }
    w.key("at");
    write_position(w, d.at);
    w.close_object();
}

void write_response(Writer& w, const ResponseReport& r) {
    w.open_object();
    w.member("status", r.status);
    w.member("hits", r.hits);
    if (r.avg_elapsed_ms) {
        w.key("avg_elapsed_ms");
        w.float_value(*r.avg_elapsed_ms);
    }
    if (!r.bodies.empty()) {
        w.key("bodies");
        w.open_array();
        for (const BodyReport& body : r.bodies) {
            w.open_object();
            w.member("media_type", body.media_type);
            w.member("hits", body.hits);
            write_ratio(w, "coverage", body.coverage);
            if (!body.keywords.empty()) {
                w.key("keywords");
                w.open_array();
                for (const ResponseKeywordRow& row : body.keywords) {
                    w.open_object();
                    w.member("schema_path", row.schema_path);
                    w.member("state", response_keyword_state_name(row.state));
                    w.member("valid", row.valid);
                    w.member("invalid", row.invalid);
                    w.close_object();
                }
                w.close_array();
            }
            w.close_object();
        }
        w.close_array();
    }
    w.close_object();
}

void write_operation(Writer& w, const OperationReport& op) {
    w.open_object();
    w.member("method", op.method);
    w.member("path", op.path);
    if (op.operation_id) w.member("operation_id", *op.operation_id);
    w.member("hits", op.hits);
    if (!op.warnings.empty()) {
        w.key("warnings");
        w.open_array();
        for (const OperationWarning& warning : op.warnings) {
            w.open_object();
            w.member("type", OperationWarning::type);
            w.member("by", warning.by);
            w.close_object();
        }
        w.close_array();
    }
    w.key("coverage");
    w.open_object();
    write_ratio(w, "parameters", op.coverage.parameters);
    write_ratio(w, "keywords", op.coverage.keywords);
    write_ratio(w, "examples", op.coverage.examples);
    write_ratio(w, "responses", op.coverage.responses);
    write_ratio(w, "response_keywords", op.coverage.response_keywords);
    w.close_object();
    if (!op.parameters.empty()) {
        w.key("parameters");
        w.open_array();
        for (const ParameterReport& p : op.parameters) {
            w.open_object();
            w.member("location", location_name(p.location));
            w.member(p.is_body ? "media_type" : "name", p.name);
            w.member("hits", p.hits);
            write_ratio(w, "coverage", p.coverage);
            if (!p.keywords.empty()) {
                w.key("keywords");
                w.open_array();
                for (const KeywordRow& row : p.keywords) {
                    w.open_object();
                    w.member("schema_path", row.schema_path);
                    w.member("state", keyword_state_name(row.state));
                    if (row.valid) w.member("valid", *row.valid);
                    if (row.invalid) w.member("invalid", *row.invalid);
                    if (row.reason) w.member("reason", *row.reason);
                    w.close_object();
                }
                w.close_array();
            }
            w.close_object();
        }
        w.close_array();
    }
    if (!op.responses.empty()) {
        w.key("responses");
        w.open_array();
        for (const ResponseReport& r : op.responses) write_response(w, r);
        w.close_array();
    }
    if (!op.unexpected_responses.empty()) {
        w.key("unexpected_responses");
        w.open_array();
        for (const ResponseReport& r : op.unexpected_responses) write_response(w, r);
        w.close_array();
    }
    w.key("errors");
    w.open_array();
    for (const std::string& error : op.errors) w.string(error);
    w.close_array();
    w.close_object();
}

void write_unmatched(Writer& w, const UnmatchedGroup& g) {
    w.open_object();
    w.member("method", http::method_name(g.method));
    w.member("host", g.host);
    w.member("path", g.path);
    w.member("reason", unmatched_reason_name(g.reason));
    w.member("count", g.count);
    w.key("first_seen_at");
    w.double_value(g.first_seen_at);
    w.close_object();
}

void write_json_value(Writer& w, const deririrore::value::Value& value);

void write_suggestion(Writer& w, const Suggestion& s) {
    w.open_object();
    w.member("method", s.method);
    w.member("path", s.path);
    w.member("location", location_name(s.location));
    if (s.media_type) w.member("media_type", *s.media_type);
    w.key("gaps");
    w.open_array();
    for (const SuggestionGap& gap : s.gaps) {
        w.open_object();
        w.member("parameter", gap.parameter);
        w.member("pointer", gap.pointer);
        w.member("polarity", suggestion_polarity_name(gap.polarity));
        w.close_object();
    }
    w.close_array();
    w.key("requests");
    w.open_array();
    for (const SuggestedRequest& request : s.requests) {
        w.open_object();
        w.member("polarity", suggestion_polarity_name(request.polarity));
        w.key("value");
        write_json_value(w, request.value);
        w.key("covers");
        w.open_array();
        for (const std::uint64_t index : request.covers) w.unsigned_integer(index);
        w.close_array();
        w.close_object();
    }
    w.close_array();
    w.member("hidden", s.hidden);
    w.key("uncovered");
    w.open_array();
    for (const UncoveredGap& gap : s.uncovered) {
        w.open_object();
        w.member("gap", gap.gap);
        w.member("reason", uncovered_reason_name(gap.reason));
        w.close_object();
    }
    w.close_array();
    w.close_object();
}

// A suggested value as it stands: number texts as read, members in the value's order. Values are
// walked with an explicit stack, so a deep value cannot exhaust the call stack.
void write_json_value(Writer& w, const deririrore::value::Value& root) {
    using deririrore::value::Value;
    struct Frame {
        const Value* value;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    auto enter = [&](const Value& v) {
        if (v.is_object()) {
            w.open_object();
            stack.push_back({&v, 0});
        } else if (v.is_array()) {
            w.open_array();
            stack.push_back({&v, 0});
        } else if (v.is_string()) {
            w.string(v.as_string());
        } else if (v.is_number()) {
            w.raw(v.number_text());
        } else if (v.is_bool()) {
            w.raw(v.as_bool() ? "true" : "false");
        } else {
            w.null();
        }
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.value->is_object()) {
            const Value::Object& members = top.value->as_object();
            if (top.next == members.size()) {
                stack.pop_back();
                w.close_object();
                continue;
            }
            const auto& member = members[top.next++];
            w.key(member.key);
            enter(member.value);
        } else {
            const Value::Array& items = top.value->as_array();
            if (top.next == items.size()) {
                stack.pop_back();
                w.close_array();
                continue;
            }
            enter(items[top.next++]);
        }
    }
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.substr(run, i - run));
        run = i + 1;
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\f':
                out.append("\\f");
                break;
            case '\r':
                out.append("\\r");
                break;
            default: {
                static constexpr char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            }
        }
    }
    out.append(text.substr(run));
    out.push_back('"');
}

namespace {

// The shortest round-trip digits of a finite value, as scientific text "d.ddde±X", rewritten into
// the report's notation: plain for exponents in [low, high], else d[.ddd]e±X.
template <class Float>
void append_shortest(std::string& out, Float value, int low, int high) {
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    if (result.ec != std::errc()) throw deririrore::InternalError("JSON serialization should not fail");
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    const std::string_view mantissa = text.substr(0, e);
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') digits.push_back(c);
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    if (negative) out.push_back('-');
    if (exponent >= low && exponent <= high) {
        if (exponent < 0) {
            out.append("0.");
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out.append(digits);
        } else if (static_cast<std::size_t>(exponent) + 1 >= digits.size()) {
            out.append(digits);
            out.append(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
            out.append(".0");
        } else {
            out.append(digits.substr(0, static_cast<std::size_t>(exponent) + 1));
            out.push_back('.');
            out.append(digits.substr(static_cast<std::size_t>(exponent) + 1));
        }
        return;
    }
    out.push_back(digits[0]);
    if (digits.size() > 1) {
        out.push_back('.');
        out.append(digits.substr(1));
    }
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    out.append(std::to_string(exponent < 0 ? -exponent : exponent));
}

}  // namespace

void append_json_double(std::string& out, double value) { append_shortest(out, value, -5, 15); }

void append_json_float(std::string& out, float value) { append_shortest(out, value, -6, 12); }

std::string write_json_report(const ReportModel& model) {
    std::string out;
    out.reserve(128);
    Writer w(out);
    w.open_object();
    w.member("$schema", model.schema_url);
    w.member("version", model.version);
    w.member("vantorel_version", model.vantorel_version);
    if (model.schema_location) w.member("schema_location", *model.schema_location);
    w.member("generated_at", model.generated_at);
    w.key("summary");
    write_summary(w, model.summary);
    if (!model.labels.empty()) {
        w.key("labels");
        w.open_object();
        for (const auto& [name, summary] : model.labels) {
            w.key(name);
            write_summary(w, summary);
        }
        w.close_object();
    }
    if (!model.diagnostics.empty()) {
        w.key("diagnostics");
        w.open_array();
        for (const Diagnostic& d : model.diagnostics) write_diagnostic(w, d);
        w.close_array();
    }
    w.key("operations");
    w.open_array();
    for (const OperationReport& op : model.operations) write_operation(w, op);
    w.close_array();
    if (!model.unmatched.empty()) {
        w.key("unmatched");
        w.open_array();
        for (const UnmatchedGroup& g : model.unmatched) write_unmatched(w, g);
        w.close_array();
    }
    if (model.unmatched_overflow != 0) w.member("unmatched_overflow", model.unmatched_overflow);
    if (model.dropped_requests != 0) w.member("dropped_requests", model.dropped_requests);
    if (model.suggestions) {
        w.key("suggestions");
        w.open_array();
        for (const Suggestion& s : *model.suggestions) write_suggestion(w, s);
        w.close_array();
    }
    w.close_object();
    if (!w.balanced()) throw deririrore::InternalError("JSON serialization should not fail");
    return out;
}

std::string write_json_report(const recorders::CoverageMap& map) { return write_json_report(build_report_model(map)); }

}  // namespace vantorel::reports
