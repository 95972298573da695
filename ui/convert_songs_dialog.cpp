#include "ui/convert_songs_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>

#include "ui/file_messages.h"
#include "ui/named.h"
#include "workflow/song_files.h"

namespace verselane::ui {

namespace {

std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// Why a song could not be converted, from the workflow's outcome.
QString FailureText(const workflow::Job& job, const workflow::JobResult& result,
                    ConversionDirection direction) {
    using workflow::JobFailure;
    const bool lyrics = direction == ConversionDirection::LyricsToKaraoke;
    switch (result.Failure) {
        case JobFailure::None:
            return {};
        case JobFailure::Planned:
            if (job.Problem == workflow::PlanProblem::OverInput) {
                return ConvertSongsDialog::tr(
                           "the output %1 would write over the input %2: songs are never "
                           "replaced; choose an output folder")
                    .arg(Text(job.Output), job.Other.empty()
                                               ? ConvertSongsDialog::tr("(a link to it)")
                                               : Text(job.Other));
            }
            return ConvertSongsDialog::tr("the output %1 is already the output of %2")
                .arg(Text(job.Output), Text(job.Other));
        case JobFailure::OutputExists:
            return ConvertSongsDialog::tr(
                       "the output %1 exists already (\"Replace files that exist\" replaces it)")
                .arg(Text(job.Output));
        case JobFailure::Unreadable:
        case JobFailure::Damaged:
            return DescribeRead(result.Read, Song{}).Problem;
        case JobFailure::NoSuchTrack:
            return ConvertSongsDialog::tr("there is no track %1").arg(result.Track);
        case JobFailure::TrackWithoutWords:
            return lyrics
                       ? ConvertSongsDialog::tr("track %1 holds no lyric events").arg(result.Track)
                       : ConvertSongsDialog::tr("track %1 holds no karaoke text events")
                             .arg(result.Track);
        case JobFailure::NoWords:
            return lyrics ? ConvertSongsDialog::tr("no lyric events found")
                          : ConvertSongsDialog::tr("no karaoke text events found");
        case JobFailure::WriteFailed:
            return DescribeWriteFailure(result.Write);
        case JobFailure::Other:
        case JobFailure::Unforeseen:
            break;
    }
    return DescribeError(result.Error);
}

// A typed information line that was not stored as typed.
QString TypedLineText(const workflow::TypedLineNote& note) {
    const QString shown = QStringLiteral("\"%1\"").arg(QString::fromStdString(note.Stored));
    if (note.What == workflow::TypedLineNote::KeptUtf8) {
        return ConvertSongsDialog::tr(
                   "%1 cannot be written in %2, the encoding of the song's words: written as "
                   "UTF-8.")
            .arg(shown, QString::fromStdString(note.Encoding));
    }
    return ConvertSongsDialog::tr("The %1 was written as %2.")
        .arg(QString::fromLatin1(note.Field), shown);
}

}  // namespace

QStringList SongsIn(const QStringList& paths) {
    std::vector<std::string> inputs;
    for (const QString& path : paths) inputs.push_back(Bytes(path));
    QStringList songs;
    for (const std::string& song : workflow::ExpandInputs(inputs, false).Files) songs << Text(song);
    return songs;
}

ConvertSongsDialog::ConvertSongsDialog(const QStringList& songs, QWidget* owner)
    : QDialog(owner), songs_(songs) {
    setObjectName(QStringLiteral("ConvertSongsDialog"));
    setWindowTitle(tr("Convert Songs"));
    setModal(true);
    createWidgets();
    connect(start_, &QPushButton::clicked, this, &ConvertSongsDialog::start);
    connect(cancel_, &QPushButton::clicked, this, &ConvertSongsDialog::reject);
    resize(660, 520);
}

ConvertSongsDialog::~ConvertSongsDialog() {
    // The batch's thread uses this dialog: let it end after its current song.
    if (worker_) {
        stopping_ = true;
        worker_->wait();
    }
}

void ConvertSongsDialog::createWidgets() {
    to_karaoke_ = Named(new QRadioButton(tr("&Lyrics -> karaoke text"), this), "ToKaraoke");
    to_lyrics_ = Named(new QRadioButton(tr("&Karaoke text -> lyrics"), this), "ToLyrics");
    to_karaoke_->setChecked(true);
    language_ = Named(new QLineEdit(QStringLiteral("ENGL"), this), "Lang");
    keep_lyrics_ = Named(new QCheckBox(tr("Keep l&yric events"), this), "KeepLyrics");
    keep_lyrics_->setToolTip(tr("The lyric events stay beside the new karaoke text"));
    keep_lyrics_->setChecked(true);
    keep_karaoke_ =
        Named(new QCheckBox(tr("Keep the karaoke text beside the lyrics"), this), "KeepKar");
    keep_karaoke_->setChecked(true);
    out_dir_ = Named(new QLineEdit(this), "OutDir");
    out_dir_->setPlaceholderText(tr("beside each song"));
    browse_ = Named(new QPushButton(tr("&Browse..."), this), "Browse");
    browse_->setAutoDefault(false);
    replace_ =
        Named(new QCheckBox(tr("&Replace files that exist (never a song read)"), this), "Force");
    salvage_ =
        Named(new QCheckBox(tr("Convert &damaged songs with what could be read"), this), "Salvage");
    salvage_->setToolTip(
        tr("A song that could be read only in part is converted all the same, "
           "every track closed where it broke off; otherwise it is not written"));
    progress_ = Named(new QProgressBar(this), "Progress");
    progress_->setRange(0, static_cast<int>(songs_.size()));
    progress_->setValue(0);
    results_ = Named(new QTableWidget(0, 3, this), "Results");
    results_->setHorizontalHeaderLabels({tr("File"), tr("Outcome"), tr("Message")});
    results_->horizontalHeader()->setStretchLastSection(true);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->verticalHeader()->hide();
    summary_ = Named(
        new QLabel(Counted(songs_.size(), tr("1 song to convert."), tr("%1 songs to convert.")),
                   this),
        "Summary");
    summary_->setWordWrap(true);
    start_ = Named(new QPushButton(tr("&Convert"), this), "Start");
    start_->setDefault(true);
    cancel_ = Named(new QPushButton(tr("C&ancel"), this), "Cancel");
    cancel_->setAutoDefault(false);

    auto* options = new QFormLayout;
    options->addRow(tr("Direction:"), to_karaoke_);
    options->addRow(QString(), to_lyrics_);
    options->addRow(tr("Lan&guage:"), language_);
    options->addRow(QString(), keep_lyrics_);
    options->addRow(QString(), keep_karaoke_);
    auto* folder = new QHBoxLayout;
    folder->addWidget(out_dir_, 1);
    folder->addWidget(browse_);
    options->addRow(tr("&Output folder:"), folder);
    if (auto* label = qobject_cast<QLabel*>(options->labelForField(folder))) {
        label->setBuddy(out_dir_);
    }
    options->addRow(QString(), replace_);
    options->addRow(QString(), salvage_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addWidget(progress_);
    layout->addWidget(results_, 1);
    layout->addLayout(buttons);

    connect(to_karaoke_, &QRadioButton::toggled, this, &ConvertSongsDialog::updateOptions);
    connect(browse_, &QPushButton::clicked, this, &ConvertSongsDialog::browseOutputFolder);
    updateOptions();
}

void ConvertSongsDialog::updateOptions() {
    const bool to_karaoke = to_karaoke_->isChecked();
    language_->setEnabled(to_karaoke);
    keep_lyrics_->setEnabled(to_karaoke);
    keep_karaoke_->setEnabled(!to_karaoke);
}

void ConvertSongsDialog::browseOutputFolder() {
    const QString start = out_dir_->text().trimmed().isEmpty() && !songs_.isEmpty()
                              ? QFileInfo(songs_.front()).absolutePath()
                              : out_dir_->text().trimmed();
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Output Folder"), start);
    if (!chosen.isEmpty()) out_dir_->setText(QDir::toNativeSeparators(chosen));
}

void ConvertSongsDialog::start() {
    for (QWidget* option : std::initializer_list<QWidget*>{to_karaoke_, to_lyrics_, language_,
                                                           keep_lyrics_, keep_karaoke_, out_dir_,
                                                           browse_, replace_, salvage_, start_}) {
        option->setEnabled(false);
    }
    request_ = workflow::ConversionRequest{};
    request_.Direction = to_karaoke_->isChecked() ? ConversionDirection::LyricsToKaraoke
                                                  : ConversionDirection::KaraokeToLyrics;
    for (const QString& song : songs_) request_.Inputs.push_back(Bytes(song));
    request_.OutputDir = Bytes(out_dir_->text().trimmed());
    request_.Language = language_->text().trimmed().toStdString();
    request_.Replace = !keep_karaoke_->isChecked();
    request_.KeepLyrics = keep_lyrics_->isChecked();
    request_.Force = replace_->isChecked();
    request_.Salvage = salvage_->isChecked();
    jobs_ = workflow::PlanJobs(request_);
    running_ = true;
    cancel_->setText(tr("&Stop"));
    // The workflow's runner on one thread of its own, one song at a time, so
    // that the window keeps drawing and answering; each result comes back to
    // this thread to be shown.
    worker_ = QThread::create([this] {
        workflow::RunJobs(
            jobs_, 1,
            [this](const workflow::Job& job) { return workflow::ConvertFile(request_, job); },
            [this](size_t index, const workflow::JobResult& result) {
                QMetaObject::invokeMethod(
                    this, [this, index, result] { addResult(jobs_[index], result); },
                    Qt::QueuedConnection);
            },
            [this] { return stopping_.load(); });
    });
    connect(worker_, &QThread::finished, this, [this] {
        worker_->deleteLater();
        worker_ = nullptr;
        finish();
    });
    worker_->start();
}

void ConvertSongsDialog::addResult(const workflow::Job& job, const workflow::JobResult& result) {
    ++done_;
    progress_->setValue(static_cast<int>(done_));
    // Counted as the command line's summary counts them; a note on a typed
    // line does not make a song less written.
    QString outcome, message;
    if (result.NoWords) {
        ++without_words_;
        outcome = tr("without words");
        message = FailureText(job, result, request_.Direction);
    } else if (result.Succeeded() && result.Unchanged) {
        // Its words in both forms already: converting would double them.
        ++converted_before_;
        outcome = tr("converted before");
        message =
            tr("Its words are in both forms already; converting it again would double "
               "them. Nothing was written.");
    } else if (result.Succeeded()) {
        ++written_;
        salvaged_ += result.Salvaged;
        outcome = result.Salvaged ? tr("written from a damaged file") : tr("written");
        message = tr("Track %1 converted into %2.")
                      .arg(result.Track)
                      .arg(QFileInfo(Text(job.Output)).fileName());
        // A damaged song's faults are worded as the main window words them.
        if (result.Salvaged) {
            message += QLatin1Char(' ') + DescribeRead(result.Read, Song{}).Problem;
        }
        for (const workflow::TypedLineNote& note : result.TypedLines) {
            message += QLatin1Char(' ') + TypedLineText(note);
        }
    } else {
        ++failed_;
        outcome = tr("failed");
        // The faults worded as the main window words them; a song read in
        // part also names the option that would write it.
        if (result.Failure == workflow::JobFailure::Damaged) {
            message = tr("damaged; not written (\"Convert damaged songs with what could be read\" "
                         "writes it): %1")
                          .arg(DescribeRead(result.Read, Song{}).Problem);
        } else {
            message = FailureText(job, result, request_.Direction);
        }
    }
    const int row = results_->rowCount();
    results_->insertRow(row);
    results_->setItem(row, 0, new QTableWidgetItem(QFileInfo(Text(job.Input)).fileName()));
    results_->setItem(row, 1, new QTableWidgetItem(outcome));
    results_->setItem(row, 2, new QTableWidgetItem(message));
    results_->resizeColumnToContents(0);
    results_->resizeColumnToContents(1);
    results_->scrollToItem(results_->item(row, 0));
}

void ConvertSongsDialog::finish() {
    running_ = false;
    const int left = static_cast<int>(jobs_.size() - done_);
    QString summary = tr("%1 written").arg(written_);
    if (salvaged_ > 0) summary += tr(" (%1 of them from damaged files)").arg(salvaged_);
    summary += tr(", %1 without words, %2 failed").arg(without_words_).arg(failed_);
    if (converted_before_ > 0) {
        summary += tr(", %1 converted before (nothing written)").arg(converted_before_);
    }
    if (left > 0) summary += tr(", %1 not converted (stopped)").arg(left);
    summary_->setText(summary + QLatin1Char('.'));
    cancel_->setText(tr("&Close"));
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
}

void ConvertSongsDialog::reject() {
    if (running_) {
        stopping_ = true;
        cancel_->setEnabled(false);
        summary_->setText(tr("Stopping after the current song..."));
        return;
    }
    QDialog::reject();
}

}  // namespace verselane::ui
