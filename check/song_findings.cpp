#include "check/song_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "check/song_survey.h"
#include "lyrics/text_rules.h"
#include "model/utf8.h"

namespace verselane {

using namespace check_detail;

namespace {

class Checker {
  public:
    Checker(const Song& song, const Utf8Test& is_utf8)
        : song_(song), s_(SurveySong(song)), is_utf8_(is_utf8) {}

    std::vector<Finding> Run() {
        SoftKaraokeChecks();
        LyricChecks();
        BothChecks();
        return std::move(findings_);
    }

  private:
    void Add(FindingId id, Severity level, PlayerFamily family, int32_t track = -1,
             int32_t event = -1, Repair fix = Repair::None, std::array<int32_t, 2> numbers = {}) {
        Finding f{id, level, family, track, event, -1, fix, numbers};
        if (track >= 0 && event >= 0) f.Time = song_.At(static_cast<int16_t>(track)).At(event).Tick;
        findings_.push_back(std::move(f));
    }

    void SoftKaraokeChecks() {
        const auto sk = PlayerFamily::SoftKaraoke;
        if (!s_.SoftKaraoke) {
            if (!s_.LyricSyllables.empty()) {
                Add(FindingId::LyricsOnly, Severity::Advice, sk);
            }
            return;
        }
        if (song_.Format != 1) {
            Add(FindingId::NotFormat1, Severity::WillNotShow, sk, -1, -1, Repair::MakeFormat1,
                {song_.Format, 0});
        }
        if (s_.HeaderTrack < 0) {
            Add(FindingId::NoKaraokeHeader, Severity::WillNotShow, sk, -1, -1,
                Repair::MoveKaraokeHeader);
        } else if (s_.HeaderTrack >= 2) {
            Add(FindingId::LateKaraokeHeader, Severity::WillNotShow, sk, s_.HeaderTrack,
                s_.HeaderEvent, Repair::MoveKaraokeHeader);
        }
        if (s_.KaraokeSyllables.empty()) {
            Add(FindingId::EmptyKaraokeHeader, Severity::WillNotShow, sk, s_.HeaderTrack,
                s_.HeaderEvent);
            return;
        }
        const int16_t kt = s_.KaraokeTrack;
        // Track 0's name is the song's title: words there are not renamed.
        if (NameOfTrack(song_, kt) != "Words") {
            Add(FindingId::NoWordsTrack, Severity::Advice, sk, kt, -1,
                kt == 0 ? Repair::None : Repair::NameWordsTrack);
        }
        for (int32_t i : s_.KaraokeSyllables) {
            std::string_view text = BodyOf(song_, kt, i);
            if (!text.empty() && IsMark(text[0])) text.remove_prefix(1);
            if (text.find_first_of("\\/") != std::string_view::npos) {
                Add(FindingId::MarkInsideText, Severity::Advice, sk, kt, i);
            }
        }
        const std::vector<KaraokeLine> lines = KaraokeLines(song_, s_);
        size_t paragraph = 0;
        for (size_t l = 0; l <= lines.size(); ++l) {
            if (l == lines.size() || lines[l].NewParagraph) {
                if (l - paragraph > static_cast<size_t>(kScreenLines)) {
                    Add(FindingId::LongParagraph, Severity::Advice, sk, kt,
                        lines[paragraph].Events.front(), Repair::None,
                        {static_cast<int32_t>(l - paragraph), kScreenLines});
                }
                paragraph = l;
            }
            if (l == lines.size()) break;
            const int32_t width = ScreenWidth(TrimSpaces(lines[l].Text));
            if (width > kScreenColumns) {
                // Players wrap or scale a long line; only one that would not
                // fit even wrapped over a whole screen is shown wrong.
                const bool unshowable = width > kScreenColumns * kScreenLines;
                // The repair breaks a line at a word gap: a line without one
                // (Chinese or Japanese written without spaces) gets none.
                const std::vector<std::string_view> texts = TextsOf(song_, kt, lines[l].Events);
                bool gap = false;
                for (size_t k = 1; k < texts.size() && !gap; ++k) gap = WordStartsAt(texts, k);
                Add(FindingId::LongLine, unshowable ? Severity::ShowsWrong : Severity::Advice, sk,
                    kt, lines[l].Events.front(), gap ? Repair::SplitLongLines : Repair::None,
                    {width, kScreenColumns});
            }
        }
    }

    void LyricChecks() {
        const auto ly = PlayerFamily::LyricReaders;
        if (s_.LyricSyllables.empty()) {
            if (!s_.KaraokeSyllables.empty()) {
                Add(FindingId::KaraokeTextOnly, Severity::Advice, ly);
            }
        } else {
            LyricStreamChecks();
        }
        // NUL bytes in lyrics trouble lyric readers; in karaoke text, every player.
        int32_t nul = 0, first_t = -1, first_i = -1;
        bool in_text = false, hides = false;
        for (const auto [t, i, e] : song_.AllEvents()) {
            if (!e.IsText() && !e.IsLyric()) continue;
            const std::string_view text = song_.Tracks[t].Body(e);
            if (text.find('\0') == std::string_view::npos) continue;
            in_text = in_text || e.IsText();
            hides = hides || HidesBehindNul(text);
            if (nul++ == 0) first_t = t, first_i = i;
        }
        if (nul > 0) {
            Add(FindingId::NulBytes, hides ? Severity::ShowsWrong : Severity::Advice,
                in_text ? PlayerFamily::Both : ly, first_t, first_i, Repair::RemoveNul, {nul, 0});
        }
    }

    void LyricStreamChecks() {
        const auto ly = PlayerFamily::LyricReaders;
        const int16_t lt = s_.LyricTrack;
        const std::vector<std::string_view> texts = TextsOf(song_, lt, s_.LyricSyllables);
        if (HasSplitWords(texts)) {
            Add(FindingId::SplitWords, Severity::ShowsWrong, ly, lt, s_.LyricSyllables.front(),
                Repair::JoinSplitWords);
        }
        if (const MergedWords merged = MergedWordsOf(texts); merged.Merged) {
            Add(FindingId::MergedWords, Severity::ShowsWrong, ly, lt, s_.LyricSyllables.front(),
                merged.Marked ? Repair::AddWordGaps : Repair::None);
        }
        if (NeedsLineEnds(song_, s_)) {
            Add(FindingId::NoLineEnds, Severity::Advice, ly, lt, s_.LyricSyllables.front(),
                Repair::AddLineEnds);
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
            auto time = [&](size_t j) { return song_.Tracks[lt].At(s_.LyricSyllables[j]).Tick; };
            const int32_t before = time(k - 1) - time(k - 2);
            const int32_t after = time(k) - time(k - 1);
            // A line's last syllable is often held long before its line end;
            // the line end is late only when the singing goes straight on
            // after it, with the pause before the syllable it follows.
            const bool goes_on = k + 1 < s_.LyricSyllables.size() && time(k + 1) - time(k) < pause;
            // A line end that comes as the syllable's note is over closes
            // the line that syllable ends ("Hal-le-lu" held long, "jah",
            // the line end as "jah" stops): not late.
            if (before >= pause && after > 0 && after * 2 < before && goes_on &&
                !NoteOverBy(time(k - 1), time(k))) {
                Add(FindingId::LateLineEnd, Severity::ShowsWrong, ly, lt, s_.LyricSyllables[k]);
            }
        }
    }

    // Whether a note (drums aside) starts at `start` and has ended by `end`.
    bool NoteOverBy(int32_t start, int32_t end) const {
        for (const Track& track : song_.Tracks) {
            std::optional<Event> open;
            for (const Event& e : track) {
                if (e.Tick > end) break;
                if (!open && e.IsNoteOn() && e.Tick == start && e.Channel != 9) {
                    open = e;
                } else if (open && e.IsNoteOff() && e.Channel == open->Channel &&
                           e.Data1 == open->Data1) {
                    return true;
                }
            }
        }
        return false;
    }

    void BothChecks() {
        const auto both = PlayerFamily::Both;
        if (IsDuplicate(song_, s_)) {
            Add(FindingId::DuplicateWords, Severity::Advice, both, s_.LyricTrack, -1,
                Repair::DropDuplicate);
        }
        if (s_.LyricTracks > 1 || s_.KaraokeTracks > 1) {
            Add(FindingId::SeveralWordTracks, Severity::Advice, both, -1, -1, Repair::None,
                {std::max(s_.LyricTracks, s_.KaraokeTracks), 0});
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
        // The same among the texts that players show as words (lyrics and
        // text events, tags included): a copyright or a track name in
        // another encoding than the words leaves the words as they show.
        int32_t utf8_words = 0, legacy_words = 0;
        for (const auto [t, i, e] : song_.AllEvents()) {
            if (!e.IsTextMeta()) continue;
            std::string_view text = song_.Tracks[t].Body(e);
            if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; })) continue;
            const bool words = e.IsLyric() || e.IsText();
            if (is_utf8_(text)) {
                utf8_words += words;
                if (utf8++ == 0) utf8_t = t, utf8_i = i;
            } else {
                legacy_words += words;
                if (legacy++ == 0) legacy_t = t, legacy_i = i;
            }
        }
        if (utf8 > 0 && legacy > 0) {
            const bool words_mixed = utf8_words > 0 && legacy_words > 0;
            Add(FindingId::MixedEncodings, words_mixed ? Severity::ShowsWrong : Severity::Advice,
                both, legacy_t, legacy_i, Repair::OneEncoding, {utf8, legacy});
        } else if (legacy > 0) {
            Add(FindingId::LegacyEncoding, Severity::Advice, both, legacy_t, legacy_i,
                Repair::OneEncoding);
        } else if (utf8 > 0) {
            Add(FindingId::Utf8Encoding, Severity::Advice, both, utf8_t, utf8_i,
                Repair::OneEncoding);
        }
    }

    void TimeChecks(int16_t t, const std::vector<int32_t>& syllables) {
        if (t < 0) return;
        for (size_t k = 1; k < syllables.size(); ++k) {
            if (song_.Tracks[t].At(syllables[k]).Tick < song_.Tracks[t].At(syllables[k - 1]).Tick) {
                Add(FindingId::TimeBackwards, Severity::ShowsWrong, PlayerFamily::Both, t,
                    syllables[k]);
            }
        }
        if (song_.Format == 2) return;
        std::optional<int32_t> last_note;
        for (const auto [u, i, e] : song_.AllEvents())
            if (e.IsNoteOn() || e.IsNoteOff()) last_note = std::max(last_note.value_or(0), e.Tick);
        if (!last_note) return;
        int32_t late = 0, first = -1;
        for (int32_t i : syllables) {
            const Event& e = song_.Tracks[t].At(i);
            if (e.Tick > *last_note && HasVisible(song_.Tracks[t].Body(e)) && late++ == 0)
                first = i;
        }
        if (late > 0) {
            Add(FindingId::AfterLastNote, Severity::Advice, PlayerFamily::Both, t, first,
                Repair::None, {late, 0});
        }
    }

    const Song& song_;
    const Survey s_;
    const Utf8Test& is_utf8_;
    std::vector<Finding> findings_;
};

// Every finding's id with its text, the one place the texts are written.
constexpr std::pair<FindingId, std::string_view> kFindingIds[] = {
    {FindingId::LyricsOnly, "sk-lyrics-only"},
    {FindingId::NotFormat1, "sk-format"},
    {FindingId::NoKaraokeHeader, "sk-no-at-k"},
    {FindingId::LateKaraokeHeader, "sk-late-at-k"},
    {FindingId::EmptyKaraokeHeader, "sk-empty-header"},
    {FindingId::NoWordsTrack, "sk-no-words-track"},
    {FindingId::MarkInsideText, "sk-mark-inside"},
    {FindingId::LongParagraph, "sk-long-paragraph"},
    {FindingId::LongLine, "sk-long-line"},
    {FindingId::KaraokeTextOnly, "ly-karaoke-only"},
    {FindingId::SplitWords, "ly-split-words"},
    {FindingId::MergedWords, "ly-merged-words"},
    {FindingId::NoLineEnds, "ly-no-line-ends"},
    {FindingId::LateLineEnd, "ly-late-line-end"},
    {FindingId::NulBytes, "ly-nul"},
    {FindingId::DuplicateWords, "both-duplicate"},
    {FindingId::SeveralWordTracks, "both-several-tracks"},
    {FindingId::MixedEncodings, "enc-mixed"},
    {FindingId::LegacyEncoding, "enc-legacy"},
    {FindingId::Utf8Encoding, "enc-utf8"},
    {FindingId::TimeBackwards, "both-time-backwards"},
    {FindingId::AfterLastNote, "both-after-last-note"},
};

}  // namespace

std::string_view FindingIdText(FindingId Id) {
    for (const auto& [id, text] : kFindingIds) {
        if (id == Id) return text;
    }
    return "";
}

bool ParseFindingId(std::string_view Text, FindingId& Id) {
    for (const auto& [id, text] : kFindingIds) {
        if (text == Text) {
            Id = id;
            return true;
        }
    }
    return false;
}

std::vector<Finding> CheckSong(const Song& song, const Utf8Test& IsUtf8) {
    return Checker(song, IsUtf8).Run();
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
        {Repair::AddWordGaps, "add-word-gaps"},
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

}  // namespace verselane
