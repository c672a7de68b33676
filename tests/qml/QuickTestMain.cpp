// Runs the Qt Quick Test documents of the user interface. The spectrum element is registered
// as the application registers it, so documents that show it load as they do in the program;
// the marker model is offered to the tests as an element of their own, so that panels can be
// tried against the real model behind a stand-in controller.
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
        qmlRegisterType<MarkerModel>("NorvaleRTSA.Testing", 1, 0, "MarkerModel");
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qml, QuickTestSetup)

#include "QuickTestMain.moc"
