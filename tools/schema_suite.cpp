// Runs files in the official JSON Schema test-suite format through the engine and prints one JSON
// line per test, then "N passed, M failed". With --expected, the run succeeds only when the failing
// tests are exactly the listed ones (each listed with the reason it differs on purpose).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/value/json.hpp"
#include "tools/suite_options.hpp"

namespace fs = std::filesystem;
using deririrore::Result;
using deririrore::Unexpected;
using deririrore::core::LazyLocation;
using deririrore::core::TraceEvent;
using deririrore::value::Value;

namespace {

using tools::read_file;

// Suite files are small and shallow; the limit only has to keep a hostile file from exhausting
// memory or the stack. A deeper file is reported and skipped.
constexpr std::size_t kSuiteFileMaxDepth = 10000;

// Serves a folder as http://localhost:1234/, the way the suite's remote references expect.
class FolderRetriever final : public deririrore::referencing::Retriever {
public:
    explicit FolderRetriever(fs::path root) : root_(std::move(root)) {}

    Result<Value, deririrore::referencing::ErrorSource> retrieve(
        const deririrore::referencing::Uri& uri) const override {
        using deririrore::referencing::ErrorSource;
        constexpr std::string_view prefix = "http://localhost:1234/";
        std::string_view text = uri.view();
        if (text.substr(0, prefix.size()) != prefix) {
            return Unexpected<ErrorSource>{ErrorSource::text("No such remote document: " + std::string(text))};
        }
        fs::path relative(std::string(text.substr(prefix.size())));
        if (relative.empty() || relative.is_absolute() ||
            std::any_of(relative.begin(), relative.end(), [](const fs::path& p) { return p == ".."; })) {
            return Unexpected<ErrorSource>{ErrorSource::text("Refusing remote path: " + std::string(text))};
        }
        auto body = read_file(root_ / relative);
        if (!body) {
            return Unexpected<ErrorSource>{ErrorSource::text("No such remote document: " + std::string(text))};
        }
        auto parsed = deririrore::value::parse_json(*body, kSuiteFileMaxDepth);
        if (!parsed) {
            return Unexpected<ErrorSource>{ErrorSource::text(parsed.error().message)};
        }
        return std::move(parsed).value();
    }

private:
    fs::path root_;
};

std::string pointer_of(const LazyLocation& lazy) {
    return std::string(deririrore::core::location_from_lazy(lazy).view());
}

class PrintingTracer final : public deririrore::core::Tracer {
public:
    explicit PrintingTracer(std::string* out) : out_(out) {}
    void call_mut(const TraceEvent& event) override {
        *out_ += "{\"instance\":";
        deririrore::value::append_json_string(*out_, pointer_of(event.instance_location));
        *out_ += ",\"keyword\":";
        deririrore::value::append_json_string(*out_, event.keyword_location.view());
        *out_ += ",\"outcome\":";
        *out_ += std::to_string(static_cast<int>(event.outcome));
        *out_ += "}\n";
    }

private:
    std::string* out_;
};

struct ExpectedFailure {
    std::string reason;
    bool seen = false;
};

using TestKey = std::tuple<std::string, std::string, std::string>;  // file, group, test

// Lines: draft <TAB> file <TAB> group <TAB> test <TAB> reason. '#' starts a comment line.
bool load_expected(const fs::path& path, std::string_view draft, std::map<TestKey, ExpectedFailure>& out,
                   std::string& error) {
    auto text = read_file(path);
    if (!text) {
        error = "cannot read " + path.string();
        return false;
    }
    std::istringstream in(*text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        while (true) {
            std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() != 5 || fields[4].empty()) {
            error = path.string() + ":" + std::to_string(number) +
                    ": expected five tab-separated fields, the last a non-empty reason";
            return false;
        }
        if (fields[0] != draft) continue;
        out[{fields[1], fields[2], fields[3]}] = ExpectedFailure{fields[4]};
    }
    return true;
}

// Per suite file: how many trace events its tests made and a digest of them in order (each
// test's name and validity, then its events), so that a run can be checked against a recorded
// list without keeping every event. FNV-1a: the same on every machine and in every run.
struct TraceDigest {
    std::uint64_t events = 0;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    void add(std::string_view bytes) {
        for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ull;
    }
};

std::string digest_key(std::string_view draft, bool openapi, std::string_view file) {
    return std::string(draft) + "\t" + (openapi ? "openapi" : "plain") + "\t" + std::string(file);
}

std::string digest_line(const std::string& key, const TraceDigest& d) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(d.hash));
    return key + "\t" + std::to_string(d.events) + "\t" + hex;
}

// Lines: draft <TAB> plain|openapi <TAB> file <TAB> events <TAB> digest. '#' starts a comment line.
bool load_digests(const fs::path& path, std::map<std::string, std::string>& out, std::string& error) {
    auto text = read_file(path);
    if (!text) {
        error = "cannot read " + path.string();
        return false;
    }
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::size_t cut = line.find('\t');
        cut = cut == std::string::npos ? cut : line.find('\t', cut + 1);
        cut = cut == std::string::npos ? cut : line.find('\t', cut + 1);
        if (cut == std::string::npos) {
            error = "malformed digest line: " + line;
            return false;
        }
        out[line.substr(0, cut)] = line;
    }
    return true;
}

int usage() {
    std::cerr << "usage: schema-suite --draft 4|6|7|2019-09|2020-12 [--openapi] [--remotes DIR] [--trace]\n"
                 "                    [--expected FILE] [--failures-only]\n"
                 "                    [--trace-digests FILE | --print-trace-digests] FILE_OR_DIR...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string draft_name;
    std::optional<fs::path> remotes;
    std::optional<fs::path> expected_path;
    bool trace = false;
    std::optional<fs::path> digests_path;
    bool print_digests = false;
    bool failures_only = false;
    bool openapi = false;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--draft" && i + 1 < argc) {
            draft_name = argv[++i];
        } else if (arg == "--remotes" && i + 1 < argc) {
            remotes = argv[++i];
        } else if (arg == "--expected" && i + 1 < argc) {
            expected_path = argv[++i];
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--trace-digests" && i + 1 < argc) {
            // Trace every test and compare each file's events with the recorded list.
            digests_path = argv[++i];
            trace = true;
        } else if (arg == "--print-trace-digests") {
            // Trace every test and print each file's line of that list instead of the tests.
            print_digests = true;
            trace = true;
        } else if (arg == "--failures-only") {
            failures_only = true;
        } else if (arg == "--openapi") {
            openapi = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    auto draft = tools::parse_draft_argument(draft_name);
    if (!draft || inputs.empty()) return usage();
    if (openapi && !tools::openapi_options_available()) {
        std::cerr << "schema-suite: the OpenAPI options are not available in this build yet\n";
        return 2;
    }

    std::vector<fs::path> files;
    for (const auto& input : inputs) {
        if (fs::is_directory(input)) {
            for (const auto& entry : fs::directory_iterator(input)) {
                if (entry.is_regular_file() && entry.path().extension() == ".json") files.push_back(entry.path());
            }
        } else {
            files.push_back(input);
        }
    }
    std::sort(files.begin(), files.end());

    std::map<TestKey, ExpectedFailure> expected;
    if (expected_path) {
        std::string error;
        if (!load_expected(*expected_path, draft_name, expected, error)) {
            std::cerr << "schema-suite: " << error << "\n";
            return 2;
        }
    }

    std::map<std::string, std::string> recorded_digests;
    if (digests_path) {
        std::string error;
        if (!load_digests(*digests_path, recorded_digests, error)) {
            std::cerr << "schema-suite: " << error << "\n";
            return 2;
        }
    }
    const bool digesting = digests_path || print_digests;
    std::size_t digest_mismatches = 0;

    std::shared_ptr<const deririrore::referencing::Retriever> retriever;
    if (remotes) retriever = std::make_shared<FolderRetriever>(*remotes);

    std::size_t passed = 0, failed = 0, unexpected = 0;
    std::string out;
    for (const auto& file : files) {
        std::string file_name = file.filename().string();
        auto text = read_file(file);
        std::optional<Value> doc;
        std::string file_error;
        if (!text) {
            file_error = "cannot read file";
        } else {
            auto parsed = deririrore::value::parse_json(*text, kSuiteFileMaxDepth);
            if (!parsed) {
                file_error = parsed.error().message;
            } else if (!parsed->is_array()) {
                file_error = "a suite file holds an array of groups";
            } else {
                doc = std::move(parsed).value();
            }
        }
        if (!doc) {
            out.clear();
            out += "{\"file\":";
            deririrore::value::append_json_string(out, file_name);
            out += ",\"error\":";
            deririrore::value::append_json_string(out, file_error);
            out += "}\n";
            std::fputs(out.c_str(), stdout);
            ++failed;
            ++unexpected;
            continue;
        }
        TraceDigest digest;
        for (const Value& group : doc->as_array()) {
            const Value* schema = group.find("schema");
            const Value* tests = group.find("tests");
            const Value* gdesc = group.find("description");
            std::string group_name = gdesc && gdesc->is_string() ? gdesc->as_string() : std::string();
            if (!schema || !tests || !tests->is_array()) continue;

            auto options = tools::suite_options(*draft, openapi);
            if (retriever) options.with_retriever(retriever);
            auto built = deririrore::core::build_validator(*schema, options);

            for (const Value& test : tests->as_array()) {
                const Value* tdesc = test.find("description");
                const Value* data = test.find("data");
                const Value* valid = test.find("valid");
                std::string test_name = tdesc && tdesc->is_string() ? tdesc->as_string() : std::string();
                if (!data || !valid || !valid->is_bool()) continue;
                bool expect = valid->as_bool();
                std::optional<bool> got;
                std::string error;
                std::string trace_lines;
                if (built) {
                    if (trace) {
                        PrintingTracer tracer(&trace_lines);
                        auto traced = built->trace(*data, tracer);
                        if (traced) {
                            got = *traced;
                        } else {
                            error = traced.error().message();
                        }
                    } else {
                        got = built->is_valid(*data);
                    }
                } else {
                    error = built.error().message();
                }
                if (digesting) {
                    digest.add(group_name);
                    digest.add("\n");
                    digest.add(test_name);
                    digest.add(got ? (*got ? "\ntrue\n" : "\nfalse\n") : "\nnull\n");
                    digest.add(trace_lines);
                    digest.events +=
                        static_cast<std::uint64_t>(std::count(trace_lines.begin(), trace_lines.end(), '\n'));
                    trace_lines.clear();
                }
                bool ok = got && *got == expect;
                ok ? ++passed : ++failed;
                TestKey key{file_name, group_name, test_name};
                auto listed = expected.find(key);
                if (listed != expected.end()) listed->second.seen = true;
                bool surprise = ok == (listed != expected.end());
                if (surprise) ++unexpected;
                if (print_digests || (failures_only && ok && !surprise)) continue;

                out.clear();
                out += "{\"file\":";
                deririrore::value::append_json_string(out, file_name);
                out += ",\"group\":";
                deririrore::value::append_json_string(out, group_name);
                out += ",\"test\":";
                deririrore::value::append_json_string(out, test_name);
                out += ",\"expected\":";
                out += expect ? "true" : "false";
                out += ",\"valid\":";
                out += got ? (*got ? "true" : "false") : "null";
                if (!error.empty()) {
                    out += ",\"error\":";
                    deririrore::value::append_json_string(out, error);
                }
                if (surprise) {
                    out += listed != expected.end() ? ",\"note\":\"listed as an expected failure but passes\""
                                                    : ",\"note\":\"unexpected failure\"";
                }
                out += "}\n";
                out += trace_lines;
                std::fputs(out.c_str(), stdout);
            }
        }
        if (digesting) {
            const std::string key = digest_key(draft_name, openapi, file_name);
            const std::string line = digest_line(key, digest);
            if (print_digests) {
                std::printf("%s\n", line.c_str());
            } else if (auto it = recorded_digests.find(key); it == recorded_digests.end() || it->second != line) {
                ++digest_mismatches;
                std::fprintf(stderr, "schema-suite: trace events differ from the recorded list: %s (recorded: %s)\n",
                             line.c_str(), it == recorded_digests.end() ? "none" : it->second.c_str());
            }
        }
    }
    if (print_digests) return 0;
    std::printf("%zu passed, %zu failed\n", passed, failed);
    if (digest_mismatches) {
        std::fprintf(stderr, "schema-suite: %zu files traced differently from the recorded list\n", digest_mismatches);
    }
    if (!expected_path) return failed == 0 && digest_mismatches == 0 ? 0 : 1;
    std::set<std::string> files_run;
    for (const auto& file : files) files_run.insert(file.filename().string());
    std::size_t stale = 0;
    for (const auto& [key, entry] : expected) {
        if (!entry.seen && files_run.count(std::get<0>(key))) {
            ++stale;
            std::fprintf(stderr, "schema-suite: listed test not found: %s / %s / %s\n", std::get<0>(key).c_str(),
                         std::get<1>(key).c_str(), std::get<2>(key).c_str());
        }
    }
    if (stale) std::fprintf(stderr, "schema-suite: %zu expected-failure entries name no test of this run\n", stale);
    if (unexpected) std::fprintf(stderr, "schema-suite: %zu results differ from the expected-failure list\n", unexpected);
    return unexpected == 0 && stale == 0 && digest_mismatches == 0 ? 0 : 1;
}
