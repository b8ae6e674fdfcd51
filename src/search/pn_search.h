// Proof-number search over the generator's candidate moves.
#pragma once

#include "search/search_context.h"
#include "search/stat_node.h"

namespace kelmo {

// Expands a leaf from the generator's candidates, or decides it when the
// generator gives a verdict. False, with the node unchanged, when the arena
// has no room for its board or children: the search must stop there.
bool expand(SearchContext& context, StatNode* node);
void updateValues(StatNode* node);
StatNode* selectMostProving(SearchContext& context, StatNode* start);
StatNode* updateAncestors(SearchContext& context, StatNode* leaf);

} // namespace kelmo
