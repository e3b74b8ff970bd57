#include "python/recording.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "http/interaction.hpp"
#include "python/coverage_map.hpp"
#include "python/exchange_sides.hpp"
#include "python/map_record.hpp"
#include "python/readers.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kRecordPositional[] = {"request", "response", "timestamp", "labels"};
constexpr Signature kRecordSignature{"CoverageMap.record()", kRecordPositional, 1, {}};

constexpr const char* kRecordErrorPositional[] = {"method", "path", "message"};
constexpr Signature kRecordErrorSignature{"CoverageMap.record_error()", kRecordErrorPositional, 3, {}};

CoverageMapContent& content_of(PyObject* self) { return *reinterpret_cast<CoverageMapObject*>(self)->content; }

std::optional<http::RequestRecord> read_request(PyObject* request) {
    auto url_text = [](PyObject* from) -> std::optional<std::string> {
        PyRef holder;
        auto url = read_str_attribute(from, "url", holder);
        if (!url) {
            return std::nullopt;
        }
        return std::string(*url);
    };
    return read_request_side(request, url_text, extract_headers, get_body);
}

std::optional<http::ResponseRecord> read_response(PyObject* response) {
    return read_response_side(response, get_elapsed_seconds, get_body);
}

// One of the counters, read under the lock (path B) and handed back as an int.
template <typename Read>
PyObject* read_counter(PyObject* self, Read read) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = content_of(self);
        auto value = with_map_detached(content.map_lock, content.map, read);
        if (!value) {
            return nullptr;
        }
        return PyLong_FromUnsignedLongLong(*value);
    });
}

}  // namespace

PyObject* coverage_map_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[4];
        if (!bind_arguments(kRecordSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        http::Interaction interaction;
        auto request = read_request(bound[0]);
        if (!request) {
            return nullptr;
        }
        interaction.request = std::move(*request);
        if (bound[1] != nullptr && bound[1] != Py_None) {
            auto response = read_response(bound[1]);
            if (!response) {
                return nullptr;
            }
            interaction.response = std::move(*response);
        }
        if (bound[2] != nullptr && bound[2] != Py_None) {
            auto timestamp = extract_timestamp(bound[2]);
            if (!timestamp) {
                return nullptr;
            }
            interaction.timestamp = *timestamp;
        } else {
            interaction.timestamp = now_unix_seconds();
        }
        LabelTexts labels;
        if (!labels.collect(bound[3])) {
            return nullptr;
        }
        CoverageMapContent& content = content_of(self);
        auto done = with_map_detached(content.map_lock, content.map, [&](CoreMap& map) {
            record_into_map(map, interaction, labels.texts());
            return true;
        });
        if (!done) {
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* coverage_map_record_error(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[3];
        if (!bind_arguments(kRecordErrorSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        std::optional<std::string> texts[3];
        for (std::size_t i = 0; i < 3; ++i) {
            texts[i] = read_str_lossy(bound[i]);
            if (!texts[i]) {
                add_processing_note(kRecordErrorPositional[i]);
                return nullptr;
            }
        }
        const http::HttpMethod method = http::parse_method_name(*texts[0]);
        if (method == http::HttpMethod::None) {
            set_invalid_method_error(*texts[0]);
            return nullptr;
        }
        CoverageMapContent& content = content_of(self);
        auto done = with_map_detached(content.map_lock, content.map, [&](CoreMap& map) {
            add_operation_error(map, method, *texts[1], std::move(*texts[2]));
            return true;
        });
        if (!done) {
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

PyObject* coverage_map_dropped_requests(PyObject* self, PyObject* /*unused*/) {
    return read_counter(self, [](CoreMap& map) -> std::uint64_t { return map.dropped_requests; });
}

PyObject* coverage_map_unmatched_overflow(PyObject* self, PyObject* /*unused*/) {
    return read_counter(self, [](CoreMap& map) -> std::uint64_t { return map.unmatched.overflow(); });
}

PyObject* coverage_map_label_overflow(PyObject* self, PyObject* /*unused*/) {
    return read_counter(self, [](CoreMap& map) -> std::uint64_t { return map.labels.overflow; });
}

}  // namespace vantorel::python
