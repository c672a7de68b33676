// Preloaded into the unmodified analyser (LD_PRELOAD) to drive its main window the way a user
// would and read back what the window shows, from the item tree by object name: connect and
// start through the device panel, wait for live data from the simulated receiver, check the
// status bars and rulers, then add a marker through the model, drag it and read its readout.
// Prints "PASSED" and closes the window, or prints each "FAILED: ..." and exits with code 1.
// With RTSA_PROBE_SCREENSHOT set, it saves the window to that file before closing.
#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <QtTest/QTest>

#include <cmath>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

QtMessageHandler g_previousHandler = nullptr;
QStringList g_qmlWarnings;

// Every message still reaches the console; warnings about our QML documents are kept, as any
// of them (a failed binding, a type error) fails the run.
void recordMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && message.contains(u"qrc:/qml/"_s))
        g_qmlWarnings << message;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QQuickItem* findItem(QQuickItem* parent, const QString& name)
{
    for (QQuickItem* child : parent->childItems()) {
        if (child->objectName() == name)
            return child;
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// What the frequency ruler and the marker readout show, worked out here independently.
QString megaText(double hz, int decimals)
{
    return QString::number(hz / 1e6, 'f', decimals);
}

class LiveWindowProbe : public QObject {
public:
    using QObject::QObject;

    void run()
    {
        g_previousHandler = qInstallMessageHandler(recordMessages);
        if (findWindow() && connectAndStart() && checkStatusBars() && checkAutoAdjust() && checkRulers()
            && checkMarkers() && saveScreenshot())
            stop();
        finish();
    }

private:
    bool fail(const QString& what)
    {
        m_failures << what;
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
        return false;
    }

    bool check(bool ok, const QString& what) { return ok || fail(what); }

    bool waitFor(const std::function<bool()>& condition, int ms, const QString& what)
    {
        return QTest::qWaitFor(condition, ms) || fail(u"timed out waiting for "_s + what);
    }

    QQuickItem* item(const QString& name) const { return findItem(m_window->contentItem(), name); }

    QString text(const QString& name) const
    {
        const QQuickItem* found = item(name);
        return found ? found->property("text").toString() : u"<no item %1>"_s.arg(name);
    }

    QString colorName(const QString& name) const { return item(name)->property("color").value<QColor>().name(); }

    bool textIs(const QString& name, const QString& expected)
    {
        const QString actual = text(name);
        return check(actual == expected, u"%1 reads \"%2\", expected \"%3\""_s.arg(name, actual, expected));
    }

    bool textMatches(const QString& name, const QString& pattern)
    {
        const QString actual = text(name);
        return check(QRegularExpression(pattern).match(actual).hasMatch(),
                     u"%1 reads \"%2\", expected /%3/"_s.arg(name, actual, pattern));
    }

    QPoint centreOf(const QQuickItem* target) const
    {
        return target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    }

    bool click(const QString& name)
    {
        QQuickItem* button = item(name);
        if (!button || !button->isEnabled())
            return fail(u"%1 is missing or disabled"_s.arg(name));
        QTest::mouseClick(m_window, Qt::LeftButton, {}, centreOf(button));
        return true;
    }

    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(m_window, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(m_window, from + (to - from) * step / 10);
        QTest::mouseRelease(m_window, Qt::LeftButton, {}, to);
    }

    double viewNumber(const char* property) const { return m_view->property(property).toDouble(); }

    bool findWindow()
    {
        const bool found = QTest::qWaitFor(
            [this] {
                for (QWindow* window : QGuiApplication::topLevelWindows()) {
                    auto* quick = qobject_cast<QQuickWindow*>(window);
                    if (quick && quick->title() == u"NorvaleRTSA"_s && quick->isExposed())
                        m_window = quick;
                }
                return m_window != nullptr;
            },
            30000);
        if (!found)
            return fail(u"no NorvaleRTSA window"_s);
        m_controller = m_window->property("controller").value<QObject*>();
        m_state = m_window->findChild<QObject*>(u"appState"_s);
        m_view = item(u"spectrumView"_s);
        return check(m_controller != nullptr, u"the window has no controller"_s)
               && check(m_state != nullptr, u"no appState"_s) && check(m_view != nullptr, u"no spectrumView"_s)
               && textIs(u"deviceStatusText"_s, u"status: idle"_s);
    }

    bool connectAndStart()
    {
        if (!click(u"connectButton"_s)
            || !waitFor([this] { return m_controller->property("connected").toBool(); }, 20000,
                        u"the receiver to connect"_s)
            || !textIs(u"connectButton"_s, u"Disconnect"_s) || !click(u"startButton"_s))
            return false;
        // Live data: acquisition has replaced the demonstration spectrum and frames are counted.
        return waitFor(
                   [this] {
                       return m_controller->property("running").toBool() && !m_view->property("demo").toBool()
                              && m_controller->property("fps").toDouble() > 0 && viewNumber("rbwHz") > 0;
                   },
                   30000, u"live frames"_s)
               && waitFor([this] { return text(u"fpsText"_s) != u"FPS: 0.0"_s; }, 5000, u"the frame rate to show"_s);
    }

    bool checkStatusBars()
    {
        bool ok = textIs(u"detectorText"_s, u"Det: Avg(20)"_s);
        ok &= textIs(u"fftText"_s, u"FFT: %1"_s.arg(m_controller->property("fftSize").toInt()));
        ok &= textMatches(u"fpsText"_s, u"^FPS: \\d+\\.\\d$"_s);
        ok &= textMatches(u"dspLoadText"_s, u"^DSP: \\d+\\.\\d%$"_s);
        ok &= textIs(u"maxFpsText"_s, u"MaxFPS: 30"_s);
        ok &= textIs(u"vbwText"_s, u"VBW: 0.0 Hz"_s);
        ok &= textIs(u"deviceSummaryText"_s, u"Port 1  |  Rate/BW 20 MSps  |  ATT 0 dB  |  Pre 20 dB  |  IF 30 dB"_s);
        // The RBW of a 20 MS/s spectrum aimed at 10 kHz is some kHz; the text is the item's value.
        const QString rbw = text(u"rbwText"_s);
        const QRegularExpressionMatch m = QRegularExpression(u"^RBW: (\\d+\\.\\d{3}) kHz$"_s).match(rbw);
        ok &= check(m.hasMatch() && std::abs(m.captured(1).toDouble() * 1e3 - viewNumber("rbwHz")) < 0.5,
                    u"rbwText reads \"%1\" for an RBW of %2 Hz"_s.arg(rbw).arg(viewNumber("rbwHz")));
        ok &= check(!text(u"deviceStatusText"_s).startsWith(u"status: idle"_s), u"the status line never changed"_s);
        return ok;
    }

    // An RBW target finer than the receiver can resolve, chosen as the spectrum panel chooses
    // one: the controller clamps it and says so, the window shows the message in the AUTO badge
    // and draws the RBW in the highlight colour until the user's own choice is back.
    bool checkAutoAdjust()
    {
        const QString normal = u"#8aa2b2"_s;
        bool ok = check(!item(u"autoBadge"_s)->isVisible(), u"AUTO badge before any adjustment"_s)
                  && check(colorName(u"rbwText"_s) == normal, u"RBW highlighted at start"_s);
        m_state->setProperty("lastUserRbwTargetHz", 100.0);
        m_controller->setProperty("rbwTargetHz", 100.0);
        ok = ok && waitFor([this] { return item(u"autoBadge"_s)->isVisible(); }, 5000, u"the AUTO badge"_s)
             && textMatches(u"autoBadgeText"_s, u"^AUTO: RBW target too low, clamped to \\d+\\.\\d{3} kHz$"_s)
             && check(colorName(u"rbwText"_s) == u"#e4b55e"_s, u"RBW not highlighted after the clamp"_s);
        m_state->setProperty("lastUserRbwTargetHz", 10000.0);
        m_controller->setProperty("rbwTargetHz", 10000.0);
        return ok && check(colorName(u"rbwText"_s) == normal, u"RBW still highlighted with the user's choice back"_s);
    }

    // The rulers follow the receiver: 20 MS/s around 1 GHz, then 10 MS/s chosen in the panel.
    bool checkRulers()
    {
        bool ok = textIs(u"frequencyTick0"_s, u"0.990"_s) && textIs(u"frequencyTick5"_s, u"1.000 GHz"_s)
                  && textIs(u"frequencyTick10"_s, u"1.010"_s);
        ok = ok && click(u"rate10"_s)
             && waitFor([this] { return viewNumber("maxFreqHz") - viewNumber("minFreqHz") == 10e6; }, 20000,
                        u"the 10 MHz span"_s)
             && textIs(u"frequencyTick0"_s, u"0.995"_s) && textIs(u"frequencyTick10"_s, u"1.005"_s)
             && textIs(u"deviceSummaryText"_s, u"Port 1  |  Rate/BW 10 MSps  |  ATT 0 dB  |  Pre 20 dB  |  IF 30 dB"_s);
        ok = ok && check(!item(u"timeRuler"_s)->isVisible(), u"time ruler without waterfall"_s);
        m_controller->setProperty("waterfallEnabled", true);
        return ok && check(item(u"timeRuler"_s)->isVisible(), u"no time ruler with waterfall"_s)
               && textIs(u"timeRulerNow"_s, u"Now"_s) && textIs(u"timeRulerDepth"_s, u"-10s"_s);
    }

    // The frequency of the first marker in the model, read by role as every view reads it.
    static double markerFreqHz(QObject* model)
    {
        auto* list = qobject_cast<QAbstractItemModel*>(model);
        return list && list->rowCount() > 0 ? list->data(list->index(0, 0), 258).toDouble() : NAN;
    }

    bool checkMarkers()
    {
        auto* model = m_controller->property("markersModel").value<QObject*>();
        if (!model)
            return fail(u"the controller has no markersModel"_s);
        const double startHz = 1001e6;
        QMetaObject::invokeMethod(model, "addMarker", Q_ARG(int, 1), Q_ARG(double, startHz),
                                  Q_ARG(QString, u"#4FC3F7"_s));
        if (!waitFor([this] { return item(u"marker1"_s) && item(u"markerReadout1"_s); }, 5000,
                     u"marker 1 on the spectrum"_s))
            return false;
        bool ok = textIs(u"markerReadout1"_s, u"M1  %1 MHz"_s.arg(megaText(startHz, 6)));

        // Where a press on the overlay puts a marker, worked out from the view's span.
        QQuickItem* overlay = item(u"marker1"_s)->parentItem();
        const double minHz = viewNumber("minFreqHz");
        const double spanHz = viewNumber("maxFreqHz") - minHz;
        auto freqAt = [&](QPoint scene) {
            return minHz + overlay->mapFromScene(QPointF(scene)).x() / (overlay->width() - 1) * spanHz;
        };

        // Dragged 150 px to the right, the marker lands on the frequency under the pointer.
        const QPoint from = centreOf(item(u"marker1"_s));
        const QPoint to = from + QPoint(150, 0);
        drag(from, to);
        const double draggedHz = markerFreqHz(model);
        ok &= check(std::abs(draggedHz - freqAt(to)) < 1.0,
                    u"dragged marker at %1 Hz, expected %2 Hz"_s.arg(draggedHz, 0, 'f', 1).arg(freqAt(to), 0, 'f', 1));
        ok &= waitFor([&] { return text(u"markerReadout1"_s).contains(megaText(draggedHz, 6)); }, 2000,
                      u"the readout to follow the drag"_s);
        ok &= check(std::abs(centreOf(item(u"marker1"_s)).x() - to.x()) <= 1, u"the marker line stayed behind"_s);

        // A marker following the peak cannot be dragged away from it.
        QMetaObject::invokeMethod(model, "setMarkerAutoPeak", Q_ARG(int, 1), Q_ARG(bool, true));
        QTest::qWait(300);
        const QPoint peak = centreOf(item(u"marker1"_s));
        const bool rightHalf = peak.x() > overlay->mapToScene(QPointF(overlay->width() / 2, 0)).x();
        const QPoint away = peak + QPoint(rightHalf ? -200 : 200, 0);
        drag(peak, away);
        ok &= check(std::abs(markerFreqHz(model) - freqAt(away)) > spanHz / 100, u"an auto-peak marker was dragged"_s);
        QMetaObject::invokeMethod(model, "setMarkerAutoPeak", Q_ARG(int, 1), Q_ARG(bool, false));
        return ok;
    }

    bool stop()
    {
        return click(u"stopButton"_s)
               && waitFor([this] { return !m_controller->property("running").toBool(); }, 10000,
                          u"acquisition to stop"_s);
    }

    // Back at 20 MS/s, long enough for the waterfall to fill its part of the view.
    bool saveScreenshot()
    {
        const QString path = qEnvironmentVariable("RTSA_PROBE_SCREENSHOT");
        if (path.isEmpty())
            return true;
        if (!click(u"rate20"_s))
            return false;
        QTest::qWait(12000);
        return check(m_window->grabWindow().save(path), u"cannot save the screenshot to "_s + path);
    }

    void finish()
    {
        for (const QString& warning : g_qmlWarnings)
            fail(u"QML warning: "_s + warning);
        qInstallMessageHandler(g_previousHandler);
        if (!m_failures.isEmpty()) {
            QCoreApplication::exit(1);
            return;
        }
        std::fprintf(stderr, "PASSED\n");
        m_window->close();
    }

    QQuickWindow* m_window = nullptr;
    QObject* m_controller = nullptr;
    QObject* m_state = nullptr;
    QQuickItem* m_view = nullptr;
    QStringList m_failures;
};

// Runs when the application object is built: the probe belongs to it and starts with its loop.
void startProbe()
{
    auto* probe = new LiveWindowProbe(QCoreApplication::instance());
    QTimer::singleShot(0, probe, [probe] { probe->run(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
