// Help → How to connect: the selected chip's drawing painted in its own window and saved as PNG
// or SVG, and a picture file named after the chip still shown in its place.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

#include "chips/WiringDrawing.h"
#include "core/Svg.h"
#include "ui/ImageForm.h"
#include "ui/WiringWindow.h"
#include "WindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

int ColouredPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) ++count;
        }
    return count;
}

class HowToConnect : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    }
    void TearDown() override
    {
        QDir::setCurrent(previous_);
        WindowTest::TearDown();
    }
    QTemporaryDir folder_;
    QString previous_;
};

TEST_F(HowToConnect, ShowsTheSelectedChipsDrawingPainted)
{
    SelectFromMenu("ATmega8");
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* wiring = qobject_cast<WiringWindow*>(QApplication::activeModalWidget());
        if (wiring == nullptr) {
            ADD_FAILURE() << "no wiring window";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        shown = true;
        EXPECT_EQ(wiring->windowTitle(), QStringLiteral("How to connect the ATmega8"));
        EXPECT_EQ(wiring->View()->Drawing().title, "How to connect the ATmega8");
        // Painted in colour: the signals' wires and names, not a blank or grey window.
        EXPECT_GT(ColouredPixels(wiring->View()->grab().toImage()), 200);
        QTest::mouseClick(wiring->findChild<QPushButton*>(QStringLiteral("Close")), Qt::LeftButton);
    });
    Trigger(names::kHowToConnect);
    EXPECT_TRUE(shown);
}

TEST_F(HowToConnect, APictureFileBesideTheProgramIsShownInstead)
{
    SelectFromMenu("ATmega8");
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QStringLiteral("ATmega8.jpg"), "JPEG"));
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<ImageForm*>(QApplication::activeModalWidget());
        if (form == nullptr) {
            ADD_FAILURE() << "the picture window did not open";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        shown = true;
        EXPECT_EQ(form->PictureArea()->Picture().size(), QSize(40, 30));
        form->close();
    });
    Trigger(names::kHowToConnect);
    EXPECT_TRUE(shown);
}

TEST(WiringWindow, SavesTheDrawingAsSvgAndAsPngTwiceItsSize)
{
    const drawing::Drawing drawing = *WiringDrawingFor("ATtiny2313");
    WiringWindow window(QStringLiteral("ATtiny2313"), drawing);
    QTemporaryDir dir;
    QString error;

    const QString svg = dir.filePath(QStringLiteral("t.svg"));
    ASSERT_TRUE(window.SaveAs(svg, error)) << error.toStdString();
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), drawing::ToSvg(drawing));

    const QString png = dir.filePath(QStringLiteral("t.png"));
    ASSERT_TRUE(window.SaveAs(png, error)) << error.toStdString();
    QImage saved(png);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(static_cast<int>(std::ceil(drawing.width * 2)),
                                  static_cast<int>(std::ceil(drawing.height * 2))));
    EXPECT_GT(ColouredPixels(saved), 1000);

    EXPECT_FALSE(window.SaveAs(dir.filePath(QStringLiteral("no/such/folder/t.png")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("t.png"))) << error.toStdString();
}

}  // namespace
}  // namespace quillon::ui::test
