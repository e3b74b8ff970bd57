#include "deririrore/regex/translate.hpp"

#include "deririrore/regex/parser.hpp"

namespace deririrore::regex {

Translation translate_ecma_pattern(std::string_view pattern) {
    auto analysis = detail::analyze_pattern(pattern);
    Translation out;
    out.kind = analysis->kind;
    if (out.kind == TranslationKind::Rewritten) out.text = analysis->translated;
    return out;
}

}  // namespace deririrore::regex
