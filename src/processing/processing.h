// The processing part of the run's record: per-station integration state,
// the short and long sums, the noise blanker, the reference edge and the
// oscillator tracking, and the rotation and DC corrections of the transfer.
// This subsystem writes it; the image row rendering takes the long sums off
// the cross-rate strips in place (render.h).
#pragma once

#include "processing/windowkernels.h"

#include <cstdint>
#include <vector>

namespace velkor {

struct Processing {
  // ---- Station integration -------------------------------------------------
  std::vector<float> arrivaloffset;      // [s] emission delay plus propagation
  std::vector<double> arrivalphase;      // [s] arrival of pulse 0 within the interval
  std::vector<double> nextpulse;         // stream time of the next window start [s]
  std::vector<int32_t> pulseindex;       // [slot] of the next pulse
  std::vector<int32_t> pulsesintegrated; // [pulses] in this short integration
  std::vector<float> roundingresidue;    // [samples] summed position - index
  std::vector<int32_t> signsum;          // sum of the signs used
  std::vector<int32_t> shortsumre;       // per point [sample units]
  std::vector<int32_t> shortsumim;       // per point [sample units]
  std::vector<float> longsumre;          // per point [sample units]
  std::vector<float> longsumim;          // per point [sample units]
  std::vector<float> longdrift;          // per station [samples]
  std::vector<float> nbpowersum;         // per point [sample units^2]
  std::vector<float> nbthreshold;        // per point [sample units^2]
  std::vector<float> nbblankcount;       // per point [samples]
  float phaserefcos = 1.0f;              // cos(phasereference)
  float phaserefsin = 0;                 // sin(phasereference)
  WindowKernels windows;                 // the window loops' build; chooseWindowKernels at preparation

  // ---- Oscillator tracking ---------------------------------------------------
  int32_t resyncrequests = 0;  // pending re-synchronisation requests
  int32_t lockcount = 0;       // consecutive strong periods, 0 ... 4
  int16_t clocklost = 0;       // 1: a sample-clock correction ran out of its sane band; re-synchronise at once
  std::vector<float> envelope; // per point of the reference window [sample units]
  float edgemax = 0;           // largest envelope in the search window [sample units]
  float edgefrac = 0;          // [points] between k and k + 1
  float edgeposition = 0;      // [points]
  float edgere = 0;            // reference value at the edge [sample units]
  float edgeim = 0;            // [sample units]
  float edgeamplitude = 0;     // [sample units]
  float edgephase = 0;         // [rad] in [0, 2 pi)
  float lastphase = 0;         // [cycles]
  float relfreq = 0;           // relative oscillator frequency error [1]
  float lotime = 0;            // accumulated oscillator time offset [us]
  float srlodrift = 0;         // expected drift over one period [us]
  float lodisplay = 0;         // lotime shown while locked [us]
  float pllavgfreq = 0;        // average of relfreq, Settings::pllavfini at start-up [1]
  float srloavg = 0;           // average expected drift rate [1]
  double pllvalue = 0;         // oscillator command argument

  // ---- Transfer into the long averages ---------------------------------------
  float phaserotre = 1.0f; // reference rotation, real part
  float phaserotim = 0;    // reference rotation, imaginary part
  float dcmeanre = 0;      // [sample units] per sample
  float dcmeanim = 0;      // [sample units] per sample
  float workbiasre = 0;    // [sample units]
  float workbiasim = 0;    // [sample units]
};

} // namespace velkor
