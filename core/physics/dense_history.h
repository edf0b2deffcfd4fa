#pragma once
// The continuous past of every body: one quartic per accepted step (the step's continuous
// extension), segments kept in the order of time, so that any time they cover can be read to
// the extension's order. Steps may run backwards (the past before t = 0 is integrated that
// way): a segment holds its own base time and signed step.

#include <cstddef>
#include <deque>
#include <span>
#include <vector>

#include "core/physics/dormand_prince.h"
#include "core/physics/force_law.h"

namespace gravlag {

// The state at tBase + theta h is sum_m coef[comp * 5 + m] theta^m, theta = (t - tBase) / h.
// Components come four a body: x, y, vx, vy.
struct DenseSegment {
    double tBase = 0, h = 0;
    std::vector<double> coef;

    double left() const { return h >= 0 ? tBase : tBase + h; }
    double right() const { return h >= 0 ? tBase + h : tBase; }
    // Body b at time t; outside [left, right] the quartic is extrapolated.
    Motion bodyAt(std::size_t b, double t) const;
};

// The segment of the step just taken by Dp5Step from (t, y) with step h.
DenseSegment MakeDenseSegment(double t, double h, std::span<const double> y, const Dp5Work& w);

class DenseHistory {
public:
    bool empty() const { return segments_.empty(); }
    std::size_t size() const { return segments_.size(); }
    double begin() const { return segments_.front().left(); }
    double end() const { return segments_.back().right(); }
    const DenseSegment& front() const { return segments_.front(); }
    const DenseSegment& back() const { return segments_.back(); }

    void pushBack(DenseSegment s) { segments_.push_back(std::move(s)); }   // later in time
    void pushFront(DenseSegment s) { segments_.push_front(std::move(s)); } // earlier
    // Drops the oldest segments that end before t, never the last one.
    void dropBefore(double t);

    // Body b at time t: from the segment that covers t (the later one on a shared edge),
    // extrapolated from the first or last segment outside them all. Not empty.
    Motion bodyAt(std::size_t b, double t) const { return segmentAt(t).bodyAt(b, t); }
    const DenseSegment& segmentAt(double t) const;

    // Memory held by the segments' coefficients, bytes.
    std::size_t bytes() const;

private:
    std::deque<DenseSegment> segments_;
};

} // namespace gravlag
