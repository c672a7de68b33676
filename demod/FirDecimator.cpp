#include "demod/FirDecimator.h"

#include "demod/FirDesign.h"

PreFirDecimator::PreFirDecimator()
    : FirDecimator(5, preFirPrototype())
{
}

HalfBandDecimator::HalfBandDecimator()
    : FirDecimator(2, halfBandPrototype())
{
}

PolyFirDecimator::PolyFirDecimator()
    : FirDecimator(2, polyFirPrototype())
{
}
