#pragma once
// The last step of every recording made outside `CoverageMap.record`: the client integrations and
// the archive importers hand one finished exchange to it.
#include "http/interaction.hpp"
#include "python/py.hpp"

namespace vantorel::python {

// Records `interaction` into the CoverageMap object `coverage` (borrowed; must be a CoverageMap)
// with the labels that `CoverageMap.record` applies when it is given none. The labels are read
// attached; the map is locked only detached. False with a Python exception set on failure, with
// nothing recorded.
bool record_into_map(PyObject* coverage, const http::Interaction& interaction);

}  // namespace vantorel::python
