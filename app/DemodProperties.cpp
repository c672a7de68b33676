// Demodulation and squelch settings: each is a field of the channel's parameter record, which
// the channel takes over whole before its next block.
#include "app/RtsaController.h"

#include "app/SettingUpdate.h"

namespace {

// Replaces one field of the channel's settings and hands them back; true when it changed by the
// tolerance or more.
bool forward(SingleDemodChannel& channel, double DemodParams::*field, double value, double tolerance)
{
    DemodParams params = channel.getParams();
    if (!setting::changed(params.*field, value, tolerance))
        return false;
    params.*field = value;
    channel.setParams(params);
    return true;
}

bool forward(SingleDemodChannel& channel, bool DemodParams::*field, bool value)
{
    DemodParams params = channel.getParams();
    if (params.*field == value)
        return false;
    params.*field = value;
    channel.setParams(params);
    return true;
}

QString enabledText(bool on)
{
    return on ? QStringLiteral("ENABLED") : QStringLiteral("DISABLED");
}

} // namespace

void RtsaController::setNewDemodEnabled(bool enabled)
{
    if (!forward(m_demod, &DemodParams::enabled, enabled))
        return;
    if (!enabled) {
        // IQ left in the ring is stale by the time demodulation comes back.
        const std::lock_guard lock(m_deviceMutex);
        m_session->clearDemodRing();
    }
    emit newDemodEnabledChanged();
    m_log.info(QStringLiteral("New NFM demodulator: %1").arg(enabledText(enabled)));
}

void RtsaController::setNewDemodFreqHz(double hz)
{
    if (!forward(m_demod, &DemodParams::demodFreqHz, hz, 1.0))
        return;
    emit newDemodFreqHzChanged();
    m_log.info(QStringLiteral("New demod frequency: %1 MHz").arg(QString::number(hz / 1e6, 'f', 6)));
}

void RtsaController::setNewDemodFmDeviationHz(double hz)
{
    DemodParams params = m_demod.getParams();
    if (!setting::changed(params.fmDeviationHz, hz, 1.0))
        return;
    params.fmDeviationHz = hz;
    // Stereo is decoded only at a broadcast deviation; at any other it goes off first.
    const bool stereoOff = params.fmStereoEnabled && !isStereoDeviation(hz);
    if (stereoOff)
        params.fmStereoEnabled = false;
    m_demod.setParams(params);
    if (stereoOff) {
        emit newDemodFmStereoEnabledChanged();
        m_log.info(QStringLiteral("FM stereo: disabled (deviation not 150/300 kHz)"));
    }
    emit newDemodFmDeviationHzChanged();
    m_log.info(QStringLiteral("FM deviation: %1 kHz").arg(QString::number(hz / 1000.0, 'f', 1)));
    // Back at a broadcast deviation, stereo is what the user had chosen before it went off.
    const bool restoreStereo = m_stereoOffForDeviation && isStereoDeviation(hz);
    if (stereoOff || restoreStereo)
        m_stereoOffForDeviation = stereoOff;
    if (restoreStereo)
        setNewDemodFmStereoEnabled(true);
}

void RtsaController::setNewDemodFmStereoEnabled(bool enabled)
{
    // The user's own choice from now on.
    m_stereoOffForDeviation = false;
    if (enabled == newDemodFmStereoEnabled())
        return;
    if (enabled && !isStereoDeviation(newDemodFmDeviationHz())) {
        m_log.info(QStringLiteral("FM stereo: requires 150 kHz or 300 kHz deviation"));
        return;
    }
    forward(m_demod, &DemodParams::fmStereoEnabled, enabled);

    // Stereo plays on a pair of outputs starting at the mono one; back in mono, the left one
    // becomes the mono output.
    if (enabled) {
        if (audioOutputChannelLeft() < 0)
            m_audio.outputChannelLeft = audioOutputChannel();
        if (audioOutputChannelRight() < 0)
            m_audio.outputChannelRight = audioOutputChannelLeft() + 1;
    } else {
        if (audioOutputChannelLeft() >= 0) {
            m_audio.outputChannel = audioOutputChannelLeft();
            emit audioOutputChannelChanged();
        }
        m_audio.outputChannelLeft = -1;
        m_audio.outputChannelRight = -1;
    }
    emit audioOutputChannelLeftChanged();
    emit audioOutputChannelRightChanged();
    emit newDemodFmStereoEnabledChanged();
    m_log.info(QStringLiteral("FM stereo: %1").arg(enabledText(enabled)));
    restartAudio(QStringLiteral("Audio: restarting for FM stereo mode..."), AudioControlState::kRestartPause);
}

void RtsaController::setNewDemodAudioHpfHz(double hz)
{
    if (!forward(m_demod, &DemodParams::audioHpfHz, hz, 1.0))
        return;
    emit newDemodAudioHpfHzChanged();
    m_log.info(QStringLiteral("Audio HPF: %1 Hz").arg(QString::number(hz, 'f', 0)));
}

void RtsaController::setNewDemodAudioLpfHz(double hz)
{
    if (!forward(m_demod, &DemodParams::audioLpfHz, hz, 1.0))
        return;
    emit newDemodAudioLpfHzChanged();
    m_log.info(QStringLiteral("Audio LPF: %1 Hz").arg(QString::number(hz, 'f', 0)));
}

void RtsaController::setNewDemodAudioGain(double gain)
{
    if (!forward(m_demod, &DemodParams::audioGain, gain, 0.01))
        return;
    emit newDemodAudioGainChanged();
    m_log.info(QStringLiteral("Audio gain: %1x").arg(QString::number(gain, 'f', 1)));
}

void RtsaController::setNewDemodFilterEnabled(bool enabled)
{
    if (!forward(m_demod, &DemodParams::filterEnabled, enabled))
        return;
    emit newDemodFilterEnabledChanged();
    m_log.info(QStringLiteral("Audio filters: %1").arg(enabledText(enabled)));
}

void RtsaController::setSquelchEnabled(bool enabled)
{
    if (!forward(m_demod, &DemodParams::squelchEnabled, enabled))
        return;
    emit squelchEnabledChanged();
    m_log.info(QStringLiteral("Squelch: %1").arg(enabledText(enabled)));
}

void RtsaController::setSquelchOpenDb(double db)
{
    // The channel keeps the close threshold no higher than the open one, so lowering this one
    // may lower that one too.
    const double closeBefore = squelchCloseDb();
    if (!forward(m_demod, &DemodParams::squelchOpenDb, db, 0.01))
        return;
    emit squelchOpenDbChanged();
    if (squelchCloseDb() != closeBefore)
        emit squelchCloseDbChanged();
}

void RtsaController::setSquelchCloseDb(double db)
{
    if (forward(m_demod, &DemodParams::squelchCloseDb, db, 0.01))
        emit squelchCloseDbChanged();
}

void RtsaController::setSquelchAttackMs(double ms)
{
    if (forward(m_demod, &DemodParams::squelchAttackMs, ms, 0.01))
        emit squelchAttackMsChanged();
}

void RtsaController::setSquelchReleaseMs(double ms)
{
    if (forward(m_demod, &DemodParams::squelchReleaseMs, ms, 0.01))
        emit squelchReleaseMsChanged();
}

void RtsaController::setSquelchHangMs(double ms)
{
    if (forward(m_demod, &DemodParams::squelchHangMs, ms, 0.01))
        emit squelchHangMsChanged();
}

void RtsaController::setSquelchNoiseAlpha(double alpha)
{
    if (forward(m_demod, &DemodParams::squelchNoiseAlpha, alpha, 1e-4))
        emit squelchNoiseAlphaChanged();
}

void RtsaController::setSquelchMinFloorDb(double db)
{
    if (forward(m_demod, &DemodParams::squelchMinFloorDb, db, 0.01))
        emit squelchMinFloorDbChanged();
}
