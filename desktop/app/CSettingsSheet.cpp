#include "desktop/app/CSettingsSheet.h"

#include <algorithm>
#include <limits>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/app/AppCore.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KUpdateChecker.h"
#include "desktop/controls/KTimecodeCtrl.h"
#include "log/DirUtils.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/LastError.h"
#include "platform/core/SystemMessage.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/controller/KCacheFolder.h"

namespace parvane {

namespace {

QString FromBstr(const plat::Bstr& b) { return QString::fromStdU16String(b.Str()); }
plat::Bstr ToBstr(const QString& s) { return plat::Bstr(s.toStdU16String()); }

// Any result but S_OK is a failure; S_FALSE and the like become E_FAIL.
HRESULT Checked(HRESULT hr) { return hr == S_OK ? S_OK : FAILED(hr) ? hr : E_FAIL; }

// Walks a device list until it ends, bounded in length.
HRESULT ReadDevices(IAudioManager* list, QStringList* names) {
    plat::Bstr name;
    HRESULT hr = list->GetFirstDevice(name.Out());
    if (FAILED(hr)) return hr;
    if (hr != S_OK) return S_OK;  // an empty list
    names->append(FromBstr(name));
    while (names->size() < KSettingsModel::kMaxDevices && list->GetNextDevice(name.Out()) == S_OK)
        names->append(FromBstr(name));
    return S_OK;
}

}  // namespace

bool KExtrasContext::FreeSpace(const QString& folder, qint64* bytes) const {
    if (freeSpace) return freeSpace(folder, bytes);
    // What this user may write, not the blocks kept back for the system.
    uint64_t available = 0;
    if (!plat::GetDiskFreeSpace(folder.toStdU16String(), &available, nullptr)) return false;
    *bytes = qint64(std::min<uint64_t>(available, uint64_t(std::numeric_limits<qint64>::max())));
    return true;
}

double KSettingsModel::RequiredMb() const {
    const double bytes = double(cacheSizeMs / 1000) * kBytesPerSecond + double((cacheSizeMs % 1000) / 10) * 1920;
    return bytes / 1048576.0 * (buffers > 0 ? double(buffers - 1) : 0.0);
}

QString KSettingsModel::PlaybackToStore() const {
    return playbackIndex >= 0 && playbackIndex < playbackDevices.size() ? playbackDevices[playbackIndex] : audioDevice;
}

QString KSettingsModel::CaptureToStore() const {
    return captureIndex >= 0 && captureIndex < captureDevices.size() ? captureDevices[captureIndex] : captureDevice;
}

int SelectDevice(const QStringList& list, const QString& stored) {
    if (stored.isEmpty()) return -1;
    const int exact = list.indexOf(stored);
    if (exact >= 0) return exact;
    const int n = int(list.size());
    for (int k = 0; k < n; ++k) {
        const int i = (k + 1) % n;
        if (list[i].startsWith(stored, Qt::CaseInsensitive)) return i;
    }
    return -1;
}

int SourceIndex(bool writePlay, bool writeRecord) {
    if (writePlay && writeRecord) return 0;
    if (writePlay) return 1;
    if (writeRecord) return 2;
    return -1;
}

int ShownMaxSongLength(UINT stored) { return stored == 0 || stored > 60 ? 10 : int(stored); }

ULONG CacheSizeOf(const KTimecode& size) {
    const LONGLONG ms = size.IsInvalid() ? 0 : size.ToMilliseconds();
    return ULONG(std::clamp<LONGLONG>(ms, 0, KSettingsModel::kMaxCacheMs));
}

KTimecode CacheSizeTimecode(ULONG ms) {
    KTimecode size;
    size.AssignMilliseconds(std::min(ms, KSettingsModel::kMaxCacheMs));
    return size;
}

QString CacheFolderRefusal(const QString& folder) {
    if (folder.isEmpty() || !folder.startsWith(QLatin1Char('/'))) return QString::fromUtf8(text::kFolderNotFullPath);
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) return QString::fromUtf8(text::kFolderIsFile).arg(folder);
    // The service's own check: the engine's subfolder is made and a file
    // written in it. The subfolder is left to the service to make again.
    const std::u16string dataDir = plat::WithTrailingSeparator(folder.toStdU16String()) + cacheFolder::kDataFolder;
    const dirUtils::FolderProbe probe = dirUtils::probeFolder(dataDir, cacheFolder::kWriteProbe);
    if (probe.made && probe.fault != dirUtils::FolderFault::kCannotCreate) plat::RemoveDirectory(dataDir);
    if (probe.fault == dirUtils::FolderFault::kNone) return QString();
    std::u16string reason;
    plat::FormatSystemMessage(plat::HResultFromError(probe.error), &reason);
    const QString why = QString::fromStdU16String(reason).trimmed();
    if (probe.fault == dirUtils::FolderFault::kCannotCreate && !QFileInfo(folder).isDir())
        return QString::fromUtf8(text::kFolderCannotCreate).arg(folder, why);
    return QString::fromUtf8(text::kFolderCannotWrite).arg(folder, why);
}

HRESULT LoadSettingsModel(IAudioController* controller, ISettings* settings, IAudioManager* playback,
                          ICaptureManager* capture, KSettingsModel* model, const char** failedCall) {
    if (!controller || !settings || !playback || !capture || !model) return E_INVALIDARG;
    HRESULT hr = S_OK;
    auto ok = [&](HRESULT result, const char* call) {
        hr = Checked(result);
        if (FAILED(hr)) *failedCall = call;
        return SUCCEEDED(hr);
    };
    LONG flag = 0;
    plat::Bstr text;
    ULONG ulong = 0;
    UINT uint = 0;
    // Cache page.
    if (!ok(settings->GetDropCacheOnExitState(&flag), "GetDropCacheOnExitState")) return hr;
    model->dropCacheOnExit = flag != 0;
    if (!ok(controller->GetAmountCacheBuffer(&uint), "GetAmountCacheBuffer")) return hr;
    model->buffers = uint;
    if (!ok(settings->GetCacheDir(text.Out()), "GetCacheDir")) return hr;
    model->cacheDir = model->openingCacheDir = FromBstr(text);
    if (!ok(settings->GetCacheSize(&ulong), "GetCacheSize")) return hr;
    // What the time-code field can show: whole hundredths, at most 99 hours.
    model->cacheSizeMs = std::min(ulong, KSettingsModel::kMaxCacheMs) / 10 * 10;
    // General page.
    if (!ok(settings->GetAudioDevice(text.Out()), "GetAudioDevice")) return hr;
    model->audioDevice = FromBstr(text);
    if (!ok(settings->GetCaptureDevice(text.Out()), "GetCaptureDevice")) return hr;
    model->captureDevice = FromBstr(text);
    if (!ok(ReadDevices(playback, &model->playbackDevices), "GetFirstDevice")) return hr;
    if (!ok(ReadDevices(capture, &model->captureDevices), "GetFirstDevice")) return hr;
    model->playbackIndex = SelectDevice(model->playbackDevices, model->audioDevice);
    model->captureIndex = SelectDevice(model->captureDevices, model->captureDevice);
    // Advanced page.
    if (!ok(settings->GetAutoSplitSongsState(&flag), "GetAutoSplitSongsState")) return hr;
    model->autoSplit = flag != 0;
    if (!ok(settings->GetInterceptAudioAlwaysState(&flag), "GetInterceptAudioAlwaysState")) return hr;
    model->interceptAlways = flag != 0;
    if (!ok(settings->GetPlayLiveRecDeviceState(&flag), "GetPlayLiveRecDeviceState")) return hr;
    model->hearMic = flag != 0;
    LONG play = 0, record = 0;
    if (!ok(settings->GetWriteFromPlayDeviceState(&play), "GetWriteFromPlayDeviceState")) return hr;
    if (!ok(settings->GetWriteFromRecordDeviceState(&record), "GetWriteFromRecordDeviceState")) return hr;
    model->sourceIndex = SourceIndex(play != 0, record != 0);
    if (!ok(settings->GetWriteSilenceState(&flag), "GetWriteSilenceState")) return hr;
    model->recordSilence = flag != 0;
    if (!ok(settings->GetMaxSongLength(&uint), "GetMaxSongLength")) return hr;
    model->maxSongLength = ShownMaxSongLength(uint);
    return S_OK;
}

HRESULT ApplySettingsModel(const KSettingsModel& m, IAudioController* controller, ISettings* settings,
                           const std::function<void(ULONG)>& applied, const char** failedCall,
                           const std::function<HRESULT()>& update) {
    HRESULT hr = S_OK;
    auto ok = [&](HRESULT result, const char* call) {
        hr = Checked(result);
        if (FAILED(hr)) *failedCall = call;
        return SUCCEEDED(hr);
    };
    if (m.dropCacheRequest && !ok(controller->DropCache(FALSE), "DropCache")) return hr;
    if (m.cacheDir != m.openingCacheDir && !ok(settings->SetCacheDir(ToBstr(m.cacheDir)), "SetCacheDir")) return hr;
    const int index = m.sourceIndex;
    // Both sources stay off while no radio was chosen.
    const bool writePlay = index == 0 || index == 1;
    const bool writeRecord = index == 0 || index == 2;
    if (!ok(settings->SetCacheSize(m.cacheSizeMs), "SetCacheSize") ||
        !ok(settings->SetDropCacheOnExitState(m.dropCacheOnExit), "SetDropCacheOnExitState") ||
        !ok(settings->SetAutoSplitSongsState(m.autoSplit), "SetAutoSplitSongsState") ||
        !ok(settings->SetInterceptAudioAlwaysState(m.interceptAlways), "SetInterceptAudioAlwaysState") ||
        !ok(settings->SetPlayLiveRecDeviceState(m.hearMic && index != 1), "SetPlayLiveRecDeviceState") ||
        !ok(settings->SetWriteFromPlayDeviceState(writePlay), "SetWriteFromPlayDeviceState") ||
        !ok(settings->SetWriteFromRecordDeviceState(writeRecord), "SetWriteFromRecordDeviceState") ||
        !ok(settings->SetWriteSilenceState(m.recordSilence && index != 2), "SetWriteSilenceState") ||
        !ok(settings->SetMaxSongLength(UINT(m.maxSongLength)), "SetMaxSongLength") ||
        !ok(settings->SetAudioDevice(ToBstr(m.PlaybackToStore())), "SetAudioDevice") ||
        !ok(settings->SetCaptureDevice(ToBstr(m.CaptureToStore())), "SetCaptureDevice"))
        return hr;
    // The reminder changes only when an update check in this sheet was answered.
    if (m.remindAnswered) {
        const char* call = "";
        hr = StoreRemindDays(settings, m.remindDays, &call);
        if (FAILED(hr)) {
            *failedCall = call;
            return hr;
        }
    }
    bool saved = false;
    hr = UpdateAndSaveSettings(update ? update : [controller] { return controller->UpdateSettings(); }, settings,
                               failedCall, &saved);
    if (saved && applied) applied(m.cacheSizeMs);
    return hr;
}

CSettingsSheet::CSettingsSheet(KSettingsModel model, const KExtrasContext& context, QWidget* parent)
    : QDialog(parent), m_model(std::move(model)), m_context(context) {
    setWindowTitle(QString::fromUtf8(text::kSettingsTitle));
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(MakeCachePage(), QStringLiteral("Cache"));
    m_tabs->addTab(MakeGeneralPage(), QStringLiteral("General"));
    m_tabs->addTab(MakeAdvancedPage(), QStringLiteral("Advanced"));
    m_tabs->addTab(MakeAboutPage(), QStringLiteral("About"));
    layout->addWidget(m_tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &CSettingsSheet::WarnWhenSettled);
    UpdateRequired();
    CheckDiskSpace();
    WarnWhenSettled();
}

QWidget* CSettingsSheet::MakeCachePage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* intro = new QLabel(QStringLiteral("Use this form to specify the location of the cache which stores your "
                                            "recordings and its maximal size"), page);
    intro->setWordWrap(true);
    v->addWidget(intro);
    v->addWidget(new QLabel(QStringLiteral("Cache Size (hh:mm:ss.ms)"), page));
    m_size = new KTimecodeCtrl(page);
    m_size->setObjectName(QStringLiteral("1024"));
    m_size->SetTimecode(CacheSizeTimecode(m_model.cacheSizeMs), true, true);
    v->addWidget(m_size);
    m_required = new QLabel(page);
    v->addWidget(m_required);
    v->addWidget(new QLabel(QStringLiteral("Temporary Cache Folder"), page));
    auto* row = new QHBoxLayout;
    m_folder = new QLineEdit(m_model.cacheDir, page);
    auto* browse = new QPushButton(QStringLiteral("Browse"), page);
    row->addWidget(m_folder);
    row->addWidget(browse);
    v->addLayout(row);
    m_free = new QLabel(page);
    v->addWidget(m_free);
    m_dropOnExit = new QCheckBox(QStringLiteral("Drop cache on exit"), page);
    m_dropOnExit->setChecked(m_model.dropCacheOnExit);
    v->addWidget(m_dropOnExit);
    v->addStretch();
    // Every change of the field's value (a key, or a reformat) is looked at;
    // the space warning waits until the typing stops or the field is left,
    // so that no message box takes the keys being typed.
    connect(m_size, &KTimecodeCtrl::notify, this, [this] { OnChangeCacheSize(); });
    connect(m_size, &QLineEdit::editingFinished, this, &CSettingsSheet::WarnWhenSettled);
    connect(m_folder, &QLineEdit::textEdited, this, [this] {
        m_model.cacheDir = m_folder->text();
        CheckDiskSpace();
        m_settle->start();
    });
    connect(m_folder, &QLineEdit::editingFinished, this, &CSettingsSheet::WarnWhenSettled);
    connect(browse, &QPushButton::clicked, this, &CSettingsSheet::OnBrowse);
    return page;
}

QWidget* CSettingsSheet::MakeGeneralPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->addWidget(new QLabel(QStringLiteral("Use this form to specify what audio devices Tonquil must deal with"), page));
    auto makeGroup = [&](const char* title, const char* what, const QStringList& names, int index) {
        auto* group = new QGroupBox(QString::fromUtf8(title), page);
        auto* g = new QVBoxLayout(group);
        g->addWidget(new QLabel(QStringLiteral("If you have two or more audio devices, then please specify\n%1")
                                    .arg(QString::fromUtf8(what)), group));
        auto* combo = new QComboBox(group);
        combo->addItems(names);
        combo->setCurrentIndex(index);
        g->addWidget(combo);
        v->addWidget(group);
        return combo;
    };
    m_playback = makeGroup("Sound Playback Device", "the active audio device (which has phones/speakers plugged to it)",
                           m_model.playbackDevices, m_model.playbackIndex);
    m_capture = makeGroup("Sound Recording Device", "the active audio device (which has a microphone plugged to it)",
                          m_model.captureDevices, m_model.captureIndex);
    v->addStretch();
    return page;
}

QWidget* CSettingsSheet::MakeAdvancedPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->addWidget(new QLabel(QStringLiteral("Use this form to specify advanced properties"), page));
    m_sources = new QButtonGroup(page);
    const char* labels[] = {"Record All Computer Audio", "Record All Computer Audio, except Microphone",
                            "Record Microphone Audio Only"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(labels[i]), page);
        m_sources->addButton(radio, i);
        v->addWidget(radio);
    }
    if (m_model.sourceIndex >= 0) m_sources->button(m_model.sourceIndex)->setChecked(true);
    m_silence = new QCheckBox(QStringLiteral("Record Silence"), page);
    m_silence->setChecked(m_model.recordSilence);
    m_hearMic = new QCheckBox(QStringLiteral("I Want to Hear Microphone Audio During Recording"), page);
    m_hearMic->setChecked(m_model.hearMic);
    v->addWidget(m_silence);
    v->addWidget(m_hearMic);
    auto* group = new QGroupBox(QStringLiteral("Auto-Split Recordings"), page);
    auto* g = new QVBoxLayout(group);
    m_autoSplit = new QCheckBox(QStringLiteral("Auto-Split Recordings to Selections"), group);
    m_autoSplit->setChecked(m_model.autoSplit);
    g->addWidget(m_autoSplit);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Maximal Size of an Auto-Split Selection"), group));
    // The arrows wrap round between 1 and 60 minutes.
    m_maxLength = new QSpinBox(group);
    m_maxLength->setRange(1, 60);
    m_maxLength->setWrapping(true);
    m_maxLength->setValue(m_model.maxSongLength);
    row->addWidget(m_maxLength);
    row->addWidget(new QLabel(QStringLiteral("mins"), group));
    g->addLayout(row);
    v->addWidget(group);
    m_mute = new QCheckBox(QStringLiteral("Mute Live Audio when in Replay mode"), page);
    m_mute->setChecked(m_model.interceptAlways);
    v->addWidget(m_mute);
    v->addStretch();
    connect(m_sources, &QButtonGroup::idClicked, this, &CSettingsSheet::OnRecordSource);
    OnRecordSource();
    return page;
}

QWidget* CSettingsSheet::MakeAboutPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->addWidget(new QLabel(QStringLiteral("Tonquil %1").arg(OwnVersionText()), page));
    auto* link = new QLabel(QStringLiteral("<a href=\"#\" style=\"color:#0000ff\">%1</a>")
                                .arg(QString::fromUtf8(text::kVisitWebpage)), page);
    link->setObjectName(QStringLiteral("1060"));
    link->setCursor(Qt::PointingHandCursor);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link, &QLabel::linkActivated, this, [this] {
        if (m_context.site.IsSet()) m_context.urls->Open(m_context.site.ProductUrl());
        else m_context.prompter->Show(this, QString::fromUtf8(text::kCannotConnect), Icon::Error, Buttons::Ok);
    });
    v->addWidget(link);
    m_checkUpdate = new QPushButton(QStringLiteral("Check Update"), page);
    v->addWidget(m_checkUpdate);
    v->addStretch();
    connect(m_checkUpdate, &QPushButton::clicked, this, &CSettingsSheet::OnCheckUpdate);
    return page;
}

void CSettingsSheet::OnCheckUpdate() {
    m_checkUpdate->setEnabled(false);
    QPointer<CSettingsSheet> self(this);
    RunUpdateCheck(this, m_context, [self](bool answered, int days) {
        if (!self) return;
        self->m_checkUpdate->setEnabled(true);
        if (!answered) return;
        self->m_model.remindAnswered = true;
        self->m_model.remindDays = days;
    });
}

void CSettingsSheet::OnRecordSource() {
    const int index = m_sources->checkedId();
    m_model.sourceIndex = index;
    m_silence->setEnabled(index != 2);
    m_hearMic->setEnabled(index != 1);
}

void CSettingsSheet::OnBrowse() {
    const QString folder = m_context.files->Folder(this, QString::fromUtf8(text::kBrowseTitle), m_model.cacheDir);
    if (folder.isEmpty()) return;  // a cancelled browse keeps the folder
    m_model.cacheDir = folder;
    m_folder->setText(folder);
    CheckDiskSpace();
    WarnWhenSettled();
}

void CSettingsSheet::OnChangeCacheSize() {
    const ULONG ms = CacheSizeOf(m_size->GetTimecode());
    if (ms == m_model.cacheSizeMs) return;
    m_model.cacheSizeMs = ms;
    UpdateRequired();
    m_settle->start();
}

void CSettingsSheet::UpdateRequired() {
    m_required->setText(QString::fromUtf8(text::kRequires).arg(m_model.RequiredMb(), 0, 'f', 2));
}

void CSettingsSheet::CheckDiskSpace() {
    if (m_model.cacheDir.isEmpty()) return;
    // Only a figure read for this very folder counts; another folder's is no guide.
    qint64 bytes = 0;
    m_model.freeKnown = m_model.cacheDir.startsWith(QLatin1Char('/')) && QFileInfo(m_model.cacheDir).isDir() &&
                        m_context.FreeSpace(m_model.cacheDir, &bytes);
    if (m_model.freeKnown) {
        m_model.freeBytes = bytes;
        m_free->setText(QString::fromUtf8(text::kFreeSpace).arg(double(m_model.freeBytes) / 1048576.0, 0, 'f', 2));
    } else {
        m_free->setText(QString::fromUtf8(text::kUnknownDirectory));
    }
}

bool CSettingsSheet::SettlePending() const { return m_settle->isActive(); }

void CSettingsSheet::WarnWhenSettled() {
    m_settle->stop();
    if (m_settledOnce && m_settledDir == m_model.cacheDir && m_settledSizeMs == m_model.cacheSizeMs) return;
    m_settledOnce = true;
    m_settledDir = m_model.cacheDir;
    m_settledSizeMs = m_model.cacheSizeMs;
    CheckDiskSpace();
    SpaceWarning();
}

void CSettingsSheet::SpaceWarning() {
    if (m_model.freeKnown && double(m_model.freeBytes) < m_model.RequiredMb() * 1048576.0)
        m_context.prompter->Show(this, QString::fromUtf8(text::kNotEnoughSpace), Icon::Information, Buttons::Ok);
}

void CSettingsSheet::ReadPages() {
    m_model.cacheSizeMs = CacheSizeOf(m_size->GetTimecode());
    m_model.cacheDir = m_folder->text();
    m_model.dropCacheOnExit = m_dropOnExit->isChecked();
    m_model.playbackIndex = m_playback->currentIndex();
    m_model.captureIndex = m_capture->currentIndex();
    m_model.sourceIndex = m_sources->checkedId();
    m_model.recordSilence = m_silence->isChecked();
    m_model.hearMic = m_hearMic->isChecked();
    m_model.autoSplit = m_autoSplit->isChecked();
    m_model.interceptAlways = m_mute->isChecked();
    m_model.maxSongLength = m_maxLength->value();
}

bool CSettingsSheet::CheckCachePage() {
    if (m_model.cacheSizeMs < KSettingsModel::kMinCacheMs) {
        m_tabs->setCurrentIndex(0);
        m_context.prompter->Show(this, QString::fromUtf8(text::kCacheTooSmall), Icon::Error, Buttons::Ok);
        return false;
    }
    if (m_model.cacheDir == m_model.openingCacheDir) return true;
    const Answer answer =
        m_context.prompter->Show(this, QString::fromUtf8(text::kEmptyCacheQuestion), Icon::Question, Buttons::YesNoCancel);
    if (answer == Answer::Cancel) {
        m_model.cacheDir = m_model.openingCacheDir;
        m_folder->setText(m_model.cacheDir);
        CheckDiskSpace();
        return false;
    }
    if (const QString refusal = CacheFolderRefusal(m_model.cacheDir); !refusal.isEmpty()) {
        m_context.prompter->Show(this, QString::fromUtf8(text::kInvalidDirectory) + QStringLiteral("\n\n") + refusal,
                                 Icon::Error, Buttons::Ok);
        m_model.cacheDir = m_model.openingCacheDir;
        m_folder->setText(m_model.cacheDir);
        CheckDiskSpace();
        return false;
    }
    if (answer == Answer::Yes) m_model.dropCacheRequest = true;
    return true;
}

void CSettingsSheet::OnOk() {
    ReadPages();
    WarnWhenSettled();
    if (CheckCachePage()) accept();
}

void RunSettingsSheet(QWidget* parent, IAudioController* controller, const KExtrasContext& context,
                      const std::function<void(ULONG)>& applied) {
    plat::ComPtr<ISettings> settings;
    plat::ComPtr<IAudioManager> playback;
    plat::ComPtr<ICaptureManager> capture;
    if (!controller || FAILED(controller->QueryInterface(IID_ISettings, reinterpret_cast<void**>(settings.GetAddressOf()))) ||
        FAILED(controller->QueryInterface(IID_IAudioManager, reinterpret_cast<void**>(playback.GetAddressOf()))) ||
        FAILED(controller->QueryInterface(IID_ICaptureManager, reinterpret_cast<void**>(capture.GetAddressOf())))) {
        if (context.showInternalError) context.showInternalError(parent);
        return;
    }
    KSettingsModel model;
    const char* call = "";
    HRESULT hr = LoadSettingsModel(controller, settings.Get(), playback.Get(), capture.Get(), &model, &call);
    if (FAILED(hr)) {
        context.ControllerErrors(parent, call, hr);
        return;
    }
    CSettingsSheet sheet(std::move(model), context, parent);
    if (context.Run(&sheet) != QDialog::Accepted) return;
    std::function<HRESULT()> update;
    if (context.runLongCall)
        update = [&] { return context.runLongCall(parent, [controller] { return controller->UpdateSettings(); }); };
    hr = ApplySettingsModel(sheet.Model(), controller, settings.Get(), applied, &call, update);
    if (FAILED(hr)) context.ControllerErrors(parent, call, hr);
}

}  // namespace parvane
