// The "Run report" window's figures, drawn from the latest run: the apsis directions with the
// run's own line fit, and the elements with the line of the analysis' rate.
#include <QApplication>
#include <QChartView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QValueAxis>
#include <QXYSeries>
#include <QtTest>

#include <cmath>

#include "app/desktop/desktop_actions.h"
#include "app/desktop/run_report_window.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"

using namespace gravlag;

namespace {

struct Desktop {
    ui::QtServices services{96};
    Program program{services};
    DesktopActions actions{services, program};

    Desktop() { services.widget("Form1")->show(); }
    void type(const char* name, const QString& text)
    {
        auto* e = services.widget("Form1")->findChild<QLineEdit*>(name);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    void calculate()
    {
        QTest::mouseClick(services.widget("Form1")->findChild<QPushButton*>("CommandCalc"), Qt::LeftButton);
    }
    QXYSeries* series(const char* chart, int i) const
    {
        auto* view = actions.runReportWindow()->findChild<QChartView*>(chart);
        return view ? static_cast<QXYSeries*>(view->chart()->series().value(i)) : nullptr;
    }
};

} // namespace

class RunChartsTest : public QObject {
    Q_OBJECT

private slots:
    void mercuryShowsEveryApsisEventOnTheRunsLine()
    {
        Desktop d;
        d.actions.showRunReport();
        QTabWidget* tabs = d.actions.runReportWindow()->tabs();
        QCOMPARE(tabs->count(), 1); // the text alone before the first run
        QTest::mouseClick(d.services.widget("Form1")->findChild<QLineEdit*>("Tmethode"), Qt::LeftButton);
        d.type("Titer", "60000");
        d.calculate();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(1), QString("Elements"));
        QCOMPARE(tabs->tabText(2), QString("Apsis fit"));

        const std::int64_t events = d.actions.reporter().latest()->precession.events;
        QVERIFY(events >= 8);
        QXYSeries* directions = d.series("apsisDirections", 0);
        QXYSeries* line = d.series("apsisDirections", 1);
        QCOMPARE(directions->count(), events);
        QCOMPARE(d.series("apsisResiduals", 0)->count(), events);
        // The line ends on the run's own last "prediction", the fit at its last event.
        const ApsisFit& fit = *d.program.form1().lastRun()->values.fit;
        QVERIFY(std::fabs(line->points().back().y() - fit.predAngle) < 1e-9);
        auto* x = static_cast<QValueAxis*>(line->attachedAxes().value(0));
        QCOMPARE(x->titleText(), QString("orbit (apsis event number)"));

        // Samples every ceil(60001 / 2000) = 31 passes raised to a divisor of 100, from pass 0
        // on, with the time as the run's.
        QXYSeries* a = d.series("a (length)", 0);
        QCOMPARE(a->count(), 60000 / 50 + 1);
        QCOMPARE(a->points().back().x(), 60000 * 0.001);
        // "2 BH's" by default: every 200th pass beside the analysis's 100th, not 160th.
        QCOMPARE(RunSeries::SeriesInterval(320001), std::int64_t{200});
        // One pass more than 2000 samples 100 apart hold: the next multiple, not 100.
        QCOMPARE(RunSeries::SeriesInterval(200001), std::int64_t{200});

        // A refused run has no figures.
        d.type("Titer", "abc");
        d.calculate();
        QCOMPARE(tabs->count(), 1);
    }

    void theRateLineFollowsAWideningPair()
    {
        // "2 BH's" at c 1000 widens from a 12 to about 15: its orbits lengthen, and the line
        // of the rate per orbit must count them so (at the starting period it ends 12 % off).
        Desktop d;
        d.type("Titer", "200000");
        d.type("Tc", "1000");
        d.calculate();
        d.actions.showRunReport();
        const QList<QPointF> samples = d.series("a (length)", 0)->points();
        const QList<QPointF> line = d.series("a (length)", 1)->points();
        QCOMPARE(line.size(), samples.size());
        const double rise = samples.back().y() - samples.front().y();
        QVERIFY(rise > 2.5);
        double worst = 0;
        for (int i = 0; i < samples.size(); ++i)
            worst = std::max(worst, std::fabs(line[i].y() - samples[i].y()));
        QVERIFY2(worst < 0.03 * rise, qPrintable(QString::number(worst)));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    RunChartsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "run_charts_test.moc"
