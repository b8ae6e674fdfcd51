// Proof-number search over the generator's candidate moves.
#pragma once

#include "search/search_context.h"
#include "search/stat_node.h"

namespace kelmo {

void expand(SearchContext& context, StatNode* node);
void updateValues(StatNode* node);
StatNode* selectMostProving(SearchContext& context, StatNode* start);
StatNode* updateAncestors(SearchContext& context, StatNode* leaf);

} // namespace kelmo
