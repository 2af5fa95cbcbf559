#pragma once
// A call to the service that may take longer than the windows may wait (it
// has no client time-out, as a settings update that opens devices): it runs
// on a thread of its own while the windows go on. After half a second a wait
// window with text shows; its Cancel gives up waiting. A call given up, or
// still running when the program's event loops end, goes on unseen: its
// thread is kept as a straggler.
#include <QString>

#include <functional>

#include "ipc/QXServiceLib.h"

class QProgressDialog;
class QWidget;

namespace parvane {

// The call's result; RPC_E_CALL_FAILED (the service did not answer in time)
// when waiting was given up.
HRESULT CallInBackground(QWidget* parent, const QString& text, std::function<HRESULT()> call);

// Makes a busy window that is not yet shown show after milliseconds.
void ShowAfter(QProgressDialog& window, int milliseconds);

}  // namespace parvane
