// The parser over the official JSON Schema Test Suite, every draft: each
// schema is parsed from its root (again in dynamic-reference mode when the
// first pass asks for it), and every instance whose admission the parsed node
// decides must get the suite's verdict. Undecided answers are allowed; a wrong
// decided answer is a parser fault (or an algebra fault it exposes).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "deririrore/canonical/admission.hpp"
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

const fs::path kSuiteTests = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests";

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct SuiteTally {
    std::size_t schemas = 0;
    std::size_t parsed = 0;
    std::size_t decided = 0;
};

// The outcome of parsing `schema` as the driver's first passes would.
struct SuiteParse {
    std::shared_ptr<const ref::Registry> registry;
    CanonicalContext context = new_canonical_context(regex::PatternOptions{}, Draft::Draft202012, false);
    ParseTracker tracker;
    std::optional<Schema> node;
};

std::unique_ptr<SuiteParse> parse_suite_schema(const std::shared_ptr<const Value>& schema, Draft draft) {
    constexpr std::string_view base = "https://suite.example/schema.json";
    ref::RegistryOptions options;
    options.draft = registry_draft(draft);
    options.insert_resource(*ref::parse_uri(base), ref::RegistryInput::shared(schema));
    auto registry = ref::build_registry(std::move(options));
    if (!registry) return nullptr;  // remote references: not in this test's registry
    for (uint8_t mode : {uint8_t{0}, uint8_t{2}}) {
        auto p = std::make_unique<SuiteParse>();
        p->registry = *registry;
        p->context = new_canonical_context(regex::PatternOptions{}, draft, false);
        p->tracker.root_value = schema.get();
        p->tracker.root_uri = share(std::string(base));
        p->tracker.dynamic_mode = mode;
        const Resolver scope(*p->registry, std::make_shared<const ref::Uri>(*ref::parse_uri(base)));
        ParseOutcome outcome = parse_canonical_node(*schema, p->context, true, scope, p->tracker);
        if (p->tracker.dynamic_mode == 1) continue;
        if (outcome.has_node() && !context_spent(p->context)) p->node = outcome.node();
        return p;
    }
    return nullptr;
}

void check_draft(const char* folder, Draft draft) {
    const fs::path dir = kSuiteTests / folder;
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    SuiteTally tally;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
        auto groups = value::parse_json(read_text(entry.path()));
        ASSERT_TRUE(groups) << entry.path();
        for (const Value& group : groups->as_array()) {
            auto schema = std::make_shared<const Value>(*group.find("schema"));
            ++tally.schemas;
            auto parsed = parse_suite_schema(schema, draft);
            if (!parsed || !parsed->node) continue;
            ++tally.parsed;
            parsed->context.targets = std::make_shared<const TargetTable>(parsed->tracker.targets);
            for (const Value& test : group.find("tests")->as_array()) {
                const bool valid = test.find("valid")->as_bool();
                const Admission a = node_admits_value(*parsed->node, *test.find("data"), true, parsed->context);
                if (a == Admission::Undecided) continue;
                ++tally.decided;
                EXPECT_EQ(a == Admission::Accepted, valid)
                    << entry.path().filename() << ": " << group.find("description")->as_string() << " / "
                    << test.find("description")->as_string();
            }
        }
    }
    // The parser models most of the suite; a collapse to nothing would hide every fault.
    EXPECT_GT(tally.parsed * 2, tally.schemas) << folder;
    EXPECT_GT(tally.decided, 100u) << folder;
}

TEST(ParseSuite, Draft4) { check_draft("draft4", Draft::Draft4); }
TEST(ParseSuite, Draft6) { check_draft("draft6", Draft::Draft6); }
TEST(ParseSuite, Draft7) { check_draft("draft7", Draft::Draft7); }
TEST(ParseSuite, Draft201909) { check_draft("draft2019-09", Draft::Draft201909); }
TEST(ParseSuite, Draft202012) { check_draft("draft2020-12", Draft::Draft202012); }

}  // namespace
