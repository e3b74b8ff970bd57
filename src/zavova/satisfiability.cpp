#include "zavova/satisfiability.hpp"

namespace zavova {

namespace {

class NoAnalysis final : public SatisfiabilityAnalysis {
public:
    SatisfiabilityResult analyse_satisfiability(const Value&, std::optional<Draft>) const override {
        return NotAnalysed{};
    }
    std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap&, const Value&) const override {
        return std::nullopt;
    }
    UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses&, const Value&,
                                                    Draft) const override {
        return Unexplained{DescribedCause{std::string(location), {}}};
    }
};

constexpr std::string_view kOpenApiDialectIds[] = {
    "https://spec.openapis.org/oas/3.1/dialect/base",       "https://spec.openapis.org/oas/3.1/dialect/2024-10-25",
    "https://spec.openapis.org/oas/3.1/dialect/2024-11-10", "https://spec.openapis.org/oas/3.2/dialect/2025-09-17",
    "https://spec.openapis.org/oas/3.2/dialect/2026-02-26",
};

}  // namespace

const SatisfiabilityAnalysis& no_satisfiability_analysis() noexcept {
    static const NoAnalysis analysis;
    return analysis;
}

Draft openapi_dialect_draft(std::string_view text) noexcept {
    std::string_view trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '#') trimmed.remove_suffix(1);
    for (auto id : kOpenApiDialectIds) {
        if (trimmed == id) return Draft::Draft202012;
    }
    return deririrore::referencing::draft_from_url(text);
}

std::optional<UnknownDialectNote> find_unknown_dialect(const Value& schema, Draft assumed, std::string_view location) {
    const auto dialect = deririrore::referencing::string_member(schema, "$schema");
    if (!dialect || openapi_dialect_draft(*dialect) != Draft::Unknown) return std::nullopt;
    return UnknownDialectNote{std::string(location), std::string(*dialect), assumed};
}

}  // namespace zavova
