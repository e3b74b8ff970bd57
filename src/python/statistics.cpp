#include "python/statistics.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/coverage_map.hpp"
#include "python/labels.hpp"
#include "vantorel/reports/statistics.hpp"

namespace vantorel::python {
namespace {

using reports::Dimension;
using reports::Statistics;
using reports::Timeline;

constexpr KeywordParam kThresholdKeywords[] = {
    {"operations", false}, {"parameters", false},        {"keywords", false}, {"examples", false},
    {"responses", false},  {"response_keywords", false}, {"label", false},
};
constexpr Signature kThresholdSignature{"CoverageMap.check_thresholds()", {}, 0, kThresholdKeywords};

CoverageMapContent& content_of(PyObject* self) { return *reinterpret_cast<CoverageMapObject*>(self)->content; }

// Stores a new reference under `key`; false with the Python error set when either failed.
bool put(PyObject* dict, const char* key, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* count(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

// A list of (time, count) tuples.
PyObject* timeline_to_python(const Timeline& timeline) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(timeline.size())));
    if (!list) {
        return nullptr;
    }
    for (std::size_t i = 0; i < timeline.size(); ++i) {
        PyObject* point = Py_BuildValue("(dK)", timeline[i].time, static_cast<unsigned long long>(timeline[i].count));
        if (point == nullptr) {
            return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), point);
    }
    return list.release();
}

PyObject* seen_to_python(std::uint64_t seen, std::uint64_t total, const Timeline& timeline) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "seen", count(seen)) || !put(dict.get(), "total", count(total)) ||
        !put(dict.get(), "timeline", timeline_to_python(timeline))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* graded_to_python(const reports::GradedStatistics& graded) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "positive", count(graded.positive)) ||
        !put(dict.get(), "negative", count(graded.negative)) || !put(dict.get(), "partial", count(graded.partial)) ||
        !put(dict.get(), "full", count(graded.full)) || !put(dict.get(), "total", count(graded.total)) ||
        !put(dict.get(), "timeline", timeline_to_python(graded.timeline))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* responses_to_python(const reports::ResponseStatistics& responses) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "seen", count(responses.seen)) || !put(dict.get(), "total", count(responses.total)) ||
        !put(dict.get(), "elapsed_total_seconds", PyFloat_FromDouble(static_cast<double>(responses.elapsed_total))) ||
        !put(dict.get(), "timeline", timeline_to_python(responses.timeline))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* response_keywords_to_python(const reports::ResponseKeywordStatistics& keywords) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "reached", count(keywords.reached)) ||
        !put(dict.get(), "violated", count(keywords.violated)) || !put(dict.get(), "total", count(keywords.total))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* statistics_to_python(const Statistics& stats) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict ||
        !put(dict.get(), "operations",
             seen_to_python(stats.operations.seen, stats.operations.total, stats.operations.timeline)) ||
        !put(dict.get(), "parameters", graded_to_python(stats.parameters)) ||
        !put(dict.get(), "keywords", graded_to_python(stats.keywords)) ||
        !put(dict.get(), "examples",
             seen_to_python(stats.examples.seen, stats.examples.total, stats.examples.timeline)) ||
        !put(dict.get(), "responses", responses_to_python(stats.responses)) ||
        !put(dict.get(), "response_keywords", response_keywords_to_python(stats.response_keywords))) {
        return nullptr;
    }
    return dict.release();
}

// None or absent: no threshold. An exact float as it is; anything else through the float
// protocol (int, bool, __float__, __index__), its error marked with the argument's name.
bool read_threshold(PyObject* obj, const char* name, std::optional<double>& out) {
    out.reset();
    if (obj == nullptr || obj == Py_None) {
        return true;
    }
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        add_processing_note(name);
        return false;
    }
    out = value;
    return true;
}

PyObject* failures_to_python(const std::vector<reports::ThresholdFailure>& failures) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(failures.size())));
    if (!list) {
        return nullptr;
    }
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const std::string_view name = reports::dimension_name(failures[i].dimension);
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict ||
            !put(dict.get(), "dimension",
                 PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()))) ||
            !put(dict.get(), "actual", PyFloat_FromDouble(failures[i].actual)) ||
            !put(dict.get(), "minimum", PyFloat_FromDouble(failures[i].minimum))) {
            return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list.release();
}

}  // namespace

PyObject* coverage_map_statistic(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto stats = with_map_detached(content.map_lock, content.map, [](CoreMap& map) {
            return reports::compute_statistics(map, reports::unmeasured_operations(map));
        });
        if (!stats) {
            return nullptr;
        }
        return statistics_to_python(*stats);
    });
}

PyObject* coverage_map_check_thresholds(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[7];
        if (!bind_arguments(kThresholdSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        reports::Thresholds thresholds{};
        for (std::size_t i = 0; i < reports::kDimensionCount; ++i) {
            if (!read_threshold(bound[i], kThresholdKeywords[i].name, thresholds[i])) {
                return nullptr;
            }
        }
        std::optional<std::string> label;
        if (!read_optional_text(bound[6], "label", label)) {
            return nullptr;
        }
        CoverageMapContent& content = content_of(self);
        auto failures = with_map_detached(
            content.map_lock, content.map, [&](CoreMap& map) -> std::optional<std::vector<reports::ThresholdFailure>> {
                if (label) {
                    // A label no recording carried is most likely a typo; passing or failing a
                    // gate on it would hide that.
                    const auto stats = label_statistics(map, *label);
                    if (!stats) return std::nullopt;
                    return reports::check_thresholds(*stats, thresholds);
                }
                const Statistics stats = reports::compute_statistics(map, reports::unmeasured_operations(map));
                return reports::check_thresholds(stats, thresholds);
            });
        if (!failures) {
            return nullptr;
        }
        if (!*failures) {
            PyErr_Format(PyExc_ValueError, "unknown label %R: no recorded traffic carried it", bound[6]);
            return nullptr;
        }
        return failures_to_python(**failures);
    });
}

}  // namespace vantorel::python
