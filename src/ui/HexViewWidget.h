// A hex view of the main window: paints only the visible rows of a view text the core owns, keeps
// the caret, and turns key presses into the in-place edits of the hex editor.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "images/Workspace.h"

namespace quillon::ui {

class HexViewWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    // `view` is the core's view (text and shown size); it must outlive the widget.
    HexViewWidget(HexView& view, QWidget* parent = nullptr);

    std::size_t Caret() const { return caret_; }
    void SetCaret(std::size_t position);  // clamped to the text, scrolled into sight

    // The text was replaced by the core: recount the lines, put the caret on the first digit.
    void Reload();

    // While a command runs on the worker thread the core may rewrite the text; the widget then
    // paints the rows it showed when frozen and reads nothing else.
    void Freeze();
    void Thaw();

    int LineCount() const;
    int FirstVisibleLine() const;
    QString RowText(int line) const;  // as painted, for tests and screenshots

signals:
    void edited();  // the user changed a byte

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollRange();
    void EnsureCaretVisible();
    void MoveByArrow(std::uint16_t vk);
    int VisibleRows() const;
    void UpdateLine(int line);

    HexView& view_;
    std::size_t caret_ = 0;
    int lineHeight_ = 13;
    int charWidth_ = 8;
    bool frozen_ = false;
    int frozenFirst_ = 0;
    int frozenLines_ = 0;
    std::vector<QString> frozenRows_;
};

}  // namespace quillon::ui
