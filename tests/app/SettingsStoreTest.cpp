// The settings kept between runs: written to a file of the test's own, read back into new
// objects, and a file that cannot be read giving defaults and one log line.
#include "app/KeptSettings.h"
#include "app/Logger.h"
#include "app/RtsaController.h"
#include "app/SettingsStore.h"
#include "tests/app/ScriptedReceiver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<RtsaController> scriptedController()
{
    auto script = std::make_shared<ReceiverScript>();
    return std::make_unique<RtsaController>([script] { return std::make_unique<ScriptedReceiver>(script); });
}

// A log whose window lines are kept.
struct CapturedLog {
    std::vector<std::pair<LogLevel, QString>> lines;
    Logger log{[this](LogLevel level, const QString& line, LogAudience) { lines.emplace_back(level, line); },
               [](LogLevel, std::string_view) {}};
};

// What the window holds as QML declares it: named objects with properties and their defaults.
struct FakeWindow {
    QObject window;
    QObject* appState = new QObject(&window);
    QObject* logPanel = new QObject(&window);

    FakeWindow()
    {
        appState->setObjectName(QStringLiteral("appState"));
        appState->setProperty("usrpRateValue", QStringLiteral("20"));
        appState->setProperty("centerFreqMHz", 1000.0);
        appState->setProperty("nextMarkerId", 1);
        appState->setProperty("newDemodMarkerId", -2);
        logPanel->setObjectName(QStringLiteral("logPanel"));
        logPanel->setProperty("expanded", false);
    }
};

// The next run: a controller and a window at their defaults, given what the file at `path` kept.
struct NextRun {
    CapturedLog log;
    std::unique_ptr<RtsaController> controller = scriptedController();
    FakeWindow window;
    const int defaultDetector = controller->detectorMode();
    SettingsStore store;

    explicit NextRun(const QString& path) : store(path, log.log)
    {
        restoreKeptSettings(store, *controller, window.window);
    }
};

// A run from the defaults that makes the changes `edit` makes and saves at its close, as the
// window does, without a line to the log.
void runAndSave(const QString& path, const std::function<void(RtsaController*, FakeWindow&)>& edit)
{
    CapturedLog log;
    SettingsStore store(path, log.log);
    auto c = scriptedController();
    FakeWindow w;
    edit(c.get(), w);
    saveKeptSettings(store, *c, w.window);
    QVERIFY(log.lines.empty());
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    // What the user set in one run is what the next one starts with, in an order that lets every
    // setting take: stereo after its deviation, the marker binding after the markers.
    void aRunStartsWhereTheLastOneEnded()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        runAndSave(path, [](RtsaController* c, FakeWindow& w) {
            c->setRbwTargetHz(30000);
            c->setDetectorMode(1);
            c->setSpectrumOverlap(75);
            c->setDensitySource(static_cast<int>(DensitySource::DisplayTrace));
            c->setWaterfallEnabled(true);
            c->setNewDemodFmDeviationHz(300000);
            c->setNewDemodFmStereoEnabled(true);
            c->setSquelchOpenDb(7.5);
            c->setDeviceSelection(QStringLiteral("RZ640"));
            c->addMarker(3, 99.4e6, QStringLiteral("#FF6B5E"));
            c->setMarkerAutoPeak(3, true);
            w.appState->setProperty("usrpRateValue", QStringLiteral("10"));
            w.appState->setProperty("centerFreqMHz", 99.4);
            w.appState->setProperty("newDemodMarkerId", 3);
            w.logPanel->setProperty("expanded", true);
        });

        NextRun next(path);
        RtsaController* c = next.controller.get();
        const FakeWindow& w = next.window;
        QVERIFY(next.log.lines.empty());
        QCOMPARE(c->rbwTargetHz(), 30000.0);
        QCOMPARE(c->detectorMode(), 1);
        QCOMPARE(c->spectrumOverlap(), 75);
        QCOMPARE(c->densitySource(), static_cast<int>(DensitySource::DisplayTrace));
        QVERIFY(c->waterfallEnabled());
        QCOMPARE(c->newDemodFmDeviationHz(), 300000.0);
        QVERIFY(c->newDemodFmStereoEnabled());
        QCOMPARE(c->squelchOpenDb(), 7.5);
        QCOMPARE(c->deviceSelection(), QStringLiteral("RZ640"));
        const QVariantList markers = c->markers();
        QCOMPARE(markers.size(), 1);
        const QVariantMap marker = markers.front().toMap();
        QCOMPARE(marker.value(QStringLiteral("id")).toInt(), 3);
        QCOMPARE(marker.value(QStringLiteral("freqHz")).toDouble(), 99.4e6);
        QCOMPARE(QColor(marker.value(QStringLiteral("color")).toString()), QColor(QStringLiteral("#FF6B5E")));
        QVERIFY(marker.value(QStringLiteral("autoPeakEnabled")).toBool());
        QCOMPARE(w.appState->property("usrpRateValue").toString(), QStringLiteral("10"));
        QCOMPARE(w.appState->property("centerFreqMHz").toDouble(), 99.4);
        QCOMPARE(w.appState->property("newDemodMarkerId").toInt(), 3);
        QVERIFY(w.logPanel->property("expanded").toBool());
    }

    // The measurements' settings and each receiver's reference offset come back with the rest.
    void measurementsAndReferenceOffsetsAreKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        runAndSave(path, [](RtsaController* c, FakeWindow&) {
            c->measurements()->setChannelBandwidthHz(1e6);
            c->measurements()->setAcpPairs(3);
            c->measurements()->setReferenceOffsets({{QStringLiteral("other receiver"), -3.0}});
            c->measurements()->setReferenceOffsetDb(12.5);
        });

        NextRun next(path);
        const MeasurementControl* m = next.controller->measurements();
        QCOMPARE(m->channelBandwidthHz(), 1e6);
        QCOMPARE(m->acpPairs(), 3);
        QCOMPARE(m->referenceOffsetDb(), 12.5);
        QCOMPARE(m->levelUnit(), QStringLiteral("dBm"));
        QCOMPARE(m->referenceOffsets().value(QStringLiteral("other receiver")).toDouble(), -3.0);
    }

    // The folder recordings go to comes back; the name and description are for one recording.
    void theRecordingFolderIsKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        runAndSave(path, [&dir](RtsaController* c, FakeWindow&) {
            c->recording()->setFolder(dir.path());
            c->recording()->setFileName(QStringLiteral("once"));
        });

        NextRun next(path);
        QCOMPARE(next.controller->recording()->folder(), dir.path());
        QCOMPARE(next.controller->recording()->fileName(), QString());
    }

    // The recording last played comes back loaded and paused, its raw rate and centre with it,
    // and nothing starts until Play makes it the receiver; a kept file that has gone is said,
    // not played.
    void theRecordingLastPlayedIsKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        const QString raw = dir.filePath(QStringLiteral("burst.cs16"));
        writeFile(raw, QByteArray(4 * 65536, '\0'));
        runAndSave(path, [&raw](RtsaController* c, FakeWindow&) {
            QVERIFY(c->playback()->openFile(raw, 2e6, 433.92e6));
        });

        {
            NextRun next(path);
            const PlaybackControl* playback = next.controller->playback();
            QVERIFY(playback->loaded());
            QVERIFY(!playback->playing());
            QVERIFY(!next.controller->running());
            QCOMPARE(playback->fileName(), QStringLiteral("burst.cs16"));
            QCOMPARE(playback->sampleRateHz(), 2e6);
            QCOMPARE(playback->centerHz(), 433.92e6);
            next.controller->playback()->play();
            QVERIFY(next.controller->running());
            QCOMPARE(next.controller->deviceSelection(), QStringLiteral("Recording\u2026"));
            QVERIFY(playback->playing());
        }

        QVERIFY(QFile::remove(raw));
        NextRun gone(path);
        QVERIFY(!gone.controller->playback()->loaded());
        QVERIFY(gone.controller->playback()->messageIsError());
    }

    // A value that does not fit its property is passed by; the others still come back, and the
    // controller clamps what is out of its range.
    void aValueThatDoesNotFitIsPassedBy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        writeFile(path, "[spectrum]\ndetectorMode=Max\ndetectorWindow=100000\nmaxFps=10\n"
                        "[window]\ncenterFreqMHz=abc\nusrpRateValue=5\n"
                        "[markers]\nsize=2\n1\\id=1\n1\\freqHz=-5\n1\\color=#FF0000\n"
                        "2\\id=2\n2\\freqHz=433.92e6\n2\\color=#00FF00\n");
        NextRun next(path);
        RtsaController* c = next.controller.get();
        const FakeWindow& w = next.window;
        QVERIFY(next.log.lines.empty());
        QCOMPARE(c->detectorMode(), next.defaultDetector);
        QCOMPARE(c->detectorWindow(), static_cast<int>(spectrum_settings::detectorWindow.max));
        QCOMPARE(c->maxFps(), 10.0);
        QCOMPARE(w.appState->property("centerFreqMHz").toDouble(), 1000.0);
        QCOMPARE(w.appState->property("usrpRateValue").toString(), QStringLiteral("5"));
        const QVariantList markers = c->markers();
        QCOMPARE(markers.size(), 1);
        QCOMPARE(markers.front().toMap().value(QStringLiteral("id")).toInt(), 2);
    }

    // A damaged file or one that cannot be read: every default stays, one log line says why,
    // and the next save writes a good file in its place.
    void aFileThatCannotBeReadGivesTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("directory");
        QTest::newRow("damaged") << QByteArray("[spectrum\ndetectorMode=1\n\x01\xff\xfe") << false;
        QTest::newRow("not a file") << QByteArray() << true;
    }

    void aFileThatCannotBeReadGivesTheDefaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, directory);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("NorvaleRTSA.conf"));
        if (directory)
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("NorvaleRTSA.conf")));
        else
            writeFile(path, content);

        NextRun next(path);
        QCOMPARE(next.controller->detectorMode(), next.defaultDetector);
        const auto& lines = next.log.lines;
        QCOMPARE(lines.size(), std::size_t{1});
        QCOMPARE(lines.front().first, LogLevel::Warning);
        QVERIFY2(lines.front().second.startsWith(QStringLiteral("Settings: ")), qPrintable(lines.front().second));
        QVERIFY(lines.front().second.endsWith(QStringLiteral("starting from the defaults")));
        if (directory)
            return;

        next.controller->setDetectorMode(2);
        saveKeptSettings(next.store, *next.controller, next.window.window);
        NextRun after(path);
        QVERIFY(after.log.lines.empty());
        QCOMPARE(after.controller->detectorMode(), 2);
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
