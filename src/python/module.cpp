#include "python/coverage_map.hpp"
#include "python/py.hpp"

namespace vantorel::python {
namespace {

int module_exec(PyObject* module) {
    if (!PyModule_Check(module)) {
        set_not_instance_error(module, "module");
        return -1;
    }
    PyTypeObject* type = get_coverage_map_type();
    if (type == nullptr) {
        return -1;
    }
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return -1;
        }
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
            return -1;
        }
    } else if (!PyList_Check(all.get())) {
        set_not_instance_error(all.get(), "list");
        return -1;
    }
    PyRef name = PyRef::steal(PyUnicode_FromString("CoverageMap"));
    if (!name || PyList_Append(all.get(), name.get()) < 0) {
        PyErr_Clear();
        PyObject* panic = panic_exception_type();
        PyErr_SetString(panic != nullptr ? panic : PyExc_SystemError, "could not append __name__ to __all__");
        return -1;
    }
    if (PyObject_SetAttrString(module, "CoverageMap", reinterpret_cast<PyObject*>(type)) < 0) {
        return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "vantorel_community", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace vantorel::python

PyMODINIT_FUNC PyInit_vantorel_community() { return PyModuleDef_Init(&vantorel::python::module_def); }
