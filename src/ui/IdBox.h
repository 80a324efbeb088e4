// The "ID bytes" box: a read-only line that shows the signature and takes the same nibble
// editing keys as the hex views. Its text is never read back.
#pragma once

#include <QLineEdit>

namespace quillon::ui {

class IdBox : public QLineEdit {
    Q_OBJECT
public:
    explicit IdBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;  // no middle-button paste
};

}  // namespace quillon::ui
