#include "python/report_methods.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "python/convert.hpp"
#include "python/coverage_map.hpp"
#include "vantorel/reports/coverage_gaps.hpp"
#include "vantorel/reports/diagnostics.hpp"
#include "vantorel/reports/html_report.hpp"
#include "vantorel/reports/json_report.hpp"
#include "vantorel/reports/markdown_report.hpp"
#include "vantorel/reports/report_file.hpp"
#include "vantorel/reports/text_report.hpp"

namespace vantorel::python {
namespace {

enum class ReportFormat : std::uint8_t { Html, Json, Markdown, Text, Summary };

constexpr std::uint8_t kAllColumns = vantorel::reports::kAllColumns;
constexpr const char* kColumnList = vantorel::reports::kMarkdownColumnNames.data();

struct MarkdownArgs {
    std::optional<std::string> report_url;
    std::optional<std::string> sub_text;
    double weak_threshold = 1.0;
    std::uint8_t columns = kAllColumns;
    bool is_pull_request = false;
};

struct TextArgs {
    std::uint64_t width = 0;
    bool colored = true;
    bool skip_covered = false;
    bool skip_empty = false;
    bool show_missing = false;
};

// Everything a report needs, converted and checked before the map is touched.
struct ReportJob {
    ReportFormat format = ReportFormat::Html;
    std::string title = "Vantorel Report";
    MarkdownArgs markdown;
    TextArgs text;
};

// Runs under the map's lock with the interpreter released.
std::string render(const CoreMap& map, const ReportJob& job) {
    switch (job.format) {
        case ReportFormat::Json:
            return vantorel::reports::write_json_report(map);
        case ReportFormat::Markdown: {
            vantorel::reports::MarkdownOptions options;
            options.report_url = job.markdown.report_url;
            options.sub_text = job.markdown.sub_text;
            options.weak_threshold = job.markdown.weak_threshold;
            options.columns = job.markdown.columns;
            options.is_pull_request = job.markdown.is_pull_request;
            return vantorel::reports::write_markdown_report(map, options);
        }
        case ReportFormat::Text: {
            vantorel::reports::TextReportOptions options;
            options.width = job.text.width;
            options.show_missing = job.text.show_missing;
            options.colored = job.text.colored;
            options.skip_covered = job.text.skip_covered;
            options.skip_empty = job.text.skip_empty;
            return vantorel::reports::write_text_report(map, options);
        }
        case ReportFormat::Summary:
            return vantorel::reports::write_text_summary(map, job.text.colored);
        case ReportFormat::Html:
            return vantorel::reports::write_html_report(map, {{}, job.title});
    }
    throw deririrore::InternalError("a report format without a renderer was not refused");
}

const char* default_output_file(ReportFormat format) {
    switch (format) {
        case ReportFormat::Json:
            return "coverage.json";
        case ReportFormat::Markdown:
            return "coverage.md";
        default:
            return "coverage.html";
    }
}

CoverageMapContent& content_of(PyObject* self) { return *reinterpret_cast<CoverageMapObject*>(self)->content; }

PyObject* text_to_python(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// The one road of every report method: render under the lock, then hand the text back or write
// it to `output` in a second step that holds neither the lock nor the interpreter.
PyObject* run_report(PyObject* self, const ReportJob& job, const std::optional<std::string>& output) {
    CoverageMapContent& content = content_of(self);
    auto text = with_map_detached(content.map_lock, content.map, [&](CoreMap& map) { return render(map, job); });
    if (!text) return nullptr;
    if (!output) return text_to_python(*text);
    const std::optional<std::string> error =
        run_detached([&] { return vantorel::reports::write_report_file(*output, *text); });
    if (error) {
        PyRef message = PyRef::steal(text_to_python(*error));
        if (message) PyErr_SetObject(PyExc_OSError, message.get());
        return nullptr;
    }
    Py_RETURN_NONE;
}

bool ascii_iequal(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// True or False, or NumPy's boolean scalar; the default when absent.
bool read_flag(PyObject* obj, const char* name, bool fallback, bool& out) {
    if (obj == nullptr) {
        out = fallback;
        return true;
    }
    if (PyBool_Check(obj)) {
        out = obj == Py_True;
        return true;
    }
    const std::string_view type = Py_TYPE(obj)->tp_name;
    if (type == "numpy.bool_" || type == "numpy.bool") {
        const int truth = PyObject_IsTrue(obj);
        if (truth < 0) {
            add_processing_note(name);
            return false;
        }
        out = truth == 1;
        return true;
    }
    set_not_instance_error(obj, "bool");
    add_processing_note(name);
    return false;
}

bool read_text(PyObject* obj, const char* name, const char* fallback, std::string& out) {
    if (obj == nullptr) {
        out = fallback;
        return true;
    }
    if (!PyUnicode_Check(obj)) {
        set_not_instance_error(obj, "str");
        add_processing_note(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(obj, &size);
    if (text == nullptr) {
        add_processing_note(name);
        return false;
    }
    out.assign(text, static_cast<std::size_t>(size));
    return true;
}

// None (absent) or a sequence of str; a single str is refused rather than read letter by letter.
bool read_text_list(PyObject* obj, const char* name, std::optional<std::vector<std::string>>& out) {
    out.reset();
    if (obj == nullptr || obj == Py_None) return true;
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError,
                        "a single str cannot be taken as a list of texts; pass a list, e.g. [\"...\"]");
        add_processing_note(name);
        return false;
    }
    if (!PySequence_Check(obj)) {
        set_not_instance_error(obj, "Sequence");
        add_processing_note(name);
        return false;
    }
    PyRef items = PyRef::steal(PySequence_Fast(obj, "expected a sequence"));
    if (!items) {
        add_processing_note(name);
        return false;
    }
    std::vector<std::string> texts;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
    texts.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        std::string text;
        if (!read_text(PySequence_Fast_GET_ITEM(items.get(), i), name, "", text)) return false;
        texts.push_back(std::move(text));
    }
    out = std::move(texts);
    return true;
}

bool read_width(PyObject* obj, std::uint64_t& out) {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (index) {
        const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
        if (!(value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
            out = value;
            return true;
        }
    }
    add_processing_note("width");
    return false;
}

// None gives 1.0; an exact float is taken as it is, anything else through the float protocol.
// Not range-checked: the renderer gets what the caller gave.
bool read_weak_threshold(PyObject* obj, double& out) {
    if (obj == nullptr || obj == Py_None) {
        out = 1.0;
        return true;
    }
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        add_processing_note("weak_threshold");
        return false;
    }
    out = value;
    return true;
}

bool parse_format(const std::string& text, ReportFormat& out) {
    if (text == "html") {
        out = ReportFormat::Html;
    } else if (text == "json") {
        out = ReportFormat::Json;
    } else if (text == "markdown") {
        out = ReportFormat::Markdown;
    } else {
        PyErr_Format(PyExc_ValueError, "Unknown format `%s`; expected one of: html, json, markdown", text.c_str());
        return false;
    }
    return true;
}

bool parse_markdown_columns(const std::optional<std::vector<std::string>>& items, std::uint8_t& out) {
    if (!items) {
        out = kAllColumns;
        return true;
    }
    if (items->empty()) {
        PyErr_Format(PyExc_ValueError, "`columns` is empty; expected one or more of: %s", kColumnList);
        return false;
    }
    out = 0;
    for (const std::string& item : *items) {
        const std::uint8_t column = vantorel::reports::markdown_column(item);
        if (column == 0) {
            PyErr_Format(PyExc_ValueError, "Unknown column `%s`; expected one of: %s", item.c_str(), kColumnList);
            return false;
        }
        out |= column;
    }
    return true;
}

bool parse_show_missing(const std::optional<std::vector<std::string>>& items, bool& out) {
    out = false;
    if (!items) return true;
    for (const std::string& item : *items) {
        if (!ascii_iequal(item, "parameter")) {
            PyErr_Format(PyExc_ValueError, "Unknown report item `%s`; expected one of: parameter", item.c_str());
            return false;
        }
        out = true;
    }
    return true;
}

// report_url, weak_threshold, is_pull_request, sub_text, columns: the Markdown arguments in
// signature order, starting at `bound`.
bool read_markdown_args(PyObject* const* bound, MarkdownArgs& out) {
    std::optional<std::vector<std::string>> columns;
    return read_optional_text(bound[0], "report_url", out.report_url) &&
           read_weak_threshold(bound[1], out.weak_threshold) &&
           read_flag(bound[2], "is_pull_request", false, out.is_pull_request) &&
           read_optional_text(bound[3], "sub_text", out.sub_text) && read_text_list(bound[4], "columns", columns) &&
           parse_markdown_columns(columns, out.columns);
}

constexpr KeywordParam kReportKeywords[] = {{"format", false}, {"title", false}};
constexpr Signature kGenerateReportSignature{"CoverageMap.generate_report()", {}, 0, kReportKeywords};
constexpr KeywordParam kSaveReportKeywords[] = {{"output_file", false}, {"format", false}, {"title", false}};
constexpr Signature kSaveReportSignature{"CoverageMap.save_report()", {}, 0, kSaveReportKeywords};
constexpr KeywordParam kHtmlKeywords[] = {{"title", false}};
constexpr Signature kGenerateHtmlSignature{"CoverageMap.generate_html_report()", {}, 0, kHtmlKeywords};
constexpr KeywordParam kSaveHtmlKeywords[] = {{"output_file", false}, {"title", false}};
constexpr Signature kSaveHtmlSignature{"CoverageMap.save_html_report()", {}, 0, kSaveHtmlKeywords};
constexpr KeywordParam kSaveJsonKeywords[] = {{"output_file", false}};
constexpr Signature kSaveJsonSignature{"CoverageMap.save_json_report()", {}, 0, kSaveJsonKeywords};
constexpr KeywordParam kMarkdownKeywords[] = {{"report_url", false},
                                              {"weak_threshold", false},
                                              {"is_pull_request", false},
                                              {"sub_text", false},
                                              {"columns", false}};
constexpr Signature kGenerateMarkdownSignature{"CoverageMap.generate_markdown_report()", {}, 0, kMarkdownKeywords};
constexpr KeywordParam kSaveMarkdownKeywords[] = {{"output_file", false},    {"report_url", false},
                                                  {"weak_threshold", false}, {"is_pull_request", false},
                                                  {"sub_text", false},       {"columns", false}};
constexpr Signature kSaveMarkdownSignature{"CoverageMap.save_markdown_report()", {}, 0, kSaveMarkdownKeywords};
constexpr KeywordParam kTextKeywords[] = {
    {"width", true}, {"colored", false}, {"skip_covered", false}, {"skip_empty", false}, {"show_missing", false}};
constexpr Signature kTextSignature{"CoverageMap.generate_text_report()", {}, 0, kTextKeywords};
constexpr KeywordParam kSummaryKeywords[] = {{"colored", false}};
constexpr Signature kSummarySignature{"CoverageMap.generate_text_summary()", {}, 0, kSummaryKeywords};

// Stores a new reference under `key`; false with the Python error set when either failed.
bool put(PyObject* dict, const char* key, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* gap_to_python(const vantorel::reports::CoverageGap& gap) {
    using vantorel::reports::GapKind;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put(dict.get(), "kind", text_to_python(vantorel::reports::gap_kind_name(gap.kind))) ||
        !put(dict.get(), "method", text_to_python(http::method_name(gap.method))) ||
        !put(dict.get(), "path", text_to_python(gap.path))) {
        return nullptr;
    }
    switch (gap.kind) {
        case GapKind::OperationUnseen:
            break;
        case GapKind::ResponseUncovered:
            if (!put(dict.get(), "status_code", text_to_python(gap.status))) return nullptr;
            break;
        default:
            if (!put(dict.get(), "location", text_to_python(vantorel::reports::location_name(gap.location))) ||
                !put(dict.get(), "parameter", text_to_python(gap.parameter))) {
                return nullptr;
            }
            if (gap.kind == GapKind::ExampleUnseen) {
                if (!put(dict.get(), "example", json_to_python(gap.example))) return nullptr;
            } else if (gap.kind != GapKind::ParameterUncovered) {
                if (!put(dict.get(), "schema_path", text_to_python(gap.schema_path)) ||
                    !put(dict.get(), "satisfiability",
                         text_to_python(vantorel::reports::satisfiability_name(gap.satisfiability)))) {
                    return nullptr;
                }
            }
    }
    return dict.release();
}

}  // namespace

PyObject* coverage_map_generate_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[2];
        if (!bind_arguments(kGenerateReportSignature, args, nargs, kwnames, bound)) return nullptr;
        std::string format;
        std::optional<std::string> title;
        if (!read_text(bound[0], "format", "html", format) || !read_optional_text(bound[1], "title", title)) {
            return nullptr;
        }
        ReportJob job;
        if (!parse_format(format, job.format)) return nullptr;
        if (title) job.title = std::move(*title);
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_save_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[3];
        if (!bind_arguments(kSaveReportSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> output;
        std::string format;
        std::optional<std::string> title;
        if (!read_optional_text(bound[0], "output_file", output) || !read_text(bound[1], "format", "html", format) ||
            !read_optional_text(bound[2], "title", title)) {
            return nullptr;
        }
        ReportJob job;
        if (!parse_format(format, job.format)) return nullptr;
        if (title) job.title = std::move(*title);
        if (!output) output = default_output_file(job.format);
        return run_report(self, job, output);
    });
}

PyObject* coverage_map_generate_html_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                            PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kGenerateHtmlSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> title;
        if (!read_optional_text(bound[0], "title", title)) return nullptr;
        ReportJob job;
        if (title) job.title = std::move(*title);
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_save_html_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[2];
        if (!bind_arguments(kSaveHtmlSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> output;
        std::optional<std::string> title;
        if (!read_optional_text(bound[0], "output_file", output) || !read_optional_text(bound[1], "title", title)) {
            return nullptr;
        }
        ReportJob job;
        if (title) job.title = std::move(*title);
        if (!output) output = default_output_file(job.format);
        return run_report(self, job, output);
    });
}

PyObject* coverage_map_generate_json_report(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        ReportJob job;
        job.format = ReportFormat::Json;
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_save_json_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kSaveJsonSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> output;
        if (!read_optional_text(bound[0], "output_file", output)) return nullptr;
        ReportJob job;
        job.format = ReportFormat::Json;
        if (!output) output = default_output_file(job.format);
        return run_report(self, job, output);
    });
}

PyObject* coverage_map_generate_markdown_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                                PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[5];
        if (!bind_arguments(kGenerateMarkdownSignature, args, nargs, kwnames, bound)) return nullptr;
        ReportJob job;
        job.format = ReportFormat::Markdown;
        if (!read_markdown_args(bound, job.markdown)) return nullptr;
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_save_markdown_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                            PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[6];
        if (!bind_arguments(kSaveMarkdownSignature, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> output;
        if (!read_optional_text(bound[0], "output_file", output)) return nullptr;
        ReportJob job;
        job.format = ReportFormat::Markdown;
        if (!read_markdown_args(bound + 1, job.markdown)) return nullptr;
        if (!output) output = default_output_file(job.format);
        return run_report(self, job, output);
    });
}

PyObject* coverage_map_generate_text_report(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                            PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[5];
        if (!bind_arguments(kTextSignature, args, nargs, kwnames, bound)) return nullptr;
        ReportJob job;
        job.format = ReportFormat::Text;
        std::optional<std::vector<std::string>> show_missing;
        if (!read_width(bound[0], job.text.width) || !read_flag(bound[1], "colored", true, job.text.colored) ||
            !read_flag(bound[2], "skip_covered", false, job.text.skip_covered) ||
            !read_flag(bound[3], "skip_empty", false, job.text.skip_empty) ||
            !read_text_list(bound[4], "show_missing", show_missing) ||
            !parse_show_missing(show_missing, job.text.show_missing)) {
            return nullptr;
        }
        if (auto error = vantorel::reports::text_report_width_error(job.text.width)) {
            PyErr_SetString(PyExc_ValueError, error->c_str());
            return nullptr;
        }
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_generate_text_summary(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kSummarySignature, args, nargs, kwnames, bound)) return nullptr;
        ReportJob job;
        job.format = ReportFormat::Summary;
        if (!read_flag(bound[0], "colored", true, job.text.colored)) return nullptr;
        return run_report(self, job, std::nullopt);
    });
}

PyObject* coverage_map_coverage_gaps(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto gaps = with_map_detached(content.map_lock, content.map,
                                      [](CoreMap& map) { return vantorel::reports::collect_coverage_gaps(map); });
        if (!gaps) return nullptr;
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(gaps->size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < gaps->size(); ++i) {
            PyObject* dict = gap_to_python((*gaps)[i]);
            if (dict == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict);
        }
        return list.release();
    });
}

}  // namespace vantorel::python
