// gravlag._gravlag.Integration: a system of bodies stepped by the physics engine
// (MakeIntegration, Integration::step through StepTo), for gravlag.System. The engine is the
// one every run uses; this file only moves numbers between it and NumPy.
#include "system_binding.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "app/batch/stop_signals.h"
#include "core/analysis/conserved.h"
#include "core/analysis/orbit_elements.h"
#include "core/physics/make_integration.h"

namespace py = pybind11;

namespace gravlag {

namespace {

py::object OrNone(const std::optional<double>& v) { return v ? py::object(py::float_(*v)) : py::none(); }

class SystemIntegration {
public:
    SystemIntegration(const std::vector<double>& m, const std::vector<double>& x,
                      const std::vector<double>& y, const std::vector<double>& vx,
                      const std::vector<double>& vy, double c, double dt,
                      const std::string& integrator, const std::string& forceLaw, double tolerance,
                      int prediction)
    {
        const std::size_t n = m.size();
        if (x.size() != n || y.size() != n || vx.size() != n || vy.size() != n)
            throw py::value_error("m, x, y, vx and vy need one value per body each");
        const std::optional<Integrator> named = IntegratorNamed(integrator);
        if (!named)
            throw py::value_error("integrator: '" + integrator + "' is none of 'euler', 'reference'");
        const std::optional<ForceLaw> law = ForceLawNamed(forceLaw);
        if (!law)
            throw py::value_error("force_law: '" + forceLaw
                                  + "' is none of 'retarded', 'instantaneous', 'aberration-free', '1pn'");
        if (prediction != 0 && prediction != 1)
            throw py::value_error("prediction: 0 (by velocity) or 1 (by the position history), not "
                                  + std::to_string(prediction));
        System system{c, {}};
        for (std::size_t i = 0; i < n; ++i)
            system.bodies.push_back({m[i], x[i], y[i], vx[i], vy[i]});
        model_ = Model{*named, *law, tolerance};
        std::string problem;
        integration_ = MakeIntegration(system, model_, dt,
                                       prediction == 1 ? RetardationMethod::HistoryLookup
                                                       : RetardationMethod::VelocityEstimate,
                                       problem);
        if (!integration_)
            throw py::value_error(problem);
        bodies_ = std::move(system.bodies);
    }

    // To time t (>= t()); raises RuntimeError on a fault, KeyboardInterrupt on Ctrl+C, the
    // bodies then where the last step left them.
    void integrate(double t, bool interrupt)
    {
        if (!std::isfinite(t))
            throw py::value_error("t must be a finite number, not " + std::to_string(t));
        if (t < t_)
            throw py::value_error("t " + py::str(py::float_(t)).cast<std::string>()
                                  + " is before the system's time "
                                  + py::str(py::float_(t_)).cast<std::string>()
                                  + ": a delayed pull needs the past, so a system only goes forward");
        std::string problem;
        StepOutcome outcome;
        {
            py::gil_scoped_release released;
            std::optional<InterruptStopsRuns> scope;
            if (interrupt)
                scope.emplace();
            outcome = StepTo(*integration_, t, problem,
                             [interrupt] { return interrupt && StopSignal() != 0; });
            if (integration_->steps() > 0) {
                // Dense output answers at t itself; the euler scheme only at its step's end.
                const bool dense = model_.integrator != Integrator::Euler;
                t_ = dense && outcome == StepOutcome::Reached ? t : integration_->time();
                integration_->stateAt(t_, bodies_);
            }
        }
        if (outcome == StepOutcome::Fault)
            throw std::runtime_error(problem);
        if (outcome == StepOutcome::Stopped) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
            throw py::error_already_set();
        }
    }

    double t() const { return t_; }
    std::size_t steps() const { return integration_->steps(); }

    // m, x, y, vx, vy: one float64 array each, one value per body.
    py::tuple state() const
    {
        const auto n = static_cast<py::ssize_t>(bodies_.size());
        py::array_t<double> m(n), x(n), y(n), vx(n), vy(n);
        for (py::ssize_t i = 0; i < n; ++i) {
            const Body& b = bodies_[static_cast<std::size_t>(i)];
            m.mutable_at(i) = b.m;
            x.mutable_at(i) = b.x;
            y.mutable_at(i) = b.y;
            vx.mutable_at(i) = b.vx;
            vy.mutable_at(i) = b.vy;
        }
        return py::make_tuple(m, x, y, vx, vy);
    }

    // The delays (time units) with which each body feels each other, as the last step found
    // them: row target, column source; 0 under an instantaneous law and on the diagonal.
    py::array_t<double> delays() const
    {
        const auto n = static_cast<py::ssize_t>(bodies_.size());
        py::array_t<double> d({n, n});
        for (py::ssize_t i = 0; i < n; ++i)
            for (py::ssize_t j = 0; j < n; ++j)
                d.mutable_at(i, j) = i == j || steps() == 0
                    ? 0.0
                    : integration_->delay(static_cast<int>(i), static_cast<int>(j), t_);
        return d;
    }

    // The run report's totals and, for every body after the first, the osculating elements
    // of its orbit about the first (mu = G (m_0 + m_i)); NaN where the orbit has none.
    py::dict analysis() const
    {
        const ConservedQuantities q = Conserved(bodies_);
        py::dict d;
        d["t"] = t_;
        d["energy"] = OrNone(q.energy);
        d["angular_momentum"] = OrNone(q.angularMomentum);
        d["momentum"] = OrNone(q.momentum);
        const auto orbits = static_cast<py::ssize_t>(bodies_.empty() ? 0 : bodies_.size() - 1);
        py::array_t<double> a(orbits), e(orbits), varpi(orbits), period(orbits), h(orbits);
        constexpr double none = std::numeric_limits<double>::quiet_NaN();
        for (py::ssize_t k = 0; k < orbits; ++k) {
            const Body& p = bodies_[0];
            const Body& b = bodies_[static_cast<std::size_t>(k) + 1];
            const OrbitElements el = KeplerElements(kGConst * (p.m + b.m), b.x - p.x, b.y - p.y,
                                                    b.vx - p.vx, b.vy - p.vy);
            a.mutable_at(k) = el.a.value_or(none);
            e.mutable_at(k) = el.e.value_or(none);
            varpi.mutable_at(k) = el.varpi.value_or(none);
            period.mutable_at(k) = el.period.value_or(none);
            h.mutable_at(k) = el.h.value_or(none);
        }
        py::dict elements;
        elements["a"] = a;
        elements["e"] = e;
        elements["varpi"] = varpi;
        elements["period"] = period;
        elements["h"] = h;
        d["elements"] = elements;
        return d;
    }

private:
    Model model_;
    std::unique_ptr<Integration> integration_;
    std::vector<Body> bodies_; // at t_
    double t_ = 0;
};

} // namespace

void BindSystem(py::module_& m)
{
    py::class_<SystemIntegration>(m, "Integration")
        .def(py::init<const std::vector<double>&, const std::vector<double>&,
                      const std::vector<double>&, const std::vector<double>&,
                      const std::vector<double>&, double, double, const std::string&,
                      const std::string&, double, int>(),
             py::arg("m"), py::arg("x"), py::arg("y"), py::arg("vx"), py::arg("vy"), py::arg("c"),
             py::arg("dt"), py::arg("integrator"), py::arg("force_law"), py::arg("tolerance"),
             py::arg("prediction"))
        .def("integrate", &SystemIntegration::integrate, py::arg("t"), py::arg("interrupt"))
        .def_property_readonly("t", &SystemIntegration::t)
        .def_property_readonly("steps", &SystemIntegration::steps)
        .def("state", &SystemIntegration::state)
        .def("delays", &SystemIntegration::delays)
        .def("analysis", &SystemIntegration::analysis);
}

} // namespace gravlag
