// A default run from the click on "Calculate" to "End" in the desktop program (offscreen
// platform unless QT_QPA_PLATFORM says otherwise), beside the same run on in-memory windows
// as in gravlag-batch; and what one hand-over to the event loop costs when nothing is
// pending, as a display update makes it and in full. The _report cases attach the run
// analysis, as the desktop program does for every run. DesktopOverBatch runs the desktop
// program as gravlag builds it (its actions: analysis, run series, apsis rows) and the batch
// runner's run in turn, and reports the median of the pairs' ratios, of this thread's CPU
// time and of the time on the clock: on a loaded machine only pairs compare. Under an X
// server (xvfb-run, QT_QPA_PLATFORM unset or xcb) the clock's ratio includes the painting
// there. faults_more: the median of how many more minor page faults the desktop's run took
// than the batch runner's (memory new to the process, which a virtual machine makes dear).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <vector>

#include <sys/resource.h>

#include "app/desktop/desktop_actions.h"

#include "panel/program.h"
#include "panel/run_reporter.h"
#include "ui/headless/headless_services.h"
#include "ui/qt/qt_services.h"

namespace {

void Desktop(benchmark::State& st, bool mercury, bool report)
{
    for (auto _ : st) {
        st.PauseTiming();
        gravlag::ui::QtServices services(96);
        gravlag::Program program(services);
        services.widget("Form1")->show();
        if (mercury)
            program.form1().Tmethode_Click();
        std::optional<gravlag::RunReporter> reporter;
        if (report)
            reporter.emplace(program.form1());
        auto* calc = services.widget("Form1")->findChild<QPushButton*>("CommandCalc");
        st.ResumeTiming();
        QTest::mouseClick(calc, Qt::LeftButton);
    }
}

void Batch(benchmark::State& st, bool mercury)
{
    for (auto _ : st) {
        st.PauseTiming();
        gravlag::ui::HeadlessServices services;
        gravlag::Program program(services);
        if (mercury)
            services.textBox("Tmethode")->click();
        st.ResumeTiming();
        services.button("CommandCalc")->click();
    }
}

// Until the window system has shown both displays and the run's last pictures are in them:
// a run's end as a person sees it. A display shown at the run's start may be exposed only
// after the run, and painted then.
void Painted(gravlag::ui::QtServices& services)
{
    QDeadlineTimer limit(2000);
    QTimer wake; // WaitForMoreEvents returns at the latest at its next tick
    wake.start(5);
    for (const char* name : {"Form2", "Form3"}) {
        const QWidget* display = services.widget(name);
        while (display->isVisible() && !(display->windowHandle() && display->windowHandle()->isExposed())
               && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
}

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Spent {
    double cpu = 0, wall = 0; // seconds
    long faults = 0;          // minor page faults: memory new to the process, dear in a VM
};

long MinorFaults()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_minflt;
}

template <typename Run>
Spent Time(Run run)
{
    const long faults = MinorFaults();
    const double cpu = ThreadSeconds();
    const auto wall = std::chrono::steady_clock::now();
    run();
    return {ThreadSeconds() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(),
            MinorFaults() - faults};
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// `painted`: the clock runs on until the displays are exposed and painted after the run.
// `again`: the second run in the same windows, as a person's next click makes it (the first
// shows the displays, which costs the desktop a few milliseconds once).
void DesktopOverBatch(benchmark::State& st, bool mercury, bool again, bool painted = false)
{
    std::vector<double> cpuRatios, wallRatios, faultsMore;
    for (auto _ : st) {
        Spent batch, desktop;
        {
            gravlag::ui::HeadlessServices services;
            gravlag::Program program(services);
            if (mercury)
                services.textBox("Tmethode")->click();
            if (again)
                services.button("CommandCalc")->click();
            batch = Time([&] { services.button("CommandCalc")->click(); });
        }
        {
            gravlag::ui::QtServices services(96);
            gravlag::Program program(services);
            gravlag::DesktopActions actions(services, program);
            services.widget("Form1")->show();
            if (mercury)
                program.form1().Tmethode_Click();
            auto* calc = services.widget("Form1")->findChild<QPushButton*>("CommandCalc");
            QCoreApplication::processEvents(); // shown before the clock starts
            if (again) {
                QTest::mouseClick(calc, Qt::LeftButton);
                QCoreApplication::processEvents();
            }
            desktop = Time([&] {
                QTest::mouseClick(calc, Qt::LeftButton);
                if (painted)
                    Painted(services);
            });
        }
        cpuRatios.push_back(desktop.cpu / batch.cpu);
        wallRatios.push_back(desktop.wall / batch.wall);
        faultsMore.push_back(static_cast<double>(desktop.faults - batch.faults));
    }
    st.counters["faults_more"] = Median(faultsMore);
    st.counters["cpu_ratio"] = Median(cpuRatios);
    st.counters["wall_ratio"] = Median(wallRatios);
}

// The desktop windows as a run leaves them between two display updates: shown, nothing
// pending.
void HandOver(benchmark::State& st, bool full)
{
    gravlag::ui::QtServices services(96);
    gravlag::Program program(services);
    services.widget("Form1")->show();
    services.processPendingEvents();
    services.setRunning(true);
    for (auto _ : st) {
        if (full)
            services.processPendingEvents();
        else
            services.processPendingInput();
    }
    services.setRunning(false);
}

} // namespace

BENCHMARK_CAPTURE(HandOver, at_a_display_update, false);
BENCHMARK_CAPTURE(HandOver, in_full, true);
BENCHMARK_CAPTURE(Desktop, two_black_holes, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Desktop, two_black_holes_report, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, two_black_holes, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Desktop, mercury, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Desktop, mercury_report, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Batch, mercury, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DesktopOverBatch, two_black_holes, false, false)->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK_CAPTURE(DesktopOverBatch, mercury, true, false)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK_CAPTURE(DesktopOverBatch, two_black_holes_again, false, true)->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK_CAPTURE(DesktopOverBatch, mercury_again, true, true)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK_CAPTURE(DesktopOverBatch, two_black_holes_painted, false, false, true)->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK_CAPTURE(DesktopOverBatch, mercury_painted, true, false, true)->Unit(benchmark::kMillisecond)->Iterations(9);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
