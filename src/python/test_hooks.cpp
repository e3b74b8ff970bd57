#include "python/test_hooks.hpp"

#include <stdexcept>

#include "python/coverage_map.hpp"

namespace vantorel::python {

PyObject* coverage_map_hold_lock_and_call(PyObject* self, PyObject* callable) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        auto result =
            with_map_attached(content.map_lock, content.map, [&](CoreMap&) { return PyObject_CallNoArgs(callable); });
        return result ? *result : nullptr;
    });
}

PyObject* coverage_map_stop_under_lock(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        auto result = with_map_detached(content.map_lock, content.map, [](CoreMap&) -> bool {
            throw std::logic_error("test hook: invariant broken while the map lock is held");
        });
        if (!result) {
            return nullptr;
        }
        Py_RETURN_NONE;
    });
}

}  // namespace vantorel::python
