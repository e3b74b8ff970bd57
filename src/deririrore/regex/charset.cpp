#include "deririrore/regex/charset.hpp"

#include <unicode/uchar.h>

#include <string_view>

namespace deririrore::regex::detail {
namespace {

void case_close(icu::UnicodeSet& set) {
    set.closeOver(USET_CASE_INSENSITIVE);
    set.removeAllStrings();
}

// Loose matching of property names: case, spaces, '_' and '-' ignored, a leading "is" dropped,
// non-ASCII dropped.
std::string normalize_name(std::string_view s) {
    size_t start = 0;
    bool starts_with_is = false;
    if (s.size() >= 2 && (s[0] == 'i' || s[0] == 'I') && (s[1] == 's' || s[1] == 'S')) {
        starts_with_is = true;
        start = 2;
    }
    std::string out;
    for (size_t i = start; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == ' ' || b == '_' || b == '-') continue;
        if (b >= 'A' && b <= 'Z') {
            out.push_back(static_cast<char>(b + 32));
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        }
    }
    if (starts_with_is && out == "c") out = "isc";
    return out;
}

bool general_category(const std::string& norm, icu::UnicodeSet& out) {
    UErrorCode status = U_ZERO_ERROR;
    if (norm == "any") {
        out.set(0, 0x10FFFF);
        return true;
    }
    if (norm == "ascii") {
        out.set(0, 0x7F);
        return true;
    }
    if (norm == "assigned") {
        out.applyIntPropertyValue(UCHAR_GENERAL_CATEGORY_MASK, U_GC_CN_MASK, status);
        out.complement();
        return U_SUCCESS(status);
    }
    const int32_t mask = u_getPropertyValueEnum(UCHAR_GENERAL_CATEGORY_MASK, norm.c_str());
    if (mask == UCHAR_INVALID_CODE) return false;
    out.applyIntPropertyValue(UCHAR_GENERAL_CATEGORY_MASK, mask, status);
    return U_SUCCESS(status);
}

bool property_value(UProperty prop, const std::string& norm, icu::UnicodeSet& out) {
    const int32_t v = u_getPropertyValueEnum(prop, norm.c_str());
    if (v == UCHAR_INVALID_CODE) return false;
    UErrorCode status = U_ZERO_ERROR;
    out.applyIntPropertyValue(prop, v, status);
    return U_SUCCESS(status);
}

bool resolve_unicode(const UnicodeClassSpec& spec, icu::UnicodeSet& out) {
    if (spec.form != UnicodeForm::NamedValue) {
        const std::string norm = normalize_name(spec.name);
        if (norm != "cf" && norm != "sc" && norm != "lc") {
            const UProperty prop = u_getPropertyEnum(norm.c_str());
            if (prop != UCHAR_INVALID_CODE) {
                if (prop < UCHAR_BINARY_START || prop >= UCHAR_BINARY_LIMIT) return false;
                UErrorCode status = U_ZERO_ERROR;
                out.applyIntPropertyValue(prop, 1, status);
                return U_SUCCESS(status);
            }
        }
        if (general_category(norm, out)) return true;
        const int32_t script = u_getPropertyValueEnum(UCHAR_SCRIPT, norm.c_str());
        if (script == UCHAR_INVALID_CODE) return false;
        UErrorCode status = U_ZERO_ERROR;
        out.applyIntPropertyValue(UCHAR_SCRIPT_EXTENSIONS, script, status);
        return U_SUCCESS(status);
    }
    const std::string name = normalize_name(spec.name);
    const std::string value = normalize_name(spec.value);
    const UProperty prop = u_getPropertyEnum(name.c_str());
    bool ok = false;
    switch (prop) {
        case UCHAR_GENERAL_CATEGORY:
        case UCHAR_GENERAL_CATEGORY_MASK:
            ok = general_category(value, out);
            break;
        case UCHAR_SCRIPT:
        case UCHAR_SCRIPT_EXTENSIONS:
        case UCHAR_GRAPHEME_CLUSTER_BREAK:
        case UCHAR_SENTENCE_BREAK:
        case UCHAR_WORD_BREAK:
            ok = property_value(prop, value, out);
            break;
        case UCHAR_AGE: {
            std::string raw;
            for (char ch : spec.value) {
                if (ch != ' ') raw.push_back(ch);
            }
            if (!raw.empty() && (raw[0] == 'v' || raw[0] == 'V')) {
                raw.erase(0, 1);
                for (char& ch : raw) {
                    if (ch == '_') ch = '.';
                }
            }
            UErrorCode status = U_ZERO_ERROR;
            out.applyPropertyAlias(icu::UnicodeString("Age"), icu::UnicodeString::fromUTF8(raw), status);
            ok = U_SUCCESS(status);
            break;
        }
        default:
            return false;
    }
    if (!ok) return false;
    if (spec.op == UnicodeOp::NotEqual) out.complement();
    return true;
}

void perl_set(PerlKind kind, icu::UnicodeSet& out) {
    switch (kind) {
        case PerlKind::Digit:
            out.add('0', '9');
            break;
        case PerlKind::Word:
            out.add('A', 'Z').add('a', 'z').add('0', '9').add('_');
            break;
        case PerlKind::Space:
            add_ecma_whitespace(out);
            break;
    }
}

void ascii_set(AsciiClass kind, icu::UnicodeSet& out) {
    switch (kind) {
        case AsciiClass::Alnum: out.add('0', '9').add('A', 'Z').add('a', 'z'); break;
        case AsciiClass::Alpha: out.add('A', 'Z').add('a', 'z'); break;
        case AsciiClass::Ascii: out.add(0, 0x7F); break;
        case AsciiClass::Blank: out.add('\t').add(' '); break;
        case AsciiClass::Cntrl: out.add(0, 0x1F).add(0x7F); break;
        case AsciiClass::Digit: out.add('0', '9'); break;
        case AsciiClass::Graph: out.add('!', '~'); break;
        case AsciiClass::Lower: out.add('a', 'z'); break;
        case AsciiClass::Print: out.add(' ', '~'); break;
        case AsciiClass::Punct: out.add('!', '/').add(':', '@').add('[', '`').add('{', '~'); break;
        case AsciiClass::Space: out.add('\t', '\r').add(' '); break;
        case AsciiClass::Upper: out.add('A', 'Z'); break;
        case AsciiClass::Word: out.add('0', '9').add('A', 'Z').add('a', 'z').add('_'); break;
        case AsciiClass::Xdigit: out.add('0', '9').add('A', 'F').add('a', 'f'); break;
    }
}

// Recursion depth is bounded by the syntax nesting limit the callers enforce.
bool set_of(const Tree& t, uint32_t index, bool fold, icu::UnicodeSet& out, std::string& error) {
    const SetNode& s = t.sets[index];
    switch (s.kind) {
        case SetKind::Empty:
            return true;
        case SetKind::Literal:
        case SetKind::Range:
            out.add(static_cast<UChar32>(s.lo), static_cast<UChar32>(s.hi));
            return true;
        case SetKind::Ascii: {
            icu::UnicodeSet part;
            ascii_set(static_cast<AsciiClass>(s.sub), part);
            if (fold) case_close(part);
            if (s.negated) part.complement();
            out.addAll(part);
            return true;
        }
        case SetKind::Perl: {
            icu::UnicodeSet part;
            perl_set(static_cast<PerlKind>(s.sub), part);
            if (fold) case_close(part);
            if (s.negated) part.complement();
            out.addAll(part);
            return true;
        }
        case SetKind::Unicode: {
            icu::UnicodeSet part;
            const UnicodeClassSpec& spec = t.unicode[s.unicode];
            if (!resolve_unicode(spec, part)) {
                error = "Unicode property not found";
                return false;
            }
            if (fold) case_close(part);
            if (spec.negated) part.complement();
            out.addAll(part);
            return true;
        }
        case SetKind::Bracketed: {
            icu::UnicodeSet part;
            for (uint32_t child : s.children) {
                if (!set_of(t, child, fold, part, error)) return false;
            }
            if (fold) case_close(part);
            if (s.negated) part.complement();
            out.addAll(part);
            return true;
        }
        case SetKind::Union:
            for (uint32_t child : s.children) {
                if (!set_of(t, child, fold, out, error)) return false;
            }
            return true;
        case SetKind::Intersection:
        case SetKind::Difference:
        case SetKind::SymmetricDifference: {
            icu::UnicodeSet lhs;
            icu::UnicodeSet rhs;
            if (!set_of(t, s.children[0], fold, lhs, error) || !set_of(t, s.children[1], fold, rhs, error)) return false;
            if (fold) {
                case_close(lhs);
                case_close(rhs);
            }
            if (s.kind == SetKind::Intersection) {
                lhs.retainAll(rhs);
            } else if (s.kind == SetKind::Difference) {
                lhs.removeAll(rhs);
            } else {
                lhs.complementAll(rhs);
            }
            out.addAll(lhs);
            return true;
        }
    }
    return true;
}

}  // namespace

void add_ecma_whitespace(icu::UnicodeSet& set) {
    set.add(0x09, 0x0D).add(0x20).add(0xA0).add(0x1680).add(0x2000, 0x200A).add(0x2028, 0x2029);
    set.add(0x202F).add(0x205F).add(0x3000).add(0xFEFF);
}

void strip_surrogates(icu::UnicodeSet& set) { set.remove(0xD800, 0xDFFF); }

bool literal_needs_class(const Node& node) {
    if (node.cp >= 0xD800 && node.cp <= 0xDFFF) return true;
    if (!(node.flags & kCaseInsensitive)) return false;
    icu::UnicodeSet set(static_cast<UChar32>(node.cp), static_cast<UChar32>(node.cp));
    case_close(set);
    return set.size() > 1;
}

bool node_charset(const Tree& t, const Node& node, icu::UnicodeSet& out, std::string& error) {
    const bool fold = (node.flags & kCaseInsensitive) != 0;
    out.clear();
    switch (node.kind) {
        case NodeKind::Literal:
            out.add(static_cast<UChar32>(node.cp));
            if (fold) case_close(out);
            break;
        case NodeKind::Dot:
            if (node.flags & kDotAll) {
                out.add(0, 0x10FFFF);
            } else {
                out.add(0, 0x10FFFF).remove('\n').remove('\r').remove(0x2028, 0x2029);
            }
            break;
        case NodeKind::PerlClass:
            perl_set(static_cast<PerlKind>(node.sub), out);
            if (fold) case_close(out);
            if (node.negated) out.complement();
            break;
        case NodeKind::UnicodeClass: {
            const UnicodeClassSpec& spec = t.unicode[node.index];
            if (!resolve_unicode(spec, out)) {
                error = "Unicode property not found";
                return false;
            }
            if (fold) case_close(out);
            if (spec.negated) out.complement();
            break;
        }
        case NodeKind::Bracketed:
            if (!set_of(t, node.index, fold, out, error)) return false;
            break;
        default:
            break;
    }
    strip_surrogates(out);
    return true;
}

}  // namespace deririrore::regex::detail
