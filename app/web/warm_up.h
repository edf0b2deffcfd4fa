#pragma once
// Short runs of the page's main loops on a program of their own, on windows off the page,
// while the page waits for the person's first click. The browser compiles WebAssembly in a
// quick first tier and optimises a function only once it has run a while, and a function
// already running keeps the code it was entered with: a fresh page's first run would
// otherwise spend most of its time in unoptimised code. The windows are the page's own kind
// (ui/web/), so that what the browser learns of the calls (which window's setPixel, which
// box's setText) holds for the page's runs too: in-memory windows of another kind made the
// first runs after them slower. Nothing here touches the page's program or the page.

#include <cstdint>

#include "app/web/delay_recorder.h"
#include "panel/program.h"
#include "ui/web/web_services.h"

namespace gravlag {

class WarmUp {
public:
    // The loops of the default runs and of the delay view's first example.
    enum class Loop { TwoBlackHoles, Mercury, Delayed };
    static constexpr int kLoops = 3;

    WarmUp();
    WarmUp(const WarmUp&) = delete;
    WarmUp& operator=(const WarmUp&) = delete;

    // One run of `passes` passes of the loop, as the panel runs it after a click.
    void run(Loop loop, std::int64_t passes);

private:
    ui::WebServices services_{ui::WebServices::Place::OffPage};
    Program program_{services_};
    DelayRecorder recorder_{program_.form1()}; // the page's runs feed one too
};

} // namespace gravlag
