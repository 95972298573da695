// The timing editor's core: the timed words of a song, every edit with its
// inverse on made songs in both streams, random edits undone and redone on
// real songs byte for byte, and tap snapping over the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cli/outcome_text.h"
#include "cli/retime_command.h"
#include "editing/timed_words.h"
#include "lyrics/converters.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "writer/midi_writer.h"

namespace verselane::editing {
namespace {

using namespace test;

// The share of syllables a corpus test finds back in place, in percent:
// measured, less a little, so that a change that loses them fails.
constexpr double kFloorLinesRealigned = 90.9;

Song Read(const std::string& bytes) {
    Song song;
    SongFacts facts;
    const ReadOutcome read = ReadSongBytes(song, facts, bytes);
    EXPECT_EQ(read.Result, ReadResult::Complete) << cli::ReadMessage(read);
    return song;
}

// Two lines on a melody of a note every 480 ticks (0 to 3360), the lyrics
// beside the notes in the melody's track.
using Lyrics = std::vector<std::pair<int32_t, std::string>>;
const Lyrics kTwoLines = {{0, "Hel"},    {480, "lo "},   {960, "world\r"},
                          {1920, "Sec"}, {2400, "ond "}, {2880, "line"}};
Song LyricSong(const Lyrics& lyrics = kTwoLines) {
    TrackEvents melody = {Name("Melody")};
    size_t next = 0;
    for (int32_t tick = 0; tick <= 3360; tick += 480) {
        while (next < lyrics.size() && lyrics[next].first == tick)
            melody.push_back(Lyric(tick, lyrics[next++].second));
        const auto key = static_cast<uint8_t>(60 + tick / 480);
        melody.insert(melody.end(),
                      {NoteOn(tick, key), Message(tick + 400, EventKind::NoteOff, 0, key)});
    }
    melody.push_back(EndOfTrack(3760));
    return Read(EncodeSong(BuildSong({{Tempo(0, 500000), EndOfTrack(0)}, melody})));
}

// A song with Soft Karaoke text made beside the lyric events of `track`.
Song WithKaraoke(Song song, int16_t track, const char* title = "", const char* language = "ENGL") {
    LyricsToKaraoke(song, track, {language, title, "", ""}, true);
    return Read(EncodeSong(song));
}

// The song with Soft Karaoke text beside its lyric events, the text's first
// syllable made "Jel" where the streams are to `differ`.
Song BothStreams(bool differ = false) {
    Song song = WithKaraoke(LyricSong(), 1, "Test");
    const TimedSyllable first = TimedWords(song, LineSource::Karaoke).Syllables()[0];
    if (differ) song.Tracks[first.Track].SetBody(first.Event, "\\Jel");
    return song;
}

// "¶Hel@0-lo@480 world@960/Sec@1920": ¶ a paragraph, / a line, a space a
// word, - a syllable inside a word.
// Without marks: "|Hel@0|lo@480|...", the texts and ticks alone.
std::string Show(const std::vector<TimedSyllable>& syllables, bool marks = true) {
    std::string out;
    for (const TimedSyllable& s : syllables) {
        out += !marks ? "|" : s.ParagraphStart ? "¶" : s.LineStart ? "/" : s.WordStart ? " " : "-";
        out += s.Text + "@" + std::to_string(s.Tick);
    }
    return out;
}

// The words of a song (of the stream given), or none where it has none to edit.
std::optional<TimedWords> Open(const Song& song, std::optional<LineSource> from = std::nullopt) {
    try {
        return TimedWords(song, from);
    } catch (const EditError&) {
        return std::nullopt;
    }
}

// Both streams of a song shown, lyric events first, "none" for one it lacks.
std::string ShowStreams(const Song& song) {
    const auto lyrics = Open(song, LineSource::Lyrics), karaoke = Open(song, LineSource::Karaoke);
    return (lyrics ? Show(lyrics->Syllables()) : "none") + " | " +
           (karaoke ? Show(karaoke->Syllables()) : "none");
}

// Every track in tick order: what the writer needs for right delta times.
void ExpectInOrder(const Song& song) {
    for (int16_t t = 0; t < song.TrackCount(); ++t)
        EXPECT_TRUE(std::ranges::is_sorted(song.Tracks[t], {}, &Event::Tick)) << "track " << t;
}

const std::string kStart = "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880";

// Each edit and the words after it, or why it cannot be made.
const std::vector<std::pair<Edit, std::string>> kEditRows = {
    // moves: to a tick, onto the next syllable's tick, to the previous and the next note, a
    // grid step back, several on and back
    {Edit::MoveTo(1, 720), "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::MoveTo(1, 960), "¶Hel@0-lo@960 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::MoveTo(1, 0), "¶Hel@0-lo@0 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::MoveToNote(3, -1), "¶Hel@0-lo@480 world@960/Sec@1440-ond@2400 line@2880"},
    {Edit::MoveToNote(5, 1), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@3360"},
    {Edit::Nudge(4, -120), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2280 line@2880"},
    {Edit::MoveSeveral({3, 4, 5}, 480), "¶Hel@0-lo@480 world@960/Sec@2400-ond@2880 line@3360"},
    {Edit::MoveSeveral({1, 2}, -240), "¶Hel@0-lo@240 world@720/Sec@1920-ond@2400 line@2880"},
    // split, merge (also over a line end), new text
    {Edit::Split(2, 3), "¶Hel@0-lo@480 wor@960-ld@960/Sec@1920-ond@2400 line@2880"},
    {Edit::MergeNext(0), "¶Hello@0 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::MergeNext(2), "¶Hel@0-lo@480 worldSec@960-ond@2400 line@2880"},
    {Edit::SetText(2, "earth"), "¶Hel@0-lo@480 earth@960/Sec@1920-ond@2400 line@2880"},
    // hold over the next note (pushing the one after), skip a note
    {Edit::Hold(0), "¶Hel@0-lo@960 world@1440/Sec@1920-ond@2400 line@2880"},
    {Edit::Hold(3), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2880 line@3360"},
    {Edit::SkipNote(2), "¶Hel@0-lo@480 world@1440/Sec@1920-ond@2400 line@2880"},
    // start a line and a paragraph, join a line
    {Edit::StartLine(1), "¶Hel@0/lo@480 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::StartParagraph(3), "¶Hel@0-lo@480 world@960¶Sec@1920-ond@2400 line@2880"},
    {Edit::JoinLine(3), "¶Hel@0-lo@480 world@960 Sec@1920-ond@2400 line@2880"},
    // delete the first, inside a word, a line's last, a line's first, the last
    {Edit::Delete(0), "¶lo@480 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::Delete(1), "¶Hel@0 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::Delete(2), "¶Hel@0-lo@480/Sec@1920-ond@2400 line@2880"},
    {Edit::Delete(3), "¶Hel@0-lo@480 world@960/ond@2400 line@2880"},
    {Edit::Delete(5), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400"},
    // insert before the first (which then opens no line), at a line's end (also on the
    // tick of the syllable behind), at the end, past the end of track
    {Edit::Insert(0, "Oh", 0), "¶Oh@0 Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880"},
    {Edit::Insert(3, "big", 1440), "¶Hel@0-lo@480 world@960 big@1440/Sec@1920-ond@2400 line@2880"},
    {Edit::Insert(3, "big", 1920), "¶Hel@0-lo@480 world@960 big@1920/Sec@1920-ond@2400 line@2880"},
    {Edit::Insert(6, "end", 3360), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880 end@3360"},
    {Edit::Insert(6, "far", 5000), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880 far@5000"},
    // drag alone, re-aligning its line, the line start back; realign two lines, and
    // lines with fewer notes left than syllables (the syllable after a pin inside
    // its word shares the pinned note rather than the last going on none)
    {Edit::Drag(4, 2500, true), "¶Hel@0-lo@480 world@960/Sec@1920-ond@2500 line@2880"},
    {Edit::Drag(5, 3360), "¶Hel@0-lo@480 world@960/Sec@1440-ond@1920 line@3360"},
    {Edit::Drag(3, 1440), "¶Hel@0-lo@480 world@960/Sec@1440-ond@1920 line@2400"},
    {Edit::Realign({{0, 480}, {3, 2400}}),
     "¶Hel@480-lo@960 world@1440/Sec@2400-ond@2880 line@3360"},
    {Edit::Realign({{3, 2880}}), "¶Hel@0-lo@480 world@960/Sec@2880-ond@3120 line@3360"},
    {Edit::Realign({{0, 0}, {3, 960}}), "¶Hel@0-lo@240 world@480/Sec@960-ond@1440 line@1920"},
    // a line's first syllable with no note left before its pin goes just before the
    // syllable after it, not onto the line before's last
    {Edit::Realign({{4, 1440}}), "¶Hel@0-lo@480 world@960/Sec@1200-ond@1440 line@1920"},
    // a pin past the line after, which is re-aligned later too
    {Edit::Realign({{2, 2000}, {4, 2880}}), "¶Hel@0-lo@480 world@2000/Sec@2400-ond@2880 line@3360"},
    // a pin at the time of the line before's last syllable (equal times are allowed)
    {Edit::Realign({{3, 960}}), "¶Hel@0-lo@480 world@960/Sec@960-ond@1440 line@1920"},
    // the same pin given twice is one
    {Edit::Realign({{3, 960}, {0, 0}, {3, 960}}),
     "¶Hel@0-lo@240 world@480/Sec@960-ond@1440 line@1920"},
    // refused, with (a part of) the reason said
    {Edit::MoveTo(1, 1000), "cannot pass the syllable after it"},
    {Edit::MoveTo(1, -5), "outside the song"},
    {Edit::MoveTo(9, 0), "there is no syllable 10 (the song has 6)"},
    {Edit::MoveToNote(0, -1), "no melody note before tick 0"},
    {Edit::MoveToNote(5, 3), "no melody note after tick 3360"},
    {Edit::MoveSeveral({1}, 600), "would go before the syllable ahead of it"},
    {Edit::Split(0, 0), "text on both sides"},
    {Edit::Split(0, 3), "text on both sides"},
    {Edit::MergeNext(5), "the last syllable has none after it"},
    {Edit::SetText(0, "a\rb"), "line end"},
    {Edit::SetText(0, " a"), "without line ends or spaces around it"},
    {Edit::SetText(0, ""), "something to sing"},
    {Edit::StartLine(0), "always starts a line"},
    {Edit::Insert(3, "x", 100), "before the syllable ahead of it"},
    {Edit::Insert(7, "x", 100), "no syllable 8 to insert before"},
    {Edit::Realign({{1, 900}, {2, 500}}), "pins go back in time"},
    {Edit::Realign({{1, 900}, {1, 950}}), "syllable 2 is pinned twice"},
    {Edit::Realign({{4, 500}}), "goes past the line before it"},
    {Edit::Realign({{1, 2000}}), "goes past the line after it"},
    {Edit::Realign({}), "no pins"},
    {Edit::Drag(3, 3000, true), "cannot pass the syllable after it"},
};

class EditTable : public ::testing::TestWithParam<bool> {};

// Every edit in a song with lyric events alone, and in one with karaoke text
// beside them (which the words box shows, the lyrics following): the words
// come out as expected in each stream, undo gives the song back byte for
// byte, redo the edited song. An edit that cannot be made says why and
// leaves the song as it was.
TEST_P(EditTable, EditsUndoAndRedoOrAreRefusedWithTheirReason) {
    const bool both = GetParam();
    const Song start_song = both ? BothStreams() : LyricSong();
    const std::string start = EncodeSong(start_song);
    for (const auto& [change, expected] : kEditRows) {
        SCOPED_TRACE(expected);
        TimedWords words(start_song);
        ASSERT_EQ(words.Other(), both ? OtherStream::Follows : OtherStream::None);
        Edit undo;
        try {
            undo = words.Apply(change);
        } catch (const EditError& e) {
            const std::string said = cli::EditFaultMessage(e.Fault());
            EXPECT_NE(said.find(expected), std::string::npos) << said;
            EXPECT_EQ(EncodeSong(words.EditedSong()), start);
            EXPECT_EQ(Show(words.Syllables()), kStart);
            continue;
        }
        ExpectInOrder(words.EditedSong());
        EXPECT_EQ(Show(words.Syllables()), expected);
        // The lyric events, and the karaoke text which the words box shows.
        EXPECT_EQ(ShowStreams(words.EditedSong()), expected + " | " + (both ? expected : "none"));
        const std::string edited = EncodeSong(words.EditedSong());
        const Edit redo = words.Apply(undo);
        EXPECT_EQ(EncodeSong(words.EditedSong()), start);
        words.Apply(redo);
        EXPECT_EQ(EncodeSong(words.EditedSong()), edited);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, EditTable, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Both" : "LyricsAlone"; });

// Karaoke text with other words than the lyric events is left alone, and
// the words say so.
TEST(Editing, DifferentWordsInTheOtherStreamStayAlone) {
    TimedWords words(BothStreams(true));
    ASSERT_EQ(words.Source(), LineSource::Karaoke);
    EXPECT_EQ(words.Other(), OtherStream::Different);
    words.Apply(Edit::MoveTo(1, 600));
    EXPECT_EQ(Show(TimedWords(words.EditedSong(), LineSource::Lyrics).Syllables()), kStart);
    EXPECT_EQ(Show(words.Syllables()), "¶Jel@0-lo@600 world@960/Sec@1920-ond@2400 line@2880");
}

// Opening a song finds its melody, lines, notes and doubts, and weighs each
// syllable as the aligner weighs a lyric sheet's: the language from the
// song's "@L" line or guessed, phrases after punctuation, held vowels, stress
// (of words in a code page too), and the syllables a word written whole is
// sung with in a song that splits none.
TEST(Editing, OpeningFindsWordsNotesDoubtsAndWeighsTheSyllablesAsTheAlignerDoes) {
    TimedWords plain(LyricSong());
    EXPECT_EQ(std::tuple(plain.Melody().size(), plain.MelodyTrack(), plain.LineOf(4),
                         plain.Syllables()[4].Note, plain.Seconds(960), plain.Language()),
              std::tuple(size_t{8}, 1, std::pair<size_t, size_t>{3, 6}, 5, 1.0, "en"));
    for (const DoubtMark& d : plain.Doubts()) EXPECT_NE(d.Reason, align::Doubt::OffNote);
    plain.Apply(Edit::Nudge(4, 100));
    TimedWords moved(plain.EditedSong());
    EXPECT_EQ(moved.Syllables()[4].Note, -1);
    ASSERT_TRUE(std::ranges::any_of(moved.Doubts(), [](const DoubtMark& d) {
        return d.Syllable == 4 && d.Reason == align::Doubt::OffNote;
    }));
    EXPECT_GT(*moved.NextDoubt(3), 3u);
    EXPECT_EQ(moved.NextDoubt(moved.Doubts().back().Syllable), moved.Doubts().front().Syllable);

    // A line feed, or an empty line (two line ends), starts a paragraph.
    for (const char* end : {"world\n", "world\r\r"}) {
        Lyrics gap = kTwoLines;
        gap[2].second = end;
        EXPECT_EQ(Show(TimedWords(LyricSong(gap)).Syllables()),
                  "¶Hel@0-lo@480 world@960¶Sec@1920-ond@2400 line@2880");
    }

    EXPECT_FALSE(Open(Read(EncodeSong(BuildSong({{Name("x"), EndOfTrack(0)}})))));  // no words

    // The language of a song's words, then per syllable: P a phrase's start,
    // D drawn, S stressed, then the count of syllables it is sung with beyond
    // the one written.
    auto shapes = [](const Song& song) {
        const TimedWords words(song);
        std::string out = words.Language() + ": ";
        for (const align::SyllableShape& y : words.ShapesOf(words.Syllables()))
            out += std::string(y.PhraseStart ? "P" : "") + (y.Drawn ? "D" : "") +
                   (y.Stressed ? "S" : "") + std::to_string(y.SungMore) + " ";
        return out;
    };
    EXPECT_EQ(shapes(LyricSong({{0, "Oh, "}, {480, "sooo "}, {960, "after "}, {1920, "all"}})),
              "en: 0 PD0 1 0 ");
    // "mú-si-ca" in Windows-1252, in a song whose "@L" line says Spanish:
    // the accent moves the stress to its first syllable.
    EXPECT_EQ(shapes(WithKaraoke(
                  LyricSong({{0, "m\xfa"}, {480, "si"}, {960, "ca "}, {1920, "cu"}, {2400, "na"}}),
                  1, "", "SPAN")),
              "es: S0 0 0 S0 0 ");
}

// Saving: lyric events alone made into Soft Karaoke text as the conversion
// makes it, the edit kept; a song with both (following or not) written with
// the one asked for, or both; karaoke text alone with lyric events made
// beside it, or instead of it. The streams a song holds are written as edited.
TEST(Editing, SavesTheStreamsAsked) {
    const std::string moved = "¶Hel@0-lo@720 world@960/Sec@1920-ond@2400 line@2880";
    // Each song, the streams it holds, and the karaoke text saved beside the
    // edited lyric events. The words are edited in the lyric events where the
    // song has them.
    const std::tuple<Song, SaveAs, std::string> songs[] = {
        {LyricSong(), SaveAs::Lyrics, moved},
        {TimedWords(LyricSong()).SongToWrite(SaveAs::Karaoke), SaveAs::Karaoke, moved},
        {BothStreams(), SaveAs::Both, moved},
        {BothStreams(true), SaveAs::Both, "¶Jel@0-lo@480 world@960/Sec@1920-ond@2400 line@2880"},
    };
    for (const auto& [song, holds, karaoke] : songs) {
        SCOPED_TRACE(ShowStreams(song));
        TimedWords words(song, holds == SaveAs::Karaoke ? LineSource::Karaoke : LineSource::Lyrics);
        words.Apply(Edit::MoveTo(1, 720));
        EXPECT_EQ(ShowStreams(words.SongToWrite(SaveAs::Lyrics)), moved + " | none");
        EXPECT_EQ(ShowStreams(words.SongToWrite(SaveAs::Karaoke)), "none | " + karaoke);
        EXPECT_EQ(ShowStreams(words.SongToWrite(SaveAs::Both)), moved + " | " + karaoke);
        EXPECT_EQ(EncodeSong(words.SongToWrite(holds)), EncodeSong(words.EditedSong()));
    }
}

// The edits the random walk draws from, for syllable i of n.
Edit RandomEdit(std::mt19937& random, const TimedWords& words) {
    const size_t n = words.Count();
    auto pick = [&](size_t bound) {
        return std::uniform_int_distribution<size_t>(0, bound - 1)(random);
    };
    const size_t i = pick(n);
    const TimedSyllable& s = words.Syllables()[i];
    const int32_t low = i > 0 ? words.Syllables()[i - 1].Tick : 0;
    const int32_t high = i + 1 < n ? words.Syllables()[i + 1].Tick : s.Tick + 960;
    auto between = [&] {
        return std::uniform_int_distribution<int32_t>(low, std::max(low, high))(random);
    };
    const std::vector<size_t> two = i + 1 < n ? std::vector<size_t>{i, i + 1} : std::vector{i};
    const std::function<Edit()> edits[] = {
        [&] { return Edit::MoveTo(i, between()); },
        [&] { return Edit::MoveToNote(i, pick(2) ? 1 : -1); },
        [&] { return Edit::Nudge(i, pick(2) ? 60 : -60); },
        [&] { return Edit::MoveSeveral(two, pick(2) ? 30 : -30); },
        [&] { return Edit::Split(i, s.Text.size() > 1 ? 1 + pick(s.Text.size() - 1) : 1); },
        [&] { return Edit::MergeNext(i); },
        [&] { return Edit::SetText(i, s.Text + "a"); },
        [&] { return Edit::Hold(i); },
        [&] { return Edit::SkipNote(i); },
        [&] { return Edit::StartLine(i); },
        [&] { return Edit::StartParagraph(i); },
        [&] { return Edit::JoinLine(i); },
        [&] { return Edit::Delete(i); },
        [&] { return Edit::Insert(i, "ins", between()); },
        [&] { return Edit::Drag(i, between(), pick(2) == 0); },
        [&] { return Edit::Drag(words.LineOf(i).first, between()); },
    };
    return edits[pick(std::size(edits))]();
}

// 10,000 random edits over real songs, each undone in turn (the song comes
// back byte for byte) and redone (the edited song again). The other stream,
// where it follows, keeps the same words throughout.
TEST(EditingCorpus, TenThousandEditsUndoneAndRedone) {
    VERSELANE_REQUIRE_CORPUS();
    const std::vector<std::filesystem::path> files = CorpusFiles();
    std::mt19937 random(20261207);
    size_t applied = 0, refused = 0, songs = 0, following = 0;
    const size_t kEdits = 10000, kPerSong = 250;
    // The second pass gives the songs with lyric events alone Soft Karaoke
    // text beside them, so that the other stream follows every edit.
    for (size_t n = 0; n < 2 * files.size() && applied < kEdits; ++n) {
        const auto& file = files[n % files.size()];
        Song song = LoadSong(file);
        const bool second_pass = n >= files.size();
        const int16_t track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        if (second_pass && (PreferredLineSource(song) != LineSource::Lyrics || track < 0)) continue;
        if (second_pass) song = WithKaraoke(song, track);
        std::optional<TimedWords> opened = Open(song);
        if (!opened || opened->Count() < 8) continue;
        TimedWords& words = *opened;
        ++songs;
        if (words.Other() == OtherStream::Follows) ++following;
        const std::string start = EncodeSong(words.EditedSong());
        std::vector<Edit> undo;
        while (undo.size() < kPerSong && applied < kEdits) {
            try {
                undo.push_back(words.Apply(RandomEdit(random, words)));
                ++applied;
            } catch (const EditError&) {
                ++refused;
            }
        }
        ExpectInOrder(words.EditedSong());
        if (words.Other() == OtherStream::Follows) {
            const LineSource other =
                words.Source() == LineSource::Lyrics ? LineSource::Karaoke : LineSource::Lyrics;
            EXPECT_EQ(Show(words.Syllables(), false),
                      Show(TimedWords(words.EditedSong(), other).Syllables(), false))
                << file;
        }
        const std::string end = EncodeSong(words.EditedSong());
        std::vector<Edit> redo;
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) redo.push_back(words.Apply(*it));
        ASSERT_EQ(EncodeSong(words.EditedSong()), start) << file;
        for (auto it = redo.rbegin(); it != redo.rend(); ++it) words.Apply(*it);
        ASSERT_EQ(EncodeSong(words.EditedSong()), end) << file;
    }
    std::cout << "edits applied " << applied << ", refused " << refused << ", songs " << songs
              << " (" << following << " with both streams)\n";
    EXPECT_EQ(applied, kEdits);
    EXPECT_GE(following, 5u);  // the other stream's check ran (9 songs when written)
}

// Simulated taps ±60 ms around each syllable that starts on a melody note,
// heard 80 ms late, at full, three-quarter and half speed: the share that
// lands on the intended note. Every line's start tapped where the song has
// it: the lines re-aligned around those pins put the rest of their syllables
// back where the song has them, as the aligner does for a lyric sheet (songs
// with 95 % of their syllables on melody notes, syllables right within a
// 32nd note).
TEST(EditingCorpus, TapsSnapToTheirNotesAndLinesRealignFromTheirStarts) {
    VERSELANE_REQUIRE_CORPUS();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.060, 0.060);
    const double latency = 0.080;
    // Each speed, the share of taps on their note it must reach, and its hits.
    std::tuple<double, double, size_t> speeds[] = {{1.0, 95.0, 0}, {0.75, 95.0, 0}, {0.5, 99.0, 0}};
    size_t taps = 0, free = 0, right = 0;
    for (const auto& file : CorpusFiles()) {
        std::optional<TimedWords> words = Open(LoadSong(file));
        if (!words) continue;
        const TapSnapper snapper(*words);
        const std::vector<TimedSyllable> was = words->Syllables();
        const size_t taps_before = taps;
        for (const TimedSyllable& s : was) {
            if (s.Note < 0) continue;
            ++taps;
            for (auto& [speed, floor, hits] : speeds) {
                const double tap = words->Seconds(s.Tick) / speed + latency + jitter(random);
                hits += snapper.Snap(tap, speed, latency) == s.Tick;
            }
        }
        if ((taps - taps_before) * 20 < was.size() * 19) continue;  // not 95 % on notes
        std::vector<std::pair<size_t, int32_t>> pins;
        for (size_t i = 0; i < was.size(); ++i)
            if (was[i].LineStart) pins.emplace_back(i, was[i].Tick);
        words->Apply(Edit::Realign(pins));
        const int32_t tolerance = std::max(1, TicksPerBeat(words->EditedSong().Division) / 8);
        free += was.size() - pins.size();
        for (size_t i = 0; i < was.size(); ++i)
            right += !was[i].LineStart &&
                     std::abs(words->Syllables()[i].Tick - was[i].Tick) <= tolerance;
    }
    ASSERT_GT(taps, 1000u);
    for (const auto& [speed, floor, hits] : speeds) {
        const double share = 100.0 * static_cast<double>(hits) / static_cast<double>(taps);
        std::cout << "speed " << speed << ": " << hits << " of " << taps << " taps on their note ("
                  << share << " %)\n";
        EXPECT_GE(share, floor);
    }
    ASSERT_GT(free, 3000u);
    const double share = 100.0 * static_cast<double>(right) / static_cast<double>(free);
    std::cout << right << " of " << free << " syllables back in place (" << share << " %)\n";
    EXPECT_GE(share, kFloorLinesRealigned);
}

// Line starts tapped, the rest aligned around them.
TEST(Editing, LineStartTapsPinTheLines) {
    TimedWords words(LyricSong());
    const TapSnapper snapper(words);
    EXPECT_EQ(snapper.Snap(1.0 / 0.5 + 0.1, 0.5, 0.1), 960);
    EXPECT_EQ(snapper.Snap(0.52, 1.0, 0.0), 480);
    EXPECT_EQ(snapper.Snap(0.80, 1.0, 0.0, 0.1), std::nullopt);
    EXPECT_EQ(LineStartTaps(words, snapper, {0.51}, 1.0, 0.0).Pins.size(), 1u);  // one line tapped
    words.Apply(LineStartTaps(words, snapper, {0.51, 2.49}, 1.0, 0.0));
    EXPECT_EQ(Show(words.Syllables()), "¶Hel@480-lo@960 world@1440/Sec@2400-ond@2880 line@3360");
}

}  // namespace
}  // namespace verselane::editing
