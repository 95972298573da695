#include "ui/playback_panel.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "lyrics/track_choice.h"
#include "playback/schedule.h"
#include "playback/sound_font.h"
#include "ui/karaoke_view.h"
#include "ui/named.h"

namespace verselane::ui {

namespace {

constexpr int kSliderSteps = 10;  // slider positions a second
const char* const kSoundFontKey = "playback/soundFont";

QSettings Settings() {
    return QSettings(QStringLiteral("Verselane"), QStringLiteral("verselane"));
}

QString Clock(double seconds) {
    const int whole = static_cast<int>(std::max(0.0, seconds));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// A click in a slider's groove moves the handle there at once (instead of a
// page towards the click), as media players do.
class ClickToJumpStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// The song ends with its last note: a late end of track or a controller
// after the last note is not worth seconds of silence on the slider.
void EndWithLastNote(PlaybackSchedule& schedule) {
    for (auto e = schedule.Events.rbegin(); e != schedule.Events.rend(); ++e) {
        const uint8_t kind = e->Status & 0xF0;
        if (kind == 0x80 || kind == 0x90) {
            schedule.Length = std::min(schedule.Length, e->Seconds);
            return;
        }
    }
}

}  // namespace

PlaybackPanel::PlaybackPanel(QWidget* parent, bool open_audio)
    : QWidget(parent), player_(open_audio) {
    setObjectName(QStringLiteral("PlaybackPanel"));
    view_ = new KaraokeView(this);
    play_ = Named(new QPushButton(tr("Play"), this), "PlayPause");
    play_->setToolTip(tr("Play or pause the song (Space; Ctrl+Space when a button has the focus)"));
    stop_ = Named(new QPushButton(tr("Stop"), this), "Stop");
    stop_->setToolTip(tr("Stop and go back to the start (Ctrl+.)"));
    position_ = Named(new QSlider(Qt::Horizontal, this), "Position");
    position_->setToolTip(tr("Where the song is; click or drag to move"));
    auto* jump = new ClickToJumpStyle;
    jump->setParent(this);
    position_->setStyle(jump);
    position_->setMinimumWidth(120);  // never a mere square to aim at
    time_ = Named(new QLabel(this), "PlaybackTime");
    volume_ = Named(new QSlider(Qt::Horizontal, this), "Volume");
    volume_->setRange(0, 100);
    volume_->setValue(50);
    volume_->setMinimumWidth(60);
    volume_->setMaximumWidth(90);
    volume_->setToolTip(tr("Volume"));
    sound_font_ = Named(new QPushButton(tr("SoundFont..."), this), "SoundFont");
    sound_font_->setToolTip(tr("Pick the .sf2 file that gives the instruments their sound"));
    auto* volume_label = new QLabel(tr("Volume:"), this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(play_);
    controls->addWidget(stop_);
    controls->addWidget(position_, 1);
    controls->addWidget(time_);
    controls->addWidget(volume_label);
    controls->addWidget(volume_);
    controls->addWidget(sound_font_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addLayout(controls);

    frames_ = new QTimer(this);
    frames_->setTimerType(Qt::PreciseTimer);
    frames_->setInterval(15);
    opening_ = new QTimer(this);
    opening_->setInterval(100);
    building_ = new QTimer(this);
    building_->setInterval(10);

    connect(play_, &QPushButton::clicked, this, &PlaybackPanel::PlayPause);
    connect(stop_, &QPushButton::clicked, this, &PlaybackPanel::Stop);
    connect(frames_, &QTimer::timeout, this, &PlaybackPanel::Refresh);
    connect(opening_, &QTimer::timeout, this, &PlaybackPanel::WatchOpening);
    connect(building_, &QTimer::timeout, this, [this] {
        if (built_) TakeSchedule();
    });
    connect(position_, &QSlider::sliderMoved, this, [this](int value) {
        time_->setText(
            tr("%1 / %2").arg(Clock(value / double(kSliderSteps)), Clock(player_.Length())));
    });
    connect(position_, &QSlider::valueChanged, this, [this](int value) {
        if (position_->isSliderDown()) return;  // dragging: moved on release
        player_.Seek(value / double(kSliderSteps));
        Refresh();
    });
    connect(position_, &QSlider::sliderReleased, this, [this] {
        player_.Seek(position_->value() / double(kSliderSteps));
        Refresh();
    });
    connect(volume_, &QSlider::valueChanged, this,
            [this](int value) { player_.SetVolume(value / 100.0); });
    connect(sound_font_, &QPushButton::clicked, this, &PlaybackPanel::ChooseSoundFont);

    player_.SetVolume(volume_->value() / 100.0);
    // VERSELANE_AUDIO_DRIVER names FluidSynth's audio system to use ("null":
    // a silent sink at a device's pace, for machines without sound).
    player_.Open(Settings().value(QString::fromLatin1(kSoundFontKey)).toString().toStdString(),
                 qEnvironmentVariable("VERSELANE_AUDIO_DRIVER").toStdString());
    opening_->start();
    Clear();
}

PlaybackPanel::~PlaybackPanel() {
    SongChanging();
}

void PlaybackPanel::SetSong(const Song& song) {
    SongChanging();
    frames_->stop();
    player_.SetSchedule(nullptr);
    play_->setEnabled(false);
    stop_->setEnabled(false);
    position_->setEnabled(false);
    cancel_ = false;
    built_ = false;
    builder_ = std::thread([this, &song] {
        PlaybackSchedule built = BuildSchedule(song, &cancel_);
        EndWithLastNote(built);
        auto schedule = std::make_shared<const PlaybackSchedule>(std::move(built));
        if (cancel_) return;
        schedule_ = std::move(schedule);
        built_ = true;
    });
    building_->start();
    Refresh();
}

bool PlaybackPanel::SongChanging() {
    building_->stop();
    if (!builder_.joinable()) return false;
    cancel_ = true;
    builder_.join();
    const bool unfinished = !built_;
    if (built_) TakeSchedule();
    return unfinished;
}

void PlaybackPanel::TakeSchedule() {
    if (builder_.joinable()) builder_.join();
    building_->stop();
    built_ = false;
    player_.SetSchedule(std::move(schedule_));
    const bool playable = player_.Length() > 0;
    play_->setEnabled(playable);
    stop_->setEnabled(playable);
    position_->setEnabled(playable);
    {
        const QSignalBlocker quiet(position_);
        position_->setRange(0, static_cast<int>(std::ceil(player_.Length() * kSliderSteps)));
    }
    Refresh();
}

void PlaybackPanel::ShowWords(const Song& song, int16_t track, LineSource from,
                              const std::function<QString(std::string_view)>& decode) {
    if (track < 0 || track >= song.TrackCount()) {
        view_->Clear();
        return;
    }
    std::vector<std::string> titles = TitleLines(song, track, from);
    for (int16_t t = 0; titles.empty() && t < song.TrackCount(); ++t) {
        titles = TitleLines(song, t, LineSource::Karaoke);
    }
    std::vector<SungLine> lines = SungLines(song, track, from);
    // The words keep time with the track as it plays (format 2 tracks play in turn).
    if (const double start = TrackStart(song, track); start > 0) {
        for (SungLine& line : lines) {
            line.Seconds += start;
            for (SungSyllable& syllable : line.Syllables) syllable.Seconds += start;
        }
    }
    view_->SetWords(lines, titles, decode);
    view_->ShowAt(player_.Position());
}

void PlaybackPanel::ShowDoubts(const std::vector<MarkedDoubt>& doubts) {
    view_->SetDoubts(doubts);
}

void PlaybackPanel::Clear() {
    SongChanging();
    frames_->stop();
    player_.SetSchedule(nullptr);
    view_->Clear();
    play_->setEnabled(false);
    stop_->setEnabled(false);
    position_->setEnabled(false);
    Refresh();
}

void PlaybackPanel::PlayPause() {
    if (!play_->isEnabled()) return;
    if (player_.Playing()) {
        player_.Pause();
    } else {
        player_.Play();
        frames_->start();
    }
    Refresh();
}

void PlaybackPanel::PlayFrom(double seconds) {
    if (!play_->isEnabled()) return;
    player_.Seek(seconds);
    if (!player_.Playing()) {
        player_.Play();
        frames_->start();
    }
    Refresh();
}

void PlaybackPanel::Stop() {
    player_.Stop();
    Refresh();
}

void PlaybackPanel::SetSpeed(double speed) {
    player_.SetSpeed(speed);
    Refresh();
}

double PlaybackPanel::Speed() const {
    return player_.Speed();
}

double PlaybackPanel::OutputLatency() const {
    return player_.State() == Player::Output::Sound ? player_.OutputLatency() : 0;
}

double PlaybackPanel::Position() const {
    return player_.Position();
}

bool PlaybackPanel::Playing() const {
    return player_.Playing();
}

void PlaybackPanel::Refresh() {
    const double at = player_.Position();
    view_->ShowAt(at);
    if (!position_->isSliderDown()) {
        const QSignalBlocker quiet(position_);
        position_->setValue(static_cast<int>(at * kSliderSteps));
        time_->setText(tr("%1 / %2").arg(Clock(at), Clock(player_.Length())));
    }
    const bool playing = player_.Playing();
    play_->setText(playing ? tr("Pause") : tr("Play"));
    if (!playing) frames_->stop();
}

void PlaybackPanel::WatchOpening() {
    if (player_.State() == Player::Output::Opening) return;
    opening_->stop();
    if (told_) return;
    switch (player_.Trouble()) {
        case Player::Problem::None:
            return;
        case Player::Problem::NoSoundFont:
            emit StatusMessage(
                tr("No SoundFont to play with: install the package "
                   "timgm6mb-soundfont (or the fuller fluid-soundfont-gm), or "
                   "pick a .sf2 file with SoundFont..."));
            break;
        case Player::Problem::BadSoundFont:
            emit StatusMessage(tr("Cannot play with this SoundFont: %1 Pick another .sf2 file "
                                  "with SoundFont...")
                                   .arg(QString::fromStdString(player_.Detail())));
            break;
        case Player::Problem::NoAudio:
            emit StatusMessage(
                tr("No audio output is available: the words follow the clock in silence."));
            break;
    }
    told_ = true;
}

void PlaybackPanel::ChooseSoundFont() {
    const QString path = QFileDialog::getOpenFileName(this, tr("SoundFont"), QString(),
                                                      tr("SoundFont files (*.sf2);;All files (*)"));
    if (!path.isEmpty()) UseSoundFont(path);
}

void PlaybackPanel::UseSoundFont(const QString& path) {
    Settings().setValue(QString::fromLatin1(kSoundFontKey), path);
    told_ = false;
    player_.Open(path.toStdString(), qEnvironmentVariable("VERSELANE_AUDIO_DRIVER").toStdString());
    opening_->start();
}

}  // namespace verselane::ui
