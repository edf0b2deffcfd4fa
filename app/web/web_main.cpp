// gravlag as a web page: the whole program (panel, displays, run) on the web window services,
// started as the desktop program starts, with the delay view's recorder attached. The page
// (page.js) calls the functions below; everything else reaches the program as the person's
// input, through the services' queue.

#include <emscripten/emscripten.h>

#include <cstdint>

#include "app/web/delay_recorder.h"
#include "app/web/warm_up.h"
#include "core/physics/model.h"
#include "panel/program.h"
#include "ui/web/web_services.h"

namespace {

struct WebProgram {
    gravlag::ui::WebServices services;
    gravlag::Program program{services};
    gravlag::DelayRecorder recorder{program.form1()};
};

WebProgram* web = nullptr;
gravlag::WarmUp* warmUp = nullptr; // made at the first warm-up run, so not before the page is interactive

} // namespace

extern "C" {

// Runs the input the page has queued (a click may start a run, which hands over to the
// browser on the way and so returns to the page before it ends).
EMSCRIPTEN_KEEPALIVE void gravlag_web_pump()
{
    web->services.processPendingEvents();
    web->services.paint();
}

// One warm-up run (warm_up.h) of `passes` passes of loop 0, 1 or 2: 1 when it ran, 0 when
// refused (an unknown loop, a pass count out of range, or the page's own run going, whose
// stack lies unwound in the module's memory).
EMSCRIPTEN_KEEPALIVE int gravlag_web_warm_up(int loop, int passes)
{
    if (loop < 0 || loop >= gravlag::WarmUp::kLoops || passes < 1 || web->recorder.running())
        return 0;
    if (!warmUp)
        warmUp = new gravlag::WarmUp;
    warmUp->run(static_cast<gravlag::WarmUp::Loop>(loop), passes);
    return 1;
}

// The force law and integrator of the next runs, by their names ("retarded", "euler", ...):
// 1 when both are known, else 0 and the model stays as it was.
EMSCRIPTEN_KEEPALIVE int gravlag_web_set_model(const char* law, const char* integrator)
{
    const auto forceLaw = gravlag::ForceLawNamed(law);
    const auto integration = gravlag::IntegratorNamed(integrator);
    if (!forceLaw || !integration)
        return 0;
    gravlag::Model& model = web->program.form1().model;
    model.forceLaw = *forceLaw;
    model.integrator = *integration;
    return 1;
}

// The delay view's frames: their number, where they start (doubles, kDoublesPerFrame each),
// and what the run was.
EMSCRIPTEN_KEEPALIVE int gravlag_web_frame_count()
{
    return static_cast<int>(web->recorder.frames().size());
}
EMSCRIPTEN_KEEPALIVE const double* gravlag_web_frames()
{
    return reinterpret_cast<const double*>(web->recorder.frames().data());
}
EMSCRIPTEN_KEEPALIVE int gravlag_web_frame_doubles()
{
    return static_cast<int>(sizeof(gravlag::DelayFrame) / sizeof(double));
}
EMSCRIPTEN_KEEPALIVE int gravlag_web_run_bodies() { return web->recorder.bodies(); }
EMSCRIPTEN_KEEPALIVE double gravlag_web_run_c() { return web->recorder.c(); }
EMSCRIPTEN_KEEPALIVE double gravlag_web_run_dt() { return web->recorder.dt(); }
EMSCRIPTEN_KEEPALIVE double gravlag_web_run_mass(int body)
{
    return body >= 0 && body < gravlag::kBodies ? web->recorder.mass(body) : 0;
}
EMSCRIPTEN_KEEPALIVE int gravlag_web_run_going() { return web->recorder.running() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE std::uint32_t gravlag_web_run_number() { return web->recorder.runNumber(); }

} // extern "C"

int main()
{
    web = new WebProgram; // lives as long as the page
    web->program.form1().window().show();
    web->services.paint();
    return 0;
}
