// The timing editor's edits of a song, each an undoable command: they move
// the sung syllables (lyric events or karaoke text events) of one track in
// time. An edit keeps the track's events in time order and never moves a
// syllable past its neighbours, so the syllables keep their order; undoing
// an edit puts every event back at its old place and time, so the song's
// bytes are as they were.
#pragma once

#include <QUndoCommand>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/midi_file.h"

namespace verselane::ui {

// Moves event `from` of `track` to `to` (the index it takes among the
// track's events) at `tick`; the events between shift by one.
void RelocateEvent(MidiFile& song, int32_t track, int32_t from, int32_t to, int32_t tick);

// Where an event of `track` now at `index` goes when its time becomes
// `tick`: after every other event due at or before that tick, and never
// after the track's End of Track.
int32_t PlaceForTick(const MidiFile& song, int32_t track, int32_t index, int32_t tick);

// One syllable's move: the event's index in its track and its new tick.
struct SyllableMove {
    int32_t Event = 0;
    int32_t Tick = 0;
};

// Moves syllables of one track; `changed` runs after every redo and undo
// (the editor and the window show the song again).
class MoveSyllablesCommand : public QUndoCommand {
  public:
    MoveSyllablesCommand(const QString& name, MidiFile& song, int32_t track,
                         std::vector<SyllableMove> moves, std::function<void()> changed);
    void redo() override;
    void undo() override;

  private:
    struct Done {
        int32_t From = 0, To = 0, OldTick = 0, NewTick = 0;
    };
    MidiFile& song_;
    int32_t track_;
    std::vector<SyllableMove> moves_;
    std::vector<Done> done_;
    std::function<void()> changed_;
};

}  // namespace verselane::ui
