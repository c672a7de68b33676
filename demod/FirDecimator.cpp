#include "demod/FirDecimator.h"

#include "demod/FirDesign.h"

PreFirDecimator::PreFirDecimator()
    : FirDecimator(preFirPrototype())
{
}

PolyFirDecimator::PolyFirDecimator()
    : FirDecimator(polyFirPrototype())
{
}
