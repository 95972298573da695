#include "ui/file_messages.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstring>

#include "model/errors.h"
#include "reader/midi_reader.h"

namespace verselane::ui {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("FileMessages", text);
}

// One sentence for a fault that leaves a usable song; tracks counted from 0.
QString PartialSentence(const ReadFault& fault) {
    const QString track = QString::number(fault.Track);
    const QString byte = QString::number(fault.Byte);
    switch (fault.Kind) {
        case ReadFaultKind::TrackMissing:
            return Tr("Track %1 is not a track chunk; it was left empty and the other tracks were "
                      "read.")
                .arg(track);
        case ReadFaultKind::TracksMissing:
            if (fault.Track == 0) {
                return Tr("The file announces %1 tracks but holds none.").arg(fault.Value);
            }
            return Tr("The file announces %1 tracks but ends after %2; tracks 0 to %3 were read.")
                .arg(fault.Value)
                .arg(Counted(fault.Track, Tr("1 track"), Tr("%1 tracks")))
                .arg(fault.Track - 1);
        case ReadFaultKind::CutShort:
            return Tr("The file ends in the middle of track %1; everything before that point was "
                      "read.")
                .arg(track);
        case ReadFaultKind::EventPastChunk:
            return Tr("In track %1 an event at byte %2 runs past the end of its chunk; the events "
                      "before it were read.")
                .arg(track, byte);
        case ReadFaultKind::LongNumber:
            return Tr("Track %1 is damaged at byte %2 (a number longer than four bytes); the rest "
                      "of that track was not read.")
                .arg(track, byte);
        case ReadFaultKind::NoStatus:
            return Tr("Track %1 is damaged at byte %2 (data with no message it belongs to); the "
                      "rest of that track was not read.")
                .arg(track, byte);
        case ReadFaultKind::HighDataByte:
            return Tr("Track %1 is damaged at byte %2 (a message cut off by another); the rest of "
                      "that track was not read.")
                .arg(track, byte);
        case ReadFaultKind::UndefinedStatus:
            return Tr("Track %1 holds the byte %2 at byte %3, which is no MIDI message; it was "
                      "left out.")
                .arg(track, QStringLiteral("0x") + QString::number(fault.Value, 16).toUpper(),
                     byte);
        case ReadFaultKind::SysExHighByte:
            return Tr("Track %1 holds a damaged system-exclusive message at byte %2; it was left "
                      "out.")
                .arg(track, byte);
        case ReadFaultKind::EventsAfterEnd:
            return Tr("Track %1 ends at byte %2, but %3 follow; they were read, and the track "
                      "now ends after them.")
                .arg(track, byte, Counted(fault.Value, Tr("1 more event"), Tr("%1 more events")));
        case ReadFaultKind::ExtraTracks:
            if (fault.Track == 0) {
                return Counted(fault.Value,
                               Tr("The file's header announces no tracks, but it holds 1 track; "
                                  "it was read."),
                               Tr("The file's header announces no tracks, but it holds %1 "
                                  "tracks; they were read."));
            }
            return Tr("The file holds %1 than its header announces; they were not read.")
                .arg(Counted(fault.Value, Tr("1 more track"), Tr("%1 more tracks")));
        case ReadFaultKind::UnknownFormat:
            return Tr("The file's format (%1) is not one of the three; it was read as format 1.")
                .arg(fault.Value);
        case ReadFaultKind::SeveralTracksInFormat0:
            return Tr("The file says it holds one track (format 0) but holds %1; it was read as "
                      "format 1.")
                .arg(fault.Value);
        case ReadFaultKind::NoTiming:
            return Tr(
                "The file gives its events no timing; they were read at 480 ticks a quarter "
                "note.");
        default:
            break;
    }
    return Tr("Part of the file is damaged.");
}

// The sentence for a read that failed.
QString FailedSentence(const ReadFault& fault) {
    switch (fault.Kind) {
        case ReadFaultKind::EmptyFile:
            return Tr("The file is empty. Choose a Standard MIDI File (.mid, .kar).");
        case ReadFaultKind::NotMidi:
            return Tr(
                "It is not a MIDI file: it does not begin as one. Choose a Standard MIDI "
                "File (.mid, .kar).");
        case ReadFaultKind::FileNotFound:
            return Tr("There is no such file. Check its name and folder.");
        case ReadFaultKind::FileAccess:
            return Tr("It could not be opened (%1). Check that it is a file you may read.")
                .arg(QString::fromStdString(fault.Reason));
        case ReadFaultKind::OutOfMemory:
            return Tr("There is not enough memory to read it.");
        default:
            break;
    }
    return Tr("The file is damaged (%1). Try another copy of the song.")
        .arg(QString::fromStdString(fault.Detail));
}

}  // namespace

ReadReport DescribeRead(const verselane::ReadOutcome& Read, const Song& /*Song*/) {
    if (Read.Result == ReadResult::Complete || Read.Faults.empty()) return {};
    if (Read.Result == ReadResult::Failed) {
        return {ReadOutcome::Failed, FailedSentence(Read.Faults.front())};
    }
    // One sentence for each fault, each said once.
    QStringList sentences;
    for (const ReadFault& fault : Read.Faults) {
        const QString sentence = PartialSentence(fault);
        if (!sentences.contains(sentence)) sentences << sentence;
    }
    return {ReadOutcome::Partial, sentences.join(QLatin1Char(' '))};
}

QString Counted(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

QString DescribeWriteFailure(const WriteFailure& Failure) {
    switch (Failure.Kind) {
        case WriteFailureKind::NoFileName:
            return Tr("No file name was given. Choose a name.");
        case WriteFailureKind::Exists:
            return Tr(
                "A file of that name exists already and is not replaced. Choose another "
                "name.");
        case WriteFailureKind::SameAsInput:
            return Tr("It is the song that was read. Choose another name.");
        case WriteFailureKind::NoAccess:
            return Tr("Writing there is not allowed. Choose another folder or name.");
        case WriteFailureKind::FolderMissing:
            return Tr("Its folder does not exist. Choose another folder.");
        case WriteFailureKind::NoSpace:
            return Tr("The disk is full. Make room or choose another disk.");
        case WriteFailureKind::IsFolder:
            return Tr("That name is a folder. Choose another name.");
        case WriteFailureKind::NotWritable:
            return Tr(
                "That name is neither a file nor a device that can be written. Choose "
                "another name.");
        case WriteFailureKind::System:
            return Tr("The system refused it (%1). Choose another folder or name.")
                .arg(QString::fromLocal8Bit(std::strerror(Failure.SystemCode)));
        case WriteFailureKind::Unencodable:
            if (Failure.Track >= 0) {
                return Tr("The song cannot be stored as a MIDI file: event %1 of track %2 holds "
                          "a value that does not fit.")
                    .arg(Failure.Event)
                    .arg(Failure.Track);
            }
            return Tr(
                "The song cannot be stored as a MIDI file: it holds a value that does not "
                "fit.");
        case WriteFailureKind::TrackTooLong:
            return Tr("Track %1 is too long for a MIDI file.").arg(Failure.Track);
        case WriteFailureKind::NegativeTrackCount:
        case WriteFailureKind::UntimedDivision:
            return Tr("The song's header cannot be stored as a MIDI file.");
        case WriteFailureKind::OutOfMemory:
            return Tr("There is not enough memory to write it.");
        case WriteFailureKind::Unforeseen:
            break;
    }
    return Tr("An unforeseen error stopped it (%1).").arg(QString::fromStdString(Failure.Detail));
}

QString ErrorReason(const CaughtError& Error) {
    switch (Error.From) {
        case CaughtError::Runtime:
            break;
        case CaughtError::OutOfMemory:
            return Tr("not enough memory");
        case CaughtError::Exception:
            return QString::fromStdString(Error.Detail);
        case CaughtError::Unknown:
            return Tr("an unknown error");
    }
    QString kind;
    switch (Error.Kind) {
        case ErrorKind::Overflow:
            kind = Tr("Overflow");
            break;
        case ErrorKind::SubscriptOutOfRange:
            kind = Tr("Subscript out of range");
            break;
        case ErrorKind::DivisionByZero:
            kind = Tr("Division by zero");
            break;
        case ErrorKind::InvalidArgument:
            kind = Tr("Invalid procedure call or argument");
            break;
        case ErrorKind::OutOfMemory:
            kind = Tr("Out of memory");
            break;
        case ErrorKind::FileNotFound:
            kind = Tr("File not found");
            break;
        case ErrorKind::FileAccess:
            kind = Tr("File access error");
            break;
    }
    return Error.Detail.empty() ? kind
                                : Tr("%1: %2").arg(kind, QString::fromStdString(Error.Detail));
}

QString DescribeError(const CaughtError& Error) {
    if (Error.From == CaughtError::OutOfMemory) return Tr("There is not enough memory for it.");
    return Tr("An error stopped it (%1).").arg(ErrorReason(Error));
}

}  // namespace verselane::ui
