#include <algorithm>
#include <string>
#include <utility>

#include "check/song_check.h"
#include "check/song_survey.h"
#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"

namespace verselane {

using namespace check_detail;

namespace {

// A track of the same name and instrument holding the events of `from` that
// `keep` accepts (given the event and its place), in their order.
template <typename Keep>
Track KeptEvents(const Track& from, Keep&& keep) {
    Track kept;
    kept.Name = from.Name;
    kept.Instrument = from.Instrument;
    kept.Reserve(from.Size(), from.PoolBytes());
    for (int32_t i = 0; i < from.Size(); ++i) {
        if (keep(from[i], i)) kept.Append(from[i], from.Body(from[i]));
    }
    return kept;
}

// A new track of that name and no instrument.
Track NamedTrack(const std::string& name) {
    Track track;
    track.Name = name;
    return track;
}

int32_t LastTick(const Track& track) {
    int32_t last = 0;
    for (const Event& e : track) last = std::max(last, e.Tick);
    return last;
}

}  // namespace

bool MoveKaraokeHeader(Song& song) {
    const Survey s = SurveySong(song);
    if (!s.SoftKaraoke || song.Format == 0 || (s.HeaderTrack >= 0 && s.HeaderTrack < 2)) {
        return false;
    }
    std::string header = "@KMIDI KARAOKE FILE";
    if (s.HeaderTrack >= 0) {
        Track& track = song.Tracks[s.HeaderTrack];
        header = std::string(track.Body(track[s.HeaderEvent]));
        track = KeptEvents(track, [&](const Event&, int32_t i) { return i != s.HeaderEvent; });
    }
    Track karaoke = NamedTrack("Soft Karaoke");
    karaoke.Append(Event::Meta(0, kMetaTrackName), "Soft Karaoke");
    karaoke.Append(Event::Meta(0, kMetaText), header);
    karaoke.Append(Event::Meta(0, kMetaEndOfTrack));
    song.InsertTrack(std::min<int16_t>(1, s.Tracks), std::move(karaoke));
    return true;
}

bool NameWordsTrack(Song& song) {
    const Survey s = SurveySong(song);
    // Track 0's name is the song's title, which a rename would lose.
    if (s.KaraokeSyllables.empty() || s.KaraokeTrack == 0 ||
        NameOfTrack(song, s.KaraokeTrack) == "Words")
        return false;
    Track& track = song.Tracks[s.KaraokeTrack];
    int32_t name = track.Size() - 1;
    while (name >= 0 && !track[name].IsMeta(kMetaTrackName)) --name;
    if (name >= 0) {
        track.SetBody(name, "Words");
    } else {
        Track named = NamedTrack(track.Name);
        named.Instrument = track.Instrument;
        named.Reserve(track.Size() + 1, track.PoolBytes() + 16);
        named.Append(Event::Meta(0, kMetaTrackName), "Words");
        for (const Event& e : track) named.Append(e, track.Body(e));
        track = std::move(named);
    }
    track.Name = "Words";
    return true;
}

// Lays the patterns of a format 2 song one after another: each moves later by
// the end (its last event's tick) of the patterns before it, as they play.
void LayPatternsInTurn(Song& song, int16_t tracks) {
    int32_t offset = 0;
    for (int16_t t = 0; t < tracks; ++t) {
        Track& track = song.Tracks[t];
        const int32_t end = LastTick(track);
        const bool sets_start_tempo = std::any_of(track.begin(), track.end(), [](const Event& e) {
            return e.IsMeta(kMetaTempo) && e.Tick == 0;
        });
        Track laid = NamedTrack(track.Name);
        laid.Instrument = track.Instrument;
        laid.Reserve(track.Size() + 1, track.PoolBytes() + 16);
        // Each pattern starts at the default tempo unless it sets its own; in
        // one shared tempo map the tempo of the pattern before would hold on.
        if (t > 0 && !sets_start_tempo && song.Division > 0) {
            laid.Append(Event::Meta(offset, kMetaTempo), std::string("\x07\xA1\x20", 3));
        }
        for (Event e : track) {
            const std::string_view body = track.Body(e);
            e.Tick = AddLong(e.Tick, offset);
            laid.Append(e, body);
        }
        track = std::move(laid);
        offset = AddLong(offset, end);
    }
}

bool MakeFormat1(Song& song) {
    const Survey s = SurveySong(song);
    if (!s.SoftKaraoke || song.Format == 1) return false;
    if (song.Format == 2) LayPatternsInTurn(song, s.Tracks);
    if (song.Format == 0 && s.Tracks == 1) {
        Track& track = song.Tracks[0];
        Track words = NamedTrack("Words");
        words.Append(Event::Meta(0, kMetaTrackName), "Words");
        for (const Event& e : track) {
            if (e.IsText()) words.Append(e, track.Body(e));
        }
        words.Append(Event::Meta(LastTick(track), kMetaEndOfTrack));
        track = KeptEvents(track, [](const Event& e, int32_t) { return !e.IsText(); });
        song.InsertTrack(1, std::move(words));
    }
    song.Format = 1;
    return true;
}

bool SplitLongLines(Song& song) {
    bool changed = false;
    for (bool again = true; again;) {
        again = false;
        const Survey s = SurveySong(song);
        for (const KaraokeLine& line : KaraokeLines(song, s)) {
            if (ScreenWidth(TrimSpaces(line.Text)) <= kScreenColumns) continue;
            std::vector<std::string_view> texts = TextsOf(song, s.KaraokeTrack, line.Events);
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
            const std::string_view old = texts[split];
            const std::string marked =
                "/" + std::string(old.substr(std::min(old.find_first_not_of(' '), old.size())));
            song.Tracks[s.KaraokeTrack].SetBody(line.Events[split], marked);
            changed = again = true;
            break;
        }
    }
    return changed;
}

bool AddLineEnds(Song& song) {
    const Survey s = SurveySong(song);
    if (!NeedsLineEnds(song, s)) return false;
    Track& track = song.Tracks[s.LyricTrack];
    const std::vector<std::string_view> texts = TextsOf(song, s.LyricTrack, s.LyricSyllables);
    const int32_t pause = PauseOf(song, s.LyricTrack, s.LyricSyllables);
    std::vector<size_t> ends;
    int32_t width = ScreenWidth(texts[0]);
    for (size_t k = 1; k < texts.size(); ++k) {
        const int32_t next = ScreenWidth(texts[k]);
        const int32_t gap = track[s.LyricSyllables[k]].Tick - track[s.LyricSyllables[k - 1]].Tick;
        if (WordStartsAt(texts, k) && (gap >= pause || width + next > kScreenColumns)) {
            ends.push_back(k - 1);
            width = 0;
        }
        width += next;
    }
    if (ends.empty()) return false;
    for (size_t k : ends) {
        const int32_t i = s.LyricSyllables[k];
        track.SetBody(i, std::string(track.Body(track[i])) + "\r");
    }
    return true;
}

bool DropDuplicate(Song& song, PlayerFamily Keep) {
    if (Keep == PlayerFamily::Both) return false;
    // The same words may stand in more tracks than one (a harmony voice
    // with the melody's lyrics): each copy goes, until the words are there
    // once. Every round empties a track of its words, so the rounds end.
    bool dropped = false;
    for (Survey s = SurveySong(song); IsDuplicate(song, s); s = SurveySong(song)) {
        if (Keep == PlayerFamily::SoftKaraoke) {
            Track& track = song.Tracks[s.LyricTrack];
            track = KeptEvents(track, [](const Event& e, int32_t) { return !e.IsLyric(); });
        } else {
            Track& words = song.Tracks[s.KaraokeTrack];
            words = KeptEvents(words, [](const Event& e, int32_t) { return !e.IsText(); });
            for (Track& track : song.Tracks) {
                track = KeptEvents(
                    track, [&](const Event& e, int32_t) { return !IsKaraokeHeader(track, e); });
            }
        }
        dropped = true;
    }
    return dropped;
}

bool JoinSplitWords(Song& song) {
    const Survey s = SurveySong(song);
    if (s.LyricSyllables.empty() || !HasSplitWords(TextsOf(song, s.LyricTrack, s.LyricSyllables))) {
        return false;
    }
    Track& track = song.Tracks[s.LyricTrack];
    bool changed = false;
    for (int32_t i : s.LyricSyllables) {
        const std::string text(track.Body(track[i]));
        // The line ends at the end stay; the spaces before them are the gap.
        const size_t body_end = text.find_last_not_of("\r\n") + 1;  // 0 when none
        const size_t word_end = text.find_last_not_of(' ', body_end == 0 ? 0 : body_end - 1);
        if (body_end == 0 || word_end == std::string::npos) continue;  // a gap of its own
        const size_t spaces = body_end - (word_end + 1);
        const std::string joined =
            text.substr(0, word_end + 1) + (spaces >= 2 ? " " : "") + text.substr(body_end);
        if (joined == text) continue;
        track.SetBody(i, joined);
        changed = true;
    }
    return changed;
}

bool AddWordGaps(Song& song) {
    const Survey s = SurveySong(song);
    if (s.LyricSyllables.empty() ||
        !MergedWordsOf(TextsOf(song, s.LyricTrack, s.LyricSyllables)).Marked)
        return false;
    Track& track = song.Tracks[s.LyricTrack];
    bool changed = false;
    // The last syllable ends the words: no gap after it.
    for (size_t k = 0; k + 1 < s.LyricSyllables.size(); ++k) {
        const int32_t i = s.LyricSyllables[k];
        const std::string text(track.Body(track[i]));
        const std::string_view next = track.Body(track[s.LyricSyllables[k + 1]]);
        const size_t body_end = text.find_last_not_of("\r\n") + 1;  // 0 when none
        // A line end here or at the next syllable's start is the gap already;
        // "-" goes on with the word.
        if (body_end == 0 || body_end < text.size() || text[body_end - 1] == '-' ||
            (!next.empty() && (next.front() == '\r' || next.front() == '\n')))
            continue;
        track.SetBody(i, text + " ");
        changed = true;
    }
    return changed;
}

bool RemoveNulBytes(Song& song) {
    bool changed = false;
    for (Track& track : song.Tracks) {
        for (int32_t i = 0; i < track.Size(); ++i) {
            const Event& e = track[i];
            if (!e.IsText() && !e.IsLyric()) continue;
            std::string text(track.Body(e));
            const size_t before = text.size();
            std::erase(text, '\0');
            if (text.size() == before) continue;
            track.SetBody(i, text);
            changed = true;
        }
    }
    return changed;
}

bool ApplyRepair(Song& song, Repair Fix, PlayerFamily Keep) {
    switch (Fix) {
        case Repair::MoveKaraokeHeader:
            return MoveKaraokeHeader(song);
        case Repair::NameWordsTrack:
            return NameWordsTrack(song);
        case Repair::MakeFormat1:
            return MakeFormat1(song);
        case Repair::SplitLongLines:
            return SplitLongLines(song);
        case Repair::AddLineEnds:
            return AddLineEnds(song);
        case Repair::DropDuplicate:
            return DropDuplicate(song, Keep);
        case Repair::RemoveNul:
            return RemoveNulBytes(song);
        case Repair::AddWordGaps:
            return AddWordGaps(song);
        case Repair::JoinSplitWords:
            return JoinSplitWords(song);
        default:
            return false;
    }
}

}  // namespace verselane
