#include "vantorel/model/method_map.hpp"

namespace vantorel::model {

deririrore::Result<OperationRecord*, SlotRefusal> MethodMap::insert(HttpMethod method) {
    const auto byte = static_cast<std::uint8_t>(method);
    if (!http::is_http_method(byte)) return deririrore::make_unexpected(SlotRefusal::NotAMethod);
    if (get(method) != nullptr) return deririrore::make_unexpected(SlotRefusal::Duplicate);
    // Nine distinct methods fit the nine slots, so a free one is always there.
    const std::size_t n = size();
    if (n >= kSlots) throw deririrore::InternalError("Missing operation");
    order_[n] = byte;
    if (!slots_[n]) slots_[n] = std::make_unique<OperationRecord>();
    return slots_[n].get();
}

OperationRecord* MethodMap::get(HttpMethod method) noexcept {
    return const_cast<OperationRecord*>(static_cast<const MethodMap*>(this)->get(method));
}

const OperationRecord* MethodMap::get(HttpMethod method) const noexcept {
    const auto byte = static_cast<std::uint8_t>(method);
    if (byte == 0) return nullptr;
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (order_[i] == byte) return slots_[i].get();
    }
    return nullptr;
}

std::size_t MethodMap::size() const noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        if (order_[i] != 0) n = i + 1;
    }
    return n;
}

OperationRecord* insert_operation_slot(MethodMap& methods, HttpMethod method, std::string_view path_key,
                                       std::vector<ProblemEntry>& problems) {
    auto inserted = methods.insert(method);
    if (inserted) return *inserted;
    if (inserted.error() == SlotRefusal::Duplicate) {
        problems.push_back(ProblemEntry{std::string(path_key), std::nullopt,
                                        SpecProblem{problems::DuplicateOperation{}},
                                        static_cast<std::uint8_t>(method)});
    }
    return nullptr;
}

}  // namespace vantorel::model
