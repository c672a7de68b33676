#pragma once

#include "acquisition/IqBlockView.h"
#include "acquisition/IqSample.h"
#include "engine/AlignedFloats.h"

#include <fftw3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

// One block of 16-bit IQ samples to one spectrum, lowest frequency first (DC at bin N/2).
// Owns the window, the FFTW plan and its buffers. setSize plans with FFTW's measuring
// planner, so it belongs on the configuring thread, never on the one that streams blocks.
class FftAnalyzer {
public:
    FftAnalyzer();
    ~FftAnalyzer();
    FftAnalyzer(const FftAnalyzer&) = delete;
    FftAnalyzer& operator=(const FftAnalyzer&) = delete;

    // 0 is ignored. Rebuilds window, buffers and plan.
    void setSize(std::size_t n);
    // Rebuilds the window only when the type actually changes.
    void setWindowType(int type);

    std::size_t size() const { return m_size; }
    int windowType() const { return m_windowType; }
    const std::vector<float>& window() const { return m_window; }
    float windowSum() const { return m_windowSum; }
    uint64_t windowBuilds() const { return m_windowBuilds; }

    // out := 10 log10((|X| / S / 2^15)^2 + 1e-24) per bin. Uses the first min(count, N) samples,
    // zero-pads the rest; leaves out untouched for a null or empty block.
    void process(const IqSample* samples, std::size_t count, std::vector<float>& out);
    // Same spectrum as linear power, (|X| / S / 2^15)^2 + 1e-24: 10 log10 of it is what process
    // returns. The spectrum thread works on this and converts to dB only where a level is shown.
    // Returns I^2 + Q^2 summed over all count samples (0 for a null block), gathered while
    // windowing: the block level's input.
    uint64_t processPower(const IqSample* samples, std::size_t count, std::vector<float>& out);
    // The same for a block in two pieces, the second following the first in time.
    uint64_t processPower(const IqBlockView& block, std::vector<float>& out);

    // Equivalent noise bandwidth in bins of a window type (1 for an unknown type).
    static double enbwBins(int windowType);
    // The resolution bandwidth the display reports; 0 for N = 0.
    static double rbwHz(double sampleRateHz, std::size_t n, int windowType);

private:
    struct FftwFree {
        void operator()(void* p) const { fftwf_free(p); }
    };
    struct PlanDestroy {
        void operator()(fftwf_plan p) const { fftwf_destroy_plan(p); }
    };
    using ComplexBuffer = std::unique_ptr<fftwf_complex[], FftwFree>;
    using Plan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, PlanDestroy>;

    void buildWindow();
    void allocate(std::size_t n);
    // Windows the block, transforms it and writes the floored power per bin; sums the block's
    // I^2 + Q^2 into m_sumOfSquares.
    bool transformToPower(const IqBlockView& block, std::vector<float>& out);

    std::size_t m_size = 2048;
    int m_windowType = 0;
    std::vector<float> m_window;
    // The window repeated per I and Q value, read in step with the interleaved block.
    AlignedFloats m_interleavedWindow;
    float m_windowSum = 0.0f;
    uint64_t m_sumOfSquares = 0;
    uint64_t m_windowBuilds = 0;
    std::size_t m_capacity = 0;
    ComplexBuffer m_input;
    ComplexBuffer m_output;
    Plan m_plan;
};
