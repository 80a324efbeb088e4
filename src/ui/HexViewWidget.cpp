#include "ui/HexViewWidget.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QMimeData>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <cmath>

#include "images/HexKeys.h"
#include "images/HexRows.h"
#include "ui/KeyCodes.h"

namespace quillon::ui {

namespace {

constexpr int kLineStride = static_cast<int>(quillon::kLineStride);  // 80 characters and the CR LF
constexpr int kLineWidth = static_cast<int>(quillon::kLineWidth);

// How the character column's bytes are drawn: printable ASCII as itself, every other byte as a
// dot, so that no byte passes for a letter it is not.
constexpr std::array<char16_t, 256> MakeCodePage()
{
    std::array<char16_t, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = i >= 0x20 && i < 0x7F ? static_cast<char16_t>(i) : u'.';
    return table;
}
constexpr std::array<char16_t, 256> kCodePage = MakeCodePage();

QFont ViewFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(13);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(13);
    }
    return font;
}

QString HexNumber(std::size_t value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

// The backgrounds of marked bytes: a compare's difference wins over a user's change.
const QColor kDiffersColour(255, 176, 176);
const QColor kChangedColour(190, 215, 255);

QString RowOf(const MemoryDocument& document, int line)
{
    if (line < 0 || static_cast<std::size_t>(line) >= RowCount(document)) return {};
    std::array<char, quillon::kLineWidth> text;
    RenderRow(document, static_cast<std::size_t>(line), text.data());
    QString row(kLineWidth, QChar(u' '));
    QChar* out = row.data();
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = QChar(kCodePage[static_cast<unsigned char>(text[i])]);
    return row;
}

// The one local file of a drag, when it is one the views load: Intel HEX or raw binary.
QString DroppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile()) return {};
    const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
    if (suffix != QLatin1String("hex") && suffix != QLatin1String("eep") && suffix != QLatin1String("bin")) return {};
    return url.toLocalFile();
}

}  // namespace

ViewKey ViewKeyOf(const QKeyEvent& event)
{
    ViewKey key;
    key.code = VirtualKeyFor(event).value_or(0);
    key.command = (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const QString text = event.text();
    if (text.size() == 1 && text.front().isPrint()) key.text = text.front().unicode();
    return key;
}

int UndoKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                            Qt::AltModifier | Qt::MetaModifier);
    if (event.key() == Qt::Key_Z && mods == Qt::ControlModifier) return -1;
    if (event.key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) return 1;
    if (event.key() == Qt::Key_Y && mods == Qt::ControlModifier) return 1;
    return 0;
}

HexViewWidget::HexViewWidget(MemoryDocument& document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document)
{
    // Documents change on this thread only: typing, loads and the end of a command. A command
    // on the worker works on the chip's image, never on a view's document.
    listening_ = document_.Listen([this](std::size_t first, std::size_t last) { UpdateBytes(first, last); });
    setFont(ViewFont());
    const QFontMetrics metrics(font());
    lineHeight_ = std::max(metrics.height(), 13);
    // The font's own advance, fractions kept: rounded, the marks and clicks in the character
    // column would drift from the text a whole character or more by the row's end.
    charWidth_ = std::max(QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')), 1.0);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    setAcceptDrops(true);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    const int frame = 2 * frameWidth();
    setMinimumWidth(static_cast<int>(std::ceil((kLineWidth + 1) * charWidth_)) + 6 + frame + verticalScrollBar()->sizeHint().width());
    UpdateScrollRange();
}

int HexViewWidget::LineCount() const
{
    return static_cast<int>(RowCount(document_));
}

std::size_t HexViewWidget::TextSize() const { return ViewTextLength(RowCount(document_)); }

int HexViewWidget::FirstVisibleLine() const { return verticalScrollBar()->value(); }

int HexViewWidget::VisibleRows() const { return std::max(1, viewport()->height() / lineHeight_); }

QString HexViewWidget::RowText(int line) const
{
    return RowOf(document_, line);
}

void HexViewWidget::UpdateScrollRange()
{
    const int rows = VisibleRows();
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setRange(0, std::max(0, LineCount() - rows));
    const int contentWidth = static_cast<int>(std::ceil((kLineWidth + 1) * charWidth_)) + 6;
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(charWidth_)));
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
}

void HexViewWidget::Reload(std::size_t caret)
{
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    caret_ = std::min(caret, TextSize());
    viewport()->update();
}

std::size_t HexViewWidget::CaretByte() const
{
    const std::size_t size = document_.Size();
    if (size == 0) return 0;
    const std::size_t row = caret_ / kLineStride;
    const std::size_t col = caret_ % kLineStride;
    std::size_t inRow = 0;
    if (col >= quillon::kCharColumn) inRow = std::min<std::size_t>(col - quillon::kCharColumn, kBytesPerLine - 1);
    else if (col >= quillon::kHexColumn) inRow = std::min<std::size_t>((col - quillon::kHexColumn) / 3, kBytesPerLine - 1);
    return std::min(row * kBytesPerLine + inRow, size - 1);
}

void HexViewWidget::GoToByte(std::size_t address)
{
    if (document_.Size() == 0) return;
    address = std::min(address, document_.Size() - 1);
    const int before = static_cast<int>(caret_ / kLineStride);
    caret_ = HexPosition(address);
    EnsureCaretVisible();
    UpdateLine(before);
    UpdateLine(static_cast<int>(caret_ / kLineStride));
}

bool HexViewWidget::Undo()
{
    const std::optional<std::size_t> caret = document_.Undo();
    if (caret) SetCaret(*caret);
    return caret.has_value();
}

bool HexViewWidget::Redo()
{
    const std::optional<std::size_t> caret = document_.Redo();
    if (caret) SetCaret(*caret);
    return caret.has_value();
}

void HexViewWidget::FillAll(std::uint8_t value)
{
    if (document_.Size() == 0) return;
    std::vector<ByteEdit> edits(document_.Size());
    for (std::size_t a = 0; a < edits.size(); ++a) edits[a] = {a, value, 0};
    document_.Edit(edits, caret_, caret_);
    emit edited();
}

std::size_t HexViewWidget::ShowDifferences(std::vector<std::uint8_t> chip)
{
    chipBytes_ = std::move(chip);
    return document_.MarkDifferences(chipBytes_);
}

bool HexViewWidget::event(QEvent* event)
{
    // While the view has the focus every key follows the view's rules: a menu's shortcut acts
    // only when the focus is elsewhere.
    // While the view has the focus, the keys it edits with follow the view's rules, undo and
    // redo included; every other key is left to the window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (UndoKey(*key) != 0 || IsViewKey(*key)) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::ToolTip) {
        const QPoint pos = static_cast<QHelpEvent*>(event)->pos();
        const QPoint at = viewport()->mapFrom(this, pos);
        const std::optional<std::size_t> address = ByteAt(at);
        if (address && *address < chipBytes_.size() && (document_.MarksAt(*address) & kDiffersFromChip)) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                               QStringLiteral("%1: the chip holds %2, the view %3")
                                   .arg(HexNumber(*address, 4), HexNumber(chipBytes_[*address], 2),
                                        HexNumber(document_.At(*address), 2)),
                               this);
            return true;
        }
        // Elsewhere the view's own tooltip says what the view is for.
    }
    return QAbstractScrollArea::event(event);
}

std::optional<std::size_t> HexViewWidget::ByteAt(QPoint point) const
{
    if (LineCount() == 0 || point.y() < 0) return std::nullopt;
    const int line = FirstVisibleLine() + point.y() / lineHeight_;
    if (line >= LineCount()) return std::nullopt;
    const int col = static_cast<int>(std::floor((point.x() - 3 + horizontalScrollBar()->value()) / charWidth_));
    int inRow = -1;
    if (col >= static_cast<int>(quillon::kHexColumn) && col < static_cast<int>(quillon::kHexColumnEnd) &&
        (col - static_cast<int>(quillon::kHexColumn)) % 3 != 2)
        inRow = (col - static_cast<int>(quillon::kHexColumn)) / 3;
    else if (col >= static_cast<int>(quillon::kCharColumn) && col < static_cast<int>(quillon::kCharColumn + kBytesPerLine))
        inRow = col - static_cast<int>(quillon::kCharColumn);
    if (inRow < 0) return std::nullopt;
    return static_cast<std::size_t>(line) * kBytesPerLine + static_cast<std::size_t>(inRow);
}

void HexViewWidget::SetCaret(std::size_t position)
{
    caret_ = std::min(position, TextSize());
    EnsureCaretVisible();
    viewport()->update();
}

void HexViewWidget::EnsureCaretVisible()
{
    const int line = static_cast<int>(caret_ / kLineStride);
    const int first = FirstVisibleLine();
    const int rows = VisibleRows();
    if (line < first) verticalScrollBar()->setValue(line);
    else if (line >= first + rows) verticalScrollBar()->setValue(line - rows + 1);
    const int x = static_cast<int>(static_cast<double>(caret_ % kLineStride) * charWidth_) + 3;
    QScrollBar* h = horizontalScrollBar();
    const int width = static_cast<int>(std::ceil(charWidth_));
    if (x < h->value()) h->setValue(x);
    else if (x + width > h->value() + viewport()->width()) h->setValue(x + width - viewport()->width());
}

void HexViewWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int first = FirstVisibleLine();
    const int rows = VisibleRows() + 1;
    const int xOffset = 3 - horizontalScrollBar()->value();
    const int lines = LineCount();
    painter.setPen(palette().color(QPalette::Text));
    for (int i = 0; i < rows && first + i < lines; ++i) {
        const int y = i * lineHeight_;
        PaintMarks(painter, first + i, xOffset, y);
        painter.drawText(xOffset, y + metrics.ascent(), RowText(first + i));
    }
    if (hasFocus()) {
        const int line = static_cast<int>(caret_ / kLineStride);
        const int col = static_cast<int>(caret_ % kLineStride);
        if (line >= first && line < first + rows) {
            const int x = xOffset + static_cast<int>(std::lround(col * charWidth_));
            painter.fillRect(QRect(x, (line - first) * lineHeight_, 2, lineHeight_),
                             palette().color(QPalette::Text));
        }
    }
}

void HexViewWidget::PaintMarks(QPainter& painter, int line, int xOffset, int y)
{
    const std::size_t base = static_cast<std::size_t>(line) * kBytesPerLine;
    for (std::size_t b = 0; b < kBytesPerLine && base + b < document_.Size(); ++b) {
        const std::uint8_t marks = document_.MarksAt(base + b);
        if ((marks & (kDiffersFromChip | kChangedByUser)) == 0) continue;
        const QColor& colour = (marks & kDiffersFromChip) ? kDiffersColour : kChangedColour;
        const double hex = xOffset + static_cast<double>(quillon::kHexColumn + 3 * b) * charWidth_;
        const double chr = xOffset + static_cast<double>(quillon::kCharColumn + b) * charWidth_;
        painter.fillRect(QRectF(hex, y, 2 * charWidth_, lineHeight_), colour);
        painter.fillRect(QRectF(chr, y, charWidth_, lineHeight_), colour);
    }
}

void HexViewWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
    else event->ignore();
}

void HexViewWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
    else event->ignore();
}

void HexViewWidget::dropEvent(QDropEvent* event)
{
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit fileDropped(path);
}

void HexViewWidget::UpdateLine(int line)
{
    const int row = line - FirstVisibleLine();
    if (row < 0 || row > VisibleRows()) return;
    viewport()->update(QRect(0, row * lineHeight_, viewport()->width(), lineHeight_));
}

void HexViewWidget::MoveByArrow(std::uint16_t vk)
{
    // The caret moves as in a text control whose line break is two characters: it never rests
    // between the CR and the LF.
    const std::size_t size = TextSize();
    std::size_t p = caret_;
    switch (vk) {
    case VkLeft:
        if (p > 0) --p;
        if (p % kLineStride == kLineStride - 1) --p;
        break;
    case VkRight:
        if (p < size) ++p;
        if (p % kLineStride == kLineStride - 1) ++p;
        break;
    case VkUp:
        if (p >= kLineStride) p -= kLineStride;
        break;
    case VkDown:
        if (p + kLineStride <= size) p += kLineStride;
        else if (p / kLineStride + 1 < static_cast<std::size_t>(LineCount())) p = size;
        break;
    default:
        break;
    }
    const int before = static_cast<int>(caret_ / kLineStride);
    caret_ = std::min(p, size);
    EnsureCaretVisible();
    UpdateLine(before);
    UpdateLine(static_cast<int>(caret_ / kLineStride));
}

bool HexViewWidget::IsViewKey(const QKeyEvent& event) const
{
    const ViewKey key = ViewKeyOf(event);
    if (IsArrowKey(key.code) && !key.command) return true;
    return ViewKeyDown(document_, caret_, key).handled;
}

void HexViewWidget::keyPressEvent(QKeyEvent* event)
{
    if (const int step = UndoKey(*event); step != 0) {
        event->accept();
        const bool done = step < 0 ? Undo() : Redo();
        if (done) emit edited();
        return;
    }
    const ViewKey key = ViewKeyOf(*event);
    if (IsArrowKey(key.code) && !key.command) {
        event->accept();
        MoveByArrow(key.code);
        return;
    }
    const ViewKeyOutcome outcome = ViewKeyDown(document_, caret_, key);
    if (!outcome.handled) {
        event->ignore();
        return;
    }
    event->accept();
    const int before = static_cast<int>(caret_ / kLineStride);
    const std::size_t caretBefore = caret_;
    caret_ = std::min(outcome.caret, TextSize());
    if (!outcome.edits.empty()) document_.Edit(outcome.edits, caretBefore, caret_);
    EnsureCaretVisible();
    UpdateLine(before);
    UpdateLine(static_cast<int>(caret_ / kLineStride));
    if (!outcome.edits.empty()) emit edited();
}

void HexViewWidget::UpdateBytes(std::size_t first, std::size_t last)
{
    if (first >= last) return;
    const int firstLine = static_cast<int>(first / kBytesPerLine);
    const int lastLine = static_cast<int>((last - 1) / kBytesPerLine);
    const int top = std::max(firstLine, FirstVisibleLine());
    const int bottom = std::min(lastLine, FirstVisibleLine() + VisibleRows());
    for (int line = top; line <= bottom; ++line) UpdateLine(line);
}

void HexViewWidget::mousePressEvent(QMouseEvent* event)
{
    if (LineCount() == 0) return;
    setFocus(Qt::MouseFocusReason);
    const QPointF pos = event->position();
    const int line = std::clamp(FirstVisibleLine() + static_cast<int>(pos.y()) / lineHeight_, 0, LineCount() - 1);
    const double x = pos.x() - 3 + horizontalScrollBar()->value();
    const int col = std::clamp(static_cast<int>(x / charWidth_ + 0.5), 0, kLineWidth);
    SetCaret(static_cast<std::size_t>(line) * kLineStride + static_cast<std::size_t>(col));
}

void HexViewWidget::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void HexViewWidget::scrollContentsBy(int, int) { viewport()->update(); }

void HexViewWidget::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void HexViewWidget::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace quillon::ui
