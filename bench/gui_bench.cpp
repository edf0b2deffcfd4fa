// A default run from the click on "Calculate" to "End" in the desktop program (offscreen
// platform unless QT_QPA_PLATFORM says otherwise), beside the same run on in-memory windows
// as in gravlag-batch; and what one hand-over to the event loop costs when nothing is
// pending, as a display update makes it and in full. The _report cases attach the run
// analysis, as the desktop program does for every run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <optional>

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
