// Registries built over the suite's remote documents resolve every reference of its refRemote
// groups, for every draft. The remotes are served by a Retriever; nothing touches a network.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

namespace fs = std::filesystem;

const fs::path kSuite = fs::path(VC_TESTDATA) / "json-schema-test-suite";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class RemotesRetriever final : public Retriever {
public:
    Result<Value, ErrorSource> retrieve(const Uri& uri) const override {
        constexpr std::string_view prefix = "http://localhost:1234/";
        if (!uri.text().starts_with(prefix))
            return make_unexpected(ErrorSource::text("not a test remote: " + uri.text()));
        const fs::path path = kSuite / "remotes" / uri.text().substr(prefix.size());
        if (!fs::is_regular_file(path)) return make_unexpected(ErrorSource::text("no such remote: " + uri.text()));
        auto parsed = value::parse_json(read_file(path));
        if (!parsed) return make_unexpected(ErrorSource::text(parsed.error().message));
        return std::move(*parsed);
    }
};

// Follows every "$ref" reachable from the root, as a compiler would, through the targets too: a
// subschema is re-based on its own identifier, a reference target keeps the resolver its lookup
// gives. Returns the failures.
std::vector<std::string> follow_all_references(const Registry& registry, const Value& root, Draft draft) {
    struct Item {
        const Value* value;
        Resolver resolver;
        Draft draft;
        bool is_target;
    };
    std::vector<std::string> failures;
    std::vector<Item> stack;
    std::unordered_set<std::string> seen;
    stack.push_back(Item{&root, Resolver(registry, default_base_uri()), draft, false});
    std::size_t steps = 0;
    while (!stack.empty() && ++steps < 10000) {
        Item item = std::move(stack.back());
        stack.pop_back();
        if (!item.value->is_object()) continue;
        if (!seen.insert(std::to_string(reinterpret_cast<std::uintptr_t>(item.value)) + " " +
                         item.resolver.base()->text())
                 .second)
            continue;
        auto rebased = item.is_target ? Result<Resolver, ReferenceError>(item.resolver)
                                      : resolve_schema_id(item.resolver, *item.value, item.draft);
        if (!rebased) {
            failures.push_back(rebased.error().message());
            continue;
        }
        if (auto ref = string_member(*item.value, "$ref")) {
            auto resolved = resolver_lookup(*rebased, *ref);
            if (!resolved) {
                failures.push_back(std::string(*ref) + ": " + resolved.error().message());
            } else {
                stack.push_back(Item{resolved->contents, resolved->resolver, resolved->draft, true});
            }
        }
        for_each_keyword_subschema(KeywordTable::Crawl, item.draft, *item.value,
                                   [&](std::string_view, const Value& child, const SubschemaPosition&) {
                                       stack.push_back(Item{&child, *rebased, detect_draft(item.draft, child), false});
                                   });
    }
    return failures;
}

struct DraftDir {
    std::string_view folder;
    Draft draft;
};

class RefRemote : public ::testing::TestWithParam<DraftDir> {};

TEST_P(RefRemote, EveryReferenceResolves) {
    const fs::path file = kSuite / "tests" / std::string(GetParam().folder) / "refRemote.json";
    if (!fs::exists(file)) GTEST_SKIP() << "test suite not available at " << file;
    const Value groups = testing::json(read_file(file));
    auto retriever = std::make_shared<RemotesRetriever>();
    for (const auto& group : groups.as_array()) {
        const std::string description = group.find("description")->as_string();
        auto schema = std::make_shared<const Value>(*group.find("schema"));
        RegistryOptions options = set_registry_retriever(registry_options_default(), retriever);
        options.draft = GetParam().draft;
        options.insert_resource(*default_base_uri(), RegistryInput::shared(schema));
        auto registry = build_registry(std::move(options));
        ASSERT_TRUE(registry) << description << ": " << registry.error().message();
        const auto failures = follow_all_references(**registry, *schema, GetParam().draft);
        EXPECT_TRUE(failures.empty()) << description << ": " << (failures.empty() ? "" : failures.front());
    }
}

INSTANTIATE_TEST_SUITE_P(Drafts, RefRemote,
                         ::testing::Values(DraftDir{"draft4", Draft::Draft4}, DraftDir{"draft6", Draft::Draft6},
                                           DraftDir{"draft7", Draft::Draft7},
                                           DraftDir{"draft2019-09", Draft::Draft201909},
                                           DraftDir{"draft2020-12", Draft::Draft202012}),
                         [](const auto& info) {
                             std::string name(info.param.folder);
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace
}  // namespace deririrore::referencing
