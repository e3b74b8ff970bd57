#pragma once
// The syntax tree of one pattern. Its shape follows the engines' syntax (the text the translation
// produces), so that nesting depth, translation edits, engine text and witnesses all come from
// one parse. Nodes live in flat arrays and refer to each other by index.
#include <cstdint>
#include <string>
#include <vector>

namespace deririrore::regex::detail {

// Effective flag bits at a node, as the scoped inline flags leave them.
enum FlagBit : uint8_t {
    kCaseInsensitive = 1,
    kMultiLine = 2,
    kDotAll = 4,
    kSwapGreed = 8,
    kUnicode = 16,
    kCrlf = 32,
    kIgnoreWhitespace = 64,
};

enum class NodeKind : uint8_t {
    Empty,
    SetFlags,
    Literal,
    Dot,
    Assertion,
    UnicodeClass,
    PerlClass,
    Bracketed,
    Repetition,
    Group,
    Alternation,
    Concat,
    BackRef,
};

enum class LiteralKind : uint8_t { Verbatim, Escaped, Bell, Special, Hex, ControlRepair, Null };

enum class AssertionKind : uint8_t {
    StartLine,
    EndLine,
    StartText,
    EndText,
    WordBoundary,
    NotWordBoundary,
    AngleStart,
    AngleEnd,
    SpecialWordBoundary,
};

enum class GroupKind : uint8_t { Capture, NonCapturing, LookAhead, NegLookAhead, LookBehind, NegLookBehind };

enum class PerlKind : uint8_t { Digit, Space, Word };

enum class UnicodeForm : uint8_t { OneLetter, Named, NamedValue };
enum class UnicodeOp : uint8_t { Equal, Colon, NotEqual };

struct UnicodeClassSpec {
    bool negated = false;
    UnicodeForm form = UnicodeForm::Named;
    UnicodeOp op = UnicodeOp::Equal;
    std::string name;
    std::string value;
};

enum class AsciiClass : uint8_t {
    Alnum, Alpha, Ascii, Blank, Cntrl, Digit, Graph, Lower, Print, Punct, Space, Upper, Word, Xdigit
};

enum class SetKind : uint8_t { Empty, Literal, Range, Ascii, Unicode, Perl, Bracketed, Union, Intersection, Difference, SymmetricDifference };

// One item or operation of a bracketed class. Union holds two or more items; a bracketed set holds
// exactly one child (its item or operation); an operation holds its two operands.
struct SetNode {
    SetKind kind = SetKind::Empty;
    bool negated = false;
    uint8_t sub = 0;  // AsciiClass or PerlKind
    char32_t lo = 0, hi = 0;
    uint32_t unicode = 0;  // index into Tree::unicode
    uint32_t start = 0;    // byte span in the parsed text
    uint32_t end = 0;
    std::vector<uint32_t> children;
};

struct Node {
    NodeKind kind = NodeKind::Empty;
    uint8_t flags = 0;
    uint8_t sub = 0;  // LiteralKind, AssertionKind, GroupKind or PerlKind
    bool negated = false;
    bool greedy = true;
    bool has_max = false;
    char32_t cp = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t min = 0;  // Repetition minimum; BackRef group number
    uint32_t max = 0;
    uint32_t index = 0;  // Group: capture index; UnicodeClass: spec; Bracketed: set root
    std::string name;    // Group name, or the name a named back-reference uses
    std::vector<uint32_t> children;
};

struct Tree {
    std::vector<Node> nodes;
    std::vector<SetNode> sets;
    std::vector<UnicodeClassSpec> unicode;
    uint32_t root = 0;
    uint32_t capture_count = 0;
    std::vector<std::pair<std::string, uint32_t>> capture_names;
    bool has_lookaround = false;
    bool has_backref = false;
};

}  // namespace deririrore::regex::detail
