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

namespace verselane::ui {

namespace {

std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The batch code's reason, with the command line's advice put the way this
// dialog offers it.
QString Problem(const std::string& problem) {
    QString text = QString::fromStdString(problem);
    text.replace(QStringLiteral(" (inputs are never replaced; use -o or --out-dir)"),
                 ConvertSongsDialog::tr(": songs are never replaced; choose an output folder"));
    text.replace(QStringLiteral(" (--force replaces it)"),
                 ConvertSongsDialog::tr(" (\"Replace files that exist\" replaces it)"));
    text.replace(
        QStringLiteral(" (--salvage writes what could be read)"),
        ConvertSongsDialog::tr(" (\"Convert damaged songs with what could be read\" writes it)"));
    text.replace(QStringLiteral(" (--salvage)"), QString());
    return text;
}

}  // namespace

QStringList SongsIn(const QStringList& paths) {
    QStringList songs;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            songs << path;
            continue;
        }
        const QStringList patterns = {QStringLiteral("*.mid"), QStringLiteral("*.midi"),
                                      QStringLiteral("*.kar"), QStringLiteral("*.rmi")};
        const QDir folder(path);
        for (const QString& name : folder.entryList(patterns, QDir::Files, QDir::Name)) {
            songs << folder.filePath(name);
        }
    }
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

ConvertSongsDialog::~ConvertSongsDialog() = default;

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
    command_ = cli::ConvertCommand{};
    command_.Direction = to_karaoke_->isChecked() ? ConversionDirection::LyricsToKaraoke
                                                  : ConversionDirection::KaraokeToLyrics;
    for (const QString& song : songs_) command_.Inputs.push_back(Bytes(song));
    command_.OutputDir = Bytes(out_dir_->text().trimmed());
    command_.Language = language_->text().trimmed().toStdString();
    command_.Replace = !keep_karaoke_->isChecked();
    command_.KeepLyrics = keep_lyrics_->isChecked();
    command_.Force = replace_->isChecked();
    command_.Salvage = salvage_->isChecked();
    jobs_ = cli::PlanJobs(command_);
    running_ = true;
    cancel_->setText(tr("&Stop"));
    convertNext();
}

// One song at a time on a thread of its own, so that the window keeps
// drawing and answering; the next starts when it has ended.
void ConvertSongsDialog::convertNext() {
    if (stopping_ || next_ >= jobs_.size()) {
        finish();
        return;
    }
    const cli::Job job = jobs_[next_];
    QThread* worker = QThread::create([this, job] {
        try {
            result_ = cli::ConvertFile(command_, job);
        } catch (const std::exception& e) {  // anything unforeseen fails this song only
            result_ = {};
            result_.Problem = e.what();
        }
    });
    connect(worker, &QThread::finished, this, [this, worker, job] {
        worker->deleteLater();
        addResult(job, result_);
        ++next_;
        progress_->setValue(static_cast<int>(next_));
        convertNext();
    });
    worker->start();
}

void ConvertSongsDialog::addResult(const cli::Job& job, const cli::JobResult& result) {
    // Counted as the command line's summary counts them; a warning (a typed
    // line kept as UTF-8) does not make a song less written.
    QString outcome, message;
    if (result.NoWords) {
        ++without_words_;
        outcome = tr("without words");
        message = Problem(result.Problem);
    } else if (result.Problem.empty()) {
        ++written_;
        salvaged_ += result.Salvaged;
        outcome = result.Salvaged ? tr("written from a damaged file") : tr("written");
        message = tr("Track %1 converted into %2.")
                      .arg(result.Track)
                      .arg(QFileInfo(Text(job.Output)).fileName());
        // A damaged song's faults are worded as the main window words them.
        if (result.Salvaged) {
            message += QLatin1Char(' ') + DescribeRead(result.Read, MidiFile{}).Problem;
        }
        for (const std::string& warning : result.Warnings) {
            if (result.Salvaged && warning.starts_with("damaged;")) continue;
            message += QLatin1Char(' ') + Problem(warning);
        }
    } else {
        ++failed_;
        outcome = tr("failed");
        // The faults worded as the main window words them; a song read in
        // part also names the option that would write it.
        if (result.Read.Faults.empty()) {
            message = Problem(result.Problem);
        } else if (result.Read.Result == ReadResult::Partial) {
            message = tr("damaged; not written (\"Convert damaged songs with what could be read\" "
                         "writes it): %1")
                          .arg(DescribeRead(result.Read, MidiFile{}).Problem);
        } else {
            message = DescribeRead(result.Read, MidiFile{}).Problem;
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
    const int left = static_cast<int>(jobs_.size() - next_);
    QString summary = tr("%1 written").arg(written_);
    if (salvaged_ > 0) summary += tr(" (%1 of them from damaged files)").arg(salvaged_);
    summary += tr(", %1 without words, %2 failed").arg(without_words_).arg(failed_);
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
