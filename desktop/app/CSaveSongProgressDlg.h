#pragma once
// "Save Progress": runs one save (a song to a file, or several to a folder)
// on a worker thread, shows the encoder's progress, and lets the user stop it.
#include <QDialog>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "desktop/app/AppCore.h"
#include "desktop/app/EventBridge.h"

class QLabel;
class QProgressBar;

namespace parvane {

class CSaveSongProgressDlg : public QDialog {
public:
    CSaveSongProgressDlg(AppCore& core, QWidget* parent);
    ~CSaveSongProgressDlg() override;

    void SetEncoder(IAudioEncoder* encoder) { m_encoder = encoder; }
    void SetSingle(ISong* song, const QString& filePath);
    void SetGroup(std::vector<plat::ComPtr<ISong>> songs, const QString& folder);
    // Connects to the encoder and starts the worker; false when there is nothing to save.
    bool Start();
    HRESULT SaveResult() const;
    // Whether the worker has returned.
    bool Finished() const;

    void OnProgress(UINT progress, const QString& path);
    void OnCancel();
    QProgressBar* Bar() const { return m_bar; }
    QLabel* PathLabel() const { return m_path; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override { OnCancel(); }

private:
    // What the worker and the dialog share; it outlives either.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        HRESULT result = E_ABORT;
        QObject* receiver = nullptr;  // null once the dialog is gone
        std::shared_ptr<CancelFlag> returned = std::make_shared<CancelFlag>();  // set with finished
    };

    AppCore& m_core;
    plat::ComPtr<IAudioEncoder> m_encoder;
    std::vector<plat::ComPtr<ISong>> m_songs;
    bool m_single = true;
    QString m_destination;
    QString m_lastPath;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::thread m_worker;
    plat::ComPtr<EncoderEventSink> m_sink;
    Advice m_advice;
    bool m_started = false;
    bool m_stopAsked = false;
    QProgressBar* m_bar;
    QLabel* m_path;
};

}  // namespace parvane
