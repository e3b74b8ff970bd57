#pragma once
// How reference targets chain into each other: the graph of references among
// the targets of a document, its strongly connected components, and the
// references that reach themselves without passing through an object or array
// constraint (which the complement must not unfold).
#include <map>
#include <set>
#include <string>
#include <vector>

#include "deririrore/canonical/context.hpp"
#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// `guarded`: the reference sits below an object or array constraint.
struct ReferenceEdge {
    std::string target;
    bool guarded = false;
};

// Node name ("#" for the root, else a target URI) to its sorted, distinct
// edges. The map is ordered bytewise, so iterating it is deterministic.
struct ReferenceGraph {
    std::map<std::string, std::vector<ReferenceEdge>, std::less<>> edges;
};
using ReferenceComponent = std::vector<std::string>;

struct ReferenceUse {
    SharedString target;
    bool guarded = false;
};
// One entry per Reference met below the node, in walk order; references are not followed.
void collect_reference_edges(const Schema& node, bool guarded, std::vector<ReferenceUse>& out);

ReferenceGraph build_emptiness_graph(const Schema& root, const TargetTable& targets);
// Components in completion order: each after every component it reaches.
std::vector<ReferenceComponent> strongly_connected_components(const ReferenceGraph& graph);
bool is_recursive_component(const ReferenceComponent& component, const ReferenceGraph& graph);
ReferenceGraph restrict_graph_to_component(const ReferenceComponent& component, const ReferenceGraph& graph,
                                           bool drop_guarded);
// Names on a cycle of unguarded edges; may hold "#".
std::set<std::string, std::less<>> unguarded_references(const Schema& root, const TargetTable& targets);
// False when the node refers to the document root, or anything at all is referred
// to from a member-name schema or a violation.
bool free_of_root_reference(const Schema& node);

}  // namespace deririrore::canonical
