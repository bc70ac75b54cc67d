#include "modem/element_filters.h"

#include <algorithm>

namespace zk {

ElementFilters::ElementFilters(int samplesPerElement)
    : length_(samplesPerElement),
      markRing_(static_cast<size_t>(samplesPerElement)),
      spaceRing_(static_cast<size_t>(samplesPerElement)) {}

void ElementFilters::SetTones(double mark, double space) {
  mark_.SetFrequency(-mark);
  space_.SetFrequency(-space);
}

void ElementFilters::Halves(const std::vector<Cf>& ring, int pos, Cf* older, Cf* newer) {
  // Summed afresh at every sample: no running sum to carry rounding or a burst forever.
  const int n = static_cast<int>(ring.size());
  Cf a(0, 0), b(0, 0);
  for (int k = 0; k < n / 2; ++k) a += ring[static_cast<size_t>((pos + k) % n)];
  for (int k = n / 2; k < n; ++k) b += ring[static_cast<size_t>((pos + k) % n)];
  *older = a;
  *newer = b;
}

void ElementFilters::Clear() {
  std::fill(markRing_.begin(), markRing_.end(), Cf(0, 0));
  std::fill(spaceRing_.begin(), spaceRing_.end(), Cf(0, 0));
}

void ElementFilters::Push(Cf x) {
  const Cd m = mark_.Next(), s = space_.Next();
  const Cd xd(x.real(), x.imag());
  const Cd xm = xd * m, xs = xd * s;
  markRing_[static_cast<size_t>(pos_)] = Cf(static_cast<float>(xm.real()), static_cast<float>(xm.imag()));
  spaceRing_[static_cast<size_t>(pos_)] = Cf(static_cast<float>(xs.real()), static_cast<float>(xs.imag()));
  pos_ = pos_ + 1 == length_ ? 0 : pos_ + 1;
  Halves(markRing_, pos_, &markOld_, &markNew_);
  Halves(spaceRing_, pos_, &spaceOld_, &spaceNew_);
}

}  // namespace zk
