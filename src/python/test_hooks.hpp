#pragma once
// Methods that only a build for the module's own tests has (VC_PYTHON_TEST_HOOKS): they reach the
// map lock's failure paths, which no ordinary call can, so that pytest can check them.
#include "python/py.hpp"

namespace vantorel::python {

// _hold_lock_and_call(callable): calls it attached while this thread holds the map's lock, as a
// finaliser or tracer callback run under the lock would be.
PyObject* coverage_map_hold_lock_and_call(PyObject* self, PyObject* callable);
// _stop_under_lock(): a broken invariant while the lock is held, detached.
PyObject* coverage_map_stop_under_lock(PyObject* self, PyObject* unused);

}  // namespace vantorel::python
