#pragma once
// Python objects to JSON values and back, both walks with an explicit stack and a nesting
// limit, so that a self-referencing or very deep object gives an error instead of a crash.
#include <cstddef>
#include <optional>

#include "deririrore/value/value.hpp"
#include "python/py.hpp"

namespace vantorel::python {

// The key of the one-member dict that stands for a number with its exact text.
inline constexpr const char* kNumberMarkerKey = "$vantorel_number";

// The deepest nesting of containers converted, the JSON reader's limit.
inline constexpr std::size_t kMaxConvertDepth = 512;

// Attached. nullopt with a Python exception set on failure. `bytes_as_strings` takes bytes and
// bytearray objects as strings of those bytes (a cassette's captured bodies) instead of refusing them.
std::optional<deririrore::value::Value> python_to_json(PyObject* obj, bool bytes_as_strings = false);

// Attached. Numbers become {kNumberMarkerKey: text}. nullptr with an exception set on failure.
PyObject* json_to_python(const deririrore::value::Value& value);

}  // namespace vantorel::python
