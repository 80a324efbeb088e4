// The connection picture and the About box: JPEG decoding that never ends the program, the
// message for a missing picture, the picture stretched to the window, and the links.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "chips/Catalogue.h"
#include "ui/AboutBox.h"
#include "ui/ImageForm.h"
#include "ui/JpegImage.h"
#include "WindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

// A small JPEG made with libjpeg itself: left half red, right half blue.
std::vector<unsigned char> MakeJpeg(int width, int height)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[3 * x] = x < width / 2 ? 255 : 0;
        row[3 * x + 2] = x < width / 2 ? 0 : 255;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(Jpeg, DecodesAPictureAndReportsEveryBadFileWithoutEndingTheProgram)
{
    const auto jpeg = MakeJpeg(64, 48);
    const DecodedImage good = DecodeJpeg(jpeg.data(), jpeg.size());
    ASSERT_FALSE(good.image.isNull()) << good.error.toStdString();
    EXPECT_EQ(good.image.size(), QSize(64, 48));
    EXPECT_GT(qRed(good.image.pixel(8, 24)), 200);
    EXPECT_GT(qBlue(good.image.pixel(56, 24)), 200);

    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("ATmega8.jpg"));
    WriteFile(text, QByteArray("this is no picture at all"));
    const QString empty = dir.filePath(QStringLiteral("empty.jpg"));
    WriteFile(empty, QByteArray());
    const QString header = dir.filePath(QStringLiteral("header.jpg"));
    WriteFile(header, QByteArray(reinterpret_cast<const char*>(jpeg.data()), 20));

    struct BadCase {
        QString path;
        const char* reason;
    };
    const BadCase cases[] = {
        {text, "Not a JPEG file"},
        {empty, "empty"},
        {header, ""},  // cut inside its headers: whatever libjpeg says, it must say something
        {dir.filePath(QStringLiteral("absent.jpg")), "No such file"},
    };
    for (const auto& c : cases) {
        const DecodedImage bad = DecodeJpegFile(c.path);
        EXPECT_TRUE(bad.image.isNull()) << c.path.toStdString();
        EXPECT_TRUE(bad.error.contains(QFileInfo(c.path).fileName())) << bad.error.toStdString();
        EXPECT_TRUE(bad.error.contains(QLatin1String(c.reason))) << bad.error.toStdString();
    }
}

class PictureWindow : public WindowTest {
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

// Without a picture to show, a box says why in plain words and no empty window opens.
TEST_F(PictureWindow, WithoutAPictureABoxSaysWhyAndNoWindowOpens)
{
    BoxAnswerer boxes(QMessageBox::Ok);
    EXPECT_EQ(ImageForm::Create(CurrentSession().chip), nullptr);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, NoChipPictureText());

    // Help > How to connect draws the chip from its pin list (see the wiring window's tests); the
    // picture window is what it falls back on, and says why when it has nothing to show.
    SelectFromMenu("AT90S2333");
    EXPECT_EQ(ImageForm::Create(CurrentSession().chip), nullptr);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].caption, QStringLiteral("How to connect"));
    EXPECT_TRUE(boxes.seen[1].text.startsWith(QStringLiteral("No wiring picture is available for the AT90S2333.")));

    WriteFile(QStringLiteral("AT90S2333.jpg"), QByteArray("GIF89a, not a JPEG"));
    EXPECT_EQ(ImageForm::Create(CurrentSession().chip), nullptr);
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_TRUE(boxes.seen[2].text.contains(QStringLiteral("AT90S2333.jpg")));
    for (const auto& seen : boxes.seen)
        for (const QChar c : seen.text) ASSERT_LT(c.unicode(), 0x80) << seen.text.toStdString();
}

TEST_F(PictureWindow, ThePictureFillsTheWindowAndFollowsItsSize)
{
    SelectFromMenu("ATmega8");
    const auto jpeg = MakeJpeg(100, 80);
    WriteFile(QStringLiteral("ATmega8.jpg"), QByteArray(reinterpret_cast<const char*>(jpeg.data()),
                                                         static_cast<qsizetype>(jpeg.size())));
    BoxAnswerer boxes(QMessageBox::Ok);
    auto form = ImageForm::Create(CurrentSession().chip);
    EXPECT_TRUE(boxes.seen.empty());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->objectName(), QStringLiteral("ImageForm"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tavro Connection (image is resizeble, just pull it for any corner)"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->PictureArea()->Picture().size(), QSize(100, 80));
    EXPECT_EQ(form->PictureArea()->size(), QSize(512, 384));
    form->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->PictureArea()->size(), QSize(300, 200));
    const QImage shown = form->PictureArea()->grab().toImage();
    EXPECT_GT(qRed(shown.pixel(20, 100)), 200);    // stretched: the red half is 150 wide now
    EXPECT_GT(qBlue(shown.pixel(280, 100)), 200);
}

TEST_F(WindowTest, AboutLinksOpenTheShippedPagesAndTheBoxStaysOpen)
{
    Trigger(names::kAbout);
    AboutBox& about = window->About();
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quillon"));
    std::vector<QUrl> opened;
    about.SetOpener([&](const QUrl& url) { opened.push_back(url); });
    for (const char* name : {names::kAboutGateway, names::kAboutDocumentation, names::kAboutGuide}) {
        auto* link = about.findChild<LinkLabel*>(QString::fromLatin1(name));
        ASSERT_NE(link, nullptr) << name;
        QTest::mouseClick(link, Qt::LeftButton);
    }
    ASSERT_EQ(opened.size(), 3u);
    for (const QUrl& url : opened) {
        EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << url.toString().toStdString();
    }
    EXPECT_TRUE(opened[0].path().endsWith(QStringLiteral("gateway.md")));
    EXPECT_TRUE(about.isVisible());
    QTest::mouseClick(about.findChild<QPushButton*>(QString::fromLatin1(names::kOkButton)), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    Trigger(names::kAbout);  // the same box comes back
    EXPECT_TRUE(about.isVisible());
}

}  // namespace
}  // namespace quillon::ui::test
