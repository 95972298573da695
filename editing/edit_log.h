// The record of the event changes an edit makes, so that the edit can be
// undone (and rolled back when it fails half way).
#pragma once

#include <cstdint>
#include <vector>

#include "editing/timed_words.h"

namespace verselane::editing {

// Carries out one change on the song's events; raises EditError for a
// track or event that is not there.
void Perform(MidiFile& song, const EventChange& c);
// The change that undoes `c`.
EventChange Inverse(const EventChange& c);

class EditLog {
  public:
    explicit EditLog(MidiFile& song) : song_(song) {}
    void Insert(int16_t t, int32_t at, MidiEvent e);
    void Remove(int16_t t, int32_t at);
    // Does nothing when the event is `e` already.
    void Replace(int16_t t, int32_t at, MidiEvent e);
    void RollBack();
    // The changes that undo those made, last first.
    std::vector<EventChange> InverseChanges() const;
    MidiFile& Song() { return song_; }

  private:
    void Do(EventChange c);
    MidiFile& song_;
    std::vector<EventChange> done_;
};

}  // namespace verselane::editing
