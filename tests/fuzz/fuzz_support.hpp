#pragma once
// What every fuzz target shares: reporting a finding, splitting an input into parts, and writing
// its seed corpus from the test data when run as `TARGET -write_seeds=DIR [-max_len=N]`.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/formats/content.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/value.hpp"

namespace vc_fuzz {

namespace fs = std::filesystem;
using deririrore::value::Value;

// C-escaped, so that a report shows control bytes and separators.
inline std::string printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

// An oracle failed: say which and why, then abort so that libFuzzer keeps the input. With
// VC_FUZZ_SURVEY set in the environment the run goes on instead, so that one long run lists every
// kind of finding (callers return after a finding that leaves nothing to check).
inline void finding(std::string_view oracle, const std::string& detail) {
    std::fprintf(stderr, "\nFINDING [%.*s]: %s\n", static_cast<int>(oracle.size()), oracle.data(), detail.c_str());
    std::fflush(stderr);
    static const bool survey = std::getenv("VC_FUZZ_SURVEY") != nullptr;
    if (!survey) std::abort();
}

inline bool is_utf8(std::string_view bytes) { return !deririrore::formats::validate_utf8(bytes).has_value(); }

// The parts of an input separated by NUL bytes (no JSON text or schema string holds a raw NUL).
inline std::vector<std::string_view> split_nul(std::string_view data, std::size_t max_parts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < max_parts) {
        std::size_t at = data.find('\0');
        if (at == std::string_view::npos) break;
        parts.push_back(data.substr(0, at));
        data.remove_prefix(at + 1);
    }
    parts.push_back(data);
    return parts;
}

inline std::string_view as_view(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::string testdata_dir() {
#ifdef VC_TESTDATA
    return VC_TESTDATA;
#else
    return "../shared/testdata";
#endif
}

// Seed files named by a hash of their bytes: repeated seeds collapse, reruns overwrite.
class SeedSink {
public:
    SeedSink(fs::path dir, std::size_t max_len) : dir_(std::move(dir)), max_len_(max_len) {}

    void add(std::string_view bytes) {
        if (bytes.size() > max_len_ || !seen_.insert(std::string(bytes)).second) return;
        uint64_t h = 1469598103934665603ULL;
        for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ULL;
        char name[24];
        std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(h));
        std::ofstream(dir_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::size_t count() const noexcept { return seen_.size(); }
    std::size_t max_len() const noexcept { return max_len_; }

private:
    fs::path dir_;
    std::size_t max_len_;
    std::set<std::string> seen_;
};

inline std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file under `dir` (recursively) whose name ends in `suffix`, in a stable order.
inline std::vector<fs::path> files_under(const fs::path& dir, std::string_view suffix) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().string().ends_with(suffix)) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::optional<Value> read_json_file(const fs::path& path, std::size_t max_bytes = 4u << 20) {
    std::error_code ec;
    if (fs::file_size(path, ec) > max_bytes || ec) return std::nullopt;
    auto text = read_file(path);
    if (!text) return std::nullopt;
    auto parsed = deririrore::value::parse_json(*text);
    if (!parsed) return std::nullopt;
    return std::move(*parsed);
}

// Calls `visit(key, value)` for every object member of the tree (key empty for array items and the
// root), depth first with an explicit stack.
inline void walk(const Value& root, const std::function<void(std::string_view key, const Value&)>& visit) {
    std::vector<std::pair<std::string_view, const Value*>> stack{{std::string_view(), &root}};
    while (!stack.empty()) {
        auto [key, v] = stack.back();
        stack.pop_back();
        visit(key, *v);
        if (v->is_array()) {
            for (const Value& item : v->as_array()) stack.emplace_back(std::string_view(), &item);
        } else if (v->is_object()) {
            for (const auto& m : v->as_object()) stack.emplace_back(m.key, &m.value);
        }
    }
}

// The official JSON Schema test suite's cases: each schema with the instances its tests give.
inline void for_each_suite_case(const std::function<void(std::string_view draft_dir, const Value& schema,
                                                         const std::vector<const Value*>& instances)>& visit) {
    fs::path tests = fs::path(testdata_dir()) / "json-schema-test-suite" / "tests";
    for (const char* draft : {"draft4", "draft6", "draft7", "draft2019-09", "draft2020-12"}) {
        for (const auto& file : files_under(tests / draft, ".json")) {
            auto doc = read_json_file(file);
            if (!doc || !doc->is_array()) continue;
            for (const Value& group : doc->as_array()) {
                const Value* schema = group.find("schema");
                const Value* cases = group.find("tests");
                if (!schema || !cases || !cases->is_array()) continue;
                std::vector<const Value*> instances;
                for (const Value& c : cases->as_array()) {
                    if (const Value* data = c.find("data")) instances.push_back(data);
                }
                visit(draft, *schema, instances);
            }
        }
    }
}

// Handles `-write_seeds=DIR`: writes the seeds and exits. libFuzzer calls this before it reads its
// own flags; `-max_len=N` is read here too so that no seed is longer than the runs allow.
inline void handle_seed_flag(int* argc, char*** argv, std::size_t default_max_len,
                             const std::function<void(SeedSink&)>& write_seeds) {
    std::optional<std::string> dir;
    std::size_t max_len = default_max_len;
    for (int i = 1; i < *argc; ++i) {
        std::string_view arg = (*argv)[i];
        if (arg.starts_with("-write_seeds=")) dir = std::string(arg.substr(13));
        if (arg.starts_with("-max_len=")) max_len = std::strtoull(std::string(arg.substr(9)).c_str(), nullptr, 10);
    }
    if (!dir) return;
    std::error_code ec;
    fs::create_directories(*dir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", dir->c_str(), ec.message().c_str());
        std::exit(2);
    }
    if (!fs::is_directory(testdata_dir())) {
        std::fprintf(stderr, "no test data at %s: only the built-in seeds are written\n", testdata_dir().c_str());
    }
    SeedSink sink(*dir, max_len);
    write_seeds(sink);
    std::printf("%zu seeds written to %s\n", sink.count(), dir->c_str());
    std::exit(0);
}

}  // namespace vc_fuzz
