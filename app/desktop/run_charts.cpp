#include "app/desktop/run_charts.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <QChart>
#include <QFont>
#include <QChartView>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWidget>

#include "app/desktop/run_series.h"

namespace gravlag {

namespace {

QString Rate(const std::optional<double>& value, const std::optional<double>& error)
{
    if (!value)
        return "none";
    QString text = QString::number(*value, 'g', 4);
    if (error)
        text += QString::fromUtf8(" ± ") + QString::number(*error, 'g', 2);
    return text;
}

// A chart whose axes are titled and fitted to its series, with little room around it: the
// report window stacks up to three.
QChartView* View(QChart* chart, const QString& xTitle, const QString& yTitle, const QString& name)
{
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    x->setTitleText(xTitle);
    y->setTitleText(yTitle);
    x->setLabelFormat("%.6g");
    y->setLabelFormat("%.6g");
    x->setTickCount(6);
    y->setTickCount(4);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double xLow = HUGE_VAL, xHigh = -HUGE_VAL, yLow = HUGE_VAL, yHigh = -HUGE_VAL;
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
        for (const QPointF& p : static_cast<QXYSeries*>(s)->points()) {
            xLow = std::min(xLow, p.x()), xHigh = std::max(xHigh, p.x());
            yLow = std::min(yLow, p.y()), yHigh = std::max(yHigh, p.y());
        }
    }
    if (xLow <= xHigh) {
        const double pad = yHigh > yLow ? 0.05 * (yHigh - yLow) : std::max(1e-12, std::fabs(yLow) * 1e-6);
        x->setRange(xLow, xHigh > xLow ? xHigh : xLow + 1);
        y->setRange(yLow - pad, yHigh + pad);
        x->applyNiceNumbers(); // round ticks
        y->applyNiceNumbers();
    }
    QFont small = chart->legend()->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    chart->legend()->setFont(small);
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    auto* view = new QChartView(chart);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(200);
    return view;
}

QLineSeries* Line(const QString& name, const QColor& color, Qt::PenStyle style)
{
    auto* s = new QLineSeries;
    s->setName(name);
    QPen pen(color);
    pen.setWidthF(style == Qt::SolidLine ? 1 : 1.6);
    pen.setStyle(style);
    s->setPen(pen);
    return s;
}

} // namespace

QWidget* MakeElementCharts(const RunSeries& series, const RunReport& report)
{
    const std::vector<ElementSample>& samples = series.elements();
    if (samples.size() < 2)
        return nullptr;
    const std::vector<double> orbits = OrbitsElapsed(samples, report.elements.start);
    const ElementRates& rates = report.elements.rates;
    struct Panel {
        double ElementSample::*field;
        const char* axis;
        std::optional<double> rate, error;
    };
    const Panel panels[] = {
        {&ElementSample::a, "a (length)", rates.daPerOrbit, rates.stdError.daPerOrbit},
        {&ElementSample::e, "e", rates.dePerOrbit, rates.stdError.dePerOrbit},
        {&ElementSample::varpi, "varpi (degrees)", rates.dvarpiPerOrbit, rates.stdError.dvarpiPerOrbit},
    };
    auto* page = new QWidget;
    page->setObjectName("elementCharts");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (const Panel& panel : panels) {
        auto* chart = new QChart;
        auto* drawn = Line("samples", QColor(31, 119, 180), Qt::SolidLine);
        std::vector<double> offsets; // y - rate * orbits, for the line's intercept
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double y = samples[i].*panel.field;
            if (!std::isfinite(y))
                continue;
            drawn->append(samples[i].t, y);
            if (!orbits.empty() && panel.rate)
                offsets.push_back(y - *panel.rate * orbits[i]);
        }
        chart->addSeries(drawn);
        if (!offsets.empty()) {
            // Through the bulk of the samples (their median): the osculating elements swing
            // within each orbit.
            std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2),
                             offsets.end());
            const double intercept = offsets[offsets.size() / 2];
            auto* line = Line("the analysis' rate: " + Rate(panel.rate, panel.error) + " per orbit",
                              Qt::black, Qt::DashLine);
            for (std::size_t i = 0; i < samples.size(); ++i)
                if (std::isfinite(samples[i].*panel.field))
                    line->append(samples[i].t, intercept + *panel.rate * orbits[i]);
            chart->addSeries(line);
        }
        layout->addWidget(View(chart, "t (time units of dt)", panel.axis, panel.axis));
    }
    return page;
}

QWidget* MakeApsisCharts(const RunSeries& series, const RunReport& report)
{
    const std::vector<ApsisPoint>& events = series.apsis();
    if (events.empty() || !series.fit())
        return nullptr;
    const ApsisFit& fit = *series.fit();
    auto* directions = new QScatterSeries;
    directions->setName("apsis direction at each event");
    directions->setMarkerSize(5);
    auto* line = Line(QString("line fit: a = %1 degrees, b = %2 degrees per orbit")
                          .arg(fit.fitA, 0, 'g', 7)
                          .arg(Rate(fit.fitB, report.precession.stdError)),
                      Qt::black, Qt::SolidLine);
    auto* residuals = new QScatterSeries;
    residuals->setName("residual: direction less the line");
    residuals->setMarkerSize(5);
    residuals->setColor(QColor(214, 39, 40));
    for (const ApsisPoint& p : events) {
        const double onLine = RunSeries::FitLine(fit, p.n);
        directions->append(static_cast<double>(p.n), p.angle);
        line->append(static_cast<double>(p.n), onLine);
        residuals->append(static_cast<double>(p.n), p.angle - onLine);
    }
    auto* top = new QChart;
    top->addSeries(directions);
    top->addSeries(line);
    auto* bottom = new QChart;
    bottom->addSeries(residuals);
    auto* page = new QWidget;
    page->setObjectName("apsisCharts");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(View(top, "orbit (apsis event number)", "direction (degrees)", "apsisDirections"), 2);
    layout->addWidget(View(bottom, "orbit (apsis event number)", "residual (degrees)", "apsisResiduals"), 1);
    return page;
}

} // namespace gravlag
