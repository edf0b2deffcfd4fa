// The desktop program's file actions (offscreen): parameter files saved and loaded through
// Ctrl+S and Ctrl+O, refused files, the two displays' "Save image…" and "Save apsis
// events…", the run report and its "Save…", saves that fail, the entries during a run, and a
// signal during a run; "Model…" on the panel and the boxes' tooltips. The file dialog is
// answered by the test.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTextDocument>
#include <QToolTip>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <QDir>
#include <QTimer>

#include "app/batch/batch_run.h"
#include "app/desktop/box_help.h"
#include "app/desktop/desktop_actions.h"
#include "app/desktop/desktop_signals.h"
#include "app/desktop/run_report_window.h"
#include "app/files/apsis_csv.h"
#include "app/files/report_text.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_window.h"

using namespace gravlag;

namespace {

// One desktop program with its actions, the dialogs answered with `answer`.
struct Desktop {
    ui::QtServices services{96};
    Program program{services};
    DesktopActions actions{services, program};
    QString answer;
    QStringList told;

    Desktop()
    {
        actions.askFile = [this](QWidget*, const QString&, const QString&, bool) { return answer; };
        actions.tell = [this](QWidget*, const QString& message) { told << message; };
        services.widget("Form1")->show();
    }
    QLineEdit* edit(const char* name) { return services.widget("Form1")->findChild<QLineEdit*>(name); }
    void type(const char* name, const QString& text)
    {
        QLineEdit* e = edit(name);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    void calculate()
    {
        QTest::mouseClick(services.widget("Form1")->findChild<QPushButton*>("CommandCalc"), Qt::LeftButton);
    }
    void key(int k)
    {
        QWidget* panel = services.widget("Form1");
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));
        QTest::keyClick(panel, static_cast<Qt::Key>(k), Qt::ControlModifier);
    }
    QAction* action(const char* window, const char* name)
    {
        return services.widget(window)->findChild<QAction*>(name);
    }
};

std::string ReadAll(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

class DesktopActionsTest : public QObject {
    Q_OBJECT

private slots:
    void parametersSavedAndLoadedGiveTheSameRun()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run.json");
        std::array<double, 3> x{};
        {
            Desktop a;
            QTest::mouseClick(a.edit("Tmethode"), Qt::LeftButton); // "Mercury"
            a.type("Titer", "4000");
            a.type("Tc", "20000");
            a.type("Tpredsel", "1");
            a.type("Tmass(2)", "0,25");
            a.answer = path;
            a.key(Qt::Key_S);
            QVERIFY(QFile::exists(path));
            a.calculate();
            x = a.program.state().x;
        }
        Desktop b;
        b.answer = path;
        b.key(Qt::Key_O);
        QVERIFY2(b.told.isEmpty(), qPrintable(b.told.join("; ")));
        QCOMPARE(b.edit("Tmethode")->text(), QString("Mercury"));
        QCOMPARE(b.edit("Titer")->text(), QString("4000"));
        QCOMPARE(b.edit("Tmass(2)")->text(), QString("0,25"));
        b.calculate();
        QCOMPARE(b.program.form1().lastRun()->passes, 4001);
        QVERIFY(b.program.state().x == x);
    }

    void brokenParameterFilesAreRefusedWithNothingApplied()
    {
        QTemporaryDir dir;
        Desktop d;
        d.type("Titer", "1234");
        const std::pair<const char*, const char*> files[] = {
            {"broken.json", "{\"Titer\": \"50\", "},
            {"unknown.json", "{\"Titer\": \"50\", \"Twhat\": \"1\"}"},
            {"null.json", "{\"Titer\": null}"},
            {"overflow.json", "{\"Titer\": 1e400}"}, // ended the program once
            {"scenario.json", "{\"scenario\": \"Venus\", \"Titer\": \"50\"}"},
            {"twice.json", "{\"Titer\": \"50\", \"Titer\": \"60\"}"},
        };
        for (const auto& [name, text] : files) {
            const QString path = dir.filePath(name);
            std::ofstream(path.toStdString()) << text;
            d.answer = path;
            d.told.clear();
            d.actions.loadParameters();
            QCOMPARE(d.told.size(), 1);
            QCOMPARE(d.edit("Titer")->text(), QString("1234"));
            QCOMPARE(d.edit("Tmethode")->text(), QString("2 BH's"));
        }
        // Neither a FIFO nor an endless device holds the window: refused by what they are.
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& path : {fifo, QString("/dev/zero")}) {
            d.answer = path;
            d.told.clear();
            d.actions.loadParameters();
            QCOMPARE(d.told, QStringList(path + (path == fifo ? " is a FIFO" : " is a character device")
                                         + ", not a parameter file"));
        }
        d.answer.clear(); // cancelled: nothing happens, nothing is said
        d.told.clear();
        d.actions.loadParameters();
        QVERIFY(d.told.isEmpty());
    }

    void savedImageIsThePictureAsDrawnInTheBatchRunnersBytes()
    {
        QTemporaryDir dir;
        Desktop d;
        d.type("Titer", "20000");
        d.calculate();
        BatchOptions options;
        options.typed = {{"Titer", "20000"}};
        options.simPng = dir.filePath("batch-Form2.png").toStdString();
        std::ostringstream out, err;
        QCOMPARE(RunBatch(options, out, err), 0);
        for (const char* window : {"Form2", "Form3"}) {
            d.answer = dir.filePath(QString(window) + ".png");
            d.action(window, "saveImage")->trigger();
            const QImage saved(d.answer);
            QVERIFY(!saved.isNull());
            const QImage& drawn = d.services.window(window)->surfaceImage();
            QCOMPARE(saved.size(), drawn.size());
            QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), drawn.convertToFormat(QImage::Format_RGB32));
            // The simulation display's size does not depend on the window frames, so the
            // two programs draw the same picture there, and write it in the same bytes.
            if (QString(window) == "Form2")
                QVERIFY(ReadAll(d.answer) == ReadAll(dir.filePath("batch-Form2.png")));
        }
        d.answer = dir.filePath("no-such-folder/Form2.png");
        d.told.clear();
        d.action("Form2", "saveImage")->trigger();
        QCOMPARE(d.told.size(), 1);
    }

    void savedApsisEventsAreTheBatchRunnersCsv()
    {
        QTemporaryDir dir;
        Desktop d;
        QTest::mouseClick(d.edit("Tmethode"), Qt::LeftButton);
        d.type("Titer", "60000");
        d.calculate();
        QVERIFY(d.program.form1().lastRun()->values.apsisCount >= 2);
        d.answer = dir.filePath("desktop.csv");
        d.action("Form3", "saveApsisEvents")->trigger();

        BatchOptions options;
        options.scenario = "Mercury";
        options.typed = {{"Titer", "60000"}};
        options.apsisCsv = dir.filePath("batch.csv").toStdString();
        std::ostringstream out, err;
        QCOMPARE(RunBatch(options, out, err), 0);
        const std::string batch = ReadAll(dir.filePath("batch.csv"));
        QVERIFY(batch.find('\n') < batch.size() - 1); // a header and rows
        QCOMPARE(ReadAll(d.answer), batch);

        // A second run replaces the rows of the first; a run without events leaves none.
        d.type("Titer", "30000");
        d.calculate();
        d.action("Form3", "saveApsisEvents")->trigger();
        QVERIFY(ReadAll(d.answer).size() < batch.size());
        d.type("Titer", "50");
        d.calculate();
        QCOMPARE(d.program.form1().lastRun()->values.apsisCount, std::int64_t{0});
        d.action("Form3", "saveApsisEvents")->trigger();
        QCOMPARE(ReadAll(d.answer), std::string(ApsisCsvHeader()));
    }

    void modelMenuChoosesTheNextRunsModelNamedInTheTitle()
    {
        Desktop d;
        QWidget* panel = d.services.widget("Form1");
        QCOMPARE(panel->windowTitle(), QString("Control Display"));
        emit panel->customContextMenuRequested(QPoint(5, 5));
        auto* menu = panel->findChild<QMenu*>();
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(menu->actions().first()->objectName(), QString("chooseModel"));
        menu->actions().first()->trigger();
        menu->close();
        const auto choose = [&](const char* law, const char* integrator, const char* tolerance) {
            ModelDialog* dialog = d.actions.modelDialog();
            QVERIFY(dialog && dialog->isVisible());
            dialog->findChild<QComboBox*>("forceLaw")->setCurrentText(law);
            dialog->findChild<QComboBox*>("integrator")->setCurrentText(integrator);
            dialog->findChild<QLineEdit*>("tolerance")->setText(tolerance);
            dialog->accept();
        };
        // Outside the panel a text is wholly a number or refused: the dialog stays open.
        choose("1pn", "reference", "1e-10x");
        QCOMPARE(d.actions.modelDialog()->findChild<QLabel*>("problem")->text(),
                 QString("The tolerance is not a number: \"1e-10x\""));
        QVERIFY(d.program.form1().model == Model{});
        choose("1pn", "reference", "1e-10");
        QTRY_VERIFY(!d.actions.modelDialog()); // closed when sound
        QVERIFY((d.program.form1().model == Model{Integrator::Reference, ForceLaw::PostNewtonian1, 1e-10}));
        QCOMPARE(panel->windowTitle(), QString::fromUtf8("Control Display \u2014 reference (tolerance 1E-10), 1pn"));
        // The engine refuses 1pn at c 0, the panel's default.
        d.type("Titer", "400");
        d.calculate();
        QCOMPARE(d.program.form1().lastRun()->ended, RunEnd::Refused);
        QVERIFY(d.program.form1().lastRun()->message.starts_with("The force law \"1pn\" needs c > 0"));

        d.actions.chooseModel();
        choose("instantaneous", "euler", "1e-10");
        QCOMPARE(panel->windowTitle(), QString::fromUtf8("Control Display \u2014 euler, instantaneous"));
        d.actions.chooseModel();
        choose("retarded", "euler", "1e-10");
        QCOMPARE(panel->windowTitle(), QString("Control Display")); // default runs look as always
    }

    void boxesReadInPartAreToldInTheirTooltips()
    {
        Desktop d;
        const BoxToolTips& tips = d.actions.boxToolTips();
        QVERIFY(tips.toolTip("Dx1").startsWith("In \"2 BH's\": half the separation"));
        d.type("Titer", "400");
        d.type("Tc", "50,000");
        d.type("Dx1", "6,5x");
        d.type("Tmass(1)", "100,5 kg");
        d.type("Tdt", "0,001"); // a decimal comma is the panel's, and read whole
        d.calculate();
        QStringList notes;
        for (const PartRead& read : d.program.form1().partReads())
            notes << QString::fromStdString(PartReadText(read, d.services.regionalFormat()));
        QCOMPARE(notes, QStringList({"c: '50,000' read as 50", "r  m(2): '6,5x' read as 6.5",
                                     "Mass 2: '100,5 kg' read as 100.5"}));
        const QString tip = tips.toolTip("Tc");
        QVERIFY2(tip.endsWith("\n\nThe latest run read this box only in part: c: '50,000' read as 50"),
                 qPrintable(tip));
        QVERIFY(!tips.toolTip("Tdt").contains("in part"));
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), d.edit("Tc")->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(d.edit("Tc"), &hover);
        QCOMPARE(QToolTip::text(), Qt::convertFromPlainText(tip));

        // "Mercury" sets "r  m(2)" and the masses afresh: the next run reads every box whole.
        QTest::mouseClick(d.edit("Tmethode"), Qt::LeftButton);
        QVERIFY(tips.toolTip("Dx1").contains("so the orbit's eccentricity is 0.64"));
        d.type("Titer", "400");
        d.calculate();
        QVERIFY(d.program.form1().partReads().empty());
        QVERIFY(!tips.toolTip("Tc").contains("in part"));
    }

    void runReportIsTheBatchRunnersAnalysisAndWaitsForTheRun()
    {
        QTemporaryDir dir;
        Desktop d;
        d.actions.showRunReport();
        RunReportWindow* window = d.actions.runReportWindow();
        QVERIFY(window && window->isVisible());
        auto* save = window->findChild<QPushButton*>("saveReport");
        QVERIFY(!save->isEnabled()); // nothing to save before the first run

        QTest::mouseClick(d.edit("Tmethode"), Qt::LeftButton);
        d.type("Titer", "60000");
        d.type("Tc", "1000");
        d.type("Tpredsel", "1");
        bool savable = true;
        QTimer::singleShot(0, [&] { savable = save->isEnabled(); });
        d.calculate();
        QVERIFY(!savable); // "Save…" waits for the end of the run like the other entries

        BatchOptions options;
        options.scenario = "Mercury";
        options.typed = {{"Titer", "60000"}, {"Tc", "1000"}, {"Tpredsel", "1"}};
        options.report = true;
        options.json = true;
        std::ostringstream out, err;
        QCOMPARE(RunBatch(options, out, err), 0);
        const nlohmann::json analysis = nlohmann::json::parse(out.str())["analysis"];
        QVERIFY(analysis["orbits"]["count"].get<int>() >= 8);
        const QString shown = window->text()->toPlainText();
        QVERIFY2(shown.endsWith(QString::fromStdString(AnalysisText(analysis, Scenario::Mercury))),
                 qPrintable(shown));
        QVERIFY(window->text()->isReadOnly());
        QVERIFY(save->isEnabled());
        d.answer = dir.filePath("report.json");
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(ReadAll(d.answer), analysis.dump() + "\n");

        // A refused run has no report: it says why, and there is nothing to save.
        d.type("Titer", "abc");
        d.calculate();
        QVERIFY(window->text()->toPlainText().startsWith("The latest run was refused: \"Iteration\""));
        QVERIFY(!save->isEnabled());
    }

    void failedSavesAreToldAndWriteNothing()
    {
        QTemporaryDir dir;
        Desktop d;
        d.type("Titer", "3000");
        d.calculate();
        // A full disk: /dev/full refuses every write.
        d.answer = "/dev/full";
        d.action("Form1", "saveParameters")->trigger();
        d.action("Form2", "saveImage")->trigger();
        d.action("Form3", "saveImage")->trigger();
        d.action("Form3", "saveApsisEvents")->trigger();
        QCOMPARE(d.told.size(), 4);
        for (const QString& message : d.told)
            QCOMPARE(message, QString("Nothing was saved: cannot write /dev/full: No space left on device"));
        // A folder that is not there, and a folder where a file was asked for.
        d.told.clear();
        d.answer = dir.filePath("none/run.json");
        d.actions.saveParameters();
        d.answer = dir.path();
        d.actions.saveImage("Form2");
        QCOMPARE(d.told, QStringList({"Nothing was saved: folder does not exist: " + dir.filePath("none") + "/",
                                      "Nothing was saved: " + dir.path() + " is a folder"}));
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    }

    void fileEntriesWaitWhileARunGoesOn()
    {
        QTemporaryDir dir;
        Desktop d;
        d.type("Titer", "200000");
        int asked = 0;
        d.actions.askFile = [&](QWidget*, const QString&, const QString&, bool) {
            ++asked;
            return dir.filePath("p.json");
        };
        QStringList disabled;
        bool seen = false;
        // Runs at the run's first hand-over, as a person's Ctrl+O and right click would.
        QTimer::singleShot(0, [&] {
            seen = d.program.form1().running();
            for (const auto& [window, name] : {std::pair{"Form1", "saveParameters"}, {"Form1", "loadParameters"},
                                               {"Form2", "saveImage"}, {"Form3", "saveImage"},
                                               {"Form3", "saveApsisEvents"}})
                if (!d.action(window, name)->isEnabled())
                    disabled << name;
            d.key(Qt::Key_O);
            d.actions.saveParameters();
            d.actions.saveImage("Form2");
        });
        d.calculate();
        QVERIFY(seen);
        QCOMPARE(disabled.size(), 5);
        QCOMPARE(asked, 0); // no dialog held the run
        QVERIFY(d.told.isEmpty());
        QCOMPARE(d.program.form1().lastRun()->passes, 200001);
        QVERIFY(d.action("Form1", "loadParameters")->isEnabled());
        d.key(Qt::Key_S);
        QCOMPARE(asked, 1);
        QVERIFY(QFile::exists(dir.filePath("p.json")));
    }

    void signalStopsTheRunAndEndsTheProgramAsClosingThePanelDoes()
    {
        Desktop d;
        QWidget* panel = d.services.widget("Form1");
        DesktopSignals stopSignals([panel](int) { panel->close(); });
        d.type("Titer", "100000000");
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        d.calculate();
        QCOMPARE(stopSignals.received(), SIGTERM);
        QCOMPARE(RunEndName(d.program.form1().lastRun()->ended), std::string_view("stopped"));
        QVERIFY(d.program.form1().lastRun()->passes < 100000000);
        QVERIFY(d.services.programEnded());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    DesktopActionsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_actions_test.moc"
