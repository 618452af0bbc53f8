// Throughput of readBlock on 16-bit stereo input: reading, decoding, DC sums,
// oscillator and blanker power, in samples (frames) per second.
//
// The input is a canonical WAV file written once into the temporary directory:
// "RIFF", size, "WAVE", a 16-byte "fmt " chunk (PCM, 2 channels, 48000 Hz,
// 16 bits), then one "data" chunk of interleaved little-endian (real,
// imaginary) values. It stays in the page cache, so the figures measure the
// decoder rather than the disk.
#include "acquisition/source.h"
#include "top/input.h"
#include "top/record.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace velkor {

namespace {

class QuietConsole final : public Console {
public:
  void write(std::string_view) override {}
  void lineEnd() override {}
  void returnToColumnOne() override {}
  void endCurrentLine() override {}
  bool somethingOnLine() const override { return false; }
};

class NoKeys final : public Keyboard {
public:
  int readKey() override { return -1; }
  void waitForKey(double) override {}
};

class StillClock final : public Clock {
public:
  double timer() override { return 0; }
  std::string dateText() override { return "01-01-2001"; }
  std::string timeText() override { return "00:00:00"; }
  void sleep(double) override {}
};

class NoCommands final : public CommandRunner {
public:
  void run(const std::string&) override {}
};

class ZeroRandom final : public Random {
public:
  double uniform() override { return 0; }
};

std::string little(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// 64 MiB of pseudo-random 16-bit stereo samples, removed when the run ends.
struct TemporaryRecording {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "velkor-readblock-bench.wav";
  TemporaryRecording() {
    const uint32_t frames = 16u << 20;
    std::string data;
    data.reserve(4 * std::size_t{frames});
    uint32_t state = 1;
    for (uint32_t i = 0; i < 2 * frames; ++i) {
      state = state * 1664525u + 1013904223u;
      data += little(state >> 20, 2); // values below 4096, as a receiver's noise floor
    }
    std::ofstream out(file, std::ios::binary);
    out << "RIFF" << little(36 + 4 * frames, 4) << "WAVEfmt " << little(16, 4) << little(1, 2) << little(2, 2)
        << little(48000, 4) << little(4 * 48000, 4) << little(4, 2) << little(16, 2) << "data" << little(4 * frames, 4)
        << data;
  }
  ~TemporaryRecording() {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
};

std::string recording() {
  static const TemporaryRecording recording;
  return recording.file.string();
}

void readBlocks(benchmark::State& bench, double looffset, int16_t nb) {
  QuietConsole console;
  NoKeys keyboard;
  StillClock clock;
  NoCommands commands;
  ZeroRandom random;
  Platform platform{console, keyboard, clock, commands, random, std::cerr};
  auto record = std::make_unique<Record>();
  Record& s = *record;
  s.settings.inputfile = recording();
  s.settings.wavinput = 1;
  s.settings.sr = 48000;
  s.settings.looffset = looffset;
  s.settings.nb = nb;
  computeBlockGeometry(s.settings, s.acquisition);
  dimensionBuffer(s.acquisition);
  resetStreamClock(s.settings, s.acquisition);
  initialiseDecoder(s.settings, s.acquisition);
  openInput(s, platform);
  int64_t samples = 0;
  for (auto _ : bench) {
    if (s.acquisition.inputremaining < s.acquisition.blockbytes) {
      bench.PauseTiming();
      openInput(s, platform);
      bench.ResumeTiming();
    }
    readNextBlock(s, platform);
    samples += s.acquisition.newsamples;
    benchmark::DoNotOptimize(s.acquisition.samplere.data());
  }
  bench.SetItemsProcessed(samples);
}

void plain(benchmark::State& bench) { readBlocks(bench, 0, 0); }
void withOscillator(benchmark::State& bench) { readBlocks(bench, 1234.5, 0); }
void withBlanker(benchmark::State& bench) { readBlocks(bench, 0, 1); }
void withOscillatorAndBlanker(benchmark::State& bench) { readBlocks(bench, 1234.5, 1); }

} // namespace

BENCHMARK(plain)->Name("readBlock/16bit_stereo");
BENCHMARK(withOscillator)->Name("readBlock/16bit_stereo_oscillator");
BENCHMARK(withBlanker)->Name("readBlock/16bit_stereo_blanker");
BENCHMARK(withOscillatorAndBlanker)->Name("readBlock/16bit_stereo_oscillator_blanker");

} // namespace velkor
