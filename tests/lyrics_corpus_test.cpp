// Real songs (and a generated cut-off lyrics track) converted in both
// directions: the words players show, line by line, stay the same with their
// times, every other track stays, the result passes the check for the players
// it was made for, and midicsv and python3-mido read every file written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "check/song_check.h"
#include "cli/outcome_text.h"
#include "encoding/encoding_detection.h"
#include "lyrics/converters.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/sung_words.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The lines the program itself shows (the words box, `verselane-cli lyrics`).
std::vector<std::tuple<int32_t, std::string, bool>> Shown(const Song& song, int track,
                                                          uint8_t type) {
    std::vector<std::tuple<int32_t, std::string, bool>> lines;
    const LineSource from = type == kMetaLyric ? LineSource::Lyrics : LineSource::Karaoke;
    for (const SungLine& l : SungLines(song, static_cast<int16_t>(track), from))
        if (!l.Text.empty()) lines.emplace_back(l.Tick, l.Text, l.NewParagraph || lines.empty());
    return lines;
}

// The words with their times, lines aside.
std::vector<SungWord> Flat(const SungText& text) {
    std::vector<SungWord> words;
    for (const SungLineOfWords& line : text)
        words.insert(words.end(), line.Words.begin(), line.Words.end());
    return words;
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
    int done[3] = {};
    for (const fs::path& path : songs) {
        Song song;
        SongFacts facts;
        if (!ReadSong(song, facts, path.string()).SongUsable()) continue;
        const std::string name =
            path.parent_path().filename().string() + "_" + path.filename().string();
        const bool wrong_before = !FindingsFor(CheckSong(song, Utf8TestFor(song)),
                                               PlayerFamily::Both, Severity::ShowsWrong)
                                       .empty();
        // To lyrics keeping the karaoke text, to lyrics in its place, to karaoke.
        for (int way = 0; way < 3; ++way) {
            const bool keep = way == 0, to_karaoke = way == 2;
            const int16_t source =
                ChooseSourceTrack(song, to_karaoke ? ConversionDirection::LyricsToKaraoke
                                                   : ConversionDirection::KaraokeToLyrics);
            if (source < 0) continue;
            const std::string written = name + std::to_string(way) + (to_karaoke ? ".kar" : ".mid");
            SCOPED_TRACE(written);
            const uint8_t from = to_karaoke ? kMetaLyric : kMetaText;
            const uint8_t to = to_karaoke ? kMetaText : kMetaLyric;
            Song converted = song;
            int16_t words = source;
            if (to_karaoke) {
                LyricsToKaraoke(converted, words, KaraokeInfo{"ENGL", "Title", "Artist", ""});
                words = 2;
            } else {
                KaraokeToLyrics(converted, source, keep);
            }
            // A track that already holds lyrics mixes them with the new ones:
            // only the other checks apply.
            const bool mixed = !to_karaoke && MaterialOf(song, source).LyricEvents > 0;
            const SungText before = ReadSungWords(song, source, from);
            // Lyrics with lines longer than a whole karaoke screen (160
            // characters; no line ends at all, mostly) are broken into
            // lines that fit: the words and times stay, the lines do not.
            const auto shown = Shown(song, source, from);
            const bool endless = to_karaoke && std::ranges::any_of(shown, [](const auto& line) {
                                     return std::get<1>(line).size() > 160;
                                 });
            auto same = [&](const SungText& text) {
                return endless ? Flat(text) == Flat(before) : Show(text) == Show(before);
            };
            if (!mixed) {
                EXPECT_TRUE(same(ReadSungWords(converted, words, to)));
                EXPECT_TRUE(endless || Shown(converted, words, to) == shown);
            }
            // Every other track keeps its events, behind the new pair if there is one.
            for (int t = 0; t < song.TrackCount(); ++t) {
                const int moved = to_karaoke && t > 0 ? t + 2 : t;
                EXPECT_TRUE((!to_karaoke && t == source) ||
                            EventsOf(converted, moved) == EventsOf(song, t))
                    << t;
            }
            // Nothing at "shows wrong" or worse for the players it was made
            // for, lyric events kept beside karaoke text included, unless
            // the song showed wrong already (words split or run together,
            // cut by NUL bytes: the conversion keeps the words as they are).
            const PlayerFamily players =
                to_karaoke ? PlayerFamily::SoftKaraoke : PlayerFamily::LyricReaders;
            std::string wrong;
            for (const Finding& f : FindingsFor(CheckSong(converted, Utf8TestFor(converted)),
                                                players, Severity::ShowsWrong))
                wrong += std::string(FindingIdText(f.Id)) + ": " + cli::FindingText(f) + "\n";
            EXPECT_TRUE(wrong.empty() || wrong_before) << wrong;

            // Written, listed by midicsv, read back with the same words.
            ASSERT_EQ(WriteProblem(WriteSong(converted, (dir / written).string())), "");
            std::string listing;
            EXPECT_EQ(RunCommand("midicsv '" + (dir / written).string() + "' 2>&1", &listing), 0)
                << listing;
            const SungText back = ReadSungWords(LoadSong(dir / written), words, to);
            EXPECT_TRUE(mixed || same(back)) << Show(back);
            mido_pairs += " '" + path.string() + "' '" + (dir / written).string() + "'";
            ++done[way];
        }
    }
    // python3-mido reads every file written whose source it reads, in one run.
    std::string out;
    RunCommand("/usr/bin/python3 -c '" + std::string(kMidoCheck) + "'" + mido_pairs + " 2>&1",
               &out);
    EXPECT_EQ(out, "");
    EXPECT_GE(std::min({done[0], done[1], done[2]}), 11);
}

}  // namespace
}  // namespace verselane
