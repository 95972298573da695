#include "check/song_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"

namespace verselane {

namespace {

bool IsMeta(const MidiEvent& e, uint8_t type) {
    return e.Kind == kKindMeta && e.Channel == type;
}

bool IsMark(char c) {
    return c == '\\' || c == '/';
}

// An information line: "@" at the start, behind a mark or not.
bool IsTag(std::string_view text) {
    if (!text.empty() && IsMark(text[0])) text.remove_prefix(1);
    return !text.empty() && text[0] == '@';
}

bool IsKaraokeHeader(const MidiEvent& e) {
    return IsMeta(e, kMetaText) && e.Data.view().substr(0, 2) == "@K";
}

// Characters as a screen counts them: code points of UTF-8, else bytes.
int32_t ScreenWidth(std::string_view text) {
    if (!IsValidUtf8(text)) return static_cast<int32_t>(text.size());
    return static_cast<int32_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A character a screen shows: not a space, a control character or DEL.
bool IsVisible(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7F;
}

bool HasVisible(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsVisible);
}

// Whether a NUL byte comes before something a screen would show: players that
// end a text at its first NUL then lose those characters. NULs that only pad
// the end hide nothing.
bool HidesBehindNul(std::string_view text) {
    const size_t nul = text.find('\0');
    return nul != std::string_view::npos && HasVisible(text.substr(nul));
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos ||
           (!text.empty() && IsMark(text[0]));
}

bool IsSpace(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

// A lyric holding only line ends (and spaces).
bool IsLineEndOnly(std::string_view text) {
    bool end = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            end = true;
        } else if (c != ' ') {
            return false;
        }
    }
    return end;
}

// The words joined by a stream: marks and line ends are gaps, NUL is nothing.
std::vector<std::string> WordsOf(const std::vector<std::string_view>& syllables) {
    std::vector<std::string> words;
    std::string word;
    auto gap = [&] {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
    };
    for (std::string_view s : syllables) {
        if (!s.empty() && IsMark(s[0])) {
            gap();
            s.remove_prefix(1);
        }
        for (char c : s) {
            if (c == '\0') continue;
            if (IsSpace(c)) {
                gap();
            } else {
                word += c;
            }
        }
    }
    gap();
    return words;
}

// The name a track gives itself: its last track-name event (the song's
// TrackName array is not kept up to date by every edit).
std::string_view NameOfTrack(const MidiFile& Song, int16_t t) {
    for (int32_t i = Song.Count(t) - 1; i >= 0; --i) {
        const MidiEvent& e = Song.Track(t).Event(i);
        if (IsMeta(e, kMetaTrackName)) return e.Data;
    }
    return {};
}

// One line of karaoke text: its syllables (event indices) and its text.
struct KaraokeLine {
    std::vector<int32_t> Events;
    std::string Text;
    bool NewParagraph = false;
};

// What the check knows of the song's words.
struct Survey {
    int16_t Tracks = 0;
    bool SoftKaraoke = false;  // a "@K" line or marked text events
    int16_t HeaderTrack = -1;  // the track of the first "@K" line
    int32_t HeaderEvent = -1;
    int16_t KaraokeTrack = -1;              // the track holding the most karaoke syllables
    int16_t LyricTrack = -1;                // the track holding the most sung lyrics
    std::vector<int32_t> KaraokeSyllables;  // event indices in KaraokeTrack
    std::vector<int32_t> LyricSyllables;    // event indices in LyricTrack (tags left out)
    int32_t KaraokeTracks = 0;              // tracks holding marked text events
    int32_t LyricTracks = 0;                // tracks holding sung lyrics
};

Survey SurveySong(const MidiFile& Song) {
    Survey s;
    s.Tracks = RealTrackCount(Song);
    int32_t most_karaoke = 0, most_lyrics = 0;
    for (int16_t t = 0; t < s.Tracks; ++t) {
        int32_t karaoke = 0, marked = 0, lyrics = 0;
        for (int32_t i = 0; i < Song.Count(t); ++i) {
            const MidiEvent& e = Song.Track(t).Event(i);
            if (IsMeta(e, kMetaText)) {
                std::string_view text = e.Data;
                if (IsKaraokeHeader(e) && s.HeaderTrack < 0) {
                    s.HeaderTrack = t;
                    s.HeaderEvent = i;
                }
                if (!IsTag(text)) ++karaoke;
                if (!text.empty() && IsMark(text[0])) ++marked;
            } else if (IsMeta(e, kMetaLyric) && !IsTag(e.Data)) {
                ++lyrics;
            }
        }
        // Text events count as karaoke text by the same rule as the
        // conversions' track list: marked lines, or an "@K" song (below).
        const bool marked_lines = marked > 0 && HasMarkedLines(Song, t);
        if (marked_lines) ++s.KaraokeTracks;
        if (lyrics > 0) ++s.LyricTracks;
        if (marked_lines && karaoke > most_karaoke) {
            most_karaoke = karaoke;
            s.KaraokeTrack = t;
        }
        if (lyrics > most_lyrics) {
            most_lyrics = lyrics;
            s.LyricTrack = t;
        }
    }
    s.SoftKaraoke = s.HeaderTrack >= 0 || s.KaraokeTrack >= 0;
    // A karaoke song with no marks at all: its words are the unmarked text
    // events of the track holding most of them.
    if (s.HeaderTrack >= 0 && s.KaraokeTrack < 0) {
        for (int16_t t = 0; t < s.Tracks; ++t) {
            int32_t karaoke = 0;
            for (int32_t i = 0; i < Song.Count(t); ++i) {
                const MidiEvent& e = Song.Track(t).Event(i);
                if (IsMeta(e, kMetaText) && !IsTag(e.Data)) ++karaoke;
            }
            if (karaoke > most_karaoke) {
                most_karaoke = karaoke;
                s.KaraokeTrack = t;
            }
        }
    }
    if (s.KaraokeTrack >= 0) {
        for (int32_t i = 0; i < Song.Count(s.KaraokeTrack); ++i) {
            const MidiEvent& e = Song.Track(s.KaraokeTrack).Event(i);
            if (IsMeta(e, kMetaText) && !IsTag(e.Data)) s.KaraokeSyllables.push_back(i);
        }
    }
    if (s.LyricTrack >= 0) {
        for (int32_t i = 0; i < Song.Count(s.LyricTrack); ++i) {
            const MidiEvent& e = Song.Track(s.LyricTrack).Event(i);
            if (IsMeta(e, kMetaLyric) && !IsTag(e.Data)) s.LyricSyllables.push_back(i);
        }
    }
    return s;
}

std::vector<KaraokeLine> KaraokeLines(const MidiFile& Song, const Survey& s) {
    std::vector<KaraokeLine> lines;
    for (int32_t i : s.KaraokeSyllables) {
        std::string_view text = Song.Track(s.KaraokeTrack).Event(i).Data;
        const bool mark = !text.empty() && IsMark(text[0]);
        if (mark || lines.empty()) {
            lines.emplace_back();
            lines.back().NewParagraph = lines.size() == 1 || text[0] == '\\';
        }
        if (mark) text.remove_prefix(1);
        lines.back().Events.push_back(i);
        lines.back().Text += text;
    }
    return lines;
}

std::vector<std::string_view> TextsOf(const MidiFile& Song, int16_t t,
                                      const std::vector<int32_t>& events) {
    std::vector<std::string_view> texts;
    for (int32_t i : events) texts.push_back(Song.Track(t).Event(i).Data.view());
    return texts;
}

// Whether two word lists are mostly the same words.
// Compared without case and punctuation: karaoke files often write the words
// in capitals, and the two streams punctuate differently.
bool SameWords(std::vector<std::string> a, std::vector<std::string> b) {
    for (auto* list : {&a, &b}) {
        for (std::string& word : *list) {
            std::erase_if(word, [](char c) { return c > 0 && !std::isalnum(c); });
            for (char& c : word) {
                if (c > 0) c = static_cast<char>(std::tolower(c));
            }
        }
    }
    if (a.empty() || b.empty()) return false;
    if (a.size() > b.size()) std::swap(a, b);
    if (a.size() * 2 < b.size()) return false;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> common;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(common));
    return common.size() * 5 >= a.size() * 4;
}

bool IsDuplicate(const MidiFile& Song, const Survey& s) {
    if (s.KaraokeSyllables.empty() || s.LyricSyllables.empty()) return false;
    return SameWords(WordsOf(TextsOf(Song, s.KaraokeTrack, s.KaraokeSyllables)),
                     WordsOf(TextsOf(Song, s.LyricTrack, s.LyricSyllables)));
}

std::string WithoutLineEnds(std::string_view text) {
    std::string stripped;
    for (char c : text) {
        if (c != '\r' && c != '\n') stripped += c;
    }
    return stripped;
}

// Lyrics that put a space behind every syllable and two behind every word:
// nearly every sung syllable ends in a space, and at least one in ten in two.
bool HasSplitWords(const std::vector<std::string_view>& texts) {
    int32_t sung = 0, spaced = 0, doubled = 0;
    for (std::string_view text : texts) {
        const std::string stripped = WithoutLineEnds(text);
        if (TrimSpaces(stripped).empty()) continue;
        ++sung;
        if (stripped.back() == ' ') ++spaced;
        if (stripped.ends_with("  ")) ++doubled;
    }
    return sung >= 8 && spaced * 20 >= sung * 19 && doubled * 10 >= sung;
}

bool NeedsLineEnds(const MidiFile& Song, const Survey& s) {
    if (s.LyricSyllables.size() < 2) return false;
    for (int32_t i : s.LyricSyllables) {
        if (HasLineEnd(Song.Track(s.LyricTrack).Event(i).Data)) return false;
    }
    return true;
}

// Where a word starts at syllable k of `texts` (not the first): its own text
// opens with a space, or the one before ends with one.
bool WordStartsAt(const std::vector<std::string_view>& texts, size_t k) {
    std::string_view own = texts[k];
    if (!own.empty() && IsMark(own[0])) own.remove_prefix(1);
    const std::string_view before = texts[k - 1];
    return (!own.empty() && IsSpace(own[0])) || (!before.empty() && IsSpace(before.back()));
}

// The events of a track as a list, and the list back into the track.
std::vector<MidiEvent> TakeEvents(const MidiFile& Song, int16_t t) {
    std::vector<MidiEvent> events;
    events.reserve(static_cast<size_t>(Song.Count(t)));
    for (int32_t i = 0; i < Song.Count(t); ++i) events.push_back(Song.Track(t).Event(i));
    return events;
}

void PutEvents(MidiFile& Song, int16_t t, const std::vector<MidiEvent>& events) {
    const int32_t n = static_cast<int32_t>(events.size());
    if (n - 1 > Song.EventSlots) ResizeEvents(Song, n - 1, false);
    Song.Track(t).Redim(Song.EventSlots, true);
    for (int32_t i = 0; i < n; ++i) Song.Track(t).Event(i) = events[static_cast<size_t>(i)];
    Song.Count(t) = n;
}

// A new track at `at`; the tracks from `at` on move up by one.
void InsertTrack(MidiFile& Song, int16_t at, const std::vector<MidiEvent>& events,
                 const std::string& name) {
    const int16_t real = RealTrackCount(Song);
    ResizeTracks(Song, Song.TrackSlots + 1, false);
    // The first slot behind the real tracks, now free, is rotated down to `at`.
    auto rotate = [&](auto& array) {
        std::rotate(array.begin() + at, array.begin() + real, array.begin() + real + 1);
    };
    rotate(Song.Tracks);
    rotate(Song.EventCount);
    rotate(Song.TrackName);
    rotate(Song.InstrumentName);
    Song.Header.NumTracks = static_cast<int16_t>(real + 1);
    Song.TrackName[at] = name;
    Song.InstrumentName[at].clear();
    PutEvents(Song, at, events);
}

int32_t LastTime(const MidiFile& Song, int16_t t) {
    int32_t last = 0;
    for (int32_t i = 0; i < Song.Count(t); ++i) last = std::max(last, Song.Track(t).Event(i).Time);
    return last;
}

// A pause in the singing: three times the usual step from syllable to
// syllable, and at least a beat.
int32_t PauseOf(const MidiFile& Song, int16_t t, const std::vector<int32_t>& syllables) {
    // Syllables at one time (a run of padding, a line end beside its word)
    // say nothing of the singing's pace.
    std::vector<int32_t> gaps;
    for (size_t k = 1; k < syllables.size(); ++k) {
        const int32_t gap =
            Song.Track(t).Event(syllables[k]).Time - Song.Track(t).Event(syllables[k - 1]).Time;
        if (gap > 0) gaps.push_back(gap);
    }
    if (gaps.empty()) return Song.Header.Division;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return std::max<int32_t>(gaps[gaps.size() / 2] * 3, Song.Header.Division);
}

class Checker {
  public:
    explicit Checker(const MidiFile& song) : song_(song), s_(SurveySong(song)) {}

    std::vector<Finding> Run() {
        SoftKaraokeChecks();
        LyricChecks();
        BothChecks();
        return std::move(findings_);
    }

  private:
    void Add(std::string id, std::string text, Severity level, PlayerFamily family,
             int32_t track = -1, int32_t event = -1, Repair fix = Repair::None) {
        Finding f{std::move(id), std::move(text), level, family, track, event, -1, fix};
        if (track >= 0 && event >= 0) f.Time = song_.Track(track).Event(event).Time;
        findings_.push_back(std::move(f));
    }

    void SoftKaraokeChecks() {
        const auto sk = PlayerFamily::SoftKaraoke;
        if (!s_.SoftKaraoke) {
            if (!s_.LyricSyllables.empty()) {
                Add("sk-lyrics-only",
                    "The words are lyric events only; players that read only Soft Karaoke text "
                    "show none (to-karaoke adds it).",
                    Severity::Advice, sk);
            }
            return;
        }
        if (song_.Header.Format != 1) {
            Add("sk-format",
                "The song is format " + std::to_string(song_.Header.Format) +
                    "; Soft Karaoke players read format 1 only.",
                Severity::WillNotShow, sk, -1, -1, Repair::MakeFormat1);
        }
        if (s_.HeaderTrack < 0) {
            Add("sk-no-at-k", "No \"@K\" line marks the song as Soft Karaoke.",
                Severity::WillNotShow, sk, -1, -1, Repair::MoveKaraokeHeader);
        } else if (s_.HeaderTrack >= 2) {
            Add("sk-late-at-k",
                "The \"@K\" line lies in track " + std::to_string(s_.HeaderTrack) +
                    "; players look for it in the first two tracks only.",
                Severity::WillNotShow, sk, s_.HeaderTrack, s_.HeaderEvent,
                Repair::MoveKaraokeHeader);
        }
        if (s_.KaraokeSyllables.empty()) {
            Add("sk-empty-header", "A \"@K\" line but no karaoke text behind it.",
                Severity::WillNotShow, sk, s_.HeaderTrack, s_.HeaderEvent);
            return;
        }
        const int16_t kt = s_.KaraokeTrack;
        if (NameOfTrack(song_, kt) != "Words") {
            Add("sk-no-words-track",
                "The karaoke text lies in track " + std::to_string(kt) +
                    ", which is not named \"Words\".",
                Severity::Advice, sk, kt, -1, Repair::NameWordsTrack);
        }
        for (int32_t i : s_.KaraokeSyllables) {
            std::string_view text = song_.Track(kt).Event(i).Data;
            if (!text.empty() && IsMark(text[0])) text.remove_prefix(1);
            if (text.find_first_of("\\/") != std::string_view::npos) {
                Add("sk-mark-inside",
                    "A \"\\\" or \"/\" inside a text event is shown as a character, not a "
                    "break.",
                    Severity::Advice, sk, kt, i);
            }
        }
        const std::vector<KaraokeLine> lines = KaraokeLines(song_, s_);
        size_t paragraph = 0;
        for (size_t l = 0; l <= lines.size(); ++l) {
            if (l == lines.size() || lines[l].NewParagraph) {
                if (l - paragraph > static_cast<size_t>(kScreenLines)) {
                    Add("sk-long-paragraph",
                        "A paragraph of " + std::to_string(l - paragraph) +
                            " lines; the screen shows " + std::to_string(kScreenLines) + ".",
                        Severity::Advice, sk, kt, lines[paragraph].Events.front());
                }
                paragraph = l;
            }
            if (l == lines.size()) break;
            const int32_t width = ScreenWidth(TrimSpaces(lines[l].Text));
            if (width > kScreenColumns) {
                // Players wrap or scale a long line; only one that would not
                // fit even wrapped over a whole screen is shown wrong.
                const bool unshowable = width > kScreenColumns * kScreenLines;
                Add("sk-long-line",
                    "A line of " + std::to_string(width) + " characters; the screen shows " +
                        std::to_string(kScreenColumns) + ".",
                    unshowable ? Severity::ShowsWrong : Severity::Advice, sk, kt,
                    lines[l].Events.front(), Repair::SplitLongLines);
            }
        }
    }

    void LyricChecks() {
        const auto ly = PlayerFamily::LyricReaders;
        if (s_.LyricSyllables.empty()) {
            if (!s_.KaraokeSyllables.empty()) {
                Add("ly-karaoke-only",
                    "The words are Soft Karaoke text only; keyboards and players that read "
                    "lyric events show none (to-lyrics adds them).",
                    Severity::Advice, ly);
            }
        } else {
            LyricStreamChecks();
        }
        // NUL bytes in lyrics trouble lyric readers; in karaoke text, every player.
        int32_t nul = 0, first_t = -1, first_i = -1;
        bool in_text = false, hides = false;
        for (int16_t t = 0; t < s_.Tracks; ++t) {
            for (int32_t i = 0; i < song_.Count(t); ++i) {
                const MidiEvent& e = song_.Track(t).Event(i);
                if (!IsMeta(e, kMetaText) && !IsMeta(e, kMetaLyric)) continue;
                if (e.Data.view().find('\0') == std::string_view::npos) continue;
                in_text = in_text || IsMeta(e, kMetaText);
                hides = hides || HidesBehindNul(e.Data);
                if (nul++ == 0) first_t = t, first_i = i;
            }
        }
        if (nul > 0) {
            Add("ly-nul",
                std::to_string(nul) +
                    " word text(s) hold NUL bytes, which end the text for "
                    "many players.",
                hides ? Severity::ShowsWrong : Severity::Advice, in_text ? PlayerFamily::Both : ly,
                first_t, first_i, Repair::RemoveNul);
        }
    }

    void LyricStreamChecks() {
        const auto ly = PlayerFamily::LyricReaders;
        const int16_t lt = s_.LyricTrack;
        const std::vector<std::string_view> texts = TextsOf(song_, lt, s_.LyricSyllables);
        int32_t sung = 0, gaps = 0, letters = 0, bytes = 0;
        for (std::string_view text : texts) {
            const std::string stripped = WithoutLineEnds(text);
            if (stripped.find(' ') != std::string::npos) ++gaps;
            if (TrimSpaces(stripped).empty()) continue;
            ++sung;
            for (char c : stripped) {
                ++bytes;
                if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) ++letters;
            }
        }
        if (HasSplitWords(texts)) {
            Add("ly-split-words",
                "Every syllable ends in a space, so lyric readers split the words "
                "(\"Twin kle\").",
                Severity::ShowsWrong, ly, lt, s_.LyricSyllables.front(), Repair::JoinSplitWords);
        }
        if (sung >= 8 && gaps == 0 && letters * 2 >= bytes) {
            Add("ly-merged-words",
                "No lyric holds a space, so lyric readers run the words together.",
                Severity::ShowsWrong, ly, lt, s_.LyricSyllables.front());
        }
        if (NeedsLineEnds(song_, s_)) {
            Add("ly-no-line-ends",
                "No lyric ends a line, so lyric readers show the song as one endless line.",
                Severity::Advice, ly, lt, s_.LyricSyllables.front(), Repair::AddLineEnds);
        }
        // A line end in its own event that comes after the syllable opening the
        // next line: that syllable followed a pause, and the line end follows it
        // closely.
        const int32_t pause = PauseOf(song_, lt, s_.LyricSyllables);
        for (size_t k = 2; k < s_.LyricSyllables.size(); ++k) {
            if (!IsLineEndOnly(texts[k]) || IsLineEndOnly(texts[k - 1]) ||
                IsLineEndOnly(texts[k - 2])) {
                continue;
            }
            auto time = [&](size_t j) { return song_.Track(lt).Event(s_.LyricSyllables[j]).Time; };
            const int32_t before = time(k - 1) - time(k - 2);
            const int32_t after = time(k) - time(k - 1);
            // A line's last syllable is often held long before its line end;
            // the line end is late only when the singing goes straight on
            // after it, with the pause before the syllable it follows.
            const bool goes_on = k + 1 < s_.LyricSyllables.size() && time(k + 1) - time(k) < pause;
            if (before >= pause && after > 0 && after * 2 < before && goes_on) {
                Add("ly-late-line-end",
                    "A line end in its own event comes after the first syllable of the next "
                    "line, which lyric readers then show at the end of the old line.",
                    Severity::ShowsWrong, ly, lt, s_.LyricSyllables[k]);
            }
        }
    }

    void BothChecks() {
        const auto both = PlayerFamily::Both;
        if (IsDuplicate(song_, s_)) {
            Add("both-duplicate",
                "The same words are both lyric events and karaoke text; players that read both "
                "show them twice.",
                Severity::Advice, both, s_.LyricTrack, -1, Repair::DropDuplicate);
        }
        if (s_.LyricTracks > 1 || s_.KaraokeTracks > 1) {
            Add("both-several-tracks",
                "Words lie in " + std::to_string(std::max(s_.LyricTracks, s_.KaraokeTracks)) +
                    " tracks; players show them mixed or only those of one track.",
                Severity::Advice, both);
        }
        EncodingChecks();
        TimeChecks(s_.LyricTrack, s_.LyricSyllables);
        TimeChecks(s_.KaraokeTrack, s_.KaraokeSyllables);
    }

    void EncodingChecks() {
        const auto both = PlayerFamily::Both;
        if (s_.LyricSyllables.empty() && s_.KaraokeSyllables.empty()) return;
        int32_t utf8 = 0, legacy = 0;
        int16_t legacy_t = -1, utf8_t = -1;
        int32_t legacy_i = -1, utf8_i = -1;
        for (int16_t t = 0; t < s_.Tracks; ++t) {
            for (int32_t i = 0; i < song_.Count(t); ++i) {
                const MidiEvent& e = song_.Track(t).Event(i);
                if (e.Kind != kKindMeta || e.Channel < 1 || e.Channel > 7) continue;
                std::string_view text = e.Data;
                if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; })) continue;
                if (IsValidUtf8(text)) {
                    if (utf8++ == 0) utf8_t = t, utf8_i = i;
                } else if (legacy++ == 0) {
                    legacy_t = t, legacy_i = i;
                }
            }
        }
        if (utf8 > 0 && legacy > 0) {
            Add("enc-mixed",
                std::to_string(utf8) + " text(s) are UTF-8 and " + std::to_string(legacy) +
                    " in another encoding; no player shows both right.",
                Severity::ShowsWrong, both, legacy_t, legacy_i, Repair::OneEncoding);
        } else if (legacy > 0) {
            Add("enc-legacy",
                "The texts are in a legacy code page, not UTF-8; players that expect UTF-8 "
                "show other characters.",
                Severity::Advice, both, legacy_t, legacy_i, Repair::OneEncoding);
        } else if (utf8 > 0) {
            Add("enc-utf8",
                "The texts are UTF-8; older players and keyboards show each accented letter as "
                "two or three others.",
                Severity::Advice, both, utf8_t, utf8_i, Repair::OneEncoding);
        }
    }

    void TimeChecks(int16_t t, const std::vector<int32_t>& syllables) {
        if (t < 0) return;
        for (size_t k = 1; k < syllables.size(); ++k) {
            if (song_.Track(t).Event(syllables[k]).Time <
                song_.Track(t).Event(syllables[k - 1]).Time) {
                Add("both-time-backwards", "A syllable is timed before the one ahead of it.",
                    Severity::ShowsWrong, PlayerFamily::Both, t, syllables[k]);
            }
        }
        if (song_.Header.Format == 2) return;
        std::optional<int32_t> last_note;
        for (int16_t u = 0; u < s_.Tracks; ++u) {
            for (int32_t i = 0; i < song_.Count(u); ++i) {
                const MidiEvent& e = song_.Track(u).Event(i);
                if (e.Kind <= 1) last_note = std::max(last_note.value_or(0), e.Time);
            }
        }
        if (!last_note) return;
        int32_t late = 0, first = -1;
        for (int32_t i : syllables) {
            const MidiEvent& e = song_.Track(t).Event(i);
            if (e.Time > *last_note && HasVisible(e.Data) && late++ == 0) first = i;
        }
        if (late > 0) {
            Add("both-after-last-note",
                std::to_string(late) +
                    " syllable(s) come after the last note; players stop "
                    "before they are shown.",
                Severity::Advice, PlayerFamily::Both, t, first);
        }
    }

    const MidiFile& song_;
    const Survey s_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckSong(const MidiFile& Song) {
    return Checker(Song).Run();
}

std::vector<Finding> FindingsFor(const std::vector<Finding>& Findings, PlayerFamily For,
                                 Severity AtLeast) {
    std::vector<Finding> kept;
    for (const Finding& f : Findings) {
        const bool family =
            For == PlayerFamily::Both || f.Family == PlayerFamily::Both || f.Family == For;
        if (family && f.Level >= AtLeast) kept.push_back(f);
    }
    return kept;
}

std::string_view SeverityName(Severity Level) {
    switch (Level) {
        case Severity::WillNotShow:
            return "will not show";
        case Severity::ShowsWrong:
            return "shows wrong";
        default:
            return "advice";
    }
}

std::string_view FamilyName(PlayerFamily Family) {
    switch (Family) {
        case PlayerFamily::SoftKaraoke:
            return "soft-karaoke";
        case PlayerFamily::LyricReaders:
            return "lyrics";
        default:
            return "both";
    }
}

std::string_view RepairName(Repair Fix) {
    static const std::map<Repair, std::string_view> kNames = {
        {Repair::None, ""},
        {Repair::MoveKaraokeHeader, "move-karaoke-header"},
        {Repair::NameWordsTrack, "name-words-track"},
        {Repair::MakeFormat1, "make-format-1"},
        {Repair::SplitLongLines, "split-long-lines"},
        {Repair::AddLineEnds, "add-line-ends"},
        {Repair::DropDuplicate, "drop-duplicate"},
        {Repair::OneEncoding, "one-encoding"},
        {Repair::RemoveNul, "remove-nul"},
        {Repair::JoinSplitWords, "join-split-words"},
    };
    return kNames.at(Fix);
}

bool ParseSeverity(std::string_view Text, Severity& Level) {
    for (Severity s : {Severity::Advice, Severity::ShowsWrong, Severity::WillNotShow}) {
        std::string dashed(SeverityName(s));
        std::replace(dashed.begin(), dashed.end(), ' ', '-');
        if (Text == SeverityName(s) || Text == dashed) {
            Level = s;
            return true;
        }
    }
    return false;
}

bool ParseFamily(std::string_view Text, PlayerFamily& Family) {
    for (PlayerFamily f :
         {PlayerFamily::SoftKaraoke, PlayerFamily::LyricReaders, PlayerFamily::Both}) {
        if (Text == FamilyName(f)) {
            Family = f;
            return true;
        }
    }
    return false;
}

bool MoveKaraokeHeader(MidiFile& Song) {
    const Survey s = SurveySong(Song);
    if (!s.SoftKaraoke || Song.Header.Format == 0 || (s.HeaderTrack >= 0 && s.HeaderTrack < 2)) {
        return false;
    }
    std::string header = "@KMIDI KARAOKE FILE";
    if (s.HeaderTrack >= 0) {
        std::vector<MidiEvent> events = TakeEvents(Song, s.HeaderTrack);
        header = events[static_cast<size_t>(s.HeaderEvent)].Data.str();
        events.erase(events.begin() + s.HeaderEvent);
        PutEvents(Song, s.HeaderTrack, events);
    }
    InsertTrack(Song, std::min<int16_t>(1, s.Tracks),
                {MetaEvent(0, kMetaTrackName, "Soft Karaoke"), MetaEvent(0, kMetaText, header),
                 MetaEvent(0, kMetaEndOfTrack, {})},
                "Soft Karaoke");
    return true;
}

bool NameWordsTrack(MidiFile& Song) {
    const Survey s = SurveySong(Song);
    if (s.KaraokeSyllables.empty() || NameOfTrack(Song, s.KaraokeTrack) == "Words") return false;
    const int16_t kt = s.KaraokeTrack;
    std::vector<MidiEvent> events = TakeEvents(Song, kt);
    auto name = std::find_if(events.rbegin(), events.rend(),
                             [](const MidiEvent& e) { return IsMeta(e, kMetaTrackName); });
    if (name != events.rend()) {
        name->Data = std::string_view("Words");
    } else {
        events.insert(events.begin(), MetaEvent(0, kMetaTrackName, "Words"));
    }
    PutEvents(Song, kt, events);
    Song.TrackName[kt] = "Words";
    return true;
}

// Lays the patterns of a format 2 song one after another: each moves later by
// the end (its last event's time) of the patterns before it, as they play.
void LayPatternsInTurn(MidiFile& Song, int16_t tracks) {
    int32_t offset = 0;
    for (int16_t t = 0; t < tracks; ++t) {
        std::vector<MidiEvent> events = TakeEvents(Song, t);
        int32_t end = 0;
        bool sets_start_tempo = false;
        for (MidiEvent& e : events) {
            end = std::max(end, e.Time);
            if (IsMeta(e, kMetaTempo) && e.Time == 0) sets_start_tempo = true;
            e.Time = AddLong(e.Time, offset);
        }
        // Each pattern starts at the default tempo unless it sets its own; in
        // one shared tempo map the tempo of the pattern before would hold on.
        if (t > 0 && !sets_start_tempo && Song.Header.Division > 0) {
            events.insert(events.begin(),
                          MetaEvent(offset, kMetaTempo, std::string("\x07\xA1\x20", 3)));
        }
        PutEvents(Song, t, events);
        offset = AddLong(offset, end);
    }
}

bool MakeFormat1(MidiFile& Song) {
    const Survey s = SurveySong(Song);
    if (!s.SoftKaraoke || Song.Header.Format == 1) return false;
    if (Song.Header.Format == 2) LayPatternsInTurn(Song, s.Tracks);
    if (Song.Header.Format == 0 && s.Tracks == 1) {
        std::vector<MidiEvent> rest, words{MetaEvent(0, kMetaTrackName, "Words")};
        for (const MidiEvent& e : TakeEvents(Song, 0)) {
            (IsMeta(e, kMetaText) ? words : rest).push_back(e);
        }
        words.push_back(MetaEvent(LastTime(Song, 0), kMetaEndOfTrack, {}));
        PutEvents(Song, 0, rest);
        InsertTrack(Song, 1, words, "Words");
    }
    Song.Header.Format = 1;
    return true;
}

bool SplitLongLines(MidiFile& Song) {
    bool changed = false;
    for (bool again = true; again;) {
        again = false;
        const Survey s = SurveySong(Song);
        for (const KaraokeLine& line : KaraokeLines(Song, s)) {
            if (ScreenWidth(TrimSpaces(line.Text)) <= kScreenColumns) continue;
            std::vector<std::string_view> texts = TextsOf(Song, s.KaraokeTrack, line.Events);
            // The word gap nearest the screen's edge from the left, else the first.
            size_t split = 0;
            std::string before;
            for (size_t k = 1; k < texts.size(); ++k) {
                std::string_view previous = texts[k - 1];
                if (k == 1 && !previous.empty() && IsMark(previous[0])) previous.remove_prefix(1);
                before += previous;
                if (!WordStartsAt(texts, k)) continue;
                if (ScreenWidth(TrimSpaces(before)) <= kScreenColumns || split == 0) split = k;
                if (ScreenWidth(TrimSpaces(before)) > kScreenColumns) break;
            }
            if (split == 0) continue;
            MidiEvent& e = Song.Track(s.KaraokeTrack).Event(line.Events[split]);
            const std::string_view old = e.Data;
            const std::string marked =
                "/" + std::string(old.substr(std::min(old.find_first_not_of(' '), old.size())));
            e.Data = std::string_view(marked);
            changed = again = true;
            break;
        }
    }
    return changed;
}

bool AddLineEnds(MidiFile& Song) {
    const Survey s = SurveySong(Song);
    if (!NeedsLineEnds(Song, s)) return false;
    const int16_t lt = s.LyricTrack;
    const std::vector<std::string_view> texts = TextsOf(Song, lt, s.LyricSyllables);
    const int32_t pause = PauseOf(Song, lt, s.LyricSyllables);
    std::vector<size_t> ends;
    int32_t width = ScreenWidth(texts[0]);
    for (size_t k = 1; k < texts.size(); ++k) {
        const int32_t next = ScreenWidth(texts[k]);
        const int32_t gap = Song.Track(lt).Event(s.LyricSyllables[k]).Time -
                            Song.Track(lt).Event(s.LyricSyllables[k - 1]).Time;
        if (WordStartsAt(texts, k) && (gap >= pause || width + next > kScreenColumns)) {
            ends.push_back(k - 1);
            width = 0;
        }
        width += next;
    }
    if (ends.empty()) return false;
    for (size_t k : ends) Song.Track(lt).Event(s.LyricSyllables[k]).Data.Append("\r");
    return true;
}

bool DropDuplicate(MidiFile& Song, PlayerFamily Keep) {
    const Survey s = SurveySong(Song);
    if (Keep == PlayerFamily::Both || !IsDuplicate(Song, s)) return false;
    auto drop = [&](int16_t t, auto&& gone) {
        std::vector<MidiEvent> events = TakeEvents(Song, t);
        events.erase(std::remove_if(events.begin(), events.end(), gone), events.end());
        PutEvents(Song, t, events);
    };
    if (Keep == PlayerFamily::SoftKaraoke) {
        drop(s.LyricTrack, [](const MidiEvent& e) { return IsMeta(e, kMetaLyric); });
    } else {
        drop(s.KaraokeTrack, [](const MidiEvent& e) { return IsMeta(e, kMetaText); });
        for (int16_t t = 0; t < s.Tracks; ++t) drop(t, IsKaraokeHeader);
    }
    return true;
}

bool JoinSplitWords(MidiFile& Song) {
    const Survey s = SurveySong(Song);
    if (s.LyricSyllables.empty() || !HasSplitWords(TextsOf(Song, s.LyricTrack, s.LyricSyllables))) {
        return false;
    }
    bool changed = false;
    for (int32_t i : s.LyricSyllables) {
        MidiEvent& e = Song.Track(s.LyricTrack).Event(i);
        const std::string text = e.Data.str();
        // The line ends at the end stay; the spaces before them are the gap.
        const size_t body_end = text.find_last_not_of("\r\n") + 1;  // 0 when none
        const size_t word_end = text.find_last_not_of(' ', body_end == 0 ? 0 : body_end - 1);
        if (body_end == 0 || word_end == std::string::npos) continue;  // a gap of its own
        const size_t spaces = body_end - (word_end + 1);
        const std::string joined =
            text.substr(0, word_end + 1) + (spaces >= 2 ? " " : "") + text.substr(body_end);
        if (joined == text) continue;
        e.Data = std::string_view(joined);
        changed = true;
    }
    return changed;
}

bool RemoveNulBytes(MidiFile& Song) {
    bool changed = false;
    for (int16_t t = 0; t < RealTrackCount(Song); ++t) {
        for (int32_t i = 0; i < Song.Count(t); ++i) {
            MidiEvent& e = Song.Track(t).Event(i);
            if (!IsMeta(e, kMetaText) && !IsMeta(e, kMetaLyric)) continue;
            std::string text = e.Data.str();
            const size_t before = text.size();
            std::erase(text, '\0');
            if (text.size() == before) continue;
            e.Data = std::string_view(text);
            changed = true;
        }
    }
    return changed;
}

bool ApplyRepair(MidiFile& Song, Repair Fix, PlayerFamily Keep) {
    switch (Fix) {
        case Repair::MoveKaraokeHeader:
            return MoveKaraokeHeader(Song);
        case Repair::NameWordsTrack:
            return NameWordsTrack(Song);
        case Repair::MakeFormat1:
            return MakeFormat1(Song);
        case Repair::SplitLongLines:
            return SplitLongLines(Song);
        case Repair::AddLineEnds:
            return AddLineEnds(Song);
        case Repair::DropDuplicate:
            return DropDuplicate(Song, Keep);
        case Repair::RemoveNul:
            return RemoveNulBytes(Song);
        case Repair::JoinSplitWords:
            return JoinSplitWords(Song);
        default:
            return false;
    }
}

}  // namespace verselane
