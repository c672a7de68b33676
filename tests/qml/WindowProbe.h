#pragma once

// A probe preloaded into the unmodified analyser (LD_PRELOAD) that drives its main window the
// way a user would and reads back what the window shows, from the item tree by object name.
// A probe says what to do in scenario(); the base finds the window, clicks, types, waits and
// reports: "PASSED" and the window closed, or every "FAILED: ..." and exit code 1. Warnings
// about our QML documents fail the run too.
#include <QCoreApplication>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QQuickItem;
class QQuickWindow;

class WindowProbe : public QObject {
public:
    using QObject::QObject;

    void run();

protected:
    // The steps of the probe; false when one failed (it has said why).
    virtual bool scenario() = 0;

    bool fail(const QString& what);
    bool check(bool ok, const QString& what);
    bool waitFor(const std::function<bool()>& condition, int ms, const QString& what);

    QQuickItem* item(const QString& name) const;
    QString text(const QString& name) const;
    QString colorName(const QString& name) const;
    bool textIs(const QString& name, const QString& expected);
    bool textMatches(const QString& name, const QString& pattern);

    QPoint centreOf(const QQuickItem* target) const;
    // Scrolls the item's side column with the wheel until the item is in sight.
    bool reveal(QQuickItem* target);
    // Clicks the middle of a visible, enabled item, scrolling it into sight first.
    bool click(const QString& name);
    // Clicks into a text field, replaces its text by typing and presses Enter.
    bool typeInto(const QString& name, const QString& text);
    void drag(QPoint from, QPoint to);
    // Turns the wheel at a point of the window by `delta` (120 a notch, positive away from the user).
    void wheel(QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Opens the drop-down and clicks the entry whose text starts with `label`.
    bool choose(const QString& dropDown, const QString& label);
    // A boolean property of the controller, and a wait for it to take a value.
    bool flag(const char* name) const;
    bool waitForFlag(const char* name, bool value);
    // Saves the window when RTSA_PROBE_SCREENSHOT names a file; true when there is none.
    bool saveScreenshot();

    QQuickWindow* window() const { return m_window; }
    QObject* controller() const { return m_controller; }
    QObject* state() const { return m_state; }
    QQuickItem* view() const { return m_view; }
    double property(QObject* object, const char* name) const;

private:
    bool findWindow();
    void finish();

    QQuickWindow* m_window = nullptr;
    QObject* m_controller = nullptr;
    QObject* m_state = nullptr;
    QQuickItem* m_view = nullptr;
    QStringList m_failures;
};

// Starts a probe of type Probe once the application's event loop runs; the probe belongs to
// the application object.
template <typename Probe>
void startWindowProbe()
{
    auto* probe = new Probe(QCoreApplication::instance());
    QTimer::singleShot(0, probe, [probe] { probe->run(); });
}
