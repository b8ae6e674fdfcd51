// ProSearch: the pro brain's entry point, a thin front over ProEngine.
#include "alphabeta/pro_search.h"

#include "alphabeta/pro_engine.h"

namespace kelmo {

ProSearch::ProSearch(std::size_t tableBytes) : engine_(std::make_unique<ProEngine>(tableBytes)) {}

ProSearch::~ProSearch() = default;

void ProSearch::resize(std::size_t tableBytes) { engine_->resize(tableBytes); }

std::size_t ProSearch::tableBytes() const { return engine_->tableBytes(); }

void ProSearch::clear() { engine_->clear(); }

void ProSearch::setEvalWeights(const EvalWeights& weights) { engine_->setEvalWeights(weights); }

ProResult ProSearch::search(std::span<const Stone> stones, int sideToMove, const ProLimits& limits,
                            ProProgress* progress) {
    return engine_->search(stones, sideToMove, limits, progress);
}

} // namespace kelmo
