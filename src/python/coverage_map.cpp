#include "python/coverage_map.hpp"

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <variant>

#include "python/archives.hpp"
#include "python/convert.hpp"
#include "python/drovanterial.hpp"
#include "python/from_url.hpp"
#include "python/integrations.hpp"
#include "python/labels.hpp"
#include "python/recording.hpp"
#include "python/report_data.hpp"
#include "python/report_methods.hpp"
#include "python/statistics.hpp"
#include "python/suggestions.hpp"
#ifdef VC_PYTHON_TEST_HOOKS
#include "python/test_hooks.hpp"
#endif
#include "vantorel/model/document_text.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kCoverageMapDoc =
    "Tracks API test coverage against an `OpenAPI` specification.\n"
    "\n"
    "The main entry point for `Vantorel`. Load your `OpenAPI` spec, record HTTP\n"
    "traffic, and generate coverage reports.\n"
    "\n"
    "Example:\n"
    "```python\n"
    ">>> import vantorel_community\n"
    ">>> import requests\n"
    ">>> coverage = vantorel_community.CoverageMap.from_path(\"openapi.json\")\n"
    ">>> session = coverage.requests.track_session(requests.Session())\n"
    ">>> session.get(\"https://api.example.com/users\")\n"
    ">>> coverage.save_report(output_file=\"coverage.html\")\n"
    "```";

using deririrore::value::Value;

}  // namespace

// The map and the xdist data of a new object. The xdist data is kept only inside a pytest-xdist
// worker, which the controller marks with _VANTOREL_XDIST=1.
PyObject* new_coverage_map_object(CoreMap map, std::optional<std::string> base_path,
                                  std::optional<std::string> location, Value document) {
    PyTypeObject* type = get_coverage_map_type();
    if (type == nullptr) {
        return nullptr;
    }
    auto* content = new CoverageMapContent();
    content->map = std::move(map);
    const char* flag = std::getenv("_VANTOREL_XDIST");
    if (flag != nullptr && std::string_view(flag) == "1") {
        content->xdist_base_path = std::move(base_path);
        content->xdist_location = std::move(location);
        content->xdist_schema = std::move(document);
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
        delete content;
        return nullptr;
    }
    reinterpret_cast<CoverageMapObject*>(self)->content = content;
    return self;
}

namespace {

constexpr const char* kFromPathPositional[] = {"path"};
constexpr KeywordParam kFromPathKeywords[] = {{"base_path", false}};
constexpr Signature kFromPathSignature{"CoverageMap.from_path()", kFromPathPositional, 1, kFromPathKeywords};

constexpr const char* kFromDictPositional[] = {"schema"};
constexpr KeywordParam kFromDictKeywords[] = {{"base_path", false}, {"location", false}};
constexpr Signature kFromDictSignature{"CoverageMap.from_dict()", kFromDictPositional, 1, kFromDictKeywords};

// The path as text: a str, or a pathlib.Path through its __str__. Nothing else, so that a bytes
// path or another path-like object is refused with a clear message.
std::optional<std::string> read_path_argument(PyObject* path) {
    if (PyUnicode_Check(path)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(path, &size);
        if (text == nullptr) {
            return std::nullopt;
        }
        return std::string(text, static_cast<std::size_t>(size));
    }
    PyRef pathlib = PyRef::steal(PyImport_ImportModule("pathlib"));
    if (!pathlib) {
        return std::nullopt;
    }
    PyRef path_type = PyRef::steal(PyObject_GetAttrString(pathlib.get(), "Path"));
    if (!path_type) {
        return std::nullopt;
    }
    const int is_path = PyObject_IsInstance(path, path_type.get());
    if (is_path < 0) {
        return std::nullopt;
    }
    if (is_path == 0) {
        PyErr_Format(PyExc_TypeError, "path must be a string or pathlib.Path object, got %s", Py_TYPE(path)->tp_name);
        return std::nullopt;
    }
    PyRef text = PyRef::steal(PyObject_CallMethod(path, "__str__", nullptr));
    if (!text) {
        return std::nullopt;
    }
    if (!PyUnicode_Check(text.get())) {
        set_not_instance_error(text.get(), "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
    if (utf8 == nullptr) {
        return std::nullopt;
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

void raise_load_error(const vantorel::model::SpecLoadError& error, const std::string& path) {
    if (const auto* read = std::get_if<vantorel::model::SpecLoadError::Read>(&error.data)) {
        if (read->error.error_number != 0) {
            // OSError(errno, strerror, filename) becomes FileNotFoundError and its kin.
            PyRef args = PyRef::steal(Py_BuildValue("(is#s#)", read->error.error_number, read->error.message.data(),
                                                    static_cast<Py_ssize_t>(read->error.message.size()), path.data(),
                                                    static_cast<Py_ssize_t>(path.size())));
            if (args) {
                PyErr_SetObject(PyExc_OSError, args.get());
            }
            return;
        }
        PyErr_Format(PyExc_OSError, "%s: %s", read->error.message.c_str(), path.c_str());
        return;
    }
    PyErr_Format(PyExc_ValueError, "Failed to parse schema `%s`: %s", path.c_str(), error.message().c_str());
}

PyObject* coverage_map_from_path(PyObject* /*cls*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[2];
        if (!bind_arguments(kFromPathSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        std::optional<std::string> base_path;
        if (!read_optional_text(bound[1], "base_path", base_path)) {
            return nullptr;
        }
        std::optional<std::string> path = read_path_argument(bound[0]);
        if (!path) {
            return nullptr;
        }
        struct Loaded {
            std::optional<Value> document;
            std::optional<vantorel::model::SpecLoadError> error;
            CoreMap map;
        };
        Loaded loaded = run_detached([&] {
            Loaded out;
            auto read = vantorel::model::read_document_file(*path);
            if (!read) {
                out.error = std::move(read.error());
                return out;
            }
            out.map = build_core_map(*read, base_path, *path);
            out.document = std::move(*read);
            return out;
        });
        if (loaded.error) {
            raise_load_error(*loaded.error, *path);
            return nullptr;
        }
        return new_coverage_map_object(std::move(loaded.map), std::move(base_path), std::move(path),
                                       std::move(*loaded.document));
    });
}

PyObject* coverage_map_from_dict(PyObject* /*cls*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[3];
        if (!bind_arguments(kFromDictSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        if (!PyDict_Check(bound[0])) {
            set_not_instance_error(bound[0], "dict");
            add_processing_note("schema");
            return nullptr;
        }
        std::optional<std::string> base_path;
        std::optional<std::string> location;
        if (!read_optional_text(bound[1], "base_path", base_path) ||
            !read_optional_text(bound[2], "location", location)) {
            return nullptr;
        }
        std::optional<Value> document = python_to_json(bound[0]);
        if (!document) {
            return nullptr;
        }
        CoreMap map = run_detached([&] { return build_core_map(*document, base_path, location); });
        return new_coverage_map_object(std::move(map), std::move(base_path), std::move(location), std::move(*document));
    });
}

PyObject* optional_text_to_python(const std::optional<std::string>& text) {
    if (!text) {
        Py_RETURN_NONE;
    }
    return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "surrogatepass");
}

PyObject* coverage_map_get_options(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        const CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        PyRef result = PyRef::steal(PyDict_New());
        if (!result) {
            return nullptr;
        }
        PyRef base_path = PyRef::steal(optional_text_to_python(content.xdist_base_path));
        PyRef location = PyRef::steal(optional_text_to_python(content.xdist_location));
        if (!base_path || !location || PyDict_SetItemString(result.get(), "base_path", base_path.get()) < 0 ||
            PyDict_SetItemString(result.get(), "location", location.get()) < 0) {
            return nullptr;
        }
        return result.release();
    });
}

PyObject* coverage_map_get_schema(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        const CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        if (!content.xdist_schema) {
            Py_RETURN_NONE;
        }
        return json_to_python(*content.xdist_schema);
    });
}

PyMethodDef coverage_map_methods[] = {
    {"from_path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_from_path)),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS, "from_path($cls, path, *, base_path=None)\n--\n\n"},
    {"from_dict", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_from_dict)),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_dict($cls, schema, *, base_path=None, location=None)\n--\n\n"
     "Create a coverage map from a parsed OpenAPI specification.\n\nArgs:\n    schema: The OpenAPI "
     "specification as a dictionary.\n    base_path: Base path prefix for all operations.\n    location: "
     "File path or URL of the specification; `$ref`s to other files resolve\n        against its directory, or "
     "the working directory without it.\n\nReturns:\n    A new `CoverageMap` instance."},
    {"from_url", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_from_url)),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_url($cls, url, *, base_path=None)\n--\n\nCreate a coverage map from an OpenAPI specification URL.\n\n"
     "Fetches the schema from the given URL and parses it as JSON or YAML.\n\nArgs:\n    url: URL to fetch the "
     "OpenAPI specification from.\n    base_path: Base path prefix for all operations.\n\nReturns:\n    A new "
     "`CoverageMap` instance."},
    {"get_options", coverage_map_get_options, METH_NOARGS,
     "get_options($self)\n--\n\nReturn the arguments this map was built with, as a dict with keys "
     "`base_path`\nand location (both str | None). Empty values outside a pytest-xdist worker.\n\nUsed by "
     "xdist workers so the controller can rebuild an equivalent map."},
    {"get_schema", coverage_map_get_schema, METH_NOARGS,
     "get_schema($self)\n--\n\nReturn the stored `OpenAPI` schema dict, or None outside a pytest-xdist "
     "worker.\n\nUsed by xdist workers to send the schema to the controller process."},
    {"record", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_record)),
     METH_FASTCALL | METH_KEYWORDS, "record($self, request, response=None, timestamp=None, labels=None)\n--\n\n"},
    {"record_error", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_record_error)),
     METH_FASTCALL | METH_KEYWORDS, "record_error($self, method, path, message)\n--\n\n"},
    {"record_drovanterial_interactions",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_record_drovanterial_interactions)),
     METH_FASTCALL | METH_KEYWORDS,
     "record_drovanterial_interactions($self, method, path, interactions, labels=None, *, events=True)\n--\n\n"},
    {"dropped_requests", coverage_map_dropped_requests, METH_NOARGS,
     "dropped_requests($self)\n--\n\nRequests discarded before matching (unparsable URL or unknown method)."},
    {"unmatched_overflow", coverage_map_unmatched_overflow, METH_NOARGS,
     "unmatched_overflow($self)\n--\n\nRequests dropped after the distinct-group cap of unmatched requests "
     "was reached.\n\nA non-zero value means that `unmatched_requests` is truncated."},
    {"label_overflow", coverage_map_label_overflow, METH_NOARGS,
     "label_overflow($self)\n--\n\nLabels refused because the map already holds the most distinct labels it "
     "keeps."},
    {"statistic", coverage_map_statistic, METH_NOARGS,
     "statistic($self)\n--\n\nReturn the coverage statistics as nested dicts, one per dimension.\n\nKeys, in "
     "order: ``operations`` (seen, total, timeline), ``parameters`` and ``keywords``\n(positive, negative, "
     "partial, full, total, timeline), ``examples`` (seen, total,\ntimeline), ``responses`` (seen, total, "
     "elapsed_total_seconds, timeline) and\n``response_keywords`` (reached, violated, total). A timeline is a "
     "list of\n``(time, count)`` tuples, time in seconds since the Unix epoch, ascending: how many\ntargets "
     "became covered at that instant. Operations on path templates that cannot\nbe routed and were never hit "
     "are left out of every count."},
    {"check_thresholds", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_check_thresholds)),
     METH_FASTCALL | METH_KEYWORDS,
     "check_thresholds($self, *, operations=None, parameters=None, keywords=None, examples=None, "
     "responses=None, response_keywords=None, label=None)\n--\n\nCheck per-dimension coverage thresholds.\n\n"
     "All threshold values are percentages (0-100). Dimensions with no data\n(total == 0) are silently skipped. "
     "An empty list means every configured\nthreshold is met. `response_keywords` is not covered by any\nother "
     "threshold \u2014 it must be set explicitly.\n\nWith `label`, the coverage that traffic recorded with that "
     "label reached is\nchecked: per dimension the label's covered count against the map-wide total,\nas "
     "`label_summary` gives them.\n\nReturns:\n    A list of failures in dimension order, each a "
     "dict with the keys\n    ``dimension`` (str), ``actual`` (float), ``minimum`` (float).\n\nRaises:\n    "
     "ValueError: when `label` names a label no recorded traffic carried."},
    {"export_counts", coverage_map_export_counts, METH_NOARGS,
     "export_counts($self)\n--\n\nEverything this map recorded, as opaque bytes for `merge_counts` on a map of the "
     "same\nspecification in another process."},
    {"merge_counts", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_merge_counts)),
     METH_FASTCALL | METH_KEYWORDS,
     "merge_counts($self, counts)\n--\n\nAdd counts another map of the same specification exported, as if this map "
     "had recorded\ntheir traffic too.\n\nRaises:\n    ValueError: When `counts` is malformed or does not fit this "
     "map's specification."},
    {"covered_by", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_covered_by)),
     METH_FASTCALL | METH_KEYWORDS, kCoveredByDoc},
    {"label_summary", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_label_summary)),
     METH_FASTCALL | METH_KEYWORDS, kLabelSummaryDoc},
    {"label_summaries", coverage_map_label_summaries, METH_NOARGS, kLabelSummariesDoc},
    {"generate_report", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_generate_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "generate_report($self, *, format=\"html\", title=None)\n--\n\nGenerate a coverage report.\n\nArgs:\n    "
     "format: Output format - \"html\" (default) or \"json\"\n    title: Custom title for HTML reports\n\nReturns: "
     "Report content as a string"},
    {"save_report", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_save_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "save_report($self, *, output_file=None, format=\"html\", title=None)\n--\n\nSave a coverage report to "
     "a file.\n\nArgs:\n    `output_file`: Output file path. Defaults based on format.\n    `format`: Output format - "
     "\"html\" (default) or \"json\"\n    `title`: Custom title for HTML reports"},
    {"generate_html_report",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_generate_html_report)),
     METH_FASTCALL | METH_KEYWORDS, "generate_html_report($self, *, title=None)\n--\n\n"},
    {"generate_json_report", coverage_map_generate_json_report, METH_NOARGS, "generate_json_report($self)\n--\n\n"},
    {"save_html_report", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_save_html_report)),
     METH_FASTCALL | METH_KEYWORDS, "save_html_report($self, *, output_file=None, title=None)\n--\n\n"},
    {"save_json_report", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_save_json_report)),
     METH_FASTCALL | METH_KEYWORDS, "save_json_report($self, *, output_file=None)\n--\n\n"},
    {"generate_markdown_report",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_generate_markdown_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "generate_markdown_report($self, *, report_url=None, weak_threshold=None, is_pull_request=False, "
     "sub_text=None, columns=None)\n--\n\nGenerate a Markdown coverage report.\n\nArgs:\n    `report_url`: Optional "
     "URL "
     "to link to the full HTML report\n    `weak_threshold`: Parameter coverage ratio below which an operation is "
     "flagged (0.0\u20131.0, default 1.0)\n    `columns`: List of columns to include (default: all). Valid values: "
     "parameters, keywords, responses, examples\n\nReturns: Markdown report content as a string"},
    {"save_markdown_report",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_save_markdown_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "save_markdown_report($self, *, output_file=None, report_url=None, weak_threshold=None, "
     "is_pull_request=False, sub_text=None, columns=None)\n--\n\n"},
    {"generate_text_report",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_generate_text_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "generate_text_report($self, *, width, colored=True, skip_covered=False, skip_empty=False, "
     "show_missing=None)\n--\n\n"},
    {"generate_text_summary",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_generate_text_summary)),
     METH_FASTCALL | METH_KEYWORDS,
     "generate_text_summary($self, *, colored=True)\n--\n\nGenerate a compact per-metric coverage "
     "summary for terminal output."},
    {"coverage_gaps", coverage_map_coverage_gaps, METH_NOARGS,
     "coverage_gaps($self)\n--\n\nReturns all coverage gaps as a flat list of dicts.\n\nEach dict has `method`, "
     "`path`, `kind`, and optional fields depending on kind."},
    {"build_json_report", coverage_map_build_json_report, METH_NOARGS,
     "build_json_report($self)\n--\n\nReturns the full coverage report as a Python dict."},
    {"operation_report", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(coverage_map_operation_report)),
     METH_FASTCALL | METH_KEYWORDS,
     "operation_report($self, method, path)\n--\n\nReturns the report for a single operation as a Python dict, or "
     "None if not found."},
    {"operation_reports", coverage_map_operation_reports, METH_NOARGS,
     "operation_reports($self)\n--\n\nReturns per-operation report data for all operations as a Python list."},
    {"diagnostics", coverage_map_diagnostics, METH_NOARGS,
     "diagnostics($self)\n--\n\nEverything worth telling the reader, as a list of dicts with keys: severity (str),\n"
     "kind (str), the fields that kind carries, and at (dict naming the position)."},
    {"unmatched_requests", coverage_map_unmatched_requests, METH_NOARGS,
     "unmatched_requests($self)\n--\n\nRequests that matched no documented operation, most frequent first.\n\n"
     "Returns:\n    A list of dicts with keys ``method``, ``host``, ``path``, ``reason``, ``count`` and\n"
     "    ``first_seen_at``; ``reason`` is ``no_matching_path`` or ``method_not_documented``."},
    {"uncovered_keywords", coverage_map_uncovered_keywords, METH_NOARGS,
     "uncovered_keywords($self)\n--\n\nReturns keywords without full coverage."},
    {"suggestions", coverage_map_suggestions, METH_NOARGS,
     "suggestions($self)\n"
     "--\n"
     "\n"
     "Suggested requests per operation and location, as the JSON report lists them.\n"
     "\n"
     "Returns:\n"
     "    A list of dicts with keys ``method``, ``path``, ``location``, ``media_type`` (body\n"
     "    only), ``gaps``, ``requests``, ``hidden``, ``uncovered``; ``covers`` and\n"
     "    ``uncovered[].gap`` index ``gaps``.\n"
     "\n"
     "A gap is one side of a keyword check that recorded traffic has not reached: ``valid``\n"
     "when the check never passed, ``invalid`` when it never failed (a check that can only\n"
     "pass, or only fail, has one side). Candidate values are built from the schema: its\n"
     "``const``, ``enum``, ``examples``, ``example`` and ``default``; values at and beside its\n"
     "bounds (``minimum``, ``maximum``, their exclusive forms, ``multipleOf``, lengths, item and\n"
     "property counts); the object without each ``required`` property or with an extra one;\n"
     "samples of known ``format``s; a value of every JSON type. Each is placed where the\n"
     "keyword's subschema applies inside an otherwise schema-built value, then traced through\n"
     "the operation's own compiled schema on a scratch copy of its counters: ``covers`` lists\n"
     "only the gaps that trace reached, and ``polarity`` says whether the whole value was valid.\n"
     "Requests are chosen greedily, the one reaching most open gaps first; at most 8 are listed\n"
     "and ``hidden`` counts the further ones needed. For a parameter location a request's\n"
     "``value`` maps one parameter name to its value; for a body it is the body. A gap no\n"
     "candidate reached is in ``uncovered`` with its reason: ``unsatisfiable`` (no value passes\n"
     "the schema), ``unsupported`` (its place in a value cannot be told from the schema path,\n"
     "or the target has no compiled schema), ``heavy`` (more than 256 distinct candidates or\n"
     "20000 counted checks), ``exhausted`` (no candidate reached it)."},
#ifdef VC_PYTHON_TEST_HOOKS
    {"_hold_lock_and_call", coverage_map_hold_lock_and_call, METH_O, nullptr},
    {"_stop_under_lock", coverage_map_stop_under_lock, METH_NOARGS, nullptr},
#endif
    {nullptr, nullptr, 0, nullptr},
};

void coverage_map_dealloc(PyObject* self) {
    auto* obj = reinterpret_cast<CoverageMapObject*>(self);
    CoverageMapContent* content = std::exchange(obj->content, nullptr);
    PyTypeObject* type = Py_TYPE(self);
    delete content;
    type->tp_free(self);
    Py_DECREF(type);
}

// Each read hands out a new integration object bound to this map.
PyGetSetDef coverage_map_getters[] = {
    {"requests", coverage_map_requests, nullptr, nullptr, nullptr},
    {"httpx", coverage_map_httpx, nullptr, nullptr, nullptr},
    {"django", coverage_map_django, nullptr, nullptr, nullptr},
    {"flask", coverage_map_flask, nullptr, nullptr, nullptr},
    {"har", coverage_map_har, nullptr, nullptr, nullptr},
    {"vcr", coverage_map_vcr, nullptr, nullptr, nullptr},
    {"postman", coverage_map_postman, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot coverage_map_slots[] = {
    {Py_tp_doc, const_cast<char*>(kCoverageMapDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(coverage_map_dealloc)},
    {Py_tp_methods, coverage_map_methods},
    {Py_tp_getset, coverage_map_getters},
    {0, nullptr},
};

PyType_Spec coverage_map_spec = {
    "vantorel_community.CoverageMap",
    sizeof(CoverageMapObject),
    0,
    // Not subclassable and not instantiable: maps come from the class methods.
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    coverage_map_slots,
};

}  // namespace

PyTypeObject* get_coverage_map_type() {
    static std::atomic<PyObject*> cell{nullptr};
    PyObject* type = install_once(cell, [] { return PyType_FromSpec(&coverage_map_spec); });
    if (type == nullptr) {
        PyErr_WriteUnraisable(nullptr);
        PyObject* panic = panic_exception_type();
        PyErr_SetString(panic != nullptr ? panic : PyExc_SystemError, "failed to create type object for `CoverageMap`");
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace vantorel::python
