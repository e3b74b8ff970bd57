#pragma once
// The fixed blocks of the HTML report: the style sheet, the icon sprite and the script, written
// into every page as they stand.
#include <string_view>

namespace vantorel::reports::html_assets {

extern const std::string_view kStyle;    // the inner text of the <style> element
extern const std::string_view kSprite;   // a hidden <svg> holding every icon symbol
extern const std::string_view kScript;   // the inner text of the <script> element
extern const std::string_view kFavicon;  // a data: address of the three-bar mark

}  // namespace vantorel::reports::html_assets
