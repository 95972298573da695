// The two lyric conversions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/song.h"

namespace verselane {

// The information lines of a Soft Karaoke words track.
struct KaraokeInfo {
    std::string Language;
    std::string Title;
    std::string Artist;
    std::string ExtraText;  // not written by the conversion
};

// The information lines of a words track, in order: "@L" and the language,
// "@T" and the title, "@T" and the artist (each trimmed of spaces), then one
// credit line naming this program and its version.
std::vector<std::string> InformationLines(const KaraokeInfo& Info);

// Turns the lyric events of SourceTrack into Soft Karaoke text: a "Soft
// Karaoke" header track and a "Words" track inserted behind track 0, the
// words track holding the information lines and then one text event per
// piece of a lyric between line ends, at the lyric's time. A carriage return
// ends a line, a line feed a paragraph, and so does an empty line; a lyric
// may also open with a "\" or "/" mark of its own. The next word then opens
// with "\" (paragraph) or "/" (line). The words keep their spaces; a lyric of
// spaces alone is added to the word before, so no two words merge; a word
// that would open with "@" (a tag) gets a space in front. One end of track
// closes the words track. A line longer than a whole karaoke screen (four
// rows of 40 characters: lyrics that end no line) is broken at word gaps
// into lines of a row, where the words allow. On return SourceTrack names
// the same track of the grown song (2 higher, but track 0 stays 0: it does
// not move). A format 0 song becomes format 1. Without KeepLyrics the lyric
// events of the source track go, so that the song holds its words once, as
// karaoke text. A bad SourceTrack raises SubscriptOutOfRange, and a song
// without room for two more tracks Overflow, before anything changes.
void LyricsToKaraoke(Song& Song, int16_t& SourceTrack, const KaraokeInfo& Info,
                     bool KeepLyrics = true);

// Turns the sung karaoke text events of SourceTrack into lyric events: beside
// them when KeepKaraoke (each lyric right behind its text event; the track's
// name and instrument become empty), in their place otherwise. "@" tags are
// not sung: they stay text events and get no lyric. A lyric holds its
// syllable without the mark and adds nothing; a "\" mark becomes LF CR and a
// "/" mark CR at the end of the lyric before, and spaces opening a syllable
// move there too, ahead of the line end. The lyrics always stay in the
// source track. A bad SourceTrack raises SubscriptOutOfRange.
void KaraokeToLyrics(Song& Song, int16_t SourceTrack, bool KeepKaraoke);

}  // namespace verselane
