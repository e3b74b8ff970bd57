#pragma once
// CoverageMap methods for parallel workers and per-test labels: exporting and merging counts, which
// labels reached an element, and each label's own coverage summary.
#include <optional>
#include <string_view>

#include "python/map_build.hpp"
#include "python/py.hpp"
#include "vantorel/reports/statistics.hpp"

namespace vantorel::python {

inline constexpr const char* kCoveredByDoc =
    "covered_by($self, method, path, *, location=None, name=None, keyword=None, status=None, media_type=None)\n"
    "--\n\n"
    "Labels whose traffic reached one element of an operation, by name, with the sides\n"
    "each reached (`valid`, `invalid` or `both`).\n\n"
    "Name the element as the JSON report does: nothing for the operation itself;\n"
    "``location`` and ``name`` for a parameter (``media_type`` for a body), plus\n"
    "``keyword`` for one of its schema keywords; ``status`` for a response, plus\n"
    "``keyword`` (and ``media_type`` when it declares several bodies) for its body.\n\n"
    "A keyword is reached on the valid side when labelled traffic made it pass and on\n"
    "the invalid side when it made it fail; a parameter or body by its schema as a whole;\n"
    "an operation or a response has only the valid side (it was reached).\n\n"
    "Returns:\n"
    "    A dict from label name to ``\"valid\"``, ``\"invalid\"`` or ``\"both\"``, labels in\n"
    "    ascending order; labels that never reached the element are left out.\n\n"
    "Raises:\n"
    "    ValueError: When the map has no such operation, parameter, response, body or keyword.";

inline constexpr const char* kLabelSummaryDoc =
    "label_summary($self, label)\n--\n\n"
    "Coverage reached by the traffic recorded with one label, in the JSON report's\n"
    "summary shape.\n\n"
    "Returns:\n"
    "    A dict with ``operations``, ``parameters``, ``keywords``, ``examples``,\n"
    "    ``responses`` and ``response_keywords``, each with its covered (or reached) count,\n"
    "    the map-wide ``total`` and ``percent`` (None when the total is 0), the same\n"
    "    figures as the report's ``labels`` member; None for a label no recorded traffic\n"
    "    carried.";

inline constexpr const char* kLabelSummariesDoc =
    "label_summaries($self)\n--\n\n"
    "Every label's `label_summary`, as a dict keyed by label name in ascending order\n"
    "(the JSON report's ``labels`` member); empty when no traffic carried a label.";

// export_counts()
PyObject* coverage_map_export_counts(PyObject* self, PyObject* unused);
// merge_counts(counts)
PyObject* coverage_map_merge_counts(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// covered_by(method, path, *, location=None, name=None, keyword=None, status=None, media_type=None)
PyObject* coverage_map_covered_by(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// label_summary(label)
PyObject* coverage_map_label_summary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// label_summaries()
PyObject* coverage_map_label_summaries(PyObject* self, PyObject* unused);

// The figures of one label as statistics, for the threshold check: each dimension's covered count
// and the map-wide total, as the label's summary has them. None for a label the map never saw.
// Called with the map's lock held.
std::optional<reports::Statistics> label_statistics(const CoreMap& map, std::string_view label);

}  // namespace vantorel::python
