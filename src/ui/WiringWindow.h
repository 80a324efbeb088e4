// How to connect the selected chip, drawn from its pin list: the core's drawing painted with
// QPainter, scaled to the window, and saved as PNG or SVG for printing.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <QWidget>

#include "core/Drawing.h"

class QPainter;

namespace quillon {
struct Chip;
}

namespace quillon::ui {

// Paints the drawing in its own units; the caller sets the painter's scale.
void PaintDrawing(QPainter& painter, const drawing::Drawing& drawing);

// The drawing on a white image, `scale` pixels to a unit.
QImage DrawingImage(const drawing::Drawing& drawing, double scale);

// The drawing scaled to fit the widget, its proportions kept, centred.
class WiringView : public QWidget {
    Q_OBJECT
public:
    explicit WiringView(drawing::Drawing drawing, QWidget* parent = nullptr);
    const drawing::Drawing& Drawing() const { return drawing_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    drawing::Drawing drawing_;
};

class WiringWindow : public QDialog {
    Q_OBJECT
public:
    WiringWindow(const QString& chipName, drawing::Drawing drawing, QWidget* parent = nullptr);

    WiringView* View() const { return view_; }

    // Writes the drawing to `path`: SVG for a name ending in ".svg", PNG otherwise. On failure
    // `error` says why, naming the file.
    bool SaveAs(const QString& path, QString& error) const;

private:
    void AskAndSave(const QString& filter, const QString& suffix);

    QString chipName_;
    WiringView* view_;
};

// Shows the drawing of the selected chip modally and returns true. Returns false, showing
// nothing, when no chip is selected, the chip has no pin list, or a picture file named after the
// chip is at hand: that picture is then what the user has put there to be shown.
bool ShowWiringDrawing(const Chip& chip, QWidget* parent);

}  // namespace quillon::ui
