#include "ui/karaoke_view.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <map>

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
// The timing editor's colour for a doubtful syllable.
const QColor kDoubt(220, 110, 0);
// Type shrinks no further than this to fit the rows into the view.
constexpr double kSmallestPoints = 24;

// The rows of `text` no wider than `width`, broken at spaces; a single word
// wider than that keeps a row of its own. Spaces at a row's ends are left off.
std::vector<std::pair<int, int>> BreakIntoRows(const QString& text, const QFontMetricsF& metrics,
                                               double width) {
    std::vector<std::pair<int, int>> rows;
    const int size = static_cast<int>(text.size());
    int from = 0;
    while (from < size && text[from].isSpace()) ++from;
    while (from < size) {
        // Grow the row word by word while it fits; at least one word.
        int end = from, to = from;
        while (end < size) {
            int word_end = end;
            while (word_end < size && text[word_end].isSpace()) ++word_end;
            while (word_end < size && !text[word_end].isSpace()) ++word_end;
            if (to > from && metrics.horizontalAdvance(text.mid(from, word_end - from)) > width) {
                break;
            }
            to = end = word_end;
        }
        rows.push_back({from, to});
        from = to;
        while (from < size && text[from].isSpace()) ++from;
    }
    return rows;
}

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
            line.Ticks.push_back(syllable.Tick);
            line.Doubts.emplace_back();
        }
        lines_.push_back(std::move(line));
    }
    doubts_.clear();
    ShowAt(0);
}

void KaraokeView::Clear() {
    SetWords({}, {}, {});
}

void KaraokeView::SetDoubts(const std::vector<MarkedDoubt>& doubts) {
    doubts_ = doubts;
    MarkDoubts();
    update();
}

// Each syllable with visible text is known by its tick and its place among
// the syllables on that tick, as the aligner and the timing editor count them.
void KaraokeView::MarkDoubts() {
    std::map<std::pair<int32_t, int>, QString> reasons;
    for (const MarkedDoubt& doubt : doubts_) reasons[{doubt.Tick, doubt.Order}] = doubt.Reason;
    std::map<int32_t, int> seen;  // visible syllables so far on each tick
    for (Line& line : lines_) {
        for (size_t k = 0; k < line.Ticks.size(); ++k) {
            line.Doubts[k].clear();
            const int from = k == 0 ? 0 : line.Ends[k - 1];
            if (line.Text.mid(from, line.Ends[k] - from).trimmed().isEmpty()) continue;
            const auto found = reasons.find({line.Ticks[k], seen[line.Ticks[k]]++});
            if (found != reasons.end()) line.Doubts[k] = found->second;
        }
    }
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

int KaraokeView::SmallestPixels() const {
    return static_cast<int>(std::ceil(kSmallestPoints * logicalDpiY() / 72.0));
}

KaraokeView::Layout KaraokeView::LayOut() const {
    Layout layout;
    if (current_ < 0) return layout;
    const QRectF area =
        QRectF(rect()).adjusted(width() * 0.03, height() * 0.08, -width() * 0.03, -height() * 0.08);
    QFont font = this->font();
    font.setBold(true);
    // Two rows fill the view's height; longer lines take more rows of
    // smaller type, down to the smallest size.
    const int smallest = SmallestPixels();
    int pixels = std::max(smallest, static_cast<int>(area.height() / 3));
    for (;; pixels = std::max(smallest, pixels * 9 / 10)) {
        font.setPixelSize(pixels);
        const QFontMetricsF metrics(font);
        layout.Pixels = pixels;
        layout.Spacing = metrics.lineSpacing() * 1.25;
        layout.Rows.clear();
        for (int line : {current_, next_}) {
            if (line < 0) continue;
            for (const auto& [from, to] : BreakIntoRows(lines_[line].Text, metrics, area.width())) {
                layout.Rows.push_back({line, from, to});
            }
        }
        if (pixels == smallest ||
            static_cast<double>(layout.Rows.size()) * layout.Spacing <= area.height()) {
            break;
        }
    }
    // Rows that do not all fit scroll: the row being sung stays on screen,
    // with as many rows after it as fit.
    const size_t fit = std::max<size_t>(1, static_cast<size_t>(area.height() / layout.Spacing));
    layout.Shown = std::min(fit, layout.Rows.size());
    const int singing = LitLength();
    size_t row = 0;
    while (row + 1 < layout.Rows.size() && layout.Rows[row + 1].Line == current_ &&
           layout.Rows[row + 1].From <= singing) {
        ++row;
    }
    layout.First = std::min(row, layout.Rows.size() - layout.Shown);
    return layout;
}

QStringList KaraokeView::Rows() const {
    QStringList rows;
    const Layout layout = LayOut();
    for (size_t i = layout.First; i < layout.First + layout.Shown; ++i) {
        const Row& row = layout.Rows[i];
        rows << lines_[row.Line].Text.mid(row.From, row.To - row.From);
    }
    return rows;
}

double KaraokeView::TypePoints() const {
    return LayOut().Pixels * 72.0 / logicalDpiY();
}

double KaraokeView::FirstRowTop(const Layout& layout) const {
    const QRectF area =
        QRectF(rect()).adjusted(width() * 0.03, height() * 0.08, -width() * 0.03, -height() * 0.08);
    return area.top() +
           std::max(0.0, (area.height() - layout.Spacing * static_cast<double>(layout.Shown)) / 2);
}

std::vector<DoubtOnScreen> KaraokeView::DoubtsOnScreen() const {
    std::vector<DoubtOnScreen> marks;
    if (doubts_.empty() || show_titles_ || current_ < 0) return marks;
    const Layout layout = LayOut();
    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(layout.Pixels);
    const QFontMetricsF metrics(font);
    const double left = width() * 0.03, area_width = width() * 0.94;
    double top = FirstRowTop(layout);
    for (size_t i = layout.First; i < layout.First + layout.Shown; ++i, top += layout.Spacing) {
        const Row& row = layout.Rows[i];
        const Line& line = lines_[row.Line];
        const QString text = line.Text.mid(row.From, row.To - row.From);
        const double x = left + (area_width - metrics.horizontalAdvance(text)) / 2;
        for (size_t k = 0; k < line.Doubts.size(); ++k) {
            if (line.Doubts[k].isEmpty()) continue;
            // The syllable's visible characters on this row.
            int from = std::max(k == 0 ? 0 : line.Ends[k - 1], row.From);
            int to = std::min(line.Ends[k], row.To);
            while (from < to && line.Text[from].isSpace()) ++from;
            while (to > from && line.Text[to - 1].isSpace()) --to;
            if (from >= to) continue;
            const double x0 = x + metrics.horizontalAdvance(text.left(from - row.From));
            const double x1 = x + metrics.horizontalAdvance(text.left(to - row.From));
            marks.push_back({line.Text.mid(from, to - from), line.Doubts[k],
                             QRectF(x0, top, x1 - x0, layout.Spacing)});
        }
    }
    return marks;
}

QString KaraokeView::DoubtAt(QPointF point) const {
    for (const DoubtOnScreen& mark : DoubtsOnScreen()) {
        if (mark.Box.contains(point))
            return tr("Doubtful syllable \"%1\": %2").arg(mark.Text, mark.Reason);
    }
    return {};
}

bool KaraokeView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = DoubtAt(help->pos());
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), tip, this);
    }
    return true;
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

    // The current line, then the next one, each on as many rows as it
    // takes, in the middle of the view; the current line lit up to the
    // sweep's edge.
    const Layout layout = LayOut();
    font.setPixelSize(layout.Pixels);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double spacing = layout.Spacing;
    double top = FirstRowTop(layout);
    for (size_t i = layout.First; i < layout.First + layout.Shown; ++i, top += spacing) {
        const Row& row = layout.Rows[i];
        const Line& line = lines_[row.Line];
        const QString text = line.Text.mid(row.From, row.To - row.From);
        const double x = area.left() + (area.width() - metrics.horizontalAdvance(text)) / 2;
        const double y = top + (spacing + metrics.ascent() - metrics.descent()) / 2;
        painter.setPen(kWaiting);
        painter.drawText(QPointF(x, y), text);
        if (row.Line != current_ || sung_ == 0) continue;
        auto width_to = [&](int end) {
            return metrics.horizontalAdvance(
                text.left(std::clamp(end - row.From, 0, static_cast<int>(text.size()))));
        };
        const double done = width_to(LitLength());
        const double edge = done + (width_to(line.Ends[sung_ - 1]) - done) * sweep_;
        if (edge <= 0) continue;
        painter.save();
        painter.setClipRect(QRectF(x, top, edge, spacing));
        painter.setPen(kSung);
        painter.drawText(QPointF(x, y), text);
        painter.restore();
    }
    // Doubtful syllables underlined, below the baseline of their row.
    const double thickness = std::max(2.0, metrics.lineWidth() * 2);
    for (const DoubtOnScreen& mark : DoubtsOnScreen()) {
        const double baseline =
            mark.Box.top() + (spacing + metrics.ascent() - metrics.descent()) / 2;
        painter.fillRect(
            QRectF(mark.Box.left(), baseline + metrics.descent() / 2, mark.Box.width(), thickness),
            kDoubt);
    }
}

}  // namespace verselane::ui
