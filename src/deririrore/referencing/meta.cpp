#include "deririrore/referencing/meta.hpp"

#include <array>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "deririrore/value/json.hpp"

namespace deririrore::referencing {

namespace detail {
extern const std::string_view kMetaSchemaTexts[19];
}

namespace {

// Same order as the embedded texts.
constexpr std::array<std::string_view, 19> kIds{
    "http://json-schema.org/draft-04/schema#",
    "http://json-schema.org/draft-06/schema#",
    "http://json-schema.org/draft-07/schema#",
    "https://json-schema.org/draft/2019-09/schema",
    "https://json-schema.org/draft/2019-09/meta/applicator",
    "https://json-schema.org/draft/2019-09/meta/content",
    "https://json-schema.org/draft/2019-09/meta/core",
    "https://json-schema.org/draft/2019-09/meta/format",
    "https://json-schema.org/draft/2019-09/meta/meta-data",
    "https://json-schema.org/draft/2019-09/meta/validation",
    "https://json-schema.org/draft/2020-12/schema",
    "https://json-schema.org/draft/2020-12/meta/core",
    "https://json-schema.org/draft/2020-12/meta/applicator",
    "https://json-schema.org/draft/2020-12/meta/unevaluated",
    "https://json-schema.org/draft/2020-12/meta/validation",
    "https://json-schema.org/draft/2020-12/meta/meta-data",
    "https://json-schema.org/draft/2020-12/meta/format-annotation",
    "https://json-schema.org/draft/2020-12/meta/format-assertion",
    "https://json-schema.org/draft/2020-12/meta/content",
};

struct Slot {
    std::once_flag once;
    std::shared_ptr<const Value> document;
    std::atomic<std::size_t> parses{0};
};

std::array<Slot, 19>& slots() {
    static std::array<Slot, 19> s;
    return s;
}

const std::shared_ptr<const Value>& document(std::size_t index) {
    Slot& slot = slots()[index];
    std::call_once(slot.once, [&slot, index] {
        auto parsed = value::parse_json(detail::kMetaSchemaTexts[index]);
        if (!parsed) throw std::logic_error("Invalid schema");
        slot.parses.fetch_add(1, std::memory_order_relaxed);
        slot.document = std::make_shared<const Value>(std::move(*parsed));
    });
    return slot.document;
}

MetaSchemaList make_list(std::size_t first, std::size_t count) {
    MetaSchemaList list;
    list.reserve(count);
    for (std::size_t i = first; i < first + count; ++i) list.push_back(MetaSchemaEntry{kIds[i], document(i)});
    return list;
}

}  // namespace

const MetaSchemaList& meta_schemas_for_draft(Draft draft) {
    switch (draft) {
        case Draft::Draft4: {
            static const MetaSchemaList list = make_list(0, 1);
            return list;
        }
        case Draft::Draft6: {
            static const MetaSchemaList list = make_list(1, 1);
            return list;
        }
        case Draft::Draft7: {
            static const MetaSchemaList list = make_list(2, 1);
            return list;
        }
        case Draft::Draft201909: {
            static const MetaSchemaList list = make_list(3, 7);
            return list;
        }
        case Draft::Draft202012:
        case Draft::Unknown:
            break;
    }
    static const MetaSchemaList list = make_list(10, 9);
    return list;
}

const MetaSchemaList& all_meta_schemas() {
    static const MetaSchemaList list = make_list(0, 19);
    return list;
}

std::size_t meta_schema_parse_count(std::string_view id) {
    for (std::size_t i = 0; i < kIds.size(); ++i) {
        if (kIds[i] == id) return slots()[i].parses.load(std::memory_order_relaxed);
    }
    return 0;
}

}  // namespace deririrore::referencing
