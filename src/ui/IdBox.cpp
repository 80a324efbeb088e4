#include "ui/IdBox.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/KeyCodes.h"
#include "images/HexKeys.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

IdBox::IdBox(QWidget* parent) : QLineEdit(parent)
{
    setObjectName(QString::fromLatin1(names::kIdBox));
    // Not read-only, because a read-only line hides its caret, which the nibble editing needs;
    // every way of typing, pasting or dropping text is taken away instead.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    font.setBold(true);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::Text, Qt::red);
    colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
    setPalette(colours);
    setText(QStringLiteral("FF FF FF"));
}

void IdBox::keyPressEvent(QKeyEvent* event)
{
    const auto vk = VirtualKeyFor(*event);
    if (vk && IsArrowKey(*vk)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!vk) return;
    std::string current = text().toStdString();
    const IdBoxKeyOutcome outcome = IdBoxKeyDown(current, static_cast<std::size_t>(cursorPosition()), *vk);
    if (!outcome.handled) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    ApplyEdits(current, outcome);
    setText(QString::fromStdString(current));
    setCursorPosition(static_cast<int>(outcome.caret));
}

}  // namespace quillon::ui

namespace quillon::ui {

void IdBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

}  // namespace quillon::ui
