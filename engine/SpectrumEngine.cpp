#include "engine/SpectrumEngine.h"

void SpectrumEngine::setFftSize(std::size_t n)
{
    std::lock_guard lock(m_spectrumMutex);
    m_analyzer.setSize(n);
}

void SpectrumEngine::setWindowType(int type)
{
    std::lock_guard lock(m_spectrumMutex);
    m_analyzer.setWindowType(type);
}

uint64_t SpectrumEngine::analyse(const IqBlockView& block, std::vector<float>& power)
{
    std::lock_guard lock(m_spectrumMutex);
    return m_analyzer.processPower(block, power);
}
