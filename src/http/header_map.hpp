#pragma once
// Header fields by name. Names compare by their full Unicode case folding (ICU), so "Content-Type",
// "CONTENT-TYPE" and "content-type" are one key, and "Straße" is the same key as "STRASSE".
// Names and values are kept exactly as given.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace http {

// The full case folding of a UTF-8 name (one character may become up to three). A name that is
// not UTF-8 is folded in its ASCII letters only, so that two different byte strings never merge
// through replacement characters.
std::string fold_header_name(std::string_view name);

class HeaderMap {
public:
    struct Field {
        std::string name;
        std::string value;
    };

    // Adds the field, or replaces name and value of the field whose name folds equal: the
    // spelling last given is the one kept.
    void set(std::string name, std::string value);
    // Adds the field only when no name folds equal; answers whether it did.
    bool insert(std::string name, std::string value);
    // Adds the field, or replaces only the value of the field whose name folds equal: the
    // spelling first given is the one kept.
    void insert_header(std::string name, std::string value);

    // The value of the field whose name folds equal to `name`, or nullptr.
    const std::string* find(std::string_view name) const;

    std::size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }

    // Fields in no particular order.
    template <class F>
    void for_each(F&& f) const {
        for (const auto& [folded, field] : fields_) f(field.name, field.value);
    }

private:
    std::unordered_map<std::string, Field> fields_;  // by folded name
};

// The value whose name folds equal to `name`; none when absent (never an error).
std::optional<std::string_view> find_header_ignore_case(const HeaderMap& headers, std::string_view name);

}  // namespace http
