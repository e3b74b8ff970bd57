// Compiles a schema once and validates every instance of a JSON-lines file many times; prints the
// compile time and the nanoseconds per instance for is_valid and for trace (with a counting tracer),
// so that the engine can be measured against other validators on the same files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "tools/suite_options.hpp"

using deririrore::value::Value;

namespace {

// Wall time by default; with --cpu-clock the CPU time of this thread, which a machine busy with
// other work disturbs far less.
bool use_cpu_clock = false;

struct Clock {
    using time_point = std::chrono::nanoseconds;
    static time_point now() {
        if (!use_cpu_clock) return std::chrono::steady_clock::now().time_since_epoch();
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    }
};

}  // namespace

namespace {

class CountingTracer final : public deririrore::core::Tracer {
public:
    void call_mut(const deririrore::core::TraceEvent& event) override {
        ++events;
        failed += event.outcome == deririrore::core::TraceOutcome::Failed;
    }
    std::uint64_t events = 0;
    std::uint64_t failed = 0;
};

double ns_since(Clock::time_point start, std::size_t divisor) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return divisor ? static_cast<double>(ns) / static_cast<double>(divisor) : 0.0;
}

// Reading pace of the JSON reader over the non-blank lines of a file, in megabytes (10^6 bytes)
// of line text per second, so that it can be set beside other readers run over the same lines.
int read_json_bench(const std::string& path, long rounds) {
    auto text = tools::read_file(path);
    if (!text) {
        std::cerr << "schema-bench: cannot read " << path << "\n";
        return 2;
    }
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        bytes += line.size();
        lines.push_back(line);
    }
    if (lines.empty()) {
        std::cerr << "schema-bench: no JSON lines in " << path << "\n";
        return 2;
    }
    if (rounds <= 0) rounds = std::max<long>(1, static_cast<long>(20'000'000 / std::max<std::size_t>(1, bytes)));
    std::size_t sink = 0;
    auto start = Clock::now();
    for (long r = 0; r < rounds; ++r) {
        for (const auto& l : lines) {
            auto parsed = deririrore::value::parse_json(l);
            if (!parsed) {
                std::cerr << "schema-bench: " << parsed.error().message << "\n";
                return 1;
            }
            sink += parsed->size();
        }
    }
    const double seconds = ns_since(start, 1) / 1e9;
    std::printf("lines: %zu, bytes: %zu, rounds: %ld\n", lines.size(), bytes, rounds);
    std::printf("read: %.1f MB/s\n", static_cast<double>(bytes) * static_cast<double>(rounds) / seconds / 1e6);
    return sink == static_cast<std::size_t>(-1) ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string draft_name = "2020-12";
    long rounds = 0;
    bool annotate_formats = false;
    bool check_only = false;
    bool read_json_only = false;
    // Off: the compile time leaves out checking the schema against its meta-schema.
    bool schema_check = true;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--draft" && i + 1 < argc) {
            draft_name = argv[++i];
        } else if (arg == "--check") {
            // Validate each instance once with every entry point; fail when any rejects it or they disagree.
            check_only = true;
        } else if (arg == "--annotate-formats") {
            // Drafts 4 to 7 assert formats by default; most other validators only annotate them.
            annotate_formats = true;
        } else if (arg == "--no-schema-check") {
            schema_check = false;
        } else if (arg == "--cpu-clock") {
            use_cpu_clock = true;
        } else if (arg == "--read-json") {
            // Only the JSON reader: parse every instance line, round after round, and print MB/s.
            read_json_only = true;
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::strtol(argv[++i], nullptr, 10);
        } else {
            args.emplace_back(arg);
        }
    }
    if (read_json_only && args.size() == 1) return read_json_bench(args[0], rounds);
    auto draft = tools::parse_draft_argument(draft_name);
    if (args.size() != 2 || !draft) {
        std::cerr << "usage: schema-bench [--draft D] [--rounds N] [--cpu-clock] [--annotate-formats] "
                     "[--no-schema-check] [--check] "
                     "SCHEMA INSTANCES.jsonl\n"
                     "       schema-bench --read-json [--rounds N] [--cpu-clock] INSTANCES.jsonl\n";
        return 2;
    }
    auto schema_text = tools::read_file(args[0]);
    auto lines = tools::read_file(args[1]);
    if (!schema_text || !lines) {
        std::cerr << "schema-bench: cannot read input files\n";
        return 2;
    }
    auto schema = deririrore::value::parse_json(*schema_text);
    if (!schema) {
        std::cerr << "schema-bench: schema: " << schema.error().message << "\n";
        return 1;
    }
    std::vector<Value> instances;
    std::istringstream in(*lines);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        auto parsed = deririrore::value::parse_json(line);
        if (!parsed) {
            std::cerr << "schema-bench: instance " << instances.size() + 1 << ": " << parsed.error().message << "\n";
            return 1;
        }
        instances.push_back(std::move(parsed).value());
    }

    // Schemas name their own draft; the option only fills in for those that do not.
    deririrore::core::ValidationOptions options;
    if (!schema->is_object() || !schema->find("$schema")) options.with_draft(*draft);
    if (annotate_formats) options.with_validate_formats(false);
    options.with_validate_schema(schema_check);
    auto compile_start = Clock::now();
    auto built = deririrore::core::build_validator(*schema, options);
    double compile_ns = ns_since(compile_start, 1);
    if (!built) {
        std::cerr << "schema-bench: compile: " << built.error().message() << "\n";
        return 1;
    }
    if (check_only) {
        CountingTracer tracer;
        std::size_t rejected = 0, disagreements = 0;
        for (std::size_t i = 0; i < instances.size(); ++i) {
            bool valid = built->is_valid(instances[i]);
            auto traced = built->trace(instances[i], tracer);
            auto first_error = built->validate(instances[i]);
            bool by_validate = !first_error.has_value();
            bool by_iter = built->iter_errors(instances[i]).empty();
            if (!traced || *traced != valid || by_validate != valid || by_iter != valid) {
                ++disagreements;
                std::fprintf(stderr, "instance %zu: the validation entry points disagree\n", i + 1);
            }
            if (!valid) {
                ++rejected;
                std::fprintf(stderr, "instance %zu rejected: %s\n", i + 1,
                             first_error ? first_error->message().c_str() : "(no error reported)");
            }
        }
        std::printf("%zu passed, %zu failed\n", instances.size() - rejected, rejected);
        return rejected == 0 && disagreements == 0 ? 0 : 1;
    }
    if (rounds <= 0) rounds = std::max<long>(1, 20000 / static_cast<long>(std::max<std::size_t>(1, instances.size())));

    std::size_t invalid = 0;
    for (const auto& v : instances) invalid += !built->is_valid(v);

    auto start = Clock::now();
    std::size_t sink = 0;
    for (long r = 0; r < rounds; ++r) {
        for (const auto& v : instances) sink += built->is_valid(v);
    }
    double is_valid_ns = ns_since(start, instances.size() * static_cast<std::size_t>(rounds));

    CountingTracer tracer;
    start = Clock::now();
    for (long r = 0; r < rounds; ++r) {
        for (const auto& v : instances) sink += built->trace(v, tracer).has_value();
    }
    double trace_ns = ns_since(start, instances.size() * static_cast<std::size_t>(rounds));

    std::printf("instances: %zu (invalid: %zu), rounds: %ld\n", instances.size(), invalid, rounds);
    std::printf("compile: %.1f us\n", compile_ns / 1000.0);
    std::printf("is_valid: %.1f ns/instance\n", is_valid_ns);
    std::printf("trace: %.1f ns/instance (%.1f events/instance)\n", trace_ns,
                static_cast<double>(tracer.events) / static_cast<double>(instances.size() * rounds));
    return sink == 0 && !instances.empty() ? 3 : 0;
}
