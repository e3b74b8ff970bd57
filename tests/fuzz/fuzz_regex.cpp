// ECMA-262 patterns: the parser, both engines, the engine-free shapes and the witness. The input is
// a pattern, then sample texts, separated by NUL bytes. Oracles: the two engines refuse the same
// patterns as unreadable; they read every pattern the ECMA-262 syntax scanner (the "regex" format)
// accepts, size limits aside, and nothing else; a witness matches its pattern; where both engines
// take a pattern they agree on every sample, and an engine-free shape agrees with them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "deririrore/formats/regex_format.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/fast_pattern.hpp"
#include "deririrore/regex/syntax.hpp"
#include "deririrore/regex/witness.hpp"
#include "fuzz_support.hpp"

namespace {

namespace rx = deririrore::regex;
using rx::MatchOutcome;
using vc_fuzz::printable;
using vc_fuzz::Value;

std::string outcome_name(MatchOutcome o) {
    switch (o) {
        case MatchOutcome::Matched:
            return "matched";
        case MatchOutcome::NotMatched:
            return "not matched";
        case MatchOutcome::EngineError:
            return "engine error";
        case MatchOutcome::EvaluationFailed:
            return "evaluation failed";
    }
    return "?";
}

bool decided(MatchOutcome o) { return o == MatchOutcome::Matched || o == MatchOutcome::NotMatched; }

// Issue 29, faults 2 and 3: the parser still reads these forms of the engines' own syntax, which
// ECMA-262 refuses: Unicode properties as the engines name them (`\pL`, `\p{gc:L}`,
// `\p{Le-tter}`), `\x{41}`, `(?i)`, `(?x:a)`, `a{2 }`, `[\d--]`, and `\a` in a class after a look-around
// (`(?![\a])`). Skipped by the engine-within-ECMA-262 oracle until the parser refuses them too;
// the name says which form.
std::optional<std::string_view> engine_only_form(std::string_view p) {
    auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '\\' && i + 1 < p.size()) {
            const char e = p[i + 1];
            std::string_view rest = p.substr(i + 2);
            if (e == 'p' || e == 'P') return "Unicode property";
            if (e == 'a') return "\\a";
            if (e == 'x' && rest.starts_with('{')) return "\\x{...}";
            if (std::string_view("dDwWsS").find(e) != std::string_view::npos && rest.starts_with("--")) {
                return "class escape before \"--\"";
            }
            ++i;
        } else if (p.substr(i).starts_with("(?")) {
            std::size_t j = i + 2;
            while (j < p.size() && std::string_view("imsxuUR-").find(p[j]) != std::string_view::npos) ++j;
            if (j > i + 2 && j < p.size() && p[j] == ')') return "inline flags";
            if (j < p.size() && p[j] == ':' && p.substr(i + 2, j - i - 2).find_first_of("xuUR") != std::string_view::npos) {
                return "modifier other than i, m, s";
            }
        } else if (p[i] == '{') {
            std::size_t j = i + 1;
            bool space = false;
            while (j < p.size() && ((p[j] >= '0' && p[j] <= '9') || p[j] == ',' || is_space(p[j]))) {
                space = space || is_space(p[j]);
                ++j;
            }
            if (space && j < p.size() && p[j] == '}') return "white space in a count";
        }
    }
    return std::nullopt;
}

// Issue 29, fault 8 (valid patterns refused): `\<` and `\>` inside a class, which the "regex"
// format reads as '<' and '>', are refused as escapes the engines' syntax does not allow there.
// Skipped by the valid-ECMA-262-is-read oracle until the parser reads them.
bool refused_valid_form(std::string_view p) {
    return p.find("\\<") != std::string_view::npos || p.find("\\>") != std::string_view::npos;
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    namespace fs = vc_fuzz::fs;
    // Patterns of the suite with the strings (or, for patternProperties, the member names) its
    // tests give, so that the engines start from texts that matter.
    vc_fuzz::for_each_suite_case([&](std::string_view, const Value& schema, const std::vector<const Value*>& cases) {
        vc_fuzz::walk(schema, [&](std::string_view key, const Value& v) {
            std::vector<std::string> patterns;
            if (key == "pattern" && v.is_string()) patterns.push_back(v.as_string());
            if (key == "patternProperties" && v.is_object()) {
                for (const auto& m : v.as_object()) patterns.push_back(m.key);
            }
            for (const auto& p : patterns) {
                std::string seed = p;
                for (const Value* c : cases) {
                    if (c->is_string()) seed += '\0' + c->as_string();
                    if (c->is_object()) {
                        for (const auto& m : c->as_object()) seed += '\0' + m.key;
                    }
                }
                sink.add(seed);
                sink.add(p);
            }
        });
        // Texts the "regex" format is asked about are patterns too.
        if (const Value* f = schema.find("format"); f && f->is_string() && f->as_string() == "regex") {
            for (const Value* c : cases) {
                if (c->is_string()) sink.add(c->as_string());
            }
        }
    });
    fs::path data(vc_fuzz::testdata_dir());
    for (const char* dir : {"metaschemas", "schema-benchmark", "openapi/real-sample", "openapi/oai-examples"}) {
        for (const auto& file : vc_fuzz::files_under(data / dir, ".json")) {
            auto doc = vc_fuzz::read_json_file(file);
            if (!doc) continue;
            vc_fuzz::walk(*doc, [&](std::string_view key, const Value& v) {
                if (key == "pattern" && v.is_string()) sink.add(v.as_string());
                if (key == "patternProperties" && v.is_object()) {
                    for (const auto& m : v.as_object()) sink.add(m.key);
                }
            });
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 1024, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto parts = vc_fuzz::split_nul(vc_fuzz::as_view(data, size), 16);
    std::string_view pattern = parts[0];
    // Patterns and instances reach the engines from JSON strings, which are always UTF-8.
    if (!vc_fuzz::is_utf8(pattern)) return 0;
    std::vector<std::string> samples;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (vc_fuzz::is_utf8(parts[i])) samples.emplace_back(parts[i]);
    }
    samples.emplace_back();

    auto automaton = rx::build_automaton_regex(pattern);
    auto backtracking = rx::build_backtracking_regex(pattern);
    const bool automaton_parse_error = !automaton && automaton.error().kind() == rx::RegexErrorKind::Parse;
    const bool backtracking_parse_error = !backtracking && backtracking.error().kind() == rx::RegexErrorKind::Parse;
    if (automaton_parse_error != backtracking_parse_error) {
        vc_fuzz::finding("engines-read-alike",
                         "one engine reads the pattern, the other does not: " + printable(pattern) + " (" +
                             (automaton ? std::string("automaton builds") : automaton.error().message()) + "; " +
                             (backtracking ? std::string("backtracking builds") : backtracking.error().message()) + ")");
    }

    const bool syntax_ok = rx::scan_pattern_syntax(pattern);
    if (syntax_ok != deririrore::formats::is_valid_regex_cached(pattern)) {
        vc_fuzz::finding("regex-format-cache", "cached \"regex\" format check differs: " + printable(pattern));
    }
    if ((automaton || backtracking) && !syntax_ok && !engine_only_form(pattern)) {
        vc_fuzz::finding("engine-within-ecma", "an engine takes a pattern that is not ECMA-262: " + printable(pattern));
    }
    // Size limits may refuse a valid pattern, but only as too large, never as unreadable.
    if (syntax_ok && automaton_parse_error && backtracking_parse_error && !refused_valid_form(pattern)) {
        vc_fuzz::finding("ecma-within-engines", "a valid ECMA-262 pattern is refused as unreadable: " +
                                                    printable(pattern) + " (" + automaton.error().message() + ")");
    }

    auto run = [&](std::string_view text) -> std::optional<MatchOutcome> {
        if (automaton) return (*automaton)->match(text).outcome;
        if (backtracking) return (*backtracking)->match(text).outcome;
        return std::nullopt;
    };

    if (auto witness = rx::pattern_witness(pattern)) {
        if (!vc_fuzz::is_utf8(*witness)) {
            vc_fuzz::finding("witness", "witness is not UTF-8: " + printable(*witness) + " for " + printable(pattern));
        }
        auto outcome = run(*witness);
        if (outcome && *outcome == MatchOutcome::NotMatched) {
            vc_fuzz::finding("witness", "witness " + printable(*witness) + " does not match " + printable(pattern));
        }
        samples.push_back(std::move(*witness));
    }

    if (automaton && backtracking) {
        for (const auto& s : samples) {
            auto a = (*automaton)->match(s).outcome;
            auto b = (*backtracking)->match(s).outcome;
            if (decided(a) && decided(b) && a != b) {
                vc_fuzz::finding("engines-agree", printable(pattern) + " on " + printable(s) + ": automaton " +
                                                      outcome_name(a) + ", backtracking " + outcome_name(b));
            }
        }
    }

    if (auto fast = rx::classify_fast_pattern_owned(pattern)) {
        for (const auto& s : samples) {
            auto engine = run(s);
            if (engine && decided(*engine) && (*engine == MatchOutcome::Matched) != fast->matches(s)) {
                vc_fuzz::finding("fast-shape-agrees", printable(pattern) + " on " + printable(s) + ": engine " +
                                                          outcome_name(*engine) + ", fast shape " +
                                                          (fast->matches(s) ? "matched" : "not matched"));
            }
        }
    }
    return 0;
}
