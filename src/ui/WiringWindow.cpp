#include "ui/WiringWindow.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

#include "chips/Chip.h"
#include "chips/WiringDrawing.h"
#include "core/FileIo.h"
#include "core/Svg.h"

namespace quillon::ui {

namespace {

using namespace drawing;

QColor ToQColor(const Colour& c) { return QColor(c.r, c.g, c.b); }

QPen PenFor(double width, const Colour& colour)
{
    if (width <= 0) return Qt::NoPen;
    QPen pen(ToQColor(colour));
    pen.setWidthF(width);
    return pen;
}

struct Painter {
    QPainter& p;

    void operator()(const Line& l) const
    {
        p.setPen(PenFor(l.width, l.colour));
        p.drawLine(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2));
    }
    void operator()(const Rect& r) const
    {
        p.setPen(PenFor(r.lineWidth, r.stroke));
        p.setBrush(r.filled ? QBrush(ToQColor(r.fill)) : Qt::NoBrush);
        p.drawRect(QRectF(r.x, r.y, r.width, r.height));
    }
    void operator()(const Circle& c) const
    {
        p.setPen(PenFor(c.lineWidth, c.stroke));
        p.setBrush(c.filled ? QBrush(ToQColor(c.fill)) : Qt::NoBrush);
        p.drawEllipse(QPointF(c.cx, c.cy), c.radius, c.radius);
    }
    void operator()(const Text& t) const
    {
        QFont font(QString::fromLatin1(kFontFamily));
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(t.size))));
        font.setBold(t.bold);
        p.setFont(font);
        p.setPen(ToQColor(t.colour));
        const QString text = QString::fromStdString(t.text);
        const double advance = QFontMetricsF(font).horizontalAdvance(text);
        double shift = 0;
        if (t.anchor == Anchor::Middle) shift = advance / 2;
        if (t.anchor == Anchor::End) shift = advance;
        p.save();
        p.translate(t.x, t.y);
        if (t.turned) p.rotate(-90);
        p.drawText(QPointF(-shift, 0), text);
        p.restore();
    }
};

}  // namespace

void PaintDrawing(QPainter& painter, const drawing::Drawing& drawing)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, drawing.width, drawing.height), Qt::white);
    for (const Shape& shape : drawing.shapes) std::visit(Painter{painter}, shape);
}

QImage DrawingImage(const drawing::Drawing& drawing, double scale)
{
    QImage image(static_cast<int>(std::ceil(drawing.width * scale)), static_cast<int>(std::ceil(drawing.height * scale)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    PaintDrawing(painter, drawing);
    return image;
}

WiringView::WiringView(drawing::Drawing drawing, QWidget* parent) : QWidget(parent), drawing_(std::move(drawing))
{
    setObjectName(QStringLiteral("WiringView"));
    setMinimumSize(200, 150);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize WiringView::sizeHint() const
{
    return QSize(static_cast<int>(drawing_.width), static_cast<int>(drawing_.height));
}

void WiringView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (drawing_.width <= 0 || drawing_.height <= 0) return;
    const double scale = std::min(width() / drawing_.width, height() / drawing_.height);
    painter.translate((width() - drawing_.width * scale) / 2, (height() - drawing_.height * scale) / 2);
    painter.scale(scale, scale);
    PaintDrawing(painter, drawing_);
}

WiringWindow::WiringWindow(const QString& chipName, drawing::Drawing drawing, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint), chipName_(chipName)
{
    setObjectName(QStringLiteral("WiringWindow"));
    setWindowTitle(QStringLiteral("How to connect the %1").arg(chipName));
    view_ = new WiringView(std::move(drawing), this);

    auto* savePng = new QPushButton(QStringLiteral("Save as PNG..."), this);
    savePng->setObjectName(QStringLiteral("SavePng"));
    auto* saveSvg = new QPushButton(QStringLiteral("Save as SVG..."), this);
    saveSvg->setObjectName(QStringLiteral("SaveSvg"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    close->setDefault(true);
    connect(savePng, &QPushButton::clicked, this,
            [this] { AskAndSave(QStringLiteral("PNG picture (*.png)"), QStringLiteral(".png")); });
    connect(saveSvg, &QPushButton::clicked, this,
            [this] { AskAndSave(QStringLiteral("SVG drawing (*.svg)"), QStringLiteral(".svg")); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(savePng);
    buttons->addWidget(saveSvg);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);

    // As large as the drawing where the screen allows, smaller (and scaled) where it does not.
    QSize size = view_->sizeHint() + QSize(24, 60);
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableSize() * 0.9);
    resize(size);
}

bool WiringWindow::SaveAs(const QString& path, QString& error) const
{
    std::string bytes;
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        bytes = ToSvg(view_->Drawing());
    } else {
        // Twice the drawing's units: sharp enough to print on a page.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!DrawingImage(view_->Drawing(), 2.0).save(&buffer, "PNG")) {
            error = QStringLiteral("Cannot make a PNG picture of the drawing.");
            return false;
        }
        bytes.assign(png.constData(), static_cast<std::size_t>(png.size()));
    }
    const Failure written = WriteFileSafely(path.toStdString(), bytes);
    if (written.Failed()) {
        error = QString::fromStdString(written.words);
        return false;
    }
    return true;
}

void WiringWindow::AskAndSave(const QString& filter, const QString& suffix)
{
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the drawing"),
                                                chipName_ + QStringLiteral("-wiring") + suffix, filter);
    if (path.isEmpty()) return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
    QString error;
    if (!SaveAs(path, error))
        QMessageBox::warning(this, QStringLiteral("Save the drawing"), QStringLiteral("Not saved: %1").arg(error));
}

bool ShowWiringDrawing(const Chip& chip, QWidget* parent)
{
    if (chip.signature == 0 || chip.name.empty()) return false;
    if (!chip.pictureFile.empty() && QFileInfo(QString::fromStdString(chip.pictureFile)).isFile()) return false;
    std::optional<drawing::Drawing> drawing = WiringDrawingFor(chip.name);
    if (!drawing) return false;
    WiringWindow window(QString::fromStdString(chip.name), std::move(*drawing), parent);
    window.exec();
    return true;
}

}  // namespace quillon::ui
