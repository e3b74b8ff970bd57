#pragma once
// The version of an API document, one byte.
#include <cstdint>

namespace vantorel::model {

enum class SpecVersion : std::uint8_t {
    Swagger20 = 0,
    OpenApi30 = 1,
    OpenApi31 = 2,
    OpenApi32 = 3,
};

}  // namespace vantorel::model
