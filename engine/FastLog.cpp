#include "engine/FastLog.h"
#include "engine/VectorClones.h"

namespace fastlog {

RTSA_VECTOR_CLONES void powerToDb(const float* power, float* db, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        db[i] = powerToDb(power[i]);
}

} // namespace fastlog
