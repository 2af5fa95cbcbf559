#include "desktop/app/AppCore.h"

#include <vector>

#include "desktop/app/Strings.h"
#include "platform/com/Variant.h"

namespace parvane {

bool IsTransportFailure(HRESULT hr) {
    // A call whose answer did not come in time comes back from the bus as a
    // failed call: the service may still carry it out later.
    return hr == RPC_E_SERVER_UNAVAILABLE || hr == RPC_E_DISCONNECTED || hr == RPC_E_CALL_FAILED ||
           hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

QString CallFailedText(const char* call, HRESULT hr) {
    return QStringLiteral("%1 failed (0x%2)").arg(QString::fromUtf8(call)).arg(ulong(uint32_t(hr)), 8, 16, QLatin1Char('0'));
}

HRESULT UpdateAndSaveSettings(const std::function<HRESULT()>& update, ISettings* settings, const char** failedCall,
                              bool* saved) {
    *saved = false;
    // Any answer but S_OK is a failure.
    auto checked = [](HRESULT hr) { return hr == S_OK ? S_OK : FAILED(hr) ? hr : E_FAIL; };
    const HRESULT updated = checked(update());
    if (IsTransportFailure(updated)) {
        *failedCall = "UpdateSettings";
        return updated;
    }
    const HRESULT stored = checked(settings->SaveSettings());
    if (FAILED(stored)) {
        *failedCall = "SaveSettings";
        return stored;
    }
    *saved = true;
    if (FAILED(updated)) *failedCall = "UpdateSettings";
    return updated;
}

void AppCore::Notice(QWidget* parent, const QString& text) {
    if (notice)
        notice(text);
    else
        prompter().Show(parent, text, Icon::Warning, Buttons::Ok);
}

bool AppCore::Refuse(QWidget* parent) {
    if (forced) return true;
    if (!m_notAnswering) return false;
    if (!m_told) {
        m_told = true;
        Notice(parent, QString::fromUtf8(kNotAnswering));
    }
    return true;
}

void AppCore::EnterNotAnswering(QWidget* parent) {
    if (m_notAnswering) return;
    m_notAnswering = true;
    m_notAnsweringSince = std::chrono::steady_clock::now();
    m_told = false;
    Refuse(parent);
}

void AppCore::PollFailed(const char* call, HRESULT hr) {
    if (IsTransportFailure(hr)) {
        EnterNotAnswering(nullptr);
        m_pollOutage = true;
        return;
    }
    if (m_pollOutage) return;
    m_pollOutage = true;
    Notice(nullptr, CallFailedText(call, hr));
}

void AppCore::PollOverdue() { EnterNotAnswering(nullptr); }

void AppCore::PollAnswered(std::chrono::steady_clock::time_point started) {
    // A poll that began before the service was found not answering says
    // nothing about it now.
    if (m_notAnswering && started < m_notAnsweringSince) return;
    m_pollOutage = false;
    m_notAnswering = false;
    m_told = false;
}

void AppCore::ShowControllerErrors(QWidget* parent, const char* call, HRESULT hr) {
    if (IsTransportFailure(hr)) {
        EnterNotAnswering(parent);
        return;
    }
    QStringList texts;
    if (controller && !forced) {
        VARIANT errors;
        VariantInit(&errors);
        HRESULT got = controller->GetErrors(&errors);
        if (SUCCEEDED(got)) {
            std::vector<std::u16string> list;
            if (SUCCEEDED(plat::ReadStringArray(errors, &list)))
                for (const auto& text : list)
                    if (!text.empty()) texts << QString::fromStdU16String(text);
        } else if (IsTransportFailure(got)) {
            EnterNotAnswering(parent);
        }
        VariantClear(&errors);
    }
    if (texts.isEmpty())
        texts << CallFailedText(call, hr);
    prompter().Show(parent, texts.join(QLatin1Char('\n')), Icon::Error, Buttons::Ok);
}

void AppCore::ShowInternalError(QWidget* parent) { prompter().Show(parent, Str(117), Icon::Error, Buttons::Ok); }

}  // namespace parvane
