// Soundness of the algebra over the official JSON Schema Test Suite with the
// intersection budget forced down: running out may only make answers wider or
// undecided, so a schema with a valid instance never parses to False and no
// valid instance is refused by the node, whatever the budget was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
namespace ref = deririrore::referencing;
namespace fs = std::filesystem;
using value::Value;

// The budget the properties of the algebra name, then budgets small enough to
// run out inside most schemas.
constexpr uint64_t kSmallBudgets[] = {100, 8, 2};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct SmallBudgetParse {
    std::shared_ptr<const ref::Registry> registry;
    CanonicalContext context = new_canonical_context(regex::PatternOptions{}, Draft::Draft202012, false);
    ParseTracker tracker;
    std::optional<Schema> node;
    bool spent = false;
};

std::unique_ptr<SmallBudgetParse> parse_with_small_budget(const std::shared_ptr<const Value>& schema, Draft draft,
                                                          uint64_t budget) {
    constexpr std::string_view base = "https://suite.example/schema.json";
    ref::RegistryOptions options;
    options.draft = registry_draft(draft);
    options.insert_resource(*ref::parse_uri(base), ref::RegistryInput::shared(schema));
    auto registry = ref::build_registry(std::move(options));
    if (!registry) return nullptr;
    for (uint8_t mode : {uint8_t{0}, uint8_t{2}}) {
        auto p = std::make_unique<SmallBudgetParse>();
        p->registry = *registry;
        p->context = new_canonical_context(regex::PatternOptions{}, draft, false);
        p->context.intersection_budget = budget;
        p->tracker.root_value = schema.get();
        p->tracker.root_uri = share(std::string(base));
        p->tracker.dynamic_mode = mode;
        const Resolver scope(*p->registry, std::make_shared<const ref::Uri>(*ref::parse_uri(base)));
        ParseOutcome outcome = parse_canonical_node(*schema, p->context, true, scope, p->tracker);
        if (p->tracker.dynamic_mode == 1) continue;
        p->spent = context_spent(p->context);
        if (outcome.has_node()) p->node = outcome.node();
        return p;
    }
    return nullptr;
}

void check_small_budget(const char* folder, Draft draft) {
    const fs::path dir = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests" / folder;
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    std::size_t parsed = 0;
    std::size_t ran_out = 0;
    for (const uint64_t budget : kSmallBudgets)
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
            auto groups = value::parse_json(slurp(entry.path()));
            ASSERT_TRUE(groups) << entry.path();
            for (const Value& group : groups->as_array()) {
                auto schema = std::make_shared<const Value>(*group.find("schema"));
                auto p = parse_with_small_budget(schema, draft, budget);
                if (!p || !p->node) continue;
                ++parsed;
                if (p->spent) ++ran_out;
                const std::string where = entry.path().filename().string() + ": " +
                                          group.find("description")->as_string() + " (budget " +
                                          std::to_string(budget) + ")";
                // The value tests get a budget of their own: only the construction ran short.
                p->context.targets = std::make_shared<const TargetTable>(p->tracker.targets);
                p->context.intersection_budget = kDefaultIntersectionBudget;
                p->context.exhausted = false;
                for (const Value& test : group.find("tests")->as_array()) {
                    if (!test.find("valid")->as_bool()) continue;
                    EXPECT_FALSE(is_false(*p->node)) << where;
                    const bool rejected = node_rejects_value(*p->node, *test.find("data"), p->context);
                    EXPECT_FALSE(rejected) << where << " / " << test.find("description")->as_string();
                }
            }
        }
    EXPECT_GT(parsed, 100u) << folder;
    // A budget this small must actually run out somewhere, or the test proves nothing.
    EXPECT_GT(ran_out, 0u) << folder;
}

TEST(AlgebraSuite, SmallBudgetDraft4) { check_small_budget("draft4", Draft::Draft4); }
TEST(AlgebraSuite, SmallBudgetDraft7) { check_small_budget("draft7", Draft::Draft7); }
TEST(AlgebraSuite, SmallBudgetDraft201909) { check_small_budget("draft2019-09", Draft::Draft201909); }
TEST(AlgebraSuite, SmallBudgetDraft202012) { check_small_budget("draft2020-12", Draft::Draft202012); }

}  // namespace
