// Document text: the reader chosen by file name, merge keys, load errors and file reading limits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::parse_json;
using deririrore::value::to_json;
namespace fs = std::filesystem;

Value json(std::string_view text) { return *parse_json(text); }

TEST(IsYamlPath, OnlyTheLastComponentsExactExtension) {
    const struct {
        std::string_view path;
        bool yaml;
    } cases[] = {
        {"spec.yaml", true},    {"dir/spec.yml", true},     {"dir/spec.yaml/", true},  {"/a.b/spec.yaml", true},
        {"spec.YAML", false},   {"spec.json", false},       {".yaml", false},          {"dir/.yml", false},
        {"spec.yaml.bak", false}, {"spec", false},          {"", false},               {"/", false},
        {".", false},           {"..", false},              {"a.yaml/..", false},      {"spec.", false},
        {"x.yaml.d/spec", false}, {"..yaml", true},
    };
    for (const auto& c : cases) EXPECT_EQ(is_yaml_path(c.path), c.yaml) << c.path;
}

TEST(IsYamlUrl, OnlyThePathCounts) {
    const struct {
        std::string_view url;
        bool yaml;
    } cases[] = {
        {"https://h.example/api.yaml", true},   {"https://h.example/v1/api.yml?x=1", true},
        {"http://h/api.yaml#/paths", true},     {"https://h/api.json?format=.yaml", false},
        {"https://api.yaml", false},            {"https://api.yaml/", false},
        {"https://h/openapi", false},           {"https://h/a.YAML", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_yaml_url(c.url), c.yaml) << c.url;
}

TEST(MergeKeys, OwnMembersWinThenEarlierSources) {
    const struct {
        std::string_view before;
        std::string_view after;
        bool expanded;
    } cases[] = {
        {R"({"a": "own", "<<": [{"a": 1, "b": 2}, {"b": 3, "c": 4}]})", R"({"a":"own","b":2,"c":4})", true},
        {R"({"x": 0, "<<": {"y": 1, "x": 9}})", R"({"x":0,"y":1})", true},
        {R"({"<<": []})", R"({})", true},
        {R"({"<<": "text"})", R"({"<<":"text"})", false},
        {R"({"<<": 5})", R"({"<<":5})", false},
        {R"({"<<": [{"a": 1}, 2]})", R"({"<<":[{"a":1},2]})", false},
        {R"({"<<": null, "k": [{"<<": {"z": 1}}]})", R"({"<<":null,"k":[{"z":1}]})", true},
        // A source is expanded before it is merged.
        {R"({"<<": {"<<": {"deep": 1}, "mid": 2}, "top": 3})", R"({"deep":1,"mid":2,"top":3})", true},
        {R"([1, "<<", {"a": {"<<": [{"b": 1}]}}])", R"([1,"<<",{"a":{"b":1}}])", true},
        {R"({"a": 1})", R"({"a":1})", false},
        {R"("<<")", R"("<<")", false},
    };
    for (const auto& c : cases) {
        Value v = json(c.before);
        EXPECT_EQ(expand_yaml_merge_keys(v), c.expanded) << c.before;
        EXPECT_EQ(to_json(v), c.after) << c.before;
    }
}

TEST(MergeKeys, AnyDepthIsWalkedWithoutRecursion) {
    constexpr int kDepth = 100'000;
    Value v = json(R"({"leaf": true})");
    for (int i = 0; i < kDepth; ++i) {
        Value source = Value::object();
        source.insert_or_assign("s" + std::to_string(i % 7), Value::boolean(true));
        Value next = Value::object();
        next.insert_or_assign("<<", std::move(source));
        next.insert_or_assign("child", std::move(v));
        v = std::move(next);
    }
    EXPECT_TRUE(expand_yaml_merge_keys(v));
    const Value* at = &v;
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_FALSE(at->contains("<<"));
        at = at->find("child");
    }
    EXPECT_EQ(to_json(*at), R"({"leaf":true})");
}

TEST(ParseYamlDocument, MergesOnlyWhenTheTextSpellsTheMergeKey) {
    auto merged = parse_yaml_document("base: &b {x: 1, y: 2}\nderived:\n  <<: *b\n  y: 3\n");
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(to_json(*merged->find("derived")), R"({"x":1,"y":3})");

    auto list = parse_yaml_document("a: &a {p: 1}\nb: &b {p: 2, q: 2}\nc: {<<: [*a, *b], r: 3}\n");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(to_json(*list->find("c")), R"({"p":1,"q":2,"r":3})");

    // An escaped key that reads as "<<" is kept: the text never spells the merge key.
    auto escaped = parse_yaml_document("\"\\x3c\\x3c\": {a: 1}\n");
    ASSERT_TRUE(escaped.has_value());
    EXPECT_EQ(to_json(*escaped), R"({"<<":{"a":1}})");
}

TEST(SpecLoadError, DisplaysEveryVariant) {
    const struct {
        SpecLoadError error;
        std::string_view text;
    } cases[] = {
        {{SpecLoadError::Read{"api.yaml", {ENOENT, "No such file or directory"}}},
         "Failed to read file `api.yaml`: No such file or directory"},
        {{SpecLoadError::Json{"expected value at line 1, column 1"}}, "expected value at line 1, column 1"},
        {{SpecLoadError::Parse{"J", "Y"}}, "Parse error:\n  JSON: J\n  YAML: Y"},
        {{SpecLoadError::Network{"timed out"}}, "Network error: timed out"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.text);
}

TEST(ParseSchemaText, ThePreferredReaderFirstAndBothErrorsWhenNeitherReads) {
    // JSON text is YAML too, and YAML-looking text is not JSON: either order reads both.
    for (bool yaml_first : {true, false}) {
        auto from_json = parse_schema_text(R"({"n": 1.50, "s": "x"})", yaml_first);
        ASSERT_TRUE(from_json.has_value());
        EXPECT_EQ(to_json(*from_json), R"({"n":1.50,"s":"x"})");
        auto from_yaml = parse_schema_text("n: 1.50\ns: x\n", yaml_first);
        ASSERT_TRUE(from_yaml.has_value());
        EXPECT_EQ(to_json(*from_yaml), R"({"n":1.50,"s":"x"})");
    }
    // A plain word is a YAML document.
    auto word = parse_schema_text("petstore", false);
    ASSERT_TRUE(word.has_value());
    EXPECT_EQ(to_json(*word), R"("petstore")");

    auto neither = parse_schema_text("{\n  \"a\": [1,\n  }", true);
    ASSERT_FALSE(neither.has_value());
    const auto* parse = std::get_if<SpecLoadError::Parse>(&neither.error().data);
    ASSERT_NE(parse, nullptr);
    EXPECT_NE(parse->json.find("at line 3, column 3"), std::string::npos) << parse->json;
    EXPECT_EQ(parse->json.find("at byte"), std::string::npos) << parse->json;
    EXPECT_NE(parse->yaml.find("at line 3"), std::string::npos) << parse->yaml;
    const std::string message = neither.error().message();
    EXPECT_EQ(message.rfind("Parse error:\n  JSON: ", 0), 0u) << message;
    EXPECT_NE(message.find("\n  YAML: "), std::string::npos);
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vc-model-" + std::to_string(::getpid()) + "-" +
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
};

using ReadTextFile = TempDir;

TEST_F(ReadTextFile, ReadsRegularFilesAndFollowsLinks) {
    const auto path = write("a.json", "{\"a\": 1}");
    auto text = read_text_file(path);
    ASSERT_TRUE(text.has_value()) << text.error().message;
    EXPECT_EQ(*text, "{\"a\": 1}");
    fs::create_symlink(path, dir_ / "link.json");
    EXPECT_EQ(*read_text_file((dir_ / "link.json").string()), "{\"a\": 1}");
    EXPECT_EQ(*read_text_file(write("empty.json", "")), "");
}

TEST_F(ReadTextFile, RefusesWhatIsNotARegularFileWithoutWaiting) {
    auto missing = read_text_file((dir_ / "missing.yaml").string());
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().error_number, ENOENT);
    EXPECT_EQ(missing.error().message, "No such file or directory");

    auto directory = read_text_file(dir_.string());
    ASSERT_FALSE(directory.has_value());
    EXPECT_EQ(directory.error().error_number, EISDIR);

    const auto fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto from_fifo = read_text_file(fifo.string());
    ASSERT_FALSE(from_fifo.has_value());
    EXPECT_EQ(from_fifo.error().error_number, 0);
    EXPECT_NE(from_fifo.error().message.find("not a regular file"), std::string::npos);

    auto zero = read_text_file("/dev/zero");
    ASSERT_FALSE(zero.has_value());
    EXPECT_NE(zero.error().message.find("not a regular file"), std::string::npos);

    fs::create_symlink("/dev/zero", dir_ / "zero.yaml");
    auto linked = read_text_file((dir_ / "zero.yaml").string());
    ASSERT_FALSE(linked.has_value());
    EXPECT_NE(linked.error().message.find("not a regular file"), std::string::npos);

    auto nul = read_text_file(std::string_view("a\0b", 3));
    ASSERT_FALSE(nul.has_value());
    EXPECT_NE(nul.error().message.find("NUL"), std::string::npos);
}

TEST_F(ReadTextFile, EnforcesTheSizeCapAndUtf8) {
    const auto path = write("big.json", std::string(11, ' '));
    EXPECT_TRUE(read_text_file(path, 11).has_value());
    auto too_big = read_text_file(path, 10);
    ASSERT_FALSE(too_big.has_value());
    EXPECT_EQ(too_big.error().message, "the file is larger than the limit of 10 bytes for API documents and referenced files");

    auto latin1 = read_text_file(write("latin1.yaml", "a: caf\xe9\n"));
    ASSERT_FALSE(latin1.has_value());
    EXPECT_EQ(latin1.error().message, "the file is not valid UTF-8 (invalid byte at offset 6)");

    // A kernel file that reports no size is still read to its end.
    if (fs::exists("/proc/self/status")) {
        auto status = read_text_file("/proc/self/status");
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(status->find("Name:"), std::string::npos);
    }
}

using ReadDocumentFile = TempDir;

TEST_F(ReadDocumentFile, ExtensionChoosesTheFirstReaderAndErrorsKeepThePath) {
    const char* yaml_text = "openapi: 3.0.0\npaths: {}\n";
    const char* json_text = R"({"openapi": "3.0.0", "paths": {}})";
    for (const auto& [name, text] : {std::pair{"a.json", yaml_text}, std::pair{"a.yaml", json_text},
                                     std::pair{"a.YAML", yaml_text}, std::pair{"a.yml", yaml_text}}) {
        auto doc = read_document_file(write(name, text));
        ASSERT_TRUE(doc.has_value()) << name << ": " << doc.error().message();
        EXPECT_EQ(to_json(*doc), R"({"openapi":"3.0.0","paths":{}})") << name;
    }
    const auto missing = (dir_ / "none.yaml").string();
    auto error = read_document_file(missing);
    ASSERT_FALSE(error.has_value());
    EXPECT_EQ(error.error().message(), "Failed to read file `" + missing + "`: No such file or directory");

    auto zero = read_document_file("/dev/zero");
    ASSERT_FALSE(zero.has_value());
    EXPECT_EQ(zero.error().message(), "Failed to read file `/dev/zero`: not a regular file (a device, FIFO or socket is not read)");

    auto broken = read_document_file(write("broken.yaml", "a: [1,\n"));
    ASSERT_FALSE(broken.has_value());
    EXPECT_TRUE(std::holds_alternative<SpecLoadError::Parse>(broken.error().data));
}

}  // namespace
