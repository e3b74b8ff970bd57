// The keyword-hit tracer over request bodies of about 1 KB against a petstore-like body schema:
// the cost of reading a body with our JSON reader, of decoding it as a recorded body (charset
// detection, then the reader), of tracing the decoded value into its coverage, and of both,
// in time per body. The architecture asks that tracing allocate nothing per trace event or per
// keyword check: after the benchmarks the tool prints the allocations of one trace_value call
// beside its event count, for a 1 KB body and for a body four times as large.
//
//   cmake -S . -B build/bench -G Ninja -DVC_PYTHON=OFF && cmake --build build/bench --target trace-bench
//   build/bench/bench/trace-bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/dialect/options.hpp"
#include "vantorel/recorders/body_dispatch.hpp"
#include "vantorel/recorders/json_body.hpp"
#include "vantorel/recorders/tracer.hpp"
#include "zavova/measured_targets.hpp"

namespace {

std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// The replaced allocation functions pair malloc with free by construction; GCC inlines them into the
// code that allocates and then cannot see the pairing.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using deririrore::value::Value;
using namespace vantorel::recorders;

constexpr const char* kPetSchema = R"({
  "type": "object",
  "required": ["name", "photoUrls"],
  "additionalProperties": false,
  "properties": {
    "id": {"type": "integer", "format": "int64", "minimum": 1},
    "name": {"type": "string", "minLength": 1, "maxLength": 64, "examples": ["doggie"]},
    "category": {"$ref": "#/$defs/Category"},
    "photoUrls": {"type": "array", "maxItems": 20, "items": {"type": "string", "format": "uri"}},
    "tags": {"type": "array", "uniqueItems": true, "items": {"$ref": "#/$defs/Tag"}},
    "status": {"type": "string", "enum": ["available", "pending", "sold"]},
    "price": {"type": ["number", "null"], "multipleOf": 0.01, "exclusiveMinimum": 0},
    "born": {"type": "string", "format": "date"},
    "owner": {
      "type": "object",
      "properties": {
        "email": {"type": "string", "format": "email"},
        "phone": {"type": "string", "pattern": "^\\+?[0-9 ]{6,20}$"},
        "address": {"type": "object", "properties": {"city": {"type": "string"}, "zip": {"type": "string", "maxLength": 10}}}
      }
    }
  },
  "$defs": {
    "Category": {"type": "object", "properties": {"id": {"type": "integer"}, "name": {"type": "string"}}},
    "Tag": {"type": "object", "required": ["id"], "properties": {"id": {"type": "integer"}, "name": {"type": "string", "maxLength": 32}}}
  }
})";

// A pet of about 1 KB per `scale`: tags and photo URLs grow with it.
std::string pet_body(int variant, int scale) {
    std::string body = "{\"id\": " + std::to_string(1000 + variant) + ", \"name\": \"pet number " +
                       std::to_string(variant) + "\", \"category\": {\"id\": " + std::to_string(variant % 7) +
                       ", \"name\": \"dogs\"}, \"photoUrls\": [";
    for (int i = 0; i < 5 * scale; ++i) {
        if (i) body += ", ";
        body += "\"https://photos.example.com/pets/" + std::to_string(variant) + "/" + std::to_string(i) + ".jpg\"";
    }
    body += "], \"tags\": [";
    for (int i = 0; i < 14 * scale; ++i) {
        if (i) body += ", ";
        body += "{\"id\": " + std::to_string(i + 1) + ", \"name\": \"tag-" + std::to_string(i) + "\"}";
    }
    static const char* kStatus[] = {"available", "pending", "sold", "lost"};
    body += "], \"status\": \"" + std::string(kStatus[variant % 4]) +
            "\", \"price\": " + (variant % 3 == 0 ? std::string("null") : std::to_string(variant) + ".25") +
            ", \"born\": \"2021-0" + std::to_string(1 + variant % 9) + "-15\", \"owner\": {\"email\": \"owner" +
            std::to_string(variant) +
            "@example.com\", \"phone\": \"+49 30 1234567\", \"address\": {\"city\": \"Berlin\", \"zip\": \"10115\"}}}";
    return body;
}

struct Fixture {
    Value schema;
    std::optional<deririrore::core::Validator> validator;
    zavova::CoverageHolder holder;
    http::MediaType media_type;
    std::vector<std::string> bodies;
    std::vector<Value> values;

    explicit Fixture(int scale) {
        schema = *deririrore::value::parse_json(kPetSchema);
        auto built = deririrore::core::build_validator(
            schema, vantorel::dialect::measured_schema_options(deririrore::referencing::Draft::Draft202012,
                                                               vantorel::dialect::NullableSource::MediaType));
        if (!built) std::abort();
        validator.emplace(std::move(*built));
        holder = zavova::build_coverage_state(schema, deririrore::referencing::Draft::Draft202012, {});
        media_type = *parse_media_type("application/json; charset=utf-8");
        for (int v = 0; v < 16; ++v) {
            bodies.push_back(pet_body(v, scale));
            values.push_back(*deririrore::value::parse_json(bodies.back()));
        }
    }

    BodyTarget target() { return BodyTarget{&*validator, &holder, &schema, nullptr, nullptr}; }

    std::size_t bytes() const {
        std::size_t n = 0;
        for (const auto& b : bodies) n += b.size();
        return n;
    }
};

Fixture& fixture() {
    static Fixture f(1);
    return f;
}

void set_body_counters(benchmark::State& state, const Fixture& f) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (f.bytes() / f.bodies.size())));
}

void BM_ReadJson(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        auto value = deririrore::value::parse_json(f.bodies[i++ % f.bodies.size()]);
        benchmark::DoNotOptimize(value);
    }
    set_body_counters(state, f);
}
BENCHMARK(BM_ReadJson)->Unit(benchmark::kMicrosecond);

void BM_DecodeJsonBody(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        auto value = decode_json_body(f.bodies[i++ % f.bodies.size()], f.media_type);
        benchmark::DoNotOptimize(value);
    }
    set_body_counters(state, f);
}
BENCHMARK(BM_DecodeJsonBody)->Unit(benchmark::kMicrosecond);

void BM_TraceValue(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(trace_value(f.holder, f.schema, f.values[i++ % f.values.size()], *f.validator, 1.0));
    }
    set_body_counters(state, f);
}
BENCHMARK(BM_TraceValue)->Unit(benchmark::kMicrosecond);

class CountingTracer final : public deririrore::core::Tracer {
public:
    void call_mut(const deririrore::core::TraceEvent&) override { ++events; }
    std::uint64_t events = 0;
};

// The engine's trace alone, with a tracer that only counts: what trace_value adds is the rest.
void BM_EngineTrace(benchmark::State& state) {
    Fixture& f = fixture();
    CountingTracer counter;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.validator->trace(f.values[i++ % f.values.size()], counter));
    }
    set_body_counters(state, f);
}
BENCHMARK(BM_EngineTrace)->Unit(benchmark::kMicrosecond);

void BM_DecodeAndTrace(benchmark::State& state) {
    Fixture& f = fixture();
    const BodyTarget target = f.target();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(trace_body_by_media_type(f.bodies[i++ % f.bodies.size()], f.media_type, target, 1.0));
    }
    set_body_counters(state, f);
}
BENCHMARK(BM_DecodeAndTrace)->Unit(benchmark::kMicrosecond);

// Allocations of the engine's own trace and of trace_value, per call, after one warm-up call
// (copy on write and the special index are one-time work).
void report_allocations(const char* label, int scale) {
    Fixture f(scale);
    constexpr int kCalls = 64;
    CountingTracer counter;
    (void)f.validator->trace(f.values[0], counter);
    const std::uint64_t events = counter.events;

    std::uint64_t before = g_allocations.load();
    for (int i = 0; i < kCalls; ++i) (void)f.validator->trace(f.values[0], counter);
    const double engine = double(g_allocations.load() - before) / kCalls;

    trace_value(f.holder, f.schema, f.values[0], *f.validator, 1.0);
    before = g_allocations.load();
    for (int i = 0; i < kCalls; ++i) trace_value(f.holder, f.schema, f.values[0], *f.validator, 1.0);
    const double traced = double(g_allocations.load() - before) / kCalls;
    std::printf("%s body (%zu bytes): %llu trace events; allocations per call: engine trace %.1f, trace_value %.1f\n",
                label, f.bodies[0].size(), static_cast<unsigned long long>(events), engine, traced);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    report_allocations("1 KB", 1);
    report_allocations("4 KB", 4);
    return 0;
}
