#include "desktop/app/CSaveSongDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QStandardPaths>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "desktop/app/CSaveSongProgressDlg.h"
#include "desktop/app/Genres.h"
#include "desktop/app/Strings.h"
#include "platform/com/Bstr.h"

namespace parvane {

namespace {

struct FormatRow {
    const char* text;
    int notice;
    const char* extension;
    EEncoderType type;
    bool vbr;
    bool tags;  // the encoder writes the dialog's tags
};

const FormatRow kFormats[] = {
    {"AAC", 161, "aac", eAAC, false, false},
    {"MP3", 145, "mp3", eMP3, true, true},
    {"OGG", 146, "ogg", eOGG, true, true},
    {"WMA", 144, "wma", eWMA, false, true},
};

const char* const kBitrates[] = {"64", "96", "128", "192", "256", "320"};

QString TagText(ID3* tag, HRESULT (ID3::*get)(BSTR*)) {
    plat::Bstr text;
    if (!tag || FAILED((tag->*get)(text.Out()))) return QString();
    return QString::fromStdU16String(plat::BstrToU16(text));
}

// An existing destination moved aside until the save has succeeded.
class KeptAside {
public:
    explicit KeptAside(QString path) : m_path(std::move(path)) {}
    ~KeptAside() { Restore(); }
    bool MoveAside() {
        QFileInfo info(m_path);
        m_aside = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".kept");
        QFile::remove(m_aside);
        if (!QFile::rename(m_path, m_aside)) {
            m_aside.clear();
            return false;
        }
        return true;
    }
    void Drop() {
        if (!m_aside.isEmpty()) QFile::remove(m_aside);
        m_aside.clear();
    }
    void Restore() {
        if (m_aside.isEmpty()) return;
        QFile::remove(m_path);
        QFile::rename(m_aside, m_path);
        m_aside.clear();
    }

private:
    QString m_path;
    QString m_aside;
};

}  // namespace

UINT FormatSetting(int index) {
    switch (index) {
    case 0: return FMT_AAC;
    case 2: return FMT_OGG;
    case 3: return FMT_WMA;
    default: return FMT_MP3;
    }
}

int FormatIndex(UINT setting) {
    switch (setting) {
    case FMT_OGG: return 2;
    case FMT_WMA: return 3;
    case FMT_AAC: return 0;
    default: return 1;
    }
}

CSaveSongDlg::CSaveSongDlg(AppCore& core, std::vector<plat::ComPtr<ISong>> songs, QWidget* parent)
    : QDialog(parent), m_core(core), m_songs(std::move(songs)) {
    setWindowTitle(Str(410));
    auto* layout = new QVBoxLayout(this);
    auto* fileRow = new QHBoxLayout;
    m_fileLabel = new QLabel(QStringLiteral("Filename:"), this);
    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("1024"));
    auto* browse = new QPushButton(QStringLiteral("Browse"), this);
    browse->setAutoDefault(false);
    fileRow->addWidget(m_fileLabel);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    layout->addLayout(fileRow);
    auto* formatRow = new QHBoxLayout;
    m_formatBox = new QComboBox(this);
    m_formatBox->setObjectName(QStringLiteral("1028"));
    for (const auto& f : kFormats) m_formatBox->addItem(QString::fromUtf8(f.text));
    m_notice = new QLabel(this);
    // The longer notices of some formats wrap rather than widen the dialog.
    m_notice->setWordWrap(true);
    formatRow->addWidget(new QLabel(QStringLiteral("Format:"), this));
    formatRow->addWidget(m_formatBox);
    formatRow->addWidget(m_notice, 1);
    layout->addLayout(formatRow);

    m_tags = new QGroupBox(QStringLiteral("ID3 Tags"), this);
    auto* tagForm = new QFormLayout(m_tags);
    m_title = new QLineEdit(m_tags);
    m_artist = new QLineEdit(m_tags);
    m_album = new QLineEdit(m_tags);
    m_genre = new QComboBox(m_tags);
    for (QLineEdit* e : {m_title, m_artist, m_album}) e->setMaxLength(1024);
    tagForm->addRow(QStringLiteral("Title:"), m_title);
    tagForm->addRow(QStringLiteral("Artist:"), m_artist);
    tagForm->addRow(QStringLiteral("Album:"), m_album);
    tagForm->addRow(QStringLiteral("Genre:"), m_genre);
    layout->addWidget(m_tags);

    auto* rates = new QGroupBox(QStringLiteral("Bitrate"), this);
    auto* rateForm = new QFormLayout(rates);
    m_cbrRadio = new QRadioButton(QStringLiteral("Constant bitrate (CBR)"), rates);
    m_vbrRadio = new QRadioButton(QStringLiteral("Variable bitrate (VBR)"), rates);
    m_cbrBox = new QComboBox(rates);
    m_minBox = new QComboBox(rates);
    m_maxBox = new QComboBox(rates);
    rateForm->addRow(m_cbrRadio);
    rateForm->addRow(QStringLiteral("Bitrate:"), m_cbrBox);
    rateForm->addRow(m_vbrRadio);
    rateForm->addRow(QStringLiteral("Minimal bitrate:"), m_minBox);
    rateForm->addRow(QStringLiteral("Maximal bitrate:"), m_maxBox);
    layout->addWidget(rates);
    m_lowBox = new QCheckBox(QStringLiteral("Low/Raise volume at the end/beginning of selection"), this);
    m_silenceBox = new QCheckBox(QStringLiteral("Delete silence at the end/beginning of selection"), this);
    layout->addWidget(m_lowBox);
    layout->addWidget(m_silenceBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OnOK(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_formatBox, &QComboBox::activated, this, [this](int index) { OnFormatChange(index); });
    connect(m_cbrRadio, &QRadioButton::clicked, this, [this] {
        m_vbr = false;
        m_cbrBox->setEnabled(true);
        m_minBox->setEnabled(false);
        m_maxBox->setEnabled(false);
    });
    connect(m_vbrRadio, &QRadioButton::clicked, this, [this] {
        m_vbr = true;
        m_cbrBox->setEnabled(false);
        m_minBox->setEnabled(true);
        m_maxBox->setEnabled(true);
    });
}

CSaveSongDlg::~CSaveSongDlg() = default;

void CSaveSongDlg::showEvent(QShowEvent* event) {
    if (!m_prepared) Prepare();
    QDialog::showEvent(event);
}

void CSaveSongDlg::Prepare() {
    m_prepared = true;
    bool several = m_songs.size() > 1;
    if (several) m_fileLabel->setText(Str(1112));
    for (QComboBox* box : {m_cbrBox, m_minBox, m_maxBox})
        for (const char* rate : kBitrates) box->addItem(QString::fromUtf8(rate));
    m_genre->addItems(GenreChoices());
    if (!several && !m_songs.empty()) {
        plat::ComPtr<ID3> tag;
        m_songs.front()->GetID3Tag(tag.ReleaseAndGetAddressOf());
        m_title->setText(TagText(tag.Get(), &ID3::GetTitle));
        m_artist->setText(TagText(tag.Get(), &ID3::GetArtist));
        m_album->setText(TagText(tag.Get(), &ID3::GetAlbum));
        QString genre = TagText(tag.Get(), &ID3::GetGenre);
        int at = m_genre->findText(genre);
        if (at < 0 && !genre.isEmpty()) {
            m_genre->addItem(genre);
            at = m_genre->count() - 1;
        }
        m_genre->setCurrentIndex(std::max(at, 0));
    }
    if (!kFormats[m_format].vbr) m_vbr = false;
    PushFields();
}

void CSaveSongDlg::PushFields() {
    const FormatRow& f = kFormats[m_format];
    m_formatBox->setCurrentIndex(m_format);
    m_notice->setText(Str(f.notice));
    m_vbrRadio->setEnabled(f.vbr);
    m_cbrRadio->setChecked(!m_vbr);
    m_vbrRadio->setChecked(m_vbr);
    m_cbrBox->setEnabled(!m_vbr);
    m_minBox->setEnabled(m_vbr);
    m_maxBox->setEnabled(m_vbr);
    auto pick = [](QComboBox* box, const QString& text) {
        int at = box->findText(text);
        if (at < 0) {
            box->addItem(text);
            at = box->count() - 1;
        }
        box->setCurrentIndex(at);
    };
    pick(m_cbrBox, m_cbrText);
    pick(m_minBox, m_minText);
    pick(m_maxBox, m_maxText);
    m_lowBox->setChecked(m_lowVolume);
    m_silenceBox->setChecked(m_deleteSilence);
    UpdateTagFields();
}

void CSaveSongDlg::ReadControls() {
    m_cbrText = m_cbrBox->currentText();
    m_minText = m_minBox->currentText();
    m_maxText = m_maxBox->currentText();
    m_lowVolume = m_lowBox->isChecked();
    m_deleteSilence = m_silenceBox->isChecked();
    m_vbr = m_vbrRadio->isChecked() && kFormats[m_format].vbr;
}

void CSaveSongDlg::UpdateTagFields() {
    bool tags = kFormats[m_format].tags;
    m_tags->setEnabled(tags);
    m_title->setEnabled(tags && m_songs.size() == 1);
    m_artist->setEnabled(tags);
    m_album->setEnabled(tags);
    m_genre->setEnabled(tags);
}

void CSaveSongDlg::OnFormatChange(int index) {
    if (index < 0 || index > 3) return;
    ReadControls();
    m_format = index;
    if (!kFormats[index].vbr) m_vbr = false;
    PushFields();
}

namespace {

// The folder the last save of this session went to.
QString& LastFolder() {
    static QString folder;
    return folder;
}

}  // namespace

QString CSaveSongDlg::StartFolder() {
    if (!LastFolder().isEmpty() && QFileInfo(LastFolder()).isDir()) return LastFolder();
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return music.isEmpty() ? QDir::homePath() : music;
}

QString CSaveSongDlg::FullPath(const QString& field) {
    // A bare name is a name in the start folder.
    if (field.isEmpty() || QDir::isAbsolutePath(field)) return field;
    return QDir(StartFolder()).filePath(field);
}

void CSaveSongDlg::OnBrowse() {
    if (!m_core.seams().files) return;
    QString ext = QString::fromUtf8(kFormats[m_format].extension);
    QString chosen;
    const QString typed = m_file->text().trimmed();
    const QString start = typed.isEmpty() ? StartFolder() : FullPath(typed);
    if (m_songs.size() == 1)
        chosen = m_core.seams().files->SaveFile(this, ext, QStringLiteral("%1 files (*.%1)").arg(ext), start);
    else
        chosen = m_core.seams().files->Folder(this, Str(409), start);
    if (!chosen.isEmpty()) m_file->setText(chosen);
}

void CSaveSongDlg::OnOK() {
    ReadControls();
    auto& p = m_core.prompter();
    QString field = FullPath(m_file->text().trimmed());
    if (field.isEmpty() || !QDir::isAbsolutePath(field)) {
        p.Show(this, Str(140), Icon::Error, Buttons::Ok);
        return;
    }
    bool single = m_songs.size() == 1;
    QString folder, target;
    if (single) {
        QFileInfo info(field);
        if (field.endsWith(QLatin1Char('/')) || info.completeBaseName().isEmpty() || info.isDir()) {
            p.Show(this, Str(140), Icon::Error, Buttons::Ok);
            return;
        }
        folder = info.absolutePath();
        target = folder + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('.') +
                 QString::fromUtf8(kFormats[m_format].extension);
        m_file->setText(target);
    } else {
        folder = QDir::cleanPath(field);
    }
    if (!QDir().mkpath(folder)) {
        p.Show(this, Str(140), Icon::Error, Buttons::Ok);
        return;
    }
    std::unique_ptr<KeptAside> kept;
    if (single) {
        if (QFileInfo::exists(target)) {
            QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(target);
            if (p.Show(this, question, Icon::Question, Buttons::YesNo) != Answer::Yes) return;
            kept = std::make_unique<KeptAside>(target);
            if (!kept->MoveAside()) {
                kept.reset();
                p.Show(this, QStringLiteral("%1 cannot be replaced.").arg(target), Icon::Error, Buttons::Ok);
                return;
            }
        }
        QFile probe(target);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            QString reason = probe.errorString().left(1024);
            kept.reset();
            p.Show(this, reason, Icon::Error, Buttons::Ok);
            return;
        }
        probe.close();
        probe.remove();
    } else if (!QFileInfo(folder).isWritable()) {
        p.Show(this, QStringLiteral("%1 cannot be written to.").arg(folder), Icon::Error, Buttons::Ok);
        return;
    }
    bool okCbr = false, okMin = false, okMax = false;
    m_cbr = m_cbrText.toUInt(&okCbr);
    m_min = m_minText.toUInt(&okMin);
    m_max = m_maxText.toUInt(&okMax);
    if (m_vbr && m_max < m_min) {
        p.Show(this, Str(149), Icon::Error, Buttons::Ok);
        return;
    }
    // Tags (their setters' results do not stop the save).
    auto set = [](ID3* tag, HRESULT (ID3::*setter)(BSTR), const QString& text) {
        plat::Bstr b(text.toStdU16String());
        (tag->*setter)(b);
    };
    for (const auto& song : m_songs) {
        plat::ComPtr<ID3> tag;
        if (FAILED(song->GetID3Tag(tag.ReleaseAndGetAddressOf())) || !tag) continue;
        set(tag.Get(), &ID3::SetAlbum, m_album->text());
        set(tag.Get(), &ID3::SetArtist, m_artist->text());
        set(tag.Get(), &ID3::SetGenre, m_genre->currentText());
        if (single) set(tag.Get(), &ID3::SetTitle, m_title->text());
    }
    if (!m_core.controller || m_core.Refuse(this)) return;
    plat::ComPtr<IAudioEncoder> encoder;
    HRESULT hr = m_core.controller->CreateNewEncoder(encoder.ReleaseAndGetAddressOf(), kFormats[m_format].type);
    if (FAILED(hr) || !encoder) {
        m_core.ShowControllerErrors(this, "CreateNewEncoder", FAILED(hr) ? hr : E_POINTER);
        return;
    }
    if (m_vbr)
        encoder->SetMinMaxBitrates(m_min, m_max);
    else
        encoder->SetConstantBitrate(m_cbr);
    encoder->DeleteSilenceStartEnd(m_deleteSilence);
    encoder->LowVolumeStartEnd(m_lowVolume);

    CSaveSongProgressDlg progress(m_core, this);
    progress.SetEncoder(encoder.Get());
    if (single)
        progress.SetSingle(m_songs.front().Get(), target);
    else
        progress.SetGroup(m_songs, folder);
    if (progress.exec() != QDialog::Accepted) return;  // cancelled: the kept file comes back
    m_saveResult = progress.SaveResult();
    if (m_saveResult == S_OK) LastFolder() = folder;
    if (kept && m_saveResult == S_OK) kept->Drop();
    kept.reset();
    accept();
}

void SaveSelections(AppCore& core, QWidget* parent, ISettings* settings, const std::vector<plat::ComPtr<ISong>>& songs) {
    if (!core.controller) {
        core.ShowInternalError(parent);
        return;
    }
    auto& c = core.controller;
    // The stretches stay protected until the command ends, on every path.
    struct Protected {
        IAudioController* controller;
        std::vector<std::pair<ULONGLONG, ULONGLONG>> ranges;
        ~Protected() {
            for (auto [left, right] : ranges) controller->ResetUndeletableRange(left, right);
        }
    } guard{c.Get(), {}};
    for (const auto& song : songs) {
        ULONG left = 0, right = 0;
        HRESULT hr = song->GetBorders(&left, &right);
        if (FAILED(hr)) {
            core.ShowControllerErrors(parent, "GetBorders", hr);
            return;
        }
        c->SetUndeletableRange(left, right);
        guard.ranges.emplace_back(left, right);
    }
    LONG low = 0, silence = 0;
    UINT format = 0, type = 0, cbr = 0, vmin = 0, vmax = 0;
    auto ok = [&](HRESULT hr, const char* call) {
        if (SUCCEEDED(hr)) return true;
        core.ShowControllerErrors(parent, call, hr);
        return false;
    };
    if (!ok(settings->GetLowVolumeStartEndState(&low), "GetLowVolumeStartEndState") ||
        !ok(settings->GetDeleteSilenceStartEndState(&silence), "GetDeleteSilenceStartEndState") ||
        !ok(settings->GetAudioFormat(&format), "GetAudioFormat") || !ok(settings->GetBitrateType(&type), "GetBitrateType") ||
        !ok(settings->GetCBR(&cbr), "GetCBR") || !ok(settings->GetVBR(&vmin, &vmax), "GetVBR"))
        return;
    auto dialog = std::make_unique<CSaveSongDlg>(core, songs, parent);
    dialog->SetLowVolume(low != 0);
    dialog->SetDeleteSilence(silence != 0);
    dialog->SetFormat(format);
    dialog->SetBitrateType(type);
    dialog->SetCBR(cbr);
    dialog->SetVBRMin(vmin);
    dialog->SetVBRMax(vmax);
    if (dialog->exec() != QDialog::Accepted) return;
    // The save's own result comes first: the choices stored after it fail
    // too when the service has gone, and must not hide it.
    if (const HRESULT saved = dialog->SaveResult(); saved != S_OK) {
        if (IsTransportFailure(saved))
            core.prompter().Show(parent, CallFailedText("Save", saved), Icon::Error, Buttons::Ok);
        core.ShowControllerErrors(parent, "Save", saved);
        if (IsTransportFailure(saved)) return;
    }
    if (!ok(settings->SetLowVolumeStartEndState(dialog->LowVolume()), "SetLowVolumeStartEndState") ||
        !ok(settings->SetDeleteSilenceStartEndState(dialog->DeleteSilence()), "SetDeleteSilenceStartEndState") ||
        !ok(settings->SetAudioFormat(dialog->Format()), "SetAudioFormat") ||
        !ok(settings->SetBitrateType(dialog->BitrateType()), "SetBitrateType") ||
        !ok(settings->SetCBR(dialog->CBR()), "SetCBR") ||
        !ok(settings->SetVBR(dialog->VBRMin(), dialog->VBRMax()), "SetVBR") ||
        !ok(settings->SaveSettings(), "SaveSettings"))
        return;
}

}  // namespace parvane
