#include "app/Application.h"

#include "app/KeptSettings.h"
#include "app/RtsaController.h"
#include "app/SettingsStore.h"
#include "app/SettingTables.h"
#include "display/SpectrumItem.h"
#include "display/WindowGraphics.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QUrl>

#include <memory>

int runApplication(int argc, char** argv)
{
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/app.ico")));
    chooseWindowGraphics();
    qmlRegisterType<SpectrumItem>("NorvaleRTSA", 1, 0, "SpectrumView");
    const auto settings = std::make_unique<SettingTables>();
    SettingTables::registerForQml(*settings);

    // The controller exists before any QML that binds to "rtsa" is loaded.
    auto controller = std::make_unique<RtsaController>(nullptr);
    // The console carries debug lines only when asked for.
    controller->log().setDebugEnabled(QCoreApplication::arguments().contains(QStringLiteral("--debug")));
    auto engine = std::make_unique<QQmlApplicationEngine>(nullptr);
    engine->rootContext()->setContextProperty(QStringLiteral("rtsa"), controller.get());

    const QUrl mainUrl(QStringLiteral("qrc:/qml/Main.qml"));
    QObject::connect(
        engine.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [mainUrl](QObject* object, const QUrl& url) {
            if (object == nullptr && url == mainUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    engine->load(mainUrl);

    // Read once the window has set its start-up values and listens to the log.
    SettingsStore keptSettings(SettingsStore::userFile(), controller->log());
    QObject* window = engine->rootObjects().isEmpty() ? nullptr : engine->rootObjects().constFirst();
    // Shown but not drawn before the event loop runs.
    if (auto* quickWindow = qobject_cast<QQuickWindow*>(window))
        drawWithoutDepthBuffer(*quickWindow);
    if (window)
        restoreKeptSettings(keptSettings, *controller, *window);

    const int result = QGuiApplication::exec();

    if (window)
        saveKeptSettings(keptSettings, *controller, *window);

    // Every SpectrumView goes with the engine, before the controller that refers to it.
    engine.reset();
    controller.reset();
    app.reset();
    return result;
}
