// The desktop program's file actions (offscreen): parameter files saved and loaded through
// Ctrl+S and Ctrl+O, refused files, and the two displays' "Save image…" and "Save apsis
// events…". The file dialog is answered by the test.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "app/batch/batch_run.h"
#include "app/desktop/desktop_actions.h"
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
            {"number.json", "{\"Titer\": 50}"},
            {"scenario.json", "{\"scenario\": \"Venus\", \"Titer\": \"50\"}"},
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

        // A second run replaces the rows of the first.
        d.type("Titer", "30000");
        d.calculate();
        d.action("Form3", "saveApsisEvents")->trigger();
        QVERIFY(ReadAll(d.answer).size() < batch.size());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    DesktopActionsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktop_actions_test.moc"
