// Proof-number search over the generator's candidate moves.
#pragma once

#include "search/stat_node.h"

namespace kelmo {

void expand(StatNode* node);
void updateValues(StatNode* node);
StatNode* selectMostProving(StatNode* start);
StatNode* updateAncestors(StatNode* leaf);

} // namespace kelmo
