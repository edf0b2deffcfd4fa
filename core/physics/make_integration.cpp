#include "core/physics/make_integration.h"

#include "core/finite.h"
#include "core/physics/euler_integration.h"
#include "core/physics/reference_integration.h"
#include "core/physics/shortest_text.h"

namespace gravlag {

std::string SystemProblem(const System& system, const Model& model)
{
    const std::size_t n = system.bodies.size();
    if (n < 1 || n > kMaxBodies)
        return "a system has 1 to " + std::to_string(kMaxBodies) + " bodies, not "
            + std::to_string(n);
    if (!Finite(system.c) || system.c < 0)
        return "c must be a finite number >= 0, not " + ShortestText(system.c);
    for (std::size_t i = 0; i < n; ++i) {
        const Body& b = system.bodies[i];
        const std::string name = "body " + std::to_string(i + 1);
        if (!Finite(b.m) || !(b.m > 0))
            return "the mass of " + name + " must be a finite number > 0, not " + ShortestText(b.m);
        if (!Finite(b.x, b.y, b.vx, b.vy))
            return "the position and velocity of " + name + " must be finite";
    }
    if (model.forceLaw == ForceLaw::PostNewtonian1 && !(system.c > 0))
        return "the 1pn force law needs c > 0: its terms are of order 1/c^2";
    if (!(model.tolerance >= kMinTolerance && model.tolerance <= kMaxTolerance))
        return "the tolerance must lie between " + ShortestText(kMinTolerance) + " and "
            + ShortestText(kMaxTolerance) + ", not " + ShortestText(model.tolerance);
    return {};
}

std::unique_ptr<Integration> MakeIntegration(const System& system, const Model& model, double dt,
                                             RetardationMethod method, std::string& problem)
{
    problem = SystemProblem(system, model);
    if (!problem.empty())
        return nullptr;
    if (model.integrator == Integrator::Euler) {
        if (!Finite(dt) || !(dt > 0)) {
            problem = "dt must be a finite number > 0, not " + ShortestText(dt);
            return nullptr;
        }
        return std::make_unique<EulerIntegration>(system, model.forceLaw, dt, method);
    }
    return std::make_unique<ReferenceIntegration>(system, model.forceLaw, model.tolerance);
}

} // namespace gravlag
