// A seeded random sequence of clicks and typing on the desktop windows (offscreen), played
// from the event hand-overs of the runs it starts, so that it lands during runs as well as
// between them. Checked at every action: one run at a time, "Stop" exactly while a run is
// active, no box showing a non-finite number. Afterwards the panel must still answer, and an
// ordinary run must give what the batch runner gives for the same texts, bit for bit.
//
// GRAVLAG_STRESS_SEED=<n> in the environment plays another sequence.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QtTest>

#include <bit>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/batch/batch_run.h"
#include "app/files/exact_text.h"
#include "core/number_text.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_text_box.h"
#include "ui/qt/qt_window.h"

using namespace gravlag;

namespace {

constexpr std::uint32_t kDefaultSeed = 20240611;
constexpr int kActions = 3000;
// A run that has taken this many actions without ending is stopped: with one action per
// hand-over (every 100 passes) no run in the sequence goes much beyond 20000 passes.
constexpr int kMaxActionsPerRun = 200;

std::uint32_t StressSeed()
{
    bool ok = false;
    const uint seed = qEnvironmentVariable("GRAVLAG_STRESS_SEED").toUInt(&ok);
    return ok ? seed : kDefaultSeed;
}

// Every box a person can type into: the panel's, then Form3's.
const char* const kPanelBoxes[] = {
    "Tn_object", "Tmass(0)", "Tmass(1)", "Tmass(2)", "Dx1", "Dx2", "Tvxbase", "Tvybase",
    "Tmethode", "Titer", "Titer1", "Tdt", "Tc", "Tpredsel", "Tti1j0", "Tti2j0"};
const char* const kForm3Boxes[] = {"Tcolor", "TPred", "Ta", "Tb"};

// Texts beyond plain numbers: separators, prefixes, words, non-ASCII digits and signs.
const char* const kOddTexts[] = {
    "", " ", "abc", "1.2.3", "--5", "+", ".", ",", "e5", "1e", "1e+", "&H", "&H7FFF",
    "&HFFFF", "&h10", "&HFFFFFFFFFFFFFFFFFF", "&O777", "&o", "&Hzz", "0x1A", "1,5,5", "nan",
    "inf", "-Infinity", "NaN", "1e99999", "-1e-99999", "-0", "0", "00012", "3 4", "1 000",
    "\xc2\xbd", "\xd9\xa3", "\xef\xbc\x91\xef\xbc\x92", "\xe2\x88\x92" "5", "9223372036854775807",
    "1e308", "-1.7976931348623157e308", "1.8e308", "4.9e-324", "2.5e-320", "1E+15", ",5", "5,",
    "0,000001", "12345678901234567890123456789"};

std::string Pick(std::mt19937& rng, int lo, int hi)
{
    return RegionalNumberText(static_cast<long long>(std::uniform_int_distribution<int>(lo, hi)(rng)));
}

// A text for any box: plain and decimal-comma numbers, huge and tiny exponents, odd texts.
// Each draw is a statement of its own, so that the sequence does not hang on the order in
// which a compiler evaluates the operands of +.
std::string RandomText(std::mt19937& rng)
{
    const int kind = std::uniform_int_distribution<int>(0, 5)(rng);
    std::string text;
    switch (kind) {
    case 0: text = Pick(rng, -300, 300); break;
    case 1:
        text = Pick(rng, -50, 50);
        text += rng() % 2 ? "." : ",";
        text += Pick(rng, 0, 999);
        break;
    case 2:
        text = Pick(rng, -9, 9);
        text += rng() % 2 ? "e" : "E";
        text += Pick(rng, -400, 400);
        break;
    case 3:
        text = Pick(rng, 0, 200) + ".";
        text += Pick(rng, 0, 99) + "e";
        text += Pick(rng, -20, 20);
        break;
    default:
        text = kOddTexts[rng() % std::size(kOddTexts)];
        if (rng() % 4 == 0)
            text += kOddTexts[rng() % std::size(kOddTexts)];
        break;
    }
    return text;
}

// A text a run takes without complaint, so that the sequence also has runs that go on.
std::string SensibleText(const std::string& box, std::mt19937& rng)
{
    if (box == "Tn_object")
        return rng() % 2 ? "2" : "3";
    if (box == "Tpredsel")
        return rng() % 2 ? "0" : "1";
    if (box.rfind("Tmass", 0) == 0) {
        std::string mass = Pick(rng, 1, 150);
        return rng() % 2 ? mass : mass + ",5";
    }
    if (box == "Dx1")
        return Pick(rng, 3, 9);
    if (box == "Dx2")
        return Pick(rng, 20, 40);
    if (box == "Tdt")
        return rng() % 2 ? "0.001" : "0,002";
    if (box == "Tc") {
        static const char* const kSpeeds[] = {"0", "50000", "600", "-1", "50"};
        return kSpeeds[rng() % std::size(kSpeeds)];
    }
    return rng() % 2 ? "0" : "0.1";
}

// Typed "Iteration" stays short and finite (the longest a run can get is the 1000000 that
// "Choice" sets), so that every run ends even should no "Stop" reach it; texts that are no
// number make the run refuse.
std::string RandomIteration(std::mt19937& rng)
{
    static const char* const kRefused[] = {"", "abc", "2000,5", "1e", "&H", "--1", "20 000"};
    switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
    case 0: return kRefused[rng() % std::size(kRefused)];
    case 1: return Pick(rng, -5, 150); // a run of a few passes, or of none
    case 2: return "&H" + std::string(rng() % 2 ? "7D0" : "1F40"); // 2000, 8000 if read as hex
    default: return Pick(rng, 2000, 20000);
    }
}

bool ShowsNonFinite(const std::string& text)
{
    const QString t = QString::fromStdString(text).toLower();
    return t.contains("nan") || t.contains("inf");
}

// Types as a person does: into the whole text, which an empty text deletes. Characters that
// are no key of a Latin keyboard arrive as the text of an unknown key, as from an input method.
void TypeInto(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
        return;
    }
    for (QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(edit, static_cast<char>(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// Plays the sequence and keeps the books on what it saw.
class StressDriver {
public:
    StressDriver(ui::QtServices& services, Program& program, std::uint32_t seed)
        : services_(services), form1_(program.form1()), form3_(program.form3()), rng_(seed)
    {
        calc_ = services.widget("Form1")->findChild<QPushButton*>("CommandCalc");
        end_ = services.widget("Form1")->findChild<QPushButton*>("CommandEnd");
        cls_ = services.widget("Form3")->findChild<QPushButton*>("CommandCls");
        if (!calc_ || !end_ || !cls_)
            qFatal("a button of the panel or of Form3 is missing");
        for (const char* name : kPanelBoxes)
            boxes_.push_back(edit("Form1", name));
        for (const char* name : kForm3Boxes)
            boxes_.push_back(edit("Form3", name));
        form1_.onRunFinished([this](const RunResult& r) { runFinished(r); });
    }

    QLineEdit* edit(const char* window, const char* name) const
    {
        auto* e = services_.widget(window)->findChild<QLineEdit*>(name);
        if (!e)
            qFatal("no box %s", name);
        return e;
    }

    // Runs the event loop until every action has been played and no run is active.
    void play()
    {
        schedule();
        loop_.exec();
    }

    // Every box of Form1 and Form3 as the program holds it: none may show a non-finite number
    // that was not typed there.
    void checkBoxes(const char* when)
    {
        const auto check = [&](const std::string& name, const std::string& text) {
            if (!ShowsNonFinite(text))
                return;
            const auto typed = typed_.find(name);
            const bool asTyped = typed != typed_.end()
                && (text == typed->second || text == NormalizeDecimalText(typed->second));
            if (!asTyped)
                violation(std::string(when) + ": box " + name + " shows \"" + text + "\"");
        };
        for (const char* name : kPanelBoxes)
            check(name, form1_.box(name).text());
        for (const char* name : kForm3Boxes)
            check(name, services_.window("Form3")->textBox(name)->text());
    }

    // A click outside a run must make exactly one run, finished before the click returns; a
    // click during a run must make none. A run started inside a run would finish inside
    // such a click, or leave the count off by one.
    void clickCalculate()
    {
        const bool wasRunning = form1_.running();
        const int before = finished;
        if (wasRunning) {
            ++ignoredCalculates;
            ++insideIgnoredClick_;
        } else {
            ++insideStartingClick_;
            stopClicked_ = false;
            actionsInRun_ = 0;
        }
        QTest::mouseClick(calc_, Qt::LeftButton);
        if (wasRunning) {
            --insideIgnoredClick_;
            if (finished != before)
                violation("a Calculate during a run finished " + std::to_string(finished - before) + " run(s)");
            if (!form1_.running())
                violation("a Calculate during a run ended the run");
        } else {
            --insideStartingClick_;
            if (finished != before + 1)
                violation("a Calculate outside a run finished " + std::to_string(finished - before) + " run(s)");
            if (form1_.running())
                violation("running() still true after the run's Calculate returned");
        }
    }

    std::vector<std::string> violations;
    int duringRuns = 0, betweenRuns = 0, finished = 0, ignoredCalculates = 0;
    std::map<RunEnd, int> ends;

private:
    enum class Action { Calculate, Stop, Choice, C, Bodies, Prediction, Colour, Clear, Type, TypeIteration };

    void violation(std::string what)
    {
        if (violations.size() < 20)
            violations.push_back("action " + std::to_string(played_) + ": " + std::move(what));
    }

    // Posted, so that it is delivered at the next hand-over of a run that the current action
    // may start, or by the test's own event loop between runs.
    void schedule()
    {
        QMetaObject::invokeMethod(calc_, [this] { step(); }, Qt::QueuedConnection);
    }

    void step()
    {
        if (played_ >= kActions) {
            // Winding down: stop a run still going, leave once none is.
            if (form1_.running()) {
                clickStop();
                schedule();
            } else {
                loop_.quit();
            }
            return;
        }
        schedule();
        observe();
        ++played_;
        if (form1_.running()) {
            ++duringRuns;
            ++actionsInRun_;
        } else {
            ++betweenRuns;
        }
        act(pick());
    }

    void observe()
    {
        if (services_.programEnded())
            violation("the program has ended");
        const QString expected = form1_.running() ? "Stop" : "End";
        if (end_->text() != expected)
            violation("\"" + end_->text().toStdString() + "\" on the button while "
                      + (form1_.running() ? "running" : "idle"));
        checkBoxes("during the sequence");
    }

    Action pick()
    {
        const bool running = form1_.running();
        if (running && actionsInRun_ >= kMaxActionsPerRun)
            return Action::Stop;
        return static_cast<Action>(running ? during_(rng_) : idle_(rng_));
    }

    void act(Action action)
    {
        switch (action) {
        case Action::Calculate: clickCalculate(); break;
        case Action::Stop: clickStop(); break;
        case Action::Choice: clickSelector("Tmethode", "2 BH's", "Mercury"); break;
        case Action::C: QTest::mouseClick(edit("Form1", "Tc"), Qt::LeftButton); break;
        case Action::Bodies: clickSelector("Tn_object", "2", "3"); break;
        case Action::Prediction: clickSelector("Tpredsel", "0", "1"); break;
        case Action::Colour: clickColour(); break;
        case Action::Clear: QTest::mouseClick(cls_, Qt::LeftButton); break;
        case Action::Type: {
            QLineEdit* box = boxes_[rng_() % boxes_.size()];
            type(box, rng_() % 2 ? RandomText(rng_) : SensibleText(box->objectName().toStdString(), rng_));
            break;
        }
        case Action::TypeIteration: type(edit("Form1", "Titer"), RandomIteration(rng_)); break;
        }
    }

    // A selector shows one of its two settings after a click, the other one when it showed
    // one before; during a run too, where its widget may show the text a frame late.
    void clickSelector(const char* name, const std::string& first, const std::string& second)
    {
        const std::string before = form1_.box(name).text();
        QTest::mouseClick(edit("Form1", name), Qt::LeftButton);
        const std::string after = form1_.box(name).text();
        const bool switched = before == first ? after == second
            : before == second               ? after == first
                                             : after == first || after == second;
        if (!switched)
            violation(std::string("a click on ") + name + " turned \"" + before + "\" into \"" + after + "\"");
    }

    void clickColour()
    {
        const int before = form3_.colorIndex();
        QTest::mouseClick(edit("Form3", "Tcolor"), Qt::LeftButton);
        const std::string shown = services_.window("Form3")->textBox("Tcolor")->text();
        if (form3_.colorIndex() != (before + 1) % 16
            || shown != RegionalNumberText(static_cast<long long>(form3_.colorIndex())))
            violation("a click on Tcolor took colour " + std::to_string(before) + " to "
                      + std::to_string(form3_.colorIndex()) + ", shown as \"" + shown + "\"");
    }

    void type(QLineEdit* box, const std::string& text)
    {
        if (rng_() % 2)
            box->setFocus(Qt::TabFocusReason); // as after tabbing into it
        TypeInto(box, QString::fromStdString(text));
        // What the box holds after the typing (a change handler may have tidied it) is the
        // person's text; a non-finite word in it is theirs, not the program's.
        typed_[box->objectName().toStdString()] = box->text().toStdString();
    }

    // "End" outside a run ends the program, so the sequence clicks the button only as "Stop".
    void clickStop()
    {
        if (end_->text() != "Stop")
            return;
        stopClicked_ = true;
        QTest::mouseClick(end_, Qt::LeftButton);
    }

    void runFinished(const RunResult& r)
    {
        ++finished;
        ++ends[r.ended];
        if (form1_.running())
            violation("running() true in the finish callback");
        if (end_->text() != "End")
            violation("\"" + end_->text().toStdString() + "\" on the button at a run's finish");
        if (insideIgnoredClick_ > 0)
            violation("a run finished inside a Calculate made during a run");
        if (insideStartingClick_ != 1)
            violation("a run finished with " + std::to_string(insideStartingClick_)
                      + " starting Calculate clicks under way");
        if (r.ended == RunEnd::Stopped && !stopClicked_)
            violation("a run stopped without a Stop click");
        checkBoxes("at a run's finish");
    }

    ui::QtServices& services_;
    Form1& form1_;
    const TimeEvolutionDisplay& form3_;
    std::mt19937 rng_;
    // Weights of Calculate, Stop, Choice, c, n object, Prediction, Tcolor, Clear, typing,
    // typing "Iteration"; outside a run the button shows "End", which is not clicked.
    std::discrete_distribution<int> idle_{5, 0, 2, 2, 2, 2, 2, 1, 12, 4};
    std::discrete_distribution<int> during_{3, 1, 2, 2, 2, 2, 2, 1, 12, 4};
    QEventLoop loop_;
    QPushButton *calc_ = nullptr, *end_ = nullptr, *cls_ = nullptr;
    std::vector<QLineEdit*> boxes_;
    std::map<std::string, std::string> typed_; // box name, its text after the last typing
    int played_ = 0, actionsInRun_ = 0;
    int insideIgnoredClick_ = 0, insideStartingClick_ = 0;
    bool stopClicked_ = false;
};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += "\n  " + line;
    return all;
}

} // namespace

class GuiStressTest : public QObject {
    Q_OBJECT

private slots:
    void randomActionsDuringAndBetweenRuns()
    {
        const std::uint32_t seed = StressSeed();
        const auto reportSeed = qScopeGuard([seed] {
            if (QTest::currentTestFailed())
                qWarning("random sequence seed %u (GRAVLAG_STRESS_SEED=%u plays it again)", seed, seed);
        });
        ui::QtServices services(96);
        Program program(services);
        services.widget("Form1")->show();
        program.form1().Form_Load();
        Form1& form1 = program.form1();
        StressDriver driver(services, program, seed);

        driver.play();

        QVERIFY2(driver.violations.empty(), Joined(driver.violations).c_str());
        // The sequence did what it is for: actions inside runs and between them, and runs
        // that ended each way a run can end.
        qInfo("%d actions during runs, %d between; %d runs: %d completed, %d stopped, %d fault, "
              "%d refused; %d Calculate clicks during runs",
              driver.duringRuns, driver.betweenRuns, driver.finished, driver.ends[RunEnd::Completed],
              driver.ends[RunEnd::Stopped], driver.ends[RunEnd::Fault], driver.ends[RunEnd::Refused],
              driver.ignoredCalculates);
        QVERIFY(driver.duringRuns >= 500);
        QVERIFY(driver.betweenRuns >= 300);
        QVERIFY(driver.ignoredCalculates >= 50);
        for (RunEnd end : {RunEnd::Completed, RunEnd::Stopped, RunEnd::Fault, RunEnd::Refused})
            QVERIFY2(driver.ends[end] >= 1, RunEndName(end).data());

        // Still responsive: the event loop delivers, and the selectors still answer a click.
        QVERIFY(!form1.running());
        QPushButton* end = services.widget("Form1")->findChild<QPushButton*>("CommandEnd");
        QCOMPARE(end->text(), QString("End"));
        bool delivered = false;
        QTimer::singleShot(0, [&] { delivered = true; });
        QTRY_VERIFY(delivered);
        QLineEdit* pred = driver.edit("Form1", "Tpredsel");
        TypeInto(pred, "0");
        QTest::mouseClick(pred, Qt::LeftButton);
        QCOMPARE(pred->text(), QString("1"));
        QLineEdit* color = driver.edit("Form3", "Tcolor");
        const int colour = program.form3().colorIndex();
        QTest::mouseClick(color, Qt::LeftButton);
        QCOMPARE(program.form3().colorIndex(), (colour + 1) % 16);
        QCOMPARE(color->text().toStdString(), RegionalNumberText(static_cast<long long>((colour + 1) % 16)));

        // The final run starts from what a fresh batch program starts from. The scenario
        // lives in the state, not in the "Choice" text (which may have been typed over):
        // clicking until "Mercury" shows and once more sets "2 BH's" for certain, as at start.
        // Every box the run reads is typed, "n object" 3 among them: the masses of bodies
        // beyond "n object" are kept from earlier runs, not read. c and dt are typed too:
        // "Calculate" stores them from "c" and "dt" and writes them back reformatted, and the
        // random texts left "Prediction" and the rest in any state.
        QLineEdit* choice = driver.edit("Form1", "Tmethode");
        for (int clicks = 0; clicks < 2 && choice->text() != "Mercury"; ++clicks)
            QTest::mouseClick(choice, Qt::LeftButton);
        QCOMPARE(choice->text(), QString("Mercury"));
        QTest::mouseClick(choice, Qt::LeftButton);
        QCOMPARE(choice->text(), QString("2 BH's"));
        QCOMPARE(program.state().scenarioCode, Scenario::TwoBlackHoles);
        const std::vector<std::pair<std::string, std::string>> texts = {
            {"Tn_object", "3"}, {"Tmass(0)", "100"}, {"Tmass(1)", "90"},   {"Tmass(2)", "0,01"},
            {"Dx1", "6"},       {"Dx2", "30"},       {"Tvxbase", "0"},     {"Tvybase", "0,5"},
            {"Titer", "12000"}, {"Tdt", "0,001"},    {"Tc", "600"},        {"Tpredsel", "1"}};
        for (const auto& [name, text] : texts) {
            QLineEdit* box = driver.edit("Form1", name.c_str());
            TypeInto(box, QString::fromStdString(text));
            QCOMPARE(box->text().toStdString(), text);
        }
        const int before = driver.finished;
        driver.clickCalculate();
        QCOMPARE(driver.finished, before + 1);
        QVERIFY2(driver.violations.empty(), Joined(driver.violations).c_str());
        const RunResult& gui = *form1.lastRun();
        QCOMPARE(RunEndName(gui.ended), std::string_view("completed"));

        BatchOptions options;
        options.typed = texts;
        options.json = true;
        std::ostringstream out, err;
        QCOMPARE(RunBatch(options, out, err), 0);
        const nlohmann::json batch = nlohmann::json::parse(out.str());
        QCOMPARE(batch["ended"].get<std::string>(), std::string("completed"));
        QCOMPARE(batch["passes"].get<std::int64_t>(), gui.passes);
        QCOMPARE(gui.passes, std::int64_t{12001});
        const auto same = [](double desktop, double batchValue) {
            return std::bit_cast<std::uint64_t>(desktop) == std::bit_cast<std::uint64_t>(batchValue);
        };
        for (std::size_t i = 0; i < kBodies; ++i) {
            const double x = batch["x"][i].get<double>(), y = batch["y"][i].get<double>();
            QVERIFY2(same(program.state().x[i], x) && same(program.state().y[i], y),
                     qPrintable(QString("body %1: desktop %2, %3; batch %4, %5")
                                    .arg(i + 1)
                                    .arg(QString::fromStdString(ExactText(program.state().x[i])),
                                         QString::fromStdString(ExactText(program.state().y[i])),
                                         QString::fromStdString(ExactText(x)),
                                         QString::fromStdString(ExactText(y)))));
        }
        for (const char* name : {"Tti1j0", "Tti2j0", "Titer1"})
            QCOMPARE(form1.box(name).text(), batch["boxes"][name].get<std::string>());
        // Bodies 2 and 3 about 12 and 36 from body 1 at the end, c * dt = 0.6.
        QCOMPARE(QString::fromStdString(form1.box("Tti1j0").text()), QString("20"));
        QCOMPARE(QString::fromStdString(form1.box("Tti2j0").text()), QString("59"));

        // And "End" outside a run still ends the program.
        QTest::mouseClick(end, Qt::LeftButton);
        QVERIFY(services.programEnded());
    }
};

QTEST_MAIN(GuiStressTest)
#include "gui_stress_test.moc"
