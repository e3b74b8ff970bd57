// Dialect identifiers to drafts.
#include <gtest/gtest.h>

#include "vantorel/model/dialect_draft.hpp"

namespace {

using deririrore::referencing::Draft;
using vantorel::model::openapi_dialect_draft;

TEST(OpenApiDialectDraft, OpenApiIdentifiersAreDraft202012AndTheRestGoesToTheMetaSchemaIds) {
    const struct {
        std::string_view text;
        Draft draft;
    } cases[] = {
        {"https://spec.openapis.org/oas/3.1/dialect/base", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base#", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base##", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/2024-10-25", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/2024-11-10", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.2/dialect/2025-09-17", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.2/dialect/2026-02-26#", Draft::Draft202012},
        {"https://spec.openapis.org/oas/3.1/dialect/base/", Draft::Unknown},
        {"HTTPS://SPEC.OPENAPIS.ORG/OAS/3.1/DIALECT/BASE", Draft::Unknown},
        {"http://spec.openapis.org/oas/3.1/dialect/base", Draft::Unknown},
        {"https://spec.openapis.org/oas/3.0/dialect/base", Draft::Unknown},
        {"https://spec.openapis.org/oas/3.1/dialect/2025-01-01", Draft::Unknown},
        {"https://json-schema.org/draft/2020-12/schema", Draft::Draft202012},
        {"http://json-schema.org/draft-07/schema#", Draft::Draft7},
        {"http://json-schema.org/draft-04/schema", Draft::Draft4},
        {"###", Draft::Unknown},
        {"", Draft::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(openapi_dialect_draft(c.text), c.draft) << c.text;
}

}  // namespace
