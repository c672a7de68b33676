#!/usr/bin/python3
"""Reference flowgraphs for our spectrum and demodulation benchmarks, built from GNU Radio's
stock blocks. Each reads a cs16 file (interleaved int16 I/Q, repeated as needed), runs a fixed
number of samples through a head block into null sinks, and prints one line with the CPU time
of the whole process (all of the flowgraph's threads), so that pinned to one core it gives the
per-core cost:

  gr_reference.py fft FILE N SAMPLES
      gap-free log-power spectrum: vector of N, Hann window, FFT, |X|^2, 10 log10
  gr_reference.py wbfm stereo|mono FILE RATE OFFSET_HZ SAMPLES
      two-stage broadcast FM receiver: frequency-translating FIR down to RATE/12, FIR down to
      500 kHz, quadrature demodulation (with the pilot loop and stereo decoding in stereo),
      audio at 50 kHz, rational resampler to 48 kHz
"""
import resource
import sys
import time

from gnuradio import analog, blocks, fft, filter, gr
from gnuradio.fft import window
from gnuradio.filter import firdes


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def iq_source(tb, path, samples):
    """File of interleaved int16 I/Q, repeated, cut to `samples` pairs, as complex floats."""
    source = blocks.file_source(gr.sizeof_short, path, True)
    head = blocks.head(gr.sizeof_short, 2 * samples)
    to_complex = blocks.interleaved_short_to_complex(False, False, 1.0 / 32768.0)
    tb.connect(source, head, to_complex)
    return to_complex


def log_power_fft(path, n, samples):
    tb = gr.top_block()
    iq = iq_source(tb, path, samples)
    to_vector = blocks.stream_to_vector(gr.sizeof_gr_complex, n)
    transform = fft.fft_vcc(n, True, window.hann(n), True, 1)
    power = blocks.complex_to_mag_squared(n)
    log = blocks.nlog10_ff(10.0, n, 0.0)
    sink = blocks.null_sink(gr.sizeof_float * n)
    tb.connect(iq, to_vector, transform, power, log, sink)
    return tb, samples // n, "blocks"


def wbfm_receiver(stereo, path, rate, offset_hz, samples):
    tb = gr.top_block()
    iq = iq_source(tb, path, samples)
    first_decimation = 12
    first_rate = rate / first_decimation
    channel_rate = 500e3
    second_decimation = int(round(first_rate / channel_rate))
    # Hamming-windowed low-pass filters, the usual choice for these stages.
    first = filter.freq_xlating_fir_filter_ccf(
        first_decimation, firdes.low_pass(1.0, rate, 200e3, first_rate - 2 * 200e3 - 100e3), offset_hz, rate)
    second = filter.fir_filter_ccf(second_decimation, firdes.low_pass(1.0, first_rate, 110e3, 90e3))
    tb.connect(iq, first, second)
    audio_decimation = 10
    resamplers = [filter.rational_resampler_fff(48, 50) for _ in range(2 if stereo else 1)]
    if stereo:
        receiver = analog.wfm_rcv_pll(channel_rate, audio_decimation, 75e-6)
    else:
        receiver = analog.wfm_rcv(channel_rate, audio_decimation)
    tb.connect(second, receiver)
    for port, resampler in enumerate(resamplers):
        tb.connect((receiver, port), resampler, blocks.null_sink(gr.sizeof_float))
    taps = "taps %d + %d" % (len(first.taps()), len(second.taps()))
    return tb, samples, taps


def main(argv):
    kind = argv[1]
    if kind == "fft":
        path, n, samples = argv[2], int(argv[3]), int(argv[4])
        tb, units, note = log_power_fft(path, n, samples)
        label = "gnuradio log-power FFT N=%d" % n
    elif kind == "wbfm":
        stereo = argv[2] == "stereo"
        path, rate, offset, samples = argv[3], float(argv[4]), float(argv[5]), int(argv[6])
        tb, units, note = wbfm_receiver(stereo, path, rate, offset, samples)
        label = "gnuradio WBFM %s %.0f MS/s" % (argv[2], rate / 1e6)
    else:
        sys.exit("unknown reference: " + kind)
    cpu0, wall0 = cpu_seconds(), time.monotonic()
    tb.run()
    cpu = cpu_seconds() - cpu0
    wall = time.monotonic() - wall0
    if kind == "fft":
        print("%s | %.3f us/block (cpu) | %d blocks | wall %.2f s" % (label, cpu / units * 1e6, units, wall))
    else:
        print("%s | %.1f MS/s per core-s | %s | cpu %.2f s wall %.2f s" % (label, samples / cpu / 1e6, note, cpu, wall))


if __name__ == "__main__":
    main(sys.argv)
