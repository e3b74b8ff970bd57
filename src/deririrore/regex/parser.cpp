#include "deririrore/regex/parser.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "deririrore/regex/unicode.hpp"

namespace deririrore::regex::detail {
namespace {

bool is_ascii_letter(char32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool is_digit(char32_t c) { return c >= '0' && c <= '9'; }
bool is_hex(char32_t c) { return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

bool is_meta(char32_t c) {
    switch (c) {
        case '\\': case '.': case '+': case '*': case '?': case '(': case ')': case '|': case '[':
        case ']': case '{': case '}': case '^': case '$': case '#': case '&': case '-': case '~':
            return true;
        default:
            return false;
    }
}

bool is_escapeable(char32_t c) {
    if (is_meta(c)) return true;
    // Beyond ASCII, as the syntax scanner reads it: any character that is neither a letter nor a
    // number stands for itself.
    if (c >= 0x80) return !is_alphabetic(c) && !is_numeric(c);
    if (is_digit(c) || is_ascii_letter(c)) return false;
    return c != '<' && c != '>';
}

// ECMA-262 group names are identifiers, read by the same rules as the syntax scanner's.
bool is_capture_char(char32_t c, bool first) {
    if (c < 0x80) return is_ascii_letter(c) || c == '$' || c == '_' || (!first && is_digit(c));
    return is_alphabetic(c) || (!first && (is_numeric(c) || c == 0x200C || c == 0x200D));
}

// The class pre-pass: collects the positions inside classes that need a backslash before them.
// Returns true and fills `out` when at least one position was collected.
bool class_prepass(std::string_view text, const std::vector<char32_t>& c, const std::vector<uint32_t>& off,
                   std::string& out) {
    enum class Range { None, Open, Dash };
    std::vector<uint32_t> collected;
    const size_t n = c.size();
    bool in_class = false;
    bool escape = false;
    bool class_start = false;
    bool after_perl = false;
    Range range = Range::None;
    auto item = [&] { range = range == Range::Dash ? Range::None : Range::Open; };
    auto at = [&](size_t i) -> char32_t { return i < n ? c[i] : 0; };
    for (size_t i = 0; i < n; ++i) {
        const char32_t ch = c[i];
        if (escape) {
            escape = false;
            if (in_class) {
                item();
                after_perl = ch == 'd' || ch == 'D' || ch == 's' || ch == 'S' || ch == 'w' || ch == 'W';
            }
            continue;
        }
        if (!in_class) {
            if (ch == '\\') {
                escape = true;
            } else if (ch == '[') {
                in_class = true;
                class_start = true;
                after_perl = false;
                range = Range::None;
            }
            continue;
        }
        if (class_start) {
            class_start = false;
            if (ch == '^') continue;
        }
        if (ch == '\\') {
            escape = true;
            continue;
        }
        if (ch == ']') {
            in_class = false;
            continue;
        }
        const bool was_perl = after_perl;
        after_perl = false;
        if (ch == '[') {
            collected.push_back(off[i]);
            item();
        } else if (was_perl && ch == '-' && at(i + 1) == '-') {
            collected.push_back(off[i]);
            collected.push_back(off[i + 1]);
            ++i;
            range = Range::Open;
        } else if ((ch == '&' || ch == '~') && at(i + 1) == ch) {
            collected.push_back(off[i]);
            collected.push_back(off[i + 1]);
            ++i;
            range = Range::Open;
        } else if (ch == '-' && range == Range::Open && at(i + 1) != ']') {
            range = Range::Dash;
        } else if (ch == '-') {
            if ((i > 0 && c[i - 1] == '-') || at(i + 1) == '-') collected.push_back(off[i]);
            item();
        } else {
            item();
        }
    }
    if (collected.empty()) return false;
    out.clear();
    out.reserve(text.size() + collected.size());
    size_t prev = 0;
    for (uint32_t p : collected) {
        out.append(text.substr(prev, p - prev));
        out.push_back('\\');
        prev = p;
    }
    out.append(text.substr(prev));
    return true;
}

enum class EditKind : uint8_t { Repair, Perl };
struct Edit {
    uint32_t start;
    uint32_t end;
    EditKind kind;
    uint8_t perl;
    bool negated;
    char32_t cp;
};

enum class Status { Ok, TranslateError, EngineError, Reparse };

enum class PrimKind : uint8_t { Literal, Assertion, Dot, Unicode, Perl, BackRef };
struct Primitive {
    PrimKind kind = PrimKind::Literal;
    uint8_t sub = 0;
    bool negated = false;
    char32_t cp = 0;
    uint32_t start = 0;  // char indices
    uint32_t end = 0;
    uint32_t index = 0;  // unicode spec, or back-reference number
    std::string name;
};

class Parser {
public:
    Parser(const std::vector<char32_t>& c, const std::vector<uint32_t>& off, Tree& tree)
        : c_(c), off_(off), n_(c.size()), t_(tree) {}

    Status run();

    bool stopped = false;
    uint32_t stop_offset = 0;
    bool bell = false;
    bool special_boundary = false;
    bool count_too_large = false;  // a repetition count above 4294967295 ended the parse
    std::vector<Edit> edits;
    uint32_t error_offset = 0;
    std::string error;
    size_t repair_at = 0;  // char index of the backslash of a repair that needs a new parse
    char32_t repair_cp = 0;

private:
    struct ConcatF {
        uint32_t start = 0;
        std::vector<uint32_t> items;
    };
    struct GroupF {
        bool is_alt = false;
        ConcatF prior;
        uint32_t node = 0;
        bool old_ws = false;
        uint8_t old_flags = 0;
        std::vector<uint32_t> alts;
    };
    struct UnionF {
        uint32_t start = 0;
        std::vector<uint32_t> items;
    };
    struct ClassF {
        bool is_op = false;
        SetKind op = SetKind::Empty;
        uint32_t lhs = 0;
        UnionF parent;
        uint32_t bracket = 0;  // set node of the opened class
    };

    const std::vector<char32_t>& c_;
    const std::vector<uint32_t>& off_;
    size_t n_;
    Tree& t_;
    size_t pos_ = 0;
    bool ws_ = false;
    bool engine_ = false;
    uint8_t flags_ = kUnicode;
    bool reparse_ = false;
    std::vector<GroupF> groups_;
    std::vector<ClassF> classes_;
    // Group names by open group, as ECMA-262 scopes them: a name may repeat only in another
    // alternative, never where both groups would stand in one alternative once closed.
    struct NameFrame {
        std::vector<std::string> current;
        std::vector<std::string> earlier;
    };
    std::vector<NameFrame> name_frames_{1};
    std::unordered_map<std::string, uint32_t> in_current_;
    void open_name_frame() { name_frames_.emplace_back(); }
    void close_name_frame() {
        NameFrame closed = std::move(name_frames_.back());
        name_frames_.pop_back();
        NameFrame& outer = name_frames_.back();
        for (auto& name : closed.earlier) {
            ++in_current_[name];
            outer.current.push_back(std::move(name));
        }
        for (auto& name : closed.current) outer.current.push_back(std::move(name));
    }
    void alternate_names() {
        NameFrame& f = name_frames_.back();
        for (auto& name : f.current) {
            if (--in_current_[name] == 0) in_current_.erase(name);
            f.earlier.push_back(std::move(name));
        }
        f.current.clear();
    }

    bool eof() const { return pos_ >= n_; }
    char32_t ch() const { return pos_ < n_ ? c_[pos_] : 0; }
    uint32_t off(size_t i) const { return off_[std::min(i, n_)]; }
    bool bump() {
        if (pos_ >= n_) return false;
        ++pos_;
        return pos_ < n_;
    }
    bool bump_if(std::string_view s) {
        if (pos_ + s.size() > n_) return false;
        for (size_t k = 0; k < s.size(); ++k) {
            if (c_[pos_ + k] != static_cast<char32_t>(static_cast<unsigned char>(s[k]))) return false;
        }
        pos_ += s.size();
        return true;
    }
    bool starts_with(std::string_view s) const {
        if (pos_ + s.size() > n_) return false;
        for (size_t k = 0; k < s.size(); ++k) {
            if (c_[pos_ + k] != static_cast<char32_t>(static_cast<unsigned char>(s[k]))) return false;
        }
        return true;
    }
    void bump_space() {
        if (!ws_) return;
        while (!eof()) {
            if (is_white_space(ch())) {
                bump();
            } else if (ch() == '#') {
                bump();
                while (!eof()) {
                    const char32_t x = ch();
                    bump();
                    if (x == '\n') break;
                }
            } else {
                break;
            }
        }
    }
    bool bump_and_bump_space() {
        if (!bump()) return false;
        bump_space();
        return !eof();
    }
    bool peek(char32_t& out) const {
        if (pos_ + 1 >= n_) return false;
        out = c_[pos_ + 1];
        return true;
    }
    bool peek_is(char32_t want) const {
        char32_t x;
        return peek(x) && x == want;
    }
    // Mirrors the engines' syntax: in whitespace-insensitive mode the look-ahead skips white space
    // and a '#', then reports the next character.
    bool peek_space_is(char32_t want) const {
        if (!ws_) return peek_is(want);
        if (eof()) return false;
        size_t found = pos_ + 1;
        bool in_comment = false;
        for (size_t q = pos_ + 1; q < n_; ++q) {
            const char32_t x = c_[q];
            if (is_white_space(x)) continue;
            if (!in_comment && x == '#') {
                in_comment = true;
            } else if (in_comment && x == '\n') {
                in_comment = false;
            } else {
                found = q;
                break;
            }
        }
        return found < n_ && c_[found] == want;
    }

    bool fail(size_t at, const char* message) {
        error_offset = off(at);
        error = message;
        return false;
    }

    void enter_stop(size_t at) {
        if (engine_) return;
        engine_ = true;
        stopped = true;
        stop_offset = off(at);
        edits.erase(std::remove_if(edits.begin(), edits.end(), [](const Edit& e) { return e.kind == EditKind::Perl; }),
                    edits.end());
    }

    uint32_t add_node(NodeKind kind, size_t start, size_t end) {
        Node node;
        node.kind = kind;
        node.flags = flags_;
        node.start = off(start);
        node.end = off(end);
        t_.nodes.push_back(std::move(node));
        return static_cast<uint32_t>(t_.nodes.size() - 1);
    }
    uint32_t add_set(SetKind kind, size_t start, size_t end) {
        SetNode s;
        s.kind = kind;
        s.start = off(start);
        s.end = off(end);
        t_.sets.push_back(std::move(s));
        return static_cast<uint32_t>(t_.sets.size() - 1);
    }
    // Positions of nodes are kept as byte offsets; the parser works on char indices, so the
    // starts of pending items are remembered in bytes and converted back only for spans.
    uint32_t into_ast(ConcatF&& concat, size_t end_char) {
        if (concat.items.empty()) {
            Node node;
            node.kind = NodeKind::Empty;
            node.flags = flags_;
            node.start = concat.start;
            node.end = off(end_char);
            t_.nodes.push_back(std::move(node));
            return static_cast<uint32_t>(t_.nodes.size() - 1);
        }
        if (concat.items.size() == 1) return concat.items[0];
        Node node;
        node.kind = NodeKind::Concat;
        node.flags = flags_;
        node.start = concat.start;
        node.end = off(end_char);
        node.children = std::move(concat.items);
        t_.nodes.push_back(std::move(node));
        return static_cast<uint32_t>(t_.nodes.size() - 1);
    }
    uint32_t alternation(std::vector<uint32_t>&& alts) {
        Node node;
        node.kind = NodeKind::Alternation;
        node.flags = flags_;
        node.start = t_.nodes[alts.front()].start;
        node.end = t_.nodes[alts.back()].end;
        node.children = std::move(alts);
        t_.nodes.push_back(std::move(node));
        return static_cast<uint32_t>(t_.nodes.size() - 1);
    }

    void apply_flags(const std::vector<std::pair<bool, uint8_t>>& items, bool& ws_state, uint8_t& flags) {
        bool negate = false;
        for (const auto& [is_negation, bit] : items) {
            if (is_negation) {
                negate = true;
                continue;
            }
            if (negate) {
                flags = static_cast<uint8_t>(flags & ~bit);
            } else {
                flags = static_cast<uint8_t>(flags | bit);
            }
            if (bit == kIgnoreWhitespace) ws_state = !negate;
        }
    }

    bool parse_flags(std::vector<std::pair<bool, uint8_t>>& items);
    int32_t hex4(size_t at) const;
    bool group_name_escape(char32_t& value);
    bool read_group_name(std::string& name);
    bool parse_capture_name(std::string& name);
    bool parse_capture_name_ref(std::string& name);
    bool push_group(ConcatF& concat);
    bool pop_group(ConcatF& concat);
    void push_alternate(ConcatF& concat);
    bool pop_group_end(ConcatF&& concat, uint32_t& root);
    bool quantifiable(const ConcatF& concat);
    bool parse_uncounted(ConcatF& concat);
    bool parse_counted(ConcatF& concat);
    int parse_decimal(uint32_t& value);
    bool parse_primitive(Primitive& p);
    bool parse_escape(Primitive& p, bool in_class);
    bool parse_hex(Primitive& p, size_t start);
    bool parse_unicode_class(Primitive& p, size_t start);
    bool parse_special_word_boundary(size_t wb_start, bool& found);
    uint32_t primitive_node(Primitive&& p);
    bool parse_set_class(uint32_t& node);
    bool parse_set_class_open(UnionF& nested, uint32_t& bracket);
    bool parse_set_class_range(uint32_t& item);
    bool parse_set_class_item(Primitive& p);
    bool into_set_item(Primitive&& p, uint32_t& item);
    bool maybe_ascii_class(uint32_t& item);
    uint32_t into_item(UnionF&& u);
    uint32_t pop_class_op(uint32_t rhs);
    bool unclosed_class() {
        for (auto it = classes_.rbegin(); it != classes_.rend(); ++it) {
            if (!it->is_op) {
                error_offset = t_.sets[it->bracket].start;
                error = "unclosed character class";
                return false;
            }
        }
        return fail(pos_, "unclosed character class");
    }
};

Status Parser::run() {
    ConcatF concat;
    concat.start = off(0);
    bool ok = true;
    while (ok) {
        bump_space();
        if (eof()) break;
        switch (ch()) {
            case '(':
                ok = push_group(concat);
                break;
            case ')':
                ok = pop_group(concat);
                break;
            case '|':
                push_alternate(concat);
                break;
            case '[': {
                uint32_t node = 0;
                ok = parse_set_class(node);
                if (ok) concat.items.push_back(node);
                break;
            }
            case '?':
            case '*':
            case '+':
                ok = parse_uncounted(concat);
                break;
            case '{':
                ok = parse_counted(concat);
                break;
            default: {
                Primitive p;
                ok = parse_primitive(p);
                if (ok) concat.items.push_back(primitive_node(std::move(p)));
                break;
            }
        }
    }
    if (ok) {
        uint32_t root = 0;
        ok = pop_group_end(std::move(concat), root);
        if (ok) t_.root = root;
    }
    if (reparse_) return Status::Reparse;
    if (!ok) return engine_ ? Status::EngineError : Status::TranslateError;
    return Status::Ok;
}

bool Parser::parse_flags(std::vector<std::pair<bool, uint8_t>>& items) {
    bool last_negation = false;
    bool seen_negation = false;
    uint8_t seen = 0;
    while (ch() != ':' && ch() != ')') {
        if (ch() == '-') {
            if (seen_negation) return fail(pos_, "repeated negation in flags");
            seen_negation = true;
            last_negation = true;
            items.emplace_back(true, 0);
        } else {
            last_negation = false;
            uint8_t bit;
            switch (ch()) {
                case 'i': bit = kCaseInsensitive; break;
                case 'm': bit = kMultiLine; break;
                case 's': bit = kDotAll; break;
                case 'U': bit = kSwapGreed; break;
                case 'u': bit = kUnicode; break;
                case 'R': bit = kCrlf; break;
                case 'x': bit = kIgnoreWhitespace; break;
                default: return fail(pos_, "unrecognized flag");
            }
            if (seen & bit) return fail(pos_, "duplicate flag");
            seen = static_cast<uint8_t>(seen | bit);
            items.emplace_back(false, bit);
        }
        if (!bump()) return fail(pos_, "expected flag but got end of pattern");
    }
    // "(?i-:...)" removes nothing and is a modifier group all the same; "(?-:...)" names no flag.
    if (last_negation && (ch() != ':' || seen == 0)) return fail(pos_, "dangling flag negation");
    return true;
}

// The value of the four hexadecimal digits at `at`, or -1.
int32_t Parser::hex4(size_t at) const {
    if (at + 4 > n_) return -1;
    int32_t v = 0;
    for (size_t k = at; k < at + 4; ++k) {
        if (!is_hex(c_[k])) return -1;
        v = v * 16 + static_cast<int32_t>(is_digit(c_[k]) ? c_[k] - '0' : (c_[k] | 0x20) - 'a' + 10);
    }
    return v;
}

// A "\u" escape in a group name, from the character after the 'u': braces, or four digits with
// a surrogate pair joined. A lone surrogate is no name character.
bool Parser::group_name_escape(char32_t& value) {
    if (ch() == '{') {
        uint32_t v = 0;
        size_t count = 0;
        ++pos_;
        while (!eof() && is_hex(ch())) {
            v = std::min<uint32_t>(v * 16 + (is_digit(ch()) ? ch() - '0' : (ch() | 0x20) - 'a' + 10), 0x110000);
            ++pos_;
            ++count;
        }
        if (count == 0 || eof() || ch() != '}' || v > 0x10FFFF) return false;
        ++pos_;
        value = v;
    } else {
        const int32_t lead = hex4(pos_);
        if (lead < 0) return false;
        pos_ += 4;
        value = static_cast<char32_t>(lead);
        if (lead >= 0xD800 && lead <= 0xDBFF && starts_with("\\u")) {
            const int32_t trail = hex4(pos_ + 2);
            if (trail >= 0xDC00 && trail <= 0xDFFF) {
                pos_ += 6;
                value = static_cast<char32_t>(0x10000 + ((lead - 0xD800) << 10) + (trail - 0xDC00));
            }
        }
    }
    return value < 0xD800 || value > 0xDFFF;
}

// A group name up to and past its '>'; names are compared after their escapes are decoded.
bool Parser::read_group_name(std::string& name) {
    name.clear();
    const size_t start = pos_;
    for (bool first = true;; first = false) {
        if (eof()) return fail(pos_, "unclosed capture group name");
        if (ch() == '>') break;
        const size_t at = pos_;
        char32_t c = ch();
        ++pos_;
        if (c == '\\' && (eof() || ch() != 'u')) return fail(at, "invalid capture group character");
        if (c == '\\') {
            ++pos_;
            if (!group_name_escape(c)) return fail(at, "invalid escape in capture group name");
        }
        if (!is_capture_char(c, first)) return fail(at, "invalid capture group character");
        append_utf8(name, c);
    }
    if (pos_ == start) return fail(pos_, "empty capture group name");
    ++pos_;
    return true;
}

bool Parser::parse_capture_name(std::string& name) {
    const size_t start = pos_;
    if (!read_group_name(name)) return false;
    if (in_current_.count(name) != 0) return fail(start, "duplicate capture group name");
    ++in_current_[name];
    name_frames_.back().current.push_back(name);
    return true;
}

bool Parser::parse_capture_name_ref(std::string& name) { return read_group_name(name); }

bool Parser::push_group(ConcatF& concat) {
    const size_t open = pos_;
    bump();
    bump_space();
    GroupKind look = GroupKind::Capture;
    size_t look_len = 0;
    if (starts_with("?=")) {
        look = GroupKind::LookAhead;
        look_len = 2;
    } else if (starts_with("?!")) {
        look = GroupKind::NegLookAhead;
        look_len = 2;
    } else if (starts_with("?<=")) {
        look = GroupKind::LookBehind;
        look_len = 3;
    } else if (starts_with("?<!")) {
        look = GroupKind::NegLookBehind;
        look_len = 3;
    }
    GroupF frame;
    frame.old_ws = ws_;
    frame.old_flags = flags_;
    uint32_t node = 0;
    if (look_len != 0) {
        enter_stop(open);
        pos_ += look_len;
        node = add_node(NodeKind::Group, open, pos_);
        t_.nodes[node].sub = static_cast<uint8_t>(look);
        t_.has_lookaround = true;
    } else if (bump_if("?<")) {
        const uint32_t index = ++t_.capture_count;
        std::string name;
        if (!parse_capture_name(name)) return false;
        node = add_node(NodeKind::Group, open, pos_);
        t_.nodes[node].sub = static_cast<uint8_t>(GroupKind::Capture);
        t_.nodes[node].index = index;
        t_.nodes[node].name = name;
        t_.capture_names.emplace_back(std::move(name), index);
    } else if (bump_if("?")) {
        if (eof()) return fail(open, "unclosed group");
        std::vector<std::pair<bool, uint8_t>> items;
        const size_t inner = pos_;
        if (!parse_flags(items)) return false;
        const char32_t end = ch();
        bump();
        if (end == ')') {
            if (items.empty()) return fail(inner, "repetition operator missing expression");
            const uint32_t set = add_node(NodeKind::SetFlags, open, pos_);
            concat.items.push_back(set);
            apply_flags(items, ws_, flags_);
            return true;
        }
        node = add_node(NodeKind::Group, open, pos_);
        t_.nodes[node].sub = static_cast<uint8_t>(GroupKind::NonCapturing);
        frame.prior = std::move(concat);
        frame.node = node;
        groups_.push_back(std::move(frame));
        open_name_frame();
        apply_flags(items, ws_, flags_);
        concat = ConcatF{off(pos_), {}};
        return true;
    } else {
        const uint32_t index = ++t_.capture_count;
        node = add_node(NodeKind::Group, open, pos_);
        t_.nodes[node].sub = static_cast<uint8_t>(GroupKind::Capture);
        t_.nodes[node].index = index;
    }
    frame.prior = std::move(concat);
    frame.node = node;
    groups_.push_back(std::move(frame));
    open_name_frame();
    concat = ConcatF{off(pos_), {}};
    return true;
}

bool Parser::pop_group(ConcatF& concat) {
    if (groups_.empty()) return fail(pos_, "unopened group");
    std::vector<uint32_t> alts;
    bool has_alt = false;
    if (groups_.back().is_alt) {
        alts = std::move(groups_.back().alts);
        has_alt = true;
        groups_.pop_back();
        if (groups_.empty() || groups_.back().is_alt) return fail(pos_, "unopened group");
    }
    GroupF frame = std::move(groups_.back());
    groups_.pop_back();
    close_name_frame();
    ws_ = frame.old_ws;
    const size_t close = pos_;
    uint32_t child;
    if (has_alt) {
        alts.push_back(into_ast(std::move(concat), close));
        child = alternation(std::move(alts));
    } else {
        child = into_ast(std::move(concat), close);
    }
    flags_ = frame.old_flags;
    bump();
    Node& node = t_.nodes[frame.node];
    node.end = off(pos_);
    node.children.push_back(child);
    concat = std::move(frame.prior);
    concat.items.push_back(frame.node);
    return true;
}

void Parser::push_alternate(ConcatF& concat) {
    alternate_names();
    const uint32_t item = into_ast(std::move(concat), pos_);
    if (!groups_.empty() && groups_.back().is_alt) {
        groups_.back().alts.push_back(item);
    } else {
        GroupF frame;
        frame.is_alt = true;
        frame.alts.push_back(item);
        groups_.push_back(std::move(frame));
    }
    bump();
    concat = ConcatF{off(pos_), {}};
}

bool Parser::pop_group_end(ConcatF&& concat, uint32_t& root) {
    if (groups_.empty()) {
        root = into_ast(std::move(concat), pos_);
        return true;
    }
    if (!groups_.back().is_alt) {
        error_offset = t_.nodes[groups_.back().node].start;
        error = "unclosed group";
        return false;
    }
    std::vector<uint32_t> alts = std::move(groups_.back().alts);
    groups_.pop_back();
    alts.push_back(into_ast(std::move(concat), pos_));
    root = alternation(std::move(alts));
    if (!groups_.empty()) {
        error_offset = t_.nodes[groups_.back().node].start;
        error = "unclosed group";
        return false;
    }
    return true;
}

// ECMA-262 quantifies atoms only: a quantifier, an assertion or a look-around before one is a
// syntax error there, while the engines would repeat them.
bool Parser::quantifiable(const ConcatF& concat) {
    if (concat.items.empty()) return fail(pos_, "repetition operator missing expression");
    const Node& last = t_.nodes[concat.items.back()];
    switch (last.kind) {
        case NodeKind::Empty:
        case NodeKind::SetFlags:
            return fail(pos_, "repetition operator missing expression");
        case NodeKind::Repetition:
            return fail(pos_, "repetition operator after a repetition");
        case NodeKind::Assertion: {
            const auto kind = static_cast<AssertionKind>(last.sub);
            if (kind == AssertionKind::AngleStart || kind == AssertionKind::AngleEnd) return true;
            return fail(pos_, "repetition operator after an assertion");
        }
        case NodeKind::Group:
            if (static_cast<GroupKind>(last.sub) > GroupKind::NonCapturing) {
                return fail(pos_, "repetition operator after a look-around");
            }
            return true;
        default:
            return true;
    }
}

bool Parser::parse_uncounted(ConcatF& concat) {
    const char32_t op = ch();
    if (!quantifiable(concat)) return false;
    const uint32_t last = concat.items.back();
    concat.items.pop_back();
    bool greedy = true;
    if (bump() && ch() == '?') {
        greedy = false;
        bump();
    }
    Node node;
    node.kind = NodeKind::Repetition;
    node.flags = flags_;
    node.start = t_.nodes[last].start;
    node.end = off(pos_);
    node.greedy = greedy;
    node.min = op == '+' ? 1 : 0;
    node.has_max = op == '?';
    node.max = 1;
    node.children.push_back(last);
    t_.nodes.push_back(std::move(node));
    concat.items.push_back(static_cast<uint32_t>(t_.nodes.size() - 1));
    return true;
}

// 0: a number; 1: no digits; 2: too large.
int Parser::parse_decimal(uint32_t& value) {
    while (!eof() && is_white_space(ch())) bump();
    uint64_t v = 0;
    bool any = false;
    bool overflow = false;
    while (!eof() && is_digit(ch())) {
        any = true;
        v = v * 10 + (ch() - '0');
        if (v > 0xFFFFFFFFull) {
            overflow = true;
            v = 0xFFFFFFFFull;
        }
        bump_and_bump_space();
    }
    while (!eof() && is_white_space(ch())) bump_and_bump_space();
    if (!any) return 1;
    if (overflow) {
        count_too_large = true;
        return 2;
    }
    value = static_cast<uint32_t>(v);
    return 0;
}

bool Parser::parse_counted(ConcatF& concat) {
    const size_t start = pos_;
    if (!quantifiable(concat)) return false;
    const uint32_t last = concat.items.back();
    concat.items.pop_back();
    if (!bump_and_bump_space()) return fail(start, "unclosed counted repetition");
    uint32_t lo = 0;
    uint32_t hi = 0;
    const int first = parse_decimal(lo);
    if (eof()) return fail(start, "unclosed counted repetition");
    bool has_max = true;
    if (ch() == ',') {
        if (!bump_and_bump_space()) return fail(start, "unclosed counted repetition");
        if (ch() != '}') {
            if (first != 0) return fail(start, first == 1 ? "repetition quantifier expects a valid decimal" : "decimal literal invalid");
            const int second = parse_decimal(hi);
            if (second != 0) return fail(start, second == 1 ? "repetition quantifier expects a valid decimal" : "decimal literal invalid");
        } else {
            if (first != 0) return fail(start, first == 1 ? "repetition quantifier expects a valid decimal" : "decimal literal invalid");
            has_max = false;
        }
    } else {
        if (first != 0) return fail(start, first == 1 ? "repetition quantifier expects a valid decimal" : "decimal literal invalid");
        hi = lo;
    }
    if (eof() || ch() != '}') return fail(start, "unclosed counted repetition");
    bool greedy = true;
    if (bump_and_bump_space() && ch() == '?') {
        greedy = false;
        bump();
    }
    if (has_max && lo > hi) return fail(start, "invalid repetition count range, the start must be <= the end");
    Node node;
    node.kind = NodeKind::Repetition;
    node.flags = flags_;
    node.start = t_.nodes[last].start;
    node.end = off(pos_);
    node.greedy = greedy;
    node.min = lo;
    node.max = hi;
    node.has_max = has_max;
    node.children.push_back(last);
    t_.nodes.push_back(std::move(node));
    concat.items.push_back(static_cast<uint32_t>(t_.nodes.size() - 1));
    return true;
}

bool Parser::parse_primitive(Primitive& p) {
    const char32_t x = ch();
    p.start = static_cast<uint32_t>(pos_);
    if (x == '\\') return parse_escape(p, false);
    // Only the legacy grammar reads a lone ']' or '}' as itself.
    if (x == ']' || x == '}') return fail(pos_, x == ']' ? "unopened character class" : "unopened counted repetition");
    bump();
    p.end = static_cast<uint32_t>(pos_);
    if (x == '.') {
        p.kind = PrimKind::Dot;
    } else if (x == '^' || x == '$') {
        p.kind = PrimKind::Assertion;
        p.sub = static_cast<uint8_t>(x == '^' ? AssertionKind::StartLine : AssertionKind::EndLine);
    } else {
        p.kind = PrimKind::Literal;
        p.sub = static_cast<uint8_t>(LiteralKind::Verbatim);
        p.cp = x;
    }
    return true;
}

bool Parser::parse_escape(Primitive& p, bool in_class) {
    const size_t start = pos_;
    p.start = static_cast<uint32_t>(start);
    if (!bump()) return fail(start, "incomplete escape sequence, reached end of pattern prematurely");
    const char32_t x = ch();
    if (is_digit(x)) {
        enter_stop(start);
        if (x == '0') {
            bump();
            if (!eof() && is_digit(ch())) return fail(start, "invalid escape sequence \\0 followed by a digit");
            p.kind = PrimKind::Literal;
            p.sub = static_cast<uint8_t>(LiteralKind::Null);
            p.cp = 0;
            p.end = static_cast<uint32_t>(pos_);
            return true;
        }
        if (in_class) return fail(start, "back-reference inside a character class");
        uint64_t number = 0;
        while (!eof() && is_digit(ch())) {
            number = std::min<uint64_t>(number * 10 + (ch() - '0'), 0xFFFFFFFFull);
            bump();
        }
        p.kind = PrimKind::BackRef;
        p.index = static_cast<uint32_t>(number);
        p.end = static_cast<uint32_t>(pos_);
        t_.has_backref = true;
        return true;
    }
    if (x == 'x' || x == 'u' || x == 'U') return parse_hex(p, start);
    if (x == 'p' || x == 'P') return parse_unicode_class(p, start);
    if (x == 'd' || x == 's' || x == 'w' || x == 'D' || x == 'S' || x == 'W') {
        bump();
        p.kind = PrimKind::Perl;
        const char32_t lower = x | 0x20;
        p.sub = static_cast<uint8_t>(lower == 'd' ? PerlKind::Digit : lower == 's' ? PerlKind::Space : PerlKind::Word);
        p.negated = x < 'a';
        p.end = static_cast<uint32_t>(pos_);
        if (!engine_) edits.push_back(Edit{off(start), off(pos_), EditKind::Perl, p.sub, p.negated, 0});
        return true;
    }
    if (x == 'c' && pos_ + 1 < n_ && is_ascii_letter(c_[pos_ + 1])) {
        const char32_t cp = c_[pos_ + 1] & 0x1F;
        if (!engine_ && ws_ && is_white_space(cp)) {
            // In whitespace-insensitive mode the repaired character is skipped as white space,
            // which can change decisions already made; the caller parses the repaired text anew.
            reparse_ = true;
            repair_at = start;
            repair_cp = cp;
            return fail(start, "repair needs a new parse");
        }
        bump();
        bump();
        p.kind = PrimKind::Literal;
        p.sub = static_cast<uint8_t>(LiteralKind::ControlRepair);
        p.cp = cp;
        p.end = static_cast<uint32_t>(pos_);
        if (!engine_) edits.push_back(Edit{off(start), off(pos_), EditKind::Repair, 0, false, cp});
        return true;
    }
    if (x == 'k' && !in_class) {
        // A back-reference by name, as one by number, is for the backtracking machine.
        enter_stop(start);
        bump();
        if (eof() || ch() != '<') return fail(start, "invalid named back-reference");
        bump();
        std::string name;
        if (!parse_capture_name_ref(name)) return false;
        p.kind = PrimKind::BackRef;
        p.name = std::move(name);
        p.end = static_cast<uint32_t>(pos_);
        t_.has_backref = true;
        return true;
    }
    bump();
    p.end = static_cast<uint32_t>(pos_);
    if (is_escapeable(x)) {
        p.kind = PrimKind::Literal;
        p.sub = static_cast<uint8_t>(LiteralKind::Escaped);
        p.cp = x;
        // The engines' syntax escapes no character beyond ASCII: the translation writes it bare,
        // unless whitespace-insensitive mode would then skip it.
        if (x >= 0x80 && !engine_ && !is_white_space(x)) {
            edits.push_back(Edit{off(start), off(pos_), EditKind::Repair, 0, false, x});
        }
        return true;
    }
    auto special = [&](char32_t cp) {
        p.kind = PrimKind::Literal;
        p.sub = static_cast<uint8_t>(LiteralKind::Special);
        p.cp = cp;
        return true;
    };
    auto assertion = [&](AssertionKind k) {
        p.kind = PrimKind::Assertion;
        p.sub = static_cast<uint8_t>(k);
        return true;
    };
    switch (x) {
        case 'a':
            if (!engine_) bell = true;
            p.kind = PrimKind::Literal;
            p.sub = static_cast<uint8_t>(LiteralKind::Bell);
            p.cp = 7;
            return true;
        case 'f': return special(0x0C);
        case 't': return special(0x09);
        case 'n': return special(0x0A);
        case 'r': return special(0x0D);
        case 'v': return special(0x0B);
        case 'B': return assertion(AssertionKind::NotWordBoundary);
        case '<': return assertion(AssertionKind::AngleStart);
        case '>': return assertion(AssertionKind::AngleEnd);
        case 'b': {
            if (in_class) {
                // Inside a class ECMA-262 reads "\b" as the backspace character; the engines'
                // syntax has no such escape there, so the translation writes the character.
                if (!engine_) edits.push_back(Edit{off(start), off(pos_), EditKind::Repair, 0, false, 0x08});
                return special(0x08);
            }
            assertion(AssertionKind::WordBoundary);
            if (!eof() && ch() == '{') {
                bool found = false;
                if (!parse_special_word_boundary(start, found)) return false;
                if (found) {
                    p.sub = static_cast<uint8_t>(AssertionKind::SpecialWordBoundary);
                    p.end = static_cast<uint32_t>(pos_);
                    special_boundary = true;
                }
            }
            return true;
        }
        default:
            return fail(start, "unrecognized escape sequence");
    }
}

bool Parser::parse_special_word_boundary(size_t wb_start, bool& found) {
    auto valid = [](char32_t x) { return is_ascii_letter(x) || x == '-'; };
    const size_t start = pos_;
    if (!bump_and_bump_space()) return fail(wb_start, "unexpected end of pattern after \\b{");
    if (!valid(ch())) {
        pos_ = start;
        found = false;
        return true;
    }
    std::string name;
    while (!eof() && valid(ch())) {
        name.push_back(static_cast<char>(ch()));
        bump_and_bump_space();
    }
    if (eof() || ch() != '}') return fail(start, "special word boundary assertion is unclosed");
    bump();
    if (name != "start" && name != "end" && name != "start-half" && name != "end-half") {
        return fail(start, "unrecognized special word boundary assertion");
    }
    found = true;
    return true;
}

bool Parser::parse_hex(Primitive& p, size_t start) {
    const char32_t form = ch();
    const size_t digits = form == 'x' ? 2 : form == 'u' ? 4 : 8;
    if (!bump_and_bump_space()) return fail(pos_, "incomplete escape sequence, reached end of pattern prematurely");
    uint64_t value = 0;
    bool overflow = false;
    auto push = [&](char32_t h) {
        const uint32_t d = is_digit(h) ? h - '0' : (h | 0x20) - 'a' + 10;
        value = value * 16 + d;
        if (value > 0x10FFFF) {
            overflow = true;
            value = 0x110000;
        }
    };
    if (ch() == '{') {
        const size_t brace = pos_;
        size_t count = 0;
        while (bump_and_bump_space() && ch() != '}') {
            if (!is_hex(ch())) return fail(pos_, "hexadecimal literal is not a Unicode scalar value");
            push(ch());
            ++count;
        }
        if (eof()) return fail(brace, "incomplete escape sequence, reached end of pattern prematurely");
        bump_and_bump_space();
        if (count == 0) return fail(brace, "hexadecimal literal empty");
    } else {
        for (size_t i = 0; i < digits; ++i) {
            if (i > 0 && !bump_and_bump_space()) return fail(pos_, "incomplete escape sequence, reached end of pattern prematurely");
            if (!is_hex(ch())) return fail(pos_, "invalid hexadecimal digit");
            push(ch());
        }
        bump_and_bump_space();
        // A lead and a trail surrogate written as two four-digit escapes are one code point.
        if (form == 'u' && value >= 0xD800 && value <= 0xDBFF && starts_with("\\u") && pos_ + 6 <= n_ &&
            std::all_of(c_.begin() + static_cast<std::ptrdiff_t>(pos_ + 2),
                        c_.begin() + static_cast<std::ptrdiff_t>(pos_ + 6), is_hex)) {
            uint32_t trail = 0;
            for (size_t k = pos_ + 2; k < pos_ + 6; ++k) trail = trail * 16 + (is_digit(c_[k]) ? c_[k] - '0' : (c_[k] | 0x20) - 'a' + 10);
            if (trail >= 0xDC00 && trail <= 0xDFFF) {
                value = 0x10000 + ((value - 0xD800) << 10) + (trail - 0xDC00);
                pos_ += 6;
                // The engines' syntax has no surrogate escapes: the translation writes the character.
                if (!engine_) edits.push_back(Edit{off(start), off(pos_), EditKind::Repair, 0, false, static_cast<char32_t>(value)});
                bump_space();
            }
        }
    }
    // A lone surrogate stays one code point, as in ECMA-262; no UTF-8 text holds it, so the
    // character sets leave it out and it matches nothing.
    if (overflow || (form != 'u' && value >= 0xD800 && value <= 0xDFFF)) {
        return fail(start, "hexadecimal literal is not a Unicode scalar value");
    }
    p.kind = PrimKind::Literal;
    p.sub = static_cast<uint8_t>(LiteralKind::Hex);
    p.cp = static_cast<char32_t>(value);
    p.end = static_cast<uint32_t>(pos_);
    return true;
}

bool Parser::parse_unicode_class(Primitive& p, size_t start) {
    UnicodeClassSpec spec;
    spec.negated = ch() == 'P';
    if (!bump_and_bump_space()) return fail(pos_, "incomplete escape sequence, reached end of pattern prematurely");
    if (ch() == '{') {
        std::string name;
        while (bump_and_bump_space() && ch() != '}') append_utf8(name, ch());
        if (eof()) return fail(pos_, "incomplete escape sequence, reached end of pattern prematurely");
        bump();
        size_t at;
        if ((at = name.find("!=")) != std::string::npos) {
            spec.form = UnicodeForm::NamedValue;
            spec.op = UnicodeOp::NotEqual;
            spec.name = name.substr(0, at);
            spec.value = name.substr(at + 2);
        } else if ((at = name.find(':')) != std::string::npos) {
            spec.form = UnicodeForm::NamedValue;
            spec.op = UnicodeOp::Colon;
            spec.name = name.substr(0, at);
            spec.value = name.substr(at + 1);
        } else if ((at = name.find('=')) != std::string::npos) {
            spec.form = UnicodeForm::NamedValue;
            spec.op = UnicodeOp::Equal;
            spec.name = name.substr(0, at);
            spec.value = name.substr(at + 1);
        } else {
            spec.form = UnicodeForm::Named;
            spec.name = std::move(name);
        }
    } else {
        if (ch() == '\\') return fail(pos_, "invalid Unicode character class");
        spec.form = UnicodeForm::OneLetter;
        append_utf8(spec.name, ch());
        bump_and_bump_space();
    }
    t_.unicode.push_back(std::move(spec));
    p.kind = PrimKind::Unicode;
    p.index = static_cast<uint32_t>(t_.unicode.size() - 1);
    p.start = static_cast<uint32_t>(start);
    p.end = static_cast<uint32_t>(pos_);
    return true;
}

uint32_t Parser::primitive_node(Primitive&& p) {
    NodeKind kind = NodeKind::Literal;
    switch (p.kind) {
        case PrimKind::Literal: kind = NodeKind::Literal; break;
        case PrimKind::Assertion: kind = NodeKind::Assertion; break;
        case PrimKind::Dot: kind = NodeKind::Dot; break;
        case PrimKind::Unicode: kind = NodeKind::UnicodeClass; break;
        case PrimKind::Perl: kind = NodeKind::PerlClass; break;
        case PrimKind::BackRef: kind = NodeKind::BackRef; break;
    }
    const uint32_t id = add_node(kind, p.start, p.end);
    Node& node = t_.nodes[id];
    node.sub = p.sub;
    node.cp = p.cp;
    node.negated = p.negated;
    node.index = p.index;
    if (p.kind == PrimKind::BackRef) {
        node.min = p.index;
        node.name = std::move(p.name);
    }
    return id;
}

bool Parser::maybe_ascii_class(uint32_t& item) {
    const size_t start = pos_;
    auto back = [&] {
        pos_ = start;
        return false;
    };
    if (!bump() || ch() != ':') return back();
    if (!bump()) return back();
    bool negated = false;
    if (ch() == '^') {
        negated = true;
        if (!bump()) return back();
    }
    const size_t name_start = pos_;
    while (ch() != ':' && bump()) {
    }
    if (eof()) return back();
    std::string name;
    for (size_t k = name_start; k < pos_; ++k) append_utf8(name, c_[k]);
    if (!bump_if(":]")) return back();
    static constexpr std::string_view kNames[] = {"alnum", "alpha", "ascii", "blank", "cntrl", "digit", "graph",
                                                  "lower", "print", "punct", "space", "upper", "word", "xdigit"};
    for (size_t k = 0; k < std::size(kNames); ++k) {
        if (name == kNames[k]) {
            item = add_set(SetKind::Ascii, start, pos_);
            t_.sets[item].sub = static_cast<uint8_t>(k);
            t_.sets[item].negated = negated;
            return true;
        }
    }
    return back();
}

uint32_t Parser::into_item(UnionF&& u) {
    if (u.items.empty()) {
        const uint32_t id = add_set(SetKind::Empty, pos_, pos_);
        t_.sets[id].start = u.start;
        return id;
    }
    if (u.items.size() == 1) return u.items[0];
    const uint32_t id = add_set(SetKind::Union, pos_, pos_);
    t_.sets[id].start = u.start;
    t_.sets[id].children = std::move(u.items);
    return id;
}

uint32_t Parser::pop_class_op(uint32_t rhs) {
    if (classes_.empty() || !classes_.back().is_op) return rhs;
    ClassF frame = std::move(classes_.back());
    classes_.pop_back();
    const uint32_t id = add_set(frame.op, pos_, pos_);
    t_.sets[id].start = t_.sets[frame.lhs].start;
    t_.sets[id].end = t_.sets[rhs].end;
    t_.sets[id].children = {frame.lhs, rhs};
    return id;
}

bool Parser::parse_set_class_open(UnionF& nested, uint32_t& bracket) {
    const size_t start = pos_;
    if (!bump_and_bump_space()) return fail(start, "unclosed character class");
    bool negated = false;
    if (ch() == '^') {
        negated = true;
        if (!bump_and_bump_space()) return fail(start, "unclosed character class");
    }
    nested = UnionF{off(pos_), {}};
    while (ch() == '-') {
        const uint32_t lit = add_set(SetKind::Literal, pos_, pos_ + 1);
        t_.sets[lit].lo = t_.sets[lit].hi = '-';
        nested.items.push_back(lit);
        if (!bump_and_bump_space()) return fail(start, "unclosed character class");
    }
    bracket = add_set(SetKind::Bracketed, start, pos_);
    t_.sets[bracket].negated = negated;
    return true;
}

bool Parser::parse_set_class_item(Primitive& p) {
    if (ch() == '\\') return parse_escape(p, true);
    p.kind = PrimKind::Literal;
    p.sub = static_cast<uint8_t>(LiteralKind::Verbatim);
    p.cp = ch();
    p.start = static_cast<uint32_t>(pos_);
    bump();
    p.end = static_cast<uint32_t>(pos_);
    return true;
}

bool Parser::into_set_item(Primitive&& p, uint32_t& item) {
    switch (p.kind) {
        case PrimKind::Literal:
            item = add_set(SetKind::Literal, p.start, p.end);
            t_.sets[item].lo = t_.sets[item].hi = p.cp;
            return true;
        case PrimKind::Unicode:
            item = add_set(SetKind::Unicode, p.start, p.end);
            t_.sets[item].unicode = p.index;
            return true;
        case PrimKind::Perl:
            item = add_set(SetKind::Perl, p.start, p.end);
            t_.sets[item].sub = p.sub;
            t_.sets[item].negated = p.negated;
            return true;
        default:
            return fail(p.start, "invalid escape sequence in character class");
    }
}

bool Parser::parse_set_class_range(uint32_t& item) {
    Primitive first;
    if (!parse_set_class_item(first)) return false;
    bump_space();
    if (eof()) return unclosed_class();
    if (ch() != '-' || peek_space_is(']') || peek_space_is('-')) return into_set_item(std::move(first), item);
    if (!bump_and_bump_space()) return unclosed_class();
    Primitive second;
    if (!parse_set_class_item(second)) return false;
    if (first.kind != PrimKind::Literal) return fail(first.start, "invalid range boundary, must be a literal");
    if (second.kind != PrimKind::Literal) return fail(second.start, "invalid range boundary, must be a literal");
    if (first.cp > second.cp) return fail(first.start, "invalid character class range, the start must be <= the end");
    item = add_set(SetKind::Range, first.start, second.end);
    t_.sets[item].lo = first.cp;
    t_.sets[item].hi = second.cp;
    return true;
}

bool Parser::parse_set_class(uint32_t& node) {
    const size_t class_start = pos_;
    UnionF u{off(pos_), {}};
    for (;;) {
        bump_space();
        if (eof()) return unclosed_class();
        const char32_t x = ch();
        if (x == '[') {
            if (!classes_.empty()) {
                uint32_t ascii = 0;
                if (maybe_ascii_class(ascii)) {
                    u.items.push_back(ascii);
                    continue;
                }
            }
            UnionF nested;
            uint32_t bracket = 0;
            if (!parse_set_class_open(nested, bracket)) return false;
            ClassF frame;
            frame.parent = std::move(u);
            frame.bracket = bracket;
            classes_.push_back(std::move(frame));
            u = std::move(nested);
        } else if (x == ']') {
            const uint32_t content = pop_class_op(into_item(std::move(u)));
            ClassF frame = std::move(classes_.back());
            classes_.pop_back();
            bump();
            SetNode& bracket = t_.sets[frame.bracket];
            bracket.end = off(pos_);
            bracket.children = {content};
            if (classes_.empty()) {
                node = add_node(NodeKind::Bracketed, class_start, pos_);
                t_.nodes[node].index = frame.bracket;
                return true;
            }
            u = std::move(frame.parent);
            u.items.push_back(frame.bracket);
        } else if ((x == '&' || x == '-' || x == '~') && peek_is(x)) {
            pos_ += 2;
            const SetKind op = x == '&' ? SetKind::Intersection : x == '-' ? SetKind::Difference : SetKind::SymmetricDifference;
            const uint32_t lhs = pop_class_op(into_item(std::move(u)));
            ClassF frame;
            frame.is_op = true;
            frame.op = op;
            frame.lhs = lhs;
            classes_.push_back(std::move(frame));
            u = UnionF{off(pos_), {}};
        } else {
            uint32_t item = 0;
            if (!parse_set_class_range(item)) return false;
            u.items.push_back(item);
        }
    }
}

uint32_t perl_depth(uint8_t kind) { return static_cast<PerlKind>(kind) == PerlKind::Digit ? 1 : 2; }

std::string_view perl_replacement(uint8_t kind, bool negated) {
    switch (static_cast<PerlKind>(kind)) {
        case PerlKind::Digit: return negated ? "[^0-9]" : "[0-9]";
        case PerlKind::Word: return negated ? "[^A-Za-z0-9_]" : "[A-Za-z0-9_]";
        case PerlKind::Space: break;
    }
    return negated ? "[^" : "[";
}

void apply_edits(std::string_view text, const std::vector<Edit>& edits, std::string& out) {
    out.clear();
    out.reserve(text.size() + edits.size() * 16);
    size_t prev = 0;
    for (const Edit& e : edits) {
        out.append(text.substr(prev, e.start - prev));
        if (e.kind == EditKind::Repair) {
            append_utf8(out, e.cp);
        } else {
            out.append(perl_replacement(e.perl, e.negated));
            if (static_cast<PerlKind>(e.perl) == PerlKind::Space) {
                out.append(kWhitespaceRanges);
                out.push_back(']');
            }
        }
        prev = e.end;
    }
    out.append(text.substr(prev));
}

// How many parses a pattern gets when control-escape repairs in whitespace-insensitive mode
// keep asking for a new one; past this the pattern is refused rather than parsed quadratically.
constexpr int kMaxReparses = 64;

// Longer patterns are refused before parsing; the tree of one would take hundreds of megabytes.
constexpr size_t kMaxPatternBytes = 1u << 20;

}  // namespace

uint32_t syntax_depth(const Tree& t, bool rewritten) {
    struct Item {
        bool set;
        uint32_t index;
        uint32_t depth;
    };
    if (t.nodes.empty()) return 0;
    std::vector<Item> stack{{false, t.root, 0}};
    uint32_t max_depth = 0;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (!item.set) {
            const Node& node = t.nodes[item.index];
            switch (node.kind) {
                case NodeKind::Group:
                case NodeKind::Repetition:
                case NodeKind::Alternation:
                case NodeKind::Concat: {
                    const uint32_t d = item.depth + 1;
                    max_depth = std::max(max_depth, d);
                    for (uint32_t child : node.children) stack.push_back({false, child, d});
                    break;
                }
                case NodeKind::Bracketed: {
                    const uint32_t d = item.depth + 1;
                    max_depth = std::max(max_depth, d);
                    for (uint32_t child : t.sets[node.index].children) stack.push_back({true, child, d});
                    break;
                }
                case NodeKind::PerlClass:
                    if (rewritten) max_depth = std::max(max_depth, item.depth + perl_depth(node.sub));
                    break;
                default:
                    break;
            }
        } else {
            const SetNode& s = t.sets[item.index];
            switch (s.kind) {
                case SetKind::Bracketed:
                case SetKind::Union:
                case SetKind::Intersection:
                case SetKind::Difference:
                case SetKind::SymmetricDifference: {
                    const uint32_t d = item.depth + 1;
                    max_depth = std::max(max_depth, d);
                    for (uint32_t child : s.children) stack.push_back({true, child, d});
                    break;
                }
                case SetKind::Perl:
                    if (rewritten) max_depth = std::max(max_depth, item.depth + perl_depth(s.sub));
                    break;
                default:
                    break;
            }
        }
    }
    return max_depth;
}

std::shared_ptr<const Analysis> analyze_pattern(std::string_view pattern) {
    auto result = std::make_shared<Analysis>();
    Analysis& a = *result;
    auto refuse = [&](uint32_t offset, std::string message) {
        a.engine_ok = false;
        a.error_offset = offset;
        a.error = std::move(message);
    };
    if (pattern.size() > kMaxPatternBytes) {
        a.kind = TranslationKind::Untranslatable;
        refuse(0, "pattern too long");
        return result;
    }
    std::vector<char32_t> cps;
    std::vector<uint32_t> offs;
    if (!decode_utf8(pattern, cps, offs)) {
        a.kind = TranslationKind::Untranslatable;
        refuse(0, "pattern is not valid UTF-8");
        return result;
    }
    std::string owned;
    bool changed = class_prepass(pattern, cps, offs, owned);
    if (changed) decode_utf8(owned, cps, offs);

    for (int attempt = 0;; ++attempt) {
        std::string_view text = changed ? std::string_view(owned) : pattern;
        a.tree = Tree{};
        Parser parser(cps, offs, a.tree);
        const Status status = parser.run();
        if (status == Status::Reparse) {
            if (attempt >= kMaxReparses) {
                a.kind = TranslationKind::Untranslatable;
                refuse(parser.error_offset, "too many control escapes in whitespace-insensitive mode");
                return result;
            }
            std::string next;
            next.reserve(text.size());
            next.append(text.substr(0, offs[parser.repair_at]));
            append_utf8(next, parser.repair_cp);
            next.append(text.substr(offs[parser.repair_at + 3]));
            owned = std::move(next);
            changed = true;
            decode_utf8(owned, cps, offs);
            continue;
        }
        a.count_too_large = parser.count_too_large;
        if (status == Status::TranslateError) {
            a.kind = TranslationKind::Untranslatable;
            refuse(parser.error_offset, parser.error);
            return result;
        }

        bool untranslatable = false;
        if (!parser.stopped) {
            const bool has_perl = std::any_of(parser.edits.begin(), parser.edits.end(),
                                              [](const Edit& e) { return e.kind == EditKind::Perl; });
            if (parser.bell) {
                untranslatable = true;
                refuse(0, "the bell escape \\a is not supported");
            } else if (syntax_depth(a.tree, false) > kNestLimit ||
                       (has_perl && syntax_depth(a.tree, true) > kNestLimit)) {
                untranslatable = true;
                refuse(0, "exceed the maximum number of nested parentheses/brackets (250)");
            }
        }
        if (untranslatable) {
            a.kind = TranslationKind::Untranslatable;
            return result;
        }
        if (!changed && parser.edits.empty()) {
            a.kind = TranslationKind::Unchanged;
        } else {
            a.kind = TranslationKind::Rewritten;
            if (parser.edits.empty()) {
                a.translated = changed ? owned : std::string(pattern);
            } else {
                apply_edits(text, parser.edits, a.translated);
            }
        }

        if (status == Status::EngineError) {
            refuse(parser.error_offset, parser.error);
            return result;
        }
        a.engine_ok = true;
        if (parser.stopped && syntax_depth(a.tree, false) > kNestLimit) {
            refuse(0, "exceed the maximum number of nested parentheses/brackets (250)");
            return result;
        }
        std::unordered_map<std::string_view, uint32_t> by_name;
        for (const auto& [name, index] : a.tree.capture_names) by_name.emplace(name, index);
        for (Node& node : a.tree.nodes) {
            if (node.kind == NodeKind::Literal && node.sub == static_cast<uint8_t>(LiteralKind::Bell)) {
                refuse(node.start, "the bell escape \\a is not supported");
                return result;
            }
            if (node.kind == NodeKind::Assertion && node.sub == static_cast<uint8_t>(AssertionKind::SpecialWordBoundary)) {
                refuse(node.start, "special word boundary assertions are not supported");
                return result;
            }
            if (node.kind != NodeKind::BackRef) continue;
            if (!node.name.empty()) {
                auto it = by_name.find(node.name);
                if (it == by_name.end()) {
                    refuse(node.start, "invalid group name in back-reference");
                    return result;
                }
                node.min = it->second;
            } else if (node.min == 0 || node.min > a.tree.capture_count) {
                refuse(node.start, "invalid back-reference");
                return result;
            }
        }
        return result;
    }
}

}  // namespace deririrore::regex::detail
