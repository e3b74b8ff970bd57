#include "python/convert.hpp"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantorel::python {
namespace {

using deririrore::value::Member;
using deririrore::value::Value;
using deririrore::value::ValueBuilderAccess;

// A container being converted: a snapshot of its items (or key/value pairs), taken in one
// step so that another thread changing the container cannot move it under the walk.
struct Frame {
    PyRef items;  // a tuple: items, or (key, value) pairs for a mapping
    PyObject* identity;
    bool is_object;
    Py_ssize_t next = 0;
    Value::Array array;
    Value::Object members;
};

std::optional<std::string_view> utf8_of(PyObject* s) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(s, &size);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string_view(text, static_cast<std::size_t>(size));
}

PyRef dict_pairs(PyObject* dict) {
    const Py_ssize_t size = PyDict_Size(dict);
    PyRef pairs = PyRef::steal(PyTuple_New(size));
    if (!pairs) {
        return pairs;
    }
    CriticalSection section(dict);
    Py_ssize_t pos = 0;
    Py_ssize_t i = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (i < size && PyDict_Next(dict, &pos, &key, &value)) {
        PyObject* pair = PyTuple_Pack(2, key, value);
        if (pair == nullptr) {
            return PyRef();
        }
        PyTuple_SET_ITEM(pairs.get(), i++, pair);
    }
    if (i != size) {
        // Fewer members than counted a moment ago: keep the tuple well-formed.
        return PyRef::steal(PyTuple_GetSlice(pairs.get(), 0, i));
    }
    return pairs;
}

// Converts an int within -2**127 .. 2**128-1 to its decimal text.
std::optional<Value> int_to_json(PyObject* obj) {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) {
        return std::nullopt;
    }
    int overflow = 0;
    const long long small = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (overflow == 0) {
        if (small == -1 && PyErr_Occurred()) {
            return std::nullopt;
        }
        return Value::number_from_int(small);
    }
    const int64_t bits = static_cast<int64_t>(_PyLong_NumBits(index.get()));
    if (bits < 0) {
        return std::nullopt;
    }
    if (overflow > 0 && bits > 128) {
        PyErr_SetString(PyExc_OverflowError, "Python int larger than 128 bits");
        return std::nullopt;
    }
    if (overflow < 0) {
        // -2**127 needs 128 bits of magnitude and fits; anything larger in magnitude does not.
        PyRef negated = PyRef::steal(PyNumber_Negative(index.get()));
        if (!negated) {
            return std::nullopt;
        }
        PyRef lowest = PyRef::steal(PyLong_FromString("170141183460469231731687303715884105728", nullptr, 10));
        if (!lowest) {
            return std::nullopt;
        }
        const int above = PyObject_RichCompareBool(negated.get(), lowest.get(), Py_GT);
        if (above < 0) {
            return std::nullopt;
        }
        if (above == 1) {
            PyErr_SetString(PyExc_OverflowError, "Python int smaller than -2**127 (128-bit signed minimum)");
            return std::nullopt;
        }
    }
    PyRef text = PyRef::steal(PyObject_Str(index.get()));
    if (!text) {
        return std::nullopt;
    }
    auto view = utf8_of(text.get());
    if (!view) {
        return std::nullopt;
    }
    return ValueBuilderAccess::trusted_number(std::string(*view));
}

std::optional<Value> float_to_json(PyObject* obj) {
    const double d = PyFloat_AsDouble(obj);
    if (d == -1.0 && PyErr_Occurred()) {
        return std::nullopt;
    }
    if (!std::isfinite(d)) {
        return Value::null();
    }
    // Python's own shortest round-trip text, "1.0" for 1.0, as users see it in their dicts.
    char* text = PyOS_double_to_string(d, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string s(text);
    PyMem_Free(text);
    if (!deririrore::value::is_json_number_text(s)) {
        PyErr_Format(PyExc_ValueError, "float %s has no JSON number text", s.c_str());
        return std::nullopt;
    }
    return ValueBuilderAccess::trusted_number(std::move(s));
}

// A dict {kNumberMarkerKey: "text"} stands for that number; nullopt when `dict` is not one.
// `failed` is set with an exception when it is one whose text is not a JSON number.
std::optional<Value> marked_number(PyObject* dict, bool& failed) {
    if (!PyDict_Check(dict) || PyDict_Size(dict) != 1) {
        return std::nullopt;
    }
    PyRef text = PyRef::borrow(PyDict_GetItemString(dict, kNumberMarkerKey));
    if (!text || !PyUnicode_Check(text.get())) {
        return std::nullopt;
    }
    auto view = utf8_of(text.get());
    if (!view) {
        failed = true;
        return std::nullopt;
    }
    if (!deririrore::value::is_json_number_text(*view)) {
        PyErr_Format(PyExc_ValueError, "'%s' value %R is not a JSON number", kNumberMarkerKey, text.get());
        failed = true;
        return std::nullopt;
    }
    return ValueBuilderAccess::trusted_number(std::string(*view));
}

}  // namespace

std::optional<Value> python_to_json(PyObject* root, bool bytes_as_strings) {
    std::vector<Frame> stack;
    std::unordered_set<PyObject*> open;  // containers being converted: a repeat is a cycle
    std::optional<Value> done;
    PyObject* current = root;
    PyRef current_owner = PyRef::borrow(root);

    for (;;) {
        std::optional<Value> leaf;
        PyObject* obj = current;
        if (obj == Py_None) {
            leaf = Value::null();
        } else if (PyBool_Check(obj)) {
            leaf = Value::boolean(obj == Py_True);
        } else if (PyLong_Check(obj)) {
            leaf = int_to_json(obj);
            if (!leaf) {
                return std::nullopt;
            }
        } else if (PyFloat_Check(obj)) {
            leaf = float_to_json(obj);
            if (!leaf) {
                return std::nullopt;
            }
        } else if (PyUnicode_Check(obj)) {
            auto view = utf8_of(obj);
            if (!view) {
                return std::nullopt;
            }
            leaf = Value::string(std::string(*view));
        } else if (bytes_as_strings && PyBytes_Check(obj)) {
            leaf = Value::string(std::string(PyBytes_AS_STRING(obj), static_cast<std::size_t>(PyBytes_GET_SIZE(obj))));
        } else if (bytes_as_strings && PyByteArray_Check(obj)) {
            leaf = Value::string(
                std::string(PyByteArray_AS_STRING(obj), static_cast<std::size_t>(PyByteArray_GET_SIZE(obj))));
        } else if (PyBytes_Check(obj) || PyByteArray_Check(obj)) {
            PyErr_SetString(PyExc_Exception, "invalid type: byte array, expected a JSON value");
            return std::nullopt;
        } else {
            bool failed = false;
            leaf = marked_number(obj, failed);
            if (failed) {
                return std::nullopt;
            }
            if (!leaf) {
                const bool is_dict = PyDict_Check(obj);
                const bool is_mapping = is_dict || (!PyList_Check(obj) && !PyTuple_Check(obj) && PyMapping_Check(obj) &&
                                                    PyObject_HasAttrString(obj, "items"));
                const bool is_sequence = !is_mapping && (PySequence_Check(obj) || PyAnySet_Check(obj));
                if (!is_mapping && !is_sequence) {
                    PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(obj)));
                    if (!qualname) {
                        return std::nullopt;
                    }
                    PyErr_Format(PyExc_TypeError, "unsupported type %U", qualname.get());
                    return std::nullopt;
                }
                if (open.count(obj) != 0) {
                    PyErr_SetString(PyExc_ValueError,
                                    "the value contains itself (a dict or list that refers back to one of its "
                                    "containers) and has no JSON form");
                    return std::nullopt;
                }
                if (stack.size() >= kMaxConvertDepth) {
                    PyErr_Format(PyExc_ValueError, "the value nests dicts and lists deeper than %zu levels",
                                 kMaxConvertDepth);
                    return std::nullopt;
                }
                PyRef items;
                if (is_dict) {
                    items = dict_pairs(obj);
                } else if (is_mapping) {
                    PyRef list = PyRef::steal(PyMapping_Items(obj));
                    if (list) {
                        items = PyRef::steal(PySequence_Tuple(list.get()));
                    }
                } else {
                    items = PyRef::steal(PySequence_Tuple(obj));
                }
                if (!items) {
                    return std::nullopt;
                }
                open.insert(obj);
                Frame frame{std::move(items), obj, is_mapping, 0, {}, {}};
                frame.array.reserve(frame.is_object ? 0
                                                    : static_cast<std::size_t>(PyTuple_GET_SIZE(frame.items.get())));
                frame.members.reserve(frame.is_object ? static_cast<std::size_t>(PyTuple_GET_SIZE(frame.items.get()))
                                                      : 0);
                stack.push_back(std::move(frame));
            }
        }

        // Hand a finished value to its container, and finish every container that is complete.
        while (leaf || !stack.empty()) {
            if (leaf) {
                if (stack.empty()) {
                    return leaf;
                }
                Frame& top = stack.back();
                if (top.is_object) {
                    PyObject* key = PyTuple_GET_ITEM(PyTuple_GET_ITEM(top.items.get(), top.next - 1), 0);
                    auto view = utf8_of(key);
                    if (!view) {
                        return std::nullopt;
                    }
                    top.members.push_back(Member{std::string(*view), std::move(*leaf)});
                } else {
                    top.array.push_back(std::move(*leaf));
                }
                leaf.reset();
            }
            Frame& top = stack.back();
            if (top.next < PyTuple_GET_SIZE(top.items.get())) {
                PyObject* item = PyTuple_GET_ITEM(top.items.get(), top.next++);
                if (top.is_object) {
                    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
                        PyErr_SetString(PyExc_TypeError, "mapping items must be (key, value) pairs");
                        return std::nullopt;
                    }
                    PyObject* key = PyTuple_GET_ITEM(item, 0);
                    if (!PyUnicode_Check(key)) {
                        PyErr_Format(PyExc_TypeError, "dict keys must be str, not '%s'", Py_TYPE(key)->tp_name);
                        return std::nullopt;
                    }
                    current = PyTuple_GET_ITEM(item, 1);
                } else {
                    current = item;
                }
                break;
            }
            open.erase(top.identity);
            leaf = top.is_object ? Value::object(std::move(top.members)) : Value::array(std::move(top.array));
            stack.pop_back();
        }
    }
}

PyObject* json_to_python(const Value& root) {
    struct Out {
        const Value* value;
        PyRef container;
        std::size_t next = 0;
    };
    std::vector<Out> stack;
    const Value* current = &root;
    for (;;) {
        PyRef made;
        switch (current->kind()) {
            case deririrore::value::ValueKind::Null:
                made = PyRef::borrow(Py_None);
                break;
            case deririrore::value::ValueKind::Boolean:
                made = PyRef::borrow(current->as_bool() ? Py_True : Py_False);
                break;
            case deririrore::value::ValueKind::Number: {
                std::string_view text = current->number_text();
                PyRef s = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
                if (!s) {
                    return nullptr;
                }
                made = PyRef::steal(PyDict_New());
                if (!made || PyDict_SetItemString(made.get(), kNumberMarkerKey, s.get()) < 0) {
                    return nullptr;
                }
                break;
            }
            case deririrore::value::ValueKind::String: {
                const std::string& s = current->as_string();
                made = PyRef::steal(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogatepass"));
                if (!made) {
                    return nullptr;
                }
                break;
            }
            case deririrore::value::ValueKind::Array:
            case deririrore::value::ValueKind::Object: {
                PyRef container = PyRef::steal(current->is_array() ? PyList_New(0) : PyDict_New());
                if (!container) {
                    return nullptr;
                }
                stack.push_back(Out{current, std::move(container), 0});
                break;
            }
        }
        if (made && stack.empty()) {
            return made.release();
        }
        while (made || !stack.empty()) {
            Out& top = stack.back();
            if (made) {
                int rc = 0;
                if (top.value->is_array()) {
                    rc = PyList_Append(top.container.get(), made.get());
                } else {
                    const std::string& key = top.value->as_object()[top.next - 1].key;
                    PyRef k = PyRef::steal(
                        PyUnicode_DecodeUTF8(key.data(), static_cast<Py_ssize_t>(key.size()), "surrogatepass"));
                    rc = k ? PyDict_SetItem(top.container.get(), k.get(), made.get()) : -1;
                }
                if (rc < 0) {
                    return nullptr;
                }
                made = PyRef();
            }
            const std::size_t size = top.value->size();
            if (top.next < size) {
                current =
                    top.value->is_array() ? &top.value->as_array()[top.next] : &top.value->as_object()[top.next].value;
                ++top.next;
                break;
            }
            made = std::move(top.container);
            stack.pop_back();
            if (stack.empty()) {
                return made.release();
            }
        }
    }
}

}  // namespace vantorel::python
