#include "deririrore/canonical/ir.hpp"

#include <algorithm>
#include <sstream>

#include "deririrore/canonical/order.hpp"
#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/overloaded.hpp"

namespace deririrore::canonical {

SharedString share(std::string s) { return std::make_shared<const std::string>(std::move(s)); }

std::string_view FormatKind::name() const {
    if (const auto* n = std::get_if<SharedString>(&kind)) return **n;
    return formats::builtin_format_name(std::get<formats::BuiltinFormat>(kind));
}

namespace {

void hash_string(value::Hasher& h, std::string_view s) {
    h.write_u64(s.size());
    h.write_bytes(s);
}

void hash_big(value::Hasher& h, const BigInt& i) {
    h.write_u8(static_cast<uint8_t>(sgn(i) + 1));
    const std::size_t limbs = mpz_size(i.get_mpz_t());
    h.write_u64(limbs);
    for (std::size_t k = 0; k < limbs; ++k) h.write_u64(static_cast<uint64_t>(mpz_getlimbn(i.get_mpz_t(), k)));
}

void hash_opt_big(value::Hasher& h, const std::optional<BigInt>& i) {
    h.write_u8(i ? 1 : 0);
    if (i) hash_big(h, *i);
}

void hash_bounds(value::Hasher& h, const Bounds& b) {
    hash_opt_big(h, b.minimum);
    hash_opt_big(h, b.maximum);
}

// Equal entries have byte-identical texts, so the text is enough.
void hash_rationals(value::Hasher& h, const std::vector<BoundRational>& list) {
    h.write_u64(list.size());
    for (const auto& r : list) hash_string(h, r.limit);
}

void hash_strings(value::Hasher& h, const std::vector<SharedString>& list) {
    h.write_u64(list.size());
    for (const auto& s : list) hash_string(h, *s);
}

void hash_formats(value::Hasher& h, const std::vector<FormatKind>& list) {
    h.write_u64(list.size());
    for (const auto& f : list) {
        h.write_u8(static_cast<uint8_t>(f.kind.index()));
        if (f.is_builtin())
            h.write_u8(static_cast<uint8_t>(std::get<formats::BuiltinFormat>(f.kind)));
        else
            hash_string(h, f.name());
    }
}

void hash_opt_schema(value::Hasher& h, const std::optional<Schema>& s) {
    h.write_u8(s ? 1 : 0);
    if (s) h.write_u64((*s)->hash);
}

void hash_schemas(value::Hasher& h, const std::vector<Schema>& list) {
    h.write_u64(list.size());
    for (const auto& s : list) h.write_u64(s->hash);
}

void hash_map(value::Hasher& h, const PropertyMap& m) {
    h.write_u64(m.entries.size());
    for (const auto& [name, node] : m.entries) {
        hash_string(h, *name);
        h.write_u64(node->hash);
    }
}

void hash_opt_number(value::Hasher& h, const std::optional<BoundNumber>& b) {
    h.write_u8(b ? 1 : 0);
    if (b) {
        hash_string(h, b->limit);
        h.write_u8(b->inclusive ? 1 : 0);
    }
}

uint64_t compute_hash(const SchemaKind& k) {
    value::Hasher h;
    h.write_u8(static_cast<uint8_t>(k.index()));
    std::visit(value::Overloaded{
                   [&](const kind::MultiType& m) { h.write_u8(m.types.bits()); },
                   [&](const kind::TypedGroup& t) {
                       h.write_u8(static_cast<uint8_t>(t.ty));
                       h.write_u64(t.body->hash);
                   },
                   [&](const kind::String& s) {
                       const auto& l = s.leaf;
                       hash_bounds(h, l.lengths);
                       hash_strings(h, l.patterns);
                       hash_strings(h, l.excluded_patterns);
                       hash_formats(h, l.formats);
                       hash_formats(h, l.excluded_formats);
                       hash_strings(h, l.content_media_types);
                       hash_strings(h, l.content_encodings);
                       hash_strings(h, l.excluded);
                   },
                   [&](const kind::Integer& i) {
                       hash_bounds(h, i.leaf.bounds);
                       hash_rationals(h, i.leaf.multiple_of.folded);
                       hash_rationals(h, i.leaf.not_multiple_of.members);
                   },
                   [&](const kind::Number& n) {
                       hash_opt_number(h, n.leaf.minimum);
                       hash_opt_number(h, n.leaf.maximum);
                       hash_rationals(h, n.leaf.multiple_of.folded);
                       hash_rationals(h, n.leaf.not_multiple_of.members);
                       h.write_u8(n.leaf.excludes_integers ? 1 : 0);
                   },
                   [&](const kind::Array& a) {
                       const auto& l = a.leaf;
                       hash_bounds(h, l.lengths);
                       h.write_u8(static_cast<uint8_t>(l.distinctness));
                       hash_schemas(h, l.prefix);
                       hash_opt_schema(h, l.items);
                       h.write_u64(l.contains.size());
                       for (const auto& f : l.contains) {
                           h.write_u64(f.schema->hash);
                           hash_opt_big(h, f.minimum);
                           hash_opt_big(h, f.maximum);
                       }
                   },
                   [&](const kind::Object& o) {
                       const auto& l = o.leaf;
                       hash_bounds(h, l.sizes);
                       hash_strings(h, l.required);
                       hash_opt_schema(h, l.property_names);
                       hash_map(h, l.properties);
                       hash_map(h, l.pattern_properties);
                       hash_opt_schema(h, l.additional);
                       h.write_u64(l.violations.size());
                       for (const auto& v : l.violations) {
                           h.write_u8(static_cast<uint8_t>(v.index()));
                           std::visit(value::Overloaded{
                                          [&](const violation::NameFails& n) { h.write_u64(n.schema->hash); },
                                          [&](const violation::UndeclaredValueFails& u) {
                                              hash_strings(h, u.names);
                                              hash_strings(h, u.patterns);
                                              h.write_u64(u.additional->hash);
                                          },
                                          [&](const violation::PatternValueFails& p) {
                                              hash_string(h, *p.pattern);
                                              h.write_u64(p.schema->hash);
                                          },
                                      },
                                      v);
                       }
                   },
                   [&](const kind::Const& c) { value::hash_json_value(*c.value, h); },
                   [&](const kind::Enum& e) {
                       h.write_u64(e.values.size());
                       for (const auto& v : e.values) value::hash_json_value(*v, h);
                   },
                   [&](const kind::Not& n) { h.write_u64(n.operand->hash); },
                   [&](const kind::AllOf& a) { hash_schemas(h, a.branches); },
                   [&](const kind::AnyOf& a) { hash_schemas(h, a.branches); },
                   [&](const kind::OneOf& a) { hash_schemas(h, a.branches); },
                   [&](const kind::Reference& r) { hash_string(h, *r.name); },
                   [&](const kind::True&) {},
                   [&](const kind::False&) {},
                   [&](const kind::Raw& r) { value::hash_json_value(*r.raw.value, h); },
               },
               k);
    return h.finish();
}

}  // namespace

Schema make_schema(SchemaKind k) {
    const uint64_t hash = compute_hash(k);
    return Schema(std::make_shared<const SchemaData>(SchemaData{std::move(k), hash}));
}

const Schema& true_schema() {
    thread_local const Schema node = make_schema(kind::True{});
    return node;
}

const Schema& false_schema() {
    thread_local const Schema node = make_schema(kind::False{});
    return node;
}

Schema schema_from_type_mask(JsonTypeSet types) {
    if (types.contains(JsonType::Number)) types.remove(JsonType::Integer);
    const JsonTypeSet all = JsonTypeSet::from_bits(0x7f);
    JsonTypeSet widened = types;
    if (widened.contains(JsonType::Number)) widened.insert(JsonType::Integer);
    if (widened == all) return true_schema();
    if (types.empty()) return false_schema();
    if (types == JsonTypeSet(JsonType::Null)) return make_schema(kind::Const{std::make_shared<const value::Value>()});
    if (types == JsonTypeSet(JsonType::Boolean)) {
        return make_schema(kind::Enum{{std::make_shared<const value::Value>(value::Value::boolean(false)),
                                       std::make_shared<const value::Value>(value::Value::boolean(true))}});
    }
    return make_schema(kind::MultiType{types});
}

Schema schema_from_value_set(std::vector<CanonicalJson> values) {
    std::stable_sort(values.begin(), values.end(),
                     [](const CanonicalJson& a, const CanonicalJson& b) { return compare_canonical_json(*a, *b) < 0; });
    values.erase(std::unique(values.begin(), values.end(),
                             [](const CanonicalJson& a, const CanonicalJson& b) { return canonical_json_eq(*a, *b); }),
                 values.end());
    if (values.empty()) return false_schema();
    if (values.size() == 1) return make_schema(kind::Const{std::move(values[0])});
    if (values.size() == 3 && values[0]->is_null() && values[1]->is_bool() && values[2]->is_bool())
        return make_schema(kind::MultiType{JsonTypeSet(JsonType::Null).with(JsonType::Boolean)});
    return make_schema(kind::Enum{std::move(values)});
}

namespace {

class Renderer {
public:
    std::ostringstream out;
    std::size_t depth = 0;

    void str(std::string_view s) {
        std::string quoted;
        value::append_json_string(quoted, s);
        out << quoted;
    }
    void big(const std::optional<BigInt>& i) {
        if (i)
            out << "Some(" << i->get_str() << ")";
        else
            out << "None";
    }
    void bounds(const Bounds& b) {
        out << "Bounds { minimum: ";
        big(b.minimum);
        out << ", maximum: ";
        big(b.maximum);
        out << " }";
    }
    void strings(const std::vector<SharedString>& list) {
        out << "[";
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i) out << ", ";
            str(*list[i]);
        }
        out << "]";
    }
    void formats(const std::vector<FormatKind>& list) {
        out << "[";
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i) out << ", ";
            if (list[i].is_builtin()) {
                out << "Builtin(" << list[i].name() << ")";
            } else {
                out << "Unknown(";
                str(list[i].name());
                out << ")";
            }
        }
        out << "]";
    }
    void rationals(const std::vector<BoundRational>& list) {
        out << "[";
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i) out << ", ";
            out << "BoundRational { limit: Number(" << list[i].limit << ") }";
        }
        out << "]";
    }
    void number(const std::optional<BoundNumber>& b) {
        if (!b) {
            out << "None";
            return;
        }
        out << "Some(BoundNumber { limit: Number(" << b->limit << "), inclusive: " << (b->inclusive ? "true" : "false")
            << " })";
    }
    void json(const value::Value& v) { out << value::to_json(v); }
    void opt(const std::optional<Schema>& s) {
        if (!s) {
            out << "None";
            return;
        }
        out << "Some(";
        node(*s);
        out << ")";
    }
    void list(const std::vector<Schema>& l) {
        out << "[";
        for (std::size_t i = 0; i < l.size(); ++i) {
            if (i) out << ", ";
            node(l[i]);
        }
        out << "]";
    }
    void map(const PropertyMap& m) {
        out << (m.entries.empty() ? "Empty" : m.entries.size() == 1 ? "One" : "Many") << "([";
        for (std::size_t i = 0; i < m.entries.size(); ++i) {
            if (i) out << ", ";
            out << "(";
            str(*m.entries[i].first);
            out << ", ";
            node(m.entries[i].second);
            out << ")";
        }
        out << "])";
    }
    void node(const Schema& s) {
        if (depth >= kMaxCompareDepth) {
            out << "...";
            return;
        }
        ++depth;
        out << "Schema(SchemaData { kind: ";
        kind_of(s->kind);
        out << ", hash: " << s->hash << " })";
        --depth;
    }
    void kind_of(const SchemaKind& k) {
        std::visit(value::Overloaded{
                       [&](const kind::MultiType& m) {
                           out << "MultiType(";
                           out << "(";
                           bool first = true;
                           for (auto t : m.types) {
                               if (!first) out << ", ";
                               first = false;
                               out << value::json_type_name(t);
                           }
                           out << "))";
                       },
                       [&](const kind::TypedGroup& t) {
                           std::string name(value::json_type_name(t.ty));
                           name[0] = static_cast<char>(name[0] - 'a' + 'A');
                           out << "TypedGroup { ty: " << name << ", body: ";
                           node(t.body);
                           out << " }";
                       },
                       [&](const kind::String& s) {
                           const auto& l = s.leaf;
                           out << "String(NonEmpty(StringLeaf { lengths: ";
                           bounds(l.lengths);
                           out << ", patterns: ";
                           strings(l.patterns);
                           out << ", excluded_patterns: ";
                           strings(l.excluded_patterns);
                           out << ", formats: ";
                           formats(l.formats);
                           out << ", excluded_formats: ";
                           formats(l.excluded_formats);
                           out << ", content_media_types: ";
                           strings(l.content_media_types);
                           out << ", content_encodings: ";
                           strings(l.content_encodings);
                           out << ", excluded: ";
                           strings(l.excluded);
                           out << " }))";
                       },
                       [&](const kind::Integer& i) {
                           out << "Integer(NonEmpty(IntegerLeaf { bounds: ";
                           bounds(i.leaf.bounds);
                           out << ", multiple_of: Divisors { folded: ";
                           rationals(i.leaf.multiple_of.folded);
                           out << " }, not_multiple_of: ";
                           rationals(i.leaf.not_multiple_of.members);
                           out << " }))";
                       },
                       [&](const kind::Number& n) {
                           out << "Number(NonEmpty(NumberLeaf { minimum: ";
                           number(n.leaf.minimum);
                           out << ", maximum: ";
                           number(n.leaf.maximum);
                           out << ", multiple_of: Divisors { folded: ";
                           rationals(n.leaf.multiple_of.folded);
                           out << " }, not_multiple_of: ";
                           rationals(n.leaf.not_multiple_of.members);
                           out << ", excludes_integers: " << (n.leaf.excludes_integers ? "true" : "false") << " }))";
                       },
                       [&](const kind::Array& a) {
                           const auto& l = a.leaf;
                           static const char* const kDistinct[] = {"Unconstrained", "AllDistinct", "SomeRepeated"};
                           out << "Array(NonEmpty(ArrayLeaf { lengths: ";
                           bounds(l.lengths);
                           out << ", distinctness: " << kDistinct[static_cast<int>(l.distinctness)] << ", prefix: ";
                           list(l.prefix);
                           out << ", items: ";
                           opt(l.items);
                           out << ", contains: [";
                           for (std::size_t i = 0; i < l.contains.size(); ++i) {
                               if (i) out << ", ";
                               out << "ContainsFacet { schema: ";
                               node(l.contains[i].schema);
                               out << ", minimum: ";
                               big(l.contains[i].minimum);
                               out << ", maximum: ";
                               big(l.contains[i].maximum);
                               out << " }";
                           }
                           out << "] }))";
                       },
                       [&](const kind::Object& o) {
                           const auto& l = o.leaf;
                           out << "Object(NonEmpty(ObjectLeaf { sizes: ";
                           bounds(l.sizes);
                           out << ", required: ";
                           strings(l.required);
                           out << ", property_names: ";
                           opt(l.property_names);
                           out << ", properties: ";
                           map(l.properties);
                           out << ", pattern_properties: ";
                           map(l.pattern_properties);
                           out << ", additional: ";
                           opt(l.additional);
                           out << ", violations: [";
                           for (std::size_t i = 0; i < l.violations.size(); ++i) {
                               if (i) out << ", ";
                               std::visit(value::Overloaded{
                                              [&](const violation::NameFails& n) {
                                                  out << "NameFails(";
                                                  node(n.schema);
                                                  out << ")";
                                              },
                                              [&](const violation::UndeclaredValueFails& u) {
                                                  out << "UndeclaredValueFails { names: ";
                                                  strings(u.names);
                                                  out << ", patterns: ";
                                                  strings(u.patterns);
                                                  out << ", additional: ";
                                                  node(u.additional);
                                                  out << " }";
                                              },
                                              [&](const violation::PatternValueFails& p) {
                                                  out << "PatternValueFails { pattern: ";
                                                  str(*p.pattern);
                                                  out << ", schema: ";
                                                  node(p.schema);
                                                  out << " }";
                                              },
                                          },
                                          l.violations[i]);
                           }
                           out << "] }))";
                       },
                       [&](const kind::Const& c) {
                           out << "Const(";
                           json(*c.value);
                           out << ")";
                       },
                       [&](const kind::Enum& e) {
                           out << (e.values.size() == 2 ? "Enum(Two([" : "Enum(Many([");
                           for (std::size_t i = 0; i < e.values.size(); ++i) {
                               if (i) out << ", ";
                               json(*e.values[i]);
                           }
                           out << "]))";
                       },
                       [&](const kind::Not& n) {
                           out << "Not(";
                           node(n.operand);
                           out << ")";
                       },
                       [&](const kind::AllOf& a) {
                           out << "AllOf(";
                           list(a.branches);
                           out << ")";
                       },
                       [&](const kind::AnyOf& a) {
                           out << "AnyOf(";
                           list(a.branches);
                           out << ")";
                       },
                       [&](const kind::OneOf& a) {
                           out << "OneOf(";
                           list(a.branches);
                           out << ")";
                       },
                       [&](const kind::Reference& r) {
                           out << "Reference(";
                           str(*r.name);
                           out << ")";
                       },
                       [&](const kind::True&) { out << "True"; },
                       [&](const kind::False&) { out << "False"; },
                       [&](const kind::Raw& r) {
                           out << "Raw(RawJson { value: ";
                           json(*r.raw.value);
                           out << " })";
                       },
                   },
                   k);
    }
};

}  // namespace

std::string debug_string(const Schema& s) {
    Renderer r;
    r.node(s);
    return r.out.str();
}

std::string debug_string(const SchemaKind& k) {
    Renderer r;
    r.kind_of(k);
    return r.out.str();
}

}  // namespace deririrore::canonical
