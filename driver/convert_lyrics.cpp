#include "driver/convert_lyrics.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"
#include "workflow/information.h"
#include "workflow/words_track.h"

namespace verselane {

namespace {

// Puts the default pointer back however the conversion ends, so an error
// inside a converter cannot leave the application showing the wait cursor.
class WaitCursor {
  public:
    explicit WaitCursor(ConversionHost& host) : host_(host) { host_.SetWaitCursor(true); }
    ~WaitCursor() { host_.SetWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    ConversionHost& host_;
};

// A list index as a track: -1 (nothing selected) stands for track 0.
int16_t TrackOf(int16_t index) {
    return std::max<int16_t>(index, 0);
}

ConversionDirection DirectionOf(ConversionChoice choice) {
    return choice == ConversionChoice::LyricsToText ? ConversionDirection::LyricsToKaraoke
                                                    : ConversionDirection::KaraokeToLyrics;
}

}  // namespace

KaraokeInfo ProposedKaraokeInfo(const Song& Song) {
    return workflow::ProposedInformation(Song);
}

bool ConvertLyrics(Song& Song, const SongFacts& Facts, ConversionDialog& Dialog,
                   KaraokeInfoDialog& InfoDialog, ConversionHost& Host) {
    Dialog.ClearTracks();
    Dialog.ClearInsertionPoints();

    // Fill both lists, one entry per track, and guess the words track from the
    // names. Within each guess the last matching track wins.
    const int16_t tracks = Song.TrackCount();
    const std::vector<TrackMaterial> materials = MaterialOfTracks(Song);
    for (int16_t t = 0; t < tracks; ++t) {
        const std::string& name = Song.Tracks[static_cast<size_t>(t)].Name;
        Dialog.AddTrack(t, name, materials[static_cast<size_t>(t)]);
        Dialog.AddInsertionPoint(name);
    }
    // The source offered is the words track of both programs; a lyrics or
    // words name picks the destination by a vocal name, else a new track.
    const TrackNameGuesses guesses = GuessWordsTracks(Song);
    const bool named_source = guesses.Lyrics >= 0 || guesses.Words >= 0;

    Dialog.AddInsertionPoint("NEW TRACK");
    const int NewTrackIndex = Dialog.InsertionPointCount() - 1;

    // Texts that are not karaoke text (a credit, a title) are not words.
    const bool text =
        !Facts.KaraokeText.empty() &&
        std::ranges::any_of(materials, [](const TrackMaterial& m) { return m.TextEvents > 0; });
    const bool lyrics = !Facts.LyricText.empty();

    // Without words: track 1 (the first track after a conductor track), or
    // track 0 when it is the only one.
    if (tracks > 0) {
        const int16_t fallback = tracks >= 2 ? 1 : 0;
        Dialog.SelectTrack(fallback);
        Dialog.SelectInsertionPoint(fallback);
    }
    if (const std::optional<workflow::WordsSource> words = workflow::SongWords(Song)) {
        Dialog.SelectTrack(words->Track);
    }
    if (!named_source) {
        Dialog.SelectInsertionPoint(NewTrackIndex);
    } else if (guesses.Vocal >= 0) {
        Dialog.SelectInsertionPoint(guesses.Vocal);
    }

    if (!text && !lyrics) {
        Host.Refuse({});
        return false;
    }

    Dialog.ShowModal();
    if (Dialog.Choice == ConversionChoice::Cancel) {
        Dialog.Unload();
        return false;
    }

    int16_t SourceTrack = TrackOf(Dialog.FromIndex);
    const bool KeepKaraoke = Dialog.KeepKaraoke();
    const bool KeepLyrics = Dialog.KeepLyrics();
    if (Dialog.Choice == ConversionChoice::LyricsToText ||
        Dialog.Choice == ConversionChoice::KaraokeToLyrics) {
        const ConversionDirection direction = DirectionOf(Dialog.Choice);
        if (!HoldsMaterial(MaterialOf(Song, SourceTrack), direction)) {
            Host.Refuse({ConversionRefusal::TrackWithoutMaterial, SourceTrack, direction});
            return false;
        }
    }
    if (Dialog.Choice == ConversionChoice::LyricsToText) {
        InfoDialog.Propose(ProposedKaraokeInfo(Song));
        if (!InfoDialog.ShowModal()) return false;
        KaraokeInfo Info;
        Info.Language = InfoDialog.Language();
        Info.Title = InfoDialog.Title();
        Info.Artist = InfoDialog.Artist();
        WaitCursor wait(Host);
        LyricsToKaraoke(Song, SourceTrack, Info, KeepLyrics);
    } else if (Dialog.Choice == ConversionChoice::KaraokeToLyrics) {
        WaitCursor wait(Host);
        KaraokeToLyrics(Song, SourceTrack, KeepKaraoke);
    }
    return true;
}

}  // namespace verselane
