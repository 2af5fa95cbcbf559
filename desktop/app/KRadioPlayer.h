#pragma once
// The web radio's player: an interface the radio window drives, and the
// real one over QMediaPlayer. States are reported with the numbers the
// station pages name their state elements by ("OpenState_13", "PlayState_3").
#include <QMediaPlayer>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class QAudioOutput;

namespace parvane {

class IRadioPlayer {
public:
    virtual ~IRadioPlayer() = default;
    // Opens and plays url; an empty url stops and closes the stream.
    virtual void SetSource(const QUrl& url) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    std::function<void(int)> onOpenState;
    std::function<void(int)> onPlayState;
};

// Player states as page numbers: undefined 0 (a stream that cannot be
// played), stopped 1, paused 2, playing 3, buffering 6, ended 8, changing 9,
// ready 10.
int PlayStateNumber(QMediaPlayer::PlaybackState state, QMediaPlayer::MediaStatus status);
// Open states as page numbers: no media 0, changing 8, opening 12, open 13.
int OpenStateNumber(QMediaPlayer::MediaStatus status);

class KMediaRadioPlayer final : public QObject, public IRadioPlayer {
public:
    explicit KMediaRadioPlayer(QObject* parent = nullptr);
    ~KMediaRadioPlayer() override;

    void SetSource(const QUrl& url) override;
    void Play() override;
    void Stop() override;
    // The media player; none before the first station.
    QMediaPlayer* Player() const { return m_player; }

private:
    void Open();
    void Report();

    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    int m_open = -1;
    int m_play = -1;
};

}  // namespace parvane
