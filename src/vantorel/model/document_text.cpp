#include "vantorel/model/document_text.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;

FileReadError system_error(int error_number) {
    return FileReadError{error_number, std::system_category().message(error_number)};
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// The JSON reader names a byte offset; documents are read by people, who count lines.
std::string json_error_text(const deririrore::value::JsonError& error, std::string_view text) {
    if (error.offset == std::string::npos || error.offset > text.size()) return error.message;
    const std::string suffix = " (at byte " + std::to_string(error.offset) + ")";
    std::string message = error.message;
    if (message.size() >= suffix.size() && message.compare(message.size() - suffix.size(), suffix.size(), suffix) == 0)
        message.resize(message.size() - suffix.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < error.offset; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return message + " at line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool all_objects(const Value& v) {
    for (const auto& item : v.as_array())
        if (!item.is_object()) return false;
    return true;
}

// Merges the "<<" member of `target`, already expanded below; false when there is none to merge.
bool merge_into(Value& target) {
    Value* merge = target.find_mut("<<");
    if (merge == nullptr) return false;
    if (!merge->is_object() && !(merge->is_array() && all_objects(*merge))) return false;
    Value sources = std::move(*merge);
    target.erase("<<");

    Value::Object combined;
    combined.reserve(target.size());
    for (const auto& member : target.as_object()) combined.push_back({member.key, Value()});
    for (auto& member : combined) member.value = std::move(*target.find_mut(member.key));

    // Keys of `target` and of earlier sources win; the views stay valid while `sources` lives.
    std::unordered_set<std::string_view> taken;
    auto merge_source = [&](Value& source) {
        for (const auto& member : source.as_object()) {
            if (target.contains(member.key) || !taken.insert(member.key).second) continue;
            combined.push_back({member.key, std::move(*source.find_mut(member.key))});
        }
    };
    if (sources.is_object()) {
        merge_source(sources);
    } else {
        for (auto& source : sources.mutable_array()) merge_source(source);
    }
    target = Value::object(std::move(combined));
    return true;
}

}  // namespace

Result<std::string, FileReadError> read_text_file(std::string_view path, std::size_t max_bytes) {
    if (path.find('\0') != std::string_view::npos) return make_unexpected(FileReadError{0, "the path contains a NUL byte"});
    const std::string name(path);
    Fd file;
    // Non-blocking, so that opening a FIFO never waits for a writer.
    file.fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file.fd < 0) return make_unexpected(system_error(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return make_unexpected(system_error(errno));
    if (S_ISDIR(info.st_mode)) return make_unexpected(system_error(EISDIR));
    if (!S_ISREG(info.st_mode))
        return make_unexpected(FileReadError{0, "not a regular file (a device, FIFO or socket is not read)"});
    const auto too_large = [&] {
        return FileReadError{0, "the file is larger than the limit of " + std::to_string(max_bytes) +
                                    " bytes for API documents and referenced files"};
    };
    if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return make_unexpected(too_large());
    std::string text;
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    for (;;) {
        ssize_t n = 0;
        if (filled == text.size()) {
            // Past the size the file reported: a file that grows while it is read, or one that
            // reports no size (as some kernel files do), is read on to its end, never past the limit.
            char probe[4096];
            n = ::read(file.fd, probe, sizeof probe);
            if (n > 0) {
                if (filled + static_cast<std::size_t>(n) > max_bytes) return make_unexpected(too_large());
                text.append(probe, static_cast<std::size_t>(n));
            }
        } else {
            n = ::read(file.fd, text.data() + filled, text.size() - filled);
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            return make_unexpected(system_error(errno));
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    text.resize(filled);
    if (auto bad = check_utf8(text))
        return make_unexpected(FileReadError{0, "the file is not valid UTF-8 (invalid byte at offset " +
                                                    std::to_string(bad->valid_up_to) + ")"});
    return text;
}

std::string SpecLoadError::message() const {
    return std::visit(
        [](const auto& e) -> std::string {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, Read>) {
                return "Failed to read file `" + e.path + "`: " + e.error.message;
            } else if constexpr (std::is_same_v<T, Json>) {
                return e.error;
            } else if constexpr (std::is_same_v<T, Parse>) {
                return "Parse error:\n  JSON: " + e.json + "\n  YAML: " + e.yaml;
            } else {
                return "Network error: " + e.error;
            }
        },
        data);
}

bool is_yaml_path(std::string_view path) noexcept {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.rfind('/');
    const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return false;
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const auto extension = name.substr(dot + 1);
    return extension == "yml" || extension == "yaml";
}

bool is_yaml_url(std::string_view url) noexcept {
    url = url.substr(0, url.find_first_of("?#"));
    if (const auto scheme = url.find("://"); scheme != std::string_view::npos) {
        const auto path = url.find('/', scheme + 3);
        url = path == std::string_view::npos ? std::string_view() : url.substr(path);
    }
    return is_yaml_path(url);
}

bool expand_yaml_merge_keys(Value& value) {
    bool expanded = false;
    struct Item {
        Value* value;
        bool children_done;
    };
    std::vector<Item> stack{{&value, false}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        Value& v = *item.value;
        if (item.children_done) {
            if (merge_into(v)) expanded = true;
            continue;
        }
        if (v.is_array()) {
            for (auto& child : v.mutable_array())
                if (child.is_array() || child.is_object()) stack.push_back({&child, false});
        } else if (v.is_object()) {
            stack.push_back({&v, true});
            for (const auto& member : v.as_object()) {
                if (!member.value.is_array() && !member.value.is_object()) continue;
                stack.push_back({v.find_mut(member.key), false});
            }
        }
    }
    return expanded;
}

Result<Value, YamlError> parse_yaml_document(std::string_view text, const YamlLimits& limits) {
    auto parsed = parse_yaml(text, limits);
    if (parsed && text.find("<<") != std::string_view::npos) expand_yaml_merge_keys(*parsed);
    return parsed;
}

Result<Value, SpecLoadError> parse_schema_text(std::string_view text, bool yaml_first, const YamlLimits& limits) {
    std::string json_error;
    std::string yaml_error;
    auto try_json = [&]() -> std::optional<Value> {
        auto r = deririrore::value::parse_json(text);
        if (r) return std::move(*r);
        json_error = json_error_text(r.error(), text);
        return std::nullopt;
    };
    auto try_yaml = [&]() -> std::optional<Value> {
        auto r = parse_yaml_document(text, limits);
        if (r) return std::move(*r);
        yaml_error = std::move(r.error().message);
        return std::nullopt;
    };
    if (yaml_first) {
        if (auto v = try_yaml()) return std::move(*v);
        if (auto v = try_json()) return std::move(*v);
    } else {
        if (auto v = try_json()) return std::move(*v);
        if (auto v = try_yaml()) return std::move(*v);
    }
    return make_unexpected(SpecLoadError{SpecLoadError::Parse{std::move(json_error), std::move(yaml_error)}});
}

Result<Value, SpecLoadError> read_document_file(std::string_view path, const YamlLimits& limits) {
    auto text = read_text_file(path);
    if (!text) return make_unexpected(SpecLoadError{SpecLoadError::Read{std::string(path), std::move(text.error())}});
    return parse_schema_text(*text, is_yaml_path(path), limits);
}

}  // namespace vantorel::model
