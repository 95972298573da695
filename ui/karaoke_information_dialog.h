// KaraokeInformationDialog, the "Karaoke Information" dialog: the language, title and artist
// lines of a Soft Karaoke file, asked before lyrics become karaoke text.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <string_view>

#include "driver/convert_lyrics.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace verselane::ui {

class KaraokeInformationDialog : public QDialog, public KaraokeInfoDialog {
    Q_OBJECT

  public:
    explicit KaraokeInformationDialog(QWidget* owner = nullptr);

    // How typed text becomes the bytes stored in the song.
    void SetTextEncoder(std::function<std::string(const QString&)> encode);
    // How the song's bytes are shown in the boxes.
    void SetTextDecoder(std::function<QString(std::string_view)> decode);

    // The song's own language, title and artist, where it names them.
    void Propose(const KaraokeInfo& Song) override;

    void ShowModal() override;
    std::string Language() const override;
    std::string Title() const override;
    std::string Artist() const override;

    // Back to the initial texts, as a dialog loaded afresh shows them.
    void Unload();

    void Done_Click();

    QLineEdit* Lang;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* SongT;
    QLabel* Label3;
    QLineEdit* SongA;
    // Additional file information: nothing reads it, so it is never shown and
    // takes no part in the tab order.
    QLabel* Label4;
    QPlainTextEdit* AddTxt;
    QPushButton* Done;

  protected:
    // The title bar's close box unloads the dialog: its texts go back to the
    // defaults, which the conversion then uses.
    void closeEvent(QCloseEvent* event) override;
    // There is no cancel button: Esc does nothing.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::function<std::string(const QString&)> encode_;
    std::function<QString(std::string_view)> decode_;
};

}  // namespace verselane::ui
