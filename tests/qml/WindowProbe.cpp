#include "WindowProbe.h"

#include "tests/support/AnalyserWindow.h"

#include <QColor>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QVariantList>
#include <QVariantMap>
#include <QWheelEvent>
#include <QtTest/QTest>

#include <cstdio>

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

// The nearest flickable holding the item, or null.
QQuickItem* flickableOf(QQuickItem* item)
{
    for (QQuickItem* parent = item->parentItem(); parent; parent = parent->parentItem()) {
        if (parent->inherits("QQuickFlickable"))
            return parent;
    }
    return nullptr;
}

bool effectivelyVisible(const QQuickItem* item)
{
    return item->isVisible() && item->opacity() > 0;
}

} // namespace

void WindowProbe::run()
{
    g_previousHandler = qInstallMessageHandler(recordMessages);
    if (findWindow())
        scenario();
    finish();
}

bool WindowProbe::fail(const QString& what)
{
    m_failures << what;
    std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
    return false;
}

bool WindowProbe::check(bool ok, const QString& what)
{
    return ok || fail(what);
}

bool WindowProbe::waitFor(const std::function<bool()>& condition, int ms, const QString& what)
{
    return QTest::qWaitFor(condition, ms) || fail(u"timed out waiting for "_s + what);
}

QQuickItem* WindowProbe::item(const QString& name) const
{
    return findItem(m_window->contentItem(), name);
}

QString WindowProbe::text(const QString& name) const
{
    const QQuickItem* found = item(name);
    return found ? found->property("text").toString() : u"<no item %1>"_s.arg(name);
}

QString WindowProbe::colorName(const QString& name) const
{
    const QQuickItem* found = item(name);
    return found ? found->property("color").value<QColor>().name() : u"<no item %1>"_s.arg(name);
}

bool WindowProbe::textIs(const QString& name, const QString& expected)
{
    const QString actual = text(name);
    return check(actual == expected, u"%1 reads \"%2\", expected \"%3\""_s.arg(name, actual, expected));
}

bool WindowProbe::textMatches(const QString& name, const QString& pattern)
{
    const QString actual = text(name);
    return check(QRegularExpression(pattern).match(actual).hasMatch(),
                 u"%1 reads \"%2\", expected /%3/"_s.arg(name, actual, pattern));
}

QPoint WindowProbe::centreOf(const QQuickItem* target) const
{
    return target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
}

bool WindowProbe::reveal(QQuickItem* target)
{
    QQuickItem* flickable = flickableOf(target);
    if (!flickable)
        return true;
    const QPoint wheelAt = centreOf(flickable);
    for (int step = 0; step < 60; ++step) {
        const QRectF shown = target->mapRectToItem(flickable, QRectF(0, 0, target->width(), target->height()));
        if (shown.top() >= 0 && shown.bottom() <= flickable->height())
            return true;
        // One notch of the wheel towards the item: a negative delta scrolls the content up.
        wheel(wheelAt, shown.top() < 0 ? 120 : -120);
        QTest::qWait(30);
    }
    return fail(u"%1 cannot be scrolled into sight"_s.arg(target->objectName()));
}

bool WindowProbe::click(const QString& name)
{
    QQuickItem* target = item(name);
    if (!target || !effectivelyVisible(target) || !target->isEnabled())
        return fail(u"%1 is missing, hidden or disabled"_s.arg(name));
    if (!reveal(target))
        return false;
    // A moment between clicks, as a user leaves one, lets the window settle first.
    QTest::qWait(50);
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centreOf(target));
    return true;
}

bool WindowProbe::typeInto(const QString& name, const QString& text)
{
    if (!click(name))
        return false;
    QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_window, Qt::Key_Delete);
    for (const QChar c : text)
        QTest::keyClick(m_window, c.toLatin1());
    QTest::keyClick(m_window, Qt::Key_Return);
    return true;
}

void WindowProbe::drag(QPoint from, QPoint to)
{
    QTest::mousePress(m_window, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 10; ++step)
        QTest::mouseMove(m_window, from + (to - from) * step / 10);
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, to);
}

void WindowProbe::wheel(QPoint at, int delta, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(at, m_window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QGuiApplication::sendEvent(m_window, &event);
}

bool WindowProbe::choose(const QString& dropDown, const QString& label)
{
    if (!click(dropDown + u"Button"_s))
        return false;
    QString entry;
    const bool shown = QTest::qWaitFor(
        [&] {
            for (int i = 0; item(dropDown + u"Entry"_s + QString::number(i)); ++i) {
                if (text(dropDown + u"Entry"_s + QString::number(i)).startsWith(label)) {
                    entry = dropDown + u"Entry"_s + QString::number(i);
                    return true;
                }
            }
            return false;
        },
        5000);
    return (shown || fail(u"%1 offers no \"%2\""_s.arg(dropDown, label))) && click(entry);
}

bool WindowProbe::flag(const char* name) const
{
    return m_controller->property(name).toBool();
}

bool WindowProbe::waitForFlag(const char* name, bool value)
{
    return waitFor([=, this] { return flag(name) == value; }, 10000,
                   u"%1 to become %2"_s.arg(QLatin1String(name), value ? u"true"_s : u"false"_s));
}

bool WindowProbe::saveScreenshot()
{
    const QString path = qEnvironmentVariable("RTSA_PROBE_SCREENSHOT");
    return path.isEmpty() || check(m_window->grabWindow().save(path), u"cannot save the screenshot to "_s + path);
}

double WindowProbe::property(QObject* object, const char* name) const
{
    return object->property(name).toDouble();
}

bool WindowProbe::findWindow()
{
    m_window = analyser::waitForWindow();
    if (!m_window)
        return fail(u"no NorvaleRTSA window"_s);
    m_controller = analyser::controllerOf(m_window);
    m_state = m_window->findChild<QObject*>(u"appState"_s);
    m_view = item(u"spectrumView"_s);
    return check(m_controller != nullptr, u"the window has no controller"_s)
           && check(m_state != nullptr, u"no appState"_s) && check(m_view != nullptr, u"no spectrumView"_s)
           && textIs(u"deviceStatusText"_s, u"status: idle"_s);
}

void WindowProbe::finish()
{
    for (const QString& warning : g_qmlWarnings)
        fail(u"QML warning: "_s + warning);
    qInstallMessageHandler(g_previousHandler);
    if (!m_failures.isEmpty()) {
        // What the analyser said meanwhile (its rates, losses and audio lines) helps tell why.
        if (m_state) {
            for (const QVariant& entry : m_state->property("logHistory").toList())
                std::fprintf(stderr, "log: %s\n", qPrintable(entry.toMap().value(u"msg"_s).toString()));
        }
        QCoreApplication::exit(1);
        return;
    }
    std::fprintf(stderr, "PASSED\n");
    m_window->close();
}
