// Arbitrary bytes as a song through what the desktop program does with a
// file it opens: the check and each of its repairs, the timing editor's
// edits and their undo, and words from a lyric sheet put onto its melody.
//
// Any crash, sanitizer report, hang or memory blow-up is a finding; so is a
// repaired, edited or aligned song that cannot be written or does not read
// back, and an undo that does not give back the song as it was.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "align/align_error.h"
#include "align/song_words.h"
#include "check/song_check.h"
#include "editing/edit_error.h"
#include "editing/timed_words.h"
#include "encoding/encoding_detection.h"
#include "fuzz/fuzz_support.h"

using namespace verselane;

namespace {

using fuzz::Check;

// The song's bytes: the writer writes every song the reader or an edit
// makes (long gaps get fillers).
std::string Written(const Song& song) {
    return fuzz::EncodeOrDie(song, "a song cannot be written");
}

void ReadsBack(const std::string& bytes, const char* what) {
    Song back;
    Check(fuzz::ReadsBack(bytes, back), what);
}

void CheckAndRepair(const Song& song) {
    for (const Finding& finding : CheckSong(song, Utf8TestFor(song))) {
        if (finding.Fix == Repair::None) continue;
        Song repaired = song;
        ApplyRepair(repaired, finding.Fix);
        ReadsBack(Written(repaired), "a repaired song does not read back");
    }
}

// One edit of each kind the input's bytes pick, each undone at once: the
// song must come back byte for byte.
void EditAndUndo(const Song& song, std::string_view picks) {
    std::optional<editing::TimedWords> words;
    try {
        words.emplace(song);
    } catch (const editing::EditError&) {
        return;  // no sung words
    } catch (const RuntimeError&) {
        return;
    }
    for (size_t p = 0; p + 1 < picks.size() && p < 16; p += 2) {
        const size_t count = words->Count();
        if (count == 0) break;
        const size_t s = static_cast<uint8_t>(picks[p + 1]) % count;
        const auto step = static_cast<int8_t>(picks[p + 1]);
        // Near the largest tick the edit goes as far as a tick goes.
        const auto tick = static_cast<int32_t>(std::clamp<int64_t>(
            int64_t{words->Syllables()[s].Tick} + step * 7, INT32_MIN, INT32_MAX));
        const editing::Edit edits[] = {
            editing::Edit::MoveTo(s, tick),
            editing::Edit::MoveToNote(s, step < 0 ? -1 : 1),
            editing::Edit::Nudge(s, step),
            editing::Edit::Split(s, 1),
            editing::Edit::MergeNext(s),
            editing::Edit::Hold(s),
            editing::Edit::SkipNote(s),
            editing::Edit::StartLine(s),
            editing::Edit::JoinLine(s),
            editing::Edit::Delete(s),
            editing::Edit::Insert(s, "la ", tick),
            editing::Edit::Drag(s, tick),
        };
        const editing::Edit& edit = edits[static_cast<uint8_t>(picks[p]) % std::size(edits)];
        const std::string before = Written(words->EditedSong());
        editing::Edit undo;
        try {
            undo = words->Apply(edit);
        } catch (const editing::EditError&) {
            Check(Written(words->EditedSong()) == before, "a refused edit changed the song");
            continue;
        }
        ReadsBack(Written(words->EditedSong()), "an edited song does not read back");
        words->Apply(undo);
        Check(Written(words->EditedSong()) == before, "undo does not give the song back");
        words->Apply(edit);  // and again, so that the next edit starts from this one
    }
    ReadsBack(Written(words->SongToWrite(editing::SaveAs::Both)),
              "the edited song with both streams does not read back");
}

void AlignOnto(const Song& song) {
    align::SheetRequest request;
    request.SheetUtf8 = "Twin-kle twin-kle lit-tle star\nhow I won-der what you are\n";
    request.Language = "en";
    align::SheetAlignment aligned;
    try {
        aligned = align::AlignSheet(song, request);
    } catch (const align::AlignError&) {
        return;
    }
    const auto& placed = aligned.Placement.Syllables;
    for (size_t s = 1; s < placed.size(); ++s)
        Check(placed[s].Tick >= placed[s - 1].Tick, "syllables out of sheet order");
    Song with_words = song;
    SongFacts facts;
    align::PutWords(with_words, facts, align::LyricTexts(aligned.Sheet), aligned.Placement,
                    align::WordsOutput::Both, {}, true);
    ReadsBack(Written(with_words), "a song with aligned words does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Song song;
    SongFacts facts;
    if (!ReadSongBytes(song, facts, bytes).SongUsable()) return 0;
    CheckAndRepair(song);
    // The edits' choices come from the input's last bytes.
    EditAndUndo(song, bytes.substr(size > 16 ? size - 16 : 0));
    AlignOnto(song);
    return 0;
}
