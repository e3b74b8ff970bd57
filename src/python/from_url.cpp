#include "python/from_url.hpp"

#include <optional>
#include <string>
#include <utility>

#include "http/fetch.hpp"
#include "python/coverage_map.hpp"
#include "vantorel/model/document_text.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kPositional[] = {"url"};
constexpr KeywordParam kKeywords[] = {{"base_path", false}};
constexpr Signature kSignature{"CoverageMap.from_url()", kPositional, 1, kKeywords};

}  // namespace

PyObject* coverage_map_from_url(PyObject* /*cls*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[2];
        if (!bind_arguments(kSignature, args, nargs, kwnames, bound)) return nullptr;
        if (!PyUnicode_Check(bound[0])) {
            set_not_instance_error(bound[0], "str");
            add_processing_note("url");
            return nullptr;
        }
        std::optional<std::string> url;
        if (!read_optional_text(bound[0], "url", url)) return nullptr;
        std::optional<std::string> base_path;
        if (!read_optional_text(bound[1], "base_path", base_path)) return nullptr;

        // Credentials in the URL never reach a message, the map's location or its options.
        std::string shown = http::redact_url_credentials(*url);
        struct Loaded {
            std::optional<std::string> fetch_error;
            std::optional<std::string> parse_error;
            std::optional<deririrore::value::Value> document;
            CoreMap map;
        };
        Loaded loaded = run_detached([&] {
            Loaded out;
            auto text = http::fetch_text(*url);
            if (!text) {
                out.fetch_error = std::move(text.error().message);
                return out;
            }
            auto document = vantorel::model::parse_schema_text(*text, vantorel::model::is_yaml_url(*url));
            if (!document) {
                out.parse_error = document.error().message();
                return out;
            }
            out.map = build_core_map(*document, base_path, shown);
            out.document = std::move(*document);
            return out;
        });
        if (loaded.fetch_error) {
            PyErr_Format(PyExc_OSError, "Failed to fetch schema `%s`: %s", shown.c_str(), loaded.fetch_error->c_str());
            return nullptr;
        }
        if (loaded.parse_error) {
            PyErr_Format(PyExc_ValueError, "Failed to parse schema `%s`: %s", shown.c_str(),
                         loaded.parse_error->c_str());
            return nullptr;
        }
        return new_coverage_map_object(std::move(loaded.map), std::move(base_path), std::move(shown),
                                       std::move(*loaded.document));
    });
}

}  // namespace vantorel::python
