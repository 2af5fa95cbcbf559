#pragma once
// The settings window: the Cache, General, Advanced and About pages over one
// model of the values, filled from the service when the sheet opens and
// written back, in a fixed order, when the user presses OK.
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

#include "ipc/QXServiceLib.h"
#include "service/foundation/KTimecode.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class KTimecodeCtrl;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;

namespace parvane {

struct KExtrasContext;

struct KSettingsModel {
    static constexpr ULONG kMinCacheMs = 300000;     // five minutes
    static constexpr ULONG kMaxCacheMs = 359999990;  // 99:59:59.99, the most a time code holds
    static constexpr ULONG kBytesPerSecond = 192000;
    static constexpr int kMaxDevices = 4096;

    // Cache page.
    QString cacheDir;         // as edited
    QString openingCacheDir;  // as it was when the sheet opened
    ULONG cacheSizeMs = 0;    // whole hundredths of a second
    bool dropCacheOnExit = false;
    UINT buffers = 3;
    bool dropCacheRequest = false;  // "Yes" to the folder question
    qint64 freeBytes = 0;
    bool freeKnown = false;
    // General page: the stored names, the lists offered and the entries chosen.
    QString audioDevice, captureDevice;
    QStringList playbackDevices, captureDevices;
    int playbackIndex = -1, captureIndex = -1;
    // Advanced page. sourceIndex -1: both sources were off and no radio was chosen.
    bool autoSplit = true, interceptAlways = false, hearMic = false, recordSilence = false;
    int sourceIndex = 0;
    int maxSongLength = 10;
    // About page: the reminder days chosen in an update check run from it.
    bool remindAnswered = false;
    int remindDays = -1;

    double RequiredMb() const;
    // The names OK stores: the chosen entry, or the stored name when none is.
    QString PlaybackToStore() const;
    QString CaptureToStore() const;
};

// The entry to select for a stored name: an exact match first, else the first
// entry beginning with it (case-insensitive), searched from the second entry
// on and wrapping round; -1 for none, and for an empty name.
int SelectDevice(const QStringList& list, const QString& stored);
// The radio index for the two write flags: play only 1, record only 2, both
// 0, neither -1.
int SourceIndex(bool writePlay, bool writeRecord);
// A maximal song length shown on the page: 0 or above 60 shows 10.
int ShownMaxSongLength(UINT stored);
// The cache size a time code stands for, in milliseconds (no value is 0),
// and the time code of a size; both within 0 to kMaxCacheMs.
ULONG CacheSizeOf(const KTimecode& size);
KTimecode CacheSizeTimecode(ULONG ms);
// Why a folder cannot hold the cache, empty when it can: it must be a full
// path to a folder that exists or can be made (it is made then), and a file
// must be written and removed in it as the service will before it switches.
QString CacheFolderRefusal(const QString& folder);

// Fills the model; the first failing call's result (and its name), else S_OK.
HRESULT LoadSettingsModel(IAudioController* controller, ISettings* settings, IAudioManager* playback,
                          ICaptureManager* capture, KSettingsModel* model, const char** failedCall);
// Writes the model back in the sheet's order: DropCache when asked, the folder
// when changed, every value, the reminder when it was answered, then
// UpdateSettings (through update when given) and SaveSettings. The first
// failure of a write stops it. What the service could not apply (a device
// that cannot be opened) does not keep the rest from being saved: after a
// refused UpdateSettings the settings are saved all the same and its failure
// is the result. applied(cache size) runs once the settings are saved.
HRESULT ApplySettingsModel(const KSettingsModel& model, IAudioController* controller, ISettings* settings,
                           const std::function<void(ULONG cacheSizeMs)>& applied, const char** failedCall,
                           const std::function<HRESULT()>& update = {});

class CSettingsSheet : public QDialog {
    Q_OBJECT
public:
    // The pause in typing after which a changed folder or size counts as settled.
    static constexpr int kSettleMs = 1500;

    CSettingsSheet(KSettingsModel model, const KExtrasContext& context, QWidget* parent = nullptr);

    const KSettingsModel& Model() const { return m_model; }
    // OK: reads the pages and runs the Cache page's checks; accepts when they pass.
    void OnOk();
    // The Cache page's checks; false keeps the sheet open.
    bool CheckCachePage();

    QTabWidget* Tabs() const { return m_tabs; }
    KTimecodeCtrl* SizeEdit() const { return m_size; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QLabel* FreeLabel() const { return m_free; }
    QLabel* RequiredLabel() const { return m_required; }
    QComboBox* PlaybackCombo() const { return m_playback; }
    QComboBox* CaptureCombo() const { return m_capture; }
    QButtonGroup* Sources() const { return m_sources; }
    QCheckBox* SilenceCheck() const { return m_silence; }
    QCheckBox* HearMicCheck() const { return m_hearMic; }
    QSpinBox* MaxLengthSpin() const { return m_maxLength; }
    QPushButton* CheckUpdateButton() const { return m_checkUpdate; }
    // A changed folder or size waits for the typing pause.
    bool SettlePending() const;

private:
    QWidget* MakeCachePage();
    QWidget* MakeGeneralPage();
    QWidget* MakeAdvancedPage();
    QWidget* MakeAboutPage();
    void ReadPages();
    void CheckDiskSpace();
    void OnChangeCacheSize();
    void UpdateRequired();
    void SpaceWarning();
    // The space warning for the folder and size as they stand, unless they
    // were looked at already; the typing pause, leaving a field, a browse and
    // OK run it.
    void WarnWhenSettled();
    void OnRecordSource();
    void OnBrowse();
    void OnCheckUpdate();

    KSettingsModel m_model;
    const KExtrasContext& m_context;
    QTabWidget* m_tabs = nullptr;
    KTimecodeCtrl* m_size = nullptr;
    QLineEdit* m_folder = nullptr;
    QLabel* m_free = nullptr;
    QLabel* m_required = nullptr;
    QCheckBox* m_dropOnExit = nullptr;
    QComboBox* m_playback = nullptr;
    QComboBox* m_capture = nullptr;
    QButtonGroup* m_sources = nullptr;
    QCheckBox* m_silence = nullptr;
    QCheckBox* m_hearMic = nullptr;
    QCheckBox* m_autoSplit = nullptr;
    QCheckBox* m_mute = nullptr;
    QSpinBox* m_maxLength = nullptr;
    QPushButton* m_checkUpdate = nullptr;
    QTimer* m_settle = nullptr;
    // The folder and size the space warning last looked at.
    QString m_settledDir;
    ULONG m_settledSizeMs = 0;
    bool m_settledOnce = false;
};

// The settings button: loads the model from the service, runs the sheet and
// applies it on OK. applied gets the new cache size after a successful OK.
void RunSettingsSheet(QWidget* parent, IAudioController* controller, const KExtrasContext& context,
                      const std::function<void(ULONG cacheSizeMs)>& applied);

}  // namespace parvane
