// Published API documents read into values: the OpenAPI examples (JSON and YAML twins) and a
// sample of real-world descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"

namespace {

using namespace vantorel::model;
namespace fs = std::filesystem;

const fs::path kOpenApiData = fs::path(VC_TESTDATA) / "openapi";

std::vector<fs::path> documents_under(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && (ext == ".json" || ext == ".yaml" || ext == ".yml")) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The pointer of the first place where two values differ, for failure messages.
std::string first_difference(const Value& a, const Value& b, const std::string& at = "") {
    using deririrore::value::json_values_equal;
    if (a.kind() != b.kind() || !(a.is_array() || a.is_object())) {
        return json_values_equal(a, b) ? std::string() : at + ": " + deririrore::value::to_json(a).substr(0, 120) +
                                                              " vs " + deririrore::value::to_json(b).substr(0, 120);
    }
    if (a.size() != b.size()) return at + ": sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool arrays = a.is_array();
        const Value& x = arrays ? a.as_array()[i] : a.as_object()[i].value;
        const Value& y = arrays ? b.as_array()[i] : b.as_object()[i].value;
        const std::string key = arrays ? std::to_string(i) : a.as_object()[i].key;
        if (!arrays && key != b.as_object()[i].key) return at + ": key " + key + " vs " + b.as_object()[i].key;
        auto d = first_difference(x, y, at + "/" + key);
        if (!d.empty()) return d;
    }
    return {};
}

// The split Swagger example refers to its own format's files: "Pet.yaml" in the YAML tree is
// "Pet.json" in the JSON one.
void refer_to_json_files(Value& v) {
    std::vector<Value*> stack{&v};
    while (!stack.empty()) {
        Value* at = stack.back();
        stack.pop_back();
        if (at->is_array()) {
            for (auto& item : at->mutable_array()) stack.push_back(&item);
        } else if (at->is_object()) {
            for (const auto& member : at->as_object()) {
                Value* child = at->find_mut(member.key);
                if (member.key == "$ref" && child->is_string()) {
                    std::string ref = child->as_string();
                    const auto ext = ref.find(".yaml");
                    if (ext != std::string::npos) ref.replace(ext, 5, ".json");
                    *child = Value::string(std::move(ref));
                } else {
                    stack.push_back(child);
                }
            }
        }
    }
}

// Twins whose authors wrote different content, with the difference.
const std::pair<std::string_view, std::string_view> kUnequalTwins[] = {
    {"v2.0/yaml/petstore-expanded.yaml", "the JSON Pet schema also says \"type\": \"object\" beside its allOf"},
    {"v2.0/yaml/petstore.yaml", "the YAML Error schema also says type: object"},
    {"v2.0/yaml/uber.yaml", "only the YAML document declares securityDefinitions"},
};

bool is_api_root(const Value& v) {
    return v.is_object() && (v.contains("swagger") || v.contains("openapi")) && v.contains("paths");
}

TEST(OaiExamples, EveryDocumentReadsAndYamlTwinsEqualTheirJson) {
    const auto root = kOpenApiData / "oai-examples" / "examples";
    if (!fs::is_directory(root)) GTEST_SKIP() << root << " is absent";
    const auto files = documents_under(root);
    ASSERT_GE(files.size(), 30u);
    std::size_t twins = 0;
    std::size_t roots = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        auto doc = read_document_file(path.string());
        ASSERT_TRUE(doc.has_value()) << doc.error().message();
        ASSERT_TRUE(doc->is_object());
        if (is_api_root(*doc)) ++roots;
        // JSON text is YAML too: the YAML reader must agree with the JSON reader on it.
        if (path.extension() == ".json") {
            auto as_yaml = parse_yaml_document(*read_text_file(path.string()));
            ASSERT_TRUE(as_yaml.has_value()) << as_yaml.error().message;
            EXPECT_TRUE(identical(*as_yaml, *doc));
        }
        // The Swagger 2.0 examples come as json/ and yaml/ trees with the same names.
        const auto text = path.generic_string();
        const auto at = text.find("/yaml/");
        if (at == std::string::npos) continue;
        fs::path twin = text.substr(0, at) + "/json/" + text.substr(at + 6);
        twin.replace_extension(".json");
        if (!fs::exists(twin)) continue;
        auto json_doc = read_document_file(twin.string());
        ASSERT_TRUE(json_doc.has_value()) << json_doc.error().message();
        refer_to_json_files(*doc);
        const auto known = std::find_if(std::begin(kUnequalTwins), std::end(kUnequalTwins), [&](const auto& entry) {
            return text.size() >= entry.first.size() &&
                   text.compare(text.size() - entry.first.size(), entry.first.size(), entry.first) == 0;
        });
        if (known != std::end(kUnequalTwins)) {
            EXPECT_NE(first_difference(*doc, *json_doc), "") << "now equal, although " << known->second;
            continue;
        }
        EXPECT_EQ(first_difference(*doc, *json_doc), "");
        ++twins;
    }
    EXPECT_GE(twins, 9u);
    EXPECT_GE(roots, 20u);
}

TEST(RealSample, EveryDescriptionReads) {
    const auto root = kOpenApiData / "real-sample";
    if (!fs::is_directory(root)) GTEST_SKIP() << root << " is absent";
    const auto files = documents_under(root);
    EXPECT_EQ(files.size(), 255u);
    std::size_t cross_checked = 0;
    for (const auto& path : files) {
        auto doc = read_document_file(path.string());
        ASSERT_TRUE(doc.has_value()) << path << ": " << doc.error().message();
        EXPECT_TRUE(is_api_root(*doc)) << path;
        // JSON text read as YAML must give the same value. The smaller documents suffice for
        // that (and keep the test quick); larger ones only hold more of the same. A raw U+2028
        // inside a string would differ: libyaml takes it for a line break, as YAML 1.1 does.
        if (fs::file_size(path) > 256 * 1024) continue;
        auto as_yaml = parse_yaml_document(*read_text_file(path.string()));
        ASSERT_TRUE(as_yaml.has_value()) << path << ": " << as_yaml.error().message;
        EXPECT_EQ(first_difference(*as_yaml, *doc), "") << path;
        ++cross_checked;
    }
    EXPECT_GE(cross_checked, 200u);
}

}  // namespace
