#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "deririrore/value/utf8.hpp"
#include "xml/decoder.hpp"

namespace xml {

namespace {

using deririrore::value::append_utf8;

struct Label {
    std::string_view label;
    std::string_view encoding;
};

// The label table of the WHATWG Encoding Standard, sorted by label.
constexpr Label kLabels[] = {
    {"866", "IBM866"},
    {"ansi_x3.4-1968", "windows-1252"},
    {"arabic", "ISO-8859-6"},
    {"ascii", "windows-1252"},
    {"asmo-708", "ISO-8859-6"},
    {"big5", "Big5"},
    {"big5-hkscs", "Big5"},
    {"chinese", "GBK"},
    {"cn-big5", "Big5"},
    {"cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"cp1252", "windows-1252"},
    {"cp1253", "windows-1253"},
    {"cp1254", "windows-1254"},
    {"cp1255", "windows-1255"},
    {"cp1256", "windows-1256"},
    {"cp1257", "windows-1257"},
    {"cp1258", "windows-1258"},
    {"cp819", "windows-1252"},
    {"cp866", "IBM866"},
    {"csbig5", "Big5"},
    {"cseuckr", "EUC-KR"},
    {"cseucpkdfmtjapanese", "EUC-JP"},
    {"csgb2312", "GBK"},
    {"csibm866", "IBM866"},
    {"csiso2022jp", "ISO-2022-JP"},
    {"csiso2022kr", "replacement"},
    {"csiso58gb231280", "GBK"},
    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"csiso88598e", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8-I"},
    {"csisolatin1", "windows-1252"},
    {"csisolatin2", "ISO-8859-2"},
    {"csisolatin3", "ISO-8859-3"},
    {"csisolatin4", "ISO-8859-4"},
    {"csisolatin5", "windows-1254"},
    {"csisolatin6", "ISO-8859-10"},
    {"csisolatin9", "ISO-8859-15"},
    {"csisolatinarabic", "ISO-8859-6"},
    {"csisolatincyrillic", "ISO-8859-5"},
    {"csisolatingreek", "ISO-8859-7"},
    {"csisolatinhebrew", "ISO-8859-8"},
    {"cskoi8r", "KOI8-R"},
    {"csksc56011987", "EUC-KR"},
    {"csmacintosh", "macintosh"},
    {"csshiftjis", "Shift_JIS"},
    {"csunicode", "UTF-16LE"},
    {"cyrillic", "ISO-8859-5"},
    {"dos-874", "windows-874"},
    {"ecma-114", "ISO-8859-6"},
    {"ecma-118", "ISO-8859-7"},
    {"elot_928", "ISO-8859-7"},
    {"euc-jp", "EUC-JP"},
    {"euc-kr", "EUC-KR"},
    {"gb18030", "gb18030"},
    {"gb2312", "GBK"},
    {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"gbk", "GBK"},
    {"greek", "ISO-8859-7"},
    {"greek8", "ISO-8859-7"},
    {"hebrew", "ISO-8859-8"},
    {"hz-gb-2312", "replacement"},
    {"ibm819", "windows-1252"},
    {"ibm866", "IBM866"},
    {"iso-10646-ucs-2", "UTF-16LE"},
    {"iso-2022-cn", "replacement"},
    {"iso-2022-cn-ext", "replacement"},
    {"iso-2022-jp", "ISO-2022-JP"},
    {"iso-2022-kr", "replacement"},
    {"iso-8859-1", "windows-1252"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-11", "windows-874"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-6-e", "ISO-8859-6"},
    {"iso-8859-6-i", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-8-e", "ISO-8859-8"},
    {"iso-8859-8-i", "ISO-8859-8-I"},
    {"iso-8859-9", "windows-1254"},
    {"iso-ir-100", "windows-1252"},
    {"iso-ir-101", "ISO-8859-2"},
    {"iso-ir-109", "ISO-8859-3"},
    {"iso-ir-110", "ISO-8859-4"},
    {"iso-ir-126", "ISO-8859-7"},
    {"iso-ir-127", "ISO-8859-6"},
    {"iso-ir-138", "ISO-8859-8"},
    {"iso-ir-144", "ISO-8859-5"},
    {"iso-ir-148", "windows-1254"},
    {"iso-ir-149", "EUC-KR"},
    {"iso-ir-157", "ISO-8859-10"},
    {"iso-ir-58", "GBK"},
    {"iso8859-1", "windows-1252"},
    {"iso8859-10", "ISO-8859-10"},
    {"iso8859-11", "windows-874"},
    {"iso8859-13", "ISO-8859-13"},
    {"iso8859-14", "ISO-8859-14"},
    {"iso8859-15", "ISO-8859-15"},
    {"iso8859-2", "ISO-8859-2"},
    {"iso8859-3", "ISO-8859-3"},
    {"iso8859-4", "ISO-8859-4"},
    {"iso8859-5", "ISO-8859-5"},
    {"iso8859-6", "ISO-8859-6"},
    {"iso8859-7", "ISO-8859-7"},
    {"iso8859-8", "ISO-8859-8"},
    {"iso8859-9", "windows-1254"},
    {"iso88591", "windows-1252"},
    {"iso885910", "ISO-8859-10"},
    {"iso885911", "windows-874"},
    {"iso885913", "ISO-8859-13"},
    {"iso885914", "ISO-8859-14"},
    {"iso885915", "ISO-8859-15"},
    {"iso88592", "ISO-8859-2"},
    {"iso88593", "ISO-8859-3"},
    {"iso88594", "ISO-8859-4"},
    {"iso88595", "ISO-8859-5"},
    {"iso88596", "ISO-8859-6"},
    {"iso88597", "ISO-8859-7"},
    {"iso88598", "ISO-8859-8"},
    {"iso88599", "windows-1254"},
    {"iso_8859-1", "windows-1252"},
    {"iso_8859-15", "ISO-8859-15"},
    {"iso_8859-1:1987", "windows-1252"},
    {"iso_8859-2", "ISO-8859-2"},
    {"iso_8859-2:1987", "ISO-8859-2"},
    {"iso_8859-3", "ISO-8859-3"},
    {"iso_8859-3:1988", "ISO-8859-3"},
    {"iso_8859-4", "ISO-8859-4"},
    {"iso_8859-4:1988", "ISO-8859-4"},
    {"iso_8859-5", "ISO-8859-5"},
    {"iso_8859-5:1988", "ISO-8859-5"},
    {"iso_8859-6", "ISO-8859-6"},
    {"iso_8859-6:1987", "ISO-8859-6"},
    {"iso_8859-7", "ISO-8859-7"},
    {"iso_8859-7:1987", "ISO-8859-7"},
    {"iso_8859-8", "ISO-8859-8"},
    {"iso_8859-8:1988", "ISO-8859-8"},
    {"iso_8859-9", "windows-1254"},
    {"iso_8859-9:1989", "windows-1254"},
    {"koi", "KOI8-R"},
    {"koi8", "KOI8-R"},
    {"koi8-r", "KOI8-R"},
    {"koi8-ru", "KOI8-U"},
    {"koi8-u", "KOI8-U"},
    {"koi8_r", "KOI8-R"},
    {"korean", "EUC-KR"},
    {"ks_c_5601-1987", "EUC-KR"},
    {"ks_c_5601-1989", "EUC-KR"},
    {"ksc5601", "EUC-KR"},
    {"ksc_5601", "EUC-KR"},
    {"l1", "windows-1252"},
    {"l2", "ISO-8859-2"},
    {"l3", "ISO-8859-3"},
    {"l4", "ISO-8859-4"},
    {"l5", "windows-1254"},
    {"l6", "ISO-8859-10"},
    {"l9", "ISO-8859-15"},
    {"latin1", "windows-1252"},
    {"latin2", "ISO-8859-2"},
    {"latin3", "ISO-8859-3"},
    {"latin4", "ISO-8859-4"},
    {"latin5", "windows-1254"},
    {"latin6", "ISO-8859-10"},
    {"logical", "ISO-8859-8-I"},
    {"mac", "macintosh"},
    {"macintosh", "macintosh"},
    {"ms932", "Shift_JIS"},
    {"ms_kanji", "Shift_JIS"},
    {"shift-jis", "Shift_JIS"},
    {"shift_jis", "Shift_JIS"},
    {"sjis", "Shift_JIS"},
    {"sun_eu_greek", "ISO-8859-7"},
    {"tis-620", "windows-874"},
    {"ucs-2", "UTF-16LE"},
    {"unicode", "UTF-16LE"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"unicodefeff", "UTF-16LE"},
    {"unicodefffe", "UTF-16BE"},
    {"us-ascii", "windows-1252"},
    {"utf-16", "UTF-16LE"},
    {"utf-16be", "UTF-16BE"},
    {"utf-16le", "UTF-16LE"},
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"visual", "ISO-8859-8"},
    {"windows-1250", "windows-1250"},
    {"windows-1251", "windows-1251"},
    {"windows-1252", "windows-1252"},
    {"windows-1253", "windows-1253"},
    {"windows-1254", "windows-1254"},
    {"windows-1255", "windows-1255"},
    {"windows-1256", "windows-1256"},
    {"windows-1257", "windows-1257"},
    {"windows-1258", "windows-1258"},
    {"windows-31j", "Shift_JIS"},
    {"windows-874", "windows-874"},
    {"windows-949", "EUC-KR"},
    {"x-cp1250", "windows-1250"},
    {"x-cp1251", "windows-1251"},
    {"x-cp1252", "windows-1252"},
    {"x-cp1253", "windows-1253"},
    {"x-cp1254", "windows-1254"},
    {"x-cp1255", "windows-1255"},
    {"x-cp1256", "windows-1256"},
    {"x-cp1257", "windows-1257"},
    {"x-cp1258", "windows-1258"},
    {"x-euc-jp", "EUC-JP"},
    {"x-gbk", "GBK"},
    {"x-mac-cyrillic", "x-mac-cyrillic"},
    {"x-mac-roman", "macintosh"},
    {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"x-sjis", "Shift_JIS"},
    {"x-unicode20utf8", "UTF-8"},
    {"x-user-defined", "x-user-defined"},
    {"x-x-big5", "Big5"},
};

// ICU converter names for the WHATWG decoders whose ICU name differs.
std::string_view icu_name(std::string_view encoding) {
    if (encoding == "GBK") return "gb18030";
    if (encoding == "Big5") return "Big5-HKSCS";
    if (encoding == "EUC-KR") return "windows-949";
    if (encoding == "Shift_JIS") return "windows-31j";
    if (encoding == "ISO-8859-8-I") return "ISO-8859-8";
    return encoding;
}

// ISO-8859-16 from 0xA0 (below that it is Latin-1); ICU's data lacks it.
constexpr char16_t kIso8859_16High[96] = {
    0x00A0, 0x0104, 0x0105, 0x0141, 0x20AC, 0x201E, 0x0160, 0x00A7, 0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD,
    0x017A, 0x017B, 0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7, 0x017E, 0x010D, 0x0219, 0x00BB,
    0x0152, 0x0153, 0x0178, 0x017C, 0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7, 0x00C8, 0x00C9,
    0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x0110, 0x0143, 0x00D2, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x015A,
    0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107,
    0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x0111, 0x0144, 0x00F2, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x015B, 0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF,
};


bool is_ascii_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

}  // namespace

std::optional<std::string_view> encoding_for_label(std::string_view label) {
    while (!label.empty() && is_ascii_space(label.front())) label.remove_prefix(1);
    while (!label.empty() && is_ascii_space(label.back())) label.remove_suffix(1);
    if (label.empty() || label.size() > 32) return std::nullopt;
    std::string lower(label);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    const auto it = std::lower_bound(std::begin(kLabels), std::end(kLabels), std::string_view(lower),
                                     [](const Label& l, std::string_view key) { return l.label < key; });
    if (it == std::end(kLabels) || it->label != lower) return std::nullopt;
    return it->encoding;
}

std::optional<std::string> decode_to_utf8(std::string_view bytes, std::string_view encoding) {
    std::string out;
    if (encoding == "x-user-defined") {
        // Bytes from 0x80 map to U+F780 onwards.
        for (unsigned char c : bytes) append_utf8(out, c < 0x80 ? c : 0xF780 + (c - 0x80));
        return out;
    }
    if (encoding == "ISO-8859-16") {
        for (unsigned char c : bytes) append_utf8(out, c < 0xA0 ? c : kIso8859_16High[c - 0xA0]);
        return out;
    }
    // ICU counts in 32-bit lengths.
    if (bytes.size() > (std::size_t{1} << 28)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const std::string name(icu_name(encoding));
    std::unique_ptr<UConverter, void (*)(UConverter*)> converter(ucnv_open(name.c_str(), &status), ucnv_close);
    if (U_FAILURE(status) || !converter) return std::nullopt;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    // No legacy encoding yields more than two UTF-16 units per byte.
    std::vector<UChar> units(bytes.size() * 2 + 16);
    UChar* target = units.data();
    const char* source = bytes.data();
    ucnv_toUnicode(converter.get(), &target, units.data() + units.size(), &source, bytes.data() + bytes.size(), nullptr,
                   true, &status);
    if (U_FAILURE(status)) return std::nullopt;
    const int32_t length = static_cast<int32_t>(target - units.data());
    int32_t needed = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &needed, units.data(), length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<std::size_t>(needed));
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), needed, &needed, units.data(), length, &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return std::nullopt;
    return out;
}

}  // namespace xml
