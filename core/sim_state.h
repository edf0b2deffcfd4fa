#pragma once
// The one simulation state of the program: bodies, position histories, measurement
// histories and the physical settings that the panel and the run share. Everything starts
// at 0 and lives as long as the program; nothing is allocated during a run. What the
// displays show it with (plot colour, plot width) is theirs.

#include <array>
#include <cstdint>
#include <numbers>

namespace gravlag {

inline constexpr double kPi = std::numbers::pi; // the same double as 4 * atan(1)
inline constexpr double kGConst = 1.0;          // gravitational constant

inline constexpr int kBodies = 3;
inline constexpr int kHistoryEntries = 21; // entries 0..20: now, then one pass back each
inline constexpr int kSepEntries = 5;

// The six position histories (x and y of bodies 0..2) as one ring: a pass moves the ring's
// head instead of shifting every entry, and entry(h) still means "h passes back".
class PositionHistory {
public:
    static constexpr unsigned kRing = 32; // power of two >= kHistoryEntries
    static_assert(kRing >= kHistoryEntries && (kRing & (kRing - 1u)) == 0);
    double x(int body, int h) const { return xs_[body][slot(h)]; }
    double y(int body, int h) const { return ys_[body][slot(h)]; }
    // Every entry of every body set to one position per body.
    void fill(const std::array<double, kBodies>& x, const std::array<double, kBodies>& y);
    // One pass later: the old entries move one place back, entry 0 becomes (x, y).
    void push(const std::array<double, kBodies>& x, const std::array<double, kBodies>& y)
    {
        head_ = (head_ - 1u) & (kRing - 1u);
        // Unrolled, so that a main loop that keeps x and y in registers can hand them in.
#pragma GCC unroll 3
        for (int b = 0; b < kBodies; ++b) {
            xs_[b][head_] = x[b];
            ys_[b][head_] = y[b];
        }
    }
    unsigned head() const { return head_; }
    const double* xRing(int body) const { return xs_[body].data(); }
    const double* yRing(int body) const { return ys_[body].data(); }
    // Sweep lanes keep a run's history in a ring of theirs and write it back slot by slot.
    double* xRing(int body) { return xs_[body].data(); }
    double* yRing(int body) { return ys_[body].data(); }
    void setHead(unsigned head) { head_ = head & (kRing - 1u); }

private:
    unsigned slot(int h) const { return (head_ + static_cast<unsigned>(h)) & (kRing - 1u); }
    std::array<std::array<double, kRing>, kBodies> xs_{};
    std::array<std::array<double, kRing>, kBodies> ys_{};
    unsigned head_ = 0;
};

// The scenario box "Choice"; the values are the scenario's code.
enum class Scenario : std::int16_t { TwoBlackHoles = 0, Mercury = 1 }; // "2 BH's", "Mercury"

// Raised by "Stop" (or by closing the panel) and read by the running run before each pass.
enum class StopRequest : std::int16_t { None = 0, Stop = 1 };

struct SimState {
    // Per body, index 0..2 (the panel numbers them 1..3).
    std::array<double, kBodies> mass{}; // mass units
    std::array<double, kBodies> x{}, y{};   // position, length units
    std::array<double, kBodies> vx{}, vy{}; // velocity, length per time unit
    std::array<double, kBodies> fx{}, fy{}; // force sum on the target in the last pass, per unit mass
    std::array<double, kBodies> xRet{}, yRet{}; // retarded source position of the last pair evaluated

    // xHist0..yHist2: entry h = position h passes back.
    PositionHistory hist;
    double xHist0(int h) const { return hist.x(0, h); }
    double yHist0(int h) const { return hist.y(0, h); }
    double xHist1(int h) const { return hist.x(1, h); }
    double yHist1(int h) const { return hist.y(1, h); }
    double xHist2(int h) const { return hist.x(2, h); }
    double yHist2(int h) const { return hist.y(2, h); }

    std::array<double, kSepEntries> sepHist{};   // distance of bodies 0 and 1, entry h = h passes back
    std::array<double, kSepEntries> angleHist{}; // degrees [0, 360), at the latest apsis event

    double c = 0;      // propagation speed; <= 0 means instantaneous forces
    double dt = 0;     // time step, never 0 after "Calculate"
    double dx1 = 0;    // "r  m(2)"
    double dx2 = 0;    // "r  m(3)"
    StopRequest stopFlag = StopRequest::None;    // None again at every run start
    Scenario scenarioCode = Scenario::TwoBlackHoles;
};

} // namespace gravlag
