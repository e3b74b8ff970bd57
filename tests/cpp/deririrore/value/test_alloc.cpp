// Counts allocations by replacing the global allocation functions, so it is a
// program of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/types.hpp"

// The replaced functions pair malloc with free, which GCC cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace dv = deririrore::value;

// Equality, type tests and uniqueness of small lists sit on the validation hot
// path, where nothing may allocate.
TEST(HotPaths, OrdinaryNumbersAndSmallValuesDoNotAllocate) {
    auto parse = [](std::string_view t) { return std::move(*dv::parse_json(t)); };
    const dv::Value a = parse(R"([1, 0.1, {"k": [true, "s", null]}, -0, 18446744073709551615, 1e999999])");
    const dv::Value b = parse(R"([1.0, 1e-1, {"k": [true, "s", null]}, 0.0, 1.8446744073709551615e19, 10e999998])");
    const dv::Value list = parse(R"([1, 2.5, "x", [1], {"a": 1}, 1e3, 7])");
    const long before = g_allocations.load();
    EXPECT_TRUE(dv::json_values_equal(a, b));
    EXPECT_TRUE(dv::is_unique_array(list.as_array()));
    EXPECT_TRUE(dv::number_text_values_equal("9007199254740993", "9.007199254740993e15"));
    EXPECT_FALSE(dv::number_text_values_equal("0.1", "0.1000000000000000055511151231257827"));
    EXPECT_TRUE(dv::is_integer_text("1e999999"));
    EXPECT_EQ(dv::classify_integer_text("1e999999"), dv::IntegerClass::Integer);
    EXPECT_EQ(dv::json_type_of(a.as_array()[1]), dv::JsonType::Number);
    EXPECT_EQ(g_allocations.load() - before, 0);
}
