#pragma once
#include <gtest/gtest.h>

#include <string_view>

#include "deririrore/value/json.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing::testing {

inline value::Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad test JSON: " + parsed.error().message);
    return std::move(*parsed);
}

}  // namespace deririrore::referencing::testing
