#pragma once
// The branch discriminator of `anyOf` and `oneOf`: when every branch requires one property and
// pins it to a string of its own (`const`, or a one-element `enum`), the property's value names
// the only branch that can hold, and an object instance is checked against that branch alone.
// The analysis is a speed-up only: it never makes compilation fail, and where it cannot prove
// that a property tells the branches apart it builds nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "deririrore/keywords/compile.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

// Hashes texts with the process's random seeds.
struct SeededTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        value::Hasher h;
        h.write_bytes(s);
        return static_cast<std::size_t>(h.finish());
    }
};

struct TextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

struct DiscriminatorLookup {
    enum class Kind : std::uint8_t { NotAnObject, Branch, NoBranch };
    Kind kind;
    std::size_t index = 0;
};

class BranchDiscriminator {
public:
    BranchDiscriminator(std::string property, std::size_t branch_count);

    const std::string& property() const noexcept { return property_; }
    std::size_t size() const noexcept { return table_.size(); }
    // The branch a pinned value selects.
    std::optional<std::size_t> branch_of(std::string_view value) const;
    // False when the value is already taken by another branch.
    bool insert(std::string value, std::size_t branch);

    DiscriminatorLookup lookup(const Value& instance) const;

private:
    std::string property_;
    std::unordered_map<std::string, std::size_t, SeededTextHash, TextEqual> table_;
};

inline DiscriminatorLookup discriminator_branch_for(const BranchDiscriminator& discriminator, const Value& instance) {
    return discriminator.lookup(instance);
}

// `ctx` is the context at the `anyOf`/`oneOf` keyword; `branches` its array's elements in order.
std::optional<BranchDiscriminator> find_branch_discriminator(const CompileContext& ctx,
                                                             std::span<const Value* const> branches);

}  // namespace deririrore::keywords
