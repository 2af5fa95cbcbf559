#include "desktop/app/KRadioPlayer.h"

#include <QAudioOutput>

namespace parvane {

int PlayStateNumber(QMediaPlayer::PlaybackState state, QMediaPlayer::MediaStatus status) {
    switch (status) {
    case QMediaPlayer::InvalidMedia: return 0;  // whatever the player still says, nothing plays
    case QMediaPlayer::LoadingMedia: return 9;
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::StalledMedia: return 6;
    case QMediaPlayer::EndOfMedia: return 8;
    default: break;
    }
    switch (state) {
    case QMediaPlayer::PlayingState: return 3;
    case QMediaPlayer::PausedState: return 2;
    case QMediaPlayer::StoppedState: return status == QMediaPlayer::LoadedMedia ? 10 : 1;
    }
    return 1;
}

int OpenStateNumber(QMediaPlayer::MediaStatus status) {
    switch (status) {
    case QMediaPlayer::NoMedia:
    case QMediaPlayer::InvalidMedia: return 0;
    case QMediaPlayer::LoadingMedia: return 12;
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
    case QMediaPlayer::StalledMedia:
    case QMediaPlayer::EndOfMedia: return 13;
    }
    return 0;
}

KMediaRadioPlayer::KMediaRadioPlayer(QObject* parent) : QObject(parent) {}

KMediaRadioPlayer::~KMediaRadioPlayer() {
    // Nobody hears of the states the stop goes through on the way out.
    onOpenState = nullptr;
    onPlayState = nullptr;
    if (m_player) m_player->stop();
}

// The media stack opens with the first station, not with the window: an
// audio output opens Qt's process-wide connection to the sound server, which
// Qt closes only at exit, from its own teardown, while that connection's
// thread still runs. A radio that never played leaves no such connection.
void KMediaRadioPlayer::Open() {
    if (m_player) return;
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(this);
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &KMediaRadioPlayer::Report);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &KMediaRadioPlayer::Report);
    connect(m_player, &QMediaPlayer::errorOccurred, this, &KMediaRadioPlayer::Report);
}

void KMediaRadioPlayer::SetSource(const QUrl& url) {
    if (url.isEmpty()) {
        if (!m_player) return;  // nothing was ever opened
        m_player->stop();
        m_player->setSource(QUrl());
        return;
    }
    Open();
    if (onOpenState) onOpenState(8);  // the media is changing
    m_player->setSource(url);
    m_player->play();
}

void KMediaRadioPlayer::Play() {
    if (m_player) m_player->play();
}

void KMediaRadioPlayer::Stop() {
    if (m_player) m_player->stop();
}

void KMediaRadioPlayer::Report() {
    // Each number is told once, when it changes.
    // A player in error plays nothing, whatever its status still says.
    const QMediaPlayer::MediaStatus status =
        m_player->error() != QMediaPlayer::NoError ? QMediaPlayer::InvalidMedia : m_player->mediaStatus();
    const int open = OpenStateNumber(status);
    const int play = PlayStateNumber(m_player->playbackState(), status);
    if (open != m_open) {
        m_open = open;
        if (onOpenState) onOpenState(open);
    }
    if (play != m_play) {
        m_play = play;
        if (onPlayState) onPlayState(play);
    }
}

}  // namespace parvane
