#pragma once
// The one exception type of the engine: a broken internal invariant. Failures that input can
// cause are values (`Result`), never this. The Python boundary turns it into an exception.
#include <stdexcept>
#include <string>

namespace deririrore {

class InternalError : public std::logic_error {
public:
    explicit InternalError(const std::string& what) : std::logic_error(what) {}
    explicit InternalError(const char* what) : std::logic_error(what) {}
};

}  // namespace deririrore
