// The record of the event edits an edit of the timed words makes, so that
// it can be undone (and rolled back when it fails half way).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/song.h"

namespace verselane::editing {

class EditLog {
  public:
    explicit EditLog(verselane::Song& song) : song_(song) {}
    // Makes one event edit and keeps its inverse; raises EditError for a
    // track or event that is not there.
    void Apply(const EventEdit& edit);
    void Insert(int16_t t, int32_t at, const Event& e, std::string_view body = {});
    void Remove(int16_t t, int32_t at);
    // Does nothing when the event is `e` with `body` already.
    void Replace(int16_t t, int32_t at, const Event& e, std::string_view body = {});
    // Undoes every edit made, last first.
    void RollBack();
    // The edits that undo those made, last first.
    std::vector<EventEdit> InverseEdits() const;
    verselane::Song& Song() { return song_; }

  private:
    verselane::Song& song_;
    std::vector<EventEdit> inverses_;  // in the order the edits were made
};

}  // namespace verselane::editing
