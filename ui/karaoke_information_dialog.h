// KaraokeInformationDialog, the "Karaoke Information" dialog: the language,
// title and artist lines of a Soft Karaoke file, asked before lyrics become
// karaoke text. It proposes the song's own information; Cancel (or Esc)
// cancels the whole conversion.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <string_view>

#include "driver/convert_lyrics.h"

class QLineEdit;
class QPushButton;

namespace verselane::ui {

class KaraokeInformationDialog : public QDialog, public KaraokeInfoDialog {
    Q_OBJECT

  public:
    explicit KaraokeInformationDialog(QWidget* owner = nullptr);

    // How the song's bytes are shown, and how typed text becomes bytes.
    void SetTextCodec(std::function<QString(std::string_view)> decode,
                      std::function<std::string(const QString&)> encode);

    void Propose(const KaraokeInfo& Info) override;
    bool ShowModal() override;
    std::string Language() const override;
    std::string Title() const override;
    std::string Artist() const override;

  private:
    std::function<QString(std::string_view)> decode_;
    std::function<std::string(const QString&)> encode_;
    QLineEdit* language_;
    QLineEdit* title_;
    QLineEdit* artist_;
    QPushButton* done_;
    QPushButton* cancel_;
};

}  // namespace verselane::ui
