#include "ui/ImageForm.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

#include "chips/Chip.h"
#include "ui/JpegImage.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) { setObjectName(QString::fromLatin1(names::kPicture)); }

void PictureBox::SetPicture(QImage picture)
{
    picture_ = std::move(picture);
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture_);
}

QString MissingPictureText(const QString& chip)
{
    return QStringLiteral("No wiring picture is available for the %1.\n\n"
                          "Wire the chip to the gateway's socket by the chip's datasheet and the gateway's manual.")
        .arg(chip);
}

QString NoChipPictureText()
{
    return QStringLiteral("No chip is selected. Select one in the Chip Select menu or with Autosearch chip, "
                          "then ask again how to connect it.");
}

ImageForm::ImageForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)
{
    setObjectName(QStringLiteral("ImageForm"));
    setWindowTitle(QStringLiteral("Tavro Connection (image is resizeble, just pull it for any corner)"));
    resize(512, 384);  // the client area; the frame adds the rest
    pictureArea_ = new PictureBox(this);
    pictureArea_->setGeometry(0, 0, 512, 384);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

std::unique_ptr<ImageForm> ImageForm::Create(const Chip& chip, QWidget* parent)
{
    // Without a picture to show there is no window: a box says so, in plain words.
    auto explain = [parent](QMessageBox::Icon icon, const QString& text, const char* name) {
        QMessageBox box(icon, QStringLiteral("How to connect"), text, QMessageBox::Ok, parent);
        box.setObjectName(QString::fromLatin1(name));
        box.exec();
        return std::unique_ptr<ImageForm>();
    };
    if (chip.signature == 0) return explain(QMessageBox::Information, NoChipPictureText(), "NoChipPicture");
    const QString file = QString::fromStdString(chip.pictureFile);
    if (!QFileInfo(file).isFile())
        return explain(QMessageBox::Information, MissingPictureText(QString::fromStdString(chip.name)),
                       "MissingPicture");
    DecodedImage decoded = DecodeJpegFile(file);
    if (decoded.image.isNull()) return explain(QMessageBox::Warning, decoded.error, "BadPicture");
    std::unique_ptr<ImageForm> form(new ImageForm(parent));
    form->pictureArea_->SetPicture(std::move(decoded.image));
    return form;
}

void ImageForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    pictureArea_->setGeometry(0, 0, width(), height());
}

}  // namespace quillon::ui
