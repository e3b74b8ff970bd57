#pragma once
// The canonical form of a schema: immutable, shared, hashed nodes whose leaves
// carry exact numbers. Equal meaning written in different ways should become
// the same node, so that the algebra can compare schemas structurally.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "deririrore/formats/formats.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/types.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::canonical {

using value::BigInt;
using value::BigRational;
using value::JsonType;
using value::JsonTypeSet;
using SharedString = std::shared_ptr<const std::string>;
// A JSON value whose numbers are canonical texts.
using CanonicalJson = std::shared_ptr<const value::Value>;

SharedString share(std::string s);

// The exact value of a number text. Finite values keep their sign inside the
// (reduced) fraction; zero has no sign.
struct ExactValue {
    enum class Form : uint8_t { Finite = 0, Infinite = 1, NotANumber = 2 };
    Form form = Form::Finite;
    bool negative = false;  // Infinite only
    BigRational fraction;   // Finite only

    static ExactValue finite(BigRational q) {
        q.canonicalize();
        return ExactValue{Form::Finite, false, std::move(q)};
    }
    static ExactValue infinite(bool negative) { return ExactValue{Form::Infinite, negative, {}}; }
    static ExactValue nan() { return ExactValue{Form::NotANumber, false, {}}; }
    bool is_finite() const noexcept { return form == Form::Finite; }
};

// A divisor entry: the canonical text and, for plain texts, its exact value.
struct BoundRational {
    std::string limit;
    std::optional<ExactValue> value;
};

struct BoundNumber {
    std::string limit;
    bool inclusive = true;
};

// `members` as gathered; `folded` the equivalent reduced set, which alone
// decides order, equality and hash.
struct Divisors {
    std::vector<BoundRational> members;
    std::vector<BoundRational> folded;
};

struct ExcludedDivisors {
    std::vector<BoundRational> members;
};

// Inclusive window; an absent end is open.
struct Bounds {
    std::optional<BigInt> minimum;
    std::optional<BigInt> maximum;
};

struct FormatKind {
    // The name (a format this draft does not know) or the built-in format.
    std::variant<SharedString, formats::BuiltinFormat> kind;

    static FormatKind unknown(SharedString name) { return FormatKind{std::move(name)}; }
    static FormatKind builtin(formats::BuiltinFormat f) { return FormatKind{f}; }
    bool is_builtin() const noexcept { return kind.index() == 1; }
    std::string_view name() const;
};

class Schema;
struct SchemaData;

struct StringLeaf {
    Bounds lengths;
    std::vector<SharedString> patterns;
    std::vector<SharedString> excluded_patterns;
    std::vector<FormatKind> formats;
    std::vector<FormatKind> excluded_formats;
    std::vector<SharedString> content_media_types;
    std::vector<SharedString> content_encodings;
    std::vector<SharedString> excluded;
};

struct NumberLeaf {
    std::optional<BoundNumber> minimum;
    std::optional<BoundNumber> maximum;
    Divisors multiple_of;
    ExcludedDivisors not_multiple_of;
    bool excludes_integers = false;
};

struct IntegerLeaf {
    Bounds bounds;
    Divisors multiple_of;
    ExcludedDivisors not_multiple_of;
};

enum class Distinctness : uint8_t { Unconstrained = 0, AllDistinct = 1, SomeRepeated = 2 };

// A handle that is never null: absence is std::optional<Schema>.
class Schema {
public:
    explicit Schema(std::shared_ptr<const SchemaData> data) : data_(std::move(data)) {}
    const SchemaData& operator*() const noexcept { return *data_; }
    const SchemaData* operator->() const noexcept { return data_.get(); }
    const SchemaData* get() const noexcept { return data_.get(); }
    bool same(const Schema& other) const noexcept { return data_ == other.data_; }

private:
    std::shared_ptr<const SchemaData> data_;
};

struct ContainsFacet {
    Schema schema;
    std::optional<BigInt> minimum;
    std::optional<BigInt> maximum;
};

struct ArrayLeaf {
    Bounds lengths;
    Distinctness distinctness = Distinctness::Unconstrained;
    std::vector<Schema> prefix;
    std::optional<Schema> items;
    std::vector<ContainsFacet> contains;
};

// Sorted bytewise by name, each name once.
struct PropertyMap {
    std::vector<std::pair<SharedString, Schema>> entries;
    bool empty() const noexcept { return entries.empty(); }
    std::size_t size() const noexcept { return entries.size(); }
};

namespace violation {
struct NameFails {
    Schema schema;
};
struct UndeclaredValueFails {
    std::vector<SharedString> names;
    std::vector<SharedString> patterns;
    Schema additional;
};
struct PatternValueFails {
    SharedString pattern;
    Schema schema;
};
}  // namespace violation
using ObjectViolation =
    std::variant<violation::NameFails, violation::UndeclaredValueFails, violation::PatternValueFails>;

struct ObjectLeaf {
    Bounds sizes;
    std::vector<SharedString> required;
    std::optional<Schema> property_names;
    PropertyMap properties;
    PropertyMap pattern_properties;
    std::optional<Schema> additional;
    std::vector<ObjectViolation> violations;
};

enum class RawReason : uint8_t {
    UnknownDialect = 0,
    Unmodeled = 1,
    OutgrewIntersections = 2,
    OutgrewCases = 3,
    InexactIntersection = 4,
};

struct RawJson {
    std::shared_ptr<const value::Value> value;
    RawReason reason = RawReason::Unmodeled;
    SharedString pointer;  // may be null
};

// The seventeen node kinds, in the order that the node order compares first.
namespace kind {
struct MultiType {
    JsonTypeSet types;
};
struct TypedGroup {
    JsonType ty;
    Schema body;
};
struct String {
    StringLeaf leaf;
};
struct Integer {
    IntegerLeaf leaf;
};
struct Number {
    NumberLeaf leaf;
};
struct Array {
    ArrayLeaf leaf;
};
struct Object {
    ObjectLeaf leaf;
};
struct Const {
    CanonicalJson value;
};
// Two or more values, sorted and distinct.
struct Enum {
    std::vector<CanonicalJson> values;
};
struct Not {
    Schema operand;
};
struct AllOf {
    std::vector<Schema> branches;
};
struct AnyOf {
    std::vector<Schema> branches;
};
struct OneOf {
    std::vector<Schema> branches;
};
struct Reference {
    SharedString name;
};
struct True {};
struct False {};
struct Raw {
    RawJson raw;
};
}  // namespace kind

using SchemaKind = std::variant<kind::MultiType, kind::TypedGroup, kind::String, kind::Integer, kind::Number,
                                kind::Array, kind::Object, kind::Const, kind::Enum, kind::Not, kind::AllOf, kind::AnyOf,
                                kind::OneOf, kind::Reference, kind::True, kind::False, kind::Raw>;

enum class KindIndex : uint8_t {
    MultiType = 0,
    TypedGroup,
    String,
    Integer,
    Number,
    Array,
    Object,
    Const,
    Enum,
    Not,
    AllOf,
    AnyOf,
    OneOf,
    Reference,
    True,
    False,
    Raw,
};

struct SchemaData {
    SchemaKind kind;
    uint64_t hash = 0;

    KindIndex index() const noexcept { return static_cast<KindIndex>(kind.index()); }
    template <class K>
    const K* as() const noexcept {
        return std::get_if<K>(&kind);
    }
};

inline bool is_true(const Schema& s) { return s->index() == KindIndex::True; }
inline bool is_false(const Schema& s) { return s->index() == KindIndex::False; }

// The only way to build a node: computes the hash from what equality compares.
Schema make_schema(SchemaKind kind);
// One of each per thread.
const Schema& true_schema();
const Schema& false_schema();

// True for every type, Const null, Enum [false, true], MultiType otherwise.
Schema schema_from_type_mask(JsonTypeSet types);
// Sorted and de-duplicated first; none gives False.
Schema schema_from_value_set(std::vector<CanonicalJson> values);

// Structural rendering for the texts of internal stops.
std::string debug_string(const Schema& s);
std::string debug_string(const SchemaKind& k);

}  // namespace deririrore::canonical
