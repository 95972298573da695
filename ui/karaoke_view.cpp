#include "ui/karaoke_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace verselane::ui {

namespace {

// A paragraph's first line comes on screen this long before it is sung.
constexpr double kLead = 2.0;
// The sweep through a syllable lasts until the next one, at most this long.
constexpr double kLongestSweep = 1.0;

const QColor kBackground(16, 22, 40);
const QColor kWaiting(240, 240, 240);
const QColor kSung(70, 190, 255);
const QColor kTitle(255, 210, 90);

}  // namespace

KaraokeView::KaraokeView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("KaraokeView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(120);
}

void KaraokeView::SetWords(const std::vector<SungLine>& lines,
                           const std::vector<std::string>& titles,
                           const std::function<QString(std::string_view)>& decode) {
    lines_.clear();
    titles_.clear();
    for (const std::string& title : titles) {
        if (!title.empty()) titles_ << decode(title);
    }
    for (const SungLine& sung : lines) {
        Line line;
        line.Seconds = sung.Seconds;
        line.NewParagraph = sung.NewParagraph;
        for (const SungSyllable& syllable : sung.Syllables) {
            line.Text += decode(syllable.Text);
            line.Starts.push_back(syllable.Seconds);
            line.Ends.push_back(static_cast<int>(line.Text.size()));
        }
        lines_.push_back(std::move(line));
    }
    ShowAt(0);
}

void KaraokeView::Clear() {
    SetWords({}, {}, {});
}

void KaraokeView::ShowAt(double seconds) {
    const int was_current = current_, was_sung = sung_;
    const double was_sweep = sweep_;
    const bool had_titles = show_titles_;
    current_ = next_ = -1;
    sung_ = 0;
    sweep_ = 0;
    show_titles_ = false;

    // The line of the last syllable due: the lines' first syllables are in
    // time order, so the line is the last one that has begun.
    auto begun = std::upper_bound(lines_.begin(), lines_.end(), seconds,
                                  [](double s, const Line& line) { return s < line.Seconds; });
    const int line = static_cast<int>(begun - lines_.begin()) - 1;
    if (line < 0) {
        if (!lines_.empty() && (titles_.isEmpty() || seconds >= lines_[0].Seconds - kLead)) {
            current_ = 0;
        } else {
            show_titles_ = !titles_.isEmpty();
        }
    } else {
        const Line& now = lines_[line];
        current_ = line;
        sung_ = static_cast<int>(std::upper_bound(now.Starts.begin(), now.Starts.end(), seconds) -
                                 now.Starts.begin());
        const double start = now.Starts[sung_ - 1];
        double end = sung_ < static_cast<int>(now.Starts.size())
                         ? now.Starts[sung_]
                         : (line + 1 < static_cast<int>(lines_.size()) ? lines_[line + 1].Seconds
                                                                       : start + kLongestSweep);
        end = std::min(end, start + kLongestSweep);
        sweep_ = end > start ? std::clamp((seconds - start) / (end - start), 0.0, 1.0) : 1.0;
        // A paragraph sung to its end gives way to the next one shortly
        // before that begins.
        const bool done = sung_ == static_cast<int>(now.Starts.size()) && sweep_ >= 1.0;
        if (done && line + 1 < static_cast<int>(lines_.size()) && lines_[line + 1].NewParagraph &&
            seconds >= lines_[line + 1].Seconds - kLead) {
            current_ = line + 1;
            sung_ = 0;
            sweep_ = 0;
        }
    }
    if (current_ >= 0 && current_ + 1 < static_cast<int>(lines_.size()) &&
        !lines_[current_ + 1].NewParagraph) {
        next_ = current_ + 1;
    }
    if (current_ != was_current || sung_ != was_sung || sweep_ != was_sweep ||
        show_titles_ != had_titles) {
        update();
    }
}

QString KaraokeView::LineText(int line) const {
    return line < 0 ? QString() : lines_[line].Text.trimmed();
}

QString KaraokeView::CurrentLine() const {
    return LineText(current_);
}

QString KaraokeView::NextLine() const {
    return LineText(next_);
}

int KaraokeView::LitLength() const {
    return sung_ <= 1 ? 0 : lines_[current_].Ends[sung_ - 2];
}

QString KaraokeView::SungText() const {
    if (current_ < 0 || sung_ == 0) return {};
    return lines_[current_].Text.left(lines_[current_].Ends[sung_ - 1]).trimmed();
}

QString KaraokeView::Syllable() const {
    if (current_ < 0 || sung_ == 0) return {};
    const Line& line = lines_[current_];
    const int from = LitLength();
    return line.Text.mid(from, line.Ends[sung_ - 1] - from).trimmed();
}

QStringList KaraokeView::Titles() const {
    return show_titles_ ? titles_ : QStringList();
}

void KaraokeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area =
        QRectF(rect()).adjusted(width() * 0.03, height() * 0.08, -width() * 0.03, -height() * 0.08);
    QFont font = painter.font();
    font.setBold(true);

    if (show_titles_) {
        font.setPixelSize(std::max(10, static_cast<int>(area.height() / (titles_.size() + 2))));
        painter.setFont(font);
        painter.setPen(kTitle);
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, titles_.join(QLatin1Char('\n')));
        return;
    }
    if (current_ < 0) return;

    // Two lines in the largest type that fits the width.
    const Line& line = lines_[current_];
    const QString current = line.Text;
    int first = 0;
    while (first < current.size() && current[first].isSpace()) ++first;
    const QString shown = current.mid(first).trimmed();
    const QString next = NextLine();
    int pixels = std::max(10, static_cast<int>(area.height() / 3));
    font.setPixelSize(pixels);
    const double widest = std::max(QFontMetricsF(font).horizontalAdvance(shown),
                                   QFontMetricsF(font).horizontalAdvance(next));
    if (widest > area.width()) {
        pixels = std::max(8, static_cast<int>(pixels * area.width() / widest));
        font.setPixelSize(pixels);
    }
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double row = area.height() / 2;

    // The current line: drawn waiting, then lit up to the sweep's edge.
    const double x = area.left() + (area.width() - metrics.horizontalAdvance(shown)) / 2;
    const double y = area.top() + (row + metrics.ascent() - metrics.descent()) / 2;
    painter.setPen(kWaiting);
    painter.drawText(QPointF(x, y), shown);
    if (sung_ > 0) {
        auto width_to = [&](int end) {
            return metrics.horizontalAdvance(
                shown.left(std::clamp(end - first, 0, int(shown.size()))));
        };
        const double lit = width_to(LitLength());
        const double edge = lit + (width_to(line.Ends[sung_ - 1]) - lit) * sweep_;
        painter.save();
        painter.setClipRect(QRectF(x, area.top(), edge, row));
        painter.setPen(kSung);
        painter.drawText(QPointF(x, y), shown);
        painter.restore();
    }
    if (!next.isEmpty()) {
        painter.setPen(kWaiting);
        painter.drawText(
            QPointF(area.left() + (area.width() - metrics.horizontalAdvance(next)) / 2, y + row),
            next);
    }
}

}  // namespace verselane::ui
