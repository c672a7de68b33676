#include "demod/FirDecimator.h"

#include "demod/FirDesign.h"

PreFirDecimator::PreFirDecimator()
    : PolyphaseFirDecimator(preFirPrototype())
{
}

PolyFirDecimator::PolyFirDecimator()
    : PolyphaseFirDecimator(polyFirPrototype())
{
}
