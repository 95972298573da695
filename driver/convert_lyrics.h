// The conversion driver: one lyric conversion of the loaded song from start
// to end.
//
// The driver talks to its dialogs through the small interfaces below, so it
// builds and runs without any windowing toolkit: the desktop program gives it
// its Qt dialogs, the tests give it scripted ones.
#pragma once

#include <cstdint>
#include <string>

#include "lyrics/converters.h"
#include "lyrics/track_choice.h"
#include "model/song.h"
#include "model/song_facts.h"

namespace verselane {

// The button that closed the conversion dialog.
enum class ConversionChoice : int16_t {
    None,  // no button clicked yet in this run
    Cancel,
    LyricsToText,     // "Convert &Lyrics -> Text"
    KaraokeToLyrics,  // "Convert &Karaoke Text -> Lyrics"
};

// The conversion dialog. Track names are bytes.
class ConversionDialog {
  public:
    virtual ~ConversionDialog() = default;

    // "Copy lyrics from:" (Tracks): one entry per track, with its number,
    // its name and what it holds. The direction buttons follow the material
    // of the selected entry.
    virtual void ClearTracks() = 0;
    virtual void AddTrack(int16_t Number, const std::string& Name,
                          const TrackMaterial& Material) = 0;
    virtual void SelectTrack(int Index) = 0;

    // "Insert Lyrics Track After:" (the list whose objectName is "Tracks2").
    virtual void ClearInsertionPoints() = 0;
    virtual void AddInsertionPoint(const std::string& Name) = 0;
    virtual int InsertionPointCount() const = 0;
    virtual void SelectInsertionPoint(int Index) = 0;

    // Whether "Keep Karaoke Lyrics" (KeepKar) is checked: karaoke text to
    // lyrics keeps the text events beside the new lyrics.
    virtual bool KeepKaraoke() const = 0;
    // Whether "Keep Lyric Events" (KeepLyrics) is checked: lyrics to text
    // keeps the lyric events beside the new karaoke text.
    virtual bool KeepLyrics() const = 0;

    // Shows the dialog modally; returns once it is hidden.
    virtual void ShowModal() = 0;
    // Unloads the dialog: its controls go back to their initial states. The
    // public values below are not touched.
    virtual void Unload() = 0;

    // Set by the dialog's buttons; they keep their values for the whole run.
    ConversionChoice Choice = ConversionChoice::None;
    int16_t FromIndex = 0;   // selected index of Tracks at the click, -1 for none
    int16_t AfterIndex = 0;  // selected index of Tracks2 at the click, -1 for none
};

// The karaoke information dialog. Texts are handed over and
// returned as the bytes stored in the song.
class KaraokeInfoDialog {
  public:
    virtual ~KaraokeInfoDialog() = default;
    // Fills the boxes with what is proposed for this song.
    virtual void Propose(const KaraokeInfo& Info) = 0;
    // Shows the dialog modally: true for Done, false for Cancel (which
    // cancels the whole conversion).
    virtual bool ShowModal() = 0;
    virtual std::string Language() const = 0;  // Lang
    virtual std::string Title() const = 0;     // SongT
    virtual std::string Artist() const = 0;    // SongA
};

// Why a conversion was refused, for the application to word: the song holds
// neither lyrics nor karaoke text, or the chosen track holds nothing for the
// direction chosen.
struct ConversionRefusal {
    enum Reason { NothingToConvert, TrackWithoutMaterial };
    Reason Why = NothingToConvert;
    int16_t Track = -1;  // TrackWithoutMaterial: the track chosen
    ConversionDirection Direction = ConversionDirection::LyricsToKaraoke;
    bool operator==(const ConversionRefusal&) const = default;
};

// What the driver needs from the application around the dialogs.
class ConversionHost {
  public:
    virtual ~ConversionHost() = default;
    // Tells why the conversion was refused, in a message box with an OK button.
    virtual void Refuse(const ConversionRefusal& Refusal) = 0;
    // The application-wide wait cursor on (true) or back to the default (false).
    virtual void SetWaitCursor(bool Waiting) = 0;
};

// The information lines proposed for a song: workflow::ProposedInformation,
// the same as the command line's.
KaraokeInfo ProposedKaraokeInfo(const Song& Song);

// Fills the conversion dialog with every track of the song, track 0
// included (list index k is track k; "Insert Lyrics Track After:" ends with
// "NEW TRACK", which stands for after the last track), preselects the track
// that most likely holds the words and shows the dialog. A list without
// selection (-1) stands for track 0. A track without material for the chosen
// direction is refused with a message that says why. Lyrics to text proposes
// the song's own information, asks for it and runs LyricsToKaraoke; karaoke
// text to lyrics runs KaraokeToLyrics. Returns true when the dialog was
// closed by anything but Cancel and nothing was refused, false when there was
// nothing to convert or the user cancelled either dialog. Whether the song
// holds words is told by the words the read found (`Facts`).
bool ConvertLyrics(Song& Song, const SongFacts& Facts, ConversionDialog& Dialog,
                   KaraokeInfoDialog& InfoDialog, ConversionHost& Host);

}  // namespace verselane
