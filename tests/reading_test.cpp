// Reading: numbers, what a well-formed file fills in; damaged, odd
// and hostile input (RIFF-wrapped files among it), each with its outcome and
// exact message, keeping the whole events before a fault; the regression
// inputs that fuzzing found. (The bytes of every kind of event, read and
// written: writing_test.)
#include <sys/stat.h>

#include "cli/outcome_text.h"
#include "codec/midi_codec.h"
#include "lyrics/converters.h"
#include "reader/midi_reader.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;
constexpr size_t npos = std::string::npos;

// Fields appended to a buffer, and the bytes of a variable-length number
// both ways (the writer and the reader go through their inline forms).
TEST(Numbers, FieldsOfEveryWidthAndWhatDoesNotFit) {
    std::string out;
    WriteVarLen(out, 0x200000);
    WriteLong(out, 0x12345);
    WriteInteger(out, 480);
    EXPECT_EQ(out, Hex("81 80 80 00 00 01 23 45 01 E0"));
    VarLenBytes v = EncodeVarLen(0x3FFF);
    EXPECT_EQ(std::string(v.Bytes, v.Bytes + v.Count), Hex("FF 7F"));
    v.Bytes[1] |= 0x80;  // the last byte ends the number whatever its top bit
    EXPECT_EQ(DecodeVarLen(v), 0x3FFF);
    for (int32_t value : {-1, 0x10000000}) EXPECT_THROW(WriteVarLen(out, value), RuntimeError);
    EXPECT_THROW(WriteLong(out, -1), RuntimeError);
    EXPECT_THROW(WriteInteger(out, -1), RuntimeError);
    EXPECT_EQ(out.size(), 10u);
}

// The shortcut for plain channel messages decodes every sequence it takes
// as DecodeEvent does (event, end, running status) and leaves the rest to
// it: all sequences of five bytes from those that steer the decoding, under
// no running status, a two-byte and a one-byte one.
TEST(EventDecoding, PlainMessagesDecodeAsEveryEventDoes) {
    const uint8_t steering[] = {0x00, 0x7F, 0x80, 0x81, 0x90, 0xC3, 0xEF, 0xF0, 0xF8, 0xFF};
    int taken = 0;
    uint8_t bytes[5];
    for (int code = 0; code < 100000; ++code) {
        for (int i = 0, rest = code; i < 5; ++i, rest /= 10) bytes[i] = steering[rest % 10];
        for (uint8_t running : {0x00, 0x90, 0xC3}) {
            uint8_t plain_running = running, full_running = running;
            DecodedEvent plain, full;
            EventFault fault = EventFault::None;
            const uint8_t* plain_end = DecodePlainMessage(bytes, bytes + 5, plain_running, plain);
            if (plain_end == nullptr) continue;
            ++taken;
            const uint8_t* full_end = DecodeEvent(bytes, bytes + 5, full_running, full, fault);
            ASSERT_EQ(plain_end, full_end) << code << " " << int(running);
            ASSERT_EQ(std::tie(plain.Delta, plain.Status, plain.Data1, plain.Data2, plain_running),
                      std::tie(full.Delta, full.Status, full.Data1, full.Data2, full_running))
                << code << " " << int(running);
        }
    }
    EXPECT_GT(taken, 1000);
}

TEST(EventDecoding, MetaEventsFillTheSongWideFields) {
    Song song;
    SongFacts facts;
    const ReadOutcome read = ReadSongBytes(
        song, facts,
        Smf(1, 96,
            {Hex("00 FF 03 05 'Piano' 00 FF 04 03 'Org' 00 FF 02 03 '(c)'"
                 "00 FF 01 13 '@KMIDI KARAOKE FILE'"
                 "00 FF 01 04 '/one' 00 FF 01 04 '\\two' 00 FF 01 04 ' end' 00 FF 01 00"
                 "00 FF 05 03 'Hel' 00 FF 05 03 'lo\r' 00 FF 05 03 'you'"
                 "00 FF 51 03 07 A1 20 00 FF 51 03 00 00 00"  // 120 per minute, then a bad tempo
                 "00 FF 59 02 FF 01 00 FF 58 04 06 03 18 08 00 FF 58 04 03 02 18 08"),
             Hex("00 FF 03 02 'B2'")}));
    ASSERT_EQ(cli::ReadMessage(read), "");
    const Track& first = song.Tracks[0];
    EXPECT_EQ(first.Name + "|" + song.Tracks[1].Name + "|" + first.Instrument + "|" +
                  facts.Copyright + "|" + facts.KaraokeText + "|" + facts.LyricText,
              "Piano|B2|Org|(c)|@KMIDI KARAOKE FILE\r\n\r\n/one\r\n\r\n\\two end|Hello\r\nyou");
    // Only the first tempo, key and time signature count; every event is kept.
    EXPECT_EQ(std::make_tuple(facts.HasKaraokeText, facts.HasLyrics, facts.Tempo,
                              facts.KeySignature, facts.KeyMode, facts.TimeSigNumerator,
                              facts.TimeSigDenominator, first.Size(), first.Body(first[8])),
              std::make_tuple(true, true, 120, 255, 1, 6, 8, 16, "Hel"));
}

const std::string kNoHeader = "Failed to find MThd header for file.";
const std::string kEmpty = "File is empty: it holds no MIDI song.";
const std::string kNoTrack = "Failed to find MTrk track header for track ";
const std::string kError(cli::kErrorPrefix);
const std::string kAccess = kError + "File access error: *";
const char* const kInvalid = "Invalid procedure call or argument";
constexpr ReadResult kComplete = ReadResult::Complete, kPartial = ReadResult::Partial,
                     kFailed = ReadResult::Failed;

std::string CutShort(int track) {
    return "File is cut short inside track " + std::to_string(track) + ".";
}
std::string Damage(int track, int byte, const std::string& what, bool rest_lost = true) {
    return "In track " + std::to_string(track) + " at byte " + std::to_string(byte) + ", " + what +
           (rest_lost ? "; the rest of the track is not read." : "");
}
const std::string kPastChunk = "an event runs past the end of its chunk; it is not read.";
const std::string kNoStatus = "a data byte comes with no status in effect";
const std::string kAsFormat1 = "; the song is read as format 1.";
const std::string kUntimed =
    " gives the events no time; the song is read at 480 ticks per quarter note.";

// A header chunk whose length field says `length`, its fields, then `extra` bytes.
std::string Header(uint32_t length, const char* fields, const char* extra = "") {
    return "MThd" + std::string(3, '\0') + char(length) + Hex(fields) + Hex(extra);
}
// A RIFF file of `form` holding `chunks`.
std::string Riff(std::string_view form, const std::string& chunks) {
    const uint32_t n = static_cast<uint32_t>(chunks.size() + 4);
    return "RIFF" + std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)} +
           std::string(form) + chunks;
}
std::string Repeat(const char* readable, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += Hex(readable);
    return out;
}

// A small whole track: a name, one note, the end of the track.
const std::string kTrack = Hex("00 FF 03 04 'Song' 00 90 3C 64 60 80 3C 00 00 FF 2F 00");
const std::string kTrackChunk = Chunk("MTrk", kTrack);
const std::string kShort = Hex("00 90 3C 64 00 FF 2F 00");  // 2 events in 8 bytes
const std::string kShortChunk = Chunk("MTrk", kShort);

struct Row {
    std::string name;
    std::string bytes;  // read from memory, or written to `path` and read from there
    ReadResult result;
    std::string message = {};  // the messages one per line; '*' stands for any text between
    // Events of the first announced tracks.
    std::string shape = {};
    fs::path path = {};
    // kIdentical: the song writes back to the very same bytes; kOutside: what
    // is written reads in midicsv and mido without complaint.
    enum { kWritable, kIdentical, kOutside } written = kWritable;
    bool prefix = false;  // a cut corpus file: only its whole file is written back
};

bool Matches(const std::string& text, const std::string& pattern) {
    const size_t star = pattern.find('*');
    return star == npos ? text == pattern
                        : text.starts_with(pattern.substr(0, star)) &&
                              text.find(pattern.substr(star + 1), star) != npos;
}

// What midicsv and mido say about a file: empty when midicsv lists it with
// no unknown event and every track ending at its one end of track, and mido
// (Debian's, strict: data bytes below 0x80, no undefined status) loads it.
std::string OutsideReaders(const fs::path& file) {
    std::string listed, said;
    const std::string name = "'" + file.string() + "'";
    if (RunCommand("midicsv " + name + " 2>&1", &listed) != 0 ||
        listed.find("Unknown_event") != npos)
        return "midicsv: " + listed;
    for (size_t at = listed.find("End_track\n"); at != npos;
         at = listed.find("End_track\n", at + 1)) {
        const std::string_view next = std::string_view(listed).substr(at + 10);
        if (next.find("Start_track") > next.find('\n') && !next.starts_with("0, 0, End_of_file"))
            return "midicsv: an event after an end of track:\n" + listed;
    }
    if (RunCommand(
            "/usr/bin/python3 -c 'import mido,sys; mido.MidiFile(sys.argv[1])' " + name + " 2>&1",
            &said) != 0)
        return "mido: " + said;
    return "";
}

// The events of each of the first `most` tracks, then how many tracks there
// are when they are more; "none" for a song without tracks.
std::string Shape(const Song& song, int most = 4) {
    std::string out;
    for (int16_t t = 0; t < std::min<int>(song.TrackCount(), most); ++t)
        out += (t ? " " : "") + std::to_string(song.Tracks[t].Size());
    if (song.TrackCount() > most) out += " (" + std::to_string(song.TrackCount()) + " tracks)";
    return out.empty() ? "none" : out;
}

// Every prefix of a well-formed corpus file, each with the message that it
// must give, worked out from the chunk layout of the whole file: inside a
// chunk's type no track chunk is found, from its length field on the track
// is cut short.
void AddPrefixes(std::vector<Row>& rows, const fs::path& file) {
    const std::string whole = ReadAll(file);
    const std::vector<size_t> chunks = TrackChunks(whole);
    ASSERT_EQ(chunks.back(), whole.size()) << file << " must end with its last track";
    for (size_t p = 0; p <= whole.size(); ++p) {
        Row r{file.filename().string() + " cut to " + std::to_string(p), whole.substr(0, p),
              p < 14 ? kFailed : (p < whole.size() ? kPartial : kComplete)};
        r.prefix = true;
        if (p < 14) r.message = p == 0 ? kEmpty : kNoHeader;
        for (size_t i = 0; i + 1 < chunks.size() && p < whole.size() && p >= chunks[i]; ++i)
            r.message = p < chunks[i] + 4 ? kNoTrack + std::to_string(i) : CutShort(int(i));
        rows.push_back(std::move(r));
    }
}

TEST(BadInput, EveryDamagedOrHostileInputGivesItsOutcomeAndKeepsWhatWasWhole) {
    TempDir dir;
    WriteAll(dir / "plain", "not a folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    // Sparse: it takes no space on the disk, and is refused before reading.
    WriteAll(dir / "huge.mid", SmfHeader(0, 0, 96));
    fs::resize_file(dir / "huge.mid", uint64_t{3} << 30);
    WriteAll(dir / "holes.mid", SmfHeader(0, 1, 96) + Hex("'MTrk' 3F FF FF F0 00 90 3C 40"));
    fs::resize_file(dir / "holes.mid", uint64_t{1} << 30);
    const std::string two_tracks = SmfHeader(1, 2, 96), smf = Smf(0, 96, {kTrack});
    auto one = [](const char* events) { return Smf(1, 96, {Hex(events)}); };
    auto first_of_two = [&](const char* events) {
        return two_tracks + Chunk("MTrk", Hex(events)) + kTrackChunk;
    };
    auto in_event = [](const char* kind, const std::string& what) {
        return kError + kind + ": in track 0 at byte 22: " + what;
    };
    auto left_out = [](int at, const std::string& what) {
        return Damage(0, at, what + "; it is left out.", false);
    };
    std::string undefined;  // four status bytes that belong to no message, each left out
    for (int at = 26; const char* status : {"F4", "F5", "F9", "FD"}) {
        undefined += (at > 26 ? "\n" : "") + left_out(at, std::string("the status byte 0x") +
                                                              status + " belongs to no message");
        at += 2;
    }
    std::vector<Row> rows = {
        {"no tracks", SmfHeader(0, 0, 96), kComplete, "", "none"},
        // The first chunk is sought right after the length field.
        {"header length 0", Header(0, "0000 0001 0060") + kTrackChunk, kPartial, kNoTrack + "0"},
        {"a longer header is skipped", Header(10, "0000 0001 0060", "AABBCCDD") + kShortChunk,
         kComplete, "", "2"},
        {"header length 0x7FFFFFFF", "MThd" + Hex("7F FF FF FF 0000 0001 0060") + kTrackChunk,
         kPartial, kNoTrack + "0"},
        // A header announcing no tracks would leave nothing: the track
        // chunks after it are read (and the fault says so); a foreign chunk
        // ends them.
        {"no tracks announced, one there", Header(6, "0000 0000 0060") + kTrackChunk, kPartial,
         "the header announces no tracks, but 1 track chunk follows from byte 14; read.", "4"},
        {"no tracks announced, two there, then a foreign chunk",
         Header(6, "0001 0000 0060") + kShortChunk + kShortChunk + Chunk("XFIH", "ab"), kPartial,
         "the header announces no tracks, but 2 track chunks follow from byte 14; read.", "2 2"},
        {"track chunks beyond the announced ones",
         SmfHeader(1, 1, 96) + kShortChunk + Chunk("MTrk", "junk") + Chunk("MTrk", ""), kPartial,
         "2 more track chunks from byte 30 beyond the 1 that the header announces; not read.", "2"},
        {"other bytes after the last track", SmfHeader(1, 1, 96) + kShortChunk + "junk", kComplete,
         "", "2"},
        // Tracks that are not there take no slot: the song holds those read.
        {"more tracks announced than there are", Header(6, "0001 7FFD 0060") + kTrackChunk,
         kPartial, kNoTrack + "1", "4"},
        {"a foreign chunk takes a track number",
         SmfHeader(1, 3, 96) + kShortChunk + Chunk("XFIH", "ab") +
             Chunk("MTrk", Hex("00 90 3C 64 00 90 3E 64 00 80 3C 00 00 FF 2F 00")),
         kPartial, kNoTrack + "1", "2 0 4"},
        {"65535 tracks announced, one there", Header(6, "0001 FFFF 0060") + kTrackChunk, kPartial,
         kNoTrack + "1", "4"},
        // As many track chunks as a song holds, and one more.
        {"32765 track chunks", SmfHeader(1, 32765, 96) + Repeat("'MTrk' 00000000", 32765),
         kComplete, "", "0 0 0 0 (32765 tracks)"},
        {"32766 track chunks", SmfHeader(1, 32766, 96) + Repeat("'MTrk' 00000000", 32766), kFailed,
         kError + "Overflow*32766 track chunks, more than 32765"},
        // Valid headers: SMPTE time (25 frames of 40 ticks), a format 2 song.
        {"SMPTE division", Header(6, "0000 0001 E728") + kTrackChunk, kComplete, "", "4",
         fs::path(), Row::kIdentical},
        {"SMPTE division of 29.97 frames", Header(6, "0001 0001 E350") + kTrackChunk, kComplete, "",
         "4", fs::path(), Row::kIdentical},
        // Invalid headers: read as the nearest valid song, as damage.
        {"format 7", Header(6, "0007 0001 0060") + kTrackChunk, kPartial,
         "The header's format 7 is not 0, 1 or 2" + kAsFormat1, "4", fs::path(), Row::kOutside},
        {"format 0 with two tracks", Header(6, "0000 0002 0060") + kTrackChunk + kShortChunk,
         kPartial, "The header's format 0 holds one track, but the file holds 2" + kAsFormat1,
         "4 2", fs::path(), Row::kOutside},
        {"division 0", Header(6, "0001 0001 0000") + kTrackChunk, kPartial,
         "The header's division 0" + kUntimed, "4", fs::path(), Row::kOutside},
        {"SMPTE division of no frame rate", Header(6, "0001 0001 8028") + kTrackChunk, kPartial,
         "The header's division 32808" + kUntimed, "4"},
        {"capacity from the longest chunk",
         two_tracks + Chunk("MTrk", Repeat("00 F8", 50)) + Chunk("MTrk", Repeat("00 F8", 1500)),
         kComplete, "", "50 1500"},
        // Other readers stop at an end of track: one before other events is
        // moved after them, as damage; a second one adds nothing.
        {"events after the end of track", Smf(1, 96, {kShort + Hex("00 3C 00")}), kPartial,
         "In track 0 at byte 26, an end of track comes before 1 more event; the track is "
         "read to its chunk's end and ends there.",
         "3", fs::path(), Row::kOutside},
        {"a second end of track", one("00 90 3C 64 00 FF 2F 00 00 FF 2F 00"), kComplete, "", "2"},
        // Events that no player takes are left out, as damage.
        {"undefined status bytes", one("00 90 3C 64 00 F4 00 F5 05 F9 00 FD 00 80 3C 00"), kPartial,
         undefined, "2", fs::path(), Row::kOutside},
        {"a system-exclusive body with a status byte",
         one("00 F0 03 7E 90 F7 00 F0 02 7E F7 00 F7 02 7E 01"), kPartial,
         left_out(22, "a system-exclusive message holds a byte of 0x80 or above"), "2", fs::path(),
         Row::kOutside},
        {"chunk length 0", one(""), kComplete, "", "0"},
        // Any length beyond the file is damage read around: the events there are kept.
        {"chunk length 0x80000000", SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 0x80000000u),
         kPartial, CutShort(0), "4"},
        {"second chunk length 0xFFFFFFFF after an intact track",
         two_tracks + kTrackChunk + Chunk("MTrk", kShort, 0xFFFFFFFFu), kPartial, CutShort(1),
         "4 2"},
        {"a small file that claims a huge track costs nothing more",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Repeat("01 90 3C 64", 300), 0x7FFFFF00u - 22),
         kPartial, CutShort(0), "300"},
        {"first chunk two bytes short: its end and the next chunk are lost",
         two_tracks + Chunk("MTrk", kTrack, kTrack.size() - 2) + kTrackChunk, kPartial,
         Damage(0, 38, kPastChunk, false) + "\n" + kNoTrack + "1", "3"},
        {"a meta length that crosses its chunk's end", first_of_two("00 90 3C 64 00 FF 05 20 'ab'"),
         kPartial, Damage(0, 26, kPastChunk, false), "1 4"},
        {"a channel message that crosses its chunk's end", first_of_two("00 90 3C"), kPartial,
         Damage(0, 22, kPastChunk, false), "0 4"},
        {"running status does not carry over from the track before",
         two_tracks + Chunk("MTrk", Hex("00 93 3C 64")) + Chunk("MTrk", Hex("00 3C 40")), kPartial,
         Damage(1, 34, kNoStatus), "1 0"},
        {"a system common message ends running status", one("00 90 3C 64 00 F6 00 3E 40"), kPartial,
         Damage(0, 28, kNoStatus), "2"},
        {"variable-length number of five bytes", one("00 90 3C 64 81 80 80 80 00 90 00 FF 2F 00"),
         kPartial, Damage(0, 26, "a variable-length number runs past four bytes"), "1"},
        {"a status byte among the data bytes", one("00 90 3C 90 00 FF 2F 00"), kPartial,
         Damage(0, 22, "a byte of 0x80 or above stands where a data byte is due"), "0"},
        {"a tempo of zero", one("00 FF 51 03 00 00 00"), kFailed,
         in_event("Division by zero", "a tempo of zero microseconds per beat")},
        {"a tempo of 1 microsecond per beat", one("00 FF 51 03 00 00 01"), kComplete, "", "1"},
        {"a time signature's denominator of 2^15", one("00 FF 58 04 04 0F 18 08"), kComplete, "",
         "1"},
        {"a time signature of its two bytes alone", one("00 FF 58 02 03 02"), kComplete, "", "1"},
        {"a short tempo", one("00 FF 51 02 07 A1"), kFailed,
         in_event(kInvalid, "a tempo event shorter than three bytes")},
        {"a short key signature", one("00 FF 59 01 00"), kFailed,
         in_event(kInvalid, "a key signature shorter than two bytes")},
        {"times beyond 2^31 - 1 ticks", Smf(1, 96, {Repeat("FF FF FF 7F 90 3C 40", 9)}), kFailed,
         kError + "Overflow: in track 0 at byte 78: a time beyond 2147483647 ticks", "none"},
        {"a directory", "", kFailed, kAccess + "Is a directory", "", dir.path()},
        // Root reads any file whatever its permissions; this one fails in
        // read() itself: the process's memory at address 0 is not mapped.
        {"an unreadable file", "", kFailed, kAccess + "Input/output error", "", "/proc/self/mem"},
        {"a path below a file", "", kFailed, kAccess + "Not a directory", "", dir / "plain" / "x"},
        {"a device", "", kFailed, kAccess + "not a regular file", "", "/dev/zero"},
        {"an empty file", "", kFailed, kEmpty},
        {"a named pipe with no writer", "", kFailed, kEmpty, "", dir / "pipe"},
        {"a file with holes", "", kFailed, kAccess + "a file with holes", "", dir / "holes.mid"},
        {"a file longer than 2 GiB", "", kFailed, kError + "Overflow*", "", dir / "huge.mid"},
        {"a missing file", "", kFailed,
         kError + "File not found: " + (dir / "missing").string() + " (No such file or directory)",
         "", dir / "missing"},
        // RIFF files are read as the MIDI file in their "data" chunk.
        {"RMID data after an odd-sized chunk and its pad",
         Riff("RMID", Hex("'DISP' 03000000 'abc' 00 'data' 2A000000") + smf), kComplete, "", "4"},
        {"RMID data cut inside the track", Riff("RMID", Hex("'data' 29000000") + smf.substr(0, 34)),
         kPartial, CutShort(0), "2"},
        {"RMID without data", Riff("RMID", Hex("'LIST' 04000000 'INFO'")), kFailed, kNoHeader},
        {"RMID with a chunk length beyond the file before the data",
         Riff("RMID", Hex("'LIST' FFFFFFFF 'INFO' 'data' 2A000000") + smf), kFailed, kNoHeader},
        {"RIFF of another form: not a MIDI file", Riff("WAVE", Hex("'data' 2A000000") + smf),
         kFailed, kNoHeader},
    };
    // A track chunk that claims more than the file holds, the file ending
    // anywhere in it: the whole events before the end are kept.
    const std::string events = Hex("00 90 3C 64 10 FF 05 03 'la ' 10 80 3C 00");
    const std::string head = two_tracks + Chunk("MTrk", Hex("00 FF 03 01 'A' 00 FF 2F 00"));
    for (auto [cut, whole] :
         {std::pair{0, 0}, {1, 0}, {3, 0}, {4, 1}, {6, 1}, {9, 1}, {11, 2}, {14, 2}, {15, 3}})
        rows.push_back({"second track cut after " + std::to_string(cut) + " bytes",
                        head + Chunk("MTrk", events, 4000).substr(0, 8 + cut), kPartial,
                        CutShort(1), "2 " + std::to_string(whole)});
    if (CorpusDir()) {
        for (const char* name :
             {"plain/dink2.mid", "lyrics/twinkle_mma.mid", "kar/twinkle_dmp.kar"})
            AddPrefixes(rows, *CorpusDir() / name);
    } else if (CorpusRequired()) {
        ADD_FAILURE() << "the corpus is missing: the prefixes of its files are not tried";
    }

    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Song song;
        SongFacts facts;
        // Every case but the corpus prefixes is read through a file.
        const fs::path path = r.path.empty() ? dir / "case.mid" : r.path;
        if (r.path.empty() && !r.prefix) WriteAll(path, r.bytes);
        const ReadOutcome read =
            r.prefix ? ReadSongBytes(song, facts, r.bytes) : ReadSong(song, facts, path.string());
        const std::string message = cli::ReadMessage(read);
        EXPECT_EQ(read.Result, r.result) << message;
        EXPECT_TRUE(read.SongUsable() || song.TrackCount() == 0) << Shape(song);
        EXPECT_TRUE(Matches(message, r.message)) << message;
        EXPECT_EQ(r.shape.empty() ? "" : Shape(song), r.shape);
        // Room is taken for the events the bytes hold (two bytes at least
        // each), never for what a chunk claims.
        for (const Track& track : song.Tracks)
            EXPECT_LE(size_t(track.Capacity()), r.bytes.size() / 2);
        EXPECT_TRUE(!read.SongUsable() || facts.FileLength == int32_t(r.bytes.size()))
            << facts.FileLength;
        if (read.SongUsable() && (!r.prefix || message.empty())) {
            EXPECT_TRUE(WritesAndReadsBack(song));
            EXPECT_EQ(r.written == Row::kIdentical ? EncodeSong(song) : r.bytes, r.bytes);
            if (r.written == Row::kOutside) {
                WriteAll(dir / "written.mid", EncodeSong(song));
                EXPECT_EQ(OutsideReaders(dir / "written.mid"), "") << "as written";
            }
        } else if (message == kNoHeader) {
            EXPECT_EQ(EncodeSong(song), EncodeSong(Song{})) << "the song is left fresh";
        }
    }
}

// What a written song cannot keep of the file it was read from is counted,
// so that what writes the song can say so: an RMID file's chunks besides its
// MIDI data (a sound bank, information; the RIFF header and the data chunk's
// own head and pad are no loss), and bytes after the last track (junk, a
// second copy of the song). Track chunks beyond those announced are a fault
// of their own, not counted again.
TEST(BadInput, TheBytesBesidesTheSongAreCounted) {
    const std::string smf = Smf(0, 96, {kTrack});
    ASSERT_EQ(smf.size(), 0x2Au);
    const std::tuple<std::string, int32_t, int32_t> rows[] = {
        {smf, 0, 0},
        {smf + "X", 0, 1},
        {smf + std::string(3, '\0'), 0, 0},  // padding carries nothing
        {smf + std::string(100, '\x1A'), 0, 0},
        {smf + std::string("\0X", 2), 0, 2},
        {smf + "<p>a web page</p>", 0, 17},
        {smf + smf, 0, 0x2A},
        {smf + Hex("'MTrk' 00000004 00FF2F00"), 0, 0},
        {smf + Hex("'MTrk' 00000004 00FF2F00 0D0A"), 0, 2},
        {Riff("RMID", Hex("'data' 2A000000") + smf), 0, 0},
        {Riff("RMID", Hex("'DISP' 03000000 'abc' 00 'data' 2A000000") + smf), 12, 0},
        {Riff("RMID", Hex("'data' 2A000000") + smf + Hex("'LIST' 04000000 'INFO'")), 12, 0},
        {Riff("RMID", Hex("'data' 2C000000") + smf + "XY"), 0, 2},
        {Riff("RMID", Hex("'data' 29000000") + smf.substr(0, 41) + Hex("00")), 0, 0},
    };
    for (const auto& [bytes, besides, after] : rows) {
        Song song;
        SongFacts facts;
        ASSERT_TRUE(ReadSongBytes(song, facts, bytes).SongUsable()) << test::Quote(bytes);
        EXPECT_EQ(std::pair(facts.WrapperBytes, facts.TrailingBytes), std::pair(besides, after))
            << test::Quote(bytes);
    }
}

// Every regression input that fuzzing found: a message or a song; the song
// writes and reads back, and so do both conversions of its first tracks
// with events (a new track spanning more ticks than a delta time holds
// among them). song_check_test checks and repairs them.
TEST(BadInput, FuzzingFindsReadCleanlyAndConvertToWritableSongs) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(VERSELANE_SOURCE_DIR "/tests/data")) {
        if (entry.path().extension() != ".mid") continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        Song song;
        SongFacts facts;
        if (!ReadSong(song, facts, entry.path().string()).SongUsable()) continue;
        EXPECT_TRUE(WritesAndReadsBack(song));
        for (int16_t t = 0, converted = 0; t < song.TrackCount() && converted < 4; ++t) {
            if (song.Tracks[t].Empty()) continue;
            ++converted;
            for (int how = 0; how < 3; ++how) {
                Song copy = song;
                int16_t source = t;
                if (how == 0) LyricsToKaraoke(copy, source, {"ENG", "Title", "Artist", ""});
                if (how > 0) KaraokeToLyrics(copy, t, how == 2);
                EXPECT_TRUE(WritesAndReadsBack(copy)) << "track " << t << ", conversion " << how;
            }
        }
    }
    EXPECT_GT(files, 0) << "tests/data holds the fuzzing regression inputs";
}

}  // namespace
}  // namespace verselane::test
