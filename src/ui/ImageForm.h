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
    // Builds the window and loads the chip's picture; a missing or undecodable file is reported
    // in a message box first and the window stays empty.
    static std::unique_ptr<ImageForm> Create(const Chip& chip, QWidget* parent = nullptr);

    PictureBox* PictureArea() const { return pictureArea_; }

protected:
    void resizeEvent(QResizeEvent* event) override;  // the picture fills the window

private:
    explicit ImageForm(QWidget* parent);

    PictureBox* pictureArea_;
};

// The text shown when the chip has no picture file.
QString MissingPictureText();

}  // namespace quillon::ui
