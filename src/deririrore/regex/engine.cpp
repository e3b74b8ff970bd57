#include "deririrore/regex/engine.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <re2/re2.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/regex/charset.hpp"
#include "deririrore/regex/class_run.hpp"
#include "deririrore/regex/parser.hpp"

namespace deririrore::regex {

// One compiled pattern, whichever way it runs: a scan over one class, the automaton, or the
// backtracking machine.
struct Program {
    std::optional<detail::ClassRun> run;
    std::unique_ptr<re2::RE2> re;
    pcre2_code* code = nullptr;
    uint64_t match_limit = kDefaultBacktrackLimit;

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (code != nullptr) pcre2_code_free(code);
    }
    BacktrackingMatch match(std::string_view text) const;
};

struct AutomatonRegex::Impl : Program {};
struct BacktrackingRegex::Impl : Program {};

struct EngineAccess {
    static std::shared_ptr<const AutomatonRegex> automaton(std::unique_ptr<AutomatonRegex::Impl> impl) {
        return std::shared_ptr<const AutomatonRegex>(new AutomatonRegex(std::move(impl)));
    }
    static std::shared_ptr<const BacktrackingRegex> backtracking(std::unique_ptr<BacktrackingRegex::Impl> impl) {
        return std::shared_ptr<const BacktrackingRegex>(new BacktrackingRegex(std::move(impl)));
    }
};

namespace {

using detail::Analysis;
using detail::AssertionKind;
using detail::GroupKind;
using detail::Node;
using detail::NodeKind;
using detail::Tree;

// Emitted engine text above this size is refused as too large.
constexpr size_t kMaxEngineText = 16u << 20;
// Default program budget and lazy-automaton cache of the automaton engine.
constexpr uint64_t kDefaultProgramBudget = 10u << 20;
constexpr uint64_t kDefaultCacheBudget = 2u << 20;
// What one program instruction counts against a configured size limit.
constexpr uint64_t kInstructionBytes = 16;
// The largest program, in estimated instructions, that the automaton is asked to build (some
// 60 ms of compile time); beyond it the backtracking machine, which repeats a single character
// without copying it, takes the pattern.
constexpr uint64_t kAutomatonBudget = 100000;
// n optional copies of one character cost the automaton's compiler as much time as about
// n * n / 256 instructions.
constexpr uint64_t kNestedOptionalDivisor = 256;
// The machine's compiled patterns are limited to 64 KiB; the estimate leaves the exact verdict to
// it and only stops patterns far beyond.
constexpr uint64_t kMachineLimit = 1u << 16;
constexpr uint64_t kMachineBudget = 4 * kMachineLimit;
// Run-time bounds of the backtracking machine besides the configurable match limit.
constexpr uint32_t kDepthLimit = 1000000;
constexpr uint32_t kHeapLimitKiB = 256u * 1024;
constexpr size_t kJitStackMax = 8u << 20;

RegexError compile_error(std::string detail) { return RegexError(RegexErrorKind::Compile, 0, std::move(detail)); }

RegexError too_large_error() {
    return RegexError(RegexErrorKind::TooLarge, 0,
                      "pattern too large: its compiled form would exceed the size limit of both regex engines");
}

uint64_t add_sat(uint64_t a, uint64_t b) { return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b; }
uint64_t mul_sat(uint64_t a, uint64_t b) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return std::numeric_limits<uint64_t>::max();
    return a * b;
}
uint64_t ceil_div(uint64_t a, uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

uint32_t utf8_length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Byte-sequence ranges a code point range of one encoded length splits into.
uint64_t utf8_pieces(char32_t lo, char32_t hi, uint32_t len) {
    for (uint32_t k = 1; k < len; ++k) {
        const char32_t m = (char32_t{1} << (6 * k)) - 1;
        if ((lo & ~m) != (hi & ~m)) {
            if ((lo & m) != 0) return utf8_pieces(lo, lo | m, len) + utf8_pieces((lo | m) + 1, hi, len);
            if ((hi & m) != m) return utf8_pieces(lo, (hi & ~m) - 1, len) + utf8_pieces(hi & ~m, hi, len);
        }
    }
    return 1;
}

// What a code point range costs the automaton: one instruction per byte of each byte-sequence
// range it compiles to.
uint64_t automaton_range_cost(char32_t lo, char32_t hi) {
    static constexpr char32_t kLast[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    uint64_t total = 0;
    char32_t first = 0;
    for (uint32_t len = 1; len <= 4; ++len) {
        const char32_t l = std::max(lo, first);
        const char32_t h = std::min(hi, kLast[len - 1]);
        if (l <= h) total += len * utf8_pieces(l, h, len);
        first = kLast[len - 1] + 1;
    }
    return total;
}

class Emitter {
public:
    // `budget` bounds the estimated size of the engine's program (instructions for the automaton,
    // bytes for the backtracking machine); a pattern that would go beyond it stops the emission
    // before any repeated part is copied, with `too_large` set.
    Emitter(const Tree& tree, bool pcre, std::string& out, uint64_t budget)
        : t_(tree), pcre_(pcre), captures_(pcre && tree.has_backref), out_(out), budget_(budget) {}

    bool emit(uint32_t id, uint64_t product) {
        if (out_.size() > kMaxEngineText) return too_large_text();
        const Node& node = t_.nodes[id];
        switch (node.kind) {
            case NodeKind::Empty:
            case NodeKind::SetFlags:
                return true;
            case NodeKind::Literal:
                if (!detail::literal_needs_class(node)) {
                    escape(node.cp);
                    return charge((pcre_ ? 1 : 0) + utf8_length(node.cp));
                }
                return charset(node);
            case NodeKind::Dot:
            case NodeKind::PerlClass:
            case NodeKind::UnicodeClass:
            case NodeKind::Bracketed:
                return charset(node);
            case NodeKind::Assertion:
                return assertion(node) && charge(1);
            case NodeKind::BackRef:
                if (!pcre_) return fail("back-references need the backtracking engine");
                return charge(3 * back_reference(node));
            case NodeKind::Group:
                return group(node, product);
            case NodeKind::Alternation:
                if (!charge(pcre_ ? 3 * node.children.size() : node.children.size())) return false;
                for (size_t i = 0; i < node.children.size(); ++i) {
                    if (i > 0) out_.push_back('|');
                    if (!emit(node.children[i], product)) return false;
                }
                return true;
            case NodeKind::Concat:
                for (uint32_t child : node.children) {
                    if (!emit(child, product)) return false;
                }
                return true;
            case NodeKind::Repetition:
                return repetition(node, product);
        }
        return true;
    }

    bool too_large() const noexcept { return too_large_; }
    std::string error;

private:
    const Tree& t_;
    bool pcre_;
    bool captures_;  // capture groups are needed only for back-references
    std::string& out_;
    uint64_t budget_;
    uint64_t cost_ = 0;
    bool too_large_ = false;
    bool names_indexed_ = false;
    std::unordered_map<std::string_view, std::vector<uint32_t>> groups_by_name_;

    bool fail(const char* message) {
        error = message;
        return false;
    }

    bool too_large_text() {
        too_large_ = true;
        return fail("pattern too large");
    }

    bool charge(uint64_t units) {
        cost_ = add_sat(cost_, units);
        if (cost_ > budget_) return too_large_text();
        return true;
    }

    static bool plain(char32_t c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

    void hex(char32_t c) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\x{%x}", static_cast<unsigned>(c));
        out_.append(buf);
    }

    void escape(char32_t c) {
        if (plain(c)) {
            out_.push_back(static_cast<char>(c));
        } else {
            hex(c);
        }
    }

    // Writes the ranges and returns what they cost the engine.
    uint64_t ranges(const icu::UnicodeSet& set) {
        uint64_t cost = 0;
        bool narrow = false;
        for (int32_t i = 0; i < set.getRangeCount(); ++i) {
            const auto lo = static_cast<char32_t>(set.getRangeStart(i));
            const auto hi = static_cast<char32_t>(set.getRangeEnd(i));
            escape(lo);
            if (hi != lo) {
                out_.push_back('-');
                escape(hi);
            }
            if (!pcre_) {
                cost += automaton_range_cost(lo, hi);
            } else if (hi < 0x100) {
                narrow = true;
            } else {
                narrow = narrow || lo < 0x100;
                cost += 1 + utf8_length(std::max<char32_t>(lo, 0x100)) + utf8_length(hi);
            }
        }
        // The machine keeps a bitmap for the characters below U+0100.
        return pcre_ ? cost + 3 + (narrow ? 32 : 0) : cost;
    }

    bool charset(const Node& node) {
        icu::UnicodeSet set;
        std::string err;
        if (!detail::node_charset(t_, node, set, err)) {
            error = err;
            return false;
        }
        if (set.isEmpty()) {
            out_.append("[^\\x{0}-\\x{10ffff}]");
            return charge(pcre_ ? 33 : 1);
        }
        if (set.size() == 1) {
            const auto c = static_cast<char32_t>(set.charAt(0));
            escape(c);
            return charge((pcre_ ? 1 : 0) + utf8_length(c));
        }
        icu::UnicodeSet rest(0, 0x10FFFF);
        rest.removeAll(set);
        detail::strip_surrogates(rest);
        if (rest.isEmpty() && !pcre_) {
            out_.append("(?s:.)");
            return charge(automaton_range_cost(0, 0x10FFFF));
        }
        uint64_t cost = 0;
        if (!rest.isEmpty() && rest.getRangeCount() < set.getRangeCount()) {
            out_.append("[^");
            cost = ranges(rest);
        } else {
            out_.push_back('[');
            cost = ranges(set);
        }
        out_.push_back(']');
        return charge(cost);
    }

    // A name that several groups share (each in another alternative) refers to the one that took
    // part in the match, and matches the empty text when none did, as in ECMA-262:
    // "(?:(?(1)\g{1})(?(2)\g{2}))", flat so that many groups add no nesting. Returns the number of
    // groups referred to.
    size_t back_reference(const Node& node) {
        const bool fold = (node.flags & detail::kCaseInsensitive) != 0;
        if (!node.name.empty()) {
            if (!names_indexed_) {
                names_indexed_ = true;
                for (const auto& [name, index] : t_.capture_names) groups_by_name_[name].push_back(index);
            }
            auto it = groups_by_name_.find(node.name);
            if (it != groups_by_name_.end() && it->second.size() > 1) {
                out_.append(fold ? "(?i:" : "(?:");
                for (uint32_t group : it->second) {
                    const std::string n = std::to_string(group);
                    out_.append("(?(" + n + ")\\g{" + n + "})");
                }
                out_.push_back(')');
                return it->second.size();
            }
        }
        out_.append(fold ? "(?i:\\g{" : "\\g{");
        out_.append(std::to_string(node.min));
        out_.append(fold ? "})" : "}");
        return 1;
    }

    bool assertion(const Node& node) {
        const bool multi = (node.flags & detail::kMultiLine) != 0;
        switch (static_cast<AssertionKind>(node.sub)) {
            case AssertionKind::StartLine: out_.append(multi ? "(?m:^)" : "\\A"); return true;
            case AssertionKind::EndLine: out_.append(multi ? "(?m:$)" : "\\z"); return true;
            case AssertionKind::StartText: out_.append("\\A"); return true;
            case AssertionKind::EndText: out_.append("\\z"); return true;
            case AssertionKind::WordBoundary: out_.append("\\b"); return true;
            case AssertionKind::NotWordBoundary: out_.append("\\B"); return true;
            // In ECMA-262 these escapes are the characters themselves.
            case AssertionKind::AngleStart: escape('<'); return true;
            case AssertionKind::AngleEnd: escape('>'); return true;
            case AssertionKind::SpecialWordBoundary: return fail("special word boundary assertions are not supported");
        }
        return true;
    }

    bool group(const Node& node, uint64_t product) {
        switch (static_cast<GroupKind>(node.sub)) {
            case GroupKind::Capture: out_.append(captures_ ? "(" : "(?:"); break;
            case GroupKind::NonCapturing: out_.append("(?:"); break;
            case GroupKind::LookAhead: out_.append("(?="); break;
            case GroupKind::NegLookAhead: out_.append("(?!"); break;
            case GroupKind::LookBehind: out_.append("(?<="); break;
            case GroupKind::NegLookBehind: out_.append("(?<!"); break;
        }
        if (!pcre_ && static_cast<GroupKind>(node.sub) > GroupKind::NonCapturing) {
            return fail("look-around needs the backtracking engine");
        }
        if (!charge(pcre_ ? 6 : 0)) return false;
        if (!node.children.empty() && !emit(node.children[0], product)) return false;
        out_.push_back(')');
        return true;
    }

    bool has_capture(uint32_t id) const {
        std::vector<uint32_t> stack{id};
        while (!stack.empty()) {
            const Node& node = t_.nodes[stack.back()];
            stack.pop_back();
            if (node.kind == NodeKind::Group && static_cast<GroupKind>(node.sub) == GroupKind::Capture) return true;
            stack.insert(stack.end(), node.children.begin(), node.children.end());
        }
        return false;
    }

    void counted(std::string_view atom, uint64_t n, bool optional, uint64_t chunk, std::string_view lazy) {
        while (n > 0 && out_.size() <= kMaxEngineText) {
            const uint64_t k = std::min(n, chunk);
            out_.append(atom);
            // Appended piece by piece: GCC 12 warns falsely about a concatenated temporary here.
            if (optional) {
                if (k == 1) {
                    out_.push_back('?');
                } else {
                    out_.append("{0,");
                    out_.append(std::to_string(k));
                    out_.push_back('}');
                }
                out_.append(lazy);
            } else if (k > 1) {
                out_.push_back('{');
                out_.append(std::to_string(k));
                out_.push_back('}');
            }
            n -= k;
        }
    }

    // What the engine adds for a repetition beyond one copy of its atom, which costs `atom`. The
    // automaton copies the atom once per count, and compiles the optional copies of a single
    // character, which it nests one inside the next, in time that grows with their square. The
    // machine repeats a single character with one counted item, and copies a group once per count.
    uint64_t repetition_cost(uint64_t atom, uint64_t lo, uint64_t hi, bool bounded, bool single, uint64_t chunk) const {
        const uint64_t optional = bounded ? hi - lo : 1;
        const uint64_t copies = add_sat(lo, optional);
        if (!pcre_) {
            const uint64_t extra = add_sat(mul_sat(atom, copies - std::min<uint64_t>(copies, 1)), optional);
            return single && bounded ? add_sat(extra, mul_sat(optional, optional) / kNestedOptionalDivisor) : extra;
        }
        if (single) {
            const uint64_t pieces = ceil_div(std::max<uint64_t>(lo, 1), chunk) + (bounded ? ceil_div(optional, chunk) : 1);
            return mul_sat(pieces, atom + 4);
        }
        return add_sat(mul_sat(copies, atom + 7), 7);
    }

    // Counted repetitions above the engine's limits (1000 for the automaton engine, including
    // the product of nested counts; 65535 for the backtracking machine) are written as a
    // sequence of smaller counted pieces, which matches the same strings.
    bool repetition(const Node& node, uint64_t product) {
        const bool greedy = node.greedy != ((node.flags & detail::kSwapGreed) != 0);
        const std::string_view lazy = greedy ? "" : "?";
        const uint64_t lo = node.min;
        const uint64_t hi = node.max;
        const bool bounded = node.has_max;
        const uint32_t child = node.children[0];
        const bool simple = (lo == 0 && bounded && hi == 1) || (!bounded && lo <= 1);
        const size_t mark = out_.size();
        // Single characters and classes repeat as they are; the backtracking machine would copy a
        // repeated group once per count.
        const NodeKind child_kind = t_.nodes[child].kind;
        const bool single = child_kind == NodeKind::Literal || child_kind == NodeKind::Dot ||
                          child_kind == NodeKind::PerlClass || child_kind == NodeKind::UnicodeClass ||
                          child_kind == NodeKind::Bracketed;
        const uint64_t before = cost_;
        auto emit_atom = [&](uint64_t inner_product) -> bool {
            if (single) return emit(child, inner_product);
            out_.append("(?:");
            if (!emit(child, inner_product)) return false;
            out_.push_back(')');
            return true;
        };
        if (simple) {
            if (!emit_atom(product)) return false;
            out_.append(!bounded ? (lo == 0 ? "*" : "+") : "?");
            out_.append(lazy);
            return charge(pcre_ && !single ? 7 : 1);
        }
        const uint64_t limit = pcre_ ? 65535 : 1000;
        const uint64_t chunk = pcre_ ? limit : std::max<uint64_t>(1, limit / std::max<uint64_t>(1, product));
        const uint64_t largest = std::max(lo, bounded ? hi : 0);
        const bool whole = largest <= chunk;
        if (!emit_atom(mul_sat(product, whole ? std::max<uint64_t>(1, largest) : chunk))) return false;
        if (!charge(repetition_cost(std::max<uint64_t>(cost_ - before, 1), lo, hi, bounded, single, chunk))) return false;
        if (whole) {
            out_.push_back('{');
            out_.append(std::to_string(lo));
            if (!bounded) {
                out_.push_back(',');
            } else if (hi != lo) {
                out_.push_back(',');
                out_.append(std::to_string(hi));
            }
            out_.push_back('}');
            out_.append(lazy);
            return true;
        }
        if (captures_ && has_capture(child)) return fail("repetition count too large for a repeated capture group");
        const std::string atom = out_.substr(mark);
        out_.resize(mark);
        counted(atom, lo, false, chunk, lazy);
        if (!bounded) {
            out_.append(atom);
            out_.push_back('*');
            out_.append(lazy);
        } else {
            counted(atom, hi - lo, true, chunk, lazy);
        }
        if (out_.size() > kMaxEngineText) return too_large_text();
        return true;
    }
};

struct Pcre2Thread {
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jit_stack = nullptr;

    Pcre2Thread() {
        data = pcre2_match_data_create(1, nullptr);
        context = pcre2_match_context_create(nullptr);
        if (context != nullptr) {
            pcre2_set_depth_limit(context, kDepthLimit);
            pcre2_set_heap_limit(context, kHeapLimitKiB);
            jit_stack = pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr);
            if (jit_stack != nullptr) pcre2_jit_stack_assign(context, nullptr, jit_stack);
        }
    }
    ~Pcre2Thread() {
        if (data != nullptr) pcre2_match_data_free(data);
        if (context != nullptr) pcre2_match_context_free(context);
        if (jit_stack != nullptr) pcre2_jit_stack_free(jit_stack);
    }
    Pcre2Thread(const Pcre2Thread&) = delete;
    Pcre2Thread& operator=(const Pcre2Thread&) = delete;
};

Pcre2Thread& pcre2_thread() {
    thread_local Pcre2Thread state;
    return state;
}

uint64_t automaton_memory(std::optional<uint64_t> size_limit, std::optional<uint64_t> dfa_size_limit) {
    // The program gets two thirds of the budget; the rest is the lazy automaton's cache.
    const uint64_t program = size_limit.value_or(kDefaultProgramBudget);
    const uint64_t cache = dfa_size_limit.value_or(kDefaultCacheBudget);
    return std::max<uint64_t>(std::min<uint64_t>(program / 2 * 3 + cache, uint64_t{1} << 40), 1);
}

Result<std::unique_ptr<re2::RE2>, RegexError> compile_re2(const std::string& text, std::optional<uint64_t> size_limit,
                                                          std::optional<uint64_t> dfa_size_limit) {
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_never_capture(true);
    options.set_max_mem(static_cast<int64_t>(automaton_memory(size_limit, dfa_size_limit)));
    auto re = std::make_unique<re2::RE2>(text, options);
    if (re->error_code() == re2::RE2::ErrorPatternTooLarge || re->error_code() == re2::RE2::ErrorRepeatSize) {
        return make_unexpected(too_large_error());
    }
    if (!re->ok()) return make_unexpected(compile_error(re->error()));
    if (size_limit && static_cast<uint64_t>(re->ProgramSize()) * kInstructionBytes > *size_limit) {
        return make_unexpected(too_large_error());
    }
    return re;
}

Result<pcre2_code*, RegexError> compile_pcre2(const std::string& text, std::optional<uint64_t> size_limit) {
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context == nullptr) return make_unexpected(compile_error("out of memory"));
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    pcre2_set_bsr(context, PCRE2_BSR_UNICODE);
    pcre2_set_parens_nest_limit(context, 1000);
    int code_error = 0;
    PCRE2_SIZE offset = 0;
    const uint32_t options = PCRE2_UTF | PCRE2_NO_UTF_CHECK | PCRE2_MATCH_UNSET_BACKREF | PCRE2_NEVER_BACKSLASH_C;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), options, &code_error,
                                     &offset, context);
    pcre2_compile_context_free(context);
    if (code == nullptr && (code_error == PCRE2_ERROR_PATTERN_TOO_LARGE || code_error == PCRE2_ERROR_PATTERN_TOO_COMPLICATED)) {
        return make_unexpected(too_large_error());
    }
    if (code == nullptr) {
        PCRE2_UCHAR buf[256];
        const int len = pcre2_get_error_message(code_error, buf, sizeof buf);
        return make_unexpected(compile_error(len > 0 ? std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(len))
                                                     : std::string("unknown error")));
    }
    if (size_limit) {
        size_t size = 0;
        pcre2_pattern_info(code, PCRE2_INFO_SIZE, &size);
        if (size > *size_limit) {
            pcre2_code_free(code);
            return make_unexpected(too_large_error());
        }
    }
    // Without the JIT the interpreter runs the pattern under the same limits.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    return code;
}

RegexError refusal(const Analysis& a) { return detail::refusal_of(a); }

}  // namespace

std::string RegexError::message() const {
    switch (kind_) {
        case RegexErrorKind::Parse:
            return "Parsing error at position " + std::to_string(position_) + ": " + detail_;
        case RegexErrorKind::Compile:
        case RegexErrorKind::TooLarge:
            return "Error compiling regex: " + detail_;
        case RegexErrorKind::BacktrackLimitExceeded:
            return "Error executing regex: Max limit for backtracking count exceeded";
        case RegexErrorKind::StackLimitExceeded:
            return "Error executing regex: Max stack size exceeded for backtracking";
        case RegexErrorKind::EvaluationFailed:
            return "Error executing regex: " + (detail_.empty() ? std::string("evaluation failed") : detail_);
    }
    return {};
}

std::string pattern_evaluation_failed_message(std::string_view pattern) {
    std::string out = "Regex engine failed to evaluate pattern '";
    out.append(pattern);
    out.push_back('\'');
    return out;
}

AutomatonRegex::AutomatonRegex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AutomatonRegex::~AutomatonRegex() = default;

BacktrackingMatch AutomatonRegex::match(std::string_view text) const { return impl_->match(text); }

BacktrackingRegex::BacktrackingRegex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
BacktrackingRegex::~BacktrackingRegex() = default;

bool BacktrackingRegex::backtracks() const noexcept { return impl_->code != nullptr; }

BacktrackingMatch BacktrackingRegex::match(std::string_view text) const { return impl_->match(text); }

BacktrackingMatch Program::match(std::string_view text) const {
    if (run) return {run->is_match(text) ? MatchOutcome::Matched : MatchOutcome::NotMatched, RegexErrorKind::EvaluationFailed};
    if (re) {
        const bool found = re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *re);
        return {found ? MatchOutcome::Matched : MatchOutcome::NotMatched, RegexErrorKind::EvaluationFailed};
    }
    Pcre2Thread& state = pcre2_thread();
    if (state.data == nullptr || state.context == nullptr) return {MatchOutcome::EvaluationFailed, RegexErrorKind::EvaluationFailed};
    pcre2_set_match_limit(state.context, static_cast<uint32_t>(std::min<uint64_t>(match_limit, UINT32_MAX)));
    // The machine refuses a null subject even when it is empty.
    const char* subject = text.data() != nullptr ? text.data() : "";
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), text.size(), 0, 0, state.data,
                               state.context);
    if (rc >= 0) return {MatchOutcome::Matched, RegexErrorKind::EvaluationFailed};
    switch (rc) {
        case PCRE2_ERROR_NOMATCH:
            return {MatchOutcome::NotMatched, RegexErrorKind::EvaluationFailed};
        case PCRE2_ERROR_MATCHLIMIT:
            return {MatchOutcome::EngineError, RegexErrorKind::BacktrackLimitExceeded};
        case PCRE2_ERROR_DEPTHLIMIT:
        case PCRE2_ERROR_HEAPLIMIT:
        case PCRE2_ERROR_JIT_STACKLIMIT:
            return {MatchOutcome::EngineError, RegexErrorKind::StackLimitExceeded};
        default:
            return {MatchOutcome::EvaluationFailed, RegexErrorKind::EvaluationFailed};
    }
}

Result<bool, RegexError> BacktrackingRegex::is_match(std::string_view text) const {
    const BacktrackingMatch m = match(text);
    switch (m.outcome) {
        case MatchOutcome::Matched: return true;
        case MatchOutcome::NotMatched: return false;
        case MatchOutcome::EngineError: return make_unexpected(RegexError(m.error));
        case MatchOutcome::EvaluationFailed: break;
    }
    return make_unexpected(RegexError(RegexErrorKind::EvaluationFailed));
}

namespace detail {

RegexError refusal_of(const Analysis& a) {
    if (a.count_too_large) return too_large_error();
    if (a.kind == TranslationKind::Untranslatable) return RegexError(RegexErrorKind::Parse, a.error_offset, a.error);
    return compile_error(a.error);
}

Result<std::string, RegexError> engine_text(const Analysis& a, bool backtracking_machine) {
    if (!a.engine_ok) return make_unexpected(refusal(a));
    std::string out;
    Emitter emitter(a.tree, backtracking_machine, out, std::numeric_limits<uint64_t>::max());
    if (!emitter.emit(a.tree.root, 1)) return make_unexpected(compile_error(emitter.error));
    return out;
}

}  // namespace detail

namespace {

// The most instructions the automaton can be given under the limits, as a bound for the
// estimate, which counts large classes at up to twice what they compile to.
uint64_t automaton_ceiling(std::optional<uint64_t> size_limit, std::optional<uint64_t> dfa_size_limit) {
    uint64_t instructions = automaton_memory(size_limit, dfa_size_limit) / 3 * 2 / 32;
    if (size_limit) instructions = std::min(instructions, *size_limit / kInstructionBytes);
    return add_sat(mul_sat(instructions, 2), 64);
}

// The automaton's program for the pattern, when its estimated size stays within `budget`;
// TooLarge when it does not or the engine finds it too large.
Result<std::unique_ptr<re2::RE2>, RegexError> automaton_program(const Analysis& a, uint64_t budget,
                                                                std::optional<uint64_t> size_limit,
                                                                std::optional<uint64_t> dfa_size_limit) {
    std::string text;
    Emitter emitter(a.tree, false, text, budget);
    if (!emitter.emit(a.tree.root, 1)) {
        return make_unexpected(emitter.too_large() ? too_large_error() : compile_error(emitter.error));
    }
    return compile_re2(text, size_limit, dfa_size_limit);
}

// Builds the program of a translatable pattern: the class scan when the pattern is one; else the
// automaton when it may take the pattern and compiles it quickly (up to its size limits when the
// options chose it, for its linear-time matching); else the backtracking machine; else the
// automaton up to its size limits. Each estimate is made while writing the engine's text, so a
// pattern too large for an engine costs time linear in its own text, never in its counts.
Result<Ok, RegexError> build_program(const Analysis& a, Program& program, bool automaton_chosen,
                                     std::optional<uint64_t> size_limit, std::optional<uint64_t> dfa_size_limit) {
    if (!a.engine_ok) return make_unexpected(refusal(a));
    const bool machine_only = a.tree.has_lookaround || a.tree.has_backref;
    const uint64_t ceiling = automaton_ceiling(size_limit, dfa_size_limit);
    if (!machine_only) {
        if (auto run = detail::class_run_of(a); run && (!size_limit || run->size_bytes() <= *size_limit)) {
            program.run = std::move(*run);
            return Ok{};
        }
        const uint64_t first_budget = automaton_chosen ? ceiling : std::min(kAutomatonBudget, ceiling);
        auto re = automaton_program(a, first_budget, size_limit, dfa_size_limit);
        if (re) {
            program.re = std::move(*re);
            return Ok{};
        }
        if (re.error().kind() != RegexErrorKind::TooLarge) return make_unexpected(std::move(re).error());
    }
    const uint64_t budget = std::min(kMachineBudget, add_sat(mul_sat(size_limit.value_or(kMachineLimit), 4), 64));
    std::string text;
    Emitter emitter(a.tree, true, text, budget);
    if (emitter.emit(a.tree.root, 1)) {
        auto code = compile_pcre2(text, size_limit);
        if (code) {
            program.code = *code;
            return Ok{};
        }
        if (code.error().kind() != RegexErrorKind::TooLarge) return make_unexpected(std::move(code).error());
    } else if (!emitter.too_large()) {
        return make_unexpected(compile_error(emitter.error));
    }
    if (!machine_only && !automaton_chosen && ceiling > kAutomatonBudget) {
        auto re = automaton_program(a, ceiling, size_limit, dfa_size_limit);
        if (!re) return make_unexpected(std::move(re).error());
        program.re = std::move(*re);
        return Ok{};
    }
    return make_unexpected(too_large_error());
}

}  // namespace

namespace detail {

Result<std::shared_ptr<const AutomatonRegex>, RegexError> build_automaton_regex(const Analysis& a,
                                                                               const AutomatonLimits& limits) {
    if (a.engine_ok && (a.tree.has_lookaround || a.tree.has_backref)) {
        return make_unexpected(compile_error("look-around, including look-ahead and look-behind, is not supported"));
    }
    auto impl = std::make_unique<AutomatonRegex::Impl>();
    auto built = build_program(a, *impl, true, limits.size_limit, limits.dfa_size_limit);
    if (!built) return make_unexpected(std::move(built).error());
    return EngineAccess::automaton(std::move(impl));
}

Result<std::shared_ptr<const BacktrackingRegex>, RegexError> build_backtracking_regex(const Analysis& a,
                                                                                     const BacktrackingLimits& limits) {
    auto impl = std::make_unique<BacktrackingRegex::Impl>();
    impl->match_limit = limits.backtrack_limit.value_or(kDefaultBacktrackLimit);
    auto built = build_program(a, *impl, false, limits.size_limit, limits.dfa_size_limit);
    if (!built) return make_unexpected(std::move(built).error());
    return EngineAccess::backtracking(std::move(impl));
}

}  // namespace detail

Result<std::shared_ptr<const AutomatonRegex>, RegexError> build_automaton_regex(std::string_view pattern,
                                                                               const AutomatonLimits& limits) {
    return detail::build_automaton_regex(*detail::analyze_pattern(pattern), limits);
}

Result<std::shared_ptr<const BacktrackingRegex>, RegexError> build_backtracking_regex(std::string_view pattern,
                                                                                     const BacktrackingLimits& limits) {
    return detail::build_backtracking_regex(*detail::analyze_pattern(pattern), limits);
}

}  // namespace deririrore::regex
