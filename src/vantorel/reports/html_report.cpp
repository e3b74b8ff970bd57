#include "vantorel/reports/html_report.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <utility>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/utf8.hpp"
#include "vantorel/model/base_paths.hpp"
#include "vantorel/reports/diagnostic_texts.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/html_assets.hpp"
#include "vantorel/reports/html_schema_view.hpp"
#include "vantorel/reports/html_text.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/orderings.hpp"
#include "vantorel/reports/report_model.hpp"
#include "vantorel/reports/statistics.hpp"

namespace vantorel::reports {

using deririrore::value::Value;
using deririrore::value::ValueKind;
using http::HttpMethod;
using model::OperationRecord;
using model::ParameterLocation;
using model::ParameterTarget;

namespace {

constexpr std::string_view kFontHost = "https://fonts.googleapis.com";
constexpr std::string_view kFontFileHost = "https://fonts.gstatic.com";
constexpr std::string_view kFeedbackUrl = "https://vantorel.dev/feedback";
constexpr std::string_view kSiteUrl = "https://vantorel.dev";

void append(std::string& out, std::uint64_t n) { append_decimal(out, n); }

std::string lower_method(HttpMethod method) {
    std::string name(http::method_name(method));
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return name;
}

std::string anchor_key(std::string_view path, HttpMethod method) {
    std::string key(path);
    key += '\0';
    key += static_cast<char>(method);
    return key;
}

bool keyword_counted(const zavova::EntryMap& entries, std::size_t i) {
    return entries.entry(i).kind.tag == zavova::EntryTag::Keyword && entries.location(i) != "/$ref";
}

// Covered as the row and the groups count it.
bool keyword_covered(const zavova::KeywordEntry& e) {
    const auto polarity = e.kind.payload;
    return (e.passed > 0 && e.failed > 0) || (e.passed > 0 && polarity == 1) || (e.failed > 0 && polarity == 2);
}

// Covered as the parameter sections count it.
bool section_covered(const zavova::KeywordEntry& e) {
    return (e.passed > 0 && e.failed > 0) || ((e.passed > 0 || e.failed > 0) && e.kind.payload != 0);
}

std::string_view location_word(ParameterLocation location) {
    switch (location) {
        case ParameterLocation::Path:
            return "path";
        case ParameterLocation::Query:
            return "query";
        case ParameterLocation::Header:
            return "header";
        case ParameterLocation::Cookie:
            return "cookie";
        case ParameterLocation::Body:
            return "body";
        case ParameterLocation::FormData:
            return "form";
        case ParameterLocation::Querystring:
            return "query string";
    }
    return "";
}

std::string_view example_label_word(ParameterLocation location) {
    switch (location) {
        case ParameterLocation::Path:
            return "Path";
        case ParameterLocation::Query:
            return "Query";
        case ParameterLocation::Header:
            return "Header";
        case ParameterLocation::Cookie:
            return "Cookie";
        case ParameterLocation::Body:
            return "Body";
        case ParameterLocation::FormData:
            return "Form Data";
        case ParameterLocation::Querystring:
            return "Query String";
    }
    return "";
}

// JSON with two-space indentation for arrays and objects; the walk keeps its own stack.
void append_pretty_json(std::string& out, const Value& root) {
    struct Frame {
        const Value* value;
        std::size_t next;
    };
    auto scalar_or_open = [&](const Value& v, std::vector<Frame>& stack) {
        if ((v.is_array() || v.is_object()) && !v.empty()) {
            out += v.is_array() ? '[' : '{';
            stack.push_back({&v, 0});
        } else {
            deririrore::value::append_json(out, v);
        }
    };
    std::vector<Frame> stack;
    scalar_or_open(root, stack);
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Value& v = *top.value;
        if (top.next == v.size()) {
            const char close = v.is_array() ? ']' : '}';
            stack.pop_back();
            out += '\n';
            out.append(2 * stack.size(), ' ');
            out += close;
            continue;
        }
        if (top.next > 0) out += ',';
        out += '\n';
        out.append(2 * stack.size(), ' ');
        const std::size_t i = top.next++;
        if (v.is_array()) {
            scalar_or_open(v.as_array()[i], stack);
        } else {
            const auto& member = v.as_object()[i];
            deririrore::value::append_json_string(out, member.key);
            out += ": ";
            scalar_or_open(member.value, stack);
        }
    }
}

std::string_view trim_white(std::string_view text) {
    auto is_white = [](char32_t cp) { return u_isUWhiteSpace(static_cast<UChar32>(cp)) != 0; };
    std::size_t begin = 0;
    while (begin < text.size()) {
        char32_t cp = 0;
        const std::size_t n = deririrore::value::decode_utf8_sequence(text, begin, cp);
        if (n == 0 || !is_white(cp)) break;
        begin += n;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        char32_t cp = 0;
        const std::size_t n = deririrore::value::decode_utf8_sequence(text, start, cp);
        if (n == 0 || start + n != end || !is_white(cp)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

struct Group {
    std::string name;
    std::string slug;
    std::string id;
    std::string text;
    std::uint64_t covered_keywords = 0;
    std::uint64_t total_keywords = 0;
    std::uint32_t operations = 0;
    std::uint32_t covered = 0;
    std::uint32_t partial = 0;
    std::uint32_t uncovered = 0;
    std::uint32_t not_measured = 0;
    std::uint32_t measured_operations = 0;
    std::uint32_t covered_measured = 0;
};

struct Counters {
    std::uint32_t written = 0;
    std::uint32_t covered = 0;
    std::uint32_t partial = 0;
    std::uint32_t uncovered = 0;
    std::uint32_t unmeasured = 0;
    std::uint32_t deprecated = 0;
};

void write_pieces(std::string& out, const std::vector<TextPiece>& pieces) {
    for (const TextPiece& piece : pieces) {
        if (piece.code) {
            out += "<code>";
            escape_html_text(out, piece.text);
            out += "</code>";
        } else {
            // Our own wording marks its code spans with backticks; values never pass through here.
            write_inline_code(out, piece.text);
        }
    }
}

void write_diagnostic_block(std::string& out, const std::vector<const Diagnostic*>& list) {
    const bool warn_only =
        std::all_of(list.begin(), list.end(), [](const Diagnostic* d) { return d->severity == Severity::Warning; });
    out += warn_only ? "<div class=\"dg-inline warnonly\">" : "<div class=\"dg-inline\">";
    for (const Diagnostic* d : list) {
        const DiagnosticText text = describe_diagnostic(*d);
        const std::string_view severity = severity_name(d->severity);
        out += "<div class=\"dg ";
        out += severity;
        out += "\"><span class=\"dg-mark\"><svg><use href=\"#icon-diag-";
        out += severity;
        out += "\"/></svg></span><div class=\"dg-body\"><div class=\"dg-line\"><span class=\"what\">";
        escape_html_text(out, text.title);
        out += "</span>";
        for (const SubjectPart& part : text.subject) {
            if (!part.lead.empty()) {
                out += ' ';
                escape_html_text(out, part.lead);
            }
            out += " <code>";
            escape_html_text(out, part.text);
            out += "</code>";
        }
        out += "</div>";
        if (text.why) {
            out += "<div class=\"dg-why\">";
            write_inline_code(out, *text.why);
            out += "</div>";
        }
        out += "<div class=\"dg-fix\">";
        if (!text.consequence_pieces.empty() || !text.fix_pieces.empty()) {
            write_pieces(out, text.consequence_pieces);
            out += ' ';
            write_pieces(out, text.fix_pieces);
        } else {
            write_inline_code(out, text.explanation);
        }
        out += "</div></div></div>";
    }
    out += "</div>";
}

class PageWriter {
public:
    PageWriter(const recorders::CoverageMap& map, const UnmeasuredSet& unmeasured,
               const std::vector<Diagnostic>& diagnostics)
        : map_(map), unmeasured_(unmeasured), diagnostics_(diagnostics), index_(diagnostics) {}

    void fill_anchors() {
        IdSet taken;
        for (const auto& entry : map_.routes.paths) {
            for (const auto op : entry.methods) {
                anchors_.emplace(anchor_key(entry.route, op.method),
                                 unique_id(operation_anchor_id(op.method, entry.route), taken));
            }
        }
    }

    const std::string* anchor_of(std::string_view path, HttpMethod method) const {
        const auto found = anchors_.find(anchor_key(path, method));
        return found == anchors_.end() ? nullptr : &found->second;
    }

    void write_operations() {
        std::unordered_map<std::string, std::size_t> by_name;
        std::string entry;
        for (const auto& path_entry : map_.routes.paths) {
            for (const auto op : path_entry.methods) {
                entry.clear();
                const Outcome outcome = write_entry(entry, path_entry.route, op.method, op.record);
                std::string name = operation_group_name(op.record.tags, path_entry.route);
                auto [it, added] = by_name.emplace(name, groups_.size());
                if (added) {
                    Group g;
                    g.slug = group_slug(name);
                    g.name = std::move(name);
                    groups_.push_back(std::move(g));
                }
                Group& g = groups_[it->second];
                g.text += entry;
                ++g.operations;
                switch (outcome.state) {
                    case State::Covered:
                        ++g.covered;
                        break;
                    case State::Partial:
                        ++g.partial;
                        break;
                    case State::Uncovered:
                        ++g.uncovered;
                        break;
                    case State::Unmeasurable:
                        ++g.not_measured;
                        break;
                }
                if (!outcome.not_measured) {
                    ++g.measured_operations;
                    if (outcome.state == State::Covered) ++g.covered_measured;
                    g.covered_keywords += outcome.covered;
                    g.total_keywords += outcome.total;
                }
            }
        }
        std::stable_sort(groups_.begin(), groups_.end(), [](const Group& a, const Group& b) {
            return group_order_less(a.slug, a.name, b.slug, b.name);
        });
        IdSet taken;
        for (Group& g : groups_) g.id = unique_id(g.slug, taken);
    }

    void write_groups(std::string& out) const {
        out += "\n<div class=\"operation-list\">";
        for (const Group& g : groups_) {
            double percent = 100;
            std::string bar;
            if (g.measured_operations > 0 && g.total_keywords > 0) {
                percent = static_cast<double>(g.covered_keywords) * 100.0 / static_cast<double>(g.total_keywords);
                append_decimal(bar, static_cast<std::uint64_t>(std::floor(percent)));
                bar += '%';
            } else if (g.measured_operations > 0) {
                percent = static_cast<double>(g.covered_measured) * 100.0 / static_cast<double>(g.measured_operations);
                bar = "—";
            }
            out += "\n<details open id=\"group-";
            escape_html_attribute(out, g.id);
            out += "\" data-group=\"";
            escape_html_attribute(out, g.id);
            out += "\"><summary class=\"group-head magnitude\" style=\"--pct: ";
            append_shortest(out, percent);
            out +=
                "\"><span class=\"group-chev\"><svg><use href=\"#icon-arrow\"/></svg></span><span "
                "class=\"group-name\">";
            escape_html_text(out, g.name);
            out += "</span><span class=\"group-count\"><span class=\"ops\">";
            append(out, g.operations);
            out += g.operations == 1 ? " operation" : " operations";
            out += "</span>";
            const std::pair<std::string_view, std::uint32_t> badges[] = {
                {"b ok", g.covered}, {"b wn", g.partial}, {"b bd", g.uncovered}, {"b na", g.not_measured}};
            const std::string_view words[] = {" covered", " partial", " uncovered", " not measured"};
            for (std::size_t i = 0; i < 4; ++i) {
                out += "<span class=\"";
                out += badges[i].first;
                if (badges[i].second == 0) out += " zero";
                out += "\">";
                append(out, badges[i].second);
                out += words[i];
                out += "</span>";
            }
            out += "</span>";
            if (g.measured_operations > 0) {
                out += "<span class=\"group-bar\"><span class=\"fill\"></span><span class=\"group-pct\">";
                out += bar;
                out += "</span></span>";
            }
            out += "</summary><a class=\"anchor\" href=\"#group-";
            escape_html_attribute(out, g.id);
            out += "\" aria-label=\"Link to ";
            escape_html_attribute(out, g.name);
            out += "\">#</a><div class=\"group-body\">";
            out += g.text;
            out += "</div></details>";
        }
        out += "\n</div>";
    }

    const Counters& counters() const { return counters_; }

private:
    enum class State : std::uint8_t { Covered, Partial, Uncovered, Unmeasurable };
    struct Outcome {
        State state = State::Covered;
        bool not_measured = false;
        std::uint64_t covered = 0;
        std::uint64_t total = 0;
    };

    static bool has_target(const OperationRecord& record, ParameterLocation location, std::string_view name) {
        return std::any_of(record.parameters.begin(), record.parameters.end(),
                           [&](const ParameterTarget& t) { return t.location == location && t.name == name; });
    }

    Outcome write_entry(std::string& out, std::string_view path, HttpMethod method, const OperationRecord& record) {
        Outcome outcome;
        for (const ParameterTarget& target : record.parameters) {
            if (!target.holder.state) continue;
            const auto& entries = target.holder.state->entries;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (!keyword_counted(entries, i)) continue;
                ++outcome.total;
                if (keyword_covered(entries.entry(i))) ++outcome.covered;
            }
        }
        const std::uint64_t K = outcome.total;
        const std::uint64_t F = outcome.covered;
        const float keyword_percent = K == 0 ? 100.0f : static_cast<float>(F) * 100.0f / static_cast<float>(K);

        // The diagnostics that concern the operation: at its path item, or at the operation
        // itself or anything inside it.
        std::vector<const Diagnostic*> own;
        bool any_error = !record.errors.empty();
        bool any_warning = false;
        bool error_diagnostic = false;
        for (const std::size_t i : index_.of_path_item(path)) {
            const Diagnostic& d = diagnostics_[i];
            (d.severity == Severity::Error ? error_diagnostic : any_warning) = true;
        }
        for (const std::size_t i : index_.of_operation(path, method)) {
            const Diagnostic& d = diagnostics_[i];
            (d.severity == Severity::Error ? error_diagnostic : any_warning) = true;
            const PositionPlace place = d.at.place;
            if (place == PositionPlace::Operation || place == PositionPlace::RequestBody ||
                place == PositionPlace::Response || place == PositionPlace::ResponseBody ||
                (place == PositionPlace::Parameter && !has_target(record, d.at.location, d.at.name_or_status))) {
                own.push_back(&d);
            }
        }
        any_error = any_error || error_diagnostic;

        const bool unmeasured = is_unmeasured(unmeasured_, path, method);
        outcome.not_measured = unmeasured || (K == 0 && error_diagnostic);
        State state;
        if (unmeasured) {
            state = State::Unmeasurable;
        } else if (record.hits == 0) {
            state = record.shadowed_by ? State::Partial : State::Uncovered;
        } else if (K == 0 || F == K) {
            state = State::Covered;
        } else if (keyword_percent > 0) {
            state = State::Partial;
        } else {
            state = State::Uncovered;
        }
        outcome.state = state;
        static constexpr std::array<std::string_view, 4> kWords = {"covered", "partial", "uncovered", "unmeasurable"};
        static constexpr std::array<std::string_view, 4> kIcons = {"check", "half", "x", "x"};
        const std::string_view word = kWords[static_cast<std::size_t>(state)];
        switch (state) {
            case State::Covered:
                ++counters_.covered;
                break;
            case State::Partial:
                ++counters_.partial;
                break;
            case State::Uncovered:
                ++counters_.uncovered;
                break;
            case State::Unmeasurable:
                ++counters_.unmeasured;
                break;
        }
        if (record.deprecated) ++counters_.deprecated;
        const std::uint32_t number = ++counters_.written;

        float row_percent = 0;
        if (state != State::Uncovered) {
            if (K > 0) {
                row_percent = keyword_percent;
            } else if (state == State::Covered) {
                row_percent = 100;
            }
        }

        const std::string* anchor = anchor_of(path, method);
        if (anchor == nullptr) throw deririrore::InternalError("no entry found for key");
        out += "\n<div class=\"accordion\" id=\"";
        escape_html_attribute(out, *anchor);
        out += "\" data-covered=\"";
        out += word;
        out += '"';
        if (record.deprecated) out += " data-deprecated=\"true\"";
        out += "><input type=\"checkbox\" id=\"acc-toggle";
        append(out, number);
        out += "\"><label for=\"acc-toggle";
        append(out, number);
        out += "\" class=\"accordion-header magnitude state-";
        out += word;
        if (record.deprecated) out += " deprecated";
        out += "\" style=\"--pct: ";
        append_shortest(out, row_percent);
        out += "\"><span class=\"row-status\"><svg><use href=\"#icon-";
        out += kIcons[static_cast<std::size_t>(state)];
        out += "\"/></svg></span><span class=\"method ";
        out += lower_method(method);
        out += "\">";
        out += http::method_name(method);
        out += "</span><span class=\"operation path\" data-search=\"";
        escape_html_attribute(out, path);
        out += "\" title=\"";
        escape_html_attribute(out, path);
        out += "\">";
        write_path_html(out, path);
        out += "</span>";
        auto stack = [&](std::uint64_t n, std::string_view one, std::string_view many) {
            out += n == 0 ? "<div class=\"stat-stack dim\"><span class=\"n\">"
                          : "<div class=\"stat-stack\"><span class=\"n\">";
            append(out, n);
            out += "</span><span class=\"l\">";
            out += n == 1 ? one : many;
            out += "</span></div>";
        };
        stack(record.parameters.size(), "parameter", "parameters");
        stack(K, "keyword", "keywords");
        if (any_error) {
            out += "<span class=\"dg-flag\"><svg><use href=\"#icon-diag-error\"/></svg></span>";
        } else if (any_warning) {
            out += "<span class=\"dg-flag warning\"><svg><use href=\"#icon-diag-warning\"/></svg></span>";
        } else {
            out += "<span class=\"dg-flag\"></span>";
        }
        out += "<div class=\"coverage-cell\">";
        if (outcome.not_measured) {
            out += "<span class=\"pct-na\">not measured</span>";
        } else {
            out +=
                "<div class=\"progress-bar\"><div class=\"progress-fill\"></div></div><span class=\"progress-text\">";
            if (K == 0) {
                out += "—";
            } else {
                append(out, static_cast<std::uint64_t>(std::floor(keyword_percent)));
                out += "<span class=\"unit\">%</span>";
            }
            out += "</span>";
        }
        out += "</div><span class=\"accordion-arrow\"><svg><use href=\"#icon-arrow\"/></svg></span></label>";

        out += "<div class=\"accordion-content\"><div class=\"op-detail\">";
        write_errors(out, record);
        write_operation_diagnostics(out, own);
        bool first_view = true;
        static constexpr std::pair<ParameterLocation, std::string_view> kSections[] = {
            {ParameterLocation::Path, "Path Parameters"},
            {ParameterLocation::Query, "Query Parameters"},
            {ParameterLocation::Querystring, "Query String"},
            {ParameterLocation::Header, "Headers"},
            {ParameterLocation::Cookie, "Cookies"},
            {ParameterLocation::FormData, "Form Parameters"},
            {ParameterLocation::Body, "Body"},
        };
        for (const auto& [location, title] : kSections) {
            write_parameter_section(out, path, method, record, location, title, first_view);
        }
        write_responses(out, record);
        if (record.hits > 0) write_examples(out, record);
        out += "</div></div></div>";
        return outcome;
    }

    static void write_errors(std::string& out, const OperationRecord& record) {
        if (record.errors.empty()) return;
        std::vector<std::string_view> messages(record.errors.begin(), record.errors.end());
        std::sort(messages.begin(), messages.end());
        out += "<div class=\"op-errors\">";
        bool first = true;
        for (const std::string_view message : messages) {
            std::string_view rest = message;
            while (!rest.empty()) {
                const std::size_t feed = rest.find('\n');
                std::string_view line = rest.substr(0, feed);
                rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
                if (feed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
                if (!first) out += "<br>";
                first = false;
                write_inline_code(out, line);
            }
        }
        out += "</div>";
    }

    static std::pair<std::string, std::string> subject_of(const Diagnostic& d) {
        switch (d.at.place) {
            case PositionPlace::RequestBody:
                return {"requestBody", "body"};
            case PositionPlace::Parameter:
                return {d.at.name_or_status, std::string(location_word(d.at.location))};
            case PositionPlace::Response:
                return {d.at.name_or_status, "response"};
            case PositionPlace::ResponseBody:
                return {d.at.media_type, d.at.name_or_status + " response"};
            default:
                return {};
        }
    }

    static void write_operation_diagnostics(std::string& out, const std::vector<const Diagnostic*>& own) {
        for (const Severity severity : {Severity::Error, Severity::Warning}) {
            std::vector<const Diagnostic*> list;
            for (const Diagnostic* d : own) {
                if (d->severity == severity) list.push_back(d);
            }
            if (list.empty()) continue;
            out += severity == Severity::Error
                       ? "<div class=\"op-section\"><span>Not measured</span><span class=\"op-section-meta\">declared, "
                         "but could not be read</span></div>"
                       : "<div class=\"op-section\"><span>Measured with problems</span><span "
                         "class=\"op-section-meta\">coverage is recorded</span></div>";
            std::size_t i = 0;
            while (i < list.size()) {
                const bool operation_level = list[i]->at.place == PositionPlace::Operation;
                const auto subject = subject_of(*list[i]);
                std::vector<const Diagnostic*> run;
                while (i < list.size() && (list[i]->at.place == PositionPlace::Operation) == operation_level &&
                       (operation_level || subject_of(*list[i]) == subject)) {
                    run.push_back(list[i++]);
                }
                if (!operation_level) {
                    out += "<div class=\"op-item\"><span class=\"op-item-name\">";
                    escape_html_text(out, subject.first);
                    out += "</span><span class=\"op-item-meta muted\">";
                    escape_html_text(out, subject.second);
                    out += "</span></div>";
                }
                write_diagnostic_block(out, run);
            }
        }
    }

    void write_schema(std::string& out, const ParameterTarget& target, bool& first_view) {
        if (!target.schema || !target.holder.state) return;
        SchemaView view =
            build_schema_view(zavova::write_located_schema(*target.schema, *target.holder.state), *target.schema);
        write_schema_view(out, view, first_view, schema_counter_);
        ++schema_counter_;
        first_view = false;
    }

    void write_parameter_section(std::string& out, std::string_view path, HttpMethod method,
                                 const OperationRecord& record, ParameterLocation location, std::string_view title,
                                 bool& first_view) {
        std::vector<const ParameterTarget*> targets;
        for (const ParameterTarget& t : record.parameters) {
            if (t.location == location) targets.push_back(&t);
        }
        if (targets.empty()) return;
        const bool measured = record.hits > 0;
        auto tally = [](const ParameterTarget& t) {
            std::pair<std::uint64_t, std::uint64_t> covered_total{0, 0};
            if (!t.holder.state) return covered_total;
            const auto& entries = t.holder.state->entries;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (!keyword_counted(entries, i)) continue;
                ++covered_total.second;
                if (section_covered(entries.entry(i))) ++covered_total.first;
            }
            return covered_total;
        };
        out += "<div class=\"op-section\"><span>";
        escape_html_text(out, title);
        if (measured) {
            std::uint64_t covered = 0;
            std::uint64_t total = 0;
            for (const ParameterTarget* t : targets) {
                const auto [c, n] = tally(*t);
                covered += c;
                total += n;
            }
            out += "</span><span class=\"op-section-meta\"><b>";
            append(out, covered);
            out += " of ";
            append(out, total);
            out += "</b> keywords covered</span></div>";
        } else {
            out += "</span><span class=\"op-section-meta bad\">not covered</span></div>";
        }
        for (const ParameterTarget* t : targets) {
            out += "<div class=\"op-item\"><span class=\"op-item-name\">";
            escape_html_text(out, t->name);
            if (measured) {
                const auto [c, n] = tally(*t);
                out += "</span><span class=\"op-item-meta ";
                out += n == 0 ? "muted" : c == n ? "ok" : "bad";
                out += "\">";
                if (n == 0) {
                    out += "no keywords";
                } else {
                    append(out, c);
                    out += " / ";
                    append(out, n);
                }
                out += "</span></div>";
            } else {
                out += "</span><span class=\"op-item-meta bad\">no coverage data</span></div>";
            }
            std::vector<const Diagnostic*> mine;
            for (const std::size_t i : index_.of_operation(path, method)) {
                const Diagnostic& d = diagnostics_[i];
                if (d.at.place == PositionPlace::Parameter && d.at.location == t->location &&
                    d.at.name_or_status == t->name) {
                    mine.push_back(&d);
                }
            }
            if (!mine.empty()) write_diagnostic_block(out, mine);
            write_schema(out, *t, first_view);
        }
    }

    static void write_average(std::string& out, float elapsed_total, std::uint64_t hits) {
        const float average = elapsed_total / static_cast<float>(hits) * 1000.0f;
        char buffer[64];
        const int n = std::snprintf(buffer, sizeof buffer, "%.0f", static_cast<double>(average));
        out.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        out += "<span class=\"unit\">ms</span>";
    }

    static void write_columns(std::string& out) {
        out +=
            "<div class=\"op-cols\"><span class=\"ch-c\">code</span><span class=\"ch-d\">description</span><span "
            "class=\"ch-h\">hits</span><span class=\"ch-a\">avg</span></div>";
    }

    static void write_responses(std::string& out, const OperationRecord& record) {
        const std::uint64_t documented = record.responses.size() + (record.has_default_response ? 1 : 0);
        const bool called = record.hits > 0;
        if (!called && documented == 0) return;
        std::uint64_t received = 0;
        for (const auto& r : record.responses) received += r.hits > 0 ? 1 : 0;
        if (record.has_default_response && record.default_response.hits > 0) ++received;
        if (called) {
            out += "<div class=\"op-section\"><span>Responses</span><span class=\"op-section-meta\"><b>";
            append(out, received);
            out += " of ";
            append(out, documented);
            out += "</b> documented received</span></div>";
        } else {
            out +=
                "<div class=\"op-section\"><span>Expected Responses</span><span class=\"op-section-meta "
                "bad\"><b>0 of ";
            append(out, documented);
            out += "</b> documented received</span></div>";
        }
        write_columns(out);
        auto row = [&](const model::ResponseTarget& r, std::string_view status, bool is_default) {
            const bool never = !is_default && r.hits == 0;
            out += "<div class=\"op-resp-row ";
            out += is_default ? std::string_view("default") : response_class(status);
            if (never) out += " never";
            out += "\"><span class=\"code\">";
            escape_html_text(out, status);
            out += "</span><span class=\"desc\" title=\"";
            escape_html_attribute(out, r.description);
            out += "\">";
            escape_html_text(out, r.description);
            out += "</span><span class=\"hits\">";
            append(out, r.hits);
            out += "</span><span class=\"avg\">";
            if (r.hits > 0) {
                write_average(out, r.elapsed_total, r.hits);
            } else {
                out += is_default ? "-" : "never seen";
            }
            out += "</span></div>";
        };
        for (const auto& r : record.responses) row(r, format_status_pattern(r.status), false);
        if (record.has_default_response) row(record.default_response, "default", true);
        if (!record.unexpected_responses.empty()) {
            out += "<div class=\"op-subsection\">Undocumented <span class=\"hint\">- not in spec</span></div>";
            write_columns(out);
            for (const auto& u : record.unexpected_responses) {
                const std::string status = std::to_string(u.status);
                out += "<div class=\"op-resp-row undocumented ";
                out += response_class(status);
                out += "\"><span class=\"code\">";
                out += status;
                out += "</span><span class=\"desc\" title=\"";
                escape_html_attribute(out, reason_phrase(u.status));
                out += "\">";
                escape_html_text(out, reason_phrase(u.status));
                out += "</span><span class=\"hits\">";
                append(out, u.hits);
                out += "</span><span class=\"avg\">";
                if (u.hits > 0) {
                    write_average(out, u.elapsed_total, u.hits);
                } else {
                    out += "-";
                }
                out += "</span></div>";
            }
        }
    }

    static void write_examples(std::string& out, const OperationRecord& record) {
        struct Example {
            std::string label;
            std::string source;
            const Value* value;
            bool used;
        };
        std::vector<Example> examples;
        for (const ParameterTarget& t : record.parameters) {
            if (!t.holder.state) continue;
            const auto& entries = t.holder.state->entries;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (entries.entry(i).kind.tag != zavova::EntryTag::Example) continue;
                Example e;
                const bool body = t.location == ParameterLocation::Body;
                e.label = body ? "Body: " + t.name : std::string(example_label_word(t.location));
                e.source = body ? body_example_source(entries.location(i)) : t.name;
                e.value = t.schema ? deririrore::referencing::pointer_lookup(*t.schema, entries.location(i)) : nullptr;
                e.used = entries.entry(i).passed > 0;
                examples.push_back(std::move(e));
            }
        }
        if (examples.empty()) return;
        std::stable_sort(examples.begin(), examples.end(),
                         [](const Example& a, const Example& b) { return a.label < b.label; });
        const auto used = static_cast<std::uint64_t>(
            std::count_if(examples.begin(), examples.end(), [](const Example& e) { return e.used; }));
        out += "<div class=\"op-section\"><span>Examples</span><span class=\"op-section-meta";
        if (used == examples.size()) {
            out += " ok";
        } else if (used == 0) {
            out += " bad";
        }
        out += "\">";
        append(out, used);
        out += " / ";
        append(out, examples.size());
        out += " used</span></div>";
        const std::string* previous = nullptr;
        for (const Example& e : examples) {
            if (previous == nullptr || *previous != e.label) {
                out += "<div class=\"op-examples-group-head\">";
                if (e.label.starts_with("Body: ")) {
                    out += "Body: <b>";
                    escape_html_text(out, std::string_view(e.label).substr(6));
                } else {
                    out += "<b>";
                    escape_html_text(out, e.label);
                }
                out += "</b></div>";
            }
            previous = &e.label;
            out += e.used ? "<div class=\"op-example\">" : "<div class=\"op-example unused\">";
            out += "<span class=\"dot\"></span><span class=\"value\" title=\"";
            std::string compact;
            std::string pretty;
            if (e.value != nullptr) {
                deririrore::value::append_json(compact, *e.value);
                append_pretty_json(pretty, *e.value);
            }
            escape_html_attribute(out, compact);
            out += "\">";
            escape_html_text(out, pretty);
            out += "</span><span class=\"source\" title=\"";
            escape_html_attribute(out, e.source);
            out += "\">";
            std::string_view shown = e.source;
            if (shown.ends_with(".example")) {
                shown.remove_suffix(8);
            } else if (shown.ends_with(".default")) {
                shown.remove_suffix(8);
            }
            const std::size_t dot = shown.rfind('.');
            if (dot != std::string_view::npos) {
                escape_html_text(out, shown.substr(0, dot));
                out += ".<span class=\"leaf\">";
                escape_html_text(out, shown.substr(dot + 1));
            } else {
                out += "<span class=\"leaf\">";
                escape_html_text(out, shown);
            }
            out += "</span></span></div>";
        }
    }

    const recorders::CoverageMap& map_;
    const UnmeasuredSet& unmeasured_;
    const std::vector<Diagnostic>& diagnostics_;
    DiagnosticIndex index_;
    std::unordered_map<std::string, std::string> anchors_;
    std::vector<Group> groups_;
    Counters counters_;
    std::uint64_t schema_counter_ = 0;
};

std::string map_form_path(const recorders::CoverageMap& map, std::string_view path) {
    std::string result(path);
    if (!path.starts_with('/')) {
        if (auto derived = model::derive_base_path(path)) result = std::move(*derived);
    }
    if (map.base_path && !map.base_path->empty()) {
        const std::string& base = *map.base_path;
        const bool has = result.starts_with(base) && (result.size() == base.size() || result[base.size()] == '/');
        if (!has) result = base + result;
    }
    return result;
}

void write_problems(std::string& out, const recorders::CoverageMap& map, const PageWriter& page,
                    const std::vector<Diagnostic>& diagnostics) {
    if (diagnostics.empty()) return;
    const DiagnosticGroups groups = group_diagnostics(diagnostics);
    out += groups.error_count == 0 ? "\n<details id=\"diagnostics\" class=\"dg-collected warnonly\">"
                                   : "\n<details id=\"diagnostics\" class=\"dg-collected\">";
    out +=
        "<summary><span class=\"chev\"><svg><use href=\"#icon-arrow\"/></svg></span><span>Specification "
        "problems</span><span class=\"spacer\"></span>";
    if (groups.error_count > 0) {
        out += "<span class=\"dg-count err\">";
        append(out, groups.error_count);
        out += groups.error_count == 1 ? " error" : " errors";
        out += "</span>";
    }
    if (groups.warning_count > 0) {
        out += "<span class=\"dg-count wrn\">";
        append(out, groups.warning_count);
        out += groups.warning_count == 1 ? " warning" : " warnings";
        out += "</span>";
    }
    out += "</summary><div class=\"dg-collected-body\">";
    std::size_t members = 0;
    for (const DiagnosticGroup& g : groups.groups) members += g.members.size();
    const bool open = members < 13;
    for (const DiagnosticGroup& g : groups.groups) {
        out += "<details class=\"dg-kind ";
        out += severity_name(g.severity);
        out += open ? "\" open>" : "\">";
        out +=
            "<summary><span class=\"chev\"><svg><use href=\"#icon-arrow\"/></svg></span><span "
            "class=\"dg-kind-dot\"></span><span class=\"dg-kind-name\">";
        escape_html_text(out, g.text.title);
        out += "</span><span class=\"dg-kind-hint\">";
        escape_html_text(out, g.text.impact);
        out += "</span><span class=\"dg-kind-n\">";
        append(out, g.count);
        out += "</span></summary><div class=\"dg-kind-body\"><p class=\"dg-action\">";
        if (!g.text.fix_pieces.empty()) {
            write_pieces(out, g.text.fix_pieces);
        } else {
            write_inline_code(out, g.text.fix);
        }
        out += "</p>";
        for (const GroupMember& member : g.members) {
            out += "<div class=\"dg-loc\"><span class=\"detail\" title=\"";
            escape_html_attribute(out, member.subject);
            out += "\">";
            escape_html_text(out, member.subject);
            out += "</span><span class=\"ats\">";
            for (const Diagnostic* d : member.diagnostics) {
                const PositionTrail trail = position_trail(d->at);
                auto words = [&] {
                    for (const std::string_view word : trail.parts) {
                        out += "<span class=\"q\">";
                        escape_html_text(out, word);
                        out += "</span>";
                    }
                };
                if (!trail.path) {
                    out += "<span class=\"at\">";
                    words();
                    out += "</span>";
                    continue;
                }
                const std::string path = map_form_path(map, *trail.path);
                HttpMethod method = trail.method;
                if (method == HttpMethod::None) {
                    if (const model::MethodMap* methods = map.routes.paths.find(path); methods && !methods->empty()) {
                        method = (*methods->begin()).method;
                    }
                }
                if (method == HttpMethod::None) {
                    out += "<span class=\"at\"><span class=\"p\">";
                    escape_html_text(out, path);
                    out += "</span>";
                    words();
                    out += "</span>";
                    continue;
                }
                out += "<a class=\"at\" href=\"#";
                if (const std::string* anchor = page.anchor_of(path, method)) {
                    escape_html_attribute(out, *anchor);
                } else {
                    escape_html_attribute(out, operation_anchor_id(method, path));
                }
                out += "\"><span class=\"m\">";
                out += http::method_name(method);
                out += " </span><span class=\"p\">";
                escape_html_text(out, path);
                out += "</span>";
                words();
                out += "</a>";
            }
            out += "</span></div>";
        }
        if (g.hidden > 0) {
            out += "<div class=\"dg-more\">+";
            append(out, g.hidden);
            out += " more of this kind</div>";
        }
        out += "</div></details>";
    }
    out += "</div></details>";
}

void write_unmatched(std::string& out, const recorders::CoverageMap& map) {
    const std::vector<UnmatchedGroup> groups = collect_unmatched_requests(map);
    if (groups.empty() && map.dropped_requests == 0) return;
    std::uint64_t total = 0;
    for (const auto& g : groups) total = saturating_add(total, g.count);
    out +=
        "\n<details class=\"unmatched-section\" open><summary class=\"unmatched-head\"><span "
        "class=\"unmatched-chev\"><svg><use href=\"#icon-arrow\"/></svg></span><span class=\"unmatched-title\">";
    append(out, total);
    out += total == 1 ? " unmatched request" : " unmatched requests";
    out +=
        "</span><span class=\"unmatched-hint\">Not counted in coverage above</span></summary><div "
        "class=\"unmatched-scroll\"><table class=\"unmatched-table\"><thead><tr><th scope=\"col\">Method</th><th "
        "scope=\"col\">Host</th><th scope=\"col\">Path</th><th scope=\"col\">Reason</th><th "
        "scope=\"col\">Count</th></tr></thead><tbody>";
    for (std::size_t i = 0; i < groups.size() && i < 10; ++i) {
        const UnmatchedGroup& g = groups[i];
        out += "<tr><td><span class=\"method ";
        out += lower_method(g.method);
        out += "\">";
        out += http::method_name(g.method);
        out += "</span></td><td class=\"unmatched-host\">";
        escape_html_text(out, g.host);
        out += "</td><td class=\"unmatched-path\"><span title=\"";
        escape_html_attribute(out, g.path);
        out += "\">";
        write_path_html(out, g.path);
        out += "</span></td><td class=\"unmatched-reason\">";
        out += g.reason == 0 ? "no matching path" : "method not documented";
        out += "</td><td class=\"unmatched-count\">";
        append(out, g.count);
        out += "</td></tr>";
    }
    out += "</tbody></table></div>";
    if (groups.size() > 10) {
        out += "<p class=\"unmatched-note\">... and ";
        append(out, groups.size() - 10);
        out += " more groups</p>";
    }
    if (map.unmatched.overflow() > 0) {
        out += "<p class=\"unmatched-note\">";
        append(out, map.unmatched.overflow());
        out += " further requests not tracked (1000 distinct groups max).</p>";
    }
    if (map.dropped_requests > 0) {
        out += "<p class=\"unmatched-note\">";
        append(out, map.dropped_requests);
        out += " requests dropped before matching: unparsable URL or unknown method.</p>";
    }
    out += "</details>";
}

std::size_t digit_count(std::uint64_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

struct CardSpec {
    std::string_view title;
    std::string_view description;
    std::string_view unit;
    std::string_view empty;
};

void write_card(std::string& out, const SummaryCard& card, const CardSpec& spec, const ThresholdResult* threshold) {
    out += "\n<div class=\"mc magnitude ";
    out += card.state_class;
    if (threshold) {
        const bool missed = threshold->actual && *threshold->actual < threshold->minimum;
        out += missed ? " t-miss" : " t-pass";
    }
    out += "\" style=\"--pct: ";
    append_shortest(out, card.percent);
    if (threshold) {
        out += "; --req: ";
        append_shortest(out, threshold->minimum);
    }
    out += "\"><div class=\"mc-head\"><span class=\"mc-title\">";
    out += spec.title;
    out += "</span><span class=\"mc-state\"></span></div><div class=\"mc-desc\">";
    out += spec.description;
    out += "</div><div class=\"mc-body\">";
    if (threshold) {
        out += "<div class=\"mc-ring\"><div class=\"mc-arc\"></div><span class=\"mc-min\">min ";
        append_shortest(out, threshold->minimum);
        out += "%</span></div>";
    } else {
        out += "<div class=\"mc-arc\"></div>";
    }
    out += "<div class=\"mc-num\"><span class=\"big\">";
    switch (card.state) {
        case SummaryCard::State::Neutral:
            out += "—";
            break;
        case SummaryCard::State::Uncovered:
            out += "0";
            break;
        case SummaryCard::State::Covered:
            out += "100";
            break;
        case SummaryCard::State::Partial: {
            char buffer[64];
            const int n = std::snprintf(buffer, sizeof buffer, "%.1f", card.shown_percent);
            out.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            break;
        }
    }
    out += "<span class=\"unit\">%</span></span><span class=\"sub\">";
    if (!card.has_figures) {
        out += card.text;
    } else {
        append(out, card.covered);
        out += card.long_figures ? " / " : " of ";
        append(out, card.total);
        out += ' ';
        out += card.text;
    }
    out += "</span></div></div><div class=\"mc-accent\"><span class=\"fill\"></span></div></div>";
}

std::string format_utc(std::int64_t unix_seconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(unix_seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

}  // namespace

SummaryCard build_summary_card(std::uint64_t covered, std::uint64_t total, std::string_view unit,
                               std::string_view empty_text) {
    SummaryCard card;
    card.covered = covered;
    card.total = total;
    if (total == 0) {
        card.state = SummaryCard::State::Neutral;
        card.state_class = "state-neutral";
        card.text = "not declared";
        return card;
    }
    if (covered == 0) {
        card.state = SummaryCard::State::Uncovered;
        card.state_class = "state-uncovered";
        card.text = empty_text;
        return card;
    }
    card.has_figures = true;
    card.text = unit;
    card.percent = static_cast<double>(covered) * 100.0 / static_cast<double>(total);
    card.long_figures = (digit_count(covered) - 1) + (digit_count(total) - 1) > 6;
    if (covered == total) {
        card.state = SummaryCard::State::Covered;
        card.state_class = "state-covered";
    } else {
        card.state = SummaryCard::State::Partial;
        card.state_class = "state-partial";
        card.shown_percent = std::floor(card.percent * 10) / 10;
    }
    return card;
}

std::string_view response_class(std::string_view status) {
    while (!status.empty() && (status.front() == ' ' || status.front() == '\t')) status.remove_prefix(1);
    while (!status.empty() && (status.back() == ' ' || status.back() == '\t')) status.remove_suffix(1);
    if (status.size() == 7) {
        std::string lowered(status);
        for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (lowered == "default") return "default";
    }
    if (status.empty()) return "default";
    switch (status.front()) {
        case '1':
            return "info";
        case '2':
            return "success";
        case '3':
            return "redirect";
        case '4':
            return "client";
        case '5':
            return "server";
        default:
            return "default";
    }
}

std::string_view reason_phrase(std::uint16_t status) {
    switch (status) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 422:
            return "Unprocessable Entity";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "";
    }
}

namespace {

std::vector<std::string> split_location(std::string_view text) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        segments.push_back(deririrore::referencing::unescape_pointer_segment(text.substr(start, slash - start)));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return segments;
}

// The names on the way: the segment after each "properties" and after "schemas", joined by ".".
std::string property_path(const std::vector<std::string>& segments, std::size_t end) {
    std::string path;
    for (std::size_t i = 0; i + 1 < end; ++i) {
        if (segments[i] == "properties" || segments[i] == "schemas") {
            if (!path.empty()) path += '.';
            path += segments[i + 1];
            ++i;
        }
    }
    return path;
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string body_example_source(std::string_view location) {
    if (location.starts_with('/')) location.remove_prefix(1);
    const std::vector<std::string> segments = split_location(location);
    const std::string& last = segments.back();
    const std::size_t n = segments.size();
    if (n >= 2 && all_digits(last) && segments[n - 2] == "examples") {
        const std::string path = property_path(segments, n - 2);
        return (path.empty() ? std::string("examples[") : path + ".examples[") + last + "]";
    }
    if (location.ends_with("/example") || location.ends_with("/default")) {
        const std::string path = property_path(segments, n - 1);
        return path.empty() ? last : path + "." + last;
    }
    if (location.find('/') == std::string_view::npos || last.empty() || last == "example" || last == "default") {
        return "example";
    }
    return last;
}

std::string operation_group_name(const std::vector<std::string>& tags, std::string_view path) {
    for (const std::string& tag : tags) {
        const std::string_view trimmed = trim_white(tag);
        if (!trimmed.empty()) return std::string(trimmed);
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::string_view segment =
            path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        std::string lowered(segment);
        for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        const bool version = lowered == "v1" || lowered == "v2" || lowered == "v3";
        const bool templated = segment.starts_with('{') && segment.ends_with('}');
        if (!segment.empty() && !version && lowered != "api" && !templated) return lowered;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return "other";
}

std::string write_html_report(const recorders::CoverageMap& map, const HtmlReportOptions& options) {
    return write_html_report_at(map, options, static_cast<std::int64_t>(std::time(nullptr)));
}

std::string write_html_report_at(const recorders::CoverageMap& map, const HtmlReportOptions& options,
                                 std::int64_t unix_seconds) {
    const std::string iso = format_utc(unix_seconds, "%Y-%m-%dT%H:%M:%SZ");
    const std::string shown = format_utc(unix_seconds, "%Y-%m-%d %H:%M:%S");
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    const Statistics stats = compute_statistics(map, unmeasured);
    const std::vector<Diagnostic> diagnostics = collect_diagnostics(map);
    const std::string_view title = options.title ? std::string_view(*options.title) : kDefaultHtmlTitle;

    std::size_t operations = 0;
    for (const auto& entry : map.routes.paths) operations += entry.methods.size();
    std::string out;
    out.reserve(32768 + 4096 * operations);

    out +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"UTF-8\">\n<meta name=\"viewport\" "
        "content=\"width=device-width, initial-scale=1.0\">\n<title>";
    escape_html_text(out, title);
    out += "</title>\n<link rel=\"icon\" type=\"image/svg+xml\" href=\"";
    out += html_assets::kFavicon;
    out += "\">\n<link rel=\"preconnect\" href=\"";
    out += kFontHost;
    out += "\">\n<link rel=\"preconnect\" href=\"";
    out += kFontFileHost;
    out += "\" crossorigin>\n<link rel=\"stylesheet\" href=\"";
    out += kFontHost;
    out += "/css2?family=Poppins:ital,wght@0,300;0,400;0,500;0,600;0,700;1,400;1,700&amp;display=swap\">\n<style>";
    out += html_assets::kStyle;
    out += "</style>\n</head>\n<body data-show-covered data-show-partial data-show-uncovered data-show-unmeasurable>\n";
    out += html_assets::kSprite;

    std::size_t missed = 0;
    for (const ThresholdResult& t : options.thresholds) {
        if (t.actual && *t.actual < t.minimum) ++missed;
    }
    out +=
        "\n<header class=\"container\"><div class=\"header-title\"><h1><svg class=\"vl-header-mark\"><use "
        "href=\"#vl-mark\"/></svg>";
    escape_html_text(out, title);
    out += "</h1><div class=\"subtitle\">API Coverage Report</div></div><div class=\"time\" data-iso=\"";
    out += iso;
    out += "\"><span class=\"rel\"></span><span class=\"abs\">";
    out += shown;
    out += "</span>";
    if (!options.thresholds.empty()) {
        const std::size_t n = options.thresholds.size();
        out += missed > 0 ? "<span class=\"tv fail\"><svg class=\"tv-glyph\"><use href=\"#icon-x\"/></svg> "
                          : "<span class=\"tv pass\"><svg class=\"tv-glyph\"><use href=\"#icon-check\"/></svg> ";
        if (missed == 1 && n == 1) {
            out += "1 threshold missed";
        } else if (missed > 0 && missed == n) {
            append(out, missed);
            out += " thresholds missed";
        } else if (missed > 0) {
            append(out, missed);
            out += " of ";
            append(out, n);
            out += " thresholds missed";
        } else if (n == 1) {
            out += "1 threshold met";
        } else {
            append(out, n);
            out += " thresholds met";
        }
        out += "</span>";
    }
    out += "</div></header>\n<div class=\"container\">\n<div class=\"charts\">";
    const CardSpec specs[5] = {
        {"Operations", "Operations called at least once", "called", "no operations called"},
        {"Parameters", "Tested with valid and invalid values", "covered", "no parameters covered"},
        {"Keywords", "Constraints tested both ways", "covered", "no keywords covered"},
        {"Examples", "Schema examples sent in tests", "used", "no examples used"},
        {"Responses", "Documented response codes hit", "received", "no responses recorded"},
    };
    const std::pair<std::uint64_t, std::uint64_t> figures[5] = {
        {stats.operations.seen, stats.operations.total}, {stats.parameters.full, stats.parameters.total},
        {stats.keywords.full, stats.keywords.total},     {stats.examples.seen, stats.examples.total},
        {stats.responses.seen, stats.responses.total},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const ThresholdResult* threshold = nullptr;
        for (const ThresholdResult& t : options.thresholds) {
            if (static_cast<std::size_t>(t.dimension) == i) {
                threshold = &t;
                break;
            }
        }
        write_card(out, build_summary_card(figures[i].first, figures[i].second, specs[i].unit, specs[i].empty),
                   specs[i], threshold);
    }
    out += "\n</div>";

    PageWriter page(map, unmeasured, diagnostics);
    page.fill_anchors();
    page.write_operations();
    const Counters& counters = page.counters();

    std::string tools;
    tools.reserve(2048);
    tools +=
        "\n<div class=\"coverage-tools\"><div class=\"search-bar\"><svg><use href=\"#icon-search\"/></svg><label "
        "for=\"search-input\" class=\"sr-only\">Search</label><input type=\"text\" id=\"search-input\" "
        "class=\"search-input\" placeholder=\"Search operations...\"><button type=\"button\" class=\"clear-btn\" "
        "aria-label=\"Clear search\"><svg><use href=\"#icon-close\"/></svg></button></div><div "
        "class=\"filter-group\" role=\"group\" aria-label=\"Coverage filters\"><span "
        "class=\"filter-label\">Show</span>";
    auto chip = [&](std::string_view filter, std::string_view label, std::uint32_t count, bool on) {
        tools += on ? "<button type=\"button\" class=\"filter-chip on\" aria-pressed=\"true\" data-filter=\""
                    : "<button type=\"button\" class=\"filter-chip\" aria-pressed=\"false\" data-filter=\"";
        tools += filter;
        tools += "\"><span class=\"dot\"></span>";
        tools += label;
        tools += "<span class=\"ct\">";
        append(tools, count);
        tools += "</span></button>";
    };
    chip("covered", "Covered", counters.covered, true);
    chip("partial", "Partial", counters.partial, true);
    chip("uncovered", "Uncovered", counters.uncovered, true);
    chip("unmeasurable", "Not measured", counters.unmeasured, true);
    if (counters.deprecated > 0) {
        tools += "<span class=\"filter-divider\"></span>";
        chip("deprecated", "Deprecated", counters.deprecated, false);
    }
    tools +=
        "</div><button type=\"button\" id=\"toggle-all\" class=\"toggle-all-btn\"><svg id=\"toggle-icon\"><use "
        "href=\"#icon-arrow\"/></svg><span id=\"toggle-text\">Expand all</span></button></div>\n<div "
        "id=\"empty-state\" class=\"empty-state\" hidden><b id=\"empty-state-title\">Nothing to show</b><span "
        "id=\"empty-state-msg\">Turn on at least one filter to see operations.</span></div>";
    out += tools;

    write_problems(out, map, page, diagnostics);
    page.write_groups(out);
    write_unmatched(out, map);

    out += "\n</div>\n<footer class=\"report-footer\"><a href=\"";
    out += kFeedbackUrl;
    out +=
        "\" target=\"_blank\" rel=\"noopener\">Help improve Vantorel: Share feedback</a><a "
        "class=\"report-footer-brand\" href=\"";
    out += kSiteUrl;
    out +=
        "\"><svg class=\"vl-footer-mark\"><use href=\"#vl-mark\"/></svg>Vantorel<span "
        "class=\"report-footer-version\">v";
    out += kVantorelVersion;
    out += "</span></a></footer>\n<script>";
    out += html_assets::kScript;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace vantorel::reports
