#pragma once
// A threshold as reports show it: the dimension, its minimum percentage and, when the dimension
// has targets, the actual percentage.
#include <optional>

#include "vantorel/reports/statistics.hpp"

namespace vantorel::reports {

struct ThresholdResult {
    Dimension dimension = Dimension::Operations;
    double minimum = 0;
    std::optional<double> actual;
};

}  // namespace vantorel::reports
