#include <algorithm>

#include "check/song_check.h"
#include "check/song_survey.h"
#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"
#include "lyrics/track_editing.h"
#include "model/errors.h"

namespace verselane {

using namespace check_detail;

namespace {

// The events of a track as a list, and the list back into the track.
std::vector<MidiEvent> TakeEvents(const MidiFile& Song, int16_t t) {
    std::vector<MidiEvent> events;
    events.reserve(static_cast<size_t>(Song.Count(t)));
    for (const MidiEvent& e : Song.Events(t)) events.push_back(e);
    return events;
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
    ReplaceTrackEvents(Song, at, events);
}

int32_t LastTime(const MidiFile& Song, int16_t t) {
    int32_t last = 0;
    for (const MidiEvent& e : Song.Events(t)) last = std::max(last, e.Time);
    return last;
}

}  // namespace

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
        ReplaceTrackEvents(Song, s.HeaderTrack, events);
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
                             [](const MidiEvent& e) { return e.IsMeta(kMetaTrackName); });
    if (name != events.rend()) {
        name->Data = std::string_view("Words");
    } else {
        events.insert(events.begin(), MetaEvent(0, kMetaTrackName, "Words"));
    }
    ReplaceTrackEvents(Song, kt, events);
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
            if (e.IsMeta(kMetaTempo) && e.Time == 0) sets_start_tempo = true;
            e.Time = AddLong(e.Time, offset);
        }
        // Each pattern starts at the default tempo unless it sets its own; in
        // one shared tempo map the tempo of the pattern before would hold on.
        if (t > 0 && !sets_start_tempo && Song.Header.Division > 0) {
            events.insert(events.begin(),
                          MetaEvent(offset, kMetaTempo, std::string("\x07\xA1\x20", 3)));
        }
        ReplaceTrackEvents(Song, t, events);
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
            (e.IsText() ? words : rest).push_back(e);
        }
        words.push_back(MetaEvent(LastTime(Song, 0), kMetaEndOfTrack, {}));
        ReplaceTrackEvents(Song, 0, rest);
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
        ReplaceTrackEvents(Song, t, events);
    };
    if (Keep == PlayerFamily::SoftKaraoke) {
        drop(s.LyricTrack, [](const MidiEvent& e) { return e.IsLyric(); });
    } else {
        drop(s.KaraokeTrack, [](const MidiEvent& e) { return e.IsText(); });
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
        for (MidiEvent& e : Song.Events(t)) {
            if (!e.IsText() && !e.IsLyric()) continue;
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
