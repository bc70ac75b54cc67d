#include "modem/dsp.h"

#include <algorithm>
#include <cmath>

namespace zk {

int KaiserTaps(double attenuationDb, double transition) {
  const double n = (attenuationDb - 7.95) / (2.285 * kTwoPi * transition);
  return std::max(3, static_cast<int>(std::ceil(n)) | 1);
}

double KaiserBeta(double attenuationDb) {
  if (attenuationDb > 50) return 0.1102 * (attenuationDb - 8.7);
  if (attenuationDb > 21) return 0.5842 * std::pow(attenuationDb - 21, 0.4) + 0.07886 * (attenuationDb - 21);
  return 0;
}

namespace {

// I0 by its power series; converges quickly for the arguments the window uses.
double BesselI0(double x) {
  double sum = 1, term = 1;
  const double q = x * x / 4;
  for (int k = 1; k < 60 && term > sum * 1e-12; ++k) {
    term *= q / (k * k);
    sum += term;
  }
  return sum;
}

}  // namespace

double KaiserWindow(double x, double beta) {
  if (x < -1 || x > 1) return 0;
  return BesselI0(beta * std::sqrt(1 - x * x)) / BesselI0(beta);
}

double LogBesselI0(double x) {
  // Abramowitz and Stegun 9.8.1 and 9.8.2.
  if (x < 3.75) {
    const double t = (x / 3.75) * (x / 3.75);
    return std::log(
        1 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
  }
  const double t = 3.75 / x;
  const double p =
      0.39894228 +
      t * (0.01328592 +
           t * (0.00225319 +
                t * (-0.00157565 +
                     t * (0.00916281 + t * (-0.02057706 + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
  return x - 0.5 * std::log(x) + std::log(p);
}

void Oscillator::SetFrequency(double cyclesPerSample) {
  frequency_ = cyclesPerSample;
  step_ = std::polar(1.0, kTwoPi * cyclesPerSample);
}

Cd Oscillator::Next() {
  const Cd now = phasor_;
  phasor_ *= step_;
  if (++sinceNormalised_ >= 256) {
    phasor_ /= std::abs(phasor_);
    sinceNormalised_ = 0;
  }
  return now;
}

}  // namespace zk
