// Coverage targets: time to turn one measured schema into its entries (collection, predicates,
// lifting) over the real-world schemas of the test data, with the entry count of each.
//
//   targets-bench [--rounds N] [SCHEMA.json ...]
//
// Without files it reads every schema.json under the test data's schema-benchmark folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/json.hpp"
#include "zavova/measured_targets.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) {
        const fs::path dir = fs::path(VC_TESTDATA) / "schema-benchmark";
        if (!fs::is_directory(dir)) {
            std::fprintf(stderr, "no schemas at %s\n", dir.c_str());
            return 1;
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (fs::is_regular_file(entry.path() / "schema.json")) files.push_back(entry.path() / "schema.json");
        }
        std::sort(files.begin(), files.end());
    }
    std::printf("%-28s %9s %8s %12s\n", "schema", "bytes", "entries", "us/build");
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        auto schema = deririrore::value::parse_json(text.str());
        if (!schema) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), schema.error().message.c_str());
            continue;
        }
        const auto draft = deririrore::referencing::detect_draft(deririrore::referencing::Draft::Draft202012, *schema);
        std::size_t entries = 0;
        const auto start = Clock::now();
        for (int r = 0; r < rounds; ++r) {
            zavova::CoverageHolder holder = zavova::build_coverage_state(
                *schema,
                draft == deririrore::referencing::Draft::Unknown ? deririrore::referencing::Draft::Draft202012 : draft,
                {});
            entries = holder.state->entries.size();
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
        const std::string name = file.parent_path().filename().string();
        std::printf("%-28s %9zu %8zu %12.1f\n", name.c_str(), text.str().size(), entries, us);
    }
    return 0;
}
