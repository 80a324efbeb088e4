// A hex view of the main window: paints only the visible rows of a memory document, straight from
// its bytes with the changed and differing bytes in colour, keeps the caret, and turns key presses
// into the byte edits of the hex editor, each one an undo step.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "images/HexKeys.h"
#include "images/MemoryDocument.h"

class QKeyEvent;
class QPainter;

namespace quillon::ui {

// A key event as the views' editing keys take it.
ViewKey ViewKeyOf(const QKeyEvent& event);
// -1 for the keys of undo (Ctrl+Z), 1 for redo (Ctrl+Shift+Z, Ctrl+Y), 0 for every other key.
int UndoKey(const QKeyEvent& event);

class HexViewWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The document must outlive the widget.
    HexViewWidget(MemoryDocument& document, QWidget* parent = nullptr);

    // A position in the document's text: row * 82 + column (see images/HexKeys.h).
    std::size_t Caret() const { return caret_; }
    void SetCaret(std::size_t position);  // clamped to the text, scrolled into sight
    // The byte the caret is on (the last one when it is past the last row).
    std::size_t CaretByte() const;
    // Puts the caret on the first digit of that byte, its row in sight.
    void GoToByte(std::size_t address);

    MemoryDocument& Document() { return document_; }

    // The user's steps back and forward; false when there was none. The caret goes where the
    // step left it.
    bool Undo();
    bool Redo();
    // Every byte set to `value` as one step.
    void FillAll(std::uint8_t value);

    // Marks the bytes where the chip holds another value; hovering one shows the chip's value.
    std::size_t ShowDifferences(std::vector<std::uint8_t> chip);

    // The document was rebuilt or refilled by a command: recount the rows, scroll to the top and
    // put the caret where the command left it.
    void Reload(std::size_t caret);

    int LineCount() const;
    int FirstVisibleLine() const;
    QString RowText(int line) const;  // as painted, for tests and screenshots

signals:
    void edited();  // the user changed a byte
    // A .hex, .eep or .bin file was dropped on the view.
    void fileDropped(const QString& path);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A key the view edits or moves the caret with, which no shortcut may take from it.
    bool IsViewKey(const QKeyEvent& event) const;
    void UpdateScrollRange();
    void PaintMarks(QPainter& painter, int line, int xOffset, int y);
    std::optional<std::size_t> ByteAt(QPoint point) const;  // under a viewport point
    void EnsureCaretVisible();
    void MoveByArrow(std::uint16_t vk);
    int VisibleRows() const;
    void UpdateLine(int line);
    void UpdateBytes(std::size_t first, std::size_t last);
    std::size_t TextSize() const;

    MemoryDocument& document_;
    MemoryDocument::Listening listening_;
    std::size_t caret_ = 0;
    int lineHeight_ = 13;
    double charWidth_ = 8;
    std::vector<std::uint8_t> chipBytes_;  // what the last compare read, for the hover text
};

}  // namespace quillon::ui
