// What the main window says about a read or a write: the reader's and the
// writer's results turned into plain sentences that say what happened, where
// (tracks counted from 0, as everywhere else) and what the user can do.
#pragma once

#include <QString>
#include <string>

#include "model/song.h"
#include "reader/midi_reader.h"
#include "writer/write_failure.h"

namespace verselane::ui {

enum class ReadOutcome {
    Complete,  // the whole song was read
    Partial,   // a usable song, with a part missing
    Failed,    // nothing usable
};

struct ReadReport {
    ReadOutcome Outcome = ReadOutcome::Complete;
    QString Problem;  // what went wrong, empty when complete
};

// The one place where the reader's result becomes an outcome and a sentence:
// each fault worded from its values (kind, track from 0, byte), each sentence
// once. `Song` is not needed for it.
ReadReport DescribeRead(const verselane::ReadOutcome& Read, const Song& Song);

// "1 lyric event", "219 lyric events": `one` for 1, `many` (with %1) otherwise.
QString Counted(qint64 n, const QString& one, const QString& many);

// Why a write failed, from the writer's value: a sentence and what to do.
QString DescribeWriteFailure(const WriteFailure& Failure);

// An error that stopped a job, from its value.
QString DescribeError(const CaughtError& Error);
// The same as a phrase to go in brackets: "Overflow: <detail>", "not enough
// memory", what another exception said.
QString ErrorReason(const CaughtError& Error);

}  // namespace verselane::ui
