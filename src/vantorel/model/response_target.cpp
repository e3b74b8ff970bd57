#include "vantorel/model/response_target.hpp"

#include <utility>

namespace vantorel::model {

std::size_t ResponseBodyCache::Hash::operator()(const Key& key) const noexcept {
    deririrore::value::Hasher h(seeds);
    h.write_bytes(key.text);
    h.write_u64((key.may_be_xml ? 1u : 0u) ^ (reinterpret_cast<std::uintptr_t>(key.scope) << 1));
    return static_cast<std::size_t>(h.finish());
}

const ResponseBodyCache::Entry* ResponseBodyCache::find(const Key& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

const ResponseBodyCache::Entry& ResponseBodyCache::insert(Key key, Entry entry) {
    return entries_.insert_or_assign(std::move(key), std::move(entry)).first->second;
}

}  // namespace vantorel::model
