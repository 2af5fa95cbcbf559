#pragma once
// "Update Available": download now, or be reminded later (in 5 or 10 days,
// or never).
#include <QDialog>

#include <functional>

#include "ipc/QXServiceLib.h"

class QComboBox;
class QRadioButton;

namespace parvane {

struct KExtrasContext;

class CUpdateDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUpdateDlg(QWidget* parent = nullptr);

    // 5, 10, -1 (never remind) or 0 (download now).
    int GetRemindDays() const;

    QRadioButton* DownloadButton() const { return m_download; }
    QRadioButton* LaterButton() const { return m_later; }
    QComboBox* Combo() const { return m_combo; }

private:
    void UpdateSelection();

    QRadioButton* m_download = nullptr;
    QRadioButton* m_later = nullptr;
    QComboBox* m_combo = nullptr;
    int m_selection = -1;
};

// The update check with its messages, run from the About page: calls done
// with the days chosen in the update dialog (-1 when it was not answered
// with Ok), after opening the link when the user chose to download.
void RunUpdateCheck(QWidget* parent, const KExtrasContext& context, std::function<void(bool answered, int days)> done);

}  // namespace parvane

namespace parvane {

// The check at start: nothing happens while update reminders are off;
// otherwise the check runs in the background and a newer version brings up
// the update dialog, whose answer is stored. False only when reading the
// reminder setting failed.
bool CheckForUpdateAtStart(QWidget* parent, ISettings* settings, const KExtrasContext& context);

// Stores the reminder choice: days of 0 or less turn reminders off; more
// turn them on with that period. The first failing call's result, else S_OK.
HRESULT StoreRemindDays(ISettings* settings, int days, const char** failedCall);

}  // namespace parvane
