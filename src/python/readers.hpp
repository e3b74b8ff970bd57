#pragma once
// Readers that turn a Python request or response object into the values of one recorded exchange.
// Any object with the attributes read will do; all of them run attached and leave a Python
// exception set when they fail.
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "http/header_map.hpp"
#include "http/method.hpp"
#include "http/url.hpp"
#include "python/py.hpp"

namespace vantorel::python {

// The attribute as a str's UTF-8 text; TypeError naming str for any other type, UnicodeEncodeError
// for lone surrogates. The view lives as long as `holder`.
std::optional<std::string_view> read_str_attribute(PyObject* obj, const char* attribute, PyRef& holder);

// The attribute `method`, a str naming one of the nine methods without regard to ASCII case;
// ValueError naming the text as read otherwise. Checked before anything else of a request is read,
// so that an unknown method is reported even for an object that lacks the other attributes.
std::optional<http::HttpMethod> read_request_method(PyObject* request);

// The attribute `headers`: a dict, or an object with items(), whose names and values are all str
// (or bytes, decoded as UTF-8). Names equal without regard to case keep the first spelling and
// the value that comes later.
std::optional<http::HeaderMap> extract_headers(PyObject* obj);

// The attribute `body`: None is no body, bytes are copied, a bool is "true" or "false", anything
// else the UTF-8 text of str(value). False with an exception set on failure.
bool get_body(PyObject* obj, std::optional<std::string>& out);

// The attribute `elapsed` in seconds: an exact float as it is, anything else through float().
std::optional<float> get_elapsed_seconds(PyObject* response);
// The same rule for a value already read; a negative, infinite or NaN duration is a ValueError.
std::optional<float> elapsed_from_number(PyObject* elapsed);

// UTF-8 bytes to text, each invalid sequence replaced by U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

// The attribute `status_code` as an unsigned 16-bit status, with the interpreter's
// OverflowError texts outside 0..65535, its TypeError for a non-integer, and a ValueError for a
// status outside 100..999.
std::optional<std::uint16_t> get_status_code(PyObject* response);

// An exact float, or an exact int widened to one; TypeError naming int for anything else.
std::optional<double> extract_timestamp(PyObject* value);

// Seconds since the Unix epoch, with the fractional part.
double now_unix_seconds();

// The UTF-8 texts of the label strs, borrowed from them: the strs are kept referenced here, so a
// list changed by another thread while recording runs cannot free them. Up to four need no
// allocation.
class LabelTexts {
public:
    // None is no label, a str is one label, a list or tuple holds one str per label.
    bool collect(PyObject* labels);
    std::span<const std::string_view> texts() const noexcept {
        return overflow_texts_.empty() ? std::span<const std::string_view>(inline_texts_.data(), size_)
                                       : std::span<const std::string_view>(overflow_texts_);
    }

private:
    bool add(PyObject* label);
    static constexpr std::size_t kInline = 4;
    std::array<PyRef, kInline> inline_refs_;
    std::array<std::string_view, kInline> inline_texts_;
    std::size_t size_ = 0;
    std::vector<PyRef> overflow_refs_;
    std::vector<std::string_view> overflow_texts_;
};

// Sets the ValueError of an unknown method: the text as read, then the nine names.
void set_invalid_method_error(std::string_view text);

// Sets the ValueError of a request URL that is not absolute; a relative one gets the hint that
// names an absolute example.
void set_invalid_url_error(std::string_view url, http::UrlError error);

// The str's UTF-8 text, lone surrogates replaced by U+FFFD instead of raising. nullopt with the
// not-an-instance TypeError when it is no str.
std::optional<std::string> read_str_lossy(PyObject* obj);

}  // namespace vantorel::python
