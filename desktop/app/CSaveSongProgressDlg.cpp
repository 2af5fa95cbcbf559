#include "desktop/app/CSaveSongProgressDlg.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>

#include "desktop/app/Stragglers.h"
#include "desktop/app/Strings.h"
#include "platform/com/Bstr.h"
#include "platform/com/Variant.h"

namespace parvane {

CSaveSongProgressDlg::CSaveSongProgressDlg(AppCore& core, QWidget* parent) : QDialog(parent), m_core(core) {
    setWindowTitle(QStringLiteral("Save Progress"));
    auto* layout = new QVBoxLayout(this);
    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("1111"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("1072"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    cancel->setDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    layout->addWidget(m_path);
    layout->addWidget(m_bar);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    m_shared->receiver = this;
}

CSaveSongProgressDlg::~CSaveSongProgressDlg() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->receiver = nullptr;
    }
    if (m_sink) m_sink->Close();
    m_advice.Reset();
    if (m_worker.joinable()) {
        if (!Finished() && !m_stopAsked && m_encoder && !m_core.forced) {
            // The window goes (the program ends) while the save runs: it is
            // asked to stop, and its thread is left to end on its own.
            m_encoder->StopSave();
        }
        if (Finished())
            m_worker.join();
        else
            stragglers::Keep(std::move(m_worker), m_shared->returned);
    }
}

void CSaveSongProgressDlg::SetSingle(ISong* song, const QString& filePath) {
    m_songs.assign(1, plat::ComPtr<ISong>(song));
    m_destination = filePath;
    m_single = true;
}

void CSaveSongProgressDlg::SetGroup(std::vector<plat::ComPtr<ISong>> songs, const QString& folder) {
    m_songs = std::move(songs);
    m_destination = folder;
    m_single = false;
}

HRESULT CSaveSongProgressDlg::SaveResult() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->result;
}

bool CSaveSongProgressDlg::Finished() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->finished;
}

void CSaveSongProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) Start();
}

bool CSaveSongProgressDlg::Start() {
    if (m_started) return true;
    m_started = true;
    if (!m_encoder || m_songs.empty()) return false;
    m_sink = EncoderEventSink::CreateInstance(this, [this](UINT p, const QString& path) { OnProgress(p, path); });
    m_advice.Connect(m_encoder.Get(), DIID__IAudioEncoderEvents, m_sink.Get());
    auto shared = m_shared;
    auto encoder = m_encoder;
    auto songs = m_songs;
    bool single = m_single;
    std::u16string destination = m_destination.toStdU16String();
    m_worker = std::thread([shared, encoder, songs, single, destination] {
        plat::Bstr path(destination);
        HRESULT hr;
        if (single) {
            hr = encoder->Save(songs.front().Get(), path);
        } else {
            std::vector<IUnknown*> objects;
            for (const auto& s : songs) objects.push_back(s.Get());
            VARIANT array;
            VariantInit(&array);
            hr = plat::MakeUnknownArray(objects, &array);
            if (SUCCEEDED(hr)) hr = encoder->SaveGroup(array, path);
            VariantClear(&array);
        }
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->result = hr;
        shared->done.notify_all();
        shared->returned->Set();
        // A dialog that is gone gets nothing.
        if (QObject* receiver = shared->receiver)
            QMetaObject::invokeMethod(
                receiver,
                [receiver] {
                    auto* dialog = static_cast<CSaveSongProgressDlg*>(receiver);
                    if (dialog->result() == 0) dialog->done(QDialog::Accepted);
                },
                Qt::QueuedConnection);
    });
    return true;
}

void CSaveSongProgressDlg::OnProgress(UINT progress, const QString& path) {
    if (path != m_lastPath) {
        m_lastPath = path;
        m_path->setText(path);
    }
    m_bar->setValue(int(std::min<UINT>(progress, 100)));
}

void CSaveSongProgressDlg::OnCancel() {
    if (Finished()) {
        done(QDialog::Accepted);
        return;
    }
    if (m_core.prompter().Show(this, Str(222), Icon::Question, Buttons::YesNo) == Answer::No) return;
    // The save may have ended while the question was open: its file stays.
    if (Finished()) {
        done(QDialog::Accepted);
        return;
    }
    m_stopAsked = true;
    if (m_encoder) m_encoder->StopSave();
    {
        // The save is given a bounded time to return before its file goes.
        std::unique_lock lock(m_shared->mutex);
        m_shared->done.wait_for(lock, std::chrono::milliseconds(m_core.seams().saveStopWaitMs),
                                [this] { return m_shared->finished; });
    }
    if (m_single) QFile::remove(m_destination);
    done(QDialog::Rejected);
}

void CSaveSongProgressDlg::keyPressEvent(QKeyEvent* event) {
    // Enter must not end the dialog while the save runs.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace parvane
