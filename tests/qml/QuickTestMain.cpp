// Runs the Qt Quick Test documents of the user interface. The spectrum element and the settings
// tables are registered as the application registers them, so documents that use them load as
// they do in the program;
// the marker model is offered to the tests as an element of their own, so that panels can be
// tried against the real model behind a stand-in controller.
#include "app/SettingTables.h"
#include "display/SpectrumItem.h"
#include "markers/MarkerModel.h"

#include <QObject>
#include <QQuickWindow>
#include <QtQuickTest>

class QuickTestSetup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
        qmlRegisterType<SpectrumItem>("NorvaleRTSA", 1, 0, "SpectrumView");
        SettingTables::registerForQml(m_settings);
        qmlRegisterType<MarkerModel>("NorvaleRTSA.Testing", 1, 0, "MarkerModel");
    }

private:
    SettingTables m_settings;
};

QUICK_TEST_MAIN_WITH_SETUP(qml, QuickTestSetup)

#include "QuickTestMain.moc"
