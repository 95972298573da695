#include "cli/outcome_text.h"

#include <cstdio>
#include <cstring>

namespace verselane::cli {

namespace {

std::string TrackText(int32_t track) {
    return "track " + std::to_string(track);
}

// A kind's description, with the detail after it when there is one.
std::string Described(ErrorKind kind, const std::string& detail) {
    std::string text = ErrorKindText(kind);
    if (!detail.empty()) text += ": " + detail;
    return text;
}

}  // namespace

std::string FaultMessage(const ReadFault& Fault) {
    const std::string track = TrackText(Fault.Track);
    const std::string where = "In " + track + " at byte " + std::to_string(Fault.Byte) + ", ";
    const std::string rest = "; the rest of the track is not read.";
    switch (Fault.Kind) {
        case ReadFaultKind::EmptyFile:
            return "File is empty: it holds no MIDI song.";
        case ReadFaultKind::NotMidi:
            return "Failed to find MThd header for file.";
        case ReadFaultKind::FileNotFound:
        case ReadFaultKind::FileAccess:
        case ReadFaultKind::OutOfMemory:
        case ReadFaultKind::BrokenSong:
            return std::string(kErrorPrefix) + Fault.Detail;
        case ReadFaultKind::TrackMissing:
        case ReadFaultKind::TracksMissing:
            return "Failed to find MTrk track header for " + track;
        case ReadFaultKind::CutShort:
            return "File is cut short inside " + track + ".";
        case ReadFaultKind::EventPastChunk:
            return where + "an event runs past the end of its chunk; it is not read.";
        case ReadFaultKind::LongNumber:
            return where + "a variable-length number runs past four bytes" + rest;
        case ReadFaultKind::NoStatus:
            return where + "a data byte comes with no status in effect" + rest;
        case ReadFaultKind::HighDataByte:
            return where + "a byte of 0x80 or above stands where a data byte is due" + rest;
        case ReadFaultKind::UndefinedStatus: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(Fault.Value));
            return where + "the status byte " + hex + " belongs to no message; it is left out.";
        }
        case ReadFaultKind::SysExHighByte:
            return where +
                   "a system-exclusive message holds a byte of 0x80 or above; it is left out.";
        case ReadFaultKind::EventsAfterEnd:
            return where + "an end of track comes before " + std::to_string(Fault.Value) +
                   " more event" + (Fault.Value == 1 ? "" : "s") +
                   "; the track is read to its chunk's end and ends there.";
        case ReadFaultKind::ExtraTracks:
            if (Fault.Track == 0) {
                return "the header announces no tracks, but " + std::to_string(Fault.Value) +
                       " track chunk" + (Fault.Value > 1 ? "s follow" : " follows") +
                       " from byte " + std::to_string(Fault.Byte) + "; read.";
            }
            return std::to_string(Fault.Value) + " more track chunk" +
                   (Fault.Value > 1 ? "s" : "") + " from byte " + std::to_string(Fault.Byte) +
                   " beyond the " + std::to_string(Fault.Track) +
                   " that the header announces; not read.";
        case ReadFaultKind::UnknownFormat:
            return "The header's format " + std::to_string(Fault.Value) +
                   " is not 0, 1 or 2; the song is read as format 1.";
        case ReadFaultKind::SeveralTracksInFormat0:
            return "The header's format 0 holds one track, but the file holds " +
                   std::to_string(Fault.Value) + "; the song is read as format 1.";
        case ReadFaultKind::NoTiming:
            return "The header's division " + std::to_string(Fault.Value) +
                   " gives the events no time; the song is read at " +
                   std::to_string(kStandInDivision) + " ticks per quarter note.";
    }
    return "The file is damaged.";
}

std::string ReadMessage(const ReadOutcome& Read) {
    std::string text;
    for (const ReadFault& fault : Read.Faults) {
        if (!text.empty()) text += "\n";
        text += FaultMessage(fault);
    }
    return text;
}

std::string FindingText(const Finding& Found) {
    const auto number = [&](size_t k) { return std::to_string(Found.Numbers[k]); };
    switch (Found.Id) {
        case FindingId::LyricsOnly:
            return "The words are lyric events only; players that read only Soft Karaoke text "
                   "show none (to-karaoke adds it).";
        case FindingId::NotFormat1:
            return "The song is format " + number(0) + "; Soft Karaoke players read format 1 only.";
        case FindingId::NoKaraokeHeader:
            return "No \"@K\" line marks the song as Soft Karaoke.";
        case FindingId::LateKaraokeHeader:
            return "The \"@K\" line lies in track " + std::to_string(Found.Track) +
                   "; players look for it in the first two tracks only.";
        case FindingId::EmptyKaraokeHeader:
            return "A \"@K\" line but no karaoke text behind it.";
        case FindingId::NoWordsTrack:
            return "The karaoke text lies in track " + std::to_string(Found.Track) +
                   ", which is not named \"Words\".";
        case FindingId::MarkInsideText:
            return "A \"\\\" or \"/\" inside a text event is shown as a character, not a break.";
        case FindingId::LongParagraph:
            return "A paragraph of " + number(0) + " lines; the screen shows " + number(1) + ".";
        case FindingId::LongLine:
            return "A line of " + number(0) + " characters; the screen shows " + number(1) + ".";
        case FindingId::KaraokeTextOnly:
            return "The words are Soft Karaoke text only; keyboards and players that read lyric "
                   "events show none (to-lyrics adds them).";
        case FindingId::SplitWords:
            return "Every syllable ends in a space, so lyric readers split the words "
                   "(\"Twin kle\").";
        case FindingId::MergedWords:
            return "No lyric holds a space, so lyric readers run the words together.";
        case FindingId::NoLineEnds:
            return "No lyric ends a line, so lyric readers show the song as one endless line.";
        case FindingId::LateLineEnd:
            return "A line end in its own event comes after the first syllable of the next line, "
                   "which lyric readers then show at the end of the old line.";
        case FindingId::NulBytes:
            return number(0) + " word text(s) hold NUL bytes, which end the text for many players.";
        case FindingId::DuplicateWords:
            return "The same words are both lyric events and karaoke text; players that read both "
                   "show them twice.";
        case FindingId::SeveralWordTracks:
            return "Words lie in " + number(0) +
                   " tracks; players show them mixed or only those of one track.";
        case FindingId::MixedEncodings:
            return number(0) + " text(s) are UTF-8 and " + number(1) +
                   " in another encoding; no player shows both right.";
        case FindingId::LegacyEncoding:
            return "The texts are in a legacy code page, not UTF-8; players that expect UTF-8 "
                   "show other characters.";
        case FindingId::Utf8Encoding:
            return "The texts are UTF-8; older players and keyboards show each accented letter as "
                   "two or three others.";
        case FindingId::TimeBackwards:
            return "A syllable is timed before the one ahead of it.";
        case FindingId::AfterLastNote:
            return number(0) +
                   " syllable(s) come after the last note; players stop before they are shown.";
    }
    return std::string(FindingIdText(Found.Id));
}

std::string WriteFailureReason(const WriteFailure& Failure) {
    const std::string access = ErrorKindText(ErrorKind::FileAccess) + std::string(": ");
    switch (Failure.Kind) {
        case WriteFailureKind::NoFileName:
            return access + "no output file name given";
        case WriteFailureKind::Exists:
            return access + Failure.Path + " exists already; not replaced (--force replaces it)";
        case WriteFailureKind::SameAsInput:
            return access + Failure.Path + ": is the file being read";
        case WriteFailureKind::NotWritable:
            return access + Failure.Path +
                   ": neither a regular file, a character device nor a pipe; not written";
        case WriteFailureKind::NoAccess:
        case WriteFailureKind::FolderMissing:
        case WriteFailureKind::NoSpace:
        case WriteFailureKind::IsFolder:
        case WriteFailureKind::System:
            return access + Failure.Path + ": " + std::strerror(Failure.SystemCode);
        case WriteFailureKind::Unencodable: {
            std::string detail = Failure.Detail;
            if (Failure.Track >= 0) {
                detail = TrackText(Failure.Track) + ", event " + std::to_string(Failure.Event) +
                         ": " + detail;
            }
            return Described(Failure.Error, detail);
        }
        case WriteFailureKind::TrackTooLong:
            return Described(ErrorKind::Overflow, TrackText(Failure.Track) + " takes " +
                                                      std::to_string(Failure.Value) +
                                                      " bytes, more than a chunk holds");
        case WriteFailureKind::NegativeTrackCount:
            return Described(ErrorKind::Overflow, "a negative number of tracks");
        case WriteFailureKind::UntimedDivision:
            return Described(
                ErrorKind::InvalidArgument,
                "the division " + std::to_string(Failure.Value) + " gives the events no time");
        case WriteFailureKind::OutOfMemory:
            return ErrorKindText(ErrorKind::OutOfMemory);
        case WriteFailureKind::Unforeseen:
            break;
    }
    return Failure.Detail.empty() ? "Unknown error" : Failure.Detail;
}

std::string WriteFailureMessage(const WriteFailure& Failure) {
    return std::string(kErrorPrefix) + WriteFailureReason(Failure);
}

std::string ErrorDescription(const CaughtError& Error) {
    switch (Error.From) {
        case CaughtError::Runtime:
            return Described(Error.Kind, Error.Detail);
        case CaughtError::OutOfMemory:
            return ErrorKindText(ErrorKind::OutOfMemory);
        case CaughtError::Exception:
            return Error.Detail;
        case CaughtError::Unknown:
            break;
    }
    return "Unknown error";
}

}  // namespace verselane::cli
