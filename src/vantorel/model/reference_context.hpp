#pragma once
// The working state of one build of a coverage map: the document being read, where referenced
// files are looked for, which referenced file is being read at the moment, the files already
// read, and the problems found so far. It lives for one build, on the building thread only;
// nothing of it outlives the build except the problems, which the builder moves out.
//
// Referenced local files are read here too: each file at most once per build, successes and
// failures alike, and never over a network.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/response_target.hpp"
#include "vantorel/model/spec_version.hpp"

namespace vantorel::model {

using deririrore::Result;

// One referenced file that has been read.
struct LoadedDocument {
    std::string directory;  // the file path without its last component: the base of references inside it
    Value document;
};
using SharedDocument = std::shared_ptr<const LoadedDocument>;

// Anchor name to the JSON pointer of the subschema that declares it.
using AnchorIndex = std::unordered_map<std::string, std::string>;

// What placing component schemas works on.
struct HydrationState {
    const Value* document = nullptr;  // the API document's root
    std::optional<AnchorIndex> anchor_index;  // built when a reference first names an anchor
    deririrore::referencing::Draft draft = deririrore::referencing::Draft::Draft4;
};

// What became of one referenced file. A failure keeps the file's part of the problem; each
// reference that meets it gets its own problem with its own reference text.
struct LoadedFile {
    SharedDocument document;  // null when the file could not be read or parsed
    std::optional<std::string> detail;
    std::string_view message;
};

struct ReferenceContext {
    // Relative references to other files resolve against it. Absent when the document came
    // from a URL; the empty text makes references resolve as they stand.
    std::optional<std::string> base_directory;
    HydrationState hydration;
    const Value* document = nullptr;  // the API document's root, owned by the build's caller
    // The referenced file whose reference is being followed; null while the main document is read.
    SharedDocument current_scope;
    std::vector<SharedDocument> scope_stack;  // scopes saved by entering references, most recent last
    // Keyed by the lexically normalised path, so paths compare component by component.
    std::map<std::string, LoadedFile, std::less<>> loaded_documents;
    std::vector<ProblemEntry> problems;  // in the order found
    // Set around the parameters of each Swagger 2.0 operation.
    std::optional<std::string> non_json_body_media_type;
    std::string body_media_type = "application/json";
    SpecVersion version = SpecVersion::OpenApi30;
    // Response bodies already built in this build, shared by bodies with equal schemas.
    ResponseBodyCache schema_cache;

    ReferenceContext() = default;
    ReferenceContext(const ReferenceContext&) = delete;
    ReferenceContext& operator=(const ReferenceContext&) = delete;
    ReferenceContext(ReferenceContext&&) = default;
    ReferenceContext& operator=(ReferenceContext&&) = default;
};

// `location` is what the build was given as the document's place: a file path, a URL (any text
// containing "://") or nothing. Without one, references resolve against the working directory;
// with a URL, references leaving the document are never followed; a directory is the base
// itself; any other path (a file, a missing path) gives its parent.
ReferenceContext new_reference_context(const Value& document, SpecVersion version,
                                       std::optional<std::string_view> location);

// Follows a reference: `resolve(context, reference, scope)` finds the target, and may replace
// `scope` (a copy of the current scope) by the referenced file that holds it. With `push`, that
// scope becomes current and the previous one is saved, whether or not the resolution succeeded;
// every such entering is matched by one leave_reference once the target has been processed.
template <class Resolve>
auto enter_reference(ReferenceContext& context, const Value& reference, bool push, Resolve&& resolve) {
    SharedDocument scope = context.current_scope;
    auto result = resolve(context, reference, scope);
    if (push) {
        context.scope_stack.push_back(std::move(context.current_scope));
        context.current_scope = std::move(scope);
    }
    return result;
}

// Restores the scope saved by the last entering; with none saved, changes nothing.
void leave_reference(ReferenceContext& context) noexcept;

// Leaves the entered reference when it goes out of scope, on every path.
class ReferenceScopeGuard {
public:
    explicit ReferenceScopeGuard(ReferenceContext& context) noexcept : context_(&context) {}
    ReferenceScopeGuard(const ReferenceScopeGuard&) = delete;
    ReferenceScopeGuard& operator=(const ReferenceScopeGuard&) = delete;
    ~ReferenceScopeGuard() { leave_reference(*context_); }

private:
    ReferenceContext* context_;
};

// Reads and parses a referenced file, once per build: `path` is the normalised file path the
// reference leads to, `reference` the reference text as written. JSON first, YAML second, or the
// other way round when is_yaml_path says so. Failures are the "unreadable_reference" problem:
// "Can't open file" with the system's text, or "Invalid JSON or YAML in referenced file". A
// file that failed is not read again; later references get the same problem with their own text.
Result<SharedDocument, SpecProblem> retrieve_external_ref(ReferenceContext& context, std::string_view path,
                                                          std::string_view reference);

// What hydration is handed to read referenced files through.
class ReferencedFileRetriever {
public:
    explicit ReferencedFileRetriever(ReferenceContext& context) noexcept : context_(&context) {}
    // The file's document, kept alive by the context for the rest of the build.
    Result<const Value*, SpecProblem> retrieve(std::string_view path, std::string_view reference);

private:
    ReferenceContext* context_;
};

}  // namespace vantorel::model
