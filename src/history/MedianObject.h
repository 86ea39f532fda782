// Sliding-window median: once it holds N values it returns their median with each new value, so
// that one odd reading does not flip the sky state.
#pragma once

#include <vector>

class TMedianObject {
  public:
    explicit TMedianObject(int nbSamples);
    virtual ~TMedianObject() = default;

    // Pushes valueIn; when the window is full sets value to the median (the upper middle for an
    // even window) and returns true. Otherwise leaves value untouched and returns false.
    bool Return(double valueIn, double& value);

    int NbSamples() const { return NbSamples_; }
    int Counter() const { return Counter_; }
    bool FifoFull() const { return FifoFull_; }

  private:
    int NbSamples_;
    int Counter_ = 0;
    bool FifoFull_ = false;
    std::vector<double> Fifo_; // oldest at index 0
};
