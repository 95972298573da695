// The definitions of every command: its words, options, help and rules.
#include "cli/align_command.h"
#include "cli/command_line.h"
#include "cli/retime_command.h"

namespace verselane::cli {

namespace {

// How the conversions and fix treat their inputs and outputs, told after
// each one's options.
constexpr const char* kBatchRules =
    "A folder among the inputs stands for the songs in it (.mid, .midi, .kar,\n"
    ".rmi); with -r also those of its subfolders, which --out-dir keeps as\n"
    "subfolders. Folders are made only when a file is written into them.\n"
    "The batch ends with one line such as \"38 written, 5 without words, 2\n"
    "failed\" (fix: \"5 with nothing to repair\"; a conversion adds \"1\n"
    "converted before (nothing written)\" for songs that hold their words in\n"
    "both forms already) on the error output; on a\n"
    "terminal a progress line is shown there meanwhile when the batch takes more\n"
    "than a second.\n"
    "\n"
    "No input is ever written over, not even with --force (a conversion in place\n"
    "would lose the original if anything went wrong, and other jobs of the batch\n"
    "may be reading it). Each file that fails is reported with its name and the\n"
    "others go on. A damaged file (one that could be read only in part) fails\n"
    "with what is damaged, unless --salvage takes what could be read; each track\n"
    "of such an output is closed properly.\n";

// The exit statuses of a batch command.
constexpr const char* kConversionStatus =
    "\n"
    "Exit status: 0 when every song was converted or holds no words to convert\n"
    "(reported, and counted apart), 1 when a file failed (it could not be read,\n"
    "was damaged, could not be written, or a folder held no song), 2 for a\n"
    "command line that could not be understood.\n";

constexpr const char* kFixStatus =
    "\n"
    "Exit status: 0 when every song was repaired or needed no repair, 1 when a\n"
    "file failed (it could not be read, was damaged, could not be written, or a\n"
    "folder held no song), 2 for a command line that could not be understood.\n";

}  // namespace

// The program's own options and help.
void CommandLine::DefineProgram() {
    app.formatter(format);
    format->Pages[""] = {"", app.get_description() + "\n"};
    app.set_help_flag("-h,--help", "show this help, or with a command that command's help");
    app.footer(
        "The inputs of to-karaoke, to-lyrics, check and fix are songs or folders of\n"
        "songs.\n"
        "\n"
        "Exit status: 0 when everything succeeded, 1 when a file failed (could not be\n"
        "read, or read only in part; could not be written; for check, a finding at\n"
        "its --level; writing to the standard output failed), 2 for a command line\n"
        "that could not be understood. A song without words to convert is no\n"
        "failure. 'verselane-cli COMMAND --help' tells each command's own.");
    app.add_flag("--version", version_asked, "show the version");
    format->column_width(24);
}

// info and lyrics: what a song holds.
void CommandLine::DefineShowing() {
    CLI::App* info =
        Command("info", "FILE",
                "the header, the tracks, tempo, signatures, texts, and\n"
                "the track that each conversion would take",
                "Shows the header, the tracks (numbered from 0, with their lyric and text\n"
                "events), tempo, time signature, key signature (\"2 flats, G minor\"; \"not\n"
                "set\" for what FILE does not set), the text encoding, the karaoke text and\n"
                "the lyric text of FILE line by line, and which track each conversion would\n"
                "take when no --track is given.\n"
                "\n"
                "A damaged FILE (one that could be read only in part) is shown as far as it\n"
                "could be read, after what is damaged.\n",
                "Exit status: 0 when FILE was read whole and shown, 1 when it could not be\n"
                "read whole or the output could not be written, 2 for a command line that\n"
                "could not be understood (an encoding iconv does not know among them).\n");
    Words(info, "FILE", "the song");
    Value(info, "--encoding", values.encoding, "NAME",
          "read the texts in this encoding (default: detected;\n"
          "see 'verselane-cli lyrics --help' for the names)");

    CLI::App* lyrics =
        Command("lyrics", "FILE", "the words as a karaoke player shows them, line by line",
                "Prints the words as a karaoke player shows them: one line per sung line,\n"
                "each with its start time as minutes:seconds.hundredths, and an empty line\n"
                "between paragraphs. Karaoke text lines of information (\"@\") are left out.\n",
                "Exit status: 0 when FILE was read whole and its words shown, 1 when it could\n"
                "not be read whole (what could be read is shown), holds no words to show\n"
                "(none of the kind or in the track asked for), or the output could not be\n"
                "written, 2 for a command line that could not be understood.\n");
    Words(lyrics, "FILE", "the song");
    Value(lyrics, "--from", values.from, "lyrics|karaoke",
          "take the words from lyric events or karaoke text\n"
          "events (default: karaoke text when the song has a\n"
          "Soft Karaoke track, else lyric events, else text\n"
          "events marked as karaoke text is; other texts, such\n"
          "as credits or \"ritard.\", are no words)");
    Value(lyrics, "--track", values.track, "N", "take them from track N (as 'info' numbers them)");
    Switch(lyrics, "--follow", values.follow,
           "print each line when it is due, as the song plays\n(no sound; Ctrl+C ends it)");
    Switch(lyrics, "--syllables", values.syllable_list,
           "print each sung syllable instead, numbered from 1 as\n"
           "'retime' counts them: NUMBER, TICK, TIME and the text\n"
           "(\\ opens a paragraph, / a line, - goes on a word;\n"
           "a line end inside one event is shown as / or \\)");
    Value(lyrics, "--encoding", values.encoding, "NAME",
          "read the texts in this encoding; by default UTF-8\n"
          "when they are valid UTF-8, else the encoding detected\n"
          "over all texts of the song, else WINDOWS-1252.\n"
          "Common names: UTF-8, WINDOWS-1252, ISO-8859-1,\n"
          "SHIFT_JIS, GBK, BIG5, EUC-KR, WINDOWS-1251, KOI8-R,\n"
          "WINDOWS-1250, ISO-8859-2, TIS-620, WINDOWS-1258\n"
          "(any name that iconv knows is taken, in any case,\n"
          "and the labels that 'info' prints, such as\n"
          "\"Vietnamese (Windows-1258)\")");
}

// to-karaoke, to-lyrics and copy: the commands that write songs.
void CommandLine::DefineConversions() {
    CLI::App* to_karaoke =
        Command("to-karaoke", "IN...", "lyric events to Soft Karaoke text (NAME.kar)",
                "Turns the lyric events of one track into Soft Karaoke text: a \"Soft Karaoke\"\n"
                "track and a \"Words\" track are inserted behind track 0. The lyric events\n"
                "stay where they are (for keyboards, which read them) unless --drop-lyrics is\n"
                "given. A format 0 song becomes format 1. A song with karaoke text already\n"
                "is left as it is (\"has karaoke text already\"): its words would be doubled.\n",
                std::string(kBatchRules) + kConversionStatus);
    Words(to_karaoke, "IN", "songs or folders of songs");
    Output(to_karaoke, "NAME.kar");
    Value(to_karaoke, "--track", values.track, "N",
          "the track of the lyrics, numbered from 0 as 'info'\n"
          "shows; default: the track whose name suggests words\n"
          "(\"Lyrics\", \"Words\", \"Vocals\", ...) if it holds lyric\n"
          "events, else the track holding the most");
    Value(to_karaoke, "--language", values.language, "L",
          "the \"@L\" line (default: the song's, else ENGL)");
    Value(to_karaoke, "--title", values.title, "T",
          "the first \"@T\" line (default: the song's \"@T\" title,\n"
          "else the name of track 0 unless it is generic)");
    Value(to_karaoke, "--artist", values.artist, "A",
          "the second \"@T\" line (default: the song's, else empty)");
    Value(to_karaoke, "--encoding", values.encoding, "NAME",
          "write the typed lines in this encoding (default: the\n"
          "encoding of the song's words; UTF-8 when they are\n"
          "UTF-8 or that encoding cannot hold the text, with a\n"
          "note on stderr)");
    Switch(to_karaoke, "--drop-lyrics", values.drop_lyrics,
           "remove the lyric events of the converted track, so the\n"
           "words are in the song once, as karaoke text");
    BatchSwitches(to_karaoke, "convert");

    CLI::App* to_lyrics =
        Command("to-lyrics", "IN...", "Soft Karaoke text to lyric events (NAME.lyrics.mid)",
                "Turns the karaoke text events of one track into lyric events. By default\n"
                "each text event stays and its lyric is added behind it; with --replace the\n"
                "text events become the lyrics. Each lyric holds its syllable without the\n"
                "mark; a \"\\\" mark becomes LF CR and a \"/\" mark CR at the end of the\n"
                "lyric before it, where a gap that opens a syllable goes too. \"@\" lines\n"
                "are not sung: they stay text events. A song with lyric events already is\n"
                "left as it is (\"has lyric events already\"): its words would be doubled.\n",
                std::string(kBatchRules) + kConversionStatus);
    Words(to_lyrics, "IN", "songs or folders of songs");
    Output(to_lyrics, "NAME.lyrics.mid");
    Value(to_lyrics, "--track", values.track, "N",
          "the track of the karaoke text, numbered from 0 as\n"
          "'info' shows; default: the track whose name suggests\n"
          "words (\"Words\", \"Lyrics\", ...) if it holds text\n"
          "events, else the track holding the most");
    Switch(to_lyrics, "--replace", values.replace,
           "replace the text events instead of keeping them");
    BatchSwitches(to_lyrics, "convert");

    CLI::App* copy =
        Command("copy", "IN OUT", "read IN and write it unchanged to OUT",
                "Reads IN and writes the song unchanged to OUT (replacing OUT). OUT may be a\n"
                "character device or a named pipe, written in place, or - for standard\n"
                "output. A damaged IN (one that could be read only in part) is not written,\n"
                "unless --salvage writes what could be read, each track closed properly.\n"
                "OUT is a Standard MIDI File: the sound bank and other chunks of an RMID\n"
                "file are not kept, and a warning says so.\n",
                "");
    Words(copy, "IN", "the song read, then OUT, the file written");
    Switch(copy, "--salvage", values.salvage, "write a damaged IN as far as it could be read");
}

// check and fix.
void CommandLine::DefineChecks() {
    CLI::App* check =
        Command("check", "FILE...", "what will not show, or show wrong, in which players",
                "Checks the words of each song against what players need and prints one line\n"
                "per finding:\n"
                "  FILE: LEVEL: PLAYERS: track N event M at TIME: what is wrong [repair: NAME]\n"
                "then a summary line. LEVEL is \"will not show\", \"shows wrong\" or \"advice\";\n"
                "PLAYERS is soft-karaoke (players of Soft Karaoke text), lyrics (keyboards and\n"
                "players that read lyric events) or both. 'verselane-cli fix' makes the repairs.\n",
                "A folder among the files stands for the songs in it (.mid, .midi, .kar,\n"
                ".rmi); with -r also those of its subfolders. A damaged file (one that could\n"
                "be read only in part) is reported with what is damaged and not checked,\n"
                "unless --salvage checks what could be read (still reporting the damage).\n"
                "\n"
                "With --json the output is one JSON array, in ASCII (other characters as\n"
                "\\u escapes), one object per file: \"file\" (its name; bytes that are not\n"
                "UTF-8 are replaced by U+FFFD, and \"file_hex\" then holds the name's bytes\n"
                "in hexadecimal), \"read\" (\"complete\", \"partial\" or \"failed\"),\n"
                "\"checked\" (true or false), \"failed\" (true when the file makes the exit\n"
                "status 1), \"error\" (why it was not checked, when it was not),\n"
                "\"damage\" (what is damaged, for a partial read) and \"findings\".\n"
                "\n"
                "Exit status: 0 when every file was checked and none has a finding at --level\n"
                "or worse, 1 when one has, or could not be read whole (without --salvage) or\n"
                "at all, or a folder held no song; 2 for a command line that could not be\n"
                "understood.\n");
    Words(check, "FILE", "songs or folders of songs");
    Switch(check, "--json", values.json, "one JSON document instead of the lines");
    Value(check, "--level", values.level, "LEVEL",
          "exit 1 when a file has a finding at LEVEL or worse:\n"
          "will-not-show (default), shows-wrong or advice");
    Value(check, "--for", values.players, "PLAYERS",
          "only the findings for these players: soft-karaoke,\nlyrics or both (default)");
    Switch(check, "--salvage", values.salvage, "check damaged files on what could be read");
    Switch(check, "-r,--recursive", values.recursive,
           "take the songs of the subfolders of input folders too");

    CLI::App* fix =
        Command("fix", "IN...", "the repairs that are safe (NAME.fixed.mid)",
                "Makes the safe repairs of what 'verselane-cli check' finds for the players\n"
                "named, and writes NAME.fixed.EXT beside each input. Each repair changes only\n"
                "what it names; the sung words stay the same. With --for soft-karaoke the\n"
                "lyric events that repeat the karaoke text go, with --for lyrics the karaoke\n"
                "text that repeats the lyrics; with both (the default) both stay. A song\n"
                "that needs no repair is reported (\"nothing to repair\") and not written.\n",
                std::string(kBatchRules) + kFixStatus);
    Words(fix, "IN", "songs or folders of songs");
    Output(fix, "NAME.fixed.EXT");
    Value(fix, "--for", values.players, "PLAYERS", "soft-karaoke, lyrics or both (default)");
    Value(fix, "--encoding", values.encoding, "NAME",
          "put every text into this encoding (UTF-8, or a code\n"
          "page such as WINDOWS-1252, SHIFT_JIS, WINDOWS-1251);\n"
          "default: only a song that mixes encodings, into UTF-8");
    BatchSwitches(fix, "repair");
}

// render: the song into a WAV file.
void CommandLine::DefineRender() {
    CLI::App* render =
        Command("render", "FILE -o OUT", "play the song into a WAV file",
                "Plays the song with FluidSynth into a WAV file (44.1 kHz, 16-bit stereo):\n"
                "every track with its tempo changes, then a second for the last notes to\n"
                "ring out. A song longer than --max-length, or whose WAV file would not fit\n"
                "the free space where it goes, is not rendered.\n",
                "");
    Words(render, "FILE", "the song");
    Value(render, "-o,--output", values.output, "OUT.wav",
          "the WAV file to write (replaced whole when it exists);\n"
          "a named pipe, a character device or - (standard\n"
          "output) is written as a stream");
    Value(render, "--max-length", values.max_length, "L",
          "the longest song to render: 3h, 90m, 45s or seconds\n(default 2h)");
    Value(render, "--soundfont", values.soundfont, "SF2",
          "the SoundFont to play with; default FluidR3_GM.sf2\n"
          "(fluid-soundfont-gm) when installed, else\n"
          "TimGM6mb.sf2 (timgm6mb-soundfont)");
}

// retime and align: words onto the melody.
void CommandLine::DefineAlignment() {
    CLI::App* retime = Command("retime", "SONG --pin I=TICK...",
                               "the words re-aligned around pinned syllables\n(NAME.retimed.EXT)",
                               kRetimeDescription, kRetimeStatus);
    Words(retime, "SONG", "the song whose words are re-aligned");
    Value(retime, "-o,--output", values.output, "OUT",
          "the output (default NAME.retimed.EXT beside the song;\n- for the standard "
          "output)");
    Switch(retime, "--force", values.force, "replace an existing output file");
    Pins(retime, "syllable I lands on TICK (repeatable)");
    Value(retime, "--line-starts", values.line_starts, "FILE", "more pins, one I=TICK a line");

    CLI::App* align =
        Command("align", "SONG SHEET", "words from a lyric sheet onto the melody (NAME.kar)",
                kAlignDescription, kAlignStatus);
    Words(align, "SONG", "the song, then SHEET, the lyric sheet");
    Value(align, "-o,--output", values.output, "OUT",
          "the output (default NAME.kar, NAME.aligned.kar for\na .kar song; - for "
          "the standard output); never\nthe song or the sheet");
    Value(align, "--melody", values.melody, "N",
          "the track the words go on (default: chosen, and shown)");
    Value(align, "--language", values.language, "L",
          "en, de, fr, es, it, pt or nl (default: the song's @L\n"
          "line, else guessed from the words)");
    Value(align, "--syllables", values.syllables, "MODE",
          "auto (default): words without marks are split as sung;\n"
          "as-written: the sheet's words and \"-\" marks are the\n"
          "syllables");
    Pins(align, "syllable I (from 1, after splitting) lands on TICK");
    Value(align, "--to", values.to, "WHAT", "lyrics, karaoke or both (default)");
    Value(align, "--encoding", values.encoding, "NAME",
          "the encoding of the words in a song without words\n"
          "(default UTF-8); a song with words keeps its own");
    Value(align, "--sheet-encoding", values.sheet_encoding, "NAME",
          "the sheet's encoding (default UTF-8)");
    Switch(align, "--replace", values.replace,
           "replace the words the song has (else it is refused)");
    Switch(align, "--force", values.force, "replace an existing output file");
    Switch(align, "--report", values.report, "list the doubtful syllables with time and reason");
}

}  // namespace verselane::cli
