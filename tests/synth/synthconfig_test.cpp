// The synthesiser's settings file, its calendar and the scenario it builds.
#include "synthtestutil.h"
#include "synthtime.h"

#include <gtest/gtest.h>

namespace velkor::synth::test {

TEST(SynthConfigFile, ReadsEveryKeyInTheReceiversStyle) {
  SynthConfig c = parseSynthConfig(
      "[Location]\r\n lat = 48.38 ; Brest\nlon=-4.49\n"
      "[file]\ntable = Data/Table.txt\ndat = Out/Audio\nsplit = 10\nbits = 8\nmono\n"
      "date = 03-01-2015\ntime = 12:00:00.25\n"
      "[frequency]\nsr = 44100\nppm = -12.5\nbandcenter = 2000\nloerror = 1e-9\n"
      "[time]\nduration = 90\nasf = 1.01\n"
      "[signal]\namplitude = 800\nnoise = 300\nseed = 42\ndc = 5, -3\nimpulserate = 2\n"
      "impulseamplitude = 20000\ncwfrequency = -1234.5\ncwamplitude = 100\npulseend = 400\n"
      "[stations]\n7499m = 1, 0\n6731X = 0.5, -45 ' comment\n9007w\n-8940m = 0.25\nword = 3\n");
  EXPECT_DOUBLE_EQ(c.lat, 48.38);
  EXPECT_DOUBLE_EQ(c.lon, -4.49);
  EXPECT_EQ(c.table, "Data/Table.txt");
  EXPECT_EQ(c.output, "Out/Audio");
  EXPECT_EQ(c.kind, OutputKind::Raw);
  EXPECT_DOUBLE_EQ(c.split, 10);
  EXPECT_EQ(c.bits, 8);
  EXPECT_EQ(c.channels, 1);
  EXPECT_EQ(c.date, "03-01-2015");
  EXPECT_EQ(c.time, "12:00:00.25");
  EXPECT_DOUBLE_EQ(c.sr, 44100);
  EXPECT_DOUBLE_EQ(c.ppm, -12.5);
  EXPECT_DOUBLE_EQ(c.bandcenter, 2000);
  EXPECT_DOUBLE_EQ(c.loerror, 1e-9);
  EXPECT_DOUBLE_EQ(c.duration, 90);
  EXPECT_DOUBLE_EQ(c.asf, 1.01);
  EXPECT_DOUBLE_EQ(c.amplitude, 800);
  EXPECT_DOUBLE_EQ(c.noise, 300);
  EXPECT_EQ(c.seed, 42u);
  EXPECT_DOUBLE_EQ(c.dcre, 5);
  EXPECT_DOUBLE_EQ(c.dcim, -3);
  EXPECT_DOUBLE_EQ(c.impulserate, 2);
  EXPECT_DOUBLE_EQ(c.impulseamplitude, 20000);
  EXPECT_DOUBLE_EQ(c.cwfrequency, -1234.5);
  EXPECT_DOUBLE_EQ(c.cwamplitude, 100);
  EXPECT_DOUBLE_EQ(c.pulseend, 400);
  ASSERT_EQ(c.stations.size(), 4u);
  EXPECT_EQ(c.stations[0].gri, 7499);
  EXPECT_EQ(c.stations[0].letter, 'M');
  EXPECT_EQ(c.stations[1].letter, 'X');
  EXPECT_DOUBLE_EQ(c.stations[1].amplitude, 0.5);
  EXPECT_DOUBLE_EQ(c.stations[1].phase, -45);
  EXPECT_EQ(c.stations[2].letter, 'W');
  EXPECT_DOUBLE_EQ(c.stations[2].amplitude, 1.0) << "a bare key is heard at full amplitude";
  EXPECT_EQ(c.stations[3].gri, 8940) << "a minus sign is accepted and dropped";
  EXPECT_DOUBLE_EQ(c.stations[3].amplitude, 0.25);
  EXPECT_TRUE(checkSynthConfig(c).empty());
}

TEST(SynthConfigFile, DefaultsAndRefusals) {
  SynthConfig c = parseSynthConfig("sr = 1\n[unknown]\nsr = 2\n[file]\nwav = a.wav\nstereo\n");
  EXPECT_DOUBLE_EQ(c.sr, 48000) << "keys before a header or in unknown sections do nothing";
  EXPECT_EQ(c.kind, OutputKind::Wav);
  EXPECT_EQ(c.channels, 2);
  EXPECT_EQ(c.bits, 16);
  EXPECT_EQ(c.headerBytes, 44);
  EXPECT_TRUE(c.date.empty());
  EXPECT_TRUE(checkSynthConfig(c).empty());
  EXPECT_FALSE(checkSynthConfig(parseSynthConfig("[frequency]\nsr = 0\n")).empty());
  EXPECT_FALSE(checkSynthConfig(parseSynthConfig("[time]\nduration = -1\n")).empty());
  EXPECT_FALSE(checkSynthConfig(parseSynthConfig("[file]\nheader = 45\n")).empty());
  EXPECT_FALSE(checkSynthConfig(parseSynthConfig("[signal]\npulseend = 2000\n")).empty());
  EXPECT_FALSE(checkSynthConfig(parseSynthConfig("[time]\nduration = 30000\n")).empty()) << "WAV over 4 GB";
  EXPECT_TRUE(checkSynthConfig(parseSynthConfig("[file]\ndat = x\n[time]\nduration = 30000\n")).empty());
}

TEST(SynthCalendar, InternalTimeMatchesTheReceiversClockForWholeSeconds) {
  auto at = [](const char* date, const char* time) { return internalTime(*parseCivilTime(date, time)); };
  EXPECT_EQ(at("01-01-2001", "00:00:00").seconds, 15706LL * 86400 + 22);
  EXPECT_EQ(at("03-01-2015", "12:00:00").seconds, 1803902425LL);
  EXPECT_EQ(at("2015-03-01", "12:00:00").seconds, 1803902425LL);
  EXPECT_EQ(at("03-01-2000", "00:00:00").seconds, 15400LL * 86400 + 22);
  EXPECT_EQ(at("01-01-1958", "00:00:00").seconds, 22);
  AbsoluteTime f = at("03-01-2015", "12:00:00.125");
  EXPECT_EQ(f.seconds, 1803902425LL);
  EXPECT_DOUBLE_EQ(f.fraction, 0.125);
  EXPECT_EQ(leapSeconds(2005, 12), 0);
  EXPECT_EQ(leapSeconds(2006, 1), 1);
  EXPECT_EQ(leapSeconds(2009, 1), 2);
  EXPECT_EQ(leapSeconds(2012, 5), 2);
  EXPECT_EQ(leapSeconds(2012, 6), 3);
  EXPECT_EQ(at("06-01-2012", "00:00:00").seconds - at("05-31-2012", "00:00:00").seconds, 86401);
}

TEST(SynthCalendar, ParsesAndPrintsBackUtc) {
  EXPECT_FALSE(parseCivilTime("13-01-2015", "00:00:00"));
  EXPECT_FALSE(parseCivilTime("02-30-2015", "00:00:00"));
  EXPECT_FALSE(parseCivilTime("03-01-2015", "24:00:00"));
  EXPECT_FALSE(parseCivilTime("03-01-2015", "12:00"));
  EXPECT_FALSE(parseCivilTime("03-01-2015", "12:00:00x"));
  EXPECT_TRUE(parseCivilTime("02-29-2012", "23:59:59.5"));
  AbsoluteTime t = internalTime(*parseCivilTime("12-31-2015", "23:59:58.75"));
  EXPECT_EQ(formatCivil(utcOf(t)), "2015-12-31 23:59:58.750000");
  EXPECT_EQ(formatCivil(utcOf(AbsoluteTime{})), "1957-12-31 23:59:38.000000");
}

TEST(SynthCalendar, PositionInTheRepetitionIntervalIsExactFarFrom1958) {
  AbsoluteTime t{1803902425, 0.35};
  // whole seconds in ticks of 1/50000 s, modulo the 7499 ticks of the interval
  long long ticks = (1803902425LL % 7499) * 50000 % 7499;
  EXPECT_DOUBLE_EQ(phaseInInterval(t, 7499), std::fmod(ticks / 50000.0 + 0.35, 0.14998));
  EXPECT_DOUBLE_EQ(phaseInInterval(AbsoluteTime{0, 0.2}, 7499), 0.2 - 0.14998);
  EXPECT_NEAR(phaseInInterval(AbsoluteTime{-1, 0.05}, 5000), 0.05, 1e-15);
}

TEST(SynthScenario, PulsePatternsAndCodes) {
  std::vector<double> offsets;
  std::vector<int> signs;
  pulsePattern(7499, true, offsets, signs);
  ASSERT_EQ(offsets.size(), 18u);
  EXPECT_DOUBLE_EQ(offsets[7], 0.007);
  EXPECT_DOUBLE_EQ(offsets[8], 0.009);
  EXPECT_DOUBLE_EQ(offsets[9], 0.07499);
  EXPECT_DOUBLE_EQ(offsets[17], 0.07499 + 0.009);
  EXPECT_EQ(signs, (std::vector<int>{1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1}));
  pulsePattern(6731, false, offsets, signs);
  ASSERT_EQ(offsets.size(), 16u);
  EXPECT_DOUBLE_EQ(offsets[7], 0.007);
  EXPECT_DOUBLE_EQ(offsets[8], 0.06731);
  EXPECT_EQ(signs, (std::vector<int>{1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1}));
  EXPECT_TRUE(isMasterLetter('M'));
  EXPECT_TRUE(isMasterLetter('K'));
  EXPECT_FALSE(isMasterLetter('X'));
}

TEST(SynthScenario, ArrivalsFollowFromDelayDistanceAndStart) {
  SynthConfig c = quietConfig();
  c.date = "03-01-2015";
  c.time = "12:00:00.35";
  c.ppm = 10;
  c.stations = {{7499, 'X', 0.5, 30}, {6731, 'Z', 1, 0}};
  Scenario s = buildScenario(c, testTable());
  EXPECT_DOUBLE_EQ(s.trueRate, 48000 * (1 + 10e-6));
  EXPECT_EQ(s.frames, std::llround(2 * s.trueRate));
  EXPECT_DOUBLE_EQ(s.propagationSpeed, 299792458 / 1.0009 / 1.008);
  for (const StationTruth& t : s.stations) {
    double pci = t.gri / 50000.0;
    double tau = t.emissionDelay + t.distance * 1000 / s.propagationSpeed;
    EXPECT_NEAR(t.arrival, std::fmod(tau, pci), 1e-12);
    // stream time 0 is absolute time 1803902425.35: the next PCI start of the grid comes later by
    long double start = 1803902425.35L;
    long double intoPci = std::fmod(start, static_cast<long double>(t.gri) / 50000.0L);
    long double expected = std::fmod(static_cast<long double>(t.arrival) - intoPci + pci, static_cast<long double>(pci));
    EXPECT_NEAR(t.streamArrival, static_cast<double>(expected), 1e-8);
    EXPECT_NEAR(t.streamArrivalSamples, t.streamArrival * s.trueRate, 1e-6);
    double cycles = 100000.0L * tau;
    EXPECT_NEAR(wrapRadians((t.carrierPhase - t.phase) * std::numbers::pi / 180 + 2 * std::numbers::pi * cycles), 0,
                1e-6);
  }
  EXPECT_NEAR(s.stations[0].emissionDelay, 0.0141, 1e-12);
  EXPECT_DOUBLE_EQ(s.stations[0].amplitude, 500);
  EXPECT_EQ(s.stations[0].name, "Lessay");
  EXPECT_FALSE(s.stations[0].master);

  c.stations = {{8940, 'M', 1, 0}};
  EXPECT_THROW(buildScenario(c, testTable()), std::runtime_error);
  c.stations.clear();
  c.date = "13-45-2015";
  EXPECT_THROW(buildScenario(c, testTable()), std::runtime_error);
}

} // namespace velkor::synth::test
