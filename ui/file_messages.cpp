#include "ui/file_messages.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <string_view>

#include "model/errors.h"
#include "reader/midi_reader.h"

namespace verselane::ui {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("FileMessages", text);
}

// The error's description without the file operations' common prefix.
QString Description(const std::string& message) {
    std::string_view text(message);
    if (text.starts_with(kErrorPrefix)) text.remove_prefix(kErrorPrefix.size());
    return QString::fromStdString(std::string(text));
}

// The system's reason at the end of a description ("...: Permission denied"
// or "... (No such file or directory)").
QString Reason(const QString& description) {
    static const QRegularExpression at_end(QStringLiteral("(?:: |\\()([^:()]+)\\)?$"));
    const QRegularExpressionMatch m = at_end.match(description);
    return m.hasMatch() ? m.captured(1) : description;
}

}  // namespace

ReadReport DescribeRead(const verselane::ReadOutcome& Read, const MidiFile& Song) {
    if (Read.Result == ReadResult::Complete || Read.Messages.empty()) return {};
    static const QRegularExpression number(QStringLiteral("(\\d+)\\.?$"));
    if (Read.Result == ReadResult::Partial) {
        // One sentence for each fault that the reader names.
        QStringList sentences;
        for (const std::string& message : Read.Messages) {
            const QString text = QString::fromStdString(message);
            const int track = number.match(text).captured(1).toInt() - 1;  // counted from 1
            if (text.startsWith(QLatin1String("File is cut short"))) {
                sentences << Tr("The file ends in the middle of track %1; everything before "
                                "that point was read.")
                                 .arg(track);
                continue;
            }
            if (!text.startsWith(QLatin1String("Failed to find MTrk"))) {
                sentences << text;  // what broke and where, as the reader says it
                continue;
            }
            // Tracks missing at the end: the tracks found are those up to the
            // last one that holds an event.
            int found = 0;
            for (int t = 0; t < Song.Header.NumTracks && t < Song.TrackSlots; ++t) {
                if (Song.Count(static_cast<int16_t>(t)) > 0) found = t + 1;
            }
            if (found <= track) {
                sentences << Tr("The file announces %1 tracks but only the first %2 are there; "
                                "those were read.")
                                 .arg(Song.Header.NumTracks)
                                 .arg(found);
            } else {
                sentences
                    << Tr("Track %1 is missing or damaged; the other tracks were read.").arg(track);
            }
        }
        return {ReadOutcome::Partial, sentences.join(QLatin1Char(' '))};
    }
    const std::string& Message = Read.Messages.front();
    const QString text = QString::fromStdString(Message);
    if (text.startsWith(QLatin1String("Failed to find MThd"))) {
        return {ReadOutcome::Failed, Tr("It is not a MIDI file: it does not begin as one. "
                                        "Choose a Standard MIDI File (.mid, .kar).")};
    }
    const QString description = Description(Message);
    const auto kind = [&](ErrorKind k) {
        return description.startsWith(QString::fromLatin1(ErrorKindText(k)));
    };
    if (kind(ErrorKind::FileNotFound)) {
        return {ReadOutcome::Failed, Tr("There is no such file. Check its name and folder.")};
    }
    if (kind(ErrorKind::FileAccess)) {
        return {ReadOutcome::Failed,
                Tr("It could not be opened (%1). Check that it is a file you may read.")
                    .arg(Reason(description))};
    }
    if (kind(ErrorKind::OutOfMemory)) {
        return {ReadOutcome::Failed, Tr("There is not enough memory to read it.")};
    }
    return {ReadOutcome::Failed,
            Tr("The file is damaged (%1). Try another copy of the song.").arg(description)};
}

QString Counted(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

QString DescribeWriteFailure(const std::string& Message) {
    return Tr("%1. Choose another folder or name.").arg(Reason(Description(Message)));
}

}  // namespace verselane::ui
