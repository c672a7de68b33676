// Preloaded into the unmodified analyser, whose simulated receiver is told to replay a recording
// that is not there: a click on Connect shows the receiver SDK's own reason in the window, in
// the error colour, in the device status and the bar's failure place.
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

class ErrorsWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        const QString cause = u"cannot open /nonexistent/missing.cs16"_s;
        const QString error = u"#ff6b5e"_s;
        return click(u"connectButton"_s)
               && waitFor([&] { return text(u"lastErrorText"_s).contains(cause); }, kEventWaitMs,
                          u"the SDK's reason in the failure place"_s)
               && textMatches(u"deviceStatusText"_s, u"^status: Device open error: .*"_s + cause)
               && check(colorName(u"deviceStatusText"_s) == error, u"the device status not in the error colour"_s)
               && check(colorName(u"lastErrorText"_s) == error, u"the failure not in the error colour"_s)
               && check(!controller()->property("connected").toBool(), u"connected to a missing recording"_s)
               && textIs(u"connectButton"_s, u"Connect"_s);
    }
};

void startProbe()
{
    startWindowProbe<ErrorsWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
