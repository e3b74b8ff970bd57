#pragma once
// One measured parameter or request body of an operation. Only what the operation records and
// the path-template analysis read is here so far; the compiled validator, the decoding settings
// and the counting part join it with the target builders.
#include <cstdint>
#include <memory>
#include <string>

#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"

namespace vantorel::model {

struct ParameterTarget {
    // The form: -1 a Swagger 2.0 target, 0, 1, 2 and 7 OpenAPI 3 request bodies, 3 path, 4 query,
    // 5 header, 6 cookie, 8 querystring.
    std::int64_t tag = 0;
    std::string name;
    ParameterLocation location = ParameterLocation::Query;
    std::shared_ptr<const deririrore::value::Value> schema;  // hydrated; null until built
};

}  // namespace vantorel::model
