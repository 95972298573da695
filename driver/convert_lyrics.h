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
#include "model/midi_file.h"

namespace verselane {

// Values of ConversionDialog::Choice.
constexpr int16_t kChoiceNone = 0;  // no button clicked yet in this run
constexpr int16_t kChoiceCancel = 1;
constexpr int16_t kChoiceLyricsToText = 2;     // "Convert &Lyrics -> Text"
constexpr int16_t kChoiceKaraokeToLyrics = 3;  // "Convert &Karaoke Text -> Lyrics"

// The conversion dialog (LyrCopy). List entries are track names as bytes.
class ConversionDialog {
  public:
    virtual ~ConversionDialog() = default;

    // "Copy lyrics from:" (Tracks).
    virtual void ClearTracks() = 0;
    virtual void AddTrack(const std::string& Name) = 0;
    virtual void SelectTrack(int Index) = 0;

    // "Insert Lyrics Track After:" (Tracks2).
    virtual void ClearTracks2() = 0;
    virtual void AddTrack2(const std::string& Name) = 0;
    virtual int Tracks2Count() const = 0;
    virtual void SelectTrack2(int Index) = 0;

    // Enabled states of "Convert &Karaoke Text -> Lyrics" (Command1) and
    // "Convert &Lyrics -> Text" (Command2).
    virtual void SetKaraokeToLyricsEnabled(bool Enabled) = 0;
    virtual void SetLyricsToTextEnabled(bool Enabled) = 0;

    // Whether "Keep Karaoke Lyrics" (KeepKar) is checked.
    virtual bool KeepKaraoke() const = 0;

    // Shows the dialog modally; returns once it is hidden.
    virtual void ShowModal() = 0;
    // Unloads the dialog: its controls go back to their initial states. The
    // public values below are not touched.
    virtual void Unload() = 0;

    // Set by the dialog's buttons; they keep their values for the whole run.
    int16_t Choice = kChoiceNone;
    int16_t FromIndex = 0;   // selected index of Tracks at the click, -1 for none
    int16_t AfterIndex = 0;  // selected index of Tracks2 at the click, -1 for none
};

// The karaoke information dialog (KarInf). Texts are returned as the bytes
// to store in the song.
class KaraokeInfoDialog {
  public:
    virtual ~KaraokeInfoDialog() = default;
    // Fills the boxes with what the song says of itself (bytes of the song,
    // empty where it says nothing), before the dialog is shown.
    virtual void Propose(const KaraokeInfo&) {}
    virtual void ShowModal() = 0;
    virtual std::string Language() const = 0;  // Lang
    virtual std::string Title() const = 0;     // SongT
    virtual std::string Artist() const = 0;    // SongA
};

// What the driver needs from the application around the dialogs.
class ConversionHost {
  public:
    virtual ~ConversionHost() = default;
    // A message box with an OK button and the application's title.
    virtual void ShowMessage(const std::string& Text) = 0;
    // The application-wide wait cursor on (true) or back to the default (false).
    virtual void SetWaitCursor(bool Waiting) = 0;
};

// The message shown when the song has neither lyrics nor karaoke text.
constexpr const char* kNothingToConvert = "No Text or Lyric events were found.";

// Fills the conversion dialog with every track of the song, track 0
// included (list index k is track k; "Insert Lyrics Track After:" ends with
// "NEW TRACK", which stands for after the last track), preselects the track
// that most likely holds the words, enables the directions the song has
// material for and shows the dialog. A list without selection (-1) stands
// for track 0. Lyrics to text asks for the karaoke
// information and runs LyricsToKaraoke; karaoke text to lyrics runs
// KaraokeToLyrics. Returns true when the dialog was closed by anything but
// Cancel, false when there was nothing to convert or the user cancelled.
bool ConvertLyrics(MidiFile& Song, ConversionDialog& LyrCopy, KaraokeInfoDialog& KarInf,
                   ConversionHost& Host);

}  // namespace verselane
