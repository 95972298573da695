// The check of a song's words: each finding on a small song made for it and
// none on clean songs; each repair removes its finding, keeps the sung words
// and every other event, and leaves a song that does not need it as it was;
// every repair offered on the corpus keeping the words and the music.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>

#include "check/song_check.h"
#include "encoding/song_recoding.h"
#include "encoding/text_encoding.h"
#include "lyrics/track_choice.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/sung_words.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using namespace test;
using Tracks = std::vector<std::vector<MidiEvent>>;

// Syllables of two lines, the second after a pause: the same words for both
// kinds of song.
const std::vector<std::pair<int32_t, std::string>> kSyllables = {
    {480, "Twin"},  {720, "kle "},  {960, "twin"}, {1200, "kle "}, {1440, "lit"}, {1680, "tle "},
    {1920, "star"}, {2880, "How "}, {3120, "I "},  {3360, "won"},  {3600, "der"}};

std::vector<MidiEvent> Music(int32_t last_note = 5000) {
    return {Name("Song"), Tempo(0, 500000), NoteOn(0, 60), NoteOn(last_note, 60),
            EndOfTrack(last_note)};
}

Tracks KaraokeSong() {
    std::vector<MidiEvent> words = {Name("Words"), Text(0, "@LENGL"), Text(0, "@TTwinkle")};
    for (size_t k = 0; k < kSyllables.size(); ++k) {
        const std::string mark = k == 0 ? "\\" : k == 7 ? "/" : "";
        words.push_back(Text(kSyllables[k].first, mark + kSyllables[k].second));
    }
    words.push_back(EndOfTrack(4000));
    return {Music(), {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)}, words};
}

Tracks LyricSong() {
    std::vector<MidiEvent> lyrics = {Name("Lyrics")};
    for (size_t k = 0; k < kSyllables.size(); ++k) {
        const bool end = k == 6 || k == 10;
        lyrics.push_back(Lyric(kSyllables[k].first, kSyllables[k].second + (end ? "\r" : "")));
    }
    lyrics.push_back(EndOfTrack(4000));
    return {Music(), lyrics};
}

// Every event of every track in one track, by time, without the ends of
// the tracks and the names of all but the first.
Tracks Flattened(const Tracks& tracks) {
    std::vector<MidiEvent> all;
    for (const auto& t : tracks) {
        std::copy_if(t.begin(), t.end(), std::back_inserter(all), [&](const MidiEvent& e) {
            return e.Kind != kKindMeta || (e.Channel != kMetaEndOfTrack &&
                                           (e.Channel != kMetaTrackName || &t == &tracks[0]));
        });
    }
    std::stable_sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.Time < b.Time; });
    all.push_back(EndOfTrack(5000));
    return {all};
}

// Changes the text of every event of type `type` in track `t` by `edit`.
std::function<void(Tracks&)> EditTexts(size_t t, uint8_t type,
                                       std::function<void(std::string&, int32_t&)> edit) {
    return [=](Tracks& tracks) {
        for (MidiEvent& e : tracks[t]) {
            if (e.Kind != kKindMeta || e.Channel != type) continue;
            std::string text = e.Data.str();
            edit(text, e.Time);
            e.Data = std::string_view(text);
        }
    };
}

void Replace(std::string& text, std::string_view from, std::string_view to) {
    if (size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
}

// The first `from` of every lyric text becomes `to`.
std::function<void(Tracks&)> Swap(std::string from, std::string to) {
    return EditTexts(1, kMetaLyric, [=](std::string& s, int32_t&) { Replace(s, from, to); });
}

struct Made {
    const char* Id;
    bool Karaoke;  // made from the karaoke song, else from the lyric song
    std::function<void(Tracks&)> Change;
    int16_t Format = 1;
};

const std::vector<Made>& MadeSongs() {
    static const std::vector<Made> kMade = {
        {"sk-format", true, [](Tracks& t) { t = Flattened(t); }, 0},
        {"sk-no-at-k", true, [](Tracks& t) { t[1].erase(t[1].begin() + 1); }},
        {"sk-late-at-k", true,
         [](Tracks& t) {
             t.push_back({Name("Extra"), t[1][1], EndOfTrack(0)});
             t[1].erase(t[1].begin() + 1);
         }},
        {"sk-no-words-track", true, [](Tracks& t) { t[2][0].Data = std::string_view("Text"); }},
        {"sk-mark-inside", true,
         EditTexts(2, kMetaText, [](std::string& s, int32_t&) { Replace(s, "star", "st/ar"); })},
        {"sk-long-paragraph", true,
         [](Tracks& t) {
             for (int k = 0; k < 3; ++k) t[2].insert(t[2].end() - 1, Text(3700 + k, "/la"));
         }},
        {"sk-long-line", true,
         [](Tracks& t) {
             int32_t time = 1930;
             for (const char* w :
                  {" and", " a", " long", " line", " of", " many", " words", " going", " on"}) {
                 t[2].insert(t[2].begin() + 10, Text(time++, w));
             }
             std::stable_sort(t[2].begin() + 3, t[2].end() - 1,
                              [](auto& a, auto& b) { return a.Time < b.Time; });
         }},
        {"sk-empty-header", true, [](Tracks& t) { t[2].erase(t[2].begin() + 3, t[2].end() - 1); }},
        {"sk-lyrics-only", false, {}},
        {"ly-split-words", false,
         EditTexts(1, kMetaLyric,
                   [](std::string& s, int32_t&) { s.insert(s.size() - s.ends_with('\r'), " "); })},
        {"ly-merged-words", false, Swap(" ", "")},
        {"ly-no-line-ends", false, Swap("\r", " ")},
        {"ly-nul", false, Swap("lit", std::string("lit\0", 4))},
        {"ly-late-line-end", false,
         [](Tracks& t) {
             Swap("star\r", "star ")(t);
             t[1].insert(t[1].begin() + 9, Lyric(2940, "\r"));
         }},
        {"ly-karaoke-only", true, {}},
        {"both-duplicate", true, [](Tracks& t) { t.push_back(LyricSong()[1]); }},
        {"both-several-tracks", false,
         [](Tracks& t) {
             t.push_back({Name("More"), Lyric(4000, "la"), EndOfTrack(4000)});
         }},
        {"enc-mixed", false,
         [](Tracks& t) {
             Swap("star", "st\xC3\xA1r")(t);
             Swap("won", "w\xF6n")(t);
         }},
        {"enc-legacy", false, Swap("won", "w\xF6n")},
        {"enc-utf8", false, Swap("won", "w\xC3\xB6n")},
        {"both-time-backwards", false,
         EditTexts(1, kMetaLyric,
                   [](std::string& s, int32_t& time) { time = s == "lit" ? 100 : time; })},
        {"both-after-last-note", false, [](Tracks& t) { t[0] = Music(2000); }},
    };
    return kMade;
}

const Made& MadeFor(std::string_view id) {
    return *std::find_if(MadeSongs().begin(), MadeSongs().end(),
                         [&](const Made& m) { return m.Id == id; });
}

MidiFile Build(const Made& made) {
    Tracks tracks = made.Karaoke ? KaraokeSong() : LyricSong();
    if (made.Change) made.Change(tracks);
    return SongOf(tracks, made.Format);
}

bool Has(const std::vector<Finding>& findings, std::string_view id) {
    return std::any_of(findings.begin(), findings.end(),
                       [&](const Finding& f) { return f.Id == id; });
}

std::string Ids(const std::vector<Finding>& findings) {
    std::string ids;
    for (const Finding& f : findings) ids += f.Id + " ";
    return ids;
}

// The clean songs (the rows without a change) find nothing for their own
// players and only advise the conversion for the other players.
TEST(SongCheck, EachFindingOnASongMadeForItAndNothingOnCleanSongs) {
    for (const Made& made : MadeSongs()) {
        const MidiFile song = Build(made);
        const std::vector<Finding> findings = CheckSong(song);
        EXPECT_TRUE(Has(findings, made.Id)) << made.Id << " not among: " << Ids(findings);
        for (const Finding& f : findings) {
            if (f.Track < 0) continue;
            ASSERT_LT(f.Track, RealTrackCount(song)) << f.Id;
            EXPECT_LT(f.Event, song.Count(static_cast<int16_t>(f.Track))) << f.Id;
        }
        if (made.Change) continue;
        EXPECT_EQ(Ids(findings), std::string(made.Id) + " ");
        const PlayerFamily own =
            made.Karaoke ? PlayerFamily::SoftKaraoke : PlayerFamily::LyricReaders;
        EXPECT_EQ(Ids(FindingsFor(findings, own)), "") << made.Id;
    }
}

// The sung words of every real track, lyric events and karaoke text apart,
// NUL bytes being nothing in either; `as_utf8` reads each text not in UTF-8
// as Windows-1252 first.
std::array<std::vector<std::string>, 2> WordsOf(MidiFile song, bool as_utf8 = false) {
    std::array<std::vector<std::string>, 2> words;
    for (int16_t t = 0; t < RealTrackCount(song); ++t) {
        for (int32_t i = 0; i < song.Count(t); ++i) {
            ByteString& data = song.Track(t).Event(i).Data;
            std::string text = data.str();
            std::erase(text, '\0');
            if (as_utf8 && !IsValidUtf8(text)) text = TextDecoder("WINDOWS-1252").ToUtf8(text);
            data = std::string_view(text);
        }
        for (size_t k : {0u, 1u}) {
            for (const SungLineOfWords& line : ReadSungWords(song, t, k ? kMetaText : kMetaLyric))
                for (const SungWord& w : line.Words) words[k].push_back(w.Text);
        }
    }
    return words;
}

// Every event that no repair is about: all but text, lyric, track name and
// end-of-track events, in track order.
std::vector<MidiEvent> OtherEvents(const MidiFile& song) {
    std::vector<MidiEvent> others;
    for (int16_t t = 0; t < RealTrackCount(song); ++t) {
        std::ranges::copy_if(EventsOf(song, t), std::back_inserter(others), [](const MidiEvent& e) {
            const uint8_t type = e.Kind == kKindMeta ? e.Channel : 0;
            return type != kMetaText && type != kMetaLyric && type != kMetaTrackName &&
                   type != kMetaEndOfTrack;
        });
    }
    return others;
}

struct RepairCase {
    const char* Id;  // the finding repaired, on the song made for it
    std::function<bool(MidiFile&)> Run;
    bool KeepsLyrics = true, KeepsKaraoke = true;
    std::string Layout = {};  // if given: the words track's texts after the repair, "|" between
};

TEST(SongCheck, EachRepairRemovesItsFindingAndNothingElse) {
    auto core = [](Repair fix, PlayerFamily keep = PlayerFamily::Both) {
        return [=](MidiFile& song) { return ApplyRepair(song, fix, keep); };
    };
    auto recode = [](MidiFile& song) { return RecodeSongTexts(song, "UTF-8").Changed > 0; };
    const std::vector<RepairCase> cases = {
        {"sk-format", core(Repair::MakeFormat1)},
        {"sk-no-at-k", core(Repair::MoveKaraokeHeader)},
        {"sk-late-at-k", core(Repair::MoveKaraokeHeader)},
        {"sk-no-words-track", core(Repair::NameWordsTrack)},
        // A long line splits at the word gap nearest the screen's edge, the
        // gap moving into the line break.
        {"sk-long-line", core(Repair::SplitLongLines), true, true,
         "@LENGL|@TTwinkle|\\Twin|kle |twin|kle |lit|tle |star| and| a| long|/line| of| many| "
         "words| going| on|/How |I |won|der|"},
        // Line ends come after the syllable before the pause.
        {"ly-no-line-ends", core(Repair::AddLineEnds), true, true,
         "Twin|kle |twin|kle |lit|tle |star \r|How |I |won|der |"},
        {"ly-nul", core(Repair::RemoveNul)},
        {"both-duplicate", core(Repair::DropDuplicate, PlayerFamily::SoftKaraoke), false, true},
        {"both-duplicate", core(Repair::DropDuplicate, PlayerFamily::LyricReaders), true, false},
        {"enc-mixed", recode},
        {"enc-legacy", recode},
    };
    for (const RepairCase& c : cases) {
        SCOPED_TRACE(c.Id);
        const MidiFile before = Build(MadeFor(c.Id));
        MidiFile after = before;
        ASSERT_TRUE(Has(CheckSong(before), c.Id));
        EXPECT_TRUE(c.Run(after));
        EXPECT_FALSE(Has(CheckSong(after), c.Id)) << Ids(CheckSong(after));
        const auto was = WordsOf(before, true), is = WordsOf(after, true);
        EXPECT_EQ(is[0], c.KeepsLyrics ? was[0] : std::vector<std::string>{});
        EXPECT_EQ(is[1], c.KeepsKaraoke ? was[1] : std::vector<std::string>{});
        EXPECT_EQ(OtherEvents(after), OtherEvents(before));
        if (!c.Layout.empty()) {
            std::string texts;
            for (int16_t t = 1; t <= 2; ++t) {
                for (const std::string& text : MetaTexts(after, t, t == 1 ? kMetaLyric : kMetaText))
                    texts += text + "|";
            }
            EXPECT_EQ(texts, c.Layout);
        }
        // A song that does not need the repair stays byte for byte.
        for (const Tracks& clean : {KaraokeSong(), LyricSong()}) {
            MidiFile song = SongOf(clean);
            const std::string bytes = EncodeMidiFile(song);
            EXPECT_FALSE(c.Run(song));
            EXPECT_EQ(EncodeMidiFile(song), bytes);
        }
    }
}

TEST(SongCheck, EveryRepairOfferedOnTheCorpusKeepsWordsAndMusic) {
    VERSELANE_REQUIRE_CORPUS();
    int findings = 0;
    for (const auto& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        const MidiFile song = ReadSong(path);
        for (const Finding& f : CheckSong(song)) {
            ++findings;
            if (f.Fix == Repair::None || f.Fix == Repair::OneEncoding) continue;
            // Every repair offered on a real song keeps its words and music,
            // and mends what it can (a line of one 60-letter syllable, or
            // words with no gap for a line end, stay as they are).
            MidiFile repaired = song;
            if (!ApplyRepair(repaired, f.Fix, PlayerFamily::SoftKaraoke)) {
                EXPECT_EQ(EncodeMidiFile(repaired), EncodeMidiFile(song)) << f.Id;
                continue;
            }
            EXPECT_TRUE(f.Fix == Repair::DropDuplicate || WordsOf(repaired) == WordsOf(song))
                << f.Id;
            EXPECT_EQ(OtherEvents(repaired), OtherEvents(song)) << f.Id;
            auto count = [&](const MidiFile& s) {
                return std::ranges::count(CheckSong(s), f.Id, &Finding::Id);
            };
            EXPECT_LT(count(repaired), count(song)) << f.Id;
        }
    }
    EXPECT_GT(findings, 0);
}

}  // namespace
}  // namespace verselane
