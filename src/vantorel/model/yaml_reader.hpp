#pragma once
// Reading YAML text into the JSON value model, from libyaml's events.
//
// Plain scalars resolve by the YAML 1.2 core schema: null (~, null, Null, NULL, empty), booleans
// (true/false in three spellings), integers (decimal, 0o octal, 0x hexadecimal) and floats. Every
// other scalar is a string, so yes/no/on/off and dates stay text. Numbers keep their exact value:
// a decimal text is kept as written (a "+" sign dropped, "01" as "1", ".5" as "0.5", "1." as "1.0"),
// octal and hexadecimal integers become their decimal digits. Infinities and not-a-number have no
// JSON form and become null. A mapping key that is not a string becomes its text as written
// ("200" for 200:); a collection as a key is an error. Of two equal keys the later one wins.
// Aliases are expanded into copies. Merge keys ("<<") are left as ordinary members: expanding them
// is expand_yaml_merge_keys' job.
//
// Limits, each failing with an error that names it: nesting deeper than `max_depth` collections,
// and alias expansion past a node budget (copies made for anchors and aliases together), which
// is `alias_nodes_per_event` times the events read so far, at least `alias_node_floor` and at
// most `alias_node_ceiling`. A stream holds at most one document; an empty stream is null.
#include <cstddef>
#include <string>
#include <string_view>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"

namespace vantorel::model {

struct YamlLimits {
    std::size_t max_depth = 512;
    std::size_t alias_node_floor = 1'000'000;
    std::size_t alias_nodes_per_event = 100;
    std::size_t alias_node_ceiling = 10'000'000;
    // "!!binary" scalars as the bytes their base64 text stands for (white space ignored, any bytes,
    // not only UTF-8), for captured traffic; otherwise they stay their base64 text.
    bool binary_as_bytes = false;
};

struct YamlError {
    std::string message;  // with "line L, column C" when the position is known
    std::size_t line = 0;    // 1-based; 0 when unknown
    std::size_t column = 0;  // 1-based; 0 when unknown
};

deririrore::Result<deririrore::value::Value, YamlError> parse_yaml(std::string_view text,
                                                                   const YamlLimits& limits = {});

}  // namespace vantorel::model
