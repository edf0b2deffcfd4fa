// The window services on Qt Widgets, on the offscreen platform.
#include <cmath>
#include <limits>
#include <vector>

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/headless/headless_services.h"
#include "ui/qt/qt_button.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_text_box.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/screen_fit.h"

using namespace gravlag::ui;

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Collects the regions of the paint events a widget gets.
class PaintSpy final : public QObject {
public:
    explicit PaintSpy(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
    std::vector<QRegion> regions;
};

} // namespace

class QtServicesTest : public QObject {
    Q_OBJECT

private slots:
    void windowsAndControlsCarryTheirNames();
    void geometryInTwipsAtTheScreenResolution();
    void geometryScalesWithLogicalDpi();
    void outerGeometryIncludesTheFrame();
    void windowsAreShownInsideTheScreen();
    void displaysKeepClearOfThePanelWhileTheirControlsShow();
    void tabOrderFollowsTabIndex();
    void changeFromSetTextIsReentrant();
    void changeFromTypingIsReentrantAndKeepsTheCursor();
    void runawayChangeHandlerIsCut();
    void textsDuringARunReachTheWidgetAtTheNextFrame();
    void longTextsShowTheirBeginningAndTheWholeAsTooltip();
    void clickOnALineEdit();
    void buttonClick();
    void colours();
    void backingImageKeepsPixelsAndEraseClears();
    void imageMadeReadyKeepsPixelsThroughResizes();
    void repaintCoversOnlyWhatChanged();
    void pixelsAgreeWithTheHeadlessWindows();
    void closeThroughTheFrameAsksTheHandler();
    void processPendingEventsRunsPostedEvents();
    void everyUpdateOfARunHandsOverPostedEvents();
    void endProgramClosesEverythingAndRunsNothingMore();
    void regionalFormatFollowsTheSystemLocale();
};

void QtServicesTest::windowsAndControlsCarryTheirNames()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    panel.addTextBox({"Tmass(0)", "100", 1080, 1080, 495, 285, 1});
    panel.addLabel({"Lmass(0)", "Mass 1", 240, 1080, 615, 255, 2});
    panel.addButton({"CommandCalc", "Calculate", 480, 120, 975, 375, 0});

    QWidget* top = services.widget("Form1");
    QVERIFY(top);
    QCOMPARE(top->objectName(), QString("Form1"));
    QCOMPARE(top->windowTitle(), QString("Control Display"));
    QCOMPARE(Q(panel.caption()), QString("Control Display"));
    QVERIFY(top->isWindow());
    QVERIFY(!panel.isVisible());

    auto* box = top->findChild<QLineEdit*>("Tmass(0)");
    QVERIFY(box);
    QCOMPARE(box->text(), QString("100"));
    QCOMPARE(box->geometry(), QRect(72, 72, 33, 19));
    auto* label = top->findChild<QLabel*>("Lmass(0)");
    QVERIFY(label);
    QCOMPARE(label->text(), QString("Mass 1"));
    auto* calc = top->findChild<QPushButton*>("CommandCalc");
    QVERIFY(calc);
    QCOMPARE(calc->text(), QString("Calculate"));
    QCOMPARE(calc->geometry(), QRect(32, 8, 65, 25));

    QVERIFY(services.window("Form1")->textBox("Tmass(0)"));
    QVERIFY(!services.window("Form1")->textBox("CommandCalc"));
    QVERIFY(!services.widget("Form2"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             panel.addLabel({"Tmass(0)", "", 0, 0, 15, 15, 3}));

    // The control's own visibility flag, independent of its hidden window.
    TextBox& tmass = *services.window("Form1")->textBox("Tmass(0)");
    QVERIFY(tmass.isVisible());
    tmass.setVisible(false);
    QVERIFY(!tmass.isVisible());
    panel.show();
    QVERIFY(panel.isVisible());
    QVERIFY(!box->isVisible());
    tmass.setVisible(true);
    QVERIFY(box->isVisible());
    tmass.setLeft(5);
    tmass.setTop(150);
    QCOMPARE(box->pos(), QPoint(5, 150));
    QCOMPARE(tmass.left(), 5);
    QCOMPARE(tmass.top(), 150);
}

void QtServicesTest::geometryInTwipsAtTheScreenResolution()
{
    QtServices services; // the offscreen screen has 96 logical dots per inch
    QCOMPARE(services.scale().twipsPerPixel(), 15.0);
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    QCOMPARE(plot.innerWidth(), 800);
    QCOMPARE(plot.innerHeight(), 206);
    // Hidden and never shown, the window has no frame yet.
    QCOMPARE(plot.outerWidth(), 12000);

    plot.setLeft(3765);
    plot.setTop(0);
    QCOMPARE(plot.left(), 3765);
    QCOMPARE(plot.top(), 0);
    QCOMPARE(services.widget("Form3")->pos(), QPoint(251, 0));

    plot.setOuterWidth(3885);
    plot.setOuterHeight(4260 + 14); // 14 twips do not make a pixel
    QCOMPARE(plot.innerWidth(), 259);
    QCOMPARE(plot.innerHeight(), 284);
    QCOMPARE(plot.outerWidth(), 3885);
    QCOMPARE(plot.outerHeight(), 4260);
    QCOMPARE(services.window("Form3")->surfaceImage().size(), QSize(259, 284));
}

void QtServicesTest::geometryScalesWithLogicalDpi()
{
    QtServices services(120.0); // 12 twips to the pixel
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    panel.addTextBox({"Tc", "0", 2640, 2160, 735, 285, 16});
    QCOMPARE(panel.innerWidth(), 313);
    QCOMPARE(panel.innerHeight(), 310);
    auto* tc = services.widget("Form1")->findChild<QLineEdit*>("Tc");
    QVERIFY(tc);
    QCOMPARE(tc->geometry(), QRect(220, 180, 61, 23));
    panel.setLeft(1200);
    QCOMPARE(services.widget("Form1")->x(), 100);
    QCOMPARE(panel.left(), 1200);
}

void QtServicesTest::outerGeometryIncludesTheFrame()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    Window& sim = services.createWindow("Form2", "Simulation Display", 4680, 4260);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(services.widget("Form1")));
    QWidget* top = services.widget("Form1");
    const int extraW = top->frameGeometry().width() - top->width();
    const int extraH = top->frameGeometry().height() - top->height();
    QCOMPARE(panel.outerWidth(), 15 * (251 + extraW));
    QCOMPARE(panel.outerHeight(), 15 * (248 + extraH));

    // A window not shown yet is measured with the frame seen on the shown one, so the
    // start-up arrangement gives Form2 the panel's inner width.
    sim.setOuterWidth(panel.outerWidth());
    QCOMPARE(sim.innerWidth(), panel.innerWidth());
    sim.setTop(panel.outerHeight());
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(services.widget("Form2")));
    QCOMPARE(sim.outerWidth(), panel.outerWidth());
    QCOMPARE(services.widget("Form2")->frameGeometry().top(), top->frameGeometry().bottom() + 1);
}

void QtServicesTest::windowsAreShownInsideTheScreen()
{
    QtServices services(96);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(area, QRect(0, 0, 800, 800)); // the offscreen platform's screen
    Window& sim = services.createWindow("Form2", "Simulation Display", 4680, 4260);
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    QWidget* simWidget = services.widget("Form2");
    QWidget* plotWidget = services.widget("Form3");

    // The layout as the panel makes it: both fit below, neither to the right of the panel.
    sim.setTop(3765);
    plot.setLeft(3765);
    QCOMPARE(plot.left(), 3765); // hidden, a window stands where the layout put it
    sim.show();
    plot.show();
    QCOMPARE(simWidget->pos(), QPoint(0, 251)); // fits: kept
    QCOMPARE(plotWidget->pos(), QPoint(0, 0));  // 800 wide from x 251: moved left until it fits
    QCOMPARE(plot.left(), 0);

    // Where the layout fits again, it is kept; where it does not, the window comes as close
    // to the layout's place as the screen allows.
    plot.setOuterWidth(6000);
    QCOMPARE(plotWidget->pos(), QPoint(251, 0));
    plot.setOuterWidth(9000);
    QCOMPARE(plotWidget->pos(), QPoint(200, 0));

    // A shown window stays where the person moved it while it fits there ...
    simWidget->move(300, 200);
    sim.setOuterHeight(4000);
    QCOMPARE(simWidget->pos(), QPoint(300, 200));
    // ... and is moved back inside when it grows beyond the screen; taller than the screen,
    // its top edge stays on it.
    sim.setOuterHeight(9000);
    QCOMPARE(simWidget->pos(), QPoint(300, 200));
    sim.setOuterHeight(15 * 900);
    QCOMPARE(simWidget->pos(), QPoint(300, 0));
}

// The time evolution display beside the panel (frames of 253 x 273 and 802 x 265 pixels, a
// title bar of 25), on screens too small for the arrangement.
void QtServicesTest::displaysKeepClearOfThePanelWhileTheirControlsShow()
{
    const QRect panel(0, 0, 253, 273);
    const QRect plot(253, 0, 802, 265);
    const QRect clearAndColour(0, 0, 110, 230); // from the frame's corner to "color"'s box
    // Room for it: where the arrangement puts it.
    QCOMPARE(PlaceBeside(plot, QRect(0, 0, 1600, 1000), panel, clearAndColour), QPoint(253, 0));
    // Too narrow: it sticks out on the right rather than go under the panel...
    QCOMPARE(PlaceBeside(plot, QRect(0, 0, 800, 500), panel, clearAndColour), QPoint(253, 0));
    QCOMPARE(PlaceBeside(plot.translated(300, 40), QRect(0, 0, 1200, 500), panel, clearAndColour),
             QPoint(398, 40)); // moved in only as far as the right edge asks
    // ...unless its controls would then leave the screen: inside it, under the panel.
    QCOMPARE(PlaceBeside(plot, QRect(0, 0, 800, 500), panel, QRect(0, 0, 600, 230)), QPoint(0, 0));
    // The simulation display below the panel, too tall: it sticks out at the bottom, its
    // title bar clear of the panel, rather than move up under it.
    const QRect sim(0, 273, 253, 309);
    QCOMPARE(PlaceBeside(sim, QRect(0, 0, 800, 500), panel, QRect(0, 0, 100, 25)), QPoint(0, 273));
    QCOMPARE(FitInside(sim, QRect(0, 0, 800, 500)), QPoint(0, 191));
    // Wanted over the panel already: FitInside's place.
    QCOMPARE(PlaceBeside(QRect(100, 100, 300, 300), QRect(0, 0, 350, 350), panel, QRect(0, 0, 100, 25)),
             QPoint(50, 50));
}

void QtServicesTest::tabOrderFollowsTabIndex()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    // Added out of tab order, with a label among them, as the panel's table has them.
    panel.addButton({"CommandEnd", "End", 2640, 120, 735, 375, 7});
    panel.addTextBox({"Tn_object", "3", 1080, 720, 495, 285, 12});
    panel.addLabel({"Ln_object", "n object", 240, 720, 615, 255, 13});
    panel.addTextBox({"Tmass(0)", "100", 1080, 1080, 495, 285, 1});
    panel.addButton({"CommandCalc", "Calculate", 480, 120, 975, 375, 0});
    panel.addTextBox({"Dx2", "30", 1080, 2520, 495, 285, 8});

    QWidget* top = services.widget("Form1");
    QStringList order;
    QWidget* first = top->findChild<QWidget*>("CommandCalc");
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first && order.size() < 10);
    QCOMPARE(order, (QStringList{"CommandCalc", "Tmass(0)", "CommandEnd", "Dx2", "Tn_object"}));
}

void QtServicesTest::changeFromSetTextIsReentrant()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& tdt = panel.addTextBox({"Tdt", "0.001", 2640, 1800, 735, 285, 18});
    QStringList trace;
    tdt.onChange([&] {
        trace << "enter " + Q(tdt.text());
        if (tdt.text() == "1,5")
            tdt.setText("1.5");
        trace << "leave " + Q(tdt.text());
    });
    tdt.setText("0.001");
    QVERIFY(trace.isEmpty());
    tdt.setText("1,5");
    QCOMPARE(trace, (QStringList{"enter 1,5", "enter 1.5", "leave 1.5", "leave 1.5"}));
    QCOMPARE(Q(tdt.text()), QString("1.5"));
    QCOMPARE(services.widget("Form1")->findChild<QLineEdit*>("Tdt")->text(), QString("1.5"));
}

// During a run the program's texts reach the line edits paced, at most one per frame; what
// the program reads back and its change events are never late, and the run's end shows all.
void QtServicesTest::textsDuringARunReachTheWidgetAtTheNextFrame()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& active = panel.addTextBox({"Titer1", "0", 2640, 1800, 735, 285, 18});
    TextBox& other = panel.addTextBox({"Tti1j0", "", 2640, 2160, 735, 285, 19});
    auto* activeEdit = services.widget("Form1")->findChild<QLineEdit*>("Titer1");
    auto* otherEdit = services.widget("Form1")->findChild<QLineEdit*>("Tti1j0");
    panel.show();
    QStringList changes;
    active.onChange([&] { changes << Q(active.text()); });

    services.setRunning(true);
    active.setText("100");
    active.setText("200");
    QCOMPARE(changes, (QStringList{"100", "200"})); // raised at once, in order
    QCOMPARE(Q(active.text()), QString("200"));
    QCOMPARE(activeEdit->text(), QString("0")); // not yet on the widget
    QTRY_COMPARE(activeEdit->text(), QString("200"));
    QCOMPARE(changes.size(), 2); // handing it to the widget raises nothing more

    // The person typing into a box wins over a text still waiting for its frame.
    other.setText("7");
    otherEdit->setFocus();
    QTest::keyClick(otherEdit, Qt::Key_9);
    QCOMPARE(Q(other.text()), otherEdit->text());

    active.setText("300");
    services.setRunning(false);
    QCOMPARE(activeEdit->text(), QString("300")); // the end of a run shows everything
    active.setText("400");
    QCOMPARE(activeEdit->text(), QString("400")); // and outside a run nothing waits
}

void QtServicesTest::longTextsShowTheirBeginningAndTheWholeAsTooltip()
{
    QtServices services(96);
    Window& form3 = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    TextBox& predict = form3.addTextBox({"TPred", "Text1", 1800, 342, 735, 285, 1});
    auto* edit = services.widget("Form3")->findChild<QLineEdit*>("TPred");
    form3.show();
    const QString longText = "45.0711685333118";
    QVERIFY(edit->fontMetrics().horizontalAdvance(longText) > edit->width()); // it cannot fit

    predict.setText(longText.toStdString());
    QCOMPARE(edit->cursorPosition(), 0); // "45.07…", not "…685333118"
    QCOMPARE(edit->toolTip(), longText);
    predict.setText("45");
    QCOMPARE(edit->toolTip(), QString()); // a text that fits needs none

    // Texts set during a run reach the widget at the next frame, the same way.
    services.setRunning(true);
    predict.setText("-1234567.89012345");
    services.setRunning(false);
    QCOMPARE(edit->text(), QString("-1234567.89012345"));
    QCOMPARE(edit->cursorPosition(), 0);
    QCOMPARE(edit->toolTip(), QString("-1234567.89012345"));

    // What the person types stays where the typing is, and the tooltip follows it.
    services.widget("Form3")->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(services.widget("Form3")));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, longText);
    QCOMPARE(edit->cursorPosition(), static_cast<int>(longText.size()));
    QCOMPARE(edit->toolTip(), longText);
    edit->selectAll();
    QTest::keyClicks(edit, "7");
    QCOMPARE(edit->toolTip(), QString());
}

void QtServicesTest::changeFromTypingIsReentrantAndKeepsTheCursor()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& tdt = panel.addTextBox({"Tdt", "", 2640, 1800, 735, 285, 18});
    QStringList seen;
    int depth = 0, deepest = 0;
    tdt.onChange([&] {
        ++depth;
        deepest = std::max(deepest, depth);
        seen << Q(tdt.text());
        std::string t = tdt.text();
        if (t.find(',') != std::string::npos) {
            std::replace(t.begin(), t.end(), ',', '.');
            tdt.setText(t);
        }
        --depth;
    });
    panel.show();
    QWidget* top = services.widget("Form1");
    top->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(top));
    auto* edit = top->findChild<QLineEdit*>("Tdt");
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());

    QTest::keyClicks(edit, "1,5");
    QCOMPARE(seen, (QStringList{"1", "1,", "1.", "1.5"}));
    QCOMPARE(deepest, 2);
    QCOMPARE(edit->text(), QString("1.5"));
    QCOMPARE(edit->cursorPosition(), 3);

    // Typing a comma inside the text: the tidied text keeps the cursor after it.
    edit->setCursorPosition(1);
    QTest::keyClicks(edit, ",");
    QCOMPARE(edit->text(), QString("1..5"));
    QCOMPARE(edit->cursorPosition(), 2);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(Q(tdt.text()), QString("1.5"));
    QCOMPARE(seen.last(), QString("1.5"));
}

void QtServicesTest::runawayChangeHandlerIsCut()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& tc = panel.addTextBox({"Tc", "0", 2640, 2160, 735, 285, 16});
    const auto hitsBefore = QtTextBox::changeDepthLimitHits();
    int entered = 0;
    tc.onChange([&] {
        ++entered;
        tc.setText(tc.text() == "a" ? "b" : "a");
    });
    tc.setText("a");
    QCOMPARE(entered, QtTextBox::kMaxChangeDepth);
    QCOMPARE(QtTextBox::changeDepthLimitHits(), hitsBefore + 1);
    tc.onChange([&] { ++entered; });
    tc.setText("c");
    QCOMPARE(entered, QtTextBox::kMaxChangeDepth + 1);
}

void QtServicesTest::clickOnALineEdit()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& tmethode = panel.addTextBox({"Tmethode", "2 BH's", 2640, 720, 735, 285, 32});
    int clicks = 0, changes = 0;
    // A selector: each click switches the text, which raises a change.
    tmethode.onClick([&] {
        ++clicks;
        tmethode.setText(tmethode.text() == "2 BH's" ? "Mercury" : "2 BH's");
    });
    tmethode.onChange([&] { ++changes; });
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(services.widget("Form1")));
    auto* edit = services.widget("Form1")->findChild<QLineEdit*>("Tmethode");

    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QCOMPARE(changes, 1);
    QCOMPARE(edit->text(), QString("Mercury"));
    QTest::mouseClick(edit, Qt::RightButton);
    QCOMPARE(clicks, 1);
    // Pressed inside, released outside: no click.
    QTest::mousePress(edit, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(edit, Qt::LeftButton, {}, QPoint(edit->width() + 20, 5));
    QCOMPARE(clicks, 1);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(clicks, 2);
    QCOMPARE(Q(tmethode.text()), QString("2 BH's"));
}

void QtServicesTest::buttonClick()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    Button& end = panel.addButton({"CommandEnd", "End", 2640, 120, 735, 375, 7});
    int clicks = 0;
    end.onClick([&] {
        ++clicks;
        end.setCaption(end.caption() == "End" ? "Stop" : "End");
    });
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(services.widget("Form1")));
    auto* button = services.widget("Form1")->findChild<QPushButton*>("CommandEnd");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QCOMPARE(Q(end.caption()), QString("Stop"));
    QCOMPARE(button->text(), QString("Stop"));
}

void QtServicesTest::colours()
{
    QtServices services;
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    TextBox& tcolor = plot.addTextBox({"Tcolor", "0", 840, 2640, 735, 285, 1});
    tcolor.setTextColor(Rgb{255, 255, 0});
    tcolor.setBackgroundColor(Rgb{0, 0, 128});
    auto* edit = services.widget("Form3")->findChild<QLineEdit*>("Tcolor");
    QCOMPARE(edit->palette().color(QPalette::Text), QColor(255, 255, 0));
    QCOMPARE(edit->palette().color(QPalette::Base), QColor(0, 0, 128));
    QCOMPARE(edit->palette().color(QPalette::Inactive, QPalette::Base), QColor(0, 0, 128));
}

void QtServicesTest::backingImageKeepsPixelsAndEraseClears()
{
    QtServices services;
    services.createWindow("Form2", "Simulation Display", 15 * 20, 15 * 10);
    QtWindow& sim = *services.window("Form2");
    const QImage& image = sim.surfaceImage();
    QCOMPARE(image.size(), QSize(20, 10));
    QCOMPARE(image.pixel(0, 0), qRgb(255, 255, 255));
    sim.setPixel(2.0f, 3.0f, Rgb{128, 0, 0});
    sim.setPixel(19.0f, 9.0f, Rgb{0, 128, 0});

    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(sim.widget()));
    sim.widget()->hide();
    sim.widget()->showMinimized();
    sim.widget()->showNormal();
    services.processPendingEvents();
    // What is on screen is the image: a fresh rendering of the widget shows the dots.
    const QImage shown = sim.widget()->grab().toImage();
    QCOMPARE(shown.pixel(2, 3), qRgb(128, 0, 0));
    QCOMPARE(shown.pixel(19, 9), qRgb(0, 128, 0));
    QCOMPARE(shown.pixel(3, 3), qRgb(255, 255, 255));

    // Shrinking keeps the overlap and loses the rest; growing adds white.
    sim.setOuterWidth(15 * 12 + sim.outerWidth() - 15 * sim.innerWidth());
    QCOMPARE(sim.surfaceImage().width(), 12);
    sim.setOuterWidth(15 * 30 + sim.outerWidth() - 15 * sim.innerWidth());
    sim.setOuterHeight(15 * 25 + sim.outerHeight() - 15 * sim.innerHeight());
    QCOMPARE(sim.surfaceImage().size(), QSize(30, 25));
    QCOMPARE(sim.surfaceImage().pixel(2, 3), qRgb(128, 0, 0));
    QCOMPARE(sim.surfaceImage().pixel(19, 9), qRgb(255, 255, 255));

    sim.erase();
    for (int y = 0; y < sim.surfaceImage().height(); ++y)
        for (int x = 0; x < sim.surfaceImage().width(); ++x)
            QCOMPARE(sim.surfaceImage().pixel(x, y), qRgb(255, 255, 255));
    QCOMPARE(sim.widget()->grab().toImage().pixel(2, 3), qRgb(255, 255, 255));

    // A copy of the image keeps the pixels it was taken with, through drawing and resizing.
    sim.setPixel(4.0f, 5.0f, Rgb{0, 0, 128});
    const QImage copy = sim.surfaceImage();
    sim.setPixel(6.0f, 7.0f, Rgb{0, 0, 128});
    sim.setOuterWidth(15 * 40 + sim.outerWidth() - 15 * sim.innerWidth());
    QCOMPARE(copy.size(), QSize(30, 25));
    QCOMPARE(copy.pixel(4, 5), qRgb(0, 0, 128));
    QCOMPARE(copy.pixel(6, 7), qRgb(255, 255, 255));
    QCOMPARE(sim.surfaceImage().size(), QSize(40, 25));
    QCOMPARE(sim.surfaceImage().pixel(4, 5), qRgb(0, 0, 128));
    QCOMPARE(sim.surfaceImage().pixel(6, 7), qRgb(0, 0, 128));
}

// A display made ready while the program waits has memory for a larger image: resized
// within it, beyond it, narrower and wider, it keeps its dots and is white elsewhere.
void QtServicesTest::imageMadeReadyKeepsPixelsThroughResizes()
{
    QtServices services;
    services.createWindow("Form2", "Simulation Display", 15 * 20, 15 * 10);
    QtWindow& sim = *services.window("Form2");
    sim.setPixel(2.0f, 3.0f, Rgb{128, 0, 0});
    sim.setPixel(19.0f, 9.0f, Rgb{0, 128, 0});
    QCoreApplication::processEvents();
    QVERIFY(sim.widget()->testAttribute(Qt::WA_WState_Created));
    QVERIFY(!sim.widget()->isVisible());
    const auto resizeTo = [&](int width, int height) {
        sim.setOuterWidth(15 * width + sim.outerWidth() - 15 * sim.innerWidth());
        sim.setOuterHeight(15 * height + sim.outerHeight() - 15 * sim.innerHeight());
        QCOMPARE(sim.surfaceImage().size(), QSize(width, height));
    };
    const auto expect = [&](std::initializer_list<std::pair<QPoint, QRgb>> dots) {
        const QImage& image = sim.surfaceImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QRgb want = qRgb(255, 255, 255);
                for (const auto& [at, rgb] : dots)
                    if (at == QPoint(x, y))
                        want = rgb;
                if (image.pixel(x, y) != want)
                    QFAIL(qPrintable(QString("pixel (%1, %2) of %3x%4").arg(x).arg(y).arg(image.width()).arg(image.height())));
            }
    };
    resizeTo(20, 14); // within the room
    expect({{QPoint(2, 3), qRgb(128, 0, 0)}, {QPoint(19, 9), qRgb(0, 128, 0)}});
    resizeTo(12, 14);
    expect({{QPoint(2, 3), qRgb(128, 0, 0)}});
    resizeTo(16, 14); // wider again, over the cut columns
    expect({{QPoint(2, 3), qRgb(128, 0, 0)}});
    resizeTo(40, 30); // beyond the room, rows wider
    expect({{QPoint(2, 3), qRgb(128, 0, 0)}});
}

void QtServicesTest::repaintCoversOnlyWhatChanged()
{
    QtServices services;
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    QtWindow& sim = *services.window("Form2");
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(sim.widget()));
    services.processPendingEvents();
    PaintSpy spy(sim.widget());
    sim.setPixel(10.0f, 20.0f, Rgb{0, 0, 0});
    sim.setPixel(-3.0f, 20.0f, Rgb{0, 0, 0}); // outside: nothing to repaint
    QTRY_VERIFY(!spy.regions.empty());
    QRegion painted;
    for (const QRegion& r : spy.regions)
        painted += r;
    QCOMPARE(painted, QRegion(10, 20, 1, 1));

    spy.regions.clear();
    sim.erase();
    QTRY_VERIFY(!spy.regions.empty());
    QCOMPARE(spy.regions.back().boundingRect(), sim.widget()->rect());
}

void QtServicesTest::pixelsAgreeWithTheHeadlessWindows()
{
    QtServices qt;
    HeadlessServices headless;
    qt.createWindow("Form2", "Simulation Display", 4680, 4260);
    headless.createWindow("Form2", "Simulation Display", 4680, 4260);
    Window& a = *qt.window("Form2");
    Window& b = *headless.window("Form2");
    QCOMPARE(a.innerWidth(), b.innerWidth());
    QCOMPARE(a.innerHeight(), b.innerHeight());

    // Orbit-like coordinates with many halves and near-halves, some far outside or NaN.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::pair<float, float>> points{{-0.5f, -0.5f}, {311.5f, 283.49f},
                                                {311.49f, 283.5f}, {nan, 3.0f},
                                                {1.0e20f, 5.0f}, {-2.0e9f, -2.0e9f}};
    for (int i = 0; i < 4000; ++i) {
        const float t = 0.01f * static_cast<float>(i);
        points.emplace_back(156.0f + 150.0f * std::cos(t) + 0.5f * static_cast<float>(i % 3),
                            142.0f + 160.0f * std::sin(1.3f * t));
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Rgb color{static_cast<std::uint8_t>(i % 3 == 0 ? 128 : 0),
                        static_cast<std::uint8_t>(i % 3 == 1 ? 128 : 0), 0};
        a.setPixel(points[i].first, points[i].second, color);
        b.setPixel(points[i].first, points[i].second, color);
    }
    const QImage& image = qt.window("Form2")->surfaceImage();
    const Surface& surface = headless.window("Form2")->surface();
    int drawn = 0;
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            const Rgb s = surface.at(x, y);
            QCOMPARE(image.pixel(x, y), qRgb(s.r, s.g, s.b));
            drawn += s == kBackground ? 0 : 1;
        }
    }
    QVERIFY(drawn > 1000);
}

void QtServicesTest::closeThroughTheFrameAsksTheHandler()
{
    QtServices services;
    Window& sim = services.createWindow("Form2", "Simulation Display", 4680, 4260);
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    int asked = 0;
    sim.onCloseRequest([&] { ++asked; });
    panel.onCloseRequest([&] { services.endProgram(); });
    sim.show();
    plot.show();
    panel.show();

    QVERIFY(!services.widget("Form2")->close()); // the handler did not close it
    QCOMPARE(asked, 1);
    QVERIFY(sim.isVisible());

    QVERIFY(services.widget("Form3")->close()); // no handler: it goes out of sight
    QVERIFY(!plot.isVisible());

    services.widget("Form1")->close(); // its handler ends the program
    QVERIFY(services.programEnded());
    QVERIFY(!panel.isVisible());
    QVERIFY(!sim.isVisible());
    QCOMPARE(asked, 1); // ending does not ask the handlers again
}

void QtServicesTest::processPendingEventsRunsPostedEvents()
{
    QtServices services;
    QStringList ran;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            ran << "first";
            QMetaObject::invokeMethod(qApp, [&] { ran << "posted by first"; },
                                      Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    QVERIFY(ran.isEmpty());
    services.processPendingEvents();
    QVERIFY(ran.contains("first"));
    services.processPendingEvents();
    QCOMPARE(ran, (QStringList{"first", "posted by first"}));
}

void QtServicesTest::everyUpdateOfARunHandsOverPostedEvents()
{
    // A run's first update hands over in full (a frame is due); those after it within the
    // frame run the posted events alone, at once: a queued "Stop" must not wait for a frame.
    QtServices services;
    services.setRunning(true);
    int ran = 0;
    for (int update = 1; update <= 20; ++update) {
        QMetaObject::invokeMethod(qApp, [&] { ++ran; }, Qt::QueuedConnection);
        services.processPendingInput();
        QCOMPARE(ran, update);
    }
    services.setRunning(false);
}

void QtServicesTest::endProgramClosesEverythingAndRunsNothingMore()
{
    QtServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    Button& end = panel.addButton({"CommandEnd", "End", 2640, 120, 735, 375, 7});
    Window& sim = services.createWindow("Form2", "Simulation Display", 4680, 4260);
    end.onClick([&] { services.endProgram(); });
    panel.show();
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(services.widget("Form1")));

    QTest::mouseClick(services.widget("Form1")->findChild<QPushButton*>("CommandEnd"),
                      Qt::LeftButton);
    QVERIFY(services.programEnded());
    QVERIFY(!panel.isVisible());
    QVERIFY(!sim.isVisible());

    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
    services.processPendingEvents();
    QVERIFY(!ran);
    services.endProgram(); // a second call is harmless
    QCoreApplication::processEvents(); // let the posted call go before `ran` goes out of scope
    QVERIFY(ran);
}

void QtServicesTest::regionalFormatFollowsTheSystemLocale()
{
    // The tests run once under LC_ALL=C and once under a German locale (see CMakeLists).
    const bool german = qEnvironmentVariable("LC_ALL").startsWith("de");
    QtServices services;
    QCOMPARE(Q(services.regionalFormat().decimalSeparator), german ? QString(",") : QString("."));
}

QTEST_MAIN(QtServicesTest)
#include "ui_qt_services_test.moc"
