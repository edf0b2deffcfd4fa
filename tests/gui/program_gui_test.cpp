// The desktop program's windows on Qt (offscreen): start-up, a run started by a click,
// "Stop", a second "Calculate" during a run, the scenario switch, and the same picture as
// the in-memory windows draw.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "app/desktop/end_click_guard.h"
#include "app/desktop/run_message.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_window.h"

using namespace gravlag;

class ProgramGuiTest : public QObject {
    Q_OBJECT

    template <class W>
    W* find(ui::QtServices& s, const char* window, const char* name)
    {
        W* w = s.widget(window)->findChild<W*>(name);
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void type(ui::QtServices& s, const char* name, const QString& text)
    {
        QLineEdit* e = find<QLineEdit>(s, "Form1", name);
        e->selectAll();
        QTest::keyClicks(e, text);
    }

private slots:
    void startUp()
    {
        ui::QtServices services(96);
        Program program(services);
        services.widget("Form1")->show();
        program.form1().Form_Load(); // as the program does once the panel's frame is known
        QCoreApplication::processEvents(); // the displays made ready to show, still hidden
        QCOMPARE(services.widget("Form1")->windowTitle(), QString("Control Display"));
        QVERIFY(!services.widget("Form2")->isVisible());
        QVERIFY(!services.widget("Form3")->isVisible());
        QCOMPARE(find<QLineEdit>(services, "Form1", "Titer")->text(), QString("320000"));
        QCOMPARE(find<QLineEdit>(services, "Form1", "Tmass(2)")->text(), QString("0.01"));
        QCOMPARE(find<QPushButton>(services, "Form1", "CommandEnd")->text(), QString("End"));
        QCOMPARE(services.window("Form2")->left(), 0);
        QCOMPARE(services.window("Form3")->left(), services.window("Form1")->outerWidth());
    }

    void runByClickFillsProgress()
    {
        ui::QtServices services(96);
        Program program(services);
        services.widget("Form1")->show();
        type(services, "Titer", "3000");
        type(services, "Tc", "50000");
        QTest::mouseClick(find<QPushButton>(services, "Form1", "CommandCalc"), Qt::LeftButton);
        QCOMPARE(find<QLineEdit>(services, "Form1", "Titer1")->text(), QString("3000"));
        QCOMPARE(find<QLineEdit>(services, "Form1", "Tti1j0")->text(), QString("0"));
        QCOMPARE(find<QLineEdit>(services, "Form1", "Tti2j0")->text(), QString("0"));
        QVERIFY(services.widget("Form2")->isVisible());
        QCOMPARE(find<QPushButton>(services, "Form1", "CommandEnd")->text(), QString("End"));
    }

    void stopAndSecondCalculateDuringARun()
    {
        ui::QtServices services(96);
        Program program(services);
        services.widget("Form1")->show();
        int finished = 0;
        program.form1().onRunFinished([&](const RunResult&) { ++finished; });
        QPushButton* calc = find<QPushButton>(services, "Form1", "CommandCalc");
        QPushButton* end = find<QPushButton>(services, "Form1", "CommandEnd");
        // Posted now, delivered at the run's hand-overs: a second Calculate, then Stop.
        QTimer::singleShot(0, calc, [&] { QTest::mouseClick(calc, Qt::LeftButton); });
        QTimer::singleShot(0, end, [&] {
            QCOMPARE(end->text(), QString("Stop"));
            QTest::mouseClick(end, Qt::LeftButton);
        });
        QTest::mouseClick(calc, Qt::LeftButton);
        QCOMPARE(finished, 1);
        QCOMPARE(program.form1().lastRun()->ended, RunEnd::Stopped);
        QCOMPARE(end->text(), QString("End"));
        QVERIFY(!services.programEnded());
    }

    void endJustAfterARunIsTheStopItWasAimedAt()
    {
        ui::QtServices services(96);
        Program program(services);
        services.widget("Form1")->show();
        QPushButton* end = find<QPushButton>(services, "Form1", "CommandEnd");
        EndClickGuard guard(end);
        program.form1().onRunFinished([&](const RunResult&) { guard.runEnded(); });
        type(services, "Titer", "1000");
        QTest::mouseClick(find<QPushButton>(services, "Form1", "CommandCalc"), Qt::LeftButton);
        QCOMPARE(end->text(), QString("End"));
        // What reaches "End" now is only counted: the panel's handler would end the program.
        end->disconnect();
        QSignalSpy clicks(end, &QPushButton::clicked);
        QTest::mouseClick(end, Qt::LeftButton, {}, QPoint(), 0);
        QTest::keyClick(end, Qt::Key_Space);
        QTest::mousePress(end, Qt::LeftButton, {}, QPoint(), 0);
        QCOMPARE(clicks.count(), 0); // arrived at once after the run: ignored
        QVERIFY(!end->isDown());
        QTest::qWait(static_cast<int>(EndClickGuard::kAfterRun.count()) + 100);
        QTest::mouseClick(end, Qt::LeftButton, {}, QPoint(), 0);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!services.programEnded());
    }

    void scenarioSwitchColoursTheSelector()
    {
        ui::QtServices services(96);
        Program program(services);
        QLineEdit* method = find<QLineEdit>(services, "Form1", "Tmethode");
        QTest::mouseClick(method, Qt::LeftButton);
        QCOMPARE(method->text(), QString("Mercury"));
        QLineEdit* color = find<QLineEdit>(services, "Form3", "Tcolor");
        QCOMPARE(color->text(), QString("12"));
        QCOMPARE(color->palette().color(QPalette::Base), QColor(255, 0, 0));
        QTest::mouseClick(color, Qt::LeftButton);
        QCOMPARE(color->text(), QString("13"));
    }

    void colourStepsAndClearErasesThePlot()
    {
        ui::QtServices services(96);
        Program program(services);
        type(services, "Titer", "8000");
        QTest::mouseClick(find<QPushButton>(services, "Form1", "CommandCalc"), Qt::LeftButton);
        const auto ink = [&](const char* window) {
            const QImage& image = services.window(window)->surfaceImage();
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += image.pixel(x, y) != qRgb(255, 255, 255);
            return n;
        };
        QVERIFY(ink("Form3") > 0);
        const int dots = ink("Form2");
        QLineEdit* color = find<QLineEdit>(services, "Form3", "Tcolor");
        QTest::mouseClick(color, Qt::LeftButton);
        QCOMPARE(color->text(), QString("1"));
        QCOMPARE(color->palette().color(QPalette::Base), QColor(0, 0, 128));
        QCOMPARE(color->palette().color(QPalette::Text), QColor(255, 255, 255));
        QTest::mouseClick(find<QPushButton>(services, "Form3", "CommandCls"), Qt::LeftButton);
        QCOMPARE(ink("Form3"), 0);
        QCOMPARE(ink("Form2"), dots);
    }

    void faultIsShownAfterTheRunHasEnded()
    {
        ui::QtServices services(96);
        Program program(services);
        QWidget* panel = services.widget("Form1");
        panel->show();
        QString shown, captionWhenShown;
        QPushButton* end = find<QPushButton>(services, "Form1", "CommandEnd");
        program.form1().onRunFinished([&](const RunResult& r) {
            QTimer::singleShot(0, [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                        shown = box->text();
                        captionWhenShown = end->text();
                        box->accept();
                    }
            });
            QVERIFY(ShowRunMessage(panel, r));
        });
        type(services, "Tdt", "1e300");
        QTest::mouseClick(find<QPushButton>(services, "Form1", "CommandCalc"), Qt::LeftButton);
        QVERIFY2(shown.contains("Pass 0") && shown.contains("overflow"), qPrintable(shown));
        QCOMPARE(captionWhenShown, QString("End"));
        RunResult completed;
        QVERIFY(!ShowRunMessage(panel, completed));
    }

    void samePictureAsTheHeadlessWindows()
    {
        ui::QtServices qt(96);
        Program onQt(qt);
        ui::HeadlessServices mem;
        Program inMemory(mem);
        QTest::mouseClick(find<QLineEdit>(qt, "Form1", "Tmethode"), Qt::LeftButton);
        mem.textBox("Tmethode")->click();
        type(qt, "Titer", "60000");
        mem.textBox("Titer")->type("60000");
        QTest::mouseClick(find<QPushButton>(qt, "Form1", "CommandCalc"), Qt::LeftButton);
        mem.button("CommandCalc")->click();
        for (const char* name : {"Form2", "Form3"}) {
            const QImage& image = qt.window(name)->surfaceImage();
            const ui::Surface& surface = mem.window(name)->surface();
            // A window manager's frame can leave Form3 a few pixels taller on Qt; the plot is
            // centred on the inner height, so the same drawing then stands that much lower.
            const int shift = (image.height() - surface.height) / 2;
            const int w = std::min(image.width(), surface.width);
            int differing = 0, ink = 0;
            for (int y = 0; y < surface.height; ++y)
                for (int x = 0; x < w; ++x) {
                    const ui::Rgb c = surface.at(x, y);
                    ink += !(c == ui::kBackground);
                    const int qy = y + shift;
                    if (qy >= 0 && qy < image.height())
                        differing += image.pixel(x, qy) != qRgb(c.r, c.g, c.b);
                }
            QVERIFY(ink > 0);
            QCOMPARE(differing, 0);
        }
    }
};

QTEST_MAIN(ProgramGuiTest)
#include "program_gui_test.moc"
