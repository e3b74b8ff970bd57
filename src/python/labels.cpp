#include "python/labels.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/coverage_map.hpp"
#include "vantorel/recorders/counts.hpp"
#include "vantorel/reports/label_coverage.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kMergePositional[] = {"counts"};
constexpr Signature kMergeSignature{"CoverageMap.merge_counts()", kMergePositional, 1, {}};

constexpr const char* kCoveredByPositional[] = {"method", "path"};
constexpr KeywordParam kCoveredByKeywords[] = {
    {"location", false}, {"name", false}, {"keyword", false}, {"status", false}, {"media_type", false},
};
constexpr Signature kCoveredBySignature{"CoverageMap.covered_by()", kCoveredByPositional, 2, kCoveredByKeywords};

constexpr const char* kLabelSummaryPositional[] = {"label"};
constexpr Signature kLabelSummarySignature{"CoverageMap.label_summary()", kLabelSummaryPositional, 1, {}};

CoverageMapContent& content_of(PyObject* self) { return *reinterpret_cast<CoverageMapObject*>(self)->content; }

PyObject* text(std::string_view value) {
    return PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
}

bool put(PyObject* dict, const char* key, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* count(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

PyObject* percent(const std::optional<double>& value) {
    if (!value) Py_RETURN_NONE;
    return PyFloat_FromDouble(*value);
}

PyObject* ratio_to_python(const reports::CoverageRatio& ratio) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "covered", count(ratio.covered)) || !put(dict.get(), "total", count(ratio.total)) ||
        !put(dict.get(), "percent", percent(ratio.percent))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* ratio_to_python(const reports::PartialCoverageRatio& ratio) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "covered", count(ratio.covered)) ||
        !put(dict.get(), "partial", count(ratio.partial)) || !put(dict.get(), "total", count(ratio.total)) ||
        !put(dict.get(), "percent", percent(ratio.percent))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* ratio_to_python(const reports::ReachRatio& ratio) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "reached", count(ratio.reached)) ||
        !put(dict.get(), "violated", count(ratio.violated)) || !put(dict.get(), "total", count(ratio.total)) ||
        !put(dict.get(), "percent", percent(ratio.percent))) {
        return nullptr;
    }
    return dict.release();
}

// The JSON report's summary object, as a dict with the same keys in the same order.
PyObject* summary_to_python(const reports::ReportSummary& summary) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "operations", ratio_to_python(summary.operations)) ||
        !put(dict.get(), "parameters", ratio_to_python(summary.parameters)) ||
        !put(dict.get(), "keywords", ratio_to_python(summary.keywords)) ||
        !put(dict.get(), "examples", ratio_to_python(summary.examples)) ||
        !put(dict.get(), "responses", ratio_to_python(summary.responses)) ||
        !put(dict.get(), "response_keywords", ratio_to_python(summary.response_keywords))) {
        return nullptr;
    }
    return dict.release();
}

// Every label's summary, computed as the JSON report computes its "labels" member.
std::map<std::string, reports::ReportSummary> label_summaries_of(const CoreMap& map) {
    if (map.labels.names.empty()) return {};
    const reports::UnmeasuredSet unmeasured = reports::unmeasured_operations(map);
    return reports::summarize_labels(map, unmeasured, reports::summarize_operations(map, unmeasured));
}

bool read_text_argument(PyObject* obj, const char* name, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        set_not_instance_error(obj, "str");
        add_processing_note(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (utf8 == nullptr) {
        add_processing_note(name);
        return false;
    }
    out.assign(utf8, static_cast<std::size_t>(size));
    return true;
}

}  // namespace

PyObject* coverage_map_export_counts(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto bytes = with_map_detached(content.map_lock, content.map,
                                       [](CoreMap& map) { return recorders::export_counts_writer(map); });
        if (!bytes) {
            return nullptr;
        }
        return PyBytes_FromStringAndSize(bytes->data(), static_cast<Py_ssize_t>(bytes->size()));
    });
}

PyObject* coverage_map_merge_counts(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kMergeSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        if (!PyBytes_Check(bound[0])) {
            set_not_instance_error(bound[0], "bytes");
            add_processing_note("counts");
            return nullptr;
        }
        // The caller's reference keeps the immutable bytes alive while they are read detached.
        const PyRef counts = PyRef::borrow(bound[0]);
        const std::string_view input(PyBytes_AS_STRING(counts.get()),
                                     static_cast<std::size_t>(PyBytes_GET_SIZE(counts.get())));
        CoverageMapContent& content = content_of(self);
        auto error = with_map_detached(content.map_lock, content.map,
                                       [&](CoreMap& map) { return recorders::merge_counts(map, input); });
        if (!error) {
            return nullptr;
        }
        if (*error) {
            const std::string_view message = recorders::merge_error_message(**error);
            PyErr_SetObject(PyExc_ValueError, PyRef::steal(text(message)).get());
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* coverage_map_covered_by(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[7];
        if (!bind_arguments(kCoveredBySignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        std::string method_text;
        reports::LabelElement element;
        if (!read_text_argument(bound[0], "method", method_text) ||
            !read_text_argument(bound[1], "path", element.path)) {
            return nullptr;
        }
        element.method = http::parse_method_name(method_text);
        if (element.method == http::HttpMethod::None) {
            PyErr_Format(PyExc_ValueError, "unknown HTTP method %R", bound[0]);
            return nullptr;
        }
        std::optional<std::string> location;
        if (!read_optional_text(bound[2], "location", location) ||
            !read_optional_text(bound[3], "name", element.name) ||
            !read_optional_text(bound[4], "keyword", element.keyword) ||
            !read_optional_text(bound[5], "status", element.status) ||
            !read_optional_text(bound[6], "media_type", element.media_type)) {
            return nullptr;
        }
        if (location) {
            element.location = reports::parse_report_location(*location);
            if (!element.location) {
                PyErr_Format(PyExc_ValueError,
                             "unknown location %R: expected path, query, header, cookie, body, form_data or "
                             "querystring",
                             bound[2]);
                return nullptr;
            }
        }
        CoverageMapContent& content = content_of(self);
        auto reached = with_map_detached(content.map_lock, content.map,
                                         [&](CoreMap& map) { return reports::labels_reaching(map, element); });
        if (!reached) {
            return nullptr;
        }
        if (!*reached) {
            PyErr_SetObject(PyExc_ValueError, PyRef::steal(text(reached->error())).get());
            return nullptr;
        }
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict) {
            return nullptr;
        }
        for (const auto& [label, side] : **reached) {
            PyRef key = PyRef::steal(text(label));
            PyRef value = PyRef::steal(text(reports::label_side_name(side)));
            if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) != 0) {
                return nullptr;
            }
        }
        return dict.release();
    });
}

PyObject* coverage_map_label_summary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kLabelSummarySignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        std::string label;
        if (!read_text_argument(bound[0], "label", label)) {
            return nullptr;
        }
        CoverageMapContent& content = content_of(self);
        auto summary = with_map_detached(content.map_lock, content.map,
                                         [&](CoreMap& map) -> std::optional<reports::ReportSummary> {
                                             if (!map.labels.index.contains(label)) return std::nullopt;
                                             auto all = label_summaries_of(map);
                                             const auto found = all.find(label);
                                             if (found == all.end()) return std::nullopt;
                                             return found->second;
                                         });
        if (!summary) {
            return nullptr;
        }
        if (!*summary) {
            Py_RETURN_NONE;
        }
        return summary_to_python(**summary);
    });
}

PyObject* coverage_map_label_summaries(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto summaries =
            with_map_detached(content.map_lock, content.map, [](CoreMap& map) { return label_summaries_of(map); });
        if (!summaries) {
            return nullptr;
        }
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict) {
            return nullptr;
        }
        for (const auto& [label, summary] : *summaries) {
            PyRef key = PyRef::steal(text(label));
            PyRef value = PyRef::steal(summary_to_python(summary));
            if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) != 0) {
                return nullptr;
            }
        }
        return dict.release();
    });
}

std::optional<reports::Statistics> label_statistics(const CoreMap& map, std::string_view label) {
    if (!map.labels.index.contains(label)) return std::nullopt;
    const auto all = label_summaries_of(map);
    const auto found = all.find(std::string(label));
    if (found == all.end()) return std::nullopt;
    const reports::ReportSummary& s = found->second;
    reports::Statistics stats;
    stats.operations.seen = s.operations.covered;
    stats.operations.total = s.operations.total;
    stats.parameters.full = s.parameters.covered;
    stats.parameters.partial = s.parameters.partial;
    stats.parameters.total = s.parameters.total;
    stats.keywords.full = s.keywords.covered;
    stats.keywords.partial = s.keywords.partial;
    stats.keywords.total = s.keywords.total;
    stats.examples.seen = s.examples.covered;
    stats.examples.total = s.examples.total;
    stats.responses.seen = s.responses.covered;
    stats.responses.total = s.responses.total;
    stats.response_keywords.reached = s.response_keywords.reached;
    stats.response_keywords.violated = s.response_keywords.violated;
    stats.response_keywords.total = s.response_keywords.total;
    return stats;
}

}  // namespace vantorel::python
