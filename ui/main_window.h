// MainWindow, the main window: it owns the song and offers Read File, Convert
// Lyrics and Write File, used in that order, with a status line and a
// preview of the song's words under the buttons.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "driver/convert_lyrics.h"
#include "model/midi_file.h"
#include "ui/convert_lyrics_dialog.h"
#include "ui/karaoke_information_dialog.h"
#include "ui/prompts.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace verselane::ui {

class CheckPanel;

// "Midi Verselane" and the version: "Midi Verselane v.1.0.0".
QString VersionedTitle(const QString& caption, int major, int minor, int revision);

// The name the save dialog proposes after a conversion: the input's folder
// and name with ".kar" after lyrics became karaoke text, ".lyrics.mid" after
// karaoke text became lyrics, else the input itself.
QString ProposedSaveName(const QString& input, int16_t choice);

class MainWindow : public QWidget, public ConversionHost {
    Q_OBJECT

  public:
    // Without `prompts` the platform's file dialogs and message boxes are used.
    explicit MainWindow(std::unique_ptr<Prompts> prompts = nullptr);
    ~MainWindow() override;

    const MidiFile& Song() const { return song_; }
    ConvertLyricsDialog& Conversion() { return *conversion_dialog_; }
    KaraokeInformationDialog& Information() { return *information_dialog_; }

    // The command handlers.
    void Form_Load();
    void Command1_Click();
    void L2K_Click();
    void WriteFile_Click();

    // Reads a file into the song, as Read File does once a name is chosen.
    void ReadFile(const QString& path);

    void ShowMessage(const std::string& Text) override;
    void SetWaitCursor(bool Waiting) override;

    QPushButton* Command1;   // "Read File"
    QPushButton* L2K;        // "Convert Lyrics"
    QPushButton* WriteFile;  // "Write File"
    QLabel* Status;
    QLabel* WordsLabel;
    QComboBox* Encoding;
    QPlainTextEdit* Words;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    std::string ShownEncoding() const;
    void UpdateWords();
    void FillEncodings();

    MidiFile song_;
    std::unique_ptr<Prompts> prompts_;
    ConvertLyricsDialog* conversion_dialog_;
    KaraokeInformationDialog* information_dialog_;
    QString source_path_;
    int16_t converted_ = kChoiceNone;  // the direction of the last conversion
    bool reading_ = false;
    bool typed_as_utf8_ = false;  // a typed text did not fit the song's encoding
    std::string detected_encoding_ = "UTF-8";
    CheckPanel* checks_;  // the verdict and findings under the status line
};

}  // namespace verselane::ui
