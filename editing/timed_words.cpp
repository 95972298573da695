// The timed words of a song: reading the syllables and the melody, the
// doubts, applying edits with their inverses, and the song to save.
#include "editing/timed_words.h"

#include <algorithm>
#include <limits>

#include "align/melody.h"
#include "align/song_words.h"
#include "editing/edit_log.h"
#include "editing/melody_notes.h"
#include "editing/syllable_text.h"
#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "lyrics/track_choice.h"
#include "model/utf8.h"

namespace verselane::editing {

TimedWords::TimedWords(verselane::Song song, std::optional<LineSource> from, int16_t track)
    : song_(std::move(song)), tempo_(song_) {
    std::optional<LineSource> source = from ? from : PreferredLineSource(song_);
    if (!source) throw EditError(EditProblem::NoWordsStream);
    source_ = *source;
    const auto direction = source_ == LineSource::Lyrics ? ConversionDirection::LyricsToKaraoke
                                                         : ConversionDirection::KaraokeToLyrics;
    track_ = track >= 0 ? track : ChooseSourceTrack(song_, direction);
    if (track_ < 0 || track_ >= song_.TrackCount()) throw EditError(EditProblem::NoSungWords);
    // Times as `lyrics` gives them: in a format 2 song each pattern keeps
    // its own tempo, so the words track's own.
    tempo_ = TempoMap(song_, track_);
    const StreamSpec source_spec{track_, source_ == LineSource::Lyrics ? kMetaLyric : kMetaText};
    syllables_ = ReadSyllables(song_, source_spec);
    if (syllables_.empty()) throw EditError(EditProblem::NoSungWords);

    FindOtherStream();

    const std::vector<align::NoteLine> lines = align::NoteLines(song_);
    const align::MelodyChoice choice =
        align::ChooseMelody(lines, syllables_.size(), TicksPerBeat(song_.Division));
    if (choice.Line >= 0) {
        melody_ = lines[static_cast<size_t>(choice.Line)].Notes;
        melody_track_ = lines[static_cast<size_t>(choice.Line)].Track;
    }
    options_.Division = TicksPerBeat(song_.Division);
    options_.Metres = align::MetresOf(song_);
    std::string words;
    for (const TimedSyllable& s : syllables_) words += AsUtf8(s.Text) + ' ';
    language_ = align::SongLanguage(song_, words).first;
    const align::LyricSheet sheet = SheetOf(syllables_, 0, syllables_.size());
    if (sheet.SplitsFewWords()) {
        auto splitter = std::make_shared<align::SyllableSplitter>(language_);
        splitter->Prepare(words);
        if (align::WrittenWordByWord(sheet, *splitter)) splitter_ = std::move(splitter);
    }
    Index();
    WorkOutDoubts();
}

// The bytes of a syllable as UTF-8: as they are when they are UTF-8, else
// each byte as the Latin-1 letter it is in the common code pages.
std::string TimedWords::AsUtf8(const std::string& bytes) {
    return IsValidUtf8(bytes) ? bytes : Latin1AsUtf8(bytes);
}

std::vector<align::SyllableShape> TimedWords::ShapesOf(const std::vector<TimedSyllable>& Syllables,
                                                       size_t Begin, size_t End) const {
    return align::ShapesOf(SheetOf(Syllables, Begin, std::min(End, Syllables.size())), language_,
                           splitter_.get());
}

// One line or a few at a time: a drag re-aligns a line, and a song of
// tens of thousands of syllables would otherwise be gone through at each.
align::LyricSheet TimedWords::SheetOf(const std::vector<TimedSyllable>& syllables, size_t begin,
                                      size_t end) {
    align::LyricSheet sheet;
    for (size_t i = begin; i < end; ++i) {
        align::SheetSyllable& y = sheet.Syllables.emplace_back();
        y.Text = AsUtf8(syllables[i].Text);
        y.WordStart = syllables[i].WordStart;
        y.LineStart = syllables[i].LineStart || i == begin;
        y.ParagraphStart = syllables[i].ParagraphStart;
    }
    return sheet;
}

// The other stream follows when it holds the same syllables at the same ticks.
void TimedWords::FindOtherStream() {
    const bool other_karaoke = source_ == LineSource::Lyrics;
    const int16_t other =
        ChooseSourceTrack(song_, other_karaoke ? ConversionDirection::KaraokeToLyrics
                                               : ConversionDirection::LyricsToKaraoke);
    if (other < 0 || (other_karaoke && !HoldsMaterial(MaterialOf(song_, other),
                                                      ConversionDirection::KaraokeToLyrics)))
        return;
    const std::vector<TimedSyllable> theirs =
        ReadSyllables(song_, {other, other_karaoke ? kMetaText : kMetaLyric});
    if (theirs.empty()) return;
    bool same = theirs.size() == syllables_.size();
    for (size_t i = 0; same && i < theirs.size(); ++i)
        same = theirs[i].Text == syllables_[i].Text && theirs[i].Tick == syllables_[i].Tick;
    other_ = same ? OtherStream::Follows : OtherStream::Different;
    other_track_ = other;
}

void TimedWords::Index() {
    syllables_ =
        ReadSyllables(song_, {track_, source_ == LineSource::Lyrics ? kMetaLyric : kMetaText});
    // The syllables come in tick order: one walk along the melody finds the
    // first note at or after each.
    auto it = melody_.begin();
    for (TimedSyllable& s : syllables_) {
        if (it != melody_.begin() && std::prev(it)->Tick >= s.Tick) it = melody_.begin();
        while (it != melody_.end() && it->Tick < s.Tick) ++it;
        s.Note =
            it != melody_.end() && it->Tick == s.Tick ? static_cast<int>(it - melody_.begin()) : -1;
    }
}

std::pair<size_t, size_t> TimedWords::LineOf(size_t syllable) const {
    if (syllable >= syllables_.size()) return {syllable, syllable};
    size_t first = syllable;
    while (first > 0 && !syllables_[first].LineStart) --first;
    size_t end = syllable + 1;
    while (end < syllables_.size() && !syllables_[end].LineStart) ++end;
    return {first, end};
}

void TimedWords::WorkOutDoubts() {
    doubts_.clear();
    if (melody_.empty()) return;
    size_t first = 0;
    while (first < syllables_.size()) {
        const auto [begin, end] = LineOf(first);
        const int64_t low = begin > 0 ? syllables_[begin - 1].Tick : -1;
        const int64_t high =
            end < syllables_.size() ? syllables_[end].Tick : std::numeric_limits<int64_t>::max();
        const std::vector<align::SyllableShape> shapes = ShapesOf(syllables_, begin, end);
        const std::vector<align::MelodyNote> notes = NotesBetween(melody_, low, high);
        std::vector<align::Doubt> reasons(end - begin, align::Doubt::None);
        if (!notes.empty() && syllables_[begin].Tick > low) {
            try {
                const align::Alignment placed =
                    align::AlignSyllables(notes, shapes, {{0, syllables_[begin].Tick}}, options_);
                for (size_t i = begin; i < end; ++i)
                    if (placed.Syllables[i - begin].Reason == align::Doubt::CloseCall)
                        reasons[i - begin] = align::Doubt::CloseCall;
            } catch (const std::invalid_argument&) {
            }
        }
        for (size_t i = begin; i < end; ++i) {
            if (syllables_[i].Note < 0) reasons[i - begin] = align::Doubt::OffNote;
            if (reasons[i - begin] != align::Doubt::None)
                doubts_.push_back({i, reasons[i - begin]});
        }
        first = end;
    }
}

std::optional<size_t> TimedWords::NextDoubt(size_t from) const {
    if (doubts_.empty()) return std::nullopt;
    for (const DoubtMark& d : doubts_)
        if (d.Syllable > from) return d.Syllable;
    return doubts_.front().Syllable;
}

Edit TimedWords::Apply(const Edit& edit) {
    EditLog log(song_);
    try {
        if (edit.Kind == EditKind::Restore) {
            for (const EventEdit& c : edit.Changes) log.Apply(c);
        } else {
            Carry(log, edit);
        }
    } catch (...) {
        log.RollBack();
        Index();
        throw;
    }
    Index();
    Edit inverse;
    inverse.Kind = EditKind::Restore;
    inverse.Changes = log.InverseEdits();
    return inverse;
}

verselane::Song TimedWords::SongToWrite(SaveAs as) const {
    verselane::Song out = song_;
    if (as == SaveAs::AsEdited || (as == SaveAs::Both && other_ != OtherStream::None)) return out;
    const bool lyrics_source = source_ == LineSource::Lyrics;
    if (other_ != OtherStream::None) {
        // The song holds both: the stream not asked for goes (karaoke tags
        // stay). Other words there were left alone by the edits, and are
        // written as they are when they alone are asked for.
        const bool keep_lyrics = as == SaveAs::Lyrics;
        const int16_t lyrics_track = lyrics_source ? track_ : other_track_;
        const int16_t karaoke_track = lyrics_source ? other_track_ : track_;
        RemoveStream(out, keep_lyrics ? StreamSpec{karaoke_track, kMetaText}
                                      : StreamSpec{lyrics_track, kMetaLyric});
    } else if (lyrics_source && as != SaveAs::Lyrics) {
        int16_t track = track_;
        LyricsToKaraoke(out, track, SongKaraokeInfo(out), as == SaveAs::Both);
    } else if (!lyrics_source && as != SaveAs::Karaoke) {
        KaraokeToLyrics(out, track_, as == SaveAs::Both);
    }
    return out;
}

}  // namespace verselane::editing
