// Real songs (and generated odd shapes) converted in both directions: the
// words players show, line by line, stay the same with their times, no tag is
// sung, every other track stays event for event, and midicsv and python3-mido
// read every file written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

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
using test::EventsOf;

// Failures recorded so far in the running test.
int Failures() {
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// Every song that reads, from the folders of songs with words and odd shapes,
// plus a generated lyrics track cut off in the middle of the file.
std::vector<fs::path> Songs(const test::TempDir& dir) {
    std::vector<fs::path> songs;
    for (const char* folder : {"kar", "lyrics", "odd"}) {
        for (const fs::path& p : test::CorpusFiles(folder)) songs.push_back(p);
    }
    const fs::path cut = dir / "cut.mid";
    const std::string tools = (*test::CorpusDir()).parent_path() / "tools" / "gen_shapes.py";
    if (test::RunCommand("python3 '" + tools + "' cut '" + cut.string() + "'") == 0) {
        songs.push_back(cut);
    }
    return songs;
}

// The same lines; a failure shows the first line that differs.
void ExpectSameWords(const test::SungText& after, const test::SungText& before) {
    for (size_t i = 0; i < std::min(after.size(), before.size()); ++i) {
        if (after[i] == before[i]) continue;
        ADD_FAILURE() << "line " << i << " is" << test::Show({after[i]}) << "\ninstead of"
                      << test::Show({before[i]});
        return;
    }
    EXPECT_EQ(after.size(), before.size());
}

// The lines the program itself shows (the words box, `verselane-cli lyrics`).
std::vector<std::tuple<int32_t, std::string, bool>> Shown(const MidiFile& song, int track,
                                                          LineSource from) {
    std::vector<std::tuple<int32_t, std::string, bool>> lines;
    for (const SungLine& l : SungLines(song, track, from)) {
        if (!l.Text.empty()) lines.emplace_back(l.Tick, l.Text, l.NewParagraph || lines.empty());
    }
    return lines;
}

// The events of a track other than the lyric and text events.
std::vector<MidiEvent> Rest(const MidiFile& song, int track) {
    std::vector<MidiEvent> rest;
    for (const MidiEvent& e : EventsOf(song, track)) {
        const bool words =
            e.Kind == kKindMeta && (e.Channel == kMetaLyric || e.Channel == kMetaText);
        if (!words) rest.push_back(e);
    }
    return rest;
}

// Writes the song and checks that it reads back with the words given.
using Written = std::vector<std::pair<std::string, std::string>>;

// Names each written file that mido cannot read although it reads the source.
constexpr std::string_view kMidoCheck = R"(import mido, sys
def reads(f):
    try:
        mido.MidiFile(f)
        return True
    except Exception:
        return False
for source, out in zip(sys.argv[1::2], sys.argv[2::2]):
    if reads(source) and not reads(out): print(out))";

void ExpectWritten(const fs::path& source, const MidiFile& song, const fs::path& file, int track,
                   uint8_t type, const test::SungText& words, Written& written) {
    ASSERT_EQ(WriteMidiFile(song, file.string()), "");
    std::string listing;
    EXPECT_EQ(test::RunCommand("midicsv '" + file.string() + "' 2>&1", &listing), 0) << listing;
    MidiFile back = test::ReadSong(file);
    if (!words.empty()) ExpectSameWords(test::ReadSungWords(back, track, type), words);
    written.emplace_back(source.string(), file.string());
}

TEST(LyricsCorpus, BothDirectionsKeepTheWordsLinesAndTimes) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Written written;
    int mixed = 0, to_lyrics = 0, to_lyrics_passed = 0, to_karaoke = 0, to_karaoke_passed = 0;
    for (const fs::path& path : Songs(dir)) {
        MidiFile song;
        ResetMidiFile(song);
        if (!ReadMidiFile(song, path.string()).SongUsable()) continue;
        const std::string name =
            path.parent_path().filename().string() + "_" + path.filename().string();

        const int16_t text_track = ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics);
        if (text_track >= 0) {
            const test::SungText before = test::ReadSungWords(song, text_track, kMetaText);
            for (bool keep : {true, false}) {
                SCOPED_TRACE(name + (keep ? " to lyrics, keep" : " to lyrics, replace"));
                const int failures = Failures();
                MidiFile converted = song;
                KaraokeToLyrics(converted, text_track, 0, keep);
                // A track that already holds lyrics mixes them with the new
                // ones: only its other checks apply.
                if (MaterialOf(song, text_track).LyricEvents == 0) {
                    ExpectSameWords(test::ReadSungWords(converted, text_track, kMetaLyric), before);
                    EXPECT_EQ(Shown(converted, text_track, LineSource::Lyrics),
                              Shown(song, text_track, LineSource::Karaoke));
                } else {
                    ++mixed;
                }
                for (int t = 0; t < song.Header.NumTracks; ++t) {
                    if (t != text_track) {
                        EXPECT_EQ(EventsOf(converted, t), EventsOf(song, t));
                    }
                }
                EXPECT_EQ(Rest(converted, text_track), Rest(song, text_track));
                // Text events stay as they were (replace mode: only the tags).
                std::vector<MidiEvent> texts_before, texts_after;
                for (const MidiEvent& e : EventsOf(song, text_track)) {
                    if (e.Kind == kKindMeta && e.Channel == kMetaText &&
                        (keep || e.Data.view().starts_with('@')))
                        texts_before.push_back(e);
                }
                for (const MidiEvent& e : EventsOf(converted, text_track)) {
                    if (e.Kind == kKindMeta && e.Channel == kMetaText) texts_after.push_back(e);
                    if (e.Kind == kKindMeta && e.Channel == kMetaLyric) {
                        EXPECT_FALSE(e.Data.view().starts_with('@')) << "a sung tag";
                    }
                }
                EXPECT_EQ(texts_after, texts_before);
                const bool mixed_track = MaterialOf(song, text_track).LyricEvents > 0;
                ExpectWritten(path, converted, dir / (name + (keep ? ".keep.mid" : ".mid")),
                              text_track, kMetaLyric, mixed_track ? test::SungText{} : before,
                              written);
                ++to_lyrics;
                to_lyrics_passed += Failures() == failures;
            }
        }

        int16_t lyric_track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        if (lyric_track >= 0) {
            SCOPED_TRACE(name + " to karaoke");
            const int failures = Failures();
            const test::SungText before = test::ReadSungWords(song, lyric_track, kMetaLyric);
            MidiFile converted = song;
            const int16_t source = lyric_track;
            LyricsToKaraoke(converted, lyric_track, KaraokeInfo{"ENGL", "Title", "Artist", ""});
            ExpectSameWords(test::ReadSungWords(converted, 2, kMetaText), before);
            EXPECT_EQ(Shown(converted, 2, LineSource::Karaoke),
                      Shown(song, source, LineSource::Lyrics));
            for (int t = 0; t < song.Header.NumTracks; ++t) {
                EXPECT_EQ(EventsOf(converted, t == 0 ? 0 : t + 2), EventsOf(song, t));
            }
            int tags = 0;
            for (const MidiEvent& e : EventsOf(converted, 2)) {
                tags +=
                    e.Kind == kKindMeta && e.Channel == kMetaText && e.Data.view().starts_with('@');
            }
            EXPECT_EQ(tags, 4);  // the information lines, no word
            ExpectWritten(path, converted, dir / (name + ".kar"), 2, kMetaText, before, written);
            ++to_karaoke;
            to_karaoke_passed += Failures() == failures;
        }
    }
    // python3-mido reads every file written whose source it reads, in one run.
    std::string pairs;
    for (const auto& [source, file] : written) pairs += " '" + source + "' '" + file + "'";
    std::string out;
    EXPECT_EQ(test::RunCommand(
                  "/usr/bin/python3 -c '" + std::string(kMidoCheck) + "'" + pairs + " 2>&1", &out),
              0);
    EXPECT_EQ(out, "");
    std::printf(
        "karaoke text to lyrics: %d of %d conversions keep the words (%d of them "
        "beside lyrics already there, not compared)\n"
        "lyrics to karaoke text: %d of %d conversions keep the words\n",
        to_lyrics_passed, to_lyrics, mixed, to_karaoke_passed, to_karaoke);
    EXPECT_GE(to_lyrics, 2 * 11);
    EXPECT_GE(to_karaoke, 11);
}

}  // namespace
}  // namespace verselane
