#include "MedianObject.h"

#include <cstddef>
#include <utility>

TMedianObject::TMedianObject(int nbSamples)
    : NbSamples_(nbSamples > 0 ? nbSamples : 1), Fifo_(static_cast<size_t>(NbSamples_), 0.0) {}

bool TMedianObject::Return(double valueIn, double& value) {
    const size_t n = static_cast<size_t>(NbSamples_);
    if (Counter_ == NbSamples_) {
        for (size_t i = 0; i + 1 < n; ++i)
            Fifo_[i] = Fifo_[i + 1];
        Fifo_[n - 1] = valueIn;
    } else {
        Fifo_[static_cast<size_t>(Counter_++)] = valueIn;
    }
    FifoFull_ = Counter_ == NbSamples_;
    if (!FifoFull_) return false;

    // The window is tiny: an exchange sort on a copy keeps the FIFO in arrival order.
    std::vector<double> sorted = Fifo_;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = n - 1; j > i; --j)
            if (sorted[i] > sorted[j]) std::swap(sorted[i], sorted[j]);
    value = sorted[n / 2];
    return true;
}
