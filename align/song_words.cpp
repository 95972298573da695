#include "align/song_words.h"

#include <algorithm>
#include <stdexcept>

#include "align/align_error.h"
#include "align/sung_syllables.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "lyrics/track_editing.h"
#include "model/errors.h"

namespace verselane::align {

namespace {

bool Visible(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && c != '\\' && c != '/';
    });
}

// Whether a track holds nothing but its name, "@" lines and its end: a
// track made for words that holds none.
bool HoldsNoWords(const MidiFile& Song, int16_t t) {
    for (const MidiEvent& e : Song.Events(t)) {
        if (!e.IsMeta()) return false;
        if (e.MetaType() == kMetaTrackName || e.MetaType() == kMetaEndOfTrack) continue;
        if (e.MetaType() == kMetaText && e.Data.view().starts_with("@")) continue;
        return false;
    }
    return true;
}

bool NamedForWords(std::string_view name) {
    return name.find("ords") != std::string_view::npos ||
           name.find("rics") != std::string_view::npos ||
           name.find("yric") != std::string_view::npos || name == "Soft Karaoke";
}

void RemoveTrack(MidiFile& Song, int16_t t) {
    Song.Track(t);
    Song.Tracks.erase(Song.Tracks.begin() + t);
    Song.EventCount.erase(Song.EventCount.begin() + t);
    Song.TrackName.erase(Song.TrackName.begin() + t);
    Song.InstrumentName.erase(Song.InstrumentName.begin() + t);
    Song.TrackSlots = static_cast<int16_t>(Song.TrackSlots - 1);
    Song.Header.NumTracks = static_cast<int16_t>(Song.Header.NumTracks - 1);
}

// Keeps the events of track t for which `keep` says so.
template <typename Keep>
void FilterEvents(MidiFile& Song, int16_t t, Keep keep) {
    int32_t kept = 0;
    const int32_t n = Song.Count(t);
    for (int32_t i = 0; i < n; ++i) {
        MidiEvent e = Song.Track(t).Event(i);
        if (!keep(e)) continue;
        Song.Track(t).Event(kept++) = std::move(e);
    }
    Song.Count(t) = kept;
}

// A new track behind the real ones.
int16_t AppendTrack(MidiFile& Song, const std::string& name) {
    const int16_t at = RealTrackCount(Song);
    if (static_cast<size_t>(at) + 1 >= Song.Tracks.size())
        ResizeTracks(Song, Song.TrackSlots + 1, false);
    Song.Header.NumTracks = static_cast<int16_t>(at + 1);
    if (Song.TrackSlots < at + 1) Song.TrackSlots = static_cast<int16_t>(at + 1);
    Song.TrackName[at] = name;
    Song.InstrumentName[at].clear();
    Song.Tracks[at] = MidiTrack();
    Song.Tracks[at].ResizeToLastIndex(Song.EventSlots, true);
    Song.EventCount[at] = 0;
    return at;
}

// Drops the old words: every lyric event, the karaoke text and its "@K"
// line, then the tracks left holding nothing but their names.
void RemoveWords(MidiFile& Song) {
    const int16_t karaoke =
        Song.HasKaraokeText ? ChooseSourceTrack(Song, ConversionDirection::KaraokeToLyrics) : -1;
    for (int16_t t = 0; t < RealTrackCount(Song); ++t) {
        FilterEvents(Song, t, [&](const MidiEvent& e) {
            if (!e.IsMeta()) return true;
            if (e.MetaType() == kMetaLyric) return false;
            if (e.MetaType() == kMetaText && (t == karaoke || e.Data.view().starts_with("@K")))
                return false;
            return true;
        });
    }
    Song.HasLyrics = false;
    Song.HasKaraokeText = false;
    Song.LyricText.clear();
    Song.KaraokeText.clear();
}

}  // namespace

LyricSheet SungSyllables(const LyricSheet& Sheet, const SyllableSplitter& Splitter) {
    LyricSheet out;
    const auto& in = Sheet.Syllables;
    for (size_t i = 0; i < in.size(); ++i) {
        const bool whole_word = in[i].WordStart && Sheet.WordEnd(i);
        if (!whole_word || in[i].Marked) {
            out.Syllables.push_back(in[i]);
            continue;
        }
        const std::vector<std::string> pieces = Splitter.Split(in[i].Text);
        for (size_t p = 0; p < pieces.size(); ++p) {
            SheetSyllable s = in[i];
            s.Text = pieces[p];
            if (p > 0) {
                s.SplitByRule = true;
                s.WordStart = s.LineStart = s.ParagraphStart = s.NewBar = false;
                s.SkipsBefore = 0;
            }
            if (p + 1 < pieces.size()) s.Holds = 0;
            out.Syllables.push_back(std::move(s));
        }
    }
    return out;
}

SheetAlignment AlignSheet(const MidiFile& Song, const SheetRequest& Request) {
    SheetAlignment result;
    const LyricSheet written = ParseLyricSheet(Request.SheetUtf8);
    if (!Request.Language.empty()) {
        result.Language = LanguageCode(Request.Language);
        if (result.Language.empty())
            throw AlignError(AlignFault(AlignProblem::UnknownLanguage).WithText(Request.Language));
        result.LanguageFrom = LanguageSource::Given;
    } else if (std::string song = LanguageCode(SongKaraokeInfo(Song).Language); !song.empty()) {
        result.Language = song;
        result.LanguageFrom = LanguageSource::SongKaraokeLine;
    } else {
        result.Language = GuessLanguage(Request.SheetUtf8);
        result.LanguageFrom = LanguageSource::GuessedFromWords;
    }
    if (Request.AsWritten) {
        result.Sheet = written;
    } else {
        SyllableSplitter splitter(result.Language);
        splitter.Prepare(Request.SheetUtf8);
        result.DictionaryMissingFrom = splitter.MissingFrom();
        result.Sheet = SungSyllables(written, splitter);
    }
    const size_t count = result.Sheet.Syllables.size();

    result.Lines = NoteLines(Song);
    result.Melody = ChooseMelody(result.Lines, count, Request.MelodyTrack);
    if (Request.MelodyTrack >= 0 && result.Melody.Line < 0)
        throw AlignError(AlignFault(AlignProblem::SilentTrack).WithTrack(Request.MelodyTrack));

    std::vector<SyllableShape> shapes;
    shapes.reserve(count);
    for (const SheetSyllable& s : result.Sheet.Syllables)
        shapes.push_back({s.WordStart, s.LineStart, s.ParagraphStart, s.NewBar, s.Holds,
                          s.SkipsBefore, s.SplitByRule});
    std::vector<Pin> pins;
    for (const auto& [index, tick] : Request.Pins) {
        const auto syllable = static_cast<int64_t>(index);
        if (index < 1 || index > count) {
            throw AlignError(AlignFault(AlignProblem::PinOutside)
                                 .WithSyllable(syllable)
                                 .WithCount(static_cast<int64_t>(count)));
        }
        if (tick < 0)
            throw AlignError(AlignFault(AlignProblem::NegativeTick).WithSyllable(syllable));
        pins.push_back({index - 1, tick});
    }
    AlignOptions options;
    options.Division = TicksPerBeat(Song.Header.Division);
    options.Metres = MetresOf(Song);
    options.Weights = Request.Weights;
    static const std::vector<MelodyNote> kNoNotes;
    const std::vector<MelodyNote>& notes =
        result.Melody.Line >= 0 ? result.Lines[static_cast<size_t>(result.Melody.Line)].Notes
                                : kNoNotes;
    result.Placement = AlignSyllables(notes, shapes, pins, options);
    if (result.Placement.FirstWithoutNote >= 0) {
        const int line =
            result.Sheet.Syllables[static_cast<size_t>(result.Placement.FirstWithoutNote)].Line;
        result.RanOut =
            NotesRanOut{static_cast<size_t>(result.Placement.FirstWithoutNote) + 1, line};
    }
    return result;
}

std::vector<std::string> LyricTexts(const LyricSheet& Sheet) {
    std::vector<std::string> texts;
    const auto& s = Sheet.Syllables;
    for (size_t i = 0; i < s.size(); ++i) {
        std::string text = s[i].Text;
        if (i + 1 < s.size()) {
            if (s[i + 1].ParagraphStart) {
                text += "\n\r";
            } else if (s[i + 1].LineStart) {
                text += "\r";
            } else if (s[i + 1].WordStart) {
                text += " ";
            }
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

std::string KaraokeLanguageName(const std::string& Code) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"en", "ENGL"}, {"de", "GERM"}, {"fr", "FREN"}, {"es", "SPAN"},
        {"it", "ITAL"}, {"pt", "PORT"}, {"nl", "DUTC"},
    };
    for (const auto& [code, name] : kNames)
        if (Code == code) return name;
    return "ENGL";
}

bool SongHasWords(const MidiFile& Song) {
    for (const auto [t, i, e] : Song.AllEvents())
        if (e.IsLyric() && Visible(e.Data.view())) return true;
    if (!Song.HasKaraokeText) return false;
    const int16_t track = ChooseSourceTrack(Song, ConversionDirection::KaraokeToLyrics);
    return track >= 0 && !SungLines(Song, track, LineSource::Karaoke).empty();
}

void PutWords(MidiFile& Song, const std::vector<std::string>& Texts, const Alignment& Placement,
              WordsOutput Output, const KaraokeInfo& Info, bool Replace,
              const std::function<std::string(std::string_view)>& ToSongBytes) {
    if (Replace) RemoveWords(Song);
    // Tracks made for words that hold none: one named for lyrics takes the
    // lyric events; for karaoke text the empty ones go, and the converter
    // makes the pair anew.
    int16_t target = -1;
    for (int16_t t = RealTrackCount(Song) - 1; t > 0; --t) {
        if (!NamedForWords(Song.TrackName[t]) || !HoldsNoWords(Song, t)) continue;
        const bool lyric_name = Song.TrackName[t].find("ords") == std::string::npos &&
                                Song.TrackName[t] != "Soft Karaoke";
        if (Output != WordsOutput::Lyrics && !lyric_name) {
            RemoveTrack(Song, t);
            if (target > t) --target;
        } else if (target < 0) {
            target = t;
        }
    }
    std::vector<MidiEvent> events;
    int32_t end = 0;
    if (target >= 0) {
        for (const MidiEvent& e : Song.Events(target)) {
            if (e.IsEndOfTrack()) {
                end = std::max(end, e.Time);
                continue;
            }
            events.push_back(e);
        }
    } else {
        target = AppendTrack(Song, "Lyrics");
        events.push_back(MetaEvent(0, kMetaTrackName, "Lyrics"));
    }
    for (size_t i = 0; i < Texts.size() && i < Placement.Syllables.size(); ++i) {
        events.push_back(MetaEvent(Placement.Syllables[i].Tick, kMetaLyric, ToSongBytes(Texts[i])));
        end = std::max(end, Placement.Syllables[i].Tick);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.Time < b.Time; });
    events.push_back(MetaEvent(end, kMetaEndOfTrack, ""));
    ReplaceTrackEvents(Song, target, events);
    Song.HasLyrics = true;
    if (Output == WordsOutput::Lyrics) return;
    int16_t source = target;
    LyricsToKaraoke(Song, source, Info);
    Song.HasKaraokeText = true;
    if (Output == WordsOutput::Karaoke) RemoveTrack(Song, source);
}

}  // namespace verselane::align
