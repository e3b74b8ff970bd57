#pragma once
// Settling after the parse: reference targets are refolded bottom-up in
// dependency order, so that references to targets accepting nothing become
// False and the simplification spreads; then every schema object whose node
// depended on a reference is refolded, and the causes of those that turn out
// to accept nothing are searched again.
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "deririrore/canonical/causes.hpp"
#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

inline constexpr std::size_t kMaxRefoldPasses = 8;
// Nodes nested deeper are kept as they are rather than refolded.
inline constexpr std::size_t kMaxRefoldDepth = 256;

struct SettlingPair {
    CanonicalContext settling;
    CanonicalContext companion;
    // The settling context's table, written as targets settle.
    std::shared_ptr<TargetTable> table;

    bool spent() const noexcept { return context_spent(settling) || context_spent(companion); }
};

SettlingPair make_settling_pair(const CanonicalContext& parse_context, const TargetTable& targets);

// Target names in settling order (each after the targets it references), or
// none when the reference graph has a cycle.
std::optional<std::vector<std::string>> settle_order(const Schema& root, const TargetTable& targets);

Schema refold(const Schema& node, const TargetTable& targets, CanonicalContext& settling, CanonicalContext& companion);
Schema refold_until_stable(const Schema& node, const TargetTable& targets, CanonicalContext& settling,
                           CanonicalContext& companion);

// False: settling was abandoned on a spent pair. Targets that settle to False
// are marked in `target_aliases` as accepting nothing.
bool settle_targets(const std::vector<std::string>& order, SettlingPair& pair,
                    std::map<std::string, std::optional<SharedString>, std::less<>>& target_aliases);

void settle_schema_objects(const value::Value& root, const std::vector<std::pair<ValueId, Schema>>& dependent,
                           SettlingPair& pair, const std::unordered_map<ValueId, KeywordParts>& parts_by_object,
                           const std::map<std::string, ValueId, std::less<>>& target_values, SettledCauses& settled);

}  // namespace deririrore::canonical
