// Both programs under a locale with a decimal comma (ctest runs this under de_DE.UTF-8): the
// desktop program's panel and gravlag-batch, started as a process as a person starts it,
// read "Iteration" 1000,5 and "Prediction" 1,0 alike and make the same "Mercury" run.
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <nlohmann/json.hpp>

#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_text_box.h"
#include "ui/qt/qt_window.h"
#include "ui/user_number_format.h"

using namespace gravlag;

class RegionalParityTest : public QObject {
    Q_OBJECT

    // gravlag-batch's exit status and --json object, under the given LC_ALL.
    static std::pair<int, nlohmann::json> Batch(const QString& lcAll, const QStringList& arguments)
    {
        QProcess batch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", lcAll);
        batch.setProcessEnvironment(environment);
        batch.start(GRAVLAG_BATCH, QStringList{"--json"} + arguments);
        if (!batch.waitForFinished(60000) || batch.exitStatus() != QProcess::NormalExit)
            return {-1, {}};
        const QByteArray out = batch.readAllStandardOutput();
        return {batch.exitCode(), nlohmann::json::parse(out.toStdString(), nullptr, false)};
    }

private slots:
    void decimalCommaTextsGiveTheSameRunInBothPrograms()
    {
        QVERIFY2(qEnvironmentVariable("LC_ALL") == "de_DE.UTF-8", "run under LC_ALL=de_DE.UTF-8 (see CMakeLists)");
        QVERIFY2(ui::RegionalFormatOfLocale("de_DE.UTF-8").decimalSeparator == ",",
                 "the locale de_DE.UTF-8 is not installed: scripts/deps generates it (localedef)");

        ui::QtServices services(96);
        QCOMPARE(QString::fromStdString(services.regionalFormat().decimalSeparator), QString(","));
        Program program(services);
        QWidget* panel = services.widget("Form1");
        panel->show();
        QTest::mouseClick(panel->findChild<QLineEdit*>("Tmethode"), Qt::LeftButton); // "Mercury"
        const std::pair<const char*, const char*> typed[] = {
            {"Titer", "1000,5"}, {"Tpredsel", "1,0"}, {"Tc", "50000"}};
        for (const auto& [box, text] : typed) {
            QLineEdit* edit = panel->findChild<QLineEdit*>(box);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        }
        QTest::mouseClick(panel->findChild<QPushButton*>("CommandCalc"), Qt::LeftButton);
        QCOMPARE(program.form1().lastRun()->ended, RunEnd::Completed);

        const auto [status, j] = Batch("de_DE.UTF-8", {"--as-typed", "--scenario", "Mercury", "--iterations", "1000,5", "--prediction", "1,0", "--c", "50000"});
        QCOMPARE(status, 0);
        QCOMPARE(j["ended"].get<std::string>(), std::string("completed"));
        QCOMPARE(program.form1().lastRun()->passes, std::int64_t{1001}); // passes 0 to 1000,5
        QCOMPARE(j["passes"].get<std::int64_t>(), program.form1().lastRun()->passes);
        const SimState& s = program.state();
        for (std::size_t i = 0; i < kBodies; ++i) {
            QCOMPARE(j["x"][i].get<double>(), s.x[i]); // bit for bit: JSON keeps every digit
            QCOMPARE(j["y"][i].get<double>(), s.y[i]);
            QCOMPARE(j["vx"][i].get<double>(), s.vx[i]);
            QCOMPARE(j["vy"][i].get<double>(), s.vy[i]);
        }
        // Every box as the run left it.
        for (const auto& [name, text] : j["boxes"].items()) {
            ui::TextBox* box = nullptr;
            for (const char* window : {"Form1", "Form3"})
                if (!box)
                    box = services.window(window)->textBox(name);
            QVERIFY2(box, name.c_str());
            QCOMPARE(QString::fromStdString(box->text()), QString::fromStdString(text.get<std::string>()));
        }

        // The environment decides: in the C locale the same text is not a number.
        const auto [statusC, jC] = Batch("C", {"--as-typed", "--iterations", "1000,5"});
        QCOMPARE(statusC, 2);
        QCOMPARE(jC["ended"].get<std::string>(), std::string("refused"));
    }
};

QTEST_MAIN(RegionalParityTest)
#include "regional_parity_test.moc"
