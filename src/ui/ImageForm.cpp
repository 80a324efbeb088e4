#include "ui/ImageForm.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>

#include "chips/Chip.h"
#include "ui/DocPaths.h"
#include "ui/JpegImage.h"

namespace quillon::ui {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("Image1")); }

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

QString MissingPictureText()
{
    QString place = DocFile(QStringLiteral("README.md"));
    if (place.isEmpty()) place = QStringLiteral("README.md");
    return QString::fromUtf8("Невозможно отобразить схему подключения,\n"
                             "(не найден файл картинки). Или подключайте\n"
                             "по даташиту, или скачайте полную версию\n"
                             "программы с сайта ") +
           place;
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
    std::unique_ptr<ImageForm> form(new ImageForm(parent));
    if (chip.signature == 0) return form;
    const QString file = QString::fromStdString(chip.pictureFile);
    if (!QFileInfo(file).isFile()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), MissingPictureText(), QMessageBox::Ok);
        box.setObjectName(QStringLiteral("MissingPicture"));
        box.exec();
        form->pictureArea_->SetPicture(QImage());
        return form;
    }
    DecodedImage decoded = DecodeJpegFile(file);
    if (decoded.image.isNull()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), decoded.error, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("BadPicture"));
        box.exec();
        return form;
    }
    form->pictureArea_->SetPicture(std::move(decoded.image));
    return form;
}

void ImageForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    pictureArea_->setGeometry(0, 0, width(), height());
}

}  // namespace quillon::ui
