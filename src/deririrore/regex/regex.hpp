#pragma once
// ECMA-262 patterns: translation, engine-free shapes, syntax scanner, witness, engines and cache.
#include "deririrore/regex/cache.hpp"
#include "deririrore/regex/engine.hpp"
#include "deririrore/regex/fast_pattern.hpp"
#include "deririrore/regex/matcher.hpp"
#include "deririrore/regex/syntax.hpp"
#include "deririrore/regex/translate.hpp"
#include "deririrore/regex/witness.hpp"
