// verselane-editing-bench: the timing editor's response to a drag, the goal
// being 16 ms (one frame) for a drag with its re-alignment on a 5-minute song.
//
// A made 5-minute song at 120 beats a minute: a melody of 900 notes with its
// 800 lyric events (100 lines of eight syllables on nine notes, a rest
// before each line), beside an accompaniment of 9,600 note events. Each
// iteration drags a syllable in the middle of the song one note later and
// undoes it, so every iteration starts from the same song. ModelEdit times
// one edit of the song model on a track of 100,000 events, WordsEdit one
// edit of the timed words on such a track.
#include <benchmark/benchmark.h>

#include <array>

#include "editing/timed_words.h"
#include "model/song.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

using namespace verselane;
using namespace verselane::editing;

namespace {

Song FiveMinuteSong() {
    const int32_t beat = 480;
    Song song;
    song.Division = static_cast<int16_t>(beat);
    song.Tracks.resize(3);
    Track& tempo = song.Tracks[0];
    tempo.Append(Event::Meta(0, kMetaTempo), std::string("\x07\xA1\x20", 3));
    tempo.Append(Event::Meta(0, kMetaEndOfTrack));
    auto note = [](Track& track, int32_t tick, EventKind kind, uint8_t channel, uint8_t key) {
        track.Append(Event::Message(tick, kind, channel, key, kind == EventKind::NoteOn ? 90 : 0));
    };
    Track& melody = song.Tracks[1];
    melody.Append(Event::Meta(0, kMetaTrackName), "Melody");
    int32_t tick = 4 * beat;
    for (int line = 0; line < 100; ++line) {
        for (int n = 0; n < 9; ++n) {
            const int32_t length = n % 3 == 0 ? beat : beat / 2;
            const uint8_t key = static_cast<uint8_t>(60 + (n * 5 + line) % 12);
            if (n < 8) {
                std::string text = "la";
                text += n == 7 ? "\r" : n % 2 == 1 ? " " : "";
                melody.Append(Event::Meta(tick, kMetaLyric), text);
            }
            note(melody, tick, EventKind::NoteOn, 0, key);
            note(melody, tick + length - 10, EventKind::NoteOff, 0, key);
            tick += length;
        }
        tick += 2 * beat;
    }
    melody.Append(Event::Meta(tick, kMetaEndOfTrack));
    Track& accompaniment = song.Tracks[2];
    accompaniment.Append(Event::Meta(0, kMetaTrackName), "Piano");
    for (int32_t t = 0; t < tick; t += beat / 4) {
        note(accompaniment, t, EventKind::NoteOn, 1, 48);
        note(accompaniment, t + beat / 4 - 10, EventKind::NoteOff, 1, 48);
    }
    accompaniment.Append(Event::Meta(tick, kMetaEndOfTrack));
    // Through the writer and the reader, as a song opened from a file is.
    Song read;
    SongFacts facts;
    (void)ReadSongBytes(read, facts, EncodeSong(song));
    return read;
}

void DragWithRealignment(benchmark::State& state) {
    TimedWords words(FiveMinuteSong());
    const bool only_dragged = state.range(0) == 1;
    const size_t dragged = words.Count() / 2 + 3;  // inside a line, not its first
    const int32_t to = words.Syllables()[dragged].Tick + 120;
    for (auto _ : state) {
        const Edit undo = words.Apply(Edit::Drag(dragged, to, only_dragged));
        words.Apply(undo);
    }
    state.SetLabel(std::to_string(words.Count()) + " syllables, " +
                   std::to_string(words.Melody().size()) + " melody notes");
}
BENCHMARK(DragWithRealignment)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void OpenSong(benchmark::State& state) {
    const Song song = FiveMinuteSong();
    for (auto _ : state) {
        TimedWords words(song);
        benchmark::DoNotOptimize(words);
    }
}
BENCHMARK(OpenSong)->Unit(benchmark::kMillisecond);

// One edit of the song model on a track of 100,000 events (a note every 10
// ticks, a lyric every 100), at the place that costs most: the first event,
// so that every other event moves in storage. Each iteration makes the edit
// and undoes it; the time shown is per edit (goal: under 1 ms).
void ModelEdit(benchmark::State& state) {
    Song song;
    song.Tracks.resize(1);
    Track& track = song.Tracks[0];
    track.Reserve(100000);
    for (int32_t i = 0; i < 100000; ++i) {
        if (i % 10 == 0) {
            track.Append({i * 10, EventKind::Meta, 0, kMetaLyric, 0, 0}, "la ");
        } else {
            track.Append(Event::Message(i * 10, EventKind::NoteOn, 0, 60, i % 2 ? 90 : 0));
        }
    }
    const Event lyric = {0, EventKind::Meta, 0, kMetaLyric, 0, 0};
    EventEdit edit;
    switch (state.range(0)) {
        case 0:
            edit = EventEdit::Insert(0, 0, lyric, "new ");
            break;
        case 1:
            edit = EventEdit::Remove(0, 0);
            break;
        case 2:
            edit = EventEdit::Move(0, 0, 999990);
            break;
        default:
            edit = EventEdit::Replace(0, 0, lyric, "do ");
            break;
    }
    for (auto _ : state) {
        const EventEdit undo = song.Apply(edit);
        song.Apply(undo);
    }
    state.SetItemsProcessed(2 * state.iterations());
    state.SetLabel(std::array{"insert", "remove", "move", "replace"}[state.range(0)]);
}
BENCHMARK(ModelEdit)->DenseRange(0, 3)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(
    benchmark::kMicrosecond);

// An edit of the timed words whose track holds 100,000 events: 10,000
// syllables, each with its note, its release and seven controller changes
// (lines of eight). Each iteration nudges a syllable near the start (so
// that nearly every event of the track lies after it) and undoes it: two
// edits, syllables read again included; items per second counts edits
// (goal: under 1 ms an edit).
void WordsEdit(benchmark::State& state) {
    Song song;
    song.Tracks.resize(2);
    song.Tracks[0].Append(Event::Meta(0, kMetaTempo), std::string("\x07\xA1\x20", 3));
    song.Tracks[0].Append(Event::Meta(0, kMetaEndOfTrack));
    Track& words = song.Tracks[1];
    words.Reserve(100002);
    words.Append(Event::Meta(0, kMetaTrackName), "Melody");
    int32_t tick = 0;
    for (int32_t g = 0; g < 10000; ++g, tick += 120) {
        const auto key = static_cast<uint8_t>(60 + g % 12);
        words.Append(Event::Meta(tick, kMetaLyric), g % 8 == 7 ? "la\r" : "la ");
        words.Append(Event::Message(tick, EventKind::NoteOn, 0, key, 90));
        for (int32_t c = 1; c <= 7; ++c)
            words.Append(Event::Message(tick + 10 * c, EventKind::Controller, 0, 1, 0));
        words.Append(Event::Message(tick + 100, EventKind::NoteOn, 0, key, 0));
    }
    words.Append(Event::Meta(tick, kMetaEndOfTrack));
    TimedWords timed(std::move(song));
    const int range = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const Edit undo = timed.Apply(range == 0 ? Edit::Nudge(5, 30) : Edit::SetText(5, "lo"));
        timed.Apply(undo);
    }
    state.SetItemsProcessed(2 * state.iterations());
    state.SetLabel(std::to_string(timed.EditedSong().Tracks[1].Size()) + " events, " +
                   (range == 0 ? "nudge" : "set text"));
}
BENCHMARK(WordsEdit)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
