// Edit > Go to address...: asks for an address in hex or decimal and refuses one outside the view,
// saying why, without closing.
#pragma once

#include <QDialog>
#include <cstddef>

class QLabel;
class QLineEdit;

namespace quillon::ui {

class GoToDialog : public QDialog {
    Q_OBJECT
public:
    // `size`: the bytes of the view the caret goes into.
    GoToDialog(std::size_t size, QWidget* parent = nullptr);

    std::size_t Address() const { return address_; }  // after Accepted
    QLineEdit* Field() const { return field_; }

public slots:
    void accept() override;

private:
    std::size_t size_;
    std::size_t address_ = 0;
    QLineEdit* field_;
    QLabel* error_;
};

}  // namespace quillon::ui
