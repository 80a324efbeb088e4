// Edit > Find...: a byte sequence typed as hex digits or as text, found forward or backward from
// the caret of the view the window names. It stays open beside the window.
#pragma once

#include <QDialog>
#include <functional>

#include "images/FindBytes.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace quillon::ui {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);

    // What the field gives, as bytes; an error when it gives none.
    ParsedPattern Pattern() const;
    void ShowOutcome(const QString& text, bool failed);

    QLineEdit* Field() const { return field_; }
    QRadioButton* AsText() const { return text_; }

signals:
    void findRequested(bool forward);

private:
    QLineEdit* field_;
    QRadioButton* hex_;
    QRadioButton* text_;
    QLabel* outcome_;
};

}  // namespace quillon::ui
