// Builds coverage maps from API documents.
//
//   map-build --check PATH...   every document under PATH (files or folders, .json/.yaml/.yml) is
//                               built twice; the two maps must agree route by route and target by
//                               target. Prints the problems found in the documents, by kind. Exit 1 when a
//                               document does not read or the two builds differ.
//   map-build --problems PATH... the same, listing every problem.
//   map-build --summary PATH... what each build decided, with a digest of every target's entries
//                               and schema: two runs of different code that print the same text
//                               built the same maps.
//   map-build --bench FILE...   one child process per document (FILE may be .gz, decompressed to
//                               a temporary folder first): read and build time, peak memory.
//   map-build --build FILE      one uncompressed document built in this process, as one --bench
//                               child does (for profilers that follow no fork).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace {

namespace fs = std::filesystem;
using vantorel::recorders::build_coverage_map;
using vantorel::recorders::CoverageMap;

std::size_t entry_count(const zavova::CoverageHolder& holder) {
    return holder.state ? holder.state->entries.size() : 0;
}

// Every entry's location and kind, and the schema value as written, folded into two numbers that
// do not change between processes.
constexpr deririrore::value::HashSeeds kDigestSeeds{0x5eed, 0xd16e57};

std::string digest(const zavova::CoverageHolder& holder,
                   const std::shared_ptr<const deririrore::value::Value>& schema) {
    deririrore::value::Hasher entries(kDigestSeeds);
    if (holder.state) {
        const auto& map = holder.state->entries;
        for (std::size_t i = 0; i < map.size(); ++i) {
            entries.write_bytes(map.location(i));
            entries.write_u8(static_cast<std::uint8_t>(map.entry(i).kind.tag));
            entries.write_u8(map.entry(i).kind.payload);
        }
    }
    deririrore::value::Hasher value(kDigestSeeds);
    if (schema) deririrore::value::hash_json_value(*schema, value);
    return " " + std::to_string(entries.finish()) + " " + (schema ? std::to_string(value.finish()) : "-");
}

// Everything the build decided, in order, as text: routes, methods, targets and their entry
// counts, response statuses and bodies, problems.
std::string summary(const CoverageMap& map, std::size_t& operations, bool detailed = false) {
    std::string out;
    auto line = [&](const std::string& s) {
        out += s;
        out += '\n';
    };
    line("base " + map.base_path.value_or("<none>"));
    for (const auto& base : map.server_bases) line("server " + base.base);
    for (const auto& entry : map.routes.paths) {
        line("route " + entry.route);
        for (auto op : entry.methods) {
            ++operations;
            const auto& record = op.record;
            line(" method " + std::to_string(static_cast<int>(op.method)) + " " + record.operation_id.value_or("") +
                 " " + record.shadowed_by.value_or(""));
            for (const auto& p : record.parameters)
                line("  parameter " + std::to_string(p.tag) + " " + p.name + " " +
                     std::to_string(static_cast<int>(p.location)) + " " + std::to_string(entry_count(p.holder)) +
                     (detailed ? digest(p.holder, p.schema) : std::string()));
            auto response = [&](const vantorel::model::ResponseTarget& r) {
                line("  response " + r.description);
                for (const auto& b : r.bodies)
                    line("   body " + b.media_type.essence() + " " + std::to_string(entry_count(b.holder)) +
                         (detailed ? digest(b.holder, b.schema) : std::string()));
            };
            for (const auto& r : record.responses) response(r);
            if (record.has_default_response) response(record.default_response);
        }
    }
    for (const auto& p : map.problems)
        line("problem " + p.path + " " + std::to_string(p.method) + " " +
             std::string(vantorel::model::spec_problem_kind(p.problem)));
    return out;
}

bool is_document(const fs::path& p) {
    const auto ext = p.extension().string();
    return ext == ".json" || ext == ".yaml" || ext == ".yml";
}

enum class Mode { Check, Problems, Summary };

int check(const std::vector<std::string>& args, Mode mode) {
    const bool list_problems = mode == Mode::Problems;
    std::vector<fs::path> files;
    for (const auto& a : args) {
        std::error_code ec;
        if (fs::is_directory(a, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(a, ec))
                if (e.is_regular_file() && is_document(e.path())) files.push_back(e.path());
        } else {
            files.emplace_back(a);
        }
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, std::size_t> kinds;
    std::map<std::string, std::size_t> documents_with;
    std::size_t failures = 0, operations_total = 0, problems_total = 0;
    for (const auto& file : files) {
        auto document = vantorel::model::read_document_file(file.string());
        if (!document.has_value()) {
            std::printf("FAIL %s: does not read\n", file.c_str());
            ++failures;
            continue;
        }
        const std::string location = file.string();
        const CoverageMap first = build_coverage_map(document.value(), std::nullopt, location);
        const CoverageMap second = build_coverage_map(document.value(), std::nullopt, location);
        std::size_t operations = 0, ignored = 0;
        if (mode == Mode::Summary) std::printf("document %s\n%s", file.c_str(), summary(first, ignored, true).c_str());
        if (summary(first, operations) != summary(second, ignored)) {
            std::printf("FAIL %s: two builds differ\n", file.c_str());
            ++failures;
        }
        operations_total += operations;
        problems_total += first.problems.size();
        std::map<std::string, bool> seen;
        for (const auto& p : first.problems) {
            const std::string kind(vantorel::model::spec_problem_kind(p.problem));
            ++kinds[kind];
            if (!seen[kind]) ++documents_with[kind];
            seen[kind] = true;
            if (list_problems) {
                std::string detail;
                if (const auto* v = p.problem.get_if<vantorel::model::problems::UnexpectedValue>())
                    detail = std::string(v->field) + " = " + v->value;
                if (const auto* v = p.problem.get_if<vantorel::model::problems::InvalidSchema>())
                    detail = v->error.message();
                std::printf("  %s %s %u %s: %s\n", file.filename().c_str(), p.path.c_str(), p.method, kind.c_str(),
                            detail.c_str());
            }
        }
    }
    std::printf("%zu documents, %zu operations, %zu problems\n", files.size(), operations_total, problems_total);
    for (const auto& [kind, n] : kinds)
        std::printf("  %-28s %6zu in %zu documents\n", kind.c_str(), n, documents_with[kind]);
    std::printf("%zu failures\n", failures);
    return failures == 0 ? 0 : 1;
}

int bench_one(const std::string& path, const std::string& name) {
    const auto start = std::chrono::steady_clock::now();
    auto document = vantorel::model::read_document_file(path);
    if (!document.has_value()) {
        std::printf("%s: does not read\n", name.c_str());
        return 1;
    }
    const auto read = std::chrono::steady_clock::now();
    const CoverageMap map = build_coverage_map(document.value(), std::nullopt, path);
    const auto built = std::chrono::steady_clock::now();
    std::size_t operations = 0;
    for (const auto& entry : map.routes.paths) operations += entry.methods.size();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
    std::printf(
        "%s: %.1f MB, %zu paths, %zu operations, %zu problems; read %.2f s, build %.2f s, total %.2f s; "
        "peak resident %.0f MiB\n",
        name.c_str(), static_cast<double>(fs::file_size(path)) / 1e6, map.routes.paths.size(), operations,
        map.problems.size(), seconds(start, read), seconds(read, built), seconds(start, built),
        static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::fflush(stdout);
    return 0;
}

int bench(const std::vector<std::string>& args) {
    char pattern[] = "/tmp/map-build-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    int status_all = 0;
    for (const auto& a : args) {
        std::string path = a;
        const std::string name = fs::path(a).filename().string();
        if (a.ends_with(".gz")) {
            path = std::string(dir) + "/" + fs::path(a).stem().string();
            const std::string command = "gzip -dc -- '" + a + "' > '" + path + "'";
            if (a.find('\'') != std::string::npos || std::system(command.c_str()) != 0) {
                std::printf("%s: cannot decompress\n", name.c_str());
                status_all = 1;
                continue;
            }
        }
        const pid_t child = fork();
        if (child == 0) _exit(bench_one(path, name));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) status_all = 1;
        if (path != a) fs::remove(path);
    }
    fs::remove_all(dir);
    return status_all;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--check") return check({args.begin() + 1, args.end()}, Mode::Check);
    if (args.size() >= 2 && args[0] == "--problems") return check({args.begin() + 1, args.end()}, Mode::Problems);
    if (args.size() >= 2 && args[0] == "--summary") return check({args.begin() + 1, args.end()}, Mode::Summary);
    if (args.size() >= 2 && args[0] == "--bench") return bench({args.begin() + 1, args.end()});
    if (args.size() == 2 && args[0] == "--build") return bench_one(args[1], fs::path(args[1]).filename().string());
    std::fprintf(
        stderr,
        "usage: map-build --check PATH... | --problems PATH... | --summary PATH... | --bench FILE... | --build FILE\n");
    return 2;
}
