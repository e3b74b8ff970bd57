#include "python/integrations.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "python/bound_object.hpp"
#include "python/coverage_map.hpp"
#include "python/exchange.hpp"
#include "python/readers.hpp"

namespace vantorel::python {
namespace {

using Clock = std::chrono::steady_clock;

// The difference of two monotonic readings in seconds, 0 when the later one lies before.
float elapsed_between(Clock::time_point earlier, Clock::time_point later) {
    if (later < earlier) {
        return 0.0f;
    }
    const auto span = later - earlier;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(span - seconds);
    return static_cast<float>(nanos.count()) / 1e9f + static_cast<float>(seconds.count());
}

// The start times of the Django client calls running on this thread, innermost last: the wrapper
// of the client's redirect handling times the first exchange of a followed call from the start of
// the call that follows it.
thread_local std::vector<Clock::time_point> call_starts;

class CallStart {
public:
    explicit CallStart(Clock::time_point at) { call_starts.push_back(at); }
    ~CallStart() { call_starts.pop_back(); }
    CallStart(const CallStart&) = delete;
    CallStart& operator=(const CallStart&) = delete;
};

// The deallocator of the collected types, which differ only in the references they clear.
template <inquiry Clear>
void gc_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    Clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}

constexpr unsigned long kFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
constexpr unsigned long kGcFlags = kFlags | Py_TPFLAGS_HAVE_GC;
constexpr unsigned long kHiddenGcFlags = kGcFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// The slots of the plugin types: their docstring, the `coverage` constructor and their methods.
template <const char* Doc, PyMethodDef* Methods>
PyType_Slot plugin_slots[] = {
    {Py_tp_doc, const_cast<char*>(Doc)},
    {Py_tp_new, reinterpret_cast<void*>(bound_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(bound_dealloc)},
    {Py_tp_methods, Methods},
    {0, nullptr},
};

// The slots of the response hook types: their docstring, the `coverage` constructor and the call.
template <const char* Doc, ternaryfunc Call>
PyType_Slot hook_slots[] = {
    {Py_tp_doc, const_cast<char*>(Doc)},
    {Py_tp_new, reinterpret_cast<void*>(bound_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(bound_dealloc)},
    {Py_tp_call, reinterpret_cast<void*>(Call)},
    {0, nullptr},
};

// The key "response", created on first use and kept for the process; nullptr with the exception
// set when it cannot be created.
PyObject* response_key() {
    static std::atomic<PyObject*> cell{nullptr};
    return install_once(cell, [] { return PyUnicode_InternFromString("response"); });
}

// Reads `attribute` of the module `module`; nullptr with the exception set.
PyRef module_attribute(const char* module, const char* attribute) {
    PyRef imported = PyRef::steal(PyImport_ImportModule(module));
    if (!imported) {
        return PyRef();
    }
    return PyRef::steal(PyObject_GetAttrString(imported.get(), attribute));
}

// The hooks dict of `owner` and the list under its "response" key, created when absent; false
// with the exception set.
bool response_hook_list(PyObject* owner, const char* hooks_attribute, const char* not_dict, const char* not_list,
                        PyRef& hooks, PyRef& list) {
    hooks = PyRef::steal(PyObject_GetAttrString(owner, hooks_attribute));
    if (!hooks) {
        return false;
    }
    if (!PyDict_Check(hooks.get())) {
        PyErr_SetString(PyExc_TypeError, not_dict);
        return false;
    }
    PyObject* key = response_key();
    if (key == nullptr) {
        return false;
    }
    list = PyRef::steal(PyObject_GetItem(hooks.get(), key));
    if (!list) {
        PyErr_Clear();
        list = PyRef::steal(PyList_New(0));
        return static_cast<bool>(list);
    }
    if (!PyList_Check(list.get())) {
        PyErr_SetString(PyExc_TypeError, not_list);
        return false;
    }
    return true;
}

// Appends `hook` to the list and stores the list under "response" again, also when it was there.
bool install_hook(PyObject* hooks, PyObject* list, PyObject* hook) {
    return PyList_Append(list, hook) >= 0 && PyObject_SetItem(hooks, response_key(), list) >= 0;
}

// elapsed=None is 0.0; anything else through float(), with the note naming `elapsed`.
bool read_elapsed_argument(PyObject* value, float& out) {
    out = 0.0f;
    if (value == nullptr || value == Py_None) {
        return true;
    }
    std::optional<float> seconds = elapsed_from_number(value);
    if (!seconds) {
        add_processing_note("elapsed");
        return false;
    }
    out = *seconds;
    return true;
}

PyObject* none_or_null(bool ok) {
    if (!ok) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

constexpr const char* kSessionParams[] = {"session"};
constexpr Signature kTrackSessionSignature{"track_session()", kSessionParams, 1, {}};
constexpr const char* kRecordParams[] = {"request", "response", "timestamp"};
constexpr Signature kRecordSignature{"record()", kRecordParams, 1, {}};
constexpr const char* kRecordElapsedParams[] = {"request", "response", "timestamp", "elapsed"};
constexpr Signature kRecordElapsedSignature{"record()", kRecordElapsedParams, 1, {}};
constexpr const char* kClientParams[] = {"client"};
constexpr Signature kTrackClientSignature{"track_client()", kClientParams, 1, {}};

PyObject* requests_track_session(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kTrackSessionSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        PyObject* session = bound[0];
        PyRef session_type = module_attribute("requests", "Session");
        if (!session_type) {
            return nullptr;
        }
        const int is_session = PyObject_IsInstance(session, session_type.get());
        if (is_session < 0) {
            return nullptr;
        }
        if (is_session == 0) {
            PyErr_SetString(PyExc_TypeError, "Expected a `requests.Session` instance");
            return nullptr;
        }
        PyRef hooks;
        PyRef list;
        if (!response_hook_list(session, "hooks", "Session hooks must be a dictionary",
                                "Session response hooks must be a list", hooks, list)) {
            return nullptr;
        }
        PyRef hook = PyRef::steal(new_bound(get_response_hook_type(), coverage_of(self)));
        if (!hook || !install_hook(hooks.get(), list.get(), hook.get())) {
            return nullptr;
        }
        return Py_NewRef(session);
    });
}

// record(request, response=None, timestamp=None) through `convert`.
template <typename Convert>
PyObject* record_with(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Convert convert) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[3];
        if (!bind_arguments(kRecordSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        return none_or_null(convert(coverage_of(self), bound[0], bound[1], bound[2]));
    });
}

// record(request, response=None, timestamp=None, elapsed=None) through `convert`.
template <typename Convert>
PyObject* record_elapsed_with(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              Convert convert) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[4];
        if (!bind_arguments(kRecordElapsedSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        float elapsed = 0.0f;
        if (!read_elapsed_argument(bound[3], elapsed)) {
            return nullptr;
        }
        return none_or_null(convert(coverage_of(self), bound[0], bound[1], bound[2], elapsed));
    });
}

PyObject* requests_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_with(self, args, nargs, kwnames,
                       [](PyObject* coverage, PyObject* request, PyObject* response, PyObject* timestamp) {
                           return convert_requests_exchange(coverage, request, response, timestamp);
                       });
}

PyObject* requests_response_hook(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* { return new_bound(get_response_hook_type(), coverage_of(self)); });
}

// response, timestamp=None, **ignored
PyObject* response_hook_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
        if (nargs > 2) {
            PyErr_Format(PyExc_TypeError, "ResponseHook() takes from 1 to 2 positional arguments but %zd were given",
                         nargs);
            return nullptr;
        }
        PyObject* response = nargs > 0 ? PyTuple_GET_ITEM(args, 0) : nullptr;
        PyObject* timestamp = nargs > 1 ? PyTuple_GET_ITEM(args, 1) : nullptr;
        PyRef keyword_response;
        PyRef keyword_timestamp;
        if (kwargs != nullptr) {
            keyword_response = PyRef::borrow(PyDict_GetItemString(kwargs, "response"));
            keyword_timestamp = PyRef::borrow(PyDict_GetItemString(kwargs, "timestamp"));
        }
        if ((keyword_response && response != nullptr) || (keyword_timestamp && timestamp != nullptr)) {
            PyErr_Format(PyExc_TypeError, "ResponseHook() got multiple values for argument '%s'",
                         keyword_response && response != nullptr ? "response" : "timestamp");
            return nullptr;
        }
        if (keyword_response) {
            response = keyword_response.get();
        }
        if (keyword_timestamp) {
            timestamp = keyword_timestamp.get();
        }
        if (response == nullptr) {
            PyErr_SetString(PyExc_TypeError, "ResponseHook() missing 1 required positional argument: 'response'");
            return nullptr;
        }
        // requests passes the call's `stream` to its hooks: the body of a response the caller
        // streams is the caller's to read, so it is recorded without one.
        bool streamed = false;
        if (kwargs != nullptr) {
            if (PyObject* stream = PyDict_GetItemString(kwargs, "stream")) {
                const int truth = PyObject_IsTrue(stream);
                if (truth < 0) {
                    return nullptr;
                }
                streamed = truth == 1;
            }
        }
        PyRef request = PyRef::steal(PyObject_GetAttrString(response, "request"));
        if (!request) {
            return nullptr;
        }
        return none_or_null(
            convert_requests_exchange(coverage_of(self), request.get(), response, timestamp, !streamed));
    });
}

PyMethodDef requests_plugin_methods[] = {
    {"track_session", fastcall(requests_track_session), METH_FASTCALL | METH_KEYWORDS,
     "track_session($self, session)\n--\n\n"},
    {"record", fastcall(requests_record), METH_FASTCALL | METH_KEYWORDS,
     "record($self, request, response=None, timestamp=None)\n--\n\n"},
    {"response_hook", requests_response_hook, METH_NOARGS, "response_hook($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kRequestsPluginDoc[] = "RequestsPlugin(coverage)\n--\n\n";
PyType_Spec requests_plugin_spec = {"vantorel_community.RequestsPlugin", sizeof(BoundObject), 0, kFlags,
                                    plugin_slots<kRequestsPluginDoc, requests_plugin_methods>};

constexpr char kResponseHookDoc[] = "ResponseHook(coverage)\n--\n\n";
PyType_Spec response_hook_spec = {"vantorel_community.ResponseHook", sizeof(BoundObject), 0, kFlags,
                                  hook_slots<kResponseHookDoc, response_hook_call>};

PyObject* httpx_track_client(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kTrackClientSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        PyObject* client = bound[0];
        static constexpr const char* kNotClient =
            "Expected a `Client` or `AsyncClient` instance from `httpx2` or `httpx`";
        PyRef first = PyRef::steal(PyImport_ImportModule("httpx2"));
        const bool from_httpx2 = static_cast<bool>(first);
        if (!first) {
            PyErr_Clear();
            first = PyRef::steal(PyImport_ImportModule("httpx"));
            if (!first) {
                PyErr_Clear();
                PyErr_SetString(PyExc_TypeError, kNotClient);
                return nullptr;
            }
        }
        auto instance_of = [&](PyObject* module, const char* name) -> int {
            PyRef type = PyRef::steal(PyObject_GetAttrString(module, name));
            if (!type) {
                return -1;
            }
            return PyObject_IsInstance(client, type.get());
        };
        int is_sync = instance_of(first.get(), "Client");
        if (is_sync < 0) {
            return nullptr;
        }
        int is_async = instance_of(first.get(), "AsyncClient");
        if (is_async < 0) {
            return nullptr;
        }
        if (from_httpx2) {
            PyRef second = PyRef::steal(PyImport_ImportModule("httpx"));
            if (!second) {
                PyErr_Clear();
            } else {
                if (is_sync == 0 && (is_sync = instance_of(second.get(), "Client")) < 0) {
                    return nullptr;
                }
                if (is_async == 0 && (is_async = instance_of(second.get(), "AsyncClient")) < 0) {
                    return nullptr;
                }
            }
        }
        if (is_sync == 0 && is_async == 0) {
            PyErr_SetString(PyExc_TypeError, kNotClient);
            return nullptr;
        }
        PyRef hooks;
        PyRef list;
        if (!response_hook_list(client, "event_hooks", "Client event_hooks must be a dictionary",
                                "Client response hooks must be a list", hooks, list)) {
            return nullptr;
        }
        PyTypeObject* hook_type = is_async == 1 ? get_async_response_hook_type() : get_sync_response_hook_type();
        PyRef hook = PyRef::steal(new_bound(hook_type, coverage_of(self)));
        if (!hook || !install_hook(hooks.get(), list.get(), hook.get())) {
            return nullptr;
        }
        return Py_NewRef(client);
    });
}

PyObject* httpx_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_with(self, args, nargs, kwnames, convert_httpx_exchange);
}

PyObject* httpx_response_hook(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* { return new_bound(get_sync_response_hook_type(), coverage_of(self)); });
}

PyObject* httpx_async_response_hook(PyObject* self, PyObject* /*unused*/) {
    return boundary([&]() -> PyObject* { return new_bound(get_async_response_hook_type(), coverage_of(self)); });
}

// The one `response` argument of the httpx hooks, by position or keyword.
PyObject* single_response_argument(const char* name, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"response", nullptr};
    PyObject* response = nullptr;
    std::string format = std::string("O:") + name;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &response)) {
        return nullptr;
    }
    return response;
}

// The response handed to the httpx hook `name` and its request; false with the exception set.
bool hook_exchange(const char* name, PyObject* args, PyObject* kwargs, PyObject*& response, PyRef& request) {
    response = single_response_argument(name, args, kwargs);
    if (response == nullptr) {
        return false;
    }
    request = PyRef::steal(PyObject_GetAttrString(response, "request"));
    return static_cast<bool>(request);
}

PyObject* sync_hook_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        PyObject* response = nullptr;
        PyRef request;
        if (!hook_exchange("SyncResponseHook", args, kwargs, response, request)) {
            return nullptr;
        }
        return none_or_null(convert_httpx_exchange(coverage_of(self), request.get(), response, nullptr));
    });
}

// The awaitable of the asynchronous hook. The hook runs before the client has read the body, so
// a response that is still open is read first (its `aread()` is awaited through this object), and
// the exchange is recorded once the response is closed.
struct HookAwaitableObject {
    PyObject_HEAD PyObject* coverage;
    PyObject* request;
    PyObject* response;
    PyObject* result;         // taken out by the first step
    PyObject* reading;        // the pending aread() coroutine
    std::atomic<int> access;  // -1 while a step runs, else the number of shared users
    enum class State : unsigned char { Fresh, Reading, Done } state;
};

HookAwaitableObject* hook_awaitable(PyObject* self) { return reinterpret_cast<HookAwaitableObject*>(self); }

PyObject* new_hook_awaitable(PyObject* coverage, PyObject* request, PyObject* response, PyObject* result) {
    PyTypeObject* type = get_async_response_hook_awaitable_type();
    if (type == nullptr) {
        return nullptr;
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
        return nullptr;
    }
    HookAwaitableObject* obj = hook_awaitable(self);
    obj->coverage = Py_NewRef(coverage);
    obj->request = Py_NewRef(request);
    obj->response = Py_NewRef(response);
    obj->result = Py_NewRef(result);
    obj->reading = nullptr;
    new (&obj->access) std::atomic<int>(0);
    obj->state = HookAwaitableObject::State::Fresh;
    return self;
}

PyObject* async_hook_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        PyObject* response = nullptr;
        PyRef request;
        if (!hook_exchange("AsyncResponseHook", args, kwargs, response, request)) {
            return nullptr;
        }
        return new_hook_awaitable(coverage_of(self), request.get(), response, Py_None);
    });
}

PyObject* hook_awaitable_new(PyTypeObject* /*type*/, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        static const char* keywords[] = {"coverage", "request", "response", "result", nullptr};
        PyObject* coverage = nullptr;
        PyObject* request = nullptr;
        PyObject* response = nullptr;
        PyObject* result = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO:AsyncResponseHookAwaitable", const_cast<char**>(keywords),
                                         &coverage, &request, &response, &result)) {
            return nullptr;
        }
        PyRef map = PyRef::steal(extract_coverage_argument(coverage));
        if (!map) {
            return nullptr;
        }
        return new_hook_awaitable(map.get(), request, response, result);
    });
}

int hook_awaitable_traverse(PyObject* self, visitproc visit, void* arg) {
    HookAwaitableObject* obj = hook_awaitable(self);
    Py_VISIT(obj->coverage);
    Py_VISIT(obj->request);
    Py_VISIT(obj->response);
    Py_VISIT(obj->result);
    Py_VISIT(obj->reading);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int hook_awaitable_clear(PyObject* self) {
    HookAwaitableObject* obj = hook_awaitable(self);
    Py_CLEAR(obj->coverage);
    Py_CLEAR(obj->request);
    Py_CLEAR(obj->response);
    Py_CLEAR(obj->result);
    Py_CLEAR(obj->reading);
    return 0;
}

// A shared use: fails while a step runs.
PyObject* hook_awaitable_self(PyObject* self) {
    HookAwaitableObject* obj = hook_awaitable(self);
    int current = obj->access.load(std::memory_order_acquire);
    do {
        if (current < 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return nullptr;
        }
    } while (!obj->access.compare_exchange_weak(current, current + 1, std::memory_order_acq_rel));
    PyObject* out = Py_NewRef(self);
    obj->access.fetch_sub(1, std::memory_order_acq_rel);
    return out;
}

// Sets StopIteration carrying `value` (a tuple stays one value).
void set_stop_iteration(PyObject* value) {
    PyRef stop = PyRef::steal(PyObject_CallOneArg(PyExc_StopIteration, value));
    if (stop) {
        PyErr_SetObject(PyExc_StopIteration, stop.get());
    }
}

// Raises `exc` (an exception instance or class) as `throw()` does.
void raise_thrown(PyObject* exc) {
    if (PyExceptionInstance_Check(exc)) {
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc)), exc);
    } else if (PyExceptionClass_Check(exc)) {
        PyErr_SetNone(exc);
    } else {
        PyErr_SetString(PyExc_TypeError, "exceptions must be classes or instances deriving from BaseException");
    }
}

enum class StepKind { Send, Throw };

// Steps `coroutine` with send(value) or throw(value): 1 with `out` yielded, 0 with `out` returned,
// -1 with the exception set.
int step_coroutine(PyObject* coroutine, StepKind kind, PyObject* value, PyRef& out) {
    if (kind == StepKind::Send) {
        PyObject* result = nullptr;
        const PySendResult sent = PyIter_Send(coroutine, value == nullptr ? Py_None : value, &result);
        out = PyRef::steal(result);
        if (sent == PYGEN_NEXT) {
            return 1;
        }
        return sent == PYGEN_RETURN ? 0 : -1;
    }
    out = PyRef::steal(PyObject_CallMethod(coroutine, "throw", "O", value));
    if (out) {
        return 1;
    }
    if (!PyErr_ExceptionMatches(PyExc_StopIteration)) {
        return -1;
    }
    PyObject* type = nullptr;
    PyObject* exc = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &exc, &traceback);
    PyErr_NormalizeException(&type, &exc, &traceback);
    PyRef owned_type = PyRef::steal(type);
    PyRef owned_exc = PyRef::steal(exc);
    PyRef owned_traceback = PyRef::steal(traceback);
    out = owned_exc ? PyRef::steal(PyObject_GetAttrString(owned_exc.get(), "value")) : PyRef::borrow(Py_None);
    return out ? 0 : -1;
}

PyObject* hook_awaitable_step(PyObject* self, StepKind kind, PyObject* value) {
    HookAwaitableObject* obj = hook_awaitable(self);
    int idle = 0;
    if (!obj->access.compare_exchange_strong(idle, -1, std::memory_order_acq_rel)) {
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return nullptr;
    }
    struct Release {
        std::atomic<int>& access;
        ~Release() { access.store(0, std::memory_order_release); }
    } release{obj->access};
    using State = HookAwaitableObject::State;
    auto fail = [&]() -> PyObject* {
        obj->state = State::Done;
        Py_CLEAR(obj->result);
        Py_CLEAR(obj->reading);
        return nullptr;
    };
    if (obj->state == State::Done) {
        PyErr_SetString(PyExc_RuntimeError,
                        "cannot reuse an AsyncResponseHookAwaitable: it has already been awaited to completion");
        return nullptr;
    }
    if (obj->state == State::Fresh) {
        if (kind == StepKind::Throw) {
            raise_thrown(value);
            return fail();
        }
        PyRef closed = PyRef::steal(PyObject_GetAttrString(obj->response, "is_closed"));
        if (!closed) {
            return fail();
        }
        const int is_closed = PyObject_IsTrue(closed.get());
        if (is_closed < 0) {
            return fail();
        }
        if (is_closed == 0) {
            PyRef reading = PyRef::steal(PyObject_CallMethod(obj->response, "aread", nullptr));
            if (!reading) {
                return fail();
            }
            obj->reading = reading.release();
            obj->state = State::Reading;
            value = nullptr;
        }
    }
    if (obj->state == State::Reading) {
        PyRef out;
        const int stepped = step_coroutine(obj->reading, kind, value, out);
        if (stepped < 0) {
            return fail();
        }
        if (stepped == 1) {
            return out.release();
        }
        Py_CLEAR(obj->reading);
    }
    obj->state = State::Done;
    PyRef result = PyRef::steal(std::exchange(obj->result, nullptr));
    if (!convert_closed_httpx_exchange(obj->coverage, obj->request, obj->response)) {
        return nullptr;
    }
    set_stop_iteration(result.get());
    return nullptr;
}

PyObject* hook_awaitable_next(PyObject* self) {
    return boundary([&] { return hook_awaitable_step(self, StepKind::Send, nullptr); });
}

PyObject* hook_awaitable_send(PyObject* self, PyObject* value) {
    return boundary([&] { return hook_awaitable_step(self, StepKind::Send, value); });
}

PyObject* hook_awaitable_throw(PyObject* self, PyObject* exc) {
    return boundary([&] { return hook_awaitable_step(self, StepKind::Throw, exc); });
}

PyObject* hook_awaitable_iter(PyObject* self) {
    return boundary([&] { return hook_awaitable_self(self); });
}

PyMethodDef httpx_plugin_methods[] = {
    {"track_client", fastcall(httpx_track_client), METH_FASTCALL | METH_KEYWORDS,
     "track_client($self, client)\n--\n\n"},
    {"record", fastcall(httpx_record), METH_FASTCALL | METH_KEYWORDS,
     "record($self, request, response=None, timestamp=None)\n--\n\n"},
    {"response_hook", httpx_response_hook, METH_NOARGS, "response_hook($self)\n--\n\n"},
    {"async_response_hook", httpx_async_response_hook, METH_NOARGS, "async_response_hook($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kHttpxPluginDoc[] = "HttpxPlugin(coverage)\n--\n\n";
PyType_Spec httpx_plugin_spec = {"vantorel_community.HttpxPlugin", sizeof(BoundObject), 0, kFlags,
                                 plugin_slots<kHttpxPluginDoc, httpx_plugin_methods>};

constexpr char kSyncResponseHookDoc[] = "SyncResponseHook(coverage)\n--\n\n";
PyType_Spec sync_hook_spec = {"vantorel_community.SyncResponseHook", sizeof(BoundObject), 0, kFlags,
                              hook_slots<kSyncResponseHookDoc, sync_hook_call>};

constexpr char kAsyncResponseHookDoc[] = "AsyncResponseHook(coverage)\n--\n\n";
PyType_Spec async_hook_spec = {"vantorel_community.AsyncResponseHook", sizeof(BoundObject), 0, kFlags,
                               hook_slots<kAsyncResponseHookDoc, async_hook_call>};

PyMethodDef hook_awaitable_methods[] = {
    {"send", hook_awaitable_send, METH_O, "send($self, value)\n--\n\n"},
    {"throw", hook_awaitable_throw, METH_O, "throw($self, exc)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot hook_awaitable_slots[] = {
    {Py_tp_doc, const_cast<char*>("AsyncResponseHookAwaitable(coverage, request, response, result)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(hook_awaitable_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(gc_dealloc<hook_awaitable_clear>)},
    {Py_tp_traverse, reinterpret_cast<void*>(hook_awaitable_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(hook_awaitable_clear)},
    {Py_am_await, reinterpret_cast<void*>(hook_awaitable_iter)},
    {Py_tp_iter, reinterpret_cast<void*>(hook_awaitable_iter)},
    {Py_tp_iternext, reinterpret_cast<void*>(hook_awaitable_next)},
    {Py_tp_methods, hook_awaitable_methods},
    {0, nullptr},
};
PyType_Spec hook_awaitable_spec = {"vantorel_community.AsyncResponseHookAwaitable", sizeof(HookAwaitableObject), 0,
                                   kGcFlags, hook_awaitable_slots};

using Recorder = bool (*)(PyObject* coverage, PyObject* request, PyObject* response, float elapsed);

bool django_recorder(PyObject* coverage, PyObject* request, PyObject* response, float elapsed) {
    return convert_django_exchange(coverage, request, response, nullptr, elapsed);
}

enum class WrapperRole : unsigned char {
    Call,            // records the exchange of each call
    FollowRedirects  // the client's redirect handling: records the first response it is handed
};

struct WrapperObject {
    PyObject_HEAD PyObject* coverage;
    PyObject* wrapped;
    const char* request_attr;
    Recorder recorder;
    WrapperRole role;
    // A followed call's exchanges are recorded by the redirect-handling wrapper (the first) and by
    // the wrapped hop calls (the rest), so the call that follows records nothing itself.
    bool redirects_tracked;
};

WrapperObject* wrapper(PyObject* self) { return reinterpret_cast<WrapperObject*>(self); }

PyObject* new_wrapper(PyTypeObject* type, PyObject* coverage, PyObject* wrapped, const char* request_attr,
                      WrapperRole role, bool redirects_tracked) {
    if (type == nullptr) {
        return nullptr;
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
        return nullptr;
    }
    WrapperObject* obj = wrapper(self);
    obj->coverage = Py_NewRef(coverage);
    obj->wrapped = Py_NewRef(wrapped);
    obj->request_attr = request_attr;
    obj->recorder = django_recorder;
    obj->role = role;
    obj->redirects_tracked = redirects_tracked;
    return self;
}

int wrapper_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(wrapper(self)->coverage);
    Py_VISIT(wrapper(self)->wrapped);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int wrapper_clear(PyObject* self) {
    Py_CLEAR(wrapper(self)->coverage);
    Py_CLEAR(wrapper(self)->wrapped);
    return 0;
}

PyObject* wrapper_name(PyObject* self, void* /*closure*/) {
    return boundary([&] { return PyObject_GetAttrString(wrapper(self)->wrapped, "__name__"); });
}

PyObject* wrapper_doc(PyObject* self, void* /*closure*/) {
    return boundary([&] { return PyObject_GetAttrString(wrapper(self)->wrapped, "__doc__"); });
}

PyObject* wrapper_wrapped(PyObject* self, void* /*closure*/) { return Py_NewRef(wrapper(self)->wrapped); }

PyGetSetDef wrapper_getset[] = {
    {"__name__", wrapper_name, nullptr, nullptr, nullptr},
    {"__doc__", wrapper_doc, nullptr, nullptr, nullptr},
    {"__wrapped__", wrapper_wrapped, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Records the response handed to the client's redirect handling (the first exchange of a
// followed call), timed from the start of the call that follows, then lets it follow.
PyObject* follow_redirects_call(WrapperObject* obj, PyObject* args, PyObject* kwargs) {
    PyObject* first = PyTuple_GET_SIZE(args) > 0 ? PyTuple_GET_ITEM(args, 0) : nullptr;
    PyRef keyword_first;
    if (first == nullptr && kwargs != nullptr) {
        keyword_first = PyRef::borrow(PyDict_GetItemString(kwargs, "response"));
        first = keyword_first.get();
    }
    if (first != nullptr) {
        const float elapsed = call_starts.empty() ? 0.0f : elapsed_between(call_starts.back(), Clock::now());
        PyRef request = PyRef::steal(PyObject_GetAttrString(first, obj->request_attr));
        if (!request || !obj->recorder(obj->coverage, request.get(), first, elapsed)) {
            return nullptr;
        }
    }
    return PyObject_Call(obj->wrapped, args, kwargs);
}

// True when `response` went through the client's redirect handling (it carries redirect_chain),
// whose wrapper and hop calls recorded its exchanges already.
int followed(WrapperObject* obj, PyObject* response) {
    if (!obj->redirects_tracked) {
        return 0;
    }
    return PyObject_HasAttrString(response, "redirect_chain");
}

PyObject* method_wrapper_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        WrapperObject* obj = wrapper(self);
        if (obj->role == WrapperRole::FollowRedirects) {
            return follow_redirects_call(obj, args, kwargs);
        }
        const Clock::time_point started = Clock::now();
        PyRef response;
        {
            CallStart start(started);
            response = PyRef::steal(PyObject_Call(obj->wrapped, args, kwargs));
        }
        if (!response) {
            return nullptr;
        }
        const float elapsed = elapsed_between(started, Clock::now());
        if (followed(obj, response.get()) == 1) {
            return response.release();
        }
        PyRef request = PyRef::steal(PyObject_GetAttrString(response.get(), obj->request_attr));
        if (!request || !obj->recorder(obj->coverage, request.get(), response.get(), elapsed)) {
            return nullptr;
        }
        return response.release();
    });
}

struct CallAwaitableObject {
    PyObject_HEAD const char* request_attr;
    PyObject* coroutine;
    PyObject* coverage;
    Recorder recorder;
    Clock::time_point started_at;
    bool redirects_tracked;
};

CallAwaitableObject* call_awaitable(PyObject* self) { return reinterpret_cast<CallAwaitableObject*>(self); }

PyObject* async_method_wrapper_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        WrapperObject* obj = wrapper(self);
        if (obj->role == WrapperRole::FollowRedirects) {
            return follow_redirects_call(obj, args, kwargs);
        }
        const Clock::time_point started = Clock::now();
        PyRef coroutine = PyRef::steal(PyObject_Call(obj->wrapped, args, kwargs));
        if (!coroutine) {
            return nullptr;
        }
        PyTypeObject* type = get_async_method_call_awaitable_type();
        if (type == nullptr) {
            return nullptr;
        }
        PyObject* awaitable = type->tp_alloc(type, 0);
        if (awaitable == nullptr) {
            return nullptr;
        }
        CallAwaitableObject* out = call_awaitable(awaitable);
        out->request_attr = obj->request_attr;
        out->coroutine = coroutine.release();
        out->coverage = Py_NewRef(obj->coverage);
        out->recorder = obj->recorder;
        new (&out->started_at) Clock::time_point(started);
        out->redirects_tracked = obj->redirects_tracked;
        return awaitable;
    });
}

int call_awaitable_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(call_awaitable(self)->coroutine);
    Py_VISIT(call_awaitable(self)->coverage);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int call_awaitable_clear(PyObject* self) {
    Py_CLEAR(call_awaitable(self)->coroutine);
    Py_CLEAR(call_awaitable(self)->coverage);
    return 0;
}

PyObject* call_awaitable_step(PyObject* self, StepKind kind, PyObject* value) {
    CallAwaitableObject* obj = call_awaitable(self);
    if (obj->coroutine == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "cannot reuse an AsyncMethodCallAwaitable after it was cleared");
        return nullptr;
    }
    PyRef out;
    int stepped = 0;
    {
        CallStart start(obj->started_at);
        stepped = step_coroutine(obj->coroutine, kind, value, out);
    }
    if (stepped != 0) {
        return stepped == 1 ? out.release() : nullptr;
    }
    PyObject* response = out.get();
    const float elapsed = elapsed_between(obj->started_at, Clock::now());
    const bool already_recorded =
        obj->redirects_tracked && response != Py_None && PyObject_HasAttrString(response, "redirect_chain") == 1;
    if (!already_recorded) {
        PyRef request = PyRef::steal(PyObject_GetAttrString(response, obj->request_attr));
        if (!request || !obj->recorder(obj->coverage, request.get(), response, elapsed)) {
            return nullptr;
        }
    }
    set_stop_iteration(response);
    return nullptr;
}

PyObject* call_awaitable_next(PyObject* self) {
    return boundary([&] { return call_awaitable_step(self, StepKind::Send, nullptr); });
}

PyObject* call_awaitable_send(PyObject* self, PyObject* value) {
    return boundary([&] { return call_awaitable_step(self, StepKind::Send, value); });
}

PyObject* call_awaitable_throw(PyObject* self, PyObject* exc) {
    return boundary([&] { return call_awaitable_step(self, StepKind::Throw, exc); });
}

PyObject* self_iter(PyObject* self) { return Py_NewRef(self); }

// Wraps the eight request methods of a Django client, and its redirect handling where it has one.
bool wrap_django_client(PyObject* self, PyObject* client, PyTypeObject* type, const char* request_attr,
                        const char* redirect_handler) {
    if (type == nullptr) {
        return false;
    }
    PyRef handler = PyRef::steal(PyObject_GetAttrString(client, redirect_handler));
    if (!handler) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return false;
        }
        PyErr_Clear();
    } else {
        PyRef follow = PyRef::steal(
            new_wrapper(type, coverage_of(self), handler.get(), request_attr, WrapperRole::FollowRedirects, false));
        if (!follow || PyObject_SetAttrString(client, redirect_handler, follow.get()) < 0) {
            return false;
        }
    }
    const bool redirects_tracked = static_cast<bool>(handler);
    for (const char* name : {"get", "post", "put", "patch", "delete", "head", "options", "trace"}) {
        PyRef method = PyRef::steal(PyObject_GetAttrString(client, name));
        if (!method) {
            return false;
        }
        PyRef wrapped = PyRef::steal(
            new_wrapper(type, coverage_of(self), method.get(), request_attr, WrapperRole::Call, redirects_tracked));
        if (!wrapped || PyObject_SetAttrString(client, name, wrapped.get()) < 0) {
            return false;
        }
    }
    return true;
}

PyObject* django_track_client(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kTrackClientSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        PyObject* client = bound[0];
        PyRef async_type = module_attribute("django.test", "AsyncClient");
        if (!async_type) {
            return nullptr;
        }
        PyRef sync_type = module_attribute("django.test", "Client");
        if (!sync_type) {
            return nullptr;
        }
        const int is_async = PyObject_IsInstance(client, async_type.get());
        if (is_async < 0) {
            return nullptr;
        }
        bool ok = false;
        if (is_async == 1) {
            ok =
                wrap_django_client(self, client, get_async_method_wrapper_type(), "asgi_request", "_ahandle_redirects");
        } else {
            const int is_sync = PyObject_IsInstance(client, sync_type.get());
            if (is_sync < 0) {
                return nullptr;
            }
            if (is_sync == 0) {
                PyErr_SetString(PyExc_TypeError,
                                "Expected an instance of `django.test.Client`, `django.test.AsyncClient`, or their "
                                "subclasses");
                return nullptr;
            }
            ok = wrap_django_client(self, client, get_method_wrapper_type(), "wsgi_request", "_handle_redirects");
        }
        if (!ok) {
            return nullptr;
        }
        return Py_NewRef(client);
    });
}

PyObject* django_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_elapsed_with(self, args, nargs, kwnames, convert_django_exchange);
}

PyMethodDef django_plugin_methods[] = {
    {"track_client", fastcall(django_track_client), METH_FASTCALL | METH_KEYWORDS,
     "track_client($self, client)\n--\n\n"},
    {"record", fastcall(django_record), METH_FASTCALL | METH_KEYWORDS,
     "record($self, request, response=None, timestamp=None, elapsed=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kDjangoPluginDoc[] = "DjangoPlugin(coverage)\n--\n\n";
PyType_Spec django_plugin_spec = {"vantorel_community.DjangoPlugin", sizeof(BoundObject), 0, kFlags,
                                  plugin_slots<kDjangoPluginDoc, django_plugin_methods>};

// The slots of the wrapper types, which differ only in how they call the wrapped method.
template <ternaryfunc Call>
PyType_Slot wrapper_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(gc_dealloc<wrapper_clear>)},
    {Py_tp_traverse, reinterpret_cast<void*>(wrapper_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(wrapper_clear)},
    {Py_tp_call, reinterpret_cast<void*>(Call)},
    {Py_tp_getset, wrapper_getset},
    {0, nullptr},
};
PyType_Spec method_wrapper_spec = {"vantorel_community.MethodWrapper", sizeof(WrapperObject), 0, kHiddenGcFlags,
                                   wrapper_slots<method_wrapper_call>};

PyType_Spec async_method_wrapper_spec = {"vantorel_community.AsyncMethodWrapper", sizeof(WrapperObject), 0,
                                         kHiddenGcFlags, wrapper_slots<async_method_wrapper_call>};

PyMethodDef call_awaitable_methods[] = {
    {"send", call_awaitable_send, METH_O, "send($self, value)\n--\n\n"},
    {"throw", call_awaitable_throw, METH_O, "throw($self, exc)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot call_awaitable_slots[] = {
    {Py_tp_doc, const_cast<char*>("Awaitable that delegates to the underlying async Django test client coroutine,\n"
                                  "then records coverage when the coroutine completes.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(gc_dealloc<call_awaitable_clear>)},
    {Py_tp_traverse, reinterpret_cast<void*>(call_awaitable_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(call_awaitable_clear)},
    {Py_am_await, reinterpret_cast<void*>(self_iter)},
    {Py_tp_iter, reinterpret_cast<void*>(self_iter)},
    {Py_tp_iternext, reinterpret_cast<void*>(call_awaitable_next)},
    {Py_tp_methods, call_awaitable_methods},
    {0, nullptr},
};
PyType_Spec call_awaitable_spec = {"vantorel_community.AsyncMethodCallAwaitable", sizeof(CallAwaitableObject), 0,
                                   kHiddenGcFlags, call_awaitable_slots};

PyObject* open_wrapper_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> PyObject* {
        WrapperObject* obj = wrapper(self);
        const Clock::time_point started = Clock::now();
        PyRef response = PyRef::steal(PyObject_Call(obj->wrapped, args, kwargs));
        if (!response) {
            return nullptr;
        }
        const float elapsed = elapsed_between(started, Clock::now());
        PyRef history = PyRef::steal(PyObject_GetAttrString(response.get(), "history"));
        if (!history) {
            return nullptr;
        }
        const int has_history = PyObject_IsTrue(history.get());
        if (has_history < 0) {
            return nullptr;
        }
        PyRef chosen;
        if (has_history == 1) {
            chosen = PyRef::steal(PySequence_GetItem(history.get(), 0));
            if (!chosen) {
                return nullptr;
            }
        } else {
            chosen = PyRef::borrow(response.get());
        }
        PyRef request = PyRef::steal(PyObject_GetAttrString(chosen.get(), "request"));
        if (!request || !convert_werkzeug_exchange(obj->coverage, request.get(), chosen.get(), nullptr, elapsed)) {
            return nullptr;
        }
        return response.release();
    });
}

PyObject* flask_track_client(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return boundary([&]() -> PyObject* {
        PyObject* bound[1];
        if (!bind_arguments(kTrackClientSignature, args, nargs, kwnames, bound)) {
            return nullptr;
        }
        PyObject* client = bound[0];
        PyRef client_type = module_attribute("werkzeug.test", "Client");
        if (!client_type) {
            return nullptr;
        }
        const int is_client = PyObject_IsInstance(client, client_type.get());
        if (is_client < 0) {
            return nullptr;
        }
        if (is_client == 0) {
            PyErr_SetString(PyExc_TypeError,
                            "Expected an instance of `werkzeug.test.Client` or its subclass (e.g., "
                            "`flask.testing.FlaskClient`)");
            return nullptr;
        }
        PyRef open = PyRef::steal(PyObject_GetAttrString(client, "open"));
        if (!open) {
            return nullptr;
        }
        PyRef wrapped = PyRef::steal(
            new_wrapper(get_open_wrapper_type(), coverage_of(self), open.get(), "request", WrapperRole::Call, false));
        if (!wrapped || PyObject_SetAttrString(client, "open", wrapped.get()) < 0) {
            return nullptr;
        }
        return Py_NewRef(client);
    });
}

PyObject* flask_record(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_elapsed_with(self, args, nargs, kwnames, convert_werkzeug_exchange);
}

PyMethodDef flask_plugin_methods[] = {
    {"track_client", fastcall(flask_track_client), METH_FASTCALL | METH_KEYWORDS,
     "track_client($self, client)\n--\n\n"},
    {"record", fastcall(flask_record), METH_FASTCALL | METH_KEYWORDS,
     "record($self, request, response=None, timestamp=None, elapsed=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kFlaskPluginDoc[] = "FlaskPlugin(coverage)\n--\n\n";
PyType_Spec flask_plugin_spec = {"vantorel_community.FlaskPlugin", sizeof(BoundObject), 0, kFlags,
                                 plugin_slots<kFlaskPluginDoc, flask_plugin_methods>};

PyType_Spec open_wrapper_spec = {"vantorel_community.OpenWrapper", sizeof(WrapperObject), 0, kHiddenGcFlags,
                                 wrapper_slots<open_wrapper_call>};

PyObject* plugin_for(PyObject* self, PyTypeObject* type) {
    return boundary([&] { return new_bound(type, self); });
}

}  // namespace

#define VC_TYPE_GETTER(getter, spec, name)           \
    PyTypeObject* getter() {                         \
        static std::atomic<PyObject*> cell{nullptr}; \
        return type_once(cell, spec, name);          \
    }

VC_TYPE_GETTER(get_requests_plugin_type, requests_plugin_spec, "RequestsPlugin")
VC_TYPE_GETTER(get_response_hook_type, response_hook_spec, "ResponseHook")
VC_TYPE_GETTER(get_httpx_plugin_type, httpx_plugin_spec, "HttpxPlugin")
VC_TYPE_GETTER(get_sync_response_hook_type, sync_hook_spec, "SyncResponseHook")
VC_TYPE_GETTER(get_async_response_hook_type, async_hook_spec, "AsyncResponseHook")
VC_TYPE_GETTER(get_async_response_hook_awaitable_type, hook_awaitable_spec, "AsyncResponseHookAwaitable")
VC_TYPE_GETTER(get_django_plugin_type, django_plugin_spec, "DjangoPlugin")
VC_TYPE_GETTER(get_method_wrapper_type, method_wrapper_spec, "MethodWrapper")
VC_TYPE_GETTER(get_async_method_wrapper_type, async_method_wrapper_spec, "AsyncMethodWrapper")
VC_TYPE_GETTER(get_async_method_call_awaitable_type, call_awaitable_spec, "AsyncMethodCallAwaitable")
VC_TYPE_GETTER(get_flask_plugin_type, flask_plugin_spec, "FlaskPlugin")
VC_TYPE_GETTER(get_open_wrapper_type, open_wrapper_spec, "OpenWrapper")

#undef VC_TYPE_GETTER

PyObject* extract_coverage_argument(PyObject* coverage) {
    PyTypeObject* type = get_coverage_map_type();
    if (type == nullptr) {
        return nullptr;
    }
    if (Py_TYPE(coverage) != type && !PyType_IsSubtype(Py_TYPE(coverage), type)) {
        set_not_instance_error(coverage, "CoverageMap");
        add_processing_note("coverage");
        return nullptr;
    }
    return Py_NewRef(coverage);
}

PyObject* coverage_map_requests(PyObject* self, void* /*closure*/) {
    return plugin_for(self, get_requests_plugin_type());
}
PyObject* coverage_map_httpx(PyObject* self, void* /*closure*/) { return plugin_for(self, get_httpx_plugin_type()); }
PyObject* coverage_map_django(PyObject* self, void* /*closure*/) { return plugin_for(self, get_django_plugin_type()); }
PyObject* coverage_map_flask(PyObject* self, void* /*closure*/) { return plugin_for(self, get_flask_plugin_type()); }

}  // namespace vantorel::python
