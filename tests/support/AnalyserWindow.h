#pragma once

// Probes preloaded into the real analyser find its window once the interface has been shown.
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTest>

namespace analyser {

// The analyser's main window once it is exposed, or nullptr when it is not within the time.
inline QQuickWindow* waitForWindow(int ms = 30000)
{
    QQuickWindow* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (QWindow* window : QGuiApplication::topLevelWindows()) {
                auto* quick = qobject_cast<QQuickWindow*>(window);
                if (quick && quick->title() == QStringLiteral("NorvaleRTSA") && quick->isExposed())
                    found = quick;
            }
            return found != nullptr;
        },
        ms);
    return found;
}

// The controller the window was given ("rtsa"), or nullptr.
inline QObject* controllerOf(const QQuickWindow* window)
{
    return window ? window->property("controller").value<QObject*>() : nullptr;
}

} // namespace analyser
