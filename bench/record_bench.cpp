// Recording whole interactions against a petstore-sized OpenAPI 3.1 document (19 operations,
// component schemas by reference): the time per interaction of record_interaction, next to the
// time our JSON reader takes to read the same request and response bodies (about 1 KB each).
// Interactions are built beforehand, as the Python side hands them over already built; what is
// timed is matching, counting, body decoding, tracing and response recording.
//
//   cmake -S . -B build/bench -G Ninja -DVC_PYTHON=OFF && cmake --build build/bench --target record-bench
//   build/bench/bench/record-bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "http/interaction.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/recorders/record.hpp"

namespace {

using deririrore::value::Value;
using http::HttpMethod;
using namespace vantorel::recorders;

constexpr const char* kDocument = R"({
  "openapi": "3.1.0",
  "info": {"title": "Pets", "version": "1"},
  "servers": [{"url": "https://pets.example.com/v3"}],
  "paths": {
    "/pets": {
      "get": {"parameters": [{"name": "limit", "in": "query", "schema": {"type": "integer", "maximum": 100}}],
              "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/Pet"}}}}}}},
      "post": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}},
                                           "application/xml": {"schema": {"$ref": "#/components/schemas/Pet"}}}},
               "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}},
                             "405": {"description": "invalid input"},
                             "default": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}}}},
      "put": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}},
              "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}},
                            "4XX": {"description": ""}}}
    },
    "/pets/findByStatus": {"get": {"parameters": [{"name": "status", "in": "query", "schema": {"type": "string", "enum": ["available", "pending", "sold"]}}],
                                   "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/Pet"}}}}}}}},
    "/pets/findByTags": {"get": {"parameters": [{"name": "tags", "in": "query", "schema": {"type": "array", "items": {"type": "string"}}}],
                                 "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/Pet"}}}}}}}},
    "/pets/{petId}": {
      "parameters": [{"name": "petId", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}}],
      "get": {"responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Pet"}}}},
                            "404": {"description": ""}}},
      "post": {"parameters": [{"name": "name", "in": "query", "schema": {"type": "string"}}], "responses": {"405": {"description": ""}}},
      "delete": {"parameters": [{"name": "api_key", "in": "header", "schema": {"type": "string"}}], "responses": {"400": {"description": ""}}}
    },
    "/pets/{petId}/uploadImage": {"post": {"requestBody": {"content": {"application/octet-stream": {"schema": {"type": "string", "format": "binary"}}}},
                                           "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/ApiResponse"}}}}}}},
    "/store/inventory": {"get": {"responses": {"200": {"description": "", "content": {"application/json": {"schema": {"type": "object", "additionalProperties": {"type": "integer", "format": "int32"}}}}}}}},
    "/store/order": {"post": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/Order"}}}},
                              "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Order"}}}}}}},
    "/store/order/{orderId}": {
      "get": {"parameters": [{"name": "orderId", "in": "path", "required": true, "schema": {"type": "integer"}}],
              "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Order"}}}}}},
      "delete": {"parameters": [{"name": "orderId", "in": "path", "required": true, "schema": {"type": "integer"}}], "responses": {"404": {"description": ""}}}
    },
    "/user": {"post": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}},
                       "responses": {"default": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}}}}},
    "/user/createWithList": {"post": {"requestBody": {"content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/User"}}}}},
                                      "responses": {"200": {"description": ""}}}},
    "/user/login": {"get": {"parameters": [{"name": "username", "in": "query", "schema": {"type": "string"}}, {"name": "password", "in": "query", "schema": {"type": "string"}}],
                            "responses": {"200": {"description": "", "content": {"application/json": {"schema": {"type": "string"}}}}}}},
    "/user/logout": {"get": {"responses": {"default": {"description": ""}}}},
    "/user/{username}": {
      "parameters": [{"name": "username", "in": "path", "required": true, "schema": {"type": "string"}}],
      "get": {"responses": {"200": {"description": "", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}}}},
      "put": {"requestBody": {"content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}}, "responses": {"default": {"description": ""}}},
      "delete": {"responses": {"404": {"description": ""}}}
    }
  },
  "components": {"schemas": {
    "Pet": {
      "type": "object",
      "required": ["name", "photoUrls"],
      "additionalProperties": false,
      "properties": {
        "id": {"type": "integer", "format": "int64", "minimum": 1},
        "name": {"type": "string", "minLength": 1, "maxLength": 64, "examples": ["doggie"]},
        "category": {"$ref": "#/components/schemas/Category"},
        "photoUrls": {"type": "array", "maxItems": 20, "items": {"type": "string", "format": "uri"}},
        "tags": {"type": "array", "uniqueItems": true, "items": {"$ref": "#/components/schemas/Tag"}},
        "status": {"type": "string", "enum": ["available", "pending", "sold"]},
        "price": {"type": ["number", "null"], "multipleOf": 0.01, "exclusiveMinimum": 0},
        "born": {"type": "string", "format": "date"},
        "owner": {"type": "object", "properties": {
          "email": {"type": "string", "format": "email"},
          "phone": {"type": "string", "pattern": "^\\+?[0-9 ]{6,20}$"},
          "address": {"type": "object", "properties": {"city": {"type": "string"}, "zip": {"type": "string", "maxLength": 10}}}}}
      }
    },
    "Category": {"type": "object", "properties": {"id": {"type": "integer"}, "name": {"type": "string"}}},
    "Tag": {"type": "object", "required": ["id"], "properties": {"id": {"type": "integer"}, "name": {"type": "string", "maxLength": 32}}},
    "Order": {"type": "object", "properties": {"id": {"type": "integer"}, "petId": {"type": "integer"}, "quantity": {"type": "integer", "minimum": 1},
                                               "status": {"type": "string", "enum": ["placed", "approved", "delivered"]}, "complete": {"type": "boolean"}}},
    "User": {"type": "object", "properties": {"id": {"type": "integer"}, "username": {"type": "string"}, "email": {"type": "string", "format": "email"},
                                              "userStatus": {"type": "integer", "format": "int32"}}},
    "ApiResponse": {"type": "object", "properties": {"code": {"type": "integer"}, "type": {"type": "string"}, "message": {"type": "string"}}},
    "Error": {"type": "object", "required": ["code", "message"], "properties": {"code": {"type": "integer"}, "message": {"type": "string"}}}
  }}
})";

// A pet of about 1 KB.
std::string pet_body(int variant) {
    std::string body = "{\"id\": " + std::to_string(1000 + variant) + ", \"name\": \"pet number " +
                       std::to_string(variant) + "\", \"category\": {\"id\": " + std::to_string(variant % 7) +
                       ", \"name\": \"dogs\"}, \"photoUrls\": [";
    for (int i = 0; i < 5; ++i) {
        if (i) body += ", ";
        body += "\"https://photos.example.com/pets/" + std::to_string(variant) + "/" + std::to_string(i) + ".jpg\"";
    }
    body += "], \"tags\": [";
    for (int i = 0; i < 14; ++i) {
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

http::Interaction make_interaction(HttpMethod method, const std::string& url, std::optional<std::string> request_body,
                                   std::uint16_t status, std::optional<std::string> response_body) {
    http::HeaderMap headers;
    if (request_body) headers.insert("Content-Type", "application/json");
    auto request = http::build_request_record(method, url, std::move(request_body), std::move(headers));
    if (!request) std::abort();
    http::ResponseRecord response;
    response.status = status;
    response.elapsed = 0.01f;
    response.body = std::move(response_body);
    response.headers.insert("Content-Type", "application/json; charset=utf-8");
    return http::Interaction{std::move(request).value(), std::move(response), 1.7e9};
}

struct Fixture {
    CoverageMap map;
    std::vector<std::string> bodies;
    std::vector<http::Interaction> posts;  // request and response body
    std::vector<http::Interaction> gets;   // response body only
    std::vector<http::Interaction> misses;

    Fixture() {
        auto document = deririrore::value::parse_json(kDocument);
        if (!document) std::abort();
        map = build_coverage_map(*document, std::nullopt, std::nullopt);
        for (int v = 0; v < 16; ++v) bodies.push_back(pet_body(v));
        for (int v = 0; v < 16; ++v) {
            posts.push_back(make_interaction(HttpMethod::Post, "https://pets.example.com/v3/pets", bodies[v], 200,
                                             bodies[(v + 5) % 16]));
            gets.push_back(make_interaction(HttpMethod::Get,
                                            "https://pets.example.com/v3/pets/" + std::to_string(1000 + v),
                                            std::nullopt, 200, bodies[v]));
            misses.push_back(make_interaction(HttpMethod::Get,
                                              "https://pets.example.com/v3/unknown/" + std::to_string(v % 4),
                                              std::nullopt, 404, std::nullopt));
        }
        // A first pass, so that coverage states are unshared and warm before timing.
        for (const auto& i : posts) record_interaction(map, i);
        for (const auto& i : gets) record_interaction(map, i);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Both bodies of one POST interaction through the JSON reader.
void BM_ReadBothBodies(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& interaction = f.posts[i++ % f.posts.size()];
        auto request = deririrore::value::parse_json(*interaction.request.body);
        auto response = deririrore::value::parse_json(*interaction.response->body);
        benchmark::DoNotOptimize(request);
        benchmark::DoNotOptimize(response);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadBothBodies)->Unit(benchmark::kMicrosecond);

void BM_RecordPostWithBodies(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(record_interaction(f.map, f.posts[i++ % f.posts.size()]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordPostWithBodies)->Unit(benchmark::kMicrosecond);

// One body through the JSON reader, for the GET interactions below.
void BM_ReadOneBody(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        auto value = deririrore::value::parse_json(f.bodies[i++ % f.bodies.size()]);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadOneBody)->Unit(benchmark::kMicrosecond);

void BM_RecordGetWithResponseBody(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(record_interaction(f.map, f.gets[i++ % f.gets.size()]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordGetWithResponseBody)->Unit(benchmark::kMicrosecond);

// Matching and filing alone: a request no template reaches.
void BM_RecordUnmatched(benchmark::State& state) {
    Fixture& f = fixture();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(record_interaction(f.map, f.misses[i++ % f.misses.size()]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordUnmatched)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
