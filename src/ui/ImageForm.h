// The connection picture window: the selected chip's wiring drawing, stretched to the window,
// from the JPEG file named after the chip in the working folder.
#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <memory>

namespace quillon {
struct Chip;
}

namespace quillon::ui {

// Paints its picture stretched to its whole size, without keeping the aspect ratio.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void SetPicture(QImage picture);
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

class ImageForm : public QDialog {
    Q_OBJECT
public:
    // Builds the window with the chip's picture (the JPEG file named after the chip beside the
    // program). Without a chip, a picture file or a picture it can decode, a message box says so
    // and there is no window: null.
    static std::unique_ptr<ImageForm> Create(const Chip& chip, QWidget* parent = nullptr);

    PictureBox* PictureArea() const { return pictureArea_; }

protected:
    void resizeEvent(QResizeEvent* event) override;  // the picture fills the window

private:
    explicit ImageForm(QWidget* parent);

    PictureBox* pictureArea_;
};

// The texts shown instead of the window: the chip has no picture file, no chip is selected.
QString MissingPictureText(const QString& chip);
QString NoChipPictureText();

}  // namespace quillon::ui
