#include "lyrics/convert_lyrics.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "lyrics/converters.h"

namespace verselane {

namespace {

bool Contains(std::string_view name, std::string_view part) {
    return name.find(part) != std::string_view::npos;
}

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

// The first track holding events of an enabled direction: lyric events when
// lyrics can be converted, karaoke text events when text can be.
std::optional<int16_t> TrackWithMaterial(const MidiFile& Song, int16_t count, bool lyrics,
                                         bool text) {
    for (int16_t t = 0; t < count; ++t) {
        const MidiTrack& track = Song.Track(t);
        if (!track.HasEvents()) continue;
        const int32_t stored = static_cast<int32_t>(track.Stored().size());
        const int32_t events = std::min(Song.Count(t), stored);
        for (int32_t i = 0; i < events; ++i) {
            const MidiEvent& e = track.Stored()[i];
            if (e.Kind != kKindMeta || e.Data.empty()) continue;
            if ((lyrics && e.Channel == kMetaLyric) || (text && e.Channel == kMetaText)) return t;
        }
    }
    return std::nullopt;
}

}  // namespace

int16_t OfferedTrackCount(const MidiFile& Song) {
    return std::clamp<int16_t>(Song.Header.NumTracks, 0, std::max<int16_t>(Song.TrackSlots, 0));
}

bool ConvertLyrics(MidiFile& Song, ConversionDialog& LyrCopy, KaraokeInfoDialog& KarInf,
                   ConversionHost& Host) {
    LyrCopy.ClearTracks();
    LyrCopy.ClearTracks2();

    // Fill both lists, one entry per track, and guess the words track from the
    // names. Within each guess the last matching track wins.
    const int16_t tracks = OfferedTrackCount(Song);
    std::optional<int16_t> WordsGuess, LyricsGuess, VocalGuess;
    for (int16_t t = 0; t < tracks; ++t) {
        const std::string& name = Song.TrackName.at(t);
        LyrCopy.AddTrack(name);
        LyrCopy.AddTrack2(name);
        if (Contains(name, "ords") || Contains(name, "cals")) WordsGuess = t;
        if (Contains(name, "rics")) LyricsGuess = t;
        if (Contains(name, "oc") || Contains(name, "oi")) VocalGuess = t;
    }
    const std::optional<int16_t> SourceGuess = LyricsGuess ? LyricsGuess : WordsGuess;

    LyrCopy.AddTrack2("NEW TRACK");
    const int NewTrackIndex = LyrCopy.Tracks2Count() - 1;

    const bool text = !Song.KaraokeText.empty();
    const bool lyrics = !Song.LyricText.empty();

    // The default: track 1 (the first track after a conductor track), or
    // track 0 when it is the only one.
    if (tracks > 0) {
        const int16_t fallback = tracks >= 2 ? 1 : 0;
        LyrCopy.SelectTrack(fallback);
        LyrCopy.SelectTrack2(fallback);
    }
    if (SourceGuess) {
        LyrCopy.SelectTrack(*SourceGuess);
        if (VocalGuess) LyrCopy.SelectTrack2(*VocalGuess);
    } else {
        if (VocalGuess) {
            LyrCopy.SelectTrack(*VocalGuess);
        } else if (auto material = TrackWithMaterial(Song, tracks, lyrics, text)) {
            LyrCopy.SelectTrack(*material);
        }
        LyrCopy.SelectTrack2(NewTrackIndex);
    }

    LyrCopy.SetKaraokeToLyricsEnabled(text);
    LyrCopy.SetLyricsToTextEnabled(lyrics);
    if (!text && !lyrics) {
        Host.ShowMessage(kNothingToConvert);
        return false;
    }

    LyrCopy.ShowModal();
    if (LyrCopy.Choice == kChoiceCancel) {
        LyrCopy.Unload();
        return false;
    }

    WaitCursor wait(Host);
    int16_t SourceTrack = TrackOf(LyrCopy.FromIndex);
    const int16_t InsertAfter = TrackOf(LyrCopy.AfterIndex);
    const bool KeepKaraoke = LyrCopy.KeepKaraoke();
    if (LyrCopy.Choice == kChoiceLyricsToText) {
        KarInf.ShowModal();
        KaraokeInfo Info;
        Info.Language = KarInf.Language();
        Info.Title = KarInf.Title();
        Info.Artist = KarInf.Artist();
        LyricsToKaraoke(Song, SourceTrack, Info);
    } else if (LyrCopy.Choice == kChoiceKaraokeToLyrics) {
        KaraokeToLyrics(Song, SourceTrack, InsertAfter, KeepKaraoke);
    }
    return true;
}

}  // namespace verselane
