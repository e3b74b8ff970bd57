// XML bodies: never crash; a converted value holds only UTF-8 strings and writes out as JSON that
// reads back identical; the same document read through a UTF-16 byte-order mark gives the same
// value; hints from any JSON schema never fail.
//
// Input: the body, or (first byte 'H') a schema NUL body: the body converted with the schema's hints.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "xml/decoder.hpp"
#include "xml/hints.hpp"

namespace {

using vc_fuzz::finding;
using vc_fuzz::printable;
using vc_fuzz::Value;

const xml::XmlHints& pet_hints() {
    static const xml::XmlHints hints = xml::xml_hints_from_schema(std::move(deririrore::value::parse_json(R"({
        "type":"object","xml":{"name":"Pet"},"properties":{
        "id":{"type":"integer","xml":{"attribute":true}},
        "photoUrls":{"type":"array","xml":{"name":"photos","wrapped":true},"items":{"type":"string","xml":{"name":"url"}}},
        "tags":{"type":"array","items":{"type":["number","null"],"xml":{"name":"tag"}}},
        "ok":{"type":"boolean"},"nested":{"$ref":"#"}}})"))
                                                                      .value());
    return hints;
}

std::string utf16le_with_mark(std::string_view utf8) {
    std::string out = "\xFF\xFE";
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        const auto unit = [&](char32_t u) {
            out.push_back(static_cast<char>(u & 0xFF));
            out.push_back(static_cast<char>(u >> 8));
        };
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

void check(std::string_view body, const xml::XmlHints& hints, std::string_view input) {
    auto result = xml::xml_body_to_json(hints, body);
    if (!result) return;
    bool strings_ok = true;
    vc_fuzz::walk(*result, [&](std::string_view key, const Value& v) {
        if (!vc_fuzz::is_utf8(key) || (v.is_string() && !vc_fuzz::is_utf8(v.as_string()))) strings_ok = false;
    });
    if (!strings_ok) finding("utf8", printable(input));
    const std::string text = deririrore::value::to_json(*result);
    auto again = deririrore::value::parse_json(text);
    if (!again || !identical(*again, *result)) finding("json-round-trip", printable(input) + " -> " + text);

    // Valid UTF-8 without a declaration or mark: the UTF-16 reading must agree.
    if (vc_fuzz::is_utf8(body) && body.substr(0, 5) != "<?xml" && body.substr(0, 3) != "\xEF\xBB\xBF") {
        auto wide = xml::xml_body_to_json(hints, utf16le_with_mark(body));
        if (!wide || !identical(*wide, *result)) finding("utf16-agrees", printable(input));
    }
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    using namespace std::string_literals;
    sink.add("<Pet id='7'><photos><url>a</url></photos><tag>1.5</tag><tag>null</tag><ok>1</ok></Pet>");
    sink.add("<?xml version='1.0' encoding='ISO-8859-1'?><r a='x&#9;'>caf\xE9<![CDATA[<x>]]></r>"s);
    sink.add("<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;&amp;&#x41;</r>"s);
    sink.add("<r xmlns:i='http://www.w3.org/2001/XMLSchema-instance' i:nil='true' xml:lang='en'><b/> <b>2</b></r>");
    sink.add(
        "H\0{\"type\":\"array\",\"xml\":{\"wrapped\":true},\"items\":{\"type\":\"integer\"}}\0<a><i>1</i><i>x</i></a>"s);
    sink.add("\xFF\xFE<\0r\0/\0>\0"s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 4096, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = vc_fuzz::as_view(data, size);
    if (input.size() > 1 && input[0] == 'H' && input[1] == '\0') {
        auto pieces = vc_fuzz::split_nul(input.substr(2), 2);
        auto schema = deririrore::value::parse_json(pieces[0]);
        if (!schema) return 0;
        const xml::XmlHints hints = xml::xml_hints_from_schema(*schema);
        if (hints.size() > xml::kXmlHintVisitBudget) finding("hint-count", printable(input));
        check(pieces.size() > 1 ? pieces[1] : std::string_view(), hints, input);
        return 0;
    }
    check(input, {}, input);
    check(input, pet_hints(), input);
    return 0;
}
