// The check of a song's words: each finding on a small song made for it and
// none on clean songs; each repair removes its finding, keeps the sung words
// and every other event, and leaves a song that does not need it as it was;
// every repair offered on the corpus keeping the words and the music.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iterator>
#include <optional>
#include <set>

#include "check/song_check.h"
#include "encoding/song_recoding.h"
#include "encoding/text_conversion.h"
#include "encoding/text_encoding.h"
#include "lyrics/track_choice.h"
#include "model/utf8.h"
#include "playback/schedule.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/sung_words.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using namespace test;
using namespace std::string_literals;
using Tracks = std::vector<TrackEvents>;

// The words of two lines, the second after a pause, as syllables between
// "|": one each 240 ticks from 480 on, an empty one being the pause (720
// ticks more).
const std::string kKaraokeWords = "\\Twin|kle |twin|kle |lit|tle |star||/How |I |won|der";
const std::string kLyricWords = "Twin|kle |twin|kle |lit|tle |star\r||How |I |won|der\r";

// A song of the music and of `words` (the default ones if empty) as karaoke
// text, in a "Words" track behind the "@K" track, or as lyric events.
Tracks SongOfWords(bool karaoke, std::string words = "") {
    TrackEvents track = {Name(karaoke ? "Words" : "Lyrics")};
    if (karaoke) track.insert(track.end(), {Text(0, "@LENGL"), Text(0, "@TTwinkle")});
    int32_t time = 480;
    words = words.empty() ? (karaoke ? kKaraokeWords : kLyricWords) : words;
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = words.find('|', at);
        const std::string syllable = words.substr(at, end - at);
        if (!syllable.empty())
            track.push_back(karaoke ? Text(time, syllable) : Lyric(time, syllable));
        time += syllable.empty() ? 720 : 240;
    }
    track.push_back(EndOfTrack(time));
    const TrackEvents music = {Name("Song"), Tempo(0, 500000), NoteOn(0, 60), NoteOn(5000, 60),
                               EndOfTrack(5000)};
    if (!karaoke) return {music, track};
    return {music, {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)}, track};
}

// Every event of every track in one track, by time, but the ends of the tracks.
Tracks Flattened(const Tracks& tracks) {
    TrackEvents all;
    for (const auto& t : tracks) all.insert(all.end(), t.begin(), t.end() - 1);
    std::ranges::stable_sort(all, {}, [](const EventAndBody& e) { return e.Record.Tick; });
    all.push_back(EndOfTrack(5000));
    return {all};
}

using enum Severity;

struct Made {
    const char* Id;
    std::optional<Severity> Level;  // of the finding Id on the song
    bool Karaoke;                   // made from karaoke text, else from lyric events
    std::string Words = "";         // if not the default words
    std::function<void(Tracks&)> Change = {};
};

const std::vector<Made>& MadeSongs() {
    static const std::vector<Made> kMade = {
        {"sk-format", WillNotShow, true, "", [](Tracks& t) { t = Flattened(t); }},
        {"sk-no-at-k", WillNotShow, true, "", [](Tracks& t) { t[1].erase(t[1].begin() + 1); }},
        {"sk-late-at-k", WillNotShow, true, "", [](Tracks& t) { std::swap(t[1], t[2]); }},
        {"sk-no-words-track", Advice, true, "", [](Tracks& t) { t[2][0].Body = "Text"; }},
        {"sk-mark-inside", Advice, true, "\\Twin|kle |twin|kle |lit|tle |st/ar||/How |I |won|der"},
        {"sk-long-paragraph", Advice, true, kKaraokeWords + "|/la|/la|/la"},
        {"sk-long-line", Advice, true,
         "\\Twin|kle |twin|kle |lit|tle |star| and| a| long| line| of| many| words| going| on"
         "||/How |I |won|der"},
        {"sk-empty-header", WillNotShow, true, "",
         [](Tracks& t) { t[2].erase(t[2].begin() + 3, t[2].end() - 1); }},
        {"sk-lyrics-only", Advice, false},
        {"ly-split-words", ShowsWrong, false,
         "Twin |kle  |twin |kle  |lit |tle  |star \r||How  |I  |won |der \r"},
        {"ly-merged-words", ShowsWrong, false,
         "Twin-|kle|twin-|kle|lit-|tle|star\r||How|I|won-|der\r"},
        {"ly-no-line-ends", Advice, false, "Twin|kle |twin|kle |lit|tle |star ||How |I |won|der "},
        {"ly-nul", Advice, false, "Twin|kle |twin|kle |lit\0|tle |star\r||How |I |won|der\r"s},
        {"ly-late-line-end", ShowsWrong, false,
         "Twin|kle |twin|kle |lit|tle |star ||How |\r|I |won|der\r"},
        {"ly-karaoke-only", Advice, true},
        // The karaoke lines apart by their marks alone.
        {"both-duplicate", Advice, true, "\\Twin|kle|/twin|kle|/lit|tle|/star||/How|/I|/won|der",
         [](Tracks& t) { t.push_back(SongOfWords(false)[1]); }},
        {"both-several-tracks", Advice, false, "",
         [](Tracks& t) {
             t.push_back({Name("More"), Lyric(4000, "la"), EndOfTrack(4000)});
         }},
        {"enc-mixed", ShowsWrong, false,
         "Twin|kle |twin|kle |lit|tle |st\xC3\xA1r\r||How |I |w\xF6n|der\r"},
        {"enc-legacy", Advice, false,
         "Twin|kle |twin|kle |lit|tle |star\r||How |I |w\xF6n|d\xE9r\r"},
        {"enc-utf8", Advice, false,
         "Twin|kle |twin|kle |lit|tle |star\r||How |I |w\xC3\xB6n|d\xC3\xA9r\r"},
        {"both-time-backwards", ShowsWrong, false, "",
         [](Tracks& t) { t[1][5].Record.Tick = 100; }},
        {"both-after-last-note", Advice, false, "", [](Tracks& t) { t[0][3].Record.Tick = 2000; }},
    };
    return kMade;
}

const Made& MadeFor(std::string_view id) {
    return *std::ranges::find(MadeSongs(), id, &Made::Id);
}

Song Build(const Made& made) {
    Tracks tracks = SongOfWords(made.Karaoke, made.Words);
    if (made.Change) made.Change(tracks);
    return BuildSong(tracks, tracks.size() == 1 ? 0 : 1);  // one track: format 0
}

std::string IdOf(const Finding& f) {
    return std::string(FindingIdText(f.Id));
}

int Count(const std::vector<Finding>& findings, std::string_view id) {
    return static_cast<int>(std::ranges::count(findings, id, IdOf));
}

std::string Ids(const std::vector<Finding>& findings) {
    std::string ids;
    for (const Finding& f : findings) ids += IdOf(f) + " ";
    return ids;
}

// Every finding id has a text of its own that reads back as the id, and a
// made song above.
TEST(SongCheck, FindingIdsHaveOneTextEachAndAMadeSong) {
    std::set<std::string_view> texts;
    for (int n = 0; n <= static_cast<int>(FindingId::AfterLastNote); ++n) {
        const auto id = static_cast<FindingId>(n);
        const std::string_view text = FindingIdText(id);
        EXPECT_TRUE(texts.insert(text).second) << "twice: " << text;
        FindingId parsed{};
        EXPECT_TRUE(ParseFindingId(text, parsed) && parsed == id) << text;
        EXPECT_EQ(std::ranges::count(MadeSongs(), text, &Made::Id), 1) << text;
    }
    FindingId unknown{};
    EXPECT_FALSE(ParseFindingId("sk-unknown", unknown));
}

// The sung words of every real track, lyric events and karaoke text apart,
// NUL bytes being nothing in either, each text not in UTF-8 read as
// Windows-1252.
std::array<std::vector<std::string>, 2> WordsOf(Song song) {
    std::array<std::vector<std::string>, 2> words;
    for (int16_t t = 0; t < song.TrackCount(); ++t) {
        Track& track = song.Tracks[t];
        for (int32_t i = 0; i < track.Size(); ++i) {
            if (!track[i].HasBody()) continue;
            std::string text(track.Body(track[i]));
            std::erase(text, '\0');
            if (!IsValidUtf8(text)) text = TextDecoder("WINDOWS-1252").ToUtf8(text);
            track.SetBody(i, text);
        }
        for (size_t k : {0u, 1u})
            for (const SungLineOfWords& line : ReadSungWords(song, t, k ? kMetaText : kMetaLyric))
                for (const SungWord& w : line.Words) words[k].push_back(w.Text);
    }
    return words;
}

// The words' characters one after another, spaces aside.
std::string Letters(const std::vector<std::string>& words) {
    std::string all;
    for (const std::string& w : words)
        for (const char c : w)
            if (c != ' ') all += c;
    return all;
}

// Every event that no repair is about: all but text, lyric, track name and
// end-of-track events, in track order.
TrackEvents OtherEvents(const Song& song) {
    TrackEvents others;
    for (int16_t t = 0; t < song.TrackCount(); ++t)
        std::ranges::copy_if(EventsOf(song, t), std::back_inserter(others), [](const auto& e) {
            const uint8_t type = e.Record.IsMeta() ? e.Record.MetaType() : 0;
            return type != kMetaText && type != kMetaLyric && type != kMetaTrackName &&
                   type != kMetaEndOfTrack;
        });
    return others;
}

struct RepairCase {
    const char* Id;  // the finding repaired, on the song made for it
    Repair Fix;      // the one it offers (OneEncoding: the texts recoded into UTF-8)
    PlayerFamily Keep = PlayerFamily::Both;
    bool KeepsLyrics = true, KeepsKaraoke = true;
    std::string Layout = {};  // if given: the words track's texts after the repair, "|" between
    bool Clean = false;       // the song after is the clean one of its kind, byte for byte
    bool NewGaps = false;     // the repair puts gaps between words: the words change
};

TEST(SongCheck, EachRepairRemovesItsFindingAndNothingElse) {
    auto run = [](const RepairCase& c, Song& song) {
        return c.Fix == Repair::OneEncoding ? RecodeSongTexts(song, "UTF-8").Changed > 0
                                            : ApplyRepair(song, c.Fix, c.Keep);
    };
    const std::vector<RepairCase> cases = {
        {"sk-format", Repair::MakeFormat1},
        {"sk-no-at-k", Repair::MoveKaraokeHeader},
        {"sk-late-at-k", Repair::MoveKaraokeHeader},
        {"sk-no-words-track", Repair::NameWordsTrack},
        // A long line splits at the word gap nearest the screen's edge, the
        // gap moving into the line break.
        {"sk-long-line", Repair::SplitLongLines, PlayerFamily::Both, true, true,
         "@LENGL|@TTwinkle|\\Twin|kle |twin|kle |lit|tle |star| and| a| long|/line| of| many| "
         "words| going| on|/How |I |won|der|"},
        // Line ends come after the syllable before the pause.
        {"ly-no-line-ends", Repair::AddLineEnds, PlayerFamily::Both, true, true,
         "Twin|kle |twin|kle |lit|tle |star \r|How |I |won|der |"},
        {.Id = "ly-nul", .Fix = Repair::RemoveNul, .Clean = true},
        // A space behind every syllable and two behind every word become the
        // usual lyrics: one space at a word's end, none inside, line ends and
        // times kept.
        {.Id = "ly-split-words", .Fix = Repair::JoinSplitWords, .Clean = true},
        // Syllables run together, those inside words ending in "-": a space
        // after each other one, none where a line end is the gap.
        {.Id = "ly-merged-words",
         .Fix = Repair::AddWordGaps,
         .Layout = "Twin-|kle |twin-|kle |lit-|tle |star\r|How |I |won-|der\r|",
         .NewGaps = true},
        {"both-duplicate", Repair::DropDuplicate, PlayerFamily::SoftKaraoke, false, true},
        {"both-duplicate", Repair::DropDuplicate, PlayerFamily::LyricReaders, true, false},
        {"enc-mixed", Repair::OneEncoding},
        {"enc-legacy", Repair::OneEncoding},
    };
    for (const RepairCase& c : cases) {
        SCOPED_TRACE(c.Id);
        const Song before = Build(MadeFor(c.Id));
        const std::vector<Finding> found = CheckSong(before, Utf8TestFor(before));
        ASSERT_EQ(Count(found, c.Id), 1) << Ids(found);
        EXPECT_EQ(RepairName(std::ranges::find(found, c.Id, IdOf)->Fix), RepairName(c.Fix));
        Song after = before;
        EXPECT_TRUE(run(c, after));
        EXPECT_FALSE(Count(CheckSong(after, Utf8TestFor(after)), c.Id))
            << Ids(CheckSong(after, Utf8TestFor(after)));
        const Song usual = BuildSong(SongOfWords(MadeFor(c.Id).Karaoke));
        EXPECT_TRUE(!c.Clean || EncodeSong(after) == EncodeSong(usual));
        const auto was = WordsOf(c.Clean ? usual : before), is = WordsOf(after);
        if (c.NewGaps) {
            EXPECT_EQ(Letters(is[0]), Letters(was[0]));
        } else {
            EXPECT_EQ(is[0], c.KeepsLyrics ? was[0] : std::vector<std::string>{});
        }
        EXPECT_EQ(is[1], c.KeepsKaraoke ? was[1] : std::vector<std::string>{});
        EXPECT_EQ(OtherEvents(after), OtherEvents(before));
        std::string texts;
        for (const std::string& text : MetaTexts(after, 2, kMetaText)) texts += text + "|";
        for (const std::string& text : MetaTexts(after, 1, kMetaLyric)) texts += text + "|";
        EXPECT_TRUE(c.Layout.empty() || texts == c.Layout) << texts;
        // A song holds one "@K" line at the most: a moved header is not copied.
        int headers = 0;
        for (const Track& track : after.Tracks)
            for (const Event& e : track) headers += e.IsText() && track.Body(e).starts_with("@K");
        EXPECT_LE(headers, 1);
        // A song that does not need the repair stays byte for byte (the
        // last: a karaoke song of one track, its "@K" line in track 0).
        for (const Tracks& clean :
             {SongOfWords(true), SongOfWords(false), Flattened(SongOfWords(true))}) {
            Song song = BuildSong(clean);
            const std::string bytes = EncodeSong(song);
            EXPECT_FALSE(run(c, song));
            EXPECT_EQ(EncodeSong(song), bytes);
        }
    }
    // The same words in two lyric tracks (a harmony voice): keeping the
    // karaoke text drops both copies. Words in track 0 keep its name, the
    // song's title: no rename is offered, and the repair changes nothing.
    Tracks voices = SongOfWords(true), words_first = SongOfWords(true);
    voices.insert(voices.end(), 2, SongOfWords(false)[1]);
    Song doubled = BuildSong(voices);
    EXPECT_TRUE(ApplyRepair(doubled, Repair::DropDuplicate, PlayerFamily::SoftKaraoke));
    EXPECT_EQ(Ids(CheckSong(doubled, Utf8TestFor(doubled))), "ly-karaoke-only ");
    words_first[2][0].Body = "twinkle";
    words_first[2].insert(words_first[2].begin() + 1, Text(0, "@KMIDI KARAOKE FILE"));
    Song titled = BuildSong({words_first[2], words_first[0]});
    const std::vector<Finding> found = CheckSong(titled, Utf8TestFor(titled));
    const auto unnamed = std::ranges::find(found, "sk-no-words-track", IdOf);
    ASSERT_NE(unnamed, found.end()) << Ids(found);
    EXPECT_EQ(unnamed->Fix, Repair::None);
    EXPECT_FALSE(ApplyRepair(titled, Repair::NameWordsTrack));
    // A long line of kana without spaces: as wide in UTF-8 as in Shift-JIS
    // (a kana two columns), and no split offered without a word gap.
    for (const char* page : {"UTF-8", "SHIFT_JIS"}) {
        const std::string kana =
            TypedText("さくらさくらやよいのそらはみわたすかぎりかすみ", page).Bytes;
        const Song japanese = Build({"", std::nullopt, true, "\\" + kana + "||/How |I |won|der"});
        const std::vector<Finding> long_lines = CheckSong(japanese, Utf8TestFor(japanese));
        const auto line = std::ranges::find(long_lines, "sk-long-line", IdOf);
        ASSERT_NE(line, long_lines.end()) << page << Ids(long_lines);
        EXPECT_EQ(std::tuple(line->Numbers[0], line->Fix), std::tuple(46, Repair::None)) << page;
    }
    // A format 0 song's text events move to a words track after track 0.
    Song flat = Build(MadeFor("sk-format"));
    const std::vector<std::string> texts = MetaTexts(flat, 0, kMetaText);
    ApplyRepair(flat, Repair::MakeFormat1);
    EXPECT_EQ(MetaTexts(flat, 1, kMetaText), texts);
    EXPECT_EQ(MetaTexts(flat, 0, kMetaText), std::vector<std::string>{});
}

// Where lyrics run their words together, the gaps go back only where "-"
// marks the syllables inside words (two at least, and one in twenty), so
// that the others are known to end one; a line end, at a syllable's end, at
// the next one's start or in an event of its own, is the gap already; the
// last syllable needs none. Lyrics with a space, or without the marks, are
// left as they are.
TEST(SongCheck, WordGapsGoBackOnlyWhereHyphensMarkTheSyllablesInsideWords) {
    std::string many_la = "Twin-|kle|twin-|kle";
    for (int k = 0; k < 38; ++k) many_la += "|la";
    const std::pair<std::string, const char*> rows[] = {
        {"Twin-|kle|twin-|kle|lit-|tle|star|\rHow|I|won-|der",
         "Twin-|kle |twin-|kle |lit-|tle |star|\rHow |I |won-|der|"},
        {"Twin-|kle|twin-|kle|lit-|tle|star|\r|How|I|won-|der\n",
         "Twin-|kle |twin-|kle |lit-|tle |star|\r|How |I |won-|der\n|"},
        {"Twin-|kle|twin|kle|lit|tle|star|How|I|won|der", nullptr},      // one word marked
        {many_la, nullptr},                                              // two marked among 42
        {"Twin|kle|twin|kle|lit|tle|star|How|I|won|der", nullptr},       // none
        {"Twin-|kle |twin-|kle|lit-|tle|star|How|I|won-|der", nullptr},  // a gap there
    };
    for (const auto& [words, want] : rows) {
        Song song = BuildSong(SongOfWords(false, words));
        const std::string bytes = EncodeSong(song);
        const std::vector<Finding> found = CheckSong(song, Utf8TestFor(song));
        const auto merged = std::ranges::find(found, "ly-merged-words", IdOf);
        EXPECT_EQ(AddWordGaps(song), want != nullptr) << words;
        if (want == nullptr) {
            EXPECT_EQ(EncodeSong(song), bytes) << words;
            EXPECT_TRUE(merged == found.end() || merged->Fix == Repair::None) << words;
            continue;
        }
        ASSERT_NE(merged, found.end()) << words;
        EXPECT_EQ(merged->Fix, Repair::AddWordGaps);
        std::string texts;
        for (const std::string& text : MetaTexts(song, 1, kMetaLyric)) texts += text + "|";
        EXPECT_EQ(texts, want);
        EXPECT_FALSE(Count(CheckSong(song, Utf8TestFor(song)), "ly-merged-words"));
    }
}

// Each finding is found on the song made for it, placed at the event it is
// about, at the level of what a player family does: "will not show" where the
// family does not find the words at all, "shows wrong" where it shows them
// other than meant (joined as they stand, wrapped, cut at a NUL), advice
// where players differ or wrap and scale. The clean songs (the rows without a
// change) find nothing for their own players and only advise the conversion
// for the other players. The made songs, then variants that cross a level's
// line.
TEST(SongCheck, EachFindingOnItsMadeSongAtItsPlayerLevelAndNothingOnCleanSongs) {
    const std::string line(153, 'a');  // "Twinkle " and 153 letters: 161 characters
    std::vector<Made> rows = {
        // A line that does not fit even wrapped over a whole screen.
        {"sk-long-line", ShowsWrong, true, "\\Twin|kle |" + line + "||/How |I |won|der"},
        {"sk-long-line", Advice, true, "\\Twin|kle |" + line.substr(1) + "||/How |I |won|der"},
        // A NUL before letters hides them from players that end a text there.
        {"ly-nul", ShowsWrong, false, "Twin|kle |twin|kle |li\0t|tle |star\r||How |I |won|der\r"s},
        {"ly-nul", Advice, false, "Twin|kle |twin|kle |lit\0\0 |tle |star\r||How |I |won|der\r"s},
        // A line's last syllable held before its line end, the next line
        // after a pause: the line end is in time.
        {"ly-late-line-end", std::nullopt, false,
         "Twin|kle |twin|kle |lit|tle ||star |\r||How |I |won|der\r"},
        // The next line a whole pause after the line end: it is in time too.
        {"ly-late-line-end", std::nullopt, false, MadeFor("ly-late-line-end").Words,
         [](Tracks& t) {
             for (EventAndBody& e : t[1]) e.Record.Tick += e.Record.Tick > 3120 ? 480 : 0;
         }},
        // The line end as the note of the syllable before it stops closes
        // that syllable's line ("Hal-le-lu" held, "jah", the line end): in
        // time. While that note still sounds, or where only a drum stops,
        // it is late.
        {"ly-late-line-end", std::nullopt, false, MadeFor("ly-late-line-end").Words,
         [](Tracks& t) {
             t[0].insert(t[0].begin() + 3,
                         {NoteOn(2880, 64), Message(3120, EventKind::NoteOff, 0, 64)});
         }},
        {"ly-late-line-end", ShowsWrong, false, MadeFor("ly-late-line-end").Words,
         [](Tracks& t) {
             t[0].insert(t[0].begin() + 3,
                         {NoteOn(2880, 64), Message(3360, EventKind::NoteOff, 0, 64)});
         }},
        {"ly-late-line-end", ShowsWrong, false, MadeFor("ly-late-line-end").Words,
         [](Tracks& t) {
             t[0].insert(t[0].begin() + 3, {Message(2880, EventKind::NoteOn, 9, 36, 100),
                                            Message(3120, EventKind::NoteOff, 9, 36)});
         }},
        // Words all in UTF-8 beside a copyright in Latin-1: the words show
        // as they are, so the mix is advice only.
        {"enc-mixed", Advice, false, MadeFor("enc-utf8").Words,
         [](Tracks& t) {
             t[0].insert(t[0].begin() + 1, Meta(0, kMetaCopyright, "written by M\xFCller"));
         }},
        // Karaoke text is the texts of an "@K" song or of marked lines: a
        // stray "/" among a track's notes is neither.
        {"sk-no-at-k", std::nullopt, false, "",
         [](Tracks& t) {
             t.push_back({Name("Chords")});
             for (int i = 0; i < 30; ++i) t.back().push_back(Text(i * 10, i ? "Dm" : "/Bb"));
             t.back().push_back(EndOfTrack(300));
         }},
        // Two spaces before a line end only pad the line (a word to an
        // event, the line end in the same event or the next one), and two
        // at a phrase's end only now and then mark no word's end: joining
        // at single spaces would run whole words together.
        {"ly-split-words", std::nullopt, false,
         "Row |row |row |your |boat  |\r|Gent |ly |down |the |stream  \r||Mer |ri |ly |life |is "
         "|but |a |dream  |\r"},
        {"ly-split-words", std::nullopt, false,
         "Suer |te |que |en |el |Sur |ha |do,  | |y |que |bur |le |mos |cias,  | |suer |te \r"},
        // Nor are credits written together at the start, or one marked
        // section name among others.
        {"sk-no-at-k", std::nullopt, false, "",
         [](Tracks& t) {
             t[0].insert(t[0].begin() + 1,
                         {Text(0, "/ Arranged by J. Smith"), Text(0, "\\ (c) 1999")});
         }},
        {"sk-no-at-k", std::nullopt, false, "",
         [](Tracks& t) {
             t.push_back({Name("Piano")});
             for (int i = 0;
                  const char* part : {"Verse", "Chorus", "Verse", "Bridge", "/Coda", "Fine"})
                 t.back().push_back(Text(480 * i++, part));
             t.back().push_back(EndOfTrack(480 * 6));
         }},
        // Syllables after the last note that show nothing (padding bytes).
        {"both-after-last-note", std::nullopt, false, "",
         [](Tracks& t) {
             const int32_t end = t[1].back().Record.Tick;
             t[1].insert(t[1].end() - 1, Lyric(end, "\0\x05\x01 "s));
             t[0][3].Record.Tick = end - 1;
             t[0][4].Record.Tick = end;
         }},
        // The last syllable on the tick of the last note is not after it.
        {"both-after-last-note", std::nullopt, false, "",
         [](Tracks& t) { t[0][3].Record.Tick = t[1][t[1].size() - 2].Record.Tick; }},
    };
    rows.insert(rows.begin(), MadeSongs().begin(), MadeSongs().end());
    for (const Made& made : rows) {
        SCOPED_TRACE(std::string(made.Id) + " " + made.Words);
        const Song song = Build(made);
        const std::vector<Finding> findings = CheckSong(song, Utf8TestFor(song));
        // The level of the first finding of the id, if any.
        const auto found = std::ranges::find(findings, made.Id, IdOf);
        EXPECT_EQ(found == findings.end() ? std::nullopt : std::optional(found->Level), made.Level)
            << Ids(findings);
        for (const Finding& f : findings) {
            const bool encoding = IdOf(f).starts_with("enc-");
            if (f.Track < 0 && !encoding) continue;
            ASSERT_TRUE(f.Track >= 0 && f.Track < song.TrackCount()) << IdOf(f);
            const Track& track = song.Tracks[f.Track];
            EXPECT_LT(f.Event, track.Size()) << IdOf(f);
            EXPECT_EQ(f.Time, f.Event < 0 ? -1 : track.At(f.Event).Tick) << IdOf(f);
            // An encoding finding is placed at the first text of its kind.
            EXPECT_TRUE(!encoding || track.Body(track[f.Event]).starts_with("w")) << IdOf(f);
        }
        // A "@K" line anywhere, track 0 included, is found.
        EXPECT_EQ(Count(findings, "sk-no-at-k"), made.Id == "sk-no-at-k"s && made.Level);
        if (made.Change || !made.Words.empty()) continue;
        EXPECT_EQ(Ids(findings), std::string(made.Id) + " ");
        const PlayerFamily own =
            made.Karaoke ? PlayerFamily::SoftKaraoke : PlayerFamily::LyricReaders;
        EXPECT_EQ(Ids(FindingsFor(findings, own)), "");
    }
    // A pause is at least a beat also under an SMPTE division (half a second:
    // 500 ticks at 25 frames of 40): the late line end's song ten times as
    // fast, its "pause" a tenth of a second, ends its line in time.
    Song smpte = Build(MadeFor("ly-late-line-end"));
    smpte.Division = static_cast<int16_t>(0xE728);
    for (Track& track : smpte.Tracks)
        for (int32_t i = 0; i < track.Size(); ++i) track.Record(i).Tick /= 10;
    EXPECT_EQ(Count(CheckSong(smpte, Utf8TestFor(smpte)), "ly-late-line-end"), 0);
}

// Chinese words in GBK hold characters that are valid UTF-8 by chance ("一"
// is D2 BB, a Cyrillic "һ" in UTF-8). Told the song's encoding, the check
// sees one code page, not a mix, and the repair to UTF-8 writes "一"; words
// truly mixed (some UTF-8 "一闪", some GBK; Latin-1 beside UTF-8) still are.
TEST(SongCheck, DoubleByteWordsValidAsUtf8ByChanceAreNoMix) {
    const std::string gbk =
        "\xD2\xBB|\xC9\xC1|\xD2\xBB|\xC9\xC1|\xC1\xC1|\xBE\xA7|\xBE\xA7\r|\xC2\xFA|\xCC\xEC|"
        "\xB6\xBC|\xCA\xC7|\xD0\xA1|\xD0\xC7|\xD0\xC7\r";
    const std::string mixed = "\xE4\xB8\x80|\xE9\x97\xAA|" + gbk;
    const struct {
        std::string Words;
        bool Mixed;
    } rows[] = {
        {gbk, false},
        {mixed, true},
        {MadeFor("enc-mixed").Words, true},
        {MadeFor("enc-legacy").Words, false},
        {MadeFor("enc-utf8").Words, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Quote(row.Words));
        const Song song = BuildSong(SongOfWords(false, row.Words), 1);
        EXPECT_EQ(Count(CheckSong(song, Utf8TestFor(song)), "enc-mixed"), row.Mixed ? 1 : 0);
    }
    // With valid UTF-8 as the test, GBK by chance reads as a mix.
    Song song = BuildSong(SongOfWords(false, gbk), 1);
    EXPECT_EQ(Count(CheckSong(song, IsValidUtf8), "enc-mixed"), 1);
    ASSERT_EQ(RecodeSongTexts(song, "UTF-8").Refused, "");
    std::string joined;
    for (const std::string& text : MetaTexts(song, 1, kMetaLyric)) joined += text;
    EXPECT_EQ(joined,
              "\u4E00\u95EA\u4E00\u95EA\u4EAE\u6676\u6676\r\u6EE1\u5929\u90FD\u662F\u5C0F"
              "\u661F\u661F\r");
}

// make-format-1 on a format 2 song lays the patterns one after another, each
// by its own tempo, so the song plays as before: the same sounds at the same
// seconds. A pattern without a tempo of its own plays at the default one.
TEST(SongCheck, FormatTwoPatternsPlayInTurnAfterMakeFormat1) {
    Song song = BuildSong(
        {{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), Tempo(0, 1000000), NoteOn(0, 60),
          NoteOn(480, 62), Tempo(480, 250000), NoteOn(960, 64), EndOfTrack(1440)},
         {Name("Words"), Text(0, "\\Twin"), NoteOn(0, 65), Text(240, "kle"), Text(480, "/star"),
          NoteOn(480, 67), EndOfTrack(960)},
         {NoteOn(0, 69), Tempo(240, 750000), NoteOn(480, 71), EndOfTrack(480)}},
        2);
    auto sounds = [](const Song& s) {
        std::vector<std::tuple<long long, int, int>> out;
        for (const TimedEvent& e : BuildSchedule(s).Events)
            out.emplace_back(std::llround(e.Seconds * 1e6), e.Status, e.Data1);
        return out;
    };
    const auto before = sounds(song);
    ASSERT_EQ(Count(CheckSong(song, Utf8TestFor(song)), "sk-format"), 1);
    EXPECT_TRUE(ApplyRepair(song, Repair::MakeFormat1));
    EXPECT_EQ(sounds(song), before);
    EXPECT_EQ(Count(CheckSong(song, Utf8TestFor(song)), "sk-format"), 0);
    EXPECT_EQ(MetaTexts(song, 1, kMetaText), (std::vector<std::string>{"\\Twin", "kle", "/star"}));
    EXPECT_EQ(song.Tracks[1][1].Tick, 1440) << "the words move with their pattern";
    // Patterns that end together on the last tick a song holds are laid too.
    Song longest =
        BuildSong({{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(1000)},
                   {Name("Words"), Text(0, "\\Twin"), EndOfTrack(INT32_MAX - 1000)}},
                  2);
    EXPECT_TRUE(ApplyRepair(longest, Repair::MakeFormat1));
    EXPECT_EQ(EventsOf(longest, 1).back().Record.Tick, INT32_MAX);
}

// The inputs fuzzing found (tests/data) are checked and each repair
// offered is made and checked again; the sanitizers of the asan build
// watch (syllables days apart had overflowed the pause between lines).
TEST(SongCheck, FuzzingFindsAreCheckedAndRepaired) {
    int songs = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(VERSELANE_SOURCE_DIR "/tests/data")) {
        if (entry.path().extension() != ".mid") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const Song song = LoadSong(entry.path());
        ++songs;
        for (const Finding& f : CheckSong(song, Utf8TestFor(song))) {
            Song repaired = song;
            if (ApplyRepair(repaired, f.Fix, PlayerFamily::SoftKaraoke)) {
                EXPECT_TRUE(WritesAndReadsBack(repaired)) << IdOf(f);
            }
        }
    }
    EXPECT_GT(songs, 0);
}

// Over the real songs of the corpus that hold words, at most one in ten has a
// finding at "shows wrong" or worse; the rest is advice. Every repair offered
// on a real song keeps its words and music, and mends what it can (a line of
// one 60-letter syllable, or words with no gap for a line end, stay as they
// are).
TEST(SongCheck, FewRealSongsShowWrongAndEveryRepairOfferedKeepsWordsAndMusic) {
    VERSELANE_REQUIRE_CORPUS();
    const auto has_words = [](const TrackMaterial& m) {
        return m.LyricEvents > 0 || m.TextEvents > 0;
    };
    int with_words = 0, findings = 0;
    std::string wrong;
    for (const auto& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        const Song song = LoadSong(path);
        const std::vector<Finding> found = CheckSong(song, Utf8TestFor(song));
        findings += static_cast<int>(found.size());
        if (std::ranges::any_of(MaterialOfTracks(song), has_words)) {
            ++with_words;
            const auto bad = FindingsFor(found, PlayerFamily::Both, Severity::ShowsWrong);
            if (!bad.empty()) wrong += path.filename().string() + ": " + Ids(bad) + "\n";
        }
        for (const Finding& f : found) {
            if (f.Fix == Repair::None || f.Fix == Repair::OneEncoding) continue;
            Song repaired = song;
            if (!ApplyRepair(repaired, f.Fix, PlayerFamily::SoftKaraoke)) {
                EXPECT_EQ(EncodeSong(repaired), EncodeSong(song)) << IdOf(f);
                continue;
            }
            // A repair of the gaps between words leaves the words' letters;
            // one that drops a stream leaves the other; any other, the words.
            if (f.Fix == Repair::JoinSplitWords || f.Fix == Repair::AddWordGaps) {
                EXPECT_EQ(Letters(WordsOf(repaired)[0]), Letters(WordsOf(song)[0])) << IdOf(f);
            } else if (f.Fix != Repair::DropDuplicate) {
                EXPECT_EQ(WordsOf(repaired), WordsOf(song)) << IdOf(f);
            }
            EXPECT_EQ(OtherEvents(repaired), OtherEvents(song)) << IdOf(f);
            EXPECT_LT(Count(CheckSong(repaired, Utf8TestFor(repaired)), IdOf(f)),
                      Count(found, IdOf(f)))
                << IdOf(f);
        }
    }
    EXPECT_GE(with_words, 30);
    EXPECT_LE(std::ranges::count(wrong, '\n') * 10, with_words) << wrong;
    EXPECT_GT(findings, 0);
}

}  // namespace
}  // namespace verselane
