#pragma once
// A measured schema as the tracer tests need it: the schema value, its validator built with the
// coverage core's options, and a holder whose entries keyword collection filled.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/dialect/options.hpp"
#include "zavova/measured_targets.hpp"

namespace tracertest {

using deririrore::referencing::Draft;
using deririrore::value::Value;

inline Value json(std::string_view text) {
    auto parsed = deririrore::value::parse_json(text);
    if (!parsed) throw std::invalid_argument("bad test JSON: " + parsed.error().message + " in " + std::string(text));
    return std::move(parsed).value();
}

struct Measured {
    Value schema;
    std::optional<deririrore::core::Validator> validator;
    zavova::CoverageHolder holder;

    explicit Measured(std::string_view text, Draft draft = Draft::Draft202012) : schema(json(text)) {
        auto built = deririrore::core::build_validator(
            schema, vantorel::dialect::measured_schema_options(draft, vantorel::dialect::NullableSource::MediaType));
        if (!built) throw std::invalid_argument("schema does not compile: " + std::string(text));
        validator.emplace(std::move(*built));
        holder = zavova::build_coverage_state(schema, draft, {});
    }

    const zavova::KeywordEntry* find(std::string_view location) const { return holder.state->entries.find(location); }

    // Every entry with its counters, for failure messages.
    std::string dump() const {
        std::ostringstream out;
        const auto& entries = holder.state->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& e = entries.entry(i);
            out << "  [" << i << "] \"" << entries.location(i) << "\" tag " << int(e.kind.tag) << " payload "
                << int(e.kind.payload) << ": " << e.passed << "/" << e.failed << "/" << e.not_applicable << "\n";
        }
        return out.str();
    }
};

}  // namespace tracertest
