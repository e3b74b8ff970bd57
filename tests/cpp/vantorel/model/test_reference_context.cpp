// The build's reference context: base directories, scopes, and referenced files read once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/model/reference_context.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace {

using namespace vantorel::model;
using deririrore::referencing::Draft;
using deririrore::value::parse_json;
using deririrore::value::to_json;
namespace fs = std::filesystem;

TEST(ParentDirectory, PathWithoutItsLastComponent) {
    const struct {
        std::string_view path;
        std::string_view parent;
    } cases[] = {
        {"dir/spec.yaml", "dir"}, {"/spec.yaml", "/"}, {"spec.yaml", ""},   {"", ""},
        {"/", ""},                {"a/b/c", "a/b"},    {"a//b/", "a"},      {"./spec.yaml", "."},
        {"a/./b", "a"},           {"../x", ".."},      {"/a/b/../c", "/a/b/.."}, {".", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(parent_directory(c.path), c.parent) << c.path;
}

TEST(JoinReferencePath, AbsolutePathsReplaceTheBase) {
    const struct {
        std::string_view base;
        std::string_view path;
        std::string_view joined;
    } cases[] = {
        {"specs", "pet.yaml", "specs/pet.yaml"}, {"specs/", "pet.yaml", "specs/pet.yaml"},
        {"", "pet.yaml", "pet.yaml"},            {"specs", "/abs/pet.yaml", "/abs/pet.yaml"},
        {"specs", "", "specs"},                  {"/", "a", "/a"},
    };
    for (const auto& c : cases) EXPECT_EQ(join_reference_path(c.base, c.path), c.joined) << c.base << " " << c.path;
}

class ContextFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vc-context-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, std::string_view text) {
        const auto path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    fs::path dir_;
    Value document_ = Value::object();
};

using NewReferenceContext = ContextFiles;

TEST_F(NewReferenceContext, BaseDirectoryFromTheLocation) {
    const auto file = write("spec.yaml", "openapi: 3.1.0\n");
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, file).base_directory, dir_.string());
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, dir_.string()).base_directory, dir_.string());
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, (dir_ / "missing" / "x.json").string())
                  .base_directory,
              (dir_ / "missing").string());
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, "spec.yaml").base_directory, "");
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, "").base_directory, "");
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, "https://example.com/api.yaml").base_directory,
              std::nullopt);
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, "file:///x/api.yaml").base_directory,
              std::nullopt);
    EXPECT_EQ(new_reference_context(document_, SpecVersion::OpenApi30, std::nullopt).base_directory,
              fs::current_path().string());
}

TEST_F(NewReferenceContext, StartsEmptyWithTheDraftOfTheVersion) {
    const struct {
        SpecVersion version;
        Draft draft;
    } cases[] = {{SpecVersion::Swagger20, Draft::Draft4},
                 {SpecVersion::OpenApi30, Draft::Draft4},
                 {SpecVersion::OpenApi31, Draft::Draft202012},
                 {SpecVersion::OpenApi32, Draft::Draft202012}};
    for (const auto& c : cases) {
        auto context = new_reference_context(document_, c.version, std::nullopt);
        EXPECT_EQ(context.hydration.draft, c.draft);
        EXPECT_EQ(context.version, c.version);
        EXPECT_EQ(context.document, &document_);
        EXPECT_EQ(context.hydration.document, &document_);
        EXPECT_FALSE(context.hydration.anchor_index.has_value());
        EXPECT_EQ(context.current_scope, nullptr);
        EXPECT_TRUE(context.scope_stack.empty());
        EXPECT_TRUE(context.loaded_documents.empty());
        EXPECT_TRUE(context.problems.empty());
        EXPECT_EQ(context.non_json_body_media_type, std::nullopt);
        EXPECT_EQ(context.body_media_type, "application/json");
    }
}

TEST_F(NewReferenceContext, EnteringWithPushSavesTheScopeEvenOnFailure) {
    auto context = new_reference_context(document_, SpecVersion::OpenApi30, dir_.string());
    const auto file = std::make_shared<const LoadedDocument>(LoadedDocument{"sub", Value::object()});
    const Value reference = Value::string("sub/a.yaml");
    const Value target = Value::boolean(true);
    auto into_file = [&](ReferenceContext&, const Value&, SharedDocument& scope) -> Result<const Value*, SpecProblem> {
        scope = file;
        return &target;
    };
    auto failing = [&](ReferenceContext&, const Value& ref, SharedDocument&) -> Result<const Value*, SpecProblem> {
        return deririrore::make_unexpected(SpecProblem{problems::UnresolvableReference{ref.as_string()}});
    };

    auto found = enter_reference(context, reference, false, into_file);
    EXPECT_EQ(*found, &target);
    EXPECT_EQ(context.current_scope, nullptr);  // without push nothing moves

    {
        auto inside = enter_reference(context, reference, true, into_file);
        ReferenceScopeGuard leave(context);
        EXPECT_EQ(context.current_scope, file);
        ASSERT_EQ(context.scope_stack.size(), 1u);
        {
            auto nested = enter_reference(context, reference, true, failing);
            ReferenceScopeGuard leave_nested(context);
            EXPECT_FALSE(nested.has_value());
            EXPECT_EQ(context.current_scope, file);  // a copy of the current scope
            EXPECT_EQ(context.scope_stack.size(), 2u);
        }
        EXPECT_EQ(context.current_scope, file);
    }
    EXPECT_EQ(context.current_scope, nullptr);
    EXPECT_TRUE(context.scope_stack.empty());
    leave_reference(context);  // nothing saved: no change
    EXPECT_EQ(context.current_scope, nullptr);
}

using RetrieveExternalRef = ContextFiles;

const reference_failures::Retrieval& retrieval_of(const SpecProblem& problem) {
    return std::get<reference_failures::Retrieval>(std::get<problems::Reference>(problem.data).failure);
}

TEST_F(RetrieveExternalRef, ReadsEachFileOnceAndKeepsItsDirectory) {
    const auto path = write("schemas/pet.yaml", "Pet:\n  type: object\nTag:\n  type: string\n");
    auto context = new_reference_context(document_, SpecVersion::OpenApi30, dir_.string());
    auto first = retrieve_external_ref(context, path, "schemas/pet.yaml#/Pet");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ((*first)->directory, (dir_ / "schemas").string());
    EXPECT_EQ(to_json((*first)->document), R"({"Pet":{"type":"object"},"Tag":{"type":"string"}})");

    fs::remove(path);
    // Another fragment, and another spelling of the same path: the file is not read again.
    const auto respelled = (dir_ / "schemas" / ".." / "schemas" / "." / "pet.yaml").string();
    auto second = retrieve_external_ref(context, respelled, "./schemas/pet.yaml#/Tag");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*second, *first);
    EXPECT_EQ(context.loaded_documents.size(), 1u);

    ReferencedFileRetriever retriever(context);
    auto through_retriever = retriever.retrieve(path, "schemas/pet.yaml");
    ASSERT_TRUE(through_retriever.has_value());
    EXPECT_EQ(*through_retriever, &(*first)->document);
}

TEST_F(RetrieveExternalRef, EitherFormatLoadsWhateverTheExtension) {
    auto context = new_reference_context(document_, SpecVersion::OpenApi30, dir_.string());
    const struct {
        std::string name;
        std::string_view text;
        std::string_view json;
    } cases[] = {
        {"yaml-in.json", "a: 1\n", R"({"a":1})"},
        {"json-in.yaml", R"({"a": [1, 2]})", R"({"a":[1,2]})"},
        {"upper.YAML", "a: x\n", R"({"a":"x"})"},
        {"word.json", "petstore", R"("petstore")"},
        {"merge.yml", "base: &b {x: 1, y: 2}\nPet:\n  <<: *b\n  y: 3\n", R"({"Pet":{"x":1,"y":3},"base":{"x":1,"y":2}})"},
    };
    for (const auto& c : cases) {
        auto loaded = retrieve_external_ref(context, write(c.name, c.text), c.name);
        ASSERT_TRUE(loaded.has_value()) << c.name;
        EXPECT_EQ(to_json((*loaded)->document), c.json) << c.name;
    }
}

TEST_F(RetrieveExternalRef, FailuresAreProblemsRememberedForTheBuild) {
    auto context = new_reference_context(document_, SpecVersion::OpenApi30, dir_.string());
    const auto missing = (dir_ / "missing.yaml").string();
    auto first = retrieve_external_ref(context, missing, "missing.yaml#/A");
    ASSERT_FALSE(first.has_value());
    EXPECT_EQ(spec_problem_kind(first.error()), "unreadable_reference");
    EXPECT_EQ(retrieval_of(first.error()).reference, "missing.yaml#/A");
    EXPECT_EQ(retrieval_of(first.error()).path, missing);
    EXPECT_EQ(retrieval_of(first.error()).message, "Can't open file");
    EXPECT_EQ(retrieval_of(first.error()).detail, std::optional<std::string>("No such file or directory"));

    // The file appearing later changes nothing within this build, and each reference keeps its text.
    write("missing.yaml", "A: {}\n");
    auto again = retrieve_external_ref(context, missing, "missing.yaml#/B");
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(retrieval_of(again.error()).reference, "missing.yaml#/B");
    EXPECT_EQ(retrieval_of(again.error()).detail, retrieval_of(first.error()).detail);

    auto broken = retrieve_external_ref(context, write("broken.json", "{\"a\": [1,\n"), "broken.json");
    ASSERT_FALSE(broken.has_value());
    EXPECT_EQ(retrieval_of(broken.error()).message, "Invalid JSON or YAML in referenced file");
    EXPECT_EQ(retrieval_of(broken.error()).detail, std::nullopt);

    auto directory = retrieve_external_ref(context, dir_.string(), "./");
    ASSERT_FALSE(directory.has_value());
    EXPECT_EQ(retrieval_of(directory.error()).message, "Can't open file");
    EXPECT_EQ(retrieval_of(directory.error()).detail, std::optional<std::string>("Is a directory"));

    auto zero = retrieve_external_ref(context, "/dev/zero", "/dev/zero#/components/schemas/A");
    ASSERT_FALSE(zero.has_value());
    EXPECT_EQ(retrieval_of(zero.error()).message, "Can't open file");
    EXPECT_NE(retrieval_of(zero.error()).detail->find("not a regular file"), std::string::npos);

    const auto fifo = dir_ / "pipe.yaml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto from_fifo = retrieve_external_ref(context, fifo.string(), "pipe.yaml");
    ASSERT_FALSE(from_fifo.has_value());
    EXPECT_NE(retrieval_of(from_fifo.error()).detail->find("not a regular file"), std::string::npos);

    const auto hostile = write("laughs.yaml", "a: &a [x, x, x, x, x, x, x, x, x, x]\n"
                                              "b: &b [*a, *a, *a, *a, *a, *a, *a, *a, *a, *a]\n"
                                              "c: &c [*b, *b, *b, *b, *b, *b, *b, *b, *b, *b]\n"
                                              "d: &d [*c, *c, *c, *c, *c, *c, *c, *c, *c, *c]\n"
                                              "e: &e [*d, *d, *d, *d, *d, *d, *d, *d, *d, *d]\n"
                                              "f: &f [*e, *e, *e, *e, *e, *e, *e, *e, *e, *e]\n"
                                              "g: &g [*f, *f, *f, *f, *f, *f, *f, *f, *f, *f]\n"
                                              "h: &h [*g, *g, *g, *g, *g, *g, *g, *g, *g, *g]\n"
                                              "i: &i [*h, *h, *h, *h, *h, *h, *h, *h, *h, *h]\n");
    auto laughs = retrieve_external_ref(context, hostile, "laughs.yaml");
    ASSERT_FALSE(laughs.has_value());
    EXPECT_EQ(retrieval_of(laughs.error()).message, "Invalid JSON or YAML in referenced file");

    EXPECT_EQ(context.loaded_documents.size(), 6u);
}

// Every file reference of a value, with the part before "#".
void collect_file_references(const Value& v, std::vector<std::string>& out) {
    if (v.is_array()) {
        for (const auto& item : v.as_array()) collect_file_references(item, out);
    } else if (v.is_object()) {
        for (const auto& member : v.as_object()) {
            if (member.key == "$ref" && member.value.is_string() && member.value.as_string().front() != '#') {
                out.push_back(member.value.as_string().substr(0, member.value.as_string().find('#')));
            } else {
                collect_file_references(member.value, out);
            }
        }
    }
}

TEST_F(RetrieveExternalRef, TheSplitSwaggerExampleResolvesFromEachFilesDirectory) {
    const fs::path spec = fs::path(VC_TESTDATA) / "openapi/oai-examples/examples/v2.0/yaml/petstore-separate/spec";
    if (!fs::is_directory(spec)) GTEST_SKIP() << spec << " is absent";
    auto document = read_document_file((spec / "swagger.yaml").string());
    ASSERT_TRUE(document.has_value());
    auto context = new_reference_context(*document, SpecVersion::Swagger20, (spec / "swagger.yaml").string());
    EXPECT_EQ(context.base_directory, spec.string());

    std::vector<std::string> references;
    collect_file_references(*document, references);
    EXPECT_EQ(references.size(), 10u);
    std::map<std::string, SharedDocument> by_reference;
    for (const auto& reference : references) {
        auto path = normalize_reference_path(join_reference_path(*context.base_directory, reference));
        auto loaded = retrieve_external_ref(context, path, reference);
        ASSERT_TRUE(loaded.has_value()) << reference;
        by_reference[reference] = *loaded;
    }
    // Pet.yaml, NewPet.yaml, parameters.yaml and ../common/Error.yaml, each read once.
    EXPECT_EQ(context.loaded_documents.size(), 4u);
    EXPECT_EQ(by_reference["../common/Error.yaml"]->directory, normalize_reference_path((spec / ".." / "common").string()));

    // NewPet.yaml refers to Pet.yaml beside itself: the same file, already read.
    const auto& new_pet = by_reference["NewPet.yaml"];
    std::vector<std::string> inner;
    collect_file_references(new_pet->document, inner);
    ASSERT_EQ(inner, std::vector<std::string>{"Pet.yaml"});
    auto pet = retrieve_external_ref(context, normalize_reference_path(join_reference_path(new_pet->directory, inner[0])),
                                     inner[0]);
    ASSERT_TRUE(pet.has_value());
    EXPECT_EQ(*pet, by_reference["Pet.yaml"]);
    EXPECT_EQ(context.loaded_documents.size(), 4u);
}

}  // namespace
