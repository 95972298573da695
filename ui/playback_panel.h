// PlaybackPanel: plays the song in the main window and shows its words in a
// KaraokeView as they are sung, with Play/Pause, Stop, a position slider
// (a click jumps there), the time and the length (up to the last note), the
// volume and the choice of SoundFont. The window gives play and pause their
// keys.
//
// The panel takes its own copy of what it plays, so reading, converting and
// writing the song go on untouched while it plays; the sound comes from
// FluidSynth's audio thread, so moving or resizing the window does not
// interrupt it. The view follows the player's clock, which is the count of
// samples that went to the audio device.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "lyrics/sung_lines.h"
#include "model/song.h"
#include "playback/player.h"
#include "ui/karaoke_view.h"

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace verselane::ui {

class KaraokeView;

class PlaybackPanel : public QWidget {
    Q_OBJECT

  public:
    // Without `open_audio` the panel stays silent and follows the clock alone.
    explicit PlaybackPanel(QWidget* parent = nullptr, bool open_audio = true);
    ~PlaybackPanel() override;

    // The song to play from now on; stops what was playing. The song is laid
    // out for playing on a thread of its own: it must stay unchanged until
    // that is done or SongChanging, SetSong or Clear is called.
    void SetSong(const Song& song);
    // The song is about to change: stops laying it out if that is not done
    // (and says so); what was laid out already plays on.
    bool SongChanging();
    // The words to show: lyric events or karaoke text of `track` (none when
    // `track` is negative), turned into text by `decode`. Title lines come
    // from the same track, else from the karaoke text of any track. Playing
    // goes on.
    void ShowWords(const Song& song, int16_t track, LineSource from,
                   const std::function<QString(std::string_view)>& decode);
    // Marks these syllables of the words shown as doubtful.
    void ShowDoubts(const std::vector<MarkedDoubt>& doubts);
    // Stops and forgets the song.
    void Clear();

    void PlayPause();
    // Plays from `seconds` of song time (playing on if it plays already).
    void PlayFrom(double seconds);
    void Stop();
    // Where the song is, in the song's seconds, as heard (at any speed).
    double Position() const;
    // Plays at `speed` times the song's pace (1, 0.75, 0.5); the words and
    // the slider follow the song's own time.
    void SetSpeed(double speed);
    double Speed() const;
    // The seconds the audio output holds back in its buffer (what Position
    // already takes off); 0 while silent.
    double OutputLatency() const;
    bool Playing() const;
    // Uses this SoundFont from now on and remembers it for the next start.
    void UseSoundFont(const QString& path);

  signals:
    // A message for the status line, given once (no audio output, no SoundFont).
    void StatusMessage(const QString& text);

  private:
    void Refresh();
    void TakeSchedule();
    void WatchOpening();
    void ChooseSoundFont();

    Player player_;
    KaraokeView* view_;
    QPushButton* play_;
    QPushButton* stop_;
    QSlider* position_;
    QLabel* time_;
    QSlider* volume_;
    QPushButton* sound_font_;
    QTimer* frames_;
    QTimer* opening_;
    QTimer* building_;
    bool told_ = false;
    std::thread builder_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> built_{false};
    std::shared_ptr<const PlaybackSchedule> schedule_;  // written by the builder before built_
};

}  // namespace verselane::ui
