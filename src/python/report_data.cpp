#include "python/report_data.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "python/convert.hpp"
#include "python/coverage_map.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/reports/coverage_gaps.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/orderings.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::python {
namespace {

namespace rep = vantorel::reports;

CoverageMapContent& content_of(PyObject* self) { return *reinterpret_cast<CoverageMapObject*>(self)->content; }

PyObject* text(std::string_view t) {
    return PyUnicode_DecodeUTF8(t.data(), static_cast<Py_ssize_t>(t.size()), "replace");
}
PyObject* count(std::uint64_t n) { return PyLong_FromUnsignedLongLong(n); }
PyObject* optional_float(const std::optional<double>& value) {
    if (!value) Py_RETURN_NONE;
    return PyFloat_FromDouble(*value);
}

// A dict filled key by key in the JSON report's order; the first failure sticks and every later
// value handed in is released.
class Dict {
public:
    Dict() : dict_(PyRef::steal(PyDict_New())), ok_(static_cast<bool>(dict_)) {}
    Dict& add(const char* key, PyObject* value) {
        PyRef owned = PyRef::steal(value);
        if (ok_) ok_ = owned && PyDict_SetItemString(dict_.get(), key, owned.get()) == 0;
        return *this;
    }
    Dict& add(std::string_view key, PyObject* value) {
        PyRef owned = PyRef::steal(value);
        PyRef name = PyRef::steal(ok_ ? text(key) : nullptr);
        if (ok_) ok_ = owned && name && PyDict_SetItem(dict_.get(), name.get(), owned.get()) == 0;
        return *this;
    }
    PyObject* done() { return ok_ ? dict_.release() : nullptr; }

private:
    PyRef dict_;
    bool ok_;
};

// A list of exactly `items.size()` converted elements.
template <class Items, class Convert>
PyObject* list_of(const Items& items, Convert&& convert) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& item : items) {
        PyObject* element = convert(item);
        if (element == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), i++, element);
    }
    return list.release();
}

PyObject* ratio(const rep::CoverageRatio& r) {
    return Dict()
        .add("covered", count(r.covered))
        .add("total", count(r.total))
        .add("percent", optional_float(r.percent))
        .done();
}
PyObject* ratio(const rep::PartialCoverageRatio& r) {
    return Dict()
        .add("covered", count(r.covered))
        .add("partial", count(r.partial))
        .add("total", count(r.total))
        .add("percent", optional_float(r.percent))
        .done();
}
PyObject* ratio(const rep::ReachRatio& r) {
    return Dict()
        .add("reached", count(r.reached))
        .add("violated", count(r.violated))
        .add("total", count(r.total))
        .add("percent", optional_float(r.percent))
        .done();
}

PyObject* summary(const rep::ReportSummary& s) {
    Dict d;
    d.add("operations", ratio(s.operations))
        .add("parameters", ratio(s.parameters))
        .add("keywords", ratio(s.keywords))
        .add("examples", ratio(s.examples))
        .add("responses", ratio(s.responses))
        .add("response_keywords", ratio(s.response_keywords));
    if (s.suggestions) {
        d.add("suggestions", Dict()
                                 .add("requests", count(s.suggestions->requests))
                                 .add("covered", count(s.suggestions->covered))
                                 .add("uncovered", count(s.suggestions->uncovered))
                                 .done());
    }
    return d.done();
}

PyObject* position(const rep::DiagnosticPosition& at) {
    Dict d;
    if (at.place == rep::PositionPlace::Document) return d.add("in", text("document")).done();
    d.add("path", text(at.path)).add("in", text(rep::position_place_name(at.place)));
    if (at.place == rep::PositionPlace::PathItem) return d.done();
    d.add("method", text(http::method_name(at.method)));
    switch (at.place) {
        case rep::PositionPlace::Parameter:
            d.add("location", text(rep::location_name(at.location))).add("name", text(at.name_or_status));
            break;
        case rep::PositionPlace::Response:
            d.add("status", text(at.name_or_status));
            break;
        case rep::PositionPlace::ResponseBody:
            d.add("status", text(at.name_or_status)).add("media_type", text(at.media_type));
            break;
        default:
            break;
    }
    return d.done();
}

PyObject* diagnostic(const rep::Diagnostic& diag) {
    Dict d;
    d.add("severity", text(rep::severity_name(diag.severity)))
        .add("kind", text(rep::diagnostic_kind_name(diag.kind())));
    if (const auto* unsatisfiable = diag.get_if<rep::diagnostic_kinds::Unsatisfiable>()) {
        if (unsatisfiable->causes) {
            d.add("causes", list_of(*unsatisfiable->causes, [](const zavova::DescribedCause& cause) {
                      return Dict()
                          .add("pointer", text(cause.location))
                          .add("keywords",
                               list_of(cause.keywords, [](const zavova::KeywordPreview& k) { return text(k.keyword); }))
                          .done();
                  }));
        }
    } else if (const auto* too_many = diag.get_if<rep::diagnostic_kinds::TooManyRouteParameters>()) {
        d.add("count", count(too_many->count)).add("limit", count(too_many->limit));
    } else {
        rep::for_each_diagnostic_field(
            diag, [&](std::string_view name, std::string_view value) { d.add(name, text(value)); });
    }
    return d.add("at", position(diag.at)).done();
}

PyObject* response(const rep::ResponseReport& r) {
    Dict d;
    d.add("status", text(r.status)).add("hits", count(r.hits));
    if (r.avg_elapsed_ms) d.add("avg_elapsed_ms", PyFloat_FromDouble(static_cast<double>(*r.avg_elapsed_ms)));
    if (!r.bodies.empty()) {
        d.add("bodies", list_of(r.bodies, [](const rep::BodyReport& body) {
                  Dict b;
                  b.add("media_type", text(body.media_type))
                      .add("hits", count(body.hits))
                      .add("coverage", ratio(body.coverage));
                  if (!body.keywords.empty()) {
                      b.add("keywords", list_of(body.keywords, [](const rep::ResponseKeywordRow& row) {
                                return Dict()
                                    .add("schema_path", text(row.schema_path))
                                    .add("state", text(rep::response_keyword_state_name(row.state)))
                                    .add("valid", count(row.valid))
                                    .add("invalid", count(row.invalid))
                                    .done();
                            }));
                  }
                  return b.done();
              }));
    }
    return d.done();
}

PyObject* parameter(const rep::ParameterReport& p) {
    Dict d;
    d.add("location", text(rep::location_name(p.location)))
        .add(p.is_body ? "media_type" : "name", text(p.name))
        .add("hits", count(p.hits))
        .add("coverage", ratio(p.coverage));
    if (!p.keywords.empty()) {
        d.add("keywords", list_of(p.keywords, [](const rep::KeywordRow& row) {
                  Dict k;
                  k.add("schema_path", text(row.schema_path)).add("state", text(rep::keyword_state_name(row.state)));
                  if (row.valid) k.add("valid", count(*row.valid));
                  if (row.invalid) k.add("invalid", count(*row.invalid));
                  if (row.reason) k.add("reason", text(*row.reason));
                  return k.done();
              }));
    }
    return d.done();
}

PyObject* operation(const rep::OperationReport& op) {
    Dict d;
    d.add("method", text(op.method)).add("path", text(op.path));
    if (op.operation_id) d.add("operation_id", text(*op.operation_id));
    d.add("hits", count(op.hits));
    if (!op.warnings.empty()) {
        d.add("warnings", list_of(op.warnings, [](const rep::OperationWarning& w) {
                  return Dict().add("type", text(rep::OperationWarning::type)).add("by", text(w.by)).done();
              }));
    }
    d.add("coverage", Dict()
                          .add("parameters", ratio(op.coverage.parameters))
                          .add("keywords", ratio(op.coverage.keywords))
                          .add("examples", ratio(op.coverage.examples))
                          .add("responses", ratio(op.coverage.responses))
                          .add("response_keywords", ratio(op.coverage.response_keywords))
                          .done());
    if (!op.parameters.empty()) d.add("parameters", list_of(op.parameters, parameter));
    if (!op.responses.empty()) d.add("responses", list_of(op.responses, response));
    if (!op.unexpected_responses.empty()) d.add("unexpected_responses", list_of(op.unexpected_responses, response));
    d.add("errors", list_of(op.errors, [](const std::string& e) { return text(e); }));
    return d.done();
}

PyObject* unmatched(const rep::UnmatchedGroup& g) {
    return Dict()
        .add("method", text(http::method_name(g.method)))
        .add("host", text(g.host))
        .add("path", text(g.path))
        .add("reason", text(rep::unmatched_reason_name(g.reason)))
        .add("count", count(g.count))
        .add("first_seen_at", PyFloat_FromDouble(g.first_seen_at))
        .done();
}

PyObject* index_list(const std::vector<std::uint64_t>& indexes) { return list_of(indexes, count); }

}  // namespace

PyObject* suggestion_to_python(const rep::Suggestion& s) {
    Dict d;
    d.add("method", text(s.method)).add("path", text(s.path)).add("location", text(rep::location_name(s.location)));
    if (s.media_type) d.add("media_type", text(*s.media_type));
    d.add("gaps", list_of(s.gaps,
                          [](const rep::SuggestionGap& g) {
                              return Dict()
                                  .add("parameter", text(g.parameter))
                                  .add("pointer", text(g.pointer))
                                  .add("polarity", text(rep::suggestion_polarity_name(g.polarity)))
                                  .done();
                          }))
        .add("requests", list_of(s.requests, [](const rep::SuggestedRequest& r) {
                 return Dict()
                     .add("polarity", text(rep::suggestion_polarity_name(r.polarity)))
                     .add("value", json_to_python(r.value))
                     .add("covers", index_list(r.covers))
                     .done();
             }));
    d.add("hidden", count(s.hidden));
    d.add("uncovered", list_of(s.uncovered, [](const rep::UncoveredGap& g) {
              return Dict().add("gap", count(g.gap)).add("reason", text(rep::uncovered_reason_name(g.reason))).done();
          }));
    return d.done();
}

namespace {

PyObject* model_to_python(const rep::ReportModel& m) {
    Dict d;
    d.add("$schema", text(m.schema_url))
        .add("version", text(m.version))
        .add("vantorel_version", text(m.vantorel_version));
    if (m.schema_location) d.add("schema_location", text(*m.schema_location));
    d.add("generated_at", text(m.generated_at)).add("summary", summary(m.summary));
    if (!m.labels.empty()) {
        Dict labels;
        for (const auto& [name, label_summary] : m.labels) labels.add(std::string_view(name), summary(label_summary));
        d.add("labels", labels.done());
    }
    if (!m.diagnostics.empty()) d.add("diagnostics", list_of(m.diagnostics, diagnostic));
    d.add("operations", list_of(m.operations, operation));
    if (!m.unmatched.empty()) d.add("unmatched", list_of(m.unmatched, unmatched));
    if (m.unmatched_overflow != 0) d.add("unmatched_overflow", count(m.unmatched_overflow));
    if (m.dropped_requests != 0) d.add("dropped_requests", count(m.dropped_requests));
    if (m.suggestions) d.add("suggestions", list_of(*m.suggestions, suggestion_to_python));
    return d.done();
}

struct UncoveredRow {
    http::HttpMethod method;
    std::string_view path;
    model::ParameterLocation location;
    std::string_view parameter;
    std::string_view schema_path;
    std::uint8_t state;  // 0 miss, 1 needs_invalid, 2 needs_valid
    zavova::Polarity satisfiability;
};

std::vector<UncoveredRow> uncovered_rows(const CoreMap& map) {
    std::vector<UncoveredRow> rows;
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            for (const model::ParameterTarget& target : item.record.parameters) {
                const zavova::CoverageState* state = target.holder.state.get();
                if (state == nullptr) continue;
                for (std::size_t i = 0; i < state->entries.size(); ++i) {
                    const zavova::KeywordEntry& e = state->entries.entry(i);
                    const std::string_view location = state->entries.location(i);
                    if (e.kind.tag != zavova::EntryTag::Keyword || location.empty() ||
                        location == rep::kRootReference) {
                        continue;
                    }
                    const zavova::Polarity p = e.kind.polarity();
                    std::uint8_t code = 0;
                    if (e.passed > 0 && e.failed > 0) continue;
                    if (e.passed > 0) {
                        if (p == zavova::Polarity::ValidOnly) continue;
                        code = 1;
                    } else if (e.failed > 0) {
                        if (p == zavova::Polarity::InvalidOnly) continue;
                        code = 2;
                    }
                    rows.push_back(
                        {item.method, entry.route, model::target_location(target), target.name, location, code, p});
                }
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const UncoveredRow& a, const UncoveredRow& b) {
        return rep::uncovered_keyword_less({a.path, http::method_name(a.method), a.parameter, a.schema_path},
                                           {b.path, http::method_name(b.method), b.parameter, b.schema_path});
    });
    return rows;
}

constexpr const char* kStateNames[] = {"miss", "needs_invalid", "needs_valid"};

constexpr const char* kOperationReportPositional[] = {"method", "path"};
constexpr Signature kOperationReportSignature{"CoverageMap.operation_report()", kOperationReportPositional, 2, {}};

bool read_required_text(PyObject* obj, const char* name, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        set_not_instance_error(obj, "str");
        add_processing_note(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* t = PyUnicode_AsUTF8AndSize(obj, &size);
    if (t == nullptr) {
        add_processing_note(name);
        return false;
    }
    out.assign(t, static_cast<std::size_t>(size));
    return true;
}

// Path A: the records are built and converted with the lock held and the interpreter attached.
template <class Work>
PyObject* with_report_lock(PyObject* self, Work&& work) {
    CoverageMapContent& content = content_of(self);
    std::optional<PyObject*> result =
        with_map_attached(content.map_lock, content.map, [&](CoreMap& map) { return work(map); });
    return result ? *result : nullptr;
}

}  // namespace

PyObject* coverage_map_build_json_report(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        return with_report_lock(self, [](const CoreMap& map) { return model_to_python(rep::build_report_model(map)); });
    });
}

PyObject* coverage_map_operation_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[2];
        if (!bind_arguments(kOperationReportSignature, args, nargs, kwnames, bound)) return nullptr;
        std::string method;
        std::string path;
        if (!read_required_text(bound[0], "method", method) || !read_required_text(bound[1], "path", path)) {
            return nullptr;
        }
        return with_report_lock(self, [&](const CoreMap& map) -> PyObject* {
            const model::MethodMap* methods = map.routes.paths.find(path);
            const http::HttpMethod parsed = http::parse_method_name(method);
            const model::OperationRecord* record = methods != nullptr && parsed != http::HttpMethod::None
                                                       ? model::get_operation(*methods, parsed)
                                                       : nullptr;
            if (record == nullptr) Py_RETURN_NONE;
            return operation(rep::build_operation_report(method, path, *record).report);
        });
    });
}

PyObject* coverage_map_operation_reports(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        return with_report_lock(
            self, [](const CoreMap& map) { return list_of(rep::build_operation_reports(map), operation); });
    });
}

PyObject* coverage_map_diagnostics(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        return with_report_lock(self,
                                [](const CoreMap& map) { return list_of(rep::collect_diagnostics(map), diagnostic); });
    });
}

PyObject* coverage_map_unmatched_requests(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto groups = with_map_detached(content.map_lock, content.map,
                                        [](CoreMap& map) { return rep::collect_unmatched_requests(map); });
        if (!groups) return nullptr;
        return list_of(*groups, unmatched);
    });
}

PyObject* coverage_map_uncovered_keywords(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        return with_report_lock(self, [](const CoreMap& map) {
            return list_of(uncovered_rows(map), [](const UncoveredRow& row) {
                return Dict()
                    .add("method", text(http::method_name(row.method)))
                    .add("path", text(row.path))
                    .add("location", text(rep::location_name(row.location)))
                    .add("parameter", text(row.parameter))
                    .add("schema_path", text(row.schema_path))
                    .add("state", text(kStateNames[row.state]))
                    .add("satisfiability", text(rep::satisfiability_name(row.satisfiability)))
                    .done();
            });
        });
    });
}

}  // namespace vantorel::python
