// verselane-playback-timing SONG [AUDIO_DRIVER]: plays SONG in real time
// through the live player and measures, over the whole song:
//  - the time from Play to the clock starting and to the first sound;
//  - for every note, how far the karaoke view's clock (Player::Position, read
//    every millisecond as the view reads it every frame) is from the moment
//    the note is heard: the moment its audio callback began, plus where the
//    note lies in that callback's buffer, plus the device's buffer;
//  - how far the audio clock ends up from the system's clock, which is what
//    a second timer beside the sound would drift by.
// With no sound card, run it with SDL_AUDIODRIVER=dummy and driver sdl2.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef VERSELANE_HAVE_SDL2
#include <SDL2/SDL.h>
#endif

#include "cli/outcome_text.h"
#include "playback/player.h"
#include "playback/schedule.h"
#include "reader/midi_reader.h"

using namespace verselane;

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: verselane-playback-timing SONG [AUDIO_DRIVER]\n");
        return 2;
    }
    Song song;
    SongFacts facts;
    const std::string message = cli::ReadMessage(ReadSong(song, facts, argv[1]));
    if (!message.empty()) std::fprintf(stderr, "%s: %s\n", argv[1], message.c_str());
    auto schedule = std::make_shared<const PlaybackSchedule>(BuildSchedule(song));

    // FluidSynth's SDL2 output wants SDL started by the program.
#ifdef VERSELANE_HAVE_SDL2
    SDL_Init(SDL_INIT_AUDIO);
#endif
    Player player;
    player.Open({}, argc > 2 ? argv[2] : "");
    while (player.State() == Player::Output::Opening) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (player.State() != Player::Output::Sound) {
        std::fprintf(stderr, "no sound: %s\n", player.Detail().c_str());
        return 1;
    }
    // The desktop program opens its output at start, long before Play.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::vector<Player::CallbackRecord> log;
    log.reserve(1 << 20);
    player.SetSchedule(schedule);
    player.RecordCallbacks(&log);
    const double rate = 44100, latency = player.OutputLatency();

    // When the view's clock first reaches each note.
    std::vector<double> notes;
    for (const TimedEvent& e : schedule->Events) {
        if ((e.Status & 0xF0) == 0x90 && e.Data2 > 0) notes.push_back(e.Seconds);
    }
    std::vector<int64_t> shown(notes.size(), -1);
    const int64_t play_ns = NowNs();
    player.Play();
    size_t next = 0;
    while (player.Playing()) {
        const double at = player.Position();
        const int64_t now = NowNs();
        while (next < notes.size() && notes[next] <= at) shown[next++] = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double wall = (NowNs() - play_ns) / 1e9;
    player.RecordCallbacks(nullptr);

    // When each note is heard, from the callback that rendered it.
    double worst = 0, sum = 0;
    size_t counted = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        const auto sample = static_cast<int64_t>(std::ceil(notes[i] * rate));
        auto r = std::upper_bound(
            log.begin(), log.end(), sample,
            [](int64_t s, const Player::CallbackRecord& c) { return s < c.Sample; });
        if (r == log.begin() || shown[i] < 0) continue;
        --r;
        if (sample >= r->Sample + r->Frames) continue;
        const int64_t step = r->Sample + (sample - r->Sample + 63) / 64 * 64;
        const double heard = r->Ns + ((step - r->Sample) / rate + latency) * 1e9;
        const double drift = (shown[i] - heard) / 1e6;
        worst = std::max(worst, std::fabs(drift));
        sum += drift;
        ++counted;
    }
    std::printf("song: %s, %.2f s, %zu notes (%zu measured), %zu callbacks\n", argv[1],
                schedule->Length, notes.size(), counted, log.size());
    std::printf("device buffer: %.1f ms\n", latency * 1e3);
    std::printf("Play to clock start: %.1f ms, to first sound: %.1f ms\n",
                player.PlayToStart() * 1e3, player.PlayToSound() * 1e3);
    std::printf("view clock vs sound, per note: mean %+.2f ms, worst %.2f ms\n",
                counted ? sum / counted : 0.0, worst);
    std::printf("audio clock vs system clock after the song: %+.1f ms (%.3f s wall for %.3f s)\n",
                (wall - schedule->Length - latency) * 1e3, wall, schedule->Length);
    std::printf("callbacks that waited for a lock or allocated: %lld of %lld\n",
                static_cast<long long>(player.RealTimeViolations()),
                static_cast<long long>(player.Callbacks()));
    return 0;
}
