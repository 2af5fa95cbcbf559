#pragma once
// Saving selections: the "Save Selection(s)" dialog (file or folder, format,
// bit rate, sound options, tags) and the command that protects the songs'
// stretches of the cache around it.
#include <QDialog>

#include <vector>

#include "desktop/app/AppCore.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace parvane {

inline constexpr UINT FMT_MP3 = 0x3D3A2;
inline constexpr UINT FMT_OGG = 0x3D3A3;
inline constexpr UINT FMT_WMA = 0x3D3A4;
inline constexpr UINT FMT_AAC = 0x3D3A7;
inline constexpr UINT BT_CBR = 0x3D3A5;
inline constexpr UINT BT_VBR = 0x3D3A6;

// Format index (0 AAC, 1 MP3, 2 OGG, 3 WMA) to and from the stored setting.
UINT FormatSetting(int index);
int FormatIndex(UINT setting);

// The save command of the playlist window for the given finished songs.
void SaveSelections(AppCore& core, QWidget* parent, ISettings* settings, const std::vector<plat::ComPtr<ISong>>& songs);

class CSaveSongDlg : public QDialog {
public:
    // Where a save starts: the folder of the last save of this session, else
    // the user's music folder (else home).
    static QString StartFolder();
    // The full path a typed name stands for: a bare name lies in StartFolder.
    static QString FullPath(const QString& field);
    CSaveSongDlg(AppCore& core, std::vector<plat::ComPtr<ISong>> songs, QWidget* parent);
    ~CSaveSongDlg() override;

    void SetLowVolume(bool on) { m_lowVolume = on; }
    void SetDeleteSilence(bool on) { m_deleteSilence = on; }
    void SetFormat(UINT setting) { m_format = FormatIndex(setting); }
    void SetBitrateType(UINT setting) { m_vbr = setting == BT_VBR; }
    void SetCBR(UINT v) { m_cbrText = QString::number(v); }
    void SetVBRMin(UINT v) { m_minText = QString::number(v); }
    void SetVBRMax(UINT v) { m_maxText = QString::number(v); }

    bool LowVolume() const { return m_lowVolume; }
    bool DeleteSilence() const { return m_deleteSilence; }
    UINT Format() const { return FormatSetting(m_format); }
    UINT BitrateType() const { return m_vbr ? BT_VBR : BT_CBR; }
    UINT CBR() const { return m_cbr; }
    UINT VBRMin() const { return m_min; }
    UINT VBRMax() const { return m_max; }
    HRESULT SaveResult() const { return m_saveResult; }

    // Builds the controls from the fields (the dialog's initialisation).
    void Prepare();
    // The checks and the save behind OK; the dialog ends with OK after a save ran.
    void OnOK();
    void OnFormatChange(int index);
    void OnBrowse();

    // The controls, for the program's tests.
    QLineEdit* FileName() const { return m_file; }
    QComboBox* FormatBox() const { return m_formatBox; }
    QComboBox* GenreBox() const { return m_genre; }
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* ArtistEdit() const { return m_artist; }
    QLineEdit* AlbumEdit() const { return m_album; }
    QRadioButton* CbrRadio() const { return m_cbrRadio; }
    QRadioButton* VbrRadio() const { return m_vbrRadio; }
    QComboBox* CbrBox() const { return m_cbrBox; }
    QComboBox* MinBox() const { return m_minBox; }
    QComboBox* MaxBox() const { return m_maxBox; }
    QGroupBox* TagGroup() const { return m_tags; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateTagFields();
    void ReadControls();
    void PushFields();

    AppCore& m_core;
    std::vector<plat::ComPtr<ISong>> m_songs;
    bool m_prepared = false;
    bool m_lowVolume = false;
    bool m_deleteSilence = false;
    int m_format = 0;
    bool m_vbr = false;
    QString m_cbrText = QStringLiteral("64");
    QString m_minText = QStringLiteral("64");
    QString m_maxText = QStringLiteral("128");
    UINT m_cbr = 0, m_min = 0, m_max = 0;
    HRESULT m_saveResult = E_ABORT;

    QLineEdit* m_file = nullptr;
    QLabel* m_fileLabel = nullptr;
    QComboBox* m_formatBox = nullptr;
    QLabel* m_notice = nullptr;
    QGroupBox* m_tags = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_artist = nullptr;
    QLineEdit* m_album = nullptr;
    QComboBox* m_genre = nullptr;
    QRadioButton* m_cbrRadio = nullptr;
    QRadioButton* m_vbrRadio = nullptr;
    QComboBox* m_cbrBox = nullptr;
    QComboBox* m_minBox = nullptr;
    QComboBox* m_maxBox = nullptr;
    QCheckBox* m_lowBox = nullptr;
    QCheckBox* m_silenceBox = nullptr;
};

}  // namespace parvane
