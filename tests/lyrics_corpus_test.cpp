// Real songs (and a generated cut-off lyrics track) converted in both
// directions: the words players show, line by line, stay the same with their
// times, no tag is sung, every other track stays event for event, the result
// passes the check for the players it was made for, and midicsv and
// python3-mido read every file written.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "check/song_check.h"
#include "lyrics/converters.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/support/sung_words.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The lines the program itself shows (the words box, `verselane-cli lyrics`).
std::vector<std::tuple<int32_t, std::string, bool>> Shown(const MidiFile& song, int track,
                                                          LineSource from) {
    std::vector<std::tuple<int32_t, std::string, bool>> lines;
    for (const SungLine& l : SungLines(song, track, from)) {
        if (!l.Text.empty()) lines.emplace_back(l.Tick, l.Text, l.NewParagraph || lines.empty());
    }
    return lines;
}

// The events of a track for which `keep` holds.
std::vector<MidiEvent> Filtered(const MidiFile& song, int track,
                                const std::function<bool(uint8_t type, std::string_view)>& keep) {
    std::vector<MidiEvent> out;
    for (const MidiEvent& e : EventsOf(song, track)) {
        if (keep(e.Kind == kKindMeta ? e.Channel : 0, e.Data.view())) out.push_back(e);
    }
    return out;
}
bool NotWords(uint8_t type, std::string_view) {
    return type != kMetaLyric && type != kMetaText;
}
bool IsTag(std::string_view text) {
    return text.starts_with('@');
}

// The findings of what will not show in the players given.
std::string WillNotShow(const MidiFile& song, PlayerFamily players) {
    std::string ids;
    for (const Finding& f : FindingsFor(CheckSong(song), players, Severity::WillNotShow))
        ids += f.Id + " ";
    return ids;
}

// Names each written file that mido cannot read although it reads the source.
constexpr std::string_view kMidoCheck = R"(import mido, sys
def reads(f):
    try: return mido.MidiFile(f) is not None
    except Exception: return False
for source, out in zip(sys.argv[1::2], sys.argv[2::2]):
    if reads(source) and not reads(out): print(out))";

TEST(LyricsCorpus, BothDirectionsKeepTheWordsLinesAndTimes) {
    VERSELANE_REQUIRE_CORPUS();
    TempDir dir;
    std::vector<fs::path> songs = CorpusFiles();
    const std::string tools = (*CorpusDir()).parent_path() / "tools" / "gen_shapes.py";
    if (RunCommand("python3 '" + tools + "' cut '" + (dir / "cut.mid").string() + "'") == 0)
        songs.push_back(dir / "cut.mid");
    std::string mido_pairs;
    int to_lyrics = 0, to_karaoke = 0;
    // Writes the song, lists it with midicsv, and reads back the words given.
    auto written = [&](const fs::path& source, const MidiFile& song, const fs::path& file,
                       int track, uint8_t type, const SungText* words) {
        ASSERT_EQ(WriteMidiFile(song, file.string()), "");
        std::string listing;
        EXPECT_EQ(RunCommand("midicsv '" + file.string() + "' 2>&1", &listing), 0) << listing;
        const SungText back = ReadSungWords(ReadSong(file), track, type);
        EXPECT_TRUE(!words || Show(back) == Show(*words)) << Show(back);
        mido_pairs += " '" + source.string() + "' '" + file.string() + "'";
    };
    for (const fs::path& path : songs) {
        MidiFile song;
        ResetMidiFile(song);
        if (!ReadMidiFile(song, path.string()).SongUsable()) continue;
        const std::string name =
            path.parent_path().filename().string() + "_" + path.filename().string();

        const int16_t text_track = ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics);
        for (bool keep : {true, false}) {
            if (text_track < 0) break;
            SCOPED_TRACE(name + (keep ? " to lyrics, keep" : " to lyrics, replace"));
            const SungText before = ReadSungWords(song, text_track, kMetaText);
            MidiFile converted = song;
            KaraokeToLyrics(converted, text_track, 0, keep);
            // A track that already holds lyrics mixes them with the new ones:
            // only its other checks apply.
            const bool mixed = MaterialOf(song, text_track).LyricEvents > 0;
            if (!mixed) {
                EXPECT_EQ(Show(ReadSungWords(converted, text_track, kMetaLyric)), Show(before));
                EXPECT_EQ(Shown(converted, text_track, LineSource::Lyrics),
                          Shown(song, text_track, LineSource::Karaoke));
            }
            for (int t = 0; t < song.Header.NumTracks; ++t) {
                EXPECT_TRUE(t == text_track || EventsOf(converted, t) == EventsOf(song, t)) << t;
            }
            EXPECT_EQ(Filtered(converted, text_track, NotWords),
                      Filtered(song, text_track, NotWords));
            // Text events stay as they were (replace mode: only the tags); no tag is sung.
            EXPECT_EQ(Filtered(converted, text_track,
                               [](uint8_t type, std::string_view) { return type == kMetaText; }),
                      Filtered(song, text_track, [&](uint8_t type, std::string_view text) {
                          return type == kMetaText && (keep || IsTag(text));
                      }));
            EXPECT_EQ(
                Filtered(converted, text_track,
                         [](uint8_t type, auto text) { return type == kMetaLyric && IsTag(text); }),
                std::vector<MidiEvent>{});
            EXPECT_EQ(keep ? WillNotShow(converted, PlayerFamily::LyricReaders) : "", "");
            written(path, converted, dir / (name + (keep ? ".keep.mid" : ".mid")), text_track,
                    kMetaLyric, mixed ? nullptr : &before);
            ++to_lyrics;
        }

        int16_t lyric_track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        if (lyric_track >= 0) {
            SCOPED_TRACE(name + " to karaoke");
            const SungText before = ReadSungWords(song, lyric_track, kMetaLyric);
            MidiFile converted = song;
            const int16_t source = lyric_track;
            LyricsToKaraoke(converted, lyric_track, KaraokeInfo{"ENGL", "Title", "Artist", ""});
            EXPECT_EQ(Show(ReadSungWords(converted, 2, kMetaText)), Show(before));
            EXPECT_EQ(Shown(converted, 2, LineSource::Karaoke),
                      Shown(song, source, LineSource::Lyrics));
            for (int t = 0; t < song.Header.NumTracks; ++t)
                EXPECT_EQ(EventsOf(converted, t == 0 ? 0 : t + 2), EventsOf(song, t));
            // The four information lines are the only tags.
            EXPECT_EQ(
                Filtered(converted, 2,
                         [](uint8_t type, auto text) { return type == kMetaText && IsTag(text); })
                    .size(),
                4u);
            EXPECT_EQ(WillNotShow(converted, PlayerFamily::SoftKaraoke), "");
            written(path, converted, dir / (name + ".kar"), 2, kMetaText, &before);
            ++to_karaoke;
        }
    }
    // python3-mido reads every file written whose source it reads, in one run.
    std::string out;
    EXPECT_EQ(
        RunCommand("/usr/bin/python3 -c '" + std::string(kMidoCheck) + "'" + mido_pairs + " 2>&1",
                   &out),
        0);
    EXPECT_EQ(out, "");
    EXPECT_GE(to_lyrics, 2 * 11);
    EXPECT_GE(to_karaoke, 11);
}

}  // namespace
}  // namespace verselane
