#pragma once
// What the satisfiability analysis leaves in a coverage state for the reports: why it gave no
// result, why a schema can never be satisfied, and which subschemas name an unknown dialect.
// Every text is an owned copy; nothing borrows from the schema described.
#include <string>
#include <variant>
#include <vector>

#include "deririrore/core/location.hpp"
#include "deririrore/referencing/draft.hpp"

namespace zavova {

using deririrore::referencing::Draft;

struct InvalidSchema {
    std::string message;
    deririrore::core::Location location;  // inside the schema; empty for the root
};
struct UncompilablePattern {
    std::string message;
};
struct UnresolvableReference {
    std::string uri;
};
struct UnresolvablePointer {
    std::string pointer;
};
struct UnresolvableAnchor {
    std::string anchor;
};
struct Unsupported {};

using AnalysisFailure = std::variant<InvalidSchema, UncompilablePattern, UnresolvableReference, UnresolvablePointer,
                                     UnresolvableAnchor, Unsupported>;

struct KeywordPreview {
    std::string keyword;
    std::string preview;
    friend bool operator==(const KeywordPreview&, const KeywordPreview&) = default;
};

struct DescribedCause {
    std::string location;
    std::vector<KeywordPreview> keywords;
    friend bool operator==(const DescribedCause&, const DescribedCause&) = default;
};

struct PlainCause {
    DescribedCause cause;
};
struct BranchCauses {
    std::vector<DescribedCause> causes;
};
using CauseEntry = std::variant<PlainCause, BranchCauses>;

struct Unexplained {
    DescribedCause cause;  // no keywords
};
struct SingleCause {
    DescribedCause cause;
};
struct CauseList {
    std::vector<CauseEntry> entries;
};
using UnsatisfiableCause = std::variant<Unexplained, SingleCause, CauseList>;

// Every DescribedCause of an explanation, in entry order.
std::vector<const DescribedCause*> flatten_unsatisfiable_causes(const UnsatisfiableCause& cause);

struct UnknownDialectNote {
    std::string location;
    std::string dialect;
    Draft assumed = Draft::Draft202012;
    friend bool operator==(const UnknownDialectNote&, const UnknownDialectNote&) = default;
};

}  // namespace zavova
