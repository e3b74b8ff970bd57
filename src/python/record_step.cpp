#include "python/record_step.hpp"

#include "python/coverage_map.hpp"
#include "python/map_record.hpp"
#include "python/readers.hpp"

namespace vantorel::python {

bool record_into_map(PyObject* coverage, const http::Interaction& interaction) {
    LabelTexts labels;
    if (!labels.collect(nullptr)) {
        return false;
    }
    CoverageMapContent& content = *reinterpret_cast<CoverageMapObject*>(coverage)->content;
    auto done = with_map_detached(content.map_lock, content.map, [&](CoreMap& map) {
        record_into_map(map, interaction, labels.texts());
        return true;
    });
    return done.has_value();
}

}  // namespace vantorel::python
