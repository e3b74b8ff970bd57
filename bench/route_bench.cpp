// Route table: build time from every path key of a document, and the cost of one lookup of a
// concrete path drawn from the routed templates. Run over a small and a large document at once,
// a lookup should cost the same in both: it walks the request's segments, not the templates.
//
//   route-bench [--lookups N] [--pool N] [FILE.json.gz ...]
//
// Without files it reads graph.json.gz and graph-beta.json.gz of the test data's large OpenAPI
// documents. --pool sets how many distinct paths are drawn (200000; a small pool stays in the
// caches and shows the walk alone). Each file is decompressed with gzip into a temporary folder,
// removed afterwards.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/routes.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vantorel::model::RouteIndex;
using vantorel::model::RouteLookup;

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "route-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
        path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// gzip -dc FILE > OUT, without a shell.
bool gunzip(const fs::path& in, const fs::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string prog = "gzip", dc = "-dc", dashes = "--", file = in.string();
    char* argv[] = {prog.data(), dc.data(), dashes.data(), file.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "gzip", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return std::move(s).str();
}

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The template with every whole "{name}" segment replaced by a value that no literal has.
std::string concrete_path(std::string_view route, std::mt19937_64& rng) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = route.find('/', start);
        const std::string_view seg =
            route.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (seg.size() >= 2 && seg.front() == '{' && seg.back() == '}') {
            out += "v" + std::to_string(rng() % 1000000);
        } else {
            out += seg;
        }
        if (slash == std::string_view::npos) break;
        out.push_back('/');
        start = slash + 1;
    }
    return out;
}

struct Figures {
    std::string name;
    std::size_t keys = 0;
    std::size_t routed = 0;
    double build_ms = 0;
    double ns_per_lookup = 0;
    double ns_per_longer = 0;  // the drawn path with one more segment: mostly no match
    double longer_found = 0;
    std::size_t wrong = 0;
    double segments_per_path = 0;
};

struct Prepared {
    Figures figures;
    std::optional<RouteIndex> index;
    std::vector<std::string> paths;   // drawn from the routed templates
    std::vector<std::string> longer;  // the same with one more segment
};

// One timed pass of `lookups` lookups over `pool`; answers ns per lookup and how many matched.
std::pair<double, std::size_t> time_lookups(const RouteIndex& index, const std::vector<std::string>& pool,
                                            std::size_t lookups) {
    RouteLookup lookup;
    std::size_t found = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < lookups; ++i) {
        if (index.routes.find(pool[i % pool.size()], lookup) != nullptr) ++found;
    }
    return {ms_since(start) * 1e6 / static_cast<double>(lookups), found};
}

std::optional<Prepared> prepare(const fs::path& gz, std::size_t lookups, std::size_t pool) {
    TempDir tmp;
    const fs::path json_path = tmp.path / "document.json";
    if (!gunzip(gz, json_path)) {
        std::fprintf(stderr, "route-bench: cannot decompress %s\n", gz.c_str());
        return std::nullopt;
    }
    auto text = read_file(json_path);
    if (!text) return std::nullopt;
    auto doc = deririrore::value::parse_json(*text);
    if (!doc || !doc->is_object() || doc->find("paths") == nullptr || !doc->find("paths")->is_object()) {
        std::fprintf(stderr, "route-bench: %s has no paths object\n", gz.c_str());
        return std::nullopt;
    }
    std::vector<std::string> keys;
    for (const auto& m : doc->find("paths")->as_object()) {
        if (m.key.size() >= 2 && m.key.starts_with("x-")) continue;
        keys.push_back(m.key);
    }

    Figures f;
    f.name = gz.filename().string();
    f.keys = keys.size();
    // Best of five builds: the first one also warms the allocator.
    std::optional<RouteIndex> index;
    f.build_ms = 1e300;
    for (int round = 0; round < 5; ++round) {
        std::vector<vantorel::model::ProblemEntry> problems;
        const auto start = Clock::now();
        RouteIndex built;
        built.paths.reserve(keys.size());
        for (const std::string& key : keys) vantorel::model::insert_route(built, std::nullopt, key, problems);
        f.build_ms = std::min(f.build_ms, ms_since(start));
        index.emplace(std::move(built));
    }
    f.routed = index->routes.size();

    // Templates kept beside the table are matched by recording's fallback, not measured here.
    vantorel::model::TextSet unrouted = index->unroutable_templates;
    for (const auto& t : index->segment_templates) unrouted.insert(t.template_text);
    for (const auto& t : index->query_templates) unrouted.insert(t.template_text);
    std::vector<std::string> routed;
    for (const auto& entry : index->paths) {
        if (!unrouted.contains(entry.route)) routed.push_back(entry.route);
    }
    std::mt19937_64 rng(42);
    const std::size_t pool_size = std::max<std::size_t>(1, std::min(lookups, pool));
    std::vector<std::string> paths;
    std::vector<const std::string*> expected;
    paths.reserve(pool_size);
    for (std::size_t i = 0; i < pool_size; ++i) {
        const std::string& t = routed[rng() % routed.size()];
        paths.push_back(concrete_path(t, rng));
        expected.push_back(&t);
    }
    std::vector<std::string> misses;
    for (std::size_t i = 0; i < pool_size; ++i) misses.push_back(paths[i] + "/no-such-segment");

    RouteLookup lookup;
    // Every drawn path must lead back to the template it was drawn from; checked apart from the
    // timed loop, whose comparisons would otherwise add a cache miss per lookup.
    for (std::size_t i = 0; i < pool_size; ++i) {
        const std::string* hit = index->routes.find(paths[i], lookup);
        if (hit == nullptr || *hit != *expected[i]) {
            if (f.wrong < 5) {
                std::fprintf(stderr, "%s -> %s, expected %s\n", paths[i].c_str(), hit ? hit->c_str() : "(none)",
                             expected[i]->c_str());
            }
            ++f.wrong;
        }
    }
    std::size_t segments = 0;
    for (const std::string& p : paths) segments += static_cast<std::size_t>(std::count(p.begin(), p.end(), '/'));
    f.segments_per_path = static_cast<double>(segments) / static_cast<double>(pool_size);
    Prepared prepared{std::move(f), std::move(index), std::move(paths), std::move(misses)};
    return prepared;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t lookups = 1000000;
    std::size_t pool = 200000;  // distinct paths, looked up in turn
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--pool" && i + 1 < argc) {
            pool = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--lookups" && i + 1 < argc) {
            lookups = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage: route-bench [--lookups N] [--pool N] [FILE.json.gz ...]\n");
            return 0;
        } else {
            files.emplace_back(arg);
        }
    }
    if (lookups == 0) lookups = 1;
    if (files.empty()) {
        const fs::path large = fs::path(VC_TESTDATA) / "openapi" / "large";
        files = {large / "graph.json.gz", large / "graph-beta.json.gz"};
    }

    std::deque<Prepared> all;
    for (const fs::path& file : files) {
        auto p = prepare(file, lookups, pool);
        if (!p) return 1;
        all.push_back(std::move(*p));
    }
    // Rounds alternate between the documents and the best of each counts, so that load from
    // elsewhere on the machine does not decide the comparison.
    for (auto& p : all) p.figures.ns_per_lookup = p.figures.ns_per_longer = 1e300;
    for (int round = 0; round < 5; ++round) {
        for (auto& p : all) {
            Figures& f = p.figures;
            const auto [ns, found] = time_lookups(*p.index, p.paths, lookups);
            f.ns_per_lookup = std::min(f.ns_per_lookup, ns);
            if (found != lookups) f.wrong += lookups - std::min(found, lookups);
            const auto [longer_ns, longer_found] = time_lookups(*p.index, p.longer, lookups);
            f.ns_per_longer = std::min(f.ns_per_longer, longer_ns);
            f.longer_found = static_cast<double>(longer_found) / static_cast<double>(lookups);
        }
    }
    for (const auto& p : all) {
        const Figures* f = &p.figures;
        std::printf(
            "%-22s %6zu keys %6zu routed  build %8.2f ms (%6.0f ns/key)  lookup %6.1f ns  one segment more "
            "%6.1f ns (%2.0f%% found)  %4.1f segments  wrong %zu\n",
            f->name.c_str(), f->keys, f->routed, f->build_ms, f->build_ms * 1e6 / static_cast<double>(f->keys),
            f->ns_per_lookup, f->ns_per_longer, 100 * f->longer_found, f->segments_per_path, f->wrong);
    }
    if (all.size() >= 2) {
        const Figures& a = all.front().figures;
        const Figures& b = all.back().figures;
        std::printf("lookup ratio %s / %s: %.2f for %.2fx the templates\n", b.name.c_str(), a.name.c_str(),
                    b.ns_per_lookup / a.ns_per_lookup, static_cast<double>(b.keys) / static_cast<double>(a.keys));
    }
    bool ok = true;
    for (const auto& p : all) ok = ok && p.figures.wrong == 0;
    return ok ? 0 : 1;
}
