import json
import math

import numpy as np
import pytest

import gravlag
from batch import batch

# The two default runs, and each scenario with a delay by each way to the retarded position.
RUNS = [("2 BH's", {}), ("Mercury", {}),
        ("2 BH's", {"c": 3000, "prediction": 1, "iterations": 40000}),
        ("Mercury", {"c": 20000, "prediction": 0, "iterations": 40000}),
        ("Mercury", {"c": -5, "iterations": 3000})]  # c <= 0: no delay


@pytest.mark.parametrize("scenario, boxes", RUNS)
def test_a_scenarios_start_state_integrated_is_the_batch_runners_run(scenario, boxes):
    arguments = [a for k, v in boxes.items() for a in (f"--{k}", str(v))]
    out, _ = batch("--json", "--report", "--scenario", scenario, *arguments, status=0)
    report = json.loads(out)
    system = gravlag.System.from_scenario(scenario, **boxes)
    assert system.duration == report["passes"] * float(report["boxes"]["Tdt"])
    system.integrate()
    assert system.steps == report["passes"]
    p = system.particles
    n = len(p.m)
    for name in ("x", "y", "vx", "vy"):
        assert getattr(p, name).tolist() == report[name][:n], name
    # The pair's elements and the totals, as the report takes them from the last pass.
    end = system.analysis()
    elements = report["analysis"]["elements"]["end"]
    for name in ("a", "e", "varpi", "period"):
        assert end["elements"][name][0] == elements[name], name
    assert end["energy"] == report["analysis"]["energy"]["end"]
    assert end["angular_momentum"] == report["analysis"]["angularMomentum"]["end"]


def three_bodies(**model):
    return (gravlag.System(c=40, dt=0.002, **model)
            .add(m=1).add(m=1e-3, a=1, e=0.2, varpi=30).add(m=1e-4, a=2.5, e=0.05, f=200))


@pytest.mark.parametrize("model", [{"prediction": 1}, {"prediction": 0, "force_law": "aberration-free"},
                                   {"integrator": "reference", "tolerance": 1e-10}])
def test_integrating_in_parts_is_integrating_at_once(model):
    whole = three_bodies(**model).integrate(3.3)
    parts = three_bodies(**model).integrate(1.0001).integrate(2.5).integrate(3.3)
    assert parts.t == whole.t and parts.steps == whole.steps
    if "integrator" in model:  # dense output: the bodies at t itself
        assert whole.t == 3.3
    else:  # the end of the step that reaches t
        assert whole.t == whole.steps * 0.002 and (whole.steps - 1) * 0.002 < 3.3 <= whole.t
    for a, b in zip(parts.particles, whole.particles):
        assert a.tobytes() == b.tobytes()
    assert parts.delays().tobytes() == whole.delays().tobytes()
    # The delays are the light-travel times, with a pull that goes on moving in 3.3 time units.
    assert whole.delays()[1, 0] == pytest.approx(1 / 40, rel=0.3)
    assert not np.array_equal(whole.particles.x, three_bodies(**model).particles.x)


def test_orbital_elements_place_a_body_on_that_orbit():
    system = gravlag.System().add(m=2.0, x=1.0, y=-3.0, vx=0.25, vy=0.5)
    system.add(m=0.5, a=1.5, e=0.3, varpi=40.0, f=70.0)
    system.add(m=0.1, a=-4.0, e=1.5, varpi=300.0, f=-20.0, primary=1)
    el = system.analysis()["elements"]
    assert el["a"][0] == pytest.approx(1.5, rel=1e-13)
    assert el["e"][0] == pytest.approx(0.3, rel=1e-13)
    assert el["varpi"][0] == pytest.approx(40.0, rel=1e-13)
    assert el["period"][0] == pytest.approx(2 * math.pi * math.sqrt(1.5 ** 3 / 2.5), rel=1e-13)
    p = system.particles  # at f = 70 degrees, r = a (1 - e^2) / (1 + e cos f), moving away
    r = 1.5 * (1 - 0.09) / (1 + 0.3 * math.cos(math.radians(70)))
    assert math.hypot(p.x[1] - 1, p.y[1] + 3) == pytest.approx(r, rel=1e-13)
    assert (p.x[1] - 1) * (p.vx[1] - 0.25) + (p.y[1] + 3) * (p.vy[1] - 0.5) > 0
    # The hyperbola about body 1, before its pericentre (f < 0): closing in.
    dx, dy, dvx, dvy = p.x[2] - p.x[1], p.y[2] - p.y[1], p.vx[2] - p.vx[1], p.vy[2] - p.vy[1]
    assert math.hypot(dx, dy) == pytest.approx(5 / (1 + 1.5 * math.cos(math.radians(20))), rel=1e-13)
    assert dx * dvx + dy * dvy < 0
    energy = (dvx ** 2 + dvy ** 2) / 2 - 0.6 / math.hypot(dx, dy)  # = mu / (-2 a)
    assert energy == pytest.approx(0.6 / 8, rel=1e-12)


def test_a_system_refuses_what_it_cannot_run():
    with pytest.raises(TypeError, match="unexpected keyword"):
        gravlag.System(cc=5)
    with pytest.raises(TypeError, match="not str"):
        gravlag.System().add(m="1")
    with pytest.raises(ValueError, match="no orbit"):
        gravlag.System().add(m=1).add(m=1, a=1, e=1)
    with pytest.raises(ValueError, match="mass of body 2"):
        gravlag.System().add(m=1).add(m=0, x=1).integrate(1)
    with pytest.raises(ValueError, match="force_law"):
        gravlag.System(force_law="newton").add(m=1).integrate(1)
    system = three_bodies()
    system.integrate(0.5)
    with pytest.raises(ValueError, match="before the system's time"):
        system.integrate(0.25)
    with pytest.raises(RuntimeError, match="integrated"):
        system.c = 50
    with pytest.raises(RuntimeError, match="integrated"):
        system.add(m=1)
    with pytest.raises(RuntimeError, match="not finite"):
        gravlag.System(dt=0.1).add(m=1).add(m=1).integrate(1)  # two bodies on one point
    with pytest.raises(ValueError, match=r'^Cannot place the bodies: "r  m\(2\)" is 0'):
        gravlag.System.from_scenario("2 BH's", r2=0)
    html = system._repr_html_()
    assert "gravlag System" in html and "<td" in html and str(system.steps) in html


def test_a_sweep_keeps_pictures_only_when_asked():
    grid = {"c": [0, 20000]}
    bare = gravlag.sweep(grid, scenario="Mercury", iterations=300, jobs=1)
    kept = gravlag.sweep(grid, scenario="Mercury", iterations=300, jobs=1, pictures=True)
    one = gravlag.run("Mercury", iterations=300, c=20000)
    assert [r.to_json() for r in bare] == [r.to_json() for r in kept]
    assert bare[1].simulation_image() is None and bare[1].plot_image() is None
    assert np.array_equal(kept[1].simulation_image(), one.simulation_image())
    assert np.array_equal(kept[1].plot_image(), one.plot_image())
    assert gravlag.run("Mercury", iterations=300, pictures=False).simulation_image() is None
