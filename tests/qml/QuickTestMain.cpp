// Runs the Qt Quick Test documents of the user interface. The spectrum element is registered
// as the application registers it, so documents that show it load as they do in the program.
#include "display/SpectrumItem.h"

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
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qml, QuickTestSetup)

#include "QuickTestMain.moc"
