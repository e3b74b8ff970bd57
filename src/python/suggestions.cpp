#include "python/suggestions.hpp"

#include <vector>

#include "python/coverage_map.hpp"
#include "python/report_data.hpp"
#include "vantorel/reports/suggestions.hpp"

namespace vantorel::python {

PyObject* coverage_map_suggestions(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* {
        CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(self)->content;
        auto suggestions = with_map_detached(content.map_lock, content.map,
                                             [](CoreMap& map) { return vantorel::reports::collect_suggestions(map); });
        if (!suggestions) return nullptr;
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(suggestions->size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < suggestions->size(); ++i) {
            PyObject* item = suggestion_to_python((*suggestions)[i]);
            if (item == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
    });
}

}  // namespace vantorel::python
